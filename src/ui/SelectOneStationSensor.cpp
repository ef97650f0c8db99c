// The station/sensor picker: the catalogue as a station.sensor tree in one of the ten views;
// only a node without children (a pair) can be chosen.
#include "ui/SelectOneStationSensor.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "catalogue/CatalogueTree.h"
#include "qttext/QtText.h"
#include "ui/CatalogueTreeWidget.h"

namespace ov {

TfrmSelectOneStationSensor::TfrmSelectOneStationSensor(QWidget* parent) : QDialog(parent) {
    setObjectName("frmSelectOneStationSensor");
    setWindowTitle("Please Select Station.Sensor");
    resize(393, 346);

    grpAvailable = new QGroupBox("Available Stations && Sensors", this);
    grpAvailable->setObjectName("grpAvailable");
    cbxView = new QComboBox(grpAvailable);
    cbxView->setObjectName("cbxView");
    cbxView->setToolTip("Choose how the stations and sensors are grouped.");
    // The picker's picture strip is empty: the views carry their icon numbers but show none.
    for (const TCatalogueView& view : CatalogueViews()) {
        cbxView->addItem(QtText(view.Caption), view.Icon);
    }
    cbxView->setCurrentIndex(0);
    tvwLeftTree = new QTreeWidget(grpAvailable);
    tvwLeftTree->setObjectName("tvwLeftTree");
    tvwLeftTree->setHeaderHidden(true);
    tvwLeftTree->setColumnCount(1);
    tvwLeftTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvwLeftTree->setSelectionMode(QAbstractItemView::SingleSelection);
    tvwLeftTree->setToolTip("Select a station.sensor.");
    tree_ = std::make_unique<TCatalogueTreeWidget>(*tvwLeftTree);

    actSelect = new QAction("&Select", this);
    actSelect->setObjectName("actSelect");
    actSelect->setToolTip("Select the current station.sensor.");
    actSelect->setStatusTip("Select the current station.sensor.");
    addAction(actSelect);
    btnOK = new QPushButton(actSelect->text(), this);
    btnOK->setObjectName("btnOK");
    btnOK->setToolTip(actSelect->toolTip());
    btnOK->setDefault(true);
    btnCancel = new QPushButton("&Cancel", this);
    btnCancel->setObjectName("btnCancel");

    auto* box = new QVBoxLayout(grpAvailable);
    box->addWidget(cbxView);
    box->addWidget(tvwLeftTree, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grpAvailable, 1);
    layout->addLayout(buttons);

    connect(actSelect, &QAction::triggered, this, [this] {
        if (actSelect->isEnabled()) accept();
    });
    connect(actSelect, &QAction::changed, btnOK,
            [this] { btnOK->setEnabled(actSelect->isEnabled()); });
    connect(btnOK, &QPushButton::clicked, actSelect, &QAction::trigger);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbxView, &QComboBox::activated, this, [this] { cbxViewChange(); });
    connect(tvwLeftTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
        // The tree expands the branch that gets selected.
        if (node) node->setExpanded(true);
        UpdateSelect();
    });
    connect(tvwLeftTree, &QTreeWidget::itemDoubleClicked, this, [this] { tvwLeftTreeDblClick(); });
    UpdateSelect();
}

TfrmSelectOneStationSensor::~TfrmSelectOneStationSensor() = default;

TSortMode TfrmSelectOneStationSensor::SelectedMode() const {
    const int index = cbxView->currentIndex();
    return index < 0 ? FirstSortMode : FirstSortMode + index;
}

void TfrmSelectOneStationSensor::RebuildTree(TStationSensorCache& catalogue) {
    catalogue_ = &catalogue;
    BuildCatalogueTree(*tree_, catalogue, SelectedMode(), TLevelProfile::lpStationSensorTree);
    UpdateSelect();
}

void TfrmSelectOneStationSensor::ForgetCatalogue() {
    catalogue_ = nullptr;
    tree_->Clear();
    UpdateSelect();
}

void TfrmSelectOneStationSensor::cbxViewChange() {
    if (catalogue_) RebuildTree(*catalogue_);
}

bool TfrmSelectOneStationSensor::SelectedIsLeaf() const {
    const QTreeWidgetItem* node = tvwLeftTree->currentItem();
    return node && node->isSelected() && node->childCount() == 0;
}

const TStationSensorItem* TfrmSelectOneStationSensor::SelectedItem() const {
    const QTreeWidgetItem* node = tvwLeftTree->currentItem();
    return node && node->isSelected() ? TCatalogueTreeWidget::ItemOf(node) : nullptr;
}

void TfrmSelectOneStationSensor::UpdateSelect() {
    actSelect->setEnabled(SelectedIsLeaf());
    btnOK->setEnabled(actSelect->isEnabled());
}

// A double click on a pair chooses it; on a grouping node it only expands or collapses.
void TfrmSelectOneStationSensor::tvwLeftTreeDblClick() {
    if (SelectedIsLeaf()) accept();
}

}  // namespace ov
