// The controls of the group setup dialog and their layout.
#include "ui/SetupControls.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

#include "catalogue/CatalogueViews.h"
#include "model/CalcGroups.h"
#include "qttext/QtText.h"
#include "ui/CatalogueIcons.h"

namespace ov {
namespace {

constexpr int VariableColumnWidth = 190;
constexpr int BrowseColumnWidth = 24;   // the width of the "..." buttons
constexpr int TriggerColumnWidth = 17;  // the width of the trigger radios

// The equation is kept in upper case as it is typed.
class TUpperCaseValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = UpperCase8Bit(input);
        return Acceptable;
    }
};

void SetHint(QWidget* widget, const QString& hint) {
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

QPushButton* ActionButton(QWidget* parent, QAction* action, const char* name) {
    auto* button = new QPushButton(action->text(), parent);
    button->setObjectName(name);
    button->setToolTip(action->toolTip());
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::changed, button,
                     [button, action] { button->setEnabled(action->isEnabled()); });
    return button;
}

}  // namespace

QString UpperCase8Bit(QString text) {
    for (QChar& c : text) {
        const QChar upper = c.toUpper();
        if (upper.unicode() <= 0xFF) c = upper;
    }
    return text;
}

QWidget* TCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        auto* self = const_cast<TCellDelegate*>(this);
        QObject::connect(line, &QLineEdit::textEdited, self, [self, line] {
            Q_EMIT self->commitData(line);
            self->edited_();
        });
    }
    return editor;
}

// The controls are made in the order of the dialog's tab order, a part of the dialog at a time;
// each part lays out its own controls, and LayOutControls puts the parts together.
void TSetupControls::CreateControls(QDialog& dialog) {
    dialog.setFixedSize(519, 549);
    CreateGroupRow(dialog);
    CreateGroupDetails(dialog);
    CreateSameStationPage();
    CreateMultipleStationsPage();
    LayOutControls(dialog);
    // No button is the dialog's default: Return in a field must never press one (it would
    // make a new group and throw the edit away). Return ends the field's edit instead
    // (eventFilter).
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) button->setAutoDefault(false);
}

// The group list with its actions and their buttons, and the dialog's pop-up menu.
void TSetupControls::CreateGroupRow(QDialog& dialog) {
    actNew = new QAction("&New", &dialog);
    actDelete = new QAction("&Delete", &dialog);
    actDeleteAll = new QAction("Delete &All", &dialog);
    actSave = new QAction("&Save", &dialog);
    actCopy = new QAction("&Copy", &dialog);
    const std::pair<QAction*, const char*> actions[] = {{actNew, "actNew"},
                                                        {actDelete, "actDelete"},
                                                        {actDeleteAll, "actDeleteAll"},
                                                        {actSave, "actSave"},
                                                        {actCopy, "actCopy"}};
    for (auto [action, name] : actions) action->setObjectName(name);
    actNew->setToolTip("Create a new calculation group.");
    actDelete->setToolTip("Delete the calculation group shown.");
    actDeleteAll->setToolTip("Delete all the calculation groups.");
    actSave->setToolTip("Save the calculation group shown.");
    actCopy->setToolTip("Create a new calculation group as a copy of the one shown.");

    cbxGroup = new QComboBox(&dialog);
    cbxGroup->setObjectName("cbxGroup");
    SetHint(cbxGroup, "The calculation groups, by number.");
    cbxGroup->setMinimumWidth(70);
    btnNew = ActionButton(&dialog, actNew, "btnNew");
    btnDelete = ActionButton(&dialog, actDelete, "btnDelete");
    btnClearAll = ActionButton(&dialog, actDeleteAll, "btnClearAll");
    BtnSave = ActionButton(&dialog, actSave, "BtnSave");
    btnCopy = ActionButton(&dialog, actCopy, "btnCopy");
    // The pop-up menu of the dialog and of the group list.
    for (QWidget* owner : {static_cast<QWidget*>(&dialog), static_cast<QWidget*>(cbxGroup)}) {
        owner->setContextMenuPolicy(Qt::ActionsContextMenu);
        owner->addActions({actNew, actSave, actDelete, actDeleteAll});
    }
}

