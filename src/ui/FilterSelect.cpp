// The filter dialog: the columns and their values read once when it is created, the condition
// composed line by line in the editor, the filter file written and read as 8-bit text, and the
// preview of the catalogue query with the editor's condition.
#include "ui/FilterSelect.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "catalogue/CatalogueSql.h"
#include "catalogue/FilterFile.h"
#include "database/CatalogueQueries.h"
#include "database/DatabaseConnection.h"
#include "database/MessageBoxes.h"
#include "qttext/QtText.h"
#include "ui/FileDialogs.h"
#include "ui/QtDialogBoxes.h"
#include "ui/QtFileDialogs.h"
#include "util/TextCompare.h"

namespace ov {

const std::array<QString, 6> TfrmFilterSelect::Conditions = {
    QStringLiteral("  = "),  QStringLiteral("  > "),  QStringLiteral("  < "),
    QStringLiteral("  >= "), QStringLiteral("  <= "), QStringLiteral(" LIKE ")};

const QString TfrmFilterSelect::NoneDefined = QStringLiteral("<None Defined>");

namespace {

const QString FilterFileFilter = QStringLiteral("Filter Files(*.flt)");
const QString FilterFileSuffix = QStringLiteral("flt");

// True when text holds nothing but blanks and control characters (what a trim removes).
bool Blank(const QString& text) {
    return BlankText(text.toStdString());
}

// The editor's lines: split at CR LF, LF or CR, a line end at the very end starting no line.
QStringList Lines(const QString& text) {
    QStringList lines;
    for (const std::string& line : SplitTextLines(text.toStdString()))
        lines.append(QString::fromStdString(line));
    return lines;
}

// The editor's text as the 8-bit text of a filter: false for a character beyond Latin-1,
// which a filter file cannot hold.
bool ToLatin1(const QString& text, std::string& latin1) {
    QString refused;
    return ExactEngineText(text, latin1, refused);
}

std::string FileNameBytes(const QString& fileName) {
    return QFile::encodeName(fileName).toStdString();
}

TFileDialogRequest FilterFileRequest(TFileDialogRequest::TKind kind, const QString& title,
                                     const QString& start) {
    TFileDialogRequest request;
    request.Kind = kind;
    request.Title = title;
    request.Filter = FilterFileFilter;
    request.DefaultSuffix = FilterFileSuffix;
    request.Start = start;
    return request;
}

// The wait cursor while the dialog reads the database.
class TWaitCursor {
  public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

QPushButton* Button(const QString& caption, const char* name, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    // Return in the value field or the editor must not press a button behind the user's back.
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TfrmFilterSelect::TfrmFilterSelect(QWidget* parent, const TDatabaseConnection& connection,
                                   IMessageBoxes& boxes, IFileDialogs& fileDialogs)
    : QDialog(parent), connection_(connection), boxes_(boxes), fileDialogs_(fileDialogs) {
    CreateControls();
    {
        // The value lists are filled before the first column is chosen.
        const QSignalBlocker blocker(cboFilterItem);
        ReadTable(QStringLiteral("OV_SITES"));
        ReadTable(QStringLiteral("OV_SITESENSORS"));
    }
    if (cboFilterItem->count() > 0) {
        cboFilterItem->setCurrentIndex(0);
        cboFilterItemChange();
    }
}

TfrmFilterSelect::~TfrmFilterSelect() = default;

void TfrmFilterSelect::CreateControls() {
    setObjectName(QStringLiteral("frmFilterSelect"));
    setWindowTitle(QStringLiteral("Filters"));

    grpEditFilter = new QGroupBox(QStringLiteral("Edit Filter"), this);
    grpEditFilter->setObjectName(QStringLiteral("grpEditFilter"));

    cboFilterItem = new QComboBox(grpEditFilter);
    cboFilterItem->setObjectName(QStringLiteral("cboFilterItem"));
    cboFilterItem->setMaxVisibleItems(12);
    cboFilterCondition = new QComboBox(grpEditFilter);
    cboFilterCondition->setObjectName(QStringLiteral("cboFilterCondition"));
    for (const QString& condition : Conditions) cboFilterCondition->addItem(condition);
    cboFilterCondition->setCurrentIndex(0);
    cboFilterValue = new QComboBox(grpEditFilter);
    cboFilterValue->setObjectName(QStringLiteral("cboFilterValue"));
    cboFilterValue->setEditable(true);
    cboFilterValue->setInsertPolicy(QComboBox::NoInsert);
    cboFilterValue->setMaxVisibleItems(12);
    // A column may hold 10^5 distinct values: the lists keep a fixed width instead of
    // measuring every value.
    for (QComboBox* box : {cboFilterItem, cboFilterValue}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(24);
    }

    auto* lblItem = new QLabel(QStringLiteral("Field:"), grpEditFilter);
    lblItem->setBuddy(cboFilterItem);
    auto* lblCondition = new QLabel(QStringLiteral("Condition:"), grpEditFilter);
    lblCondition->setBuddy(cboFilterCondition);
    auto* lblValue = new QLabel(QStringLiteral("Value:"), grpEditFilter);
    lblValue->setBuddy(cboFilterValue);

    edtText = new QPlainTextEdit(grpEditFilter);
    edtText->setObjectName(QStringLiteral("edtText"));
    edtText->setLineWrapMode(QPlainTextEdit::NoWrap);
    edtText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edtText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    btnAdd = Button(QStringLiteral("&Add"), "btnAdd", grpEditFilter);
    btnNew = Button(QStringLiteral("&New"), "btnNew", grpEditFilter);
    btnOpen = Button(QStringLiteral("&Open"), "btnOpen", grpEditFilter);
    btnSave = Button(QStringLiteral("&Save"), "btnSave", grpEditFilter);
    btnSaveAs = Button(QStringLiteral("Sa&ve As"), "btnSaveAs", grpEditFilter);

    auto* lblFilterFile = new QLabel(QStringLiteral("Filter File:"), grpEditFilter);
    edtFilterFile = new QLineEdit(grpEditFilter);
    edtFilterFile->setObjectName(QStringLiteral("edtFilterFile"));
    edtFilterFile->setReadOnly(true);
    edtFilterFile->setFrame(false);
    {
        // A name to read, not a field to fill: shown on the dialog's own background.
        QPalette palette = edtFilterFile->palette();
        palette.setBrush(QPalette::Base, Qt::transparent);
        edtFilterFile->setPalette(palette);
    }
    const QString hint = QStringLiteral("This file contains the filters specified in OVDesktop");
    edtFilterFile->setToolTip(hint);
    edtFilterFile->setStatusTip(hint);

    auto* fields = new QGridLayout;
    fields->addWidget(lblItem, 0, 0);
    fields->addWidget(cboFilterItem, 0, 1);
    fields->addWidget(lblCondition, 0, 2);
    fields->addWidget(cboFilterCondition, 0, 3);
    fields->addWidget(lblValue, 1, 0);
    fields->addWidget(cboFilterValue, 1, 1, 1, 3);
    fields->setColumnStretch(1, 1);
    auto* editButtons = new QVBoxLayout;
    for (QPushButton* button : {btnAdd, btnNew, btnOpen, btnSave, btnSaveAs})
        editButtons->addWidget(button);
    editButtons->addStretch(1);
    auto* editor = new QHBoxLayout;
    editor->addWidget(edtText, 1);
    editor->addLayout(editButtons);
    auto* file = new QHBoxLayout;
    file->addWidget(lblFilterFile);
    file->addWidget(edtFilterFile, 1);
    auto* edit = new QVBoxLayout(grpEditFilter);
    edit->addLayout(fields);
    edit->addLayout(editor, 1);
    edit->addLayout(file);

    CreateDataAndButtons();
    ConnectControls();
}

// The preview of the filter's station.sensor pairs, the dialog's buttons and the dialog's layout.
void TfrmFilterSelect::CreateDataAndButtons() {
    grpData = new QGroupBox(QStringLiteral("Data"), this);
    grpData->setObjectName(QStringLiteral("grpData"));
    lstSiteSensors = new QTreeWidget(grpData);
    lstSiteSensors->setObjectName(QStringLiteral("lstSiteSensors"));
    lstSiteSensors->setColumnCount(2);
    lstSiteSensors->setHeaderLabels({QStringLiteral("StationID"), QStringLiteral("SensorName")});
    lstSiteSensors->setRootIsDecorated(false);
    lstSiteSensors->setUniformRowHeights(true);
    lstSiteSensors->setAllColumnsShowFocus(true);
    lstSiteSensors->header()->resizeSection(0, 160);
    auto* data = new QVBoxLayout(grpData);
    data->addWidget(lstSiteSensors);

    btnExec = Button(QStringLiteral("&Execute"), "btnExec", this);
    btnOK = Button(QStringLiteral("&OK"), "btnOK", this);
    btnCancel = Button(QStringLiteral("&Cancel"), "btnCancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnExec);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grpEditFilter, 3);
    layout->addWidget(grpData, 2);
    layout->addLayout(buttons);
    resize(620, 560);
}

void TfrmFilterSelect::ConnectControls() {
    connect(cboFilterItem, &QComboBox::currentIndexChanged, this,
            &TfrmFilterSelect::cboFilterItemChange);
    connect(btnAdd, &QPushButton::clicked, this, &TfrmFilterSelect::btnAddClick);
    connect(btnNew, &QPushButton::clicked, this, &TfrmFilterSelect::btnNewClick);
    connect(btnOpen, &QPushButton::clicked, this, &TfrmFilterSelect::btnOpenClick);
    connect(btnSave, &QPushButton::clicked, this, &TfrmFilterSelect::btnSaveClick);
    connect(btnSaveAs, &QPushButton::clicked, this, &TfrmFilterSelect::btnSaveAsClick);
    connect(btnExec, &QPushButton::clicked, this, &TfrmFilterSelect::btnExecClick);
    connect(btnOK, &QPushButton::clicked, this, &TfrmFilterSelect::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

// One table's fields as column entries, and every non-null value of every row into the
// field's value list.
void TfrmFilterSelect::ReadTable(const QString& table) {
    TSuiteTable reader;
    if (!reader.Open(connection_, table)) {
        qCWarning(lcDatabase).noquote()
            << "the filter dialog offers no column of" << table << "-" << reader.LastError();
        return;
    }
    const std::size_t first = valueLists_.size();
    const std::size_t count = reader.Fields().size();
    QStringList references;
    for (const TTableField& field : reader.Fields()) {
        references.append(table + u'.' + field.Name);
        valueLists_.emplace_back(field.Kind);
    }
    cboFilterItem->addItems(references);
    while (reader.Next()) {
        for (std::size_t i = 0; i < count; ++i) {
            const int field = static_cast<int>(i);
            if (!reader.IsNull(field)) valueLists_[first + i].Add(reader.Text(field));
        }
    }
    // A read that ended early leaves the values read so far (TSuiteTable logs the reason).
}

void TfrmFilterSelect::cboFilterItemChange() {
    cboFilterValue->clear();
    const int column = cboFilterItem->currentIndex();
    if (column >= 0 && !ValueList(column).IsEmpty()) {
        cboFilterValue->addItems(ValueList(column).Values());
    } else {
        cboFilterValue->addItem(NoneDefined);
    }
    // The values are offered, none is chosen.
    cboFilterValue->setCurrentIndex(-1);
    cboFilterValue->clearEditText();
}

void TfrmFilterSelect::btnAddClick() {
    const int column = cboFilterItem->currentIndex();
    const int condition = cboFilterCondition->currentIndex();
    const QString value = cboFilterValue->currentText();  // as typed, blanks kept
    if (column < 0 || condition < 0 || Blank(value)) return;

    QString comparison = cboFilterItem->itemText(column) + u' ' +
                         Conditions[static_cast<std::size_t>(condition)] + u' ';
    if (QuotedFieldKind(ValueList(column).DataType)) {
        // An apostrophe inside the value is doubled, so that it cannot end the SQL string
        // early: O'Brien is written 'O''Brien'.
        QString quoted = value;
        quoted.replace(u'\'', QStringLiteral("''"));
        comparison += u'\'' + quoted + u'\'';
    } else {
        comparison += value;
    }

    const QString text = edtText->toPlainText();
    QStringList lines;
    if (!Blank(text)) {
        lines = Lines(text);
        lines.last() += QStringLiteral(" AND ");
        lines.append(comparison);
    } else {
        lines.append(comparison);
    }
    edtText->setPlainText(lines.join(u'\n'));
    edtText->moveCursor(QTextCursor::End);
    filterSaved_ = false;
}

void TfrmFilterSelect::btnNewClick() {
    edtText->clear();
    edtFilterFile->clear();
    filterSaved_ = false;
}

void TfrmFilterSelect::btnOpenClick() {
    QString fileName;
    if (!fileDialogs_.Execute(
            this,
            FilterFileRequest(TFileDialogRequest::fdOpen, QStringLiteral(" Open Filter File"),
                              edtFilterFile->text()),
            fileName))
        return;
    edtFilterFile->setText(fileName);
    edtText->clear();
    std::vector<std::string> lines;
    const bool read = ReadFilterFileLines(FileNameBytes(fileName), lines);
    QStringList text;
    text.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines) text.append(QtText(line));
    edtText->setPlainText(text.join(u'\n'));
    filterSaved_ = read;
    if (!read) qCWarning(lcDatabase) << "the filter file" << fileName << "could not be read";
}

void TfrmFilterSelect::btnSaveClick() {
    if (!edtFilterFile->text().isEmpty()) {
        WriteFile(edtFilterFile->text());
    } else {
        btnSaveAsClick();
    }
}

void TfrmFilterSelect::btnSaveAsClick() {
    QString fileName;
    if (fileDialogs_.Execute(
            this,
            FilterFileRequest(TFileDialogRequest::fdSave, QStringLiteral("Save Filter File As"),
                              edtFilterFile->text()),
            fileName))
        WriteFile(fileName);
}

void TfrmFilterSelect::WriteFile(const QString& fileName) {
    std::string text;
    if (!ToLatin1(edtText->toPlainText(), text)) {
        qCWarning(lcDatabase) << "the filter holds a character that the 8-bit filter file"
                              << fileName << "cannot hold; nothing written";
        filterSaved_ = false;
        return;
    }
    if (!WriteFilterFile(FileNameBytes(fileName), text)) {
        qCWarning(lcDatabase) << "the filter file" << fileName << "could not be written";
        filterSaved_ = false;
        return;
    }
    edtFilterFile->setText(fileName);
    filterSaved_ = true;
}

void TfrmFilterSelect::btnExecClick() {
    lstSiteSensors->clear();
    std::string text;
    if (!ToLatin1(edtText->toPlainText(), text)) {
        qCWarning(lcDatabase) << "the filter holds a character beyond 8-bit text; no preview";
        return;
    }
    std::vector<std::pair<QString, QString>> rows;
    {
        TWaitCursor wait;
        RunPreviewQuery(connection_, text, rows);  // a failure keeps the rows read before it
    }
    // In order of station identifier, compared as the suite compares names; a station's
    // sensors stay in the order the query gave them.
    std::vector<std::pair<std::string, std::size_t>> order;
    order.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) order.emplace_back(EngineText(rows[i].first), i);
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return CompareText(a.first, b.first) < 0;
    });
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const auto& [station, row] : order) {
        auto& [id, sensor] = rows[row];
        items.append(new QTreeWidgetItem(QStringList{std::move(id), std::move(sensor)}));
    }
    lstSiteSensors->addTopLevelItems(items);
}

void TfrmFilterSelect::btnOKClick() {
    if (filterSaved_) {
        accept();
    } else {
        boxes_.ShowInformation(QStringLiteral("Please save the filter file before selecting it"));
    }
}

bool TfrmFilterSelect::SelectedFile(QString& fileName) const {
    if (!filterSaved_) return false;
    fileName = edtFilterFile->text();
    return true;
}

bool RunFilterSelect(QWidget* parent, TDatabaseConnection& connection, QString& fileName) {
    TQtDialogBoxes boxes(parent);
    TQtFileDialogs fileDialogs;
    std::unique_ptr<TfrmFilterSelect> dialog;
    {
        TWaitCursor wait;
        dialog = std::make_unique<TfrmFilterSelect>(parent, connection, boxes, fileDialogs);
    }
    boxes.SetParent(dialog.get());
    if (dialog->exec() != QDialog::Accepted) return false;
    return dialog->SelectedFile(fileName);
}

}  // namespace ov
