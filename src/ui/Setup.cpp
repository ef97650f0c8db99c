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
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <algorithm>
#include <exception>
#include <string_view>
#include <utility>
#include <vector>

#include "calc/CalcEx.h"
#include "catalogue/CatalogueTree.h"
#include "database/CatalogueQueries.h"
#include "database/DatabaseConnection.h"
#include "qttext/QtText.h"
#include "ui/CatalogueIcons.h"
#include "ui/CatalogueTreeWidget.h"
#include "ui/DialogBoxes.h"
#include "ui/FilterSelect.h"
#include "ui/Help.h"
#include "ui/SelectOneStationSensor.h"
#include "util/StringList.h"
#include "util/TextCompare.h"

namespace ov {
namespace {

constexpr const char* HelpTopic = "setupdialog";

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

// An entry of the similar-stations list with the catalogue entry it owns.
class TSiteItem : public QTreeWidgetItem {
  public:
    explicit TSiteItem(TStationSensorItem entry) : Entry(std::move(entry)) {
        setText(0, QtText(Entry.StationID));
    }
    TStationSensorItem Entry;
};

bool IsReturn(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

// The position of the item whose text equals text without regard to case; -1 when none.
int FindItem(const QComboBox* box, const QString& text) {
    return box->findText(text, Qt::MatchFixedString);
}

}  // namespace

TfrmOptionSetup::TfrmOptionSetup(QWidget* parent, TCalcGroups& groups, TSetupContext context)
    : QDialog(parent), editedGroups_(groups), context_(std::move(context)) {
    setObjectName("frmOptionSetup");
    setWindowTitle("Setup");
    CreateControls(*this);
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

void TfrmOptionSetup::ConnectControls() {
    grdVariablesMulti->setItemDelegateForColumn(
        1, new TCellDelegate(grdVariablesMulti, [this] { MarkUnsaved(); }));
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
    outputStations_.clear();
    cbxOutputStation->clear();
    cbxOutputSensor->clear();
    cbxVariable->clear();
    outputStations_ = OutputStations(*catalogue_);
    QStringList texts;
    texts.reserve(static_cast<qsizetype>(outputStations_.size()));
    for (const TOutputStation& station : outputStations_) texts << QtText(station.StationID);
    cbxOutputStation->addItems(texts);
    cbxOutputStation->setCurrentIndex(-1);
}

void TfrmOptionSetup::cbxOutputStationChange() {
    const int station = cbxOutputStation->currentIndex();
    if (station < 0 || station >= static_cast<int>(outputStations_.size())) {
        cbxOutputSensor->clear();
        cbxVariable->clear();
    } else {
        QStringList inOrder;
        for (const std::string& sensor : outputStations_[static_cast<std::size_t>(station)].Sensors)
            inOrder << QtText(sensor);
        QStringList sorted = inOrder;
        std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return CompareText(EngineText(a), EngineText(b)) < 0;
        });
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
        const TSetupForm form = TSetupForm::OfGroup(*group);
        chkEnable->setChecked(form.Enabled);
        edtFunction->setText(UpperCase8Bit(QtText(form.Equation)));
        edtFunction->setCursorPosition(0);  // a long equation shows from its start
        if (form.MultipleStations) {
            rdoMultipleStations->setChecked(true);
            pgMain->setCurrentWidget(tsMultiple);
        } else {
            rdoSameStation->setChecked(true);
            pgMain->setCurrentWidget(tsSingle);
        }

        edtFilterFile->setText(FileNameText(form.Filter));
        if (Trim(edtFilterFile->text()) != catalogueFilter_) ReloadCatalogue();

        const int station = FindItem(cbxOutputStation, QtText(form.OutputStation));
        if (station != cbxOutputStation->currentIndex()) {
            cbxOutputStation->setCurrentIndex(station);
            cbxOutputStationChange();
        }
        cbxOutputSensor->setCurrentIndex(FindItem(cbxOutputSensor, QtText(form.OutputSensor)));

        ShowVariables(form);
        // No trigger left over from the group shown before, which would pass for this group's.
        const int rows = static_cast<int>(form.Variables.size());
        for (int i = 0; i < (rows > 0 ? rows : static_cast<int>(triggerButtons_.size())); ++i)
            UncheckTrigger(i);
        if (form.Trigger >= 0)
            triggerButtons_[static_cast<std::size_t>(form.Trigger)]->setChecked(true);

        lstSiteSensors->clear();
        similarIDs_.clear();
        for (const std::string& similar : form.SimilarStations) AddSimilarStation(similar, nullptr);
    }
    shownGroupIndex_ = cbxGroup->currentIndex();
    saved_ = true;
}

void TfrmOptionSetup::ShowVariables(const TSetupForm& form) {
    const int rows = static_cast<int>(form.Variables.size());
    if (rows == 0) {
        // No variables: one empty row, without row controls.
        HideRowControls(0);
        grdVariables->setRowCount(1);
        grdVariablesMulti->setRowCount(1);
        SetCell(grdVariables, 0, 0, QString(), false);
        SetCell(grdVariables, 0, 1, QString(), false);
        SetCell(grdVariablesMulti, 0, 0, QString(), false);
        SetCell(grdVariablesMulti, 0, 1, QString(), true);
        return;
    }
    grdVariables->setRowCount(rows);
    grdVariablesMulti->setRowCount(rows);
    for (int i = 0; i < rows; ++i) {
        const auto at = static_cast<std::size_t>(i);
        SetCell(grdVariables, i, 0, QtText(form.Variables[at].Name), false);
        SetCell(grdVariables, i, 1, QtText(form.Variables[at].Value), false);
        SetCell(grdVariablesMulti, i, 0, QtText(form.MultiVariables[at].Name), false);
        SetCell(grdVariablesMulti, i, 1, QtText(form.MultiVariables[at].Value), true);
        PrepareRowControls(i);
        PlaceRowControls(i);
        browseButtons_[at]->show();
        triggerButtons_[at]->show();
    }
    HideRowControls(rows);
}

// ---- row controls of the multiple-station grid ---------------------------------------------

void TfrmOptionSetup::PrepareRowControls(int position) {
    while (static_cast<int>(browseButtons_.size()) < position + 1) {
        const auto [made, radio] = MakeRowControls(static_cast<int>(browseButtons_.size()));
        // A plain variable: a structured binding cannot be captured by every compiler we build
        // with (Clang before 16).
        QPushButton* const button = made;
        connect(button, &QPushButton::clicked, this, [this, button] { BrowseClick(button); });
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
    SetCell(grdVariablesMulti, row, 1, QtText(entry->StationID + "." + entry->SensorName), true);
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
        calculator.GetVariables(EngineText(edtFunction->text()), names);
    }
    // The rows so far keep the assignments of the names that remain; the radios that existed
    // keep their state.
    TSetupForm form = ReadForm();
    HideRowControls(0);
    form.ListVariables(names.Items());
    ShowVariables(form);
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
    item->setText(0, QtText(stationID));
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
        similarIDs_.erase(EngineText(item->text(0)));
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

TSetupForm TfrmOptionSetup::ReadForm() const {
    TSetupForm form;
    form.Equation = EngineText(edtFunction->text());
    form.Enabled = chkEnable->isChecked();
    form.SameStation = rdoSameStation->isChecked();
    form.MultipleStations = rdoMultipleStations->isChecked();
    form.Filter = FileName(edtFilterFile->text());
    form.OutputStation = EngineText(cbxOutputStation->currentText());
    form.OutputSensor = EngineText(cbxOutputSensor->currentText());
    for (int r = 0; r < grdVariables->rowCount(); ++r)
        form.Variables.push_back(
            {EngineText(Cell(grdVariables, r, 0)), EngineText(Cell(grdVariables, r, 1))});
    for (int r = 0; r < grdVariablesMulti->rowCount(); ++r) {
        form.MultiVariables.push_back(
            {EngineText(Cell(grdVariablesMulti, r, 0)), EngineText(Cell(grdVariablesMulti, r, 1))});
        if (r < static_cast<int>(triggerButtons_.size()) &&
            triggerButtons_[static_cast<std::size_t>(r)]->isChecked())
            form.Trigger = r;
    }
    for (int i = 0; i < lstSiteSensors->topLevelItemCount(); ++i)
        form.SimilarStations.push_back(EngineText(lstSiteSensors->topLevelItem(i)->text(0)));
    return form;
}

THasSensor TfrmOptionSetup::CatalogueHasSensor() const {
    return [this](std::string_view station, std::string_view sensor) {
        return catalogue_->Contains(station, sensor);
    };
}

int TfrmOptionSetup::FreeGroupNumber() const {
    std::vector<std::string> shown;
    for (int i = 0; i < cbxGroup->count(); ++i) shown.push_back(EngineText(cbxGroup->itemText(i)));
    return ov::FreeGroupNumber(shown);
}

void TfrmOptionSetup::StoreGroup() {
    // A save reached without leaving the equation (the pop-up menu) would otherwise store the
    // new equation with the variables of the old one. An empty equation is left to its check.
    if (equationChanged_ && !Trim(edtFunction->text()).isEmpty()) AnalyseEquation();
    const TSetupForm form = ReadForm();
    form.Validate(CatalogueHasSensor());
    if (shownGroupIndex_ < 0 && !pendingGroup_) NewPendingGroup();
    form.Store(shownGroupIndex_ >= 0 ? *editedGroups_.Items(shownGroupIndex_) : *pendingGroup_);
    if (shownGroupIndex_ < 0) {
        if (const int n = FreeGroupNumber()) {
            pendingGroup_->CGIndex = n;
            pendingGroup_->GroupName = SetupGroupName(n);
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
    context_.Boxes.ShowError("Error 1600: " + QtText(error.what()));
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
    group->GroupName = SetupGroupName(n);
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
    copy.GroupName = SetupGroupName(n);
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