// The group's equation, mode, filter file and output, over the two pages.
void TSetupControls::CreateGroupDetails(QDialog& dialog) {
    grpDetails = new QGroupBox("Group Details", &dialog);
    grpDetails->setObjectName("grpDetails");
    edtFunction = new QLineEdit(grpDetails);
    edtFunction->setObjectName("edtFunction");
    edtFunction->setMaxLength(static_cast<int>(MaxEquationLength));
    edtFunction->setValidator(new TUpperCaseValidator(edtFunction));
    SetHint(edtFunction, "The equation; its variables are listed below when you leave it.");
    chkEnable = new QCheckBox("Enable", grpDetails);
    chkEnable->setObjectName("chkEnable");
    chkEnable->setChecked(true);
    SetHint(chkEnable, "Only enabled groups are calculated.");
    auto* lblSensorsFrom = new QLabel("Sensors From:", grpDetails);
    rdoSameStation = new QRadioButton("Same Station", grpDetails);
    rdoSameStation->setObjectName("rdoSameStation");
    SetHint(rdoSameStation, "The variables are sensors of the output station.");
    rdoMultipleStations = new QRadioButton("Multiple Stations", grpDetails);
    rdoMultipleStations->setObjectName("rdoMultipleStations");
    SetHint(rdoMultipleStations, "The variables are station.sensor pairs of any stations.");
    auto* lblFilter = new QLabel("Filter File:", grpDetails);
    edtFilterFile = new QLineEdit(grpDetails);
    edtFilterFile->setObjectName("edtFilterFile");
    SetHint(edtFilterFile, "The filter file that narrows the stations and sensors offered.");
    lblFilter->setBuddy(edtFilterFile);
    btnFilter = new QPushButton("Browse", grpDetails);
    btnFilter->setObjectName("btnFilter");
    SetHint(btnFilter, "Compose or choose a filter file.");
    auto* lblOutput = new QLabel("Output:", grpDetails);
    cbxOutputStation = new QComboBox(grpDetails);
    cbxOutputStation->setObjectName("cbxOutputStation");
    SetHint(cbxOutputStation, "The station that receives the result.");
    cbxOutputSensor = new QComboBox(grpDetails);
    cbxOutputSensor->setObjectName("cbxOutputSensor");
    SetHint(cbxOutputSensor, "The sensor that receives the result.");
    auto* lblEquation = new QLabel("Equation:", grpDetails);
    lblEquation->setBuddy(edtFunction);

    pgMain = new QTabWidget(grpDetails);
    pgMain->setObjectName("pgMain");
    tsSingle = new QWidget;
    tsSingle->setObjectName("tsSingle");
    tsMultiple = new QWidget;
    tsMultiple->setObjectName("tsMultiple");
    pgMain->addTab(tsSingle, "Same Station");
    pgMain->addTab(tsMultiple, "Multiple Stations");

    auto* details = new QGridLayout(grpDetails);
    details->setVerticalSpacing(4);
    details->addWidget(lblEquation, 0, 0);
    details->addWidget(edtFunction, 0, 1, 1, 3);
    details->addWidget(chkEnable, 0, 4);
    details->addWidget(lblSensorsFrom, 1, 0);
    auto* mode = new QHBoxLayout;
    mode->addWidget(rdoSameStation);
    mode->addWidget(rdoMultipleStations);
    mode->addStretch(1);
    details->addLayout(mode, 1, 1, 1, 4);
    details->addWidget(lblFilter, 2, 0);
    details->addWidget(edtFilterFile, 2, 1, 1, 3);
    details->addWidget(btnFilter, 2, 4);
    details->addWidget(lblOutput, 3, 0);
    details->addWidget(cbxOutputStation, 3, 1);
    auto* dot = new QLabel(".", grpDetails);
    details->addWidget(dot, 3, 2);
    details->addWidget(cbxOutputSensor, 3, 3);
    details->addWidget(pgMain, 4, 0, 1, 5);
    details->setColumnStretch(1, 1);
    details->setColumnStretch(3, 1);
    details->setRowStretch(4, 1);
}

