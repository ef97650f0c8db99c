// The calculation group setup dialog.
#include "ui/Setup.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <exception>
#include <numeric>
#include <set>
#include <unordered_map>
#include <utility>

#include "calc/CalcEx.h"
#include "database/CatalogueQueries.h"
#include "database/DatabaseConnection.h"
#include "suite/CatalogueTree.h"
#include "ui/CatalogueIcons.h"
#include "ui/CatalogueTreeWidget.h"
#include "ui/DialogBoxes.h"
#include "ui/FilterSelect.h"
#include "ui/Help.h"
#include "ui/SelectOneStationSensor.h"
#include "util/Exception.h"
#include "util/Format.h"
#include "util/StringList.h"
#include "util/TextCompare.h"

namespace ov {
namespace {

constexpr int MaxEquationLength = 8192;
constexpr int MaxGroupNumber = 999;
constexpr int VariableColumnWidth = 190;
constexpr int BrowseColumnWidth = 24;   // the width of the "..." buttons
constexpr int TriggerColumnWidth = 17;  // the width of the trigger radios
constexpr const char* GroupNamePrefix = "CalcGroup:";
constexpr const char* HelpTopic = "setupdialog";

// Group fields, station and sensor names and equations are the suite's 8-bit text.
QString L(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
std::string S(const QString& text) {
    return text.toLatin1().toStdString();
}
// A filter file's name is a file name of this system.
QString FileNameText(const std::string& name) {
    return QString::fromLocal8Bit(name);
}
std::string FileName(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

// Blanks and control characters removed at both ends.
QString Trim(const QString& text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first].unicode() <= ' ') ++first;
    while (last > first && text[last - 1].unicode() <= ' ') --last;
    return text.mid(first, last - first);
}

// Letters to upper case, each character by itself, where the upper-case letter is 8-bit text.
QString UpperCase8Bit(QString text) {
    for (QChar& c : text) {
        const QChar upper = c.toUpper();
        if (upper.unicode() <= 0xFF) c = upper;
    }
    return text;
}

// The equation is kept in upper case as it is typed.
class TUpperCaseValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = UpperCase8Bit(input);
        return Acceptable;
    }
};

// The station.sensor cells: every keystroke reaches the grid at once, so that the grid holds
// what the user sees and the edit counts as a change.
class TCellDelegate : public QStyledItemDelegate {
  public:
    TCellDelegate(QObject* parent, std::function<void()> edited)
        : QStyledItemDelegate(parent), edited_(std::move(edited)) {}
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            auto* self = const_cast<TCellDelegate*>(this);
            connect(line, &QLineEdit::textEdited, self, [self, line] {
                Q_EMIT self->commitData(line);
                self->edited_();
            });
        }
        return editor;
    }

  private:
    std::function<void()> edited_;
};

// An entry of the similar-stations list with the catalogue entry it owns.
class TSiteItem : public QTreeWidgetItem {
  public:
    explicit TSiteItem(TStationSensorItem entry) : Entry(std::move(entry)) {
        setText(0, L(Entry.StationID));
    }
    TStationSensorItem Entry;
};

