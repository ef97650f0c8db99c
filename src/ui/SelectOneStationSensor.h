// The station/sensor picker "Please Select Station.Sensor": one station/sensor pair chosen from
// the station catalogue, shown by the setup dialog's "..." buttons. Made once at the program's
// start and kept for the run, so the view chosen last is offered again.
#pragma once

#include <QDialog>
#include <memory>

#include "catalogue/CatalogueViews.h"
#include "catalogue/StationSensorCache.h"

class QAction;
class QComboBox;
class QGroupBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace ov {

class TCatalogueTreeWidget;

class TfrmSelectOneStationSensor : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmSelectOneStationSensor(QWidget* parent = nullptr);
    ~TfrmSelectOneStationSensor() override;

    // Rebuilds the tree from catalogue (the setup dialog's, which it keeps owning) in the view
    // selected here; the catalogue is re-sorted by that view.
    void RebuildTree(TStationSensorCache& catalogue);
    // The catalogue is going away: the tree is emptied and nothing refers to it any more.
    void ForgetCatalogue();

    // The mode of the view selected in cbxView.
    TSortMode SelectedMode() const;
    // After OK: the entry of the tree's selected node (null when it carries none).
    const TStationSensorItem* SelectedItem() const;

    // actSelect: enabled exactly when the selected node has no children.
    void UpdateSelect();

    QGroupBox* grpAvailable;
    QComboBox* cbxView;
    QTreeWidget* tvwLeftTree;
    QAction* actSelect;
    QPushButton* btnOK;
    QPushButton* btnCancel;

  private:
    void cbxViewChange();
    void tvwLeftTreeDblClick();
    bool SelectedIsLeaf() const;

    TStationSensorCache* catalogue_ = nullptr;  // the setup dialog's; not owned
    std::unique_ptr<TCatalogueTreeWidget> tree_;
};

}  // namespace ov
