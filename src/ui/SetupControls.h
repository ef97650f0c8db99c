// The controls of the group setup dialog: made, named, hinted and laid out on the dialog in
// its tab order, a part at a time. They do nothing by themselves; the dialog (ui/Setup.h)
// wires them to what it does.
#pragma once

#include <QString>
#include <QStyledItemDelegate>
#include <functional>
#include <utility>

class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
class QTreeWidget;
class QWidget;

namespace ov {

// Letters to upper case, each character by itself, where the upper-case letter is 8-bit text:
// the equation as the editor keeps it.
QString UpperCase8Bit(QString text);

// The station.sensor cells: every keystroke reaches the grid at once, so that the grid holds
// what the user sees, and edited runs for each.
class TCellDelegate : public QStyledItemDelegate {
  public:
    TCellDelegate(QObject* parent, std::function<void()> edited)
        : QStyledItemDelegate(parent), edited_(std::move(edited)) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

  private:
    std::function<void()> edited_;
};

class TSetupControls {
  public:
    // The controls, named as in the layout.
    QComboBox* cbxGroup = nullptr;
    QAction* actNew = nullptr;
    QAction* actDelete = nullptr;
    QAction* actDeleteAll = nullptr;
    QAction* actSave = nullptr;
    QAction* actCopy = nullptr;
    QPushButton* btnNew = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnClearAll = nullptr;
    QPushButton* BtnSave = nullptr;
    QPushButton* btnCopy = nullptr;
    QGroupBox* grpDetails = nullptr;
    QLineEdit* edtFunction = nullptr;
    QCheckBox* chkEnable = nullptr;
    QRadioButton* rdoSameStation = nullptr;
    QRadioButton* rdoMultipleStations = nullptr;
    QLineEdit* edtFilterFile = nullptr;
    QPushButton* btnFilter = nullptr;
    QComboBox* cbxOutputStation = nullptr;
    QComboBox* cbxOutputSensor = nullptr;
    QTabWidget* pgMain = nullptr;
    QWidget* tsSingle = nullptr;
    QWidget* tsMultiple = nullptr;
    QTableWidget* grdVariables = nullptr;
    QComboBox* cbxVariable = nullptr;
    QGroupBox* grpSimilar = nullptr;
    QComboBox* cbxView = nullptr;
    QTreeWidget* tvwLeftTree = nullptr;
    QPushButton* btnSetupSitesSensorsAddSite = nullptr;
    QPushButton* btnSetupSitesSensorsAddAllSites = nullptr;
    QPushButton* btnSetupSitesSensorsDelSite = nullptr;
    QPushButton* btnSetupSitesSensorsDelAllSites = nullptr;
    QTreeWidget* lstSiteSensors = nullptr;
    QTableWidget* grdVariablesMulti = nullptr;
    QPushButton* btnBrowse = nullptr;        // template of the rows' "..." buttons, hidden
    QRadioButton* rdoTriggerCalc = nullptr;  // template of the rows' trigger radios, hidden
    QPushButton* btnClose = nullptr;
    QPushButton* btnHelp = nullptr;

  protected:
    // Makes every control on dialog (519 by 549 pixels, not resizable) and lays them out.
    void CreateControls(QDialog& dialog);
    // The text of a grid's cell (empty for a cell never written).
    static QString Cell(const QTableWidget* grid, int row, int column);
    // Writes a cell; only the station.sensor column of the multiple-station grid is editable.
    static void SetCell(QTableWidget* grid, int row, int column, const QString& text,
                        bool editable);
    // The "..." button and the trigger radio of row position tag of grdVariablesMulti, copies
    // of the templates on the grid's viewport, hidden and unchecked.
    std::pair<QPushButton*, QRadioButton*> MakeRowControls(int tag);

  private:
    void CreateGroupRow(QDialog& dialog);
    void CreateGroupDetails(QDialog& dialog);
    void CreateSameStationPage();
    void CreateMultipleStationsPage();
    void LayOutControls(QDialog& dialog);
};

}  // namespace ov