bool IsReturn(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

QString Cell(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

// Writes a cell; only the station.sensor column of the multiple-station grid is editable.
void SetCell(QTableWidget* grid, int row, int column, const QString& text, bool editable) {
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

// The position of the item whose text equals text without regard to case; -1 when none.
int FindItem(const QComboBox* box, const QString& text) {
    return box->findText(text, Qt::MatchFixedString);
}

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

TfrmOptionSetup::TfrmOptionSetup(QWidget* parent, TCalcGroups& groups, TSetupContext context)
    : QDialog(parent), editedGroups_(groups), context_(std::move(context)) {
    setObjectName("frmOptionSetup");
    setWindowTitle("Setup");
    CreateControls();
    catalogue_ = std::make_unique<TStationSensorCache>();
    leftTree_ = std::make_unique<TCatalogueTreeWidget>(*tvwLeftTree, &CatalogueIcon);
    ConnectControls();
    pgMain->setCurrentWidget(tsSingle);
    equationChanged_ = false;
    saved_ = true;
    // Action availability follows the state whenever the event loop has nothing to do.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &TfrmOptionSetup::UpdateActions);
    UpdateActions();
}

TfrmOptionSetup::~TfrmOptionSetup() {
    // The picker's tree refers to the catalogue that goes now.
    context_.Picker.ForgetCatalogue();
    lstSiteSensors->clear();
    similarIDs_.clear();
    tvwLeftTree->clear();
}

// ---- creation ------------------------------------------------------------------------------

// The controls are made in the order of the dialog's tab order, a part of the dialog at a time;
// each part lays out its own controls, and LayOutControls puts the parts together.
void TfrmOptionSetup::CreateControls() {
    setFixedSize(519, 549);
    CreateGroupRow();
    CreateGroupDetails();
    CreateSameStationPage();
    CreateMultipleStationsPage();
    LayOutControls();
    // No button is the dialog's default: Return in a field must never press one (it would
    // make a new group and throw the edit away). Return ends the field's edit instead
    // (eventFilter).
    for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(false);
}

// The group list with its actions and their buttons, and the dialog's pop-up menu.
void TfrmOptionSetup::CreateGroupRow() {
    actNew = new QAction("&New", this);
    actDelete = new QAction("&Delete", this);
    actDeleteAll = new QAction("Delete &All", this);
    actSave = new QAction("&Save", this);
    actCopy = new QAction("&Copy", this);
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

    cbxGroup = new QComboBox(this);
    cbxGroup->setObjectName("cbxGroup");
    SetHint(cbxGroup, "The calculation groups, by number.");
    cbxGroup->setMinimumWidth(70);
    btnNew = ActionButton(this, actNew, "btnNew");
    btnDelete = ActionButton(this, actDelete, "btnDelete");
    btnClearAll = ActionButton(this, actDeleteAll, "btnClearAll");
    BtnSave = ActionButton(this, actSave, "BtnSave");
    btnCopy = ActionButton(this, actCopy, "btnCopy");
    // The pop-up menu of the dialog and of the group list.
    for (QWidget* owner : {static_cast<QWidget*>(this), static_cast<QWidget*>(cbxGroup)}) {
        owner->setContextMenuPolicy(Qt::ActionsContextMenu);
        owner->addActions({actNew, actSave, actDelete, actDeleteAll});
    }
}

// The group's equation, mode, filter file and output, over the two pages.
void TfrmOptionSetup::CreateGroupDetails() {
    grpDetails = new QGroupBox("Group Details", this);
    grpDetails->setObjectName("grpDetails");
    edtFunction = new QLineEdit(grpDetails);
    edtFunction->setObjectName("edtFunction");
    edtFunction->setMaxLength(MaxEquationLength);
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

void TfrmOptionSetup::CreateSameStationPage() {
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
        cbxView->addItem(CatalogueIcon(view.Icon), L(view.Caption), view.Icon);
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

void TfrmOptionSetup::CreateMultipleStationsPage() {
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
    grdVariablesMulti->setItemDelegateForColumn(
        1, new TCellDelegate(grdVariablesMulti, [this] { MarkUnsaved(); }));

    auto* multiple = new QVBoxLayout(tsMultiple);
    multiple->setContentsMargins(4, 4, 4, 4);
    multiple->addWidget(grdVariablesMulti);
}

// Close and Help come last in the tab order; the group row above the details, the buttons below.
void TfrmOptionSetup::LayOutControls() {
    btnClose = new QPushButton("Close", this);
    btnClose->setObjectName("btnClose");
    SetHint(btnClose, "Close the dialog.");
    btnHelp = new QPushButton("Help", this);
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

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grpDetails, 1);
    layout->addLayout(bottom);
}

void TfrmOptionSetup::ConnectControls() {
    connect(actNew, &QAction::triggered, this, [this] { actNewExecute(); });
    connect(actDelete, &QAction::triggered, this, [this] { actDeleteExecute(); });
    connect(actDeleteAll, &QAction::triggered, this, [this] { actDeleteAllExecute(); });
    connect(actSave, &QAction::triggered, this, [this] { actSaveExecute(); });
    connect(actCopy, &QAction::triggered, this, [this] { actCopyExecute(); });
    // The user's choices only; what the dialog selects itself is no change.
    connect(cbxGroup, &QComboBox::activated, this, [this] { cbxGroupChange(); });
    connect(cbxOutputStation, &QComboBox::activated, this, [this] { cbxOutputStationChange(); });
    connect(cbxOutputSensor, &QComboBox::activated, this, [this] { MarkUnsaved(); });
    connect(cbxVariable, &QComboBox::activated, this, [this] {
        MarkUnsaved();
        WriteVariableCell();
    });
    connect(edtFunction, &QLineEdit::textChanged, this, [this] {
        equationChanged_ = true;
        MarkUnsaved();
    });
    connect(edtFilterFile, &QLineEdit::textChanged, this, [this] { MarkUnsaved(); });
    connect(chkEnable, &QCheckBox::clicked, this, [this] { MarkUnsaved(); });
    connect(rdoSameStation, &QRadioButton::clicked, this, [this] {
        pgMain->setCurrentWidget(tsSingle);
        MarkUnsaved();
    });
    connect(rdoMultipleStations, &QRadioButton::clicked, this, [this] {
        pgMain->setCurrentWidget(tsMultiple);
        MarkUnsaved();
    });
    connect(btnFilter, &QPushButton::clicked, this, [this] { btnFilterClick(); });
    connect(grdVariables, &QTableWidget::currentCellChanged, this,
            [this] { UpdateVariableEditor(); });
    connect(grdVariablesMulti, &QTableWidget::currentCellChanged, this,
            [this](int row, int column) { grdVariablesMultiSelectCell(row, column); });
    connect(grdVariablesMulti->horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        for (int i = 0; i < grdVariablesMulti->rowCount(); ++i) PlaceRowControls(i);
    });
    connect(cbxView, &QComboBox::activated, this, [this] {
        BuildCatalogueTree(*leftTree_, *catalogue_, ViewMode(), TLevelProfile::lpStationTree);
    });
    connect(tvwLeftTree, &QTreeWidget::itemDoubleClicked, this, [this] { AddSelectedNode(); });
    connect(btnSetupSitesSensorsAddSite, &QPushButton::clicked, this,
            [this] { AddSelectedNode(); });
    connect(btnSetupSitesSensorsAddAllSites, &QPushButton::clicked, this,
            [this] { AddAllSites(); });
    connect(btnSetupSitesSensorsDelSite, &QPushButton::clicked, this,
            [this] { DeleteSelectedSites(); });
    connect(btnSetupSitesSensorsDelAllSites, &QPushButton::clicked, this,
            [this] { DeleteAllSites(); });
    connect(lstSiteSensors, &QTreeWidget::itemDoubleClicked, this,
            [this] { DeleteSelectedSites(); });
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(btnHelp, &QPushButton::clicked, this,
            [this] { OpenHelp(context_.Boxes, context_.HelpFile, HelpTopic); });

    edtFunction->installEventFilter(this);
    edtFilterFile->installEventFilter(this);
    grdVariables->installEventFilter(this);
    cbxVariable->installEventFilter(this);
    lstSiteSensors->installEventFilter(this);
    lstSiteSensors->viewport()->installEventFilter(this);
}

TSortMode TfrmOptionSetup::ViewMode() const {
    const int index = cbxView->currentIndex();
    return index < 0 ? FirstSortMode : FirstSortMode + index;
}

// ---- showing and closing -------------------------------------------------------------------

void TfrmOptionSetup::showEvent(QShowEvent* event) {
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
    QDialog::showEvent(event);
}

void TfrmOptionSetup::FormShow() {
    try {
        context_.Connection.OpenSetupDatabase(context_.DataServer);
    } catch (const std::exception& e) {
        // The dialog opens in every case, with an empty catalogue.
        qCWarning(lcDatabase).noquote() << "opening the suite database failed:" << e.what();
    }
    ReloadCatalogue();
    if (editedGroups_.Count() > 0) {
        for (int i = 0; i < editedGroups_.Count(); ++i)
            cbxGroup->addItem(QString::number(editedGroups_.Items(i)->CGIndex));
        cbxGroup->setCurrentIndex(0);
        LoadGroup(0);
    } else {
        NewPendingGroup();
        LoadGroup(-1);
    }
    UpdateActions();
}

void TfrmOptionSetup::reject() {
    if (!AskSave()) return;
    QDialog::reject();
}

void TfrmOptionSetup::done(int result) {
    QDialog::done(result);
    context_.Connection.DisconnectDatabase();
}

// ---- the catalogue -------------------------------------------------------------------------

void TfrmOptionSetup::ReloadCatalogue() {
    catalogueFilter_ = Trim(edtFilterFile->text());
    // A failed load leaves what was read (logged by the query); the dialog goes on with it.
    LoadStationCatalogue(context_.Connection, *catalogue_, FileName(edtFilterFile->text()));
    BuildCatalogueTree(*leftTree_, *catalogue_, ViewMode(), TLevelProfile::lpStationTree);
    context_.Picker.RebuildTree(*catalogue_);
    RefreshOutputStations();
}

void TfrmOptionSetup::RefreshOutputStations() {
    stationSensors_.clear();
    cbxOutputStation->clear();
    cbxOutputSensor->clear();
    cbxVariable->clear();
    // Each station once (letter case ignored) with its sensors in catalogue order; the list
    // shows the stations in alphabetical order.
    std::vector<std::string> stations;
    std::vector<std::vector<std::string>> sensors;
    std::unordered_map<std::string, std::size_t> known;
    for (int i = 0; i < catalogue_->Count(); ++i) {
        const TStationSensorItem& entry = catalogue_->Items(i);
        auto [at, added] = known.emplace(UpperCaseAscii(entry.StationID), stations.size());
        if (added) {
            stations.push_back(entry.StationID);
            sensors.push_back({entry.SensorName});
        } else {
            sensors[at->second].push_back(entry.SensorName);
        }
    }
    std::vector<std::size_t> order(stations.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&stations](std::size_t a, std::size_t b) {
        return CompareText(stations[a], stations[b]) < 0;
    });
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(order.size()));
    stationSensors_.reserve(order.size());
    for (std::size_t i : order) {
        texts << L(stations[i]);
        stationSensors_.push_back(std::move(sensors[i]));
    }
    cbxOutputStation->addItems(texts);
    cbxOutputStation->setCurrentIndex(-1);
}

void TfrmOptionSetup::cbxOutputStationChange() {
    const int station = cbxOutputStation->currentIndex();
    if (station < 0 || station >= static_cast<int>(stationSensors_.size())) {
        cbxOutputSensor->clear();
        cbxVariable->clear();
    } else {
        const std::vector<std::string>& list = stationSensors_[static_cast<std::size_t>(station)];
        QStringList inOrder;
        for (const std::string& sensor : list) inOrder << L(sensor);
        QStringList sorted = inOrder;
        std::sort(sorted.begin(), sorted.end(),
                  [](const QString& a, const QString& b) { return CompareText(S(a), S(b)) < 0; });
        // The sensor chosen before stays chosen when the new station has it too.
        auto refill = [](QComboBox* box, const QStringList& items) {
            const bool had = box->currentIndex() >= 0;
            const QString remembered = box->currentText();
            box->clear();
            box->addItems(items);
            box->setCurrentIndex(had ? FindItem(box, remembered) : -1);
        };
        refill(cbxOutputSensor, sorted);
        refill(cbxVariable, inOrder);
    }
    MarkUnsaved();
}

// ---- loading a group -----------------------------------------------------------------------

void TfrmOptionSetup::NewPendingGroup() {
    pendingGroup_ = std::make_unique<TCalcGroupItem>();
}

void TfrmOptionSetup::LoadGroup(int index) {
    TCalcGroupItem* group = nullptr;
    if (index >= 0 && index < cbxGroup->count() && index < editedGroups_.Count()) {
        group = editedGroups_.Items(index);
    } else {
        group = pendingGroup_.get();
    }
    if (group) {
        chkEnable->setChecked(group->Enabled);
        edtFunction->setText(UpperCase8Bit(L(group->FuncName)));
        edtFunction->setCursorPosition(0);  // a long equation shows from its start
        if (group->MultiStations) {
            rdoMultipleStations->setChecked(true);
            pgMain->setCurrentWidget(tsMultiple);
        } else {
            rdoSameStation->setChecked(true);
            pgMain->setCurrentWidget(tsSingle);
        }

        edtFilterFile->setText(FileNameText(group->Filter));
        if (Trim(edtFilterFile->text()) != catalogueFilter_) ReloadCatalogue();

        const int station = FindItem(cbxOutputStation, L(group->OutputStation));
        if (station != cbxOutputStation->currentIndex()) {
            cbxOutputStation->setCurrentIndex(station);
            cbxOutputStationChange();
        }
        cbxOutputSensor->setCurrentIndex(FindItem(cbxOutputSensor, L(group->OutputSensor)));

        // Both grids list the same variables in the same order. A group whose two lists
        // differ in length (written by hand) gets the longer list's rows in both grids, each
        // grid's values from its own list.
        const auto& single = group->Variables;
        const auto& multi = group->MultiVariables;
        const int rows = static_cast<int>(std::max(single.size(), multi.size()));
        if (rows > 0) {
            grdVariables->setRowCount(rows);
            grdVariablesMulti->setRowCount(rows);
            for (int i = 0; i < rows; ++i) {
                const auto at = static_cast<std::size_t>(i);
                const std::string_view s = at < single.size() ? single[at] : std::string_view();
                const std::string_view m = at < multi.size() ? multi[at] : std::string_view();
                const std::string_view sName = at < single.size() ? NameOfEntry(s) : NameOfEntry(m);
                const std::string_view mName = at < multi.size() ? NameOfEntry(m) : NameOfEntry(s);
                SetCell(grdVariables, i, 0, L(sName), false);
                SetCell(grdVariables, i, 1, L(ValueOfEntry(s)), false);
                SetCell(grdVariablesMulti, i, 0, L(mName), false);
                SetCell(grdVariablesMulti, i, 1, L(ValueOfEntry(m)), true);
                PrepareRowControls(i);
                PlaceRowControls(i);
                UncheckTrigger(i);
                browseButtons_[at]->show();
                triggerButtons_[at]->show();
            }
            HideRowControls(rows);
        } else {
            grdVariables->setRowCount(1);
            grdVariablesMulti->setRowCount(1);
            SetCell(grdVariables, 0, 0, QString(), false);
            SetCell(grdVariables, 0, 1, QString(), false);
            SetCell(grdVariablesMulti, 0, 0, QString(), false);
            SetCell(grdVariablesMulti, 0, 1, QString(), true);
            // No variables, no row controls; and no trigger left over from the group shown
            // before, which would pass for this group's.
            HideRowControls(0);
            for (int i = 0; i < static_cast<int>(triggerButtons_.size()); ++i) UncheckTrigger(i);
        }

        const int multiCount = static_cast<int>(multi.size());
        if (group->MultiVariablesTrigger >= multiCount)
            group->MultiVariablesTrigger = multiCount - 1;
        if (group->MultiVariablesTrigger >= 0)
            triggerButtons_[static_cast<std::size_t>(group->MultiVariablesTrigger)]->setChecked(
                true);

        lstSiteSensors->clear();
        similarIDs_.clear();
        for (const std::string& similar : group->SimilarStations)
            AddSimilarStation(similar, nullptr);
    }
    shownGroupIndex_ = cbxGroup->currentIndex();
    saved_ = true;
}

// ---- row controls of the multiple-station grid ---------------------------------------------

void TfrmOptionSetup::PrepareRowControls(int position) {
    while (static_cast<int>(browseButtons_.size()) < position + 1) {
        const int tag = static_cast<int>(browseButtons_.size());
        auto* button = new QPushButton(btnBrowse->text(), grdVariablesMulti->viewport());
        button->setObjectName(QString("btnBrowse%1").arg(tag));
        button->setAutoDefault(false);
        SetHint(button, btnBrowse->toolTip());
        button->setProperty("tag", tag);
        button->hide();
        connect(button, &QPushButton::clicked, this, [this, button] { BrowseClick(button); });
        auto* radio = new QRadioButton(rdoTriggerCalc->text(), grdVariablesMulti->viewport());
        radio->setObjectName(QString("rdoTriggerCalc%1").arg(tag));
        SetHint(radio, rdoTriggerCalc->toolTip());
        radio->setProperty("tag", tag);
        radio->setChecked(false);
        radio->hide();
        connect(radio, &QRadioButton::clicked, this, [this] { MarkUnsaved(); });
        browseButtons_.push_back(button);
        triggerButtons_.push_back(radio);
    }
}

// The row's controls over cells 2 and 3; children of the grid's viewport, they scroll with it.
void TfrmOptionSetup::PlaceRowControls(int position) {
    if (position < 0 || position >= static_cast<int>(browseButtons_.size())) return;
    const auto at = static_cast<std::size_t>(position);
    QAbstractItemModel* model = grdVariablesMulti->model();
    if (position >= model->rowCount()) return;
    browseButtons_[at]->setGeometry(grdVariablesMulti->visualRect(model->index(position, 2)));
    QRect cell = grdVariablesMulti->visualRect(model->index(position, 3));
    const QSize radio = triggerButtons_[at]->sizeHint();
    triggerButtons_[at]->setGeometry(
        QRect(QPoint(cell.left() + (cell.width() - radio.width()) / 2,
                     cell.top() + (cell.height() - radio.height()) / 2),
              radio));
}

void TfrmOptionSetup::HideRowControls(int from) {
    for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < browseButtons_.size();
         ++i) {
        browseButtons_[i]->hide();
        triggerButtons_[i]->hide();
    }
}