void TSetupControls::CreateSameStationPage() {
    // Same Station: the variables with their sensors, and the similar stations.
    grdVariables = new QTableWidget(1, 2, tsSingle);
    grdVariables->setObjectName("grdVariables");
    SetHint(grdVariables,
            "Each variable of the equation and the sensor of the station it "
            "stands for.");
    cbxVariable = new QComboBox(grdVariables->viewport());
    cbxVariable->setObjectName("cbxVariable");
    SetHint(cbxVariable, "The sensor of the output station.");
    cbxVariable->hide();
    grpSimilar = new QGroupBox("Similar Sites", tsSingle);
    grpSimilar->setObjectName("grpSimilar");
    cbxView = new QComboBox(grpSimilar);
    cbxView->setObjectName("cbxView");
    SetHint(cbxView, "Choose how the stations are grouped.");
    for (const TCatalogueView& view : CatalogueViews())
        cbxView->addItem(CatalogueIcon(view.Icon), QtText(view.Caption), view.Icon);
    cbxView->setCurrentIndex(0);
    tvwLeftTree = new QTreeWidget(grpSimilar);
    tvwLeftTree->setObjectName("tvwLeftTree");
    tvwLeftTree->setHeaderHidden(true);
    tvwLeftTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvwLeftTree->setSelectionMode(QAbstractItemView::SingleSelection);
    tvwLeftTree->setDragEnabled(true);
    tvwLeftTree->setDragDropMode(QAbstractItemView::DragOnly);
    tvwLeftTree->setDefaultDropAction(Qt::CopyAction);
    SetHint(tvwLeftTree,
            "The stations of the suite database; double-click or drag a station "
            "to add it.");
    btnSetupSitesSensorsAddSite = new QPushButton(">", grpSimilar);
    btnSetupSitesSensorsAddSite->setObjectName("btnSetupSitesSensorsAddSite");
    SetHint(btnSetupSitesSensorsAddSite, "Add the selected stations.");
    btnSetupSitesSensorsAddAllSites = new QPushButton(">>", grpSimilar);
    btnSetupSitesSensorsAddAllSites->setObjectName("btnSetupSitesSensorsAddAllSites");
    SetHint(btnSetupSitesSensorsAddAllSites, "Add all the stations.");
    btnSetupSitesSensorsDelSite = new QPushButton("<", grpSimilar);
    btnSetupSitesSensorsDelSite->setObjectName("btnSetupSitesSensorsDelSite");
    SetHint(btnSetupSitesSensorsDelSite, "Remove the selected similar stations.");
    btnSetupSitesSensorsDelAllSites = new QPushButton("<<", grpSimilar);
    btnSetupSitesSensorsDelAllSites->setObjectName("btnSetupSitesSensorsDelAllSites");
    SetHint(btnSetupSitesSensorsDelAllSites, "Remove all the similar stations.");
    lstSiteSensors = new QTreeWidget(grpSimilar);
    lstSiteSensors->setObjectName("lstSiteSensors");
    lstSiteSensors->setColumnCount(1);
    lstSiteSensors->setHeaderLabels({"StationID"});
    lstSiteSensors->setRootIsDecorated(false);
    lstSiteSensors->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstSiteSensors->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstSiteSensors->setAcceptDrops(true);
    lstSiteSensors->setDragDropMode(QAbstractItemView::DropOnly);
    SetHint(lstSiteSensors, "Further stations the group applies to, as to the output station.");

    auto* single = new QVBoxLayout(tsSingle);
    single->setContentsMargins(4, 4, 4, 4);
    single->addWidget(grdVariables, 2);
    single->addWidget(grpSimilar, 5);
    auto* similar = new QGridLayout(grpSimilar);
    similar->setContentsMargins(6, 4, 6, 6);
    similar->addWidget(cbxView, 0, 0);
    similar->addWidget(tvwLeftTree, 1, 0);
    auto* moves = new QVBoxLayout;
    moves->addStretch(1);
    for (QPushButton* b : {btnSetupSitesSensorsAddSite, btnSetupSitesSensorsAddAllSites,
                           btnSetupSitesSensorsDelSite, btnSetupSitesSensorsDelAllSites}) {
        b->setFixedWidth(36);
        moves->addWidget(b);
    }
    moves->addStretch(1);
    similar->addLayout(moves, 0, 1, 2, 1);
    similar->addWidget(lstSiteSensors, 0, 2, 2, 1);
    similar->setColumnStretch(0, 1);
    similar->setColumnStretch(2, 1);
}

