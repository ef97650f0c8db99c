// The filter dialog "Filters": the user composes an SQL condition over the columns of the
// suite's station tables (OV_SITES, OV_SITESENSORS) from the values found in the database,
// previews the stations and sensors it selects, and saves it as a filter file (.flt) whose
// name the setup dialog takes over.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <vector>

#include "ui/DataList.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QWidget;

namespace ov {

class IFileDialogs;
class IMessageBoxes;
class TDatabaseConnection;

class TfrmFilterSelect : public QDialog {
    Q_OBJECT
  public:
    // The six conditions of cboFilterCondition, each with the blanks it is written with.
    static const std::array<QString, 6> Conditions;
    // What the value list offers for a column without any non-null value.
    static const QString NoneDefined;

    // Reads the columns of both tables and their distinct values through the connection's
    // open database. Without a connection, or when a table cannot be read, the dialog still
    // opens with the columns read so far (the failure is logged).
    TfrmFilterSelect(QWidget* parent, const TDatabaseConnection& connection, IMessageBoxes& boxes,
                     IFileDialogs& fileDialogs);
    ~TfrmFilterSelect() override;

    // The chosen filter file: true with its name when the editor's text was saved to it or
    // read from it (FilterSaved); false, fileName unchanged, otherwise.
    bool SelectedFile(QString& fileName) const;
    bool FilterSaved() const { return filterSaved_; }
    // The value list of the column at position index of cboFilterItem.
    const TDataList& ValueList(int index) const {
        return valueLists_.at(static_cast<std::size_t>(index));
    }

    QGroupBox* grpEditFilter;
    QComboBox* cboFilterItem;
    QComboBox* cboFilterCondition;
    QComboBox* cboFilterValue;
    QPlainTextEdit* edtText;
    QPushButton* btnAdd;
    QPushButton* btnNew;
    QPushButton* btnOpen;
    QPushButton* btnSave;
    QPushButton* btnSaveAs;
    QLineEdit* edtFilterFile;
    QGroupBox* grpData;
    QTreeWidget* lstSiteSensors;
    QPushButton* btnExec;
    QPushButton* btnOK;
    QPushButton* btnCancel;

  private Q_SLOTS:
    void cboFilterItemChange();
    void btnAddClick();
    void btnNewClick();
    void btnOpenClick();
    void btnSaveClick();
    void btnSaveAsClick();
    void btnExecClick();
    void btnOKClick();

  private:
    void CreateControls();
    void CreateDataAndButtons();
    void ConnectControls();
    void ReadTable(const QString& table);
    void WriteFile(const QString& fileName);

    const TDatabaseConnection& connection_;
    IMessageBoxes& boxes_;
    IFileDialogs& fileDialogs_;
    bool filterSaved_ = false;
    std::vector<TDataList> valueLists_;  // one per entry of cboFilterItem, in its order
};

// Shows the filter dialog modally over parent on the connection's open database. True on OK,
// with fileName set to the saved filter file's name; false (fileName unchanged) otherwise.
bool RunFilterSelect(QWidget* parent, TDatabaseConnection& connection, QString& fileName);

}  // namespace ov