// An exclusive radio cannot be unchecked by itself: its exclusivity is lifted for the moment.
void TfrmOptionSetup::UncheckTrigger(int position) {
    QRadioButton* radio = triggerButtons_.at(static_cast<std::size_t>(position));
    radio->setAutoExclusive(false);
    radio->setChecked(false);
    radio->setAutoExclusive(true);
}

void TfrmOptionSetup::grdVariablesMultiSelectCell(int row, int column) {
    if (row < 0) return;
    if (column == 1) {
        if (row == 0 && Trim(Cell(grdVariablesMulti, 0, 0)).isEmpty()) return;
        grdVariablesMulti->setEditTriggers(QAbstractItemView::AllEditTriggers);
        if (QTableWidgetItem* item = grdVariablesMulti->item(row, 1))
            grdVariablesMulti->editItem(item);
    } else {
        grdVariablesMulti->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
}

void TfrmOptionSetup::BrowseClick(QObject* sender) {
    auto* button = qobject_cast<QPushButton*>(sender);
    if (!button ||
        std::find(browseButtons_.begin(), browseButtons_.end(), button) == browseButtons_.end())
        return;
    const int row = button->property("tag").toInt();
    TfrmSelectOneStationSensor& picker = context_.Picker;
    const int result = context_.ShowModal ? context_.ShowModal(picker) : picker.exec();
    if (result != QDialog::Accepted) return;
    const TStationSensorItem* entry = picker.SelectedItem();
    if (!entry || row >= grdVariablesMulti->rowCount()) return;
    SetCell(grdVariablesMulti, row, 1, L(entry->StationID + "." + entry->SensorName), true);
    MarkUnsaved();
}

// ---- the sensor drop-down of the single-station grid ---------------------------------------

void TfrmOptionSetup::UpdateVariableEditor() {
    const int row = grdVariables->currentRow();
    const bool focused = grdVariables->hasFocus() || cbxVariable->hasFocus();
    if (row >= 0 && grdVariables->currentColumn() == 1 && focused) {
        const QRect cell = grdVariables->visualRect(grdVariables->model()->index(row, 1));
        cbxVariable->setGeometry(cell);
        cbxVariable->setCurrentIndex(FindItem(cbxVariable, Cell(grdVariables, row, 1)));
        cbxVariable->show();
    } else {
        cbxVariable->hide();
    }
}

void TfrmOptionSetup::WriteVariableCell() {
    const int row = grdVariables->currentRow();
    if (row < 0) return;
    if (cbxVariable->currentText() != Cell(grdVariables, row, 1))
        SetCell(grdVariables, row, 1, cbxVariable->currentText(), false);
}

// ---- the equation --------------------------------------------------------------------------

void TfrmOptionSetup::edtFunctionExit() {
    if (!equationChanged_) return;
    try {
        AnalyseEquation();
    } catch (const std::exception& e) {
        // The grids keep their rows; leaving the equation again repeats the analysis.
        ShowError(e);
        edtFunction->setFocus(Qt::OtherFocusReason);
    }
}

void TfrmOptionSetup::AnalyseEquation() {
    TStringList names(true);
    {
        TCalcEx calculator;
        calculator.GetVariables(S(edtFunction->text()), names);
    }
    HideRowControls(0);
    if (names.Count() == 0) {
        grdVariables->setRowCount(1);
        grdVariablesMulti->setRowCount(1);
        SetCell(grdVariables, 0, 0, QString(), false);
        SetCell(grdVariables, 0, 1, QString(), false);
        SetCell(grdVariablesMulti, 0, 0, QString(), false);
        SetCell(grdVariablesMulti, 0, 1, QString(), true);
    } else {
        // The assignments so far, of the rows that name a variable.
        using TRows = std::vector<std::pair<std::string, std::string>>;
        auto assigned = [](const QTableWidget* grid) {
            TRows rows;
            for (int r = 0; r < grid->rowCount(); ++r) {
                const QString name = Cell(grid, r, 0);
                if (!name.isEmpty()) rows.emplace_back(S(name), S(Cell(grid, r, 1)));
            }
            return rows;
        };
        const TRows single = assigned(grdVariables);
        const TRows multi = assigned(grdVariablesMulti);
        const int count = names.Count();
        grdVariables->setRowCount(count);
        grdVariablesMulti->setRowCount(count);
        for (int i = 0; i < count; ++i) {
            SetCell(grdVariables, i, 0, QString(), false);
            SetCell(grdVariables, i, 1, QString(), false);
            SetCell(grdVariablesMulti, i, 0, QString(), false);
            SetCell(grdVariablesMulti, i, 1, QString(), true);
            PrepareRowControls(i);
            PlaceRowControls(i);
            browseButtons_[static_cast<std::size_t>(i)]->show();
            triggerButtons_[static_cast<std::size_t>(i)]->show();
        }
        // The names come sorted, as the old rows are: one pass keeps the value of every name
        // that is still there and leaves the new names unassigned.
        auto merge = [&names, count](QTableWidget* grid, const TRows& old, bool editable) {
            std::size_t j = 0;
            for (int i = 0; i < count; ++i) {
                SetCell(grid, i, 0, L(names[i]), false);
                while (j < old.size()) {
                    const int order = CompareText(names[i], old[j].first);
                    if (order == 0) {
                        SetCell(grid, i, 1, L(old[j].second), editable);
                        ++j;
                        break;
                    }
                    if (order < 0) break;
                    ++j;
                }
            }
        };
        merge(grdVariables, single, false);
        merge(grdVariablesMulti, multi, true);
    }
    equationChanged_ = false;
}

// ---- filter file ---------------------------------------------------------------------------

void TfrmOptionSetup::edtFilterFileExit() {
    if (Trim(edtFilterFile->text()) != catalogueFilter_) ReloadCatalogue();
}

void TfrmOptionSetup::btnFilterClick() {
    QString fileName;
    const bool ok = context_.FilterSelect
                        ? context_.FilterSelect(this, context_.Connection, fileName)
                        : RunFilterSelect(this, context_.Connection, fileName);
    if (!ok) return;
    edtFilterFile->setText(fileName);
    if (Trim(fileName) != catalogueFilter_) ReloadCatalogue();
}

// ---- similar stations ----------------------------------------------------------------------

void TfrmOptionSetup::AddSimilarStation(const std::string& stationID,
                                        const TStationSensorItem* entry) {
    if (similarIDs_.count(stationID)) return;
    TStationSensorItem own;
    if (entry) {
        own.StationID = entry->StationID;
        own.SensorName = entry->SensorName;
    } else {
        own.StationID = stationID;
    }
    auto* item = new TSiteItem(std::move(own));
    item->setText(0, L(stationID));
    lstSiteSensors->addTopLevelItem(item);
    similarIDs_.insert(stationID);
    MarkUnsaved();
}

void TfrmOptionSetup::AddNode(QTreeWidgetItem* node) {
    if (!node) return;
    if (node->childCount() > 0) {
        for (int i = 0; i < node->childCount(); ++i) AddNode(node->child(i));
    } else if (const TStationSensorItem* entry = TCatalogueTreeWidget::ItemOf(node)) {
        AddSimilarStation(entry->StationID, entry);
    }
}

void TfrmOptionSetup::AddSelectedNode() {
    QTreeWidgetItem* node = tvwLeftTree->currentItem();
    if (node && node->isSelected()) AddNode(node);
}

void TfrmOptionSetup::AddAllSites() {
    lstSiteSensors->setUpdatesEnabled(false);
    for (int i = 0; i < tvwLeftTree->topLevelItemCount(); ++i)
        AddNode(tvwLeftTree->topLevelItem(i));
    lstSiteSensors->setUpdatesEnabled(true);
}

void TfrmOptionSetup::DeleteSelectedSites() {
    for (QTreeWidgetItem* item : lstSiteSensors->selectedItems()) {
        similarIDs_.erase(S(item->text(0)));
        delete item;
    }
    MarkUnsaved();
}

void TfrmOptionSetup::DeleteAllSites() {
    lstSiteSensors->clear();
    similarIDs_.clear();
    MarkUnsaved();
}

bool TfrmOptionSetup::lstSiteSensorsDragOver(QObject* source) const {
    return source == tvwLeftTree;
}

void TfrmOptionSetup::lstSiteSensorsDragDrop(QObject* source) {
    if (lstSiteSensorsDragOver(source)) AddSelectedNode();
}

// ---- events --------------------------------------------------------------------------------

bool TfrmOptionSetup::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::FocusOut) {
        // Leaving a control for another one of the dialog; not a switch to another window or
        // a drop-down list.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            QWidget* next = QApplication::focusWidget();
            if (watched == edtFunction) {
                edtFunctionExit();
            } else if (watched == edtFilterFile) {
                edtFilterFileExit();
            } else if (watched == cbxVariable) {
                WriteVariableCell();
                if (next != grdVariables) cbxVariable->hide();
            } else if (watched == grdVariables) {
                if (next != cbxVariable) cbxVariable->hide();
            }
        }
    } else if (type == QEvent::FocusIn && watched == grdVariables) {
        UpdateVariableEditor();
    } else if (type == QEvent::KeyPress && IsReturn(static_cast<QKeyEvent*>(event)) &&
               (watched == edtFunction || watched == edtFilterFile || watched == cbxVariable)) {
        // Return ends the edit: the equation and the filter file are left as with Tab (which
        // runs their analysis or reload), the sensor's choice goes into its cell. An open
        // drop-down list takes Return itself and never comes here.
        if (watched == cbxVariable) {
            WriteVariableCell();
            grdVariables->setFocus(Qt::OtherFocusReason);
        } else {
            focusNextChild();
        }
        return true;
    } else if (type == QEvent::KeyPress && watched == lstSiteSensors) {
        auto* key = static_cast<QKeyEvent*>(event);
        const auto modifiers = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
        if (key->key() == Qt::Key_Delete && !(key->modifiers() & modifiers)) {
            DeleteSelectedSites();
            return true;
        }
    } else if (watched == lstSiteSensors->viewport() &&
               (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!lstSiteSensorsDragOver(drop->source())) {
            drop->ignore();
            return true;
        }
        // A copy: the tree keeps its nodes.
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (type == QEvent::Drop) lstSiteSensorsDragDrop(drop->source());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ---- validation and saving -----------------------------------------------------------------

void TfrmOptionSetup::ValidateGroup() {
    if (Trim(edtFunction->text()).isEmpty())
        throw Exception("Equation empty. Please enter a valid equation.");
    if (!rdoSameStation->isChecked() && !rdoMultipleStations->isChecked())
        throw Exception("Please select sensor from single station or multiple stations.");
    if (cbxOutputStation->currentIndex() < 0) throw Exception("Please select an output station.");
    if (cbxOutputSensor->currentIndex() < 0) throw Exception("Please select an output sensor.");
    if (rdoSameStation->isChecked()) {
        if (Trim(Cell(grdVariables, 0, 0)).isEmpty())
            throw Exception("Please enter a valid function.");
        for (int r = 0; r < grdVariables->rowCount(); ++r) {
            if (Trim(Cell(grdVariables, r, 1)).isEmpty())
                throw Exception("Please assign sensors to variables.");
        }
        const std::string sensor = S(Trim(cbxOutputSensor->currentText()));
        for (int i = 0; i < lstSiteSensors->topLevelItemCount(); ++i) {
            const std::string station = S(lstSiteSensors->topLevelItem(i)->text(0));
            if (!catalogue_->Contains(station, sensor))
                throw Exception(
                    FormatText("Station %p doesn't have sensor %p.", {station, sensor}));
        }
    }
    if (rdoMultipleStations->isChecked()) {
        if (Trim(Cell(grdVariablesMulti, 0, 0)).isEmpty())
            throw Exception("Please enter a valid function.");
        for (int r = 0; r < grdVariablesMulti->rowCount(); ++r) {
            if (Trim(Cell(grdVariablesMulti, r, 1)).isEmpty())
                throw Exception("Please assign sensors to variables.");
        }
        bool trigger = false;
        for (int r = 0;
             r < grdVariablesMulti->rowCount() && r < static_cast<int>(triggerButtons_.size()); ++r)
            trigger = trigger || triggerButtons_[static_cast<std::size_t>(r)]->isChecked();
        if (!trigger)
            throw Exception("Please select a variable that will trigger the calculation.");
    }
}

int TfrmOptionSetup::FreeGroupNumber() const {
    std::set<QString> used;
    for (int i = 0; i < cbxGroup->count(); ++i) used.insert(cbxGroup->itemText(i));
    for (int n = 1; n <= MaxGroupNumber; ++n) {
        if (!used.count(QString::number(n))) return n;
    }
    return 0;
}

void TfrmOptionSetup::StoreGroup() {
    // A save reached without leaving the equation (the pop-up menu) would otherwise store the
    // new equation with the variables of the old one. An empty equation is left to its check.
    if (equationChanged_ && !Trim(edtFunction->text()).isEmpty()) AnalyseEquation();
    ValidateGroup();
    if (shownGroupIndex_ < 0 && !pendingGroup_) NewPendingGroup();
    TCalcGroupItem& target =
        shownGroupIndex_ >= 0 ? *editedGroups_.Items(shownGroupIndex_) : *pendingGroup_;
    target.FuncName = S(edtFunction->text());
    target.Enabled = chkEnable->isChecked();
    if (rdoSameStation->isChecked()) {
        target.MultiStations = false;
    } else if (rdoMultipleStations->isChecked()) {
        target.MultiStations = true;
    }
    target.Filter = FileName(edtFilterFile->text());
    target.OutputStation = S(cbxOutputStation->currentText());
    target.OutputSensor = S(cbxOutputSensor->currentText());
    target.ClearLists();
    for (int r = 0; r < grdVariables->rowCount(); ++r)
        target.Variables.push_back(
            MakeEntry(S(Cell(grdVariables, r, 0)), S(Cell(grdVariables, r, 1))));
    for (int i = 0; i < lstSiteSensors->topLevelItemCount(); ++i)
        target.SimilarStations.push_back(S(lstSiteSensors->topLevelItem(i)->text(0)));
    for (int r = 0; r < grdVariablesMulti->rowCount(); ++r) {
        target.MultiVariables.push_back(
            MakeEntry(S(Cell(grdVariablesMulti, r, 0)), S(Cell(grdVariablesMulti, r, 1))));
        if (r < static_cast<int>(triggerButtons_.size()) &&
            triggerButtons_[static_cast<std::size_t>(r)]->isChecked())
            target.MultiVariablesTrigger = r;
    }
    if (shownGroupIndex_ < 0) {
        if (const int n = FreeGroupNumber()) {
            pendingGroup_->CGIndex = n;
            pendingGroup_->GroupName = GroupNamePrefix + std::to_string(n);
            editedGroups_.Add(std::move(pendingGroup_));
            cbxGroup->addItem(QString::number(n));
            cbxGroup->setCurrentIndex(0);
            shownGroupIndex_ = 0;
        }
    }
    saved_ = true;
    setupSaved_ = true;
}

void TfrmOptionSetup::ShowError(const std::exception& error) {
    context_.Boxes.ShowError("Error 1600: " + L(error.what()));
}

bool TfrmOptionSetup::AskSave() {
    if (saved_) return true;
    switch (context_.Boxes.AskYesNoCancel("Save all current parameters?")) {
        case TBoxAnswer::baYes:
            try {
                StoreGroup();
                return true;
            } catch (const std::exception& e) {
                ShowError(e);
                return false;
            }
        case TBoxAnswer::baNo:
            return true;
        case TBoxAnswer::baCancel:
            break;
    }
    return false;
}

// ---- actions -------------------------------------------------------------------------------

void TfrmOptionSetup::UpdateActions() {
    actSave->setEnabled(
        !saved_ && ((editedGroups_.Count() > 0 && cbxGroup->currentIndex() >= 0) || pendingGroup_));
    actCopy->setEnabled(shownGroupIndex_ >= 0);
    actDelete->setEnabled(editedGroups_.Count() > 0);
    actDeleteAll->setEnabled(editedGroups_.Count() > 0);
    actNew->setEnabled(true);
}

void TfrmOptionSetup::actSaveExecute() {
    try {
        StoreGroup();
    } catch (const std::exception& e) {
        ShowError(e);
    }
}

void TfrmOptionSetup::cbxGroupChange() {
    if (!AskSave()) {
        cbxGroup->setCurrentIndex(shownGroupIndex_);
        return;
    }
    saved_ = true;
    shownGroupIndex_ = cbxGroup->currentIndex();
    if (shownGroupIndex_ < 0) {
        NewPendingGroup();
        LoadGroup(-1);
    } else {
        LoadGroup(shownGroupIndex_);
    }
}

void TfrmOptionSetup::ClearEditor() {
    edtFunction->clear();
    chkEnable->setChecked(true);
    edtFilterFile->clear();
    HideRowControls(0);
}

void TfrmOptionSetup::actNewExecute() {
    if (!AskSave()) return;
    const int n = FreeGroupNumber();
    if (n == 0) return;
    auto group = std::make_unique<TCalcGroupItem>();
    group->GroupName = GroupNamePrefix + std::to_string(n);
    group->CGIndex = n;
    editedGroups_.Add(std::move(group));
    cbxGroup->addItem(QString::number(n));
    ClearEditor();
    cbxGroup->setCurrentIndex(cbxGroup->count() - 1);
    LoadGroup(cbxGroup->count() - 1);
    saved_ = true;
}

void TfrmOptionSetup::actCopyExecute() {
    const int source = shownGroupIndex_;
    if (!AskSave()) return;
    const int n = FreeGroupNumber();
    if (n == 0) return;
    auto group = std::make_unique<TCalcGroupItem>();
    TCalcGroupItem& copy = *group;
    editedGroups_.Add(std::move(group));
    cbxGroup->addItem(QString::number(n));
    ClearEditor();
    cbxGroup->setCurrentIndex(cbxGroup->count() - 1);
    if (source >= 0 && source < editedGroups_.Count()) copy.Assign(*editedGroups_.Items(source));
    copy.GroupName = GroupNamePrefix + std::to_string(n);
    copy.CGIndex = n;
    LoadGroup(cbxGroup->count() - 1);
    // The copy is an unsaved change: leaving it asks whether to save.
    saved_ = false;
}

void TfrmOptionSetup::actDeleteExecute() {
    const int i = cbxGroup->currentIndex();
    if (i < 0) return;
    if (!context_.Boxes.ConfirmOkCancel("Are you sure you want to delete this Group?")) return;
    cbxGroup->removeItem(i);
    editedGroups_.DeleteAt(i);
    cbxGroup->setCurrentIndex(i < cbxGroup->count() ? i : cbxGroup->count() - 1);
    saved_ = true;
    cbxGroupChange();
}

void TfrmOptionSetup::actDeleteAllExecute() {
    if (!context_.Boxes.ConfirmOkCancel("Are you sure you want to delete all the Groups?")) return;
    for (int i = cbxGroup->count() - 1; i >= 0; --i) cbxGroup->removeItem(i);
    for (int i = editedGroups_.Count() - 1; i >= 0; --i) editedGroups_.DeleteAt(i);
    saved_ = true;
    cbxGroup->setCurrentIndex(-1);
    cbxGroupChange();
}

}  // namespace ov