void TSetupControls::CreateMultipleStationsPage() {
    // Multiple Stations: the variables with their station.sensor pairs and trigger.
    grdVariablesMulti = new QTableWidget(1, 4, tsMultiple);
    grdVariablesMulti->setObjectName("grdVariablesMulti");
    SetHint(grdVariablesMulti,
            "Each variable of the equation, the station.sensor it stands "
            "for, and the variable that triggers the calculation.");
    btnBrowse = new QPushButton("...", tsMultiple);
    btnBrowse->setObjectName("btnBrowse");
    SetHint(btnBrowse, "Select station.sensor from the Dialog box.");
    btnBrowse->setFixedWidth(BrowseColumnWidth);
    btnBrowse->hide();
    rdoTriggerCalc = new QRadioButton(QString(), tsMultiple);
    rdoTriggerCalc->setObjectName("rdoTriggerCalc");
    SetHint(rdoTriggerCalc, "This variable triggers the calculation.");
    rdoTriggerCalc->setFixedWidth(TriggerColumnWidth);
    rdoTriggerCalc->hide();

    for (QTableWidget* grid : {grdVariables, grdVariablesMulti}) {
        grid->horizontalHeader()->hide();
        grid->verticalHeader()->hide();
        grid->setSelectionMode(QAbstractItemView::SingleSelection);
        grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
        grid->setColumnWidth(0, VariableColumnWidth);
        grid->setColumnWidth(1, VariableColumnWidth);
        grid->verticalHeader()->setDefaultSectionSize(
            std::max(cbxVariable->sizeHint().height(), btnBrowse->sizeHint().height()));
        grid->horizontalHeader()->setStretchLastSection(false);
    }
    grdVariablesMulti->setColumnWidth(2, btnBrowse->width());
    grdVariablesMulti->setColumnWidth(3, rdoTriggerCalc->width());

    auto* multiple = new QVBoxLayout(tsMultiple);
    multiple->setContentsMargins(4, 4, 4, 4);
    multiple->addWidget(grdVariablesMulti);
}

// Close and Help come last in the tab order; the group row above the details, the buttons below.
void TSetupControls::LayOutControls(QDialog& dialog) {
    btnClose = new QPushButton("Close", &dialog);
    btnClose->setObjectName("btnClose");
    SetHint(btnClose, "Close the dialog.");
    btnHelp = new QPushButton("Help", &dialog);
    btnHelp->setObjectName("btnHelp");
    SetHint(btnHelp, "Help on this dialog.");

    auto* top = new QHBoxLayout;
    top->addWidget(cbxGroup);
    for (QPushButton* b : {btnNew, btnDelete, btnClearAll, BtnSave, btnCopy}) top->addWidget(b);
    top->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btnClose);
    bottom->addWidget(btnHelp);

    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(top);
    layout->addWidget(grpDetails, 1);
    layout->addLayout(bottom);
}

QString TSetupControls::Cell(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

void TSetupControls::SetCell(QTableWidget* grid, int row, int column, const QString& text,
                             bool editable) {
    QTableWidgetItem* item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
        if (editable) flags |= Qt::ItemIsEditable;
        item->setFlags(flags);
        grid->setItem(row, column, item);
    }
    item->setText(text);
}

std::pair<QPushButton*, QRadioButton*> TSetupControls::MakeRowControls(int tag) {
    auto* button = new QPushButton(btnBrowse->text(), grdVariablesMulti->viewport());
    button->setObjectName(QString("btnBrowse%1").arg(tag));
    button->setAutoDefault(false);
    SetHint(button, btnBrowse->toolTip());
    button->setProperty("tag", tag);
    button->hide();
    auto* radio = new QRadioButton(rdoTriggerCalc->text(), grdVariablesMulti->viewport());
    radio->setObjectName(QString("rdoTriggerCalc%1").arg(tag));
    SetHint(radio, rdoTriggerCalc->toolTip());
    radio->setProperty("tag", tag);
    radio->setChecked(false);
    radio->hide();
    return {button, radio};
}

}  // namespace ov
