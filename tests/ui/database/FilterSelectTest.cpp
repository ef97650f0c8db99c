// The filter dialog on the example suite database, in SQLite (a private copy per test) and in
// the fixture's PostgreSQL server: the columns of both tables with their distinct values, the
// comparisons Add writes (quoting by the column's kind, blanks kept, apostrophes doubled), the
// filter file byte for byte, Open and Save with their failures, OK refused until saved, the
// preview; real widgets, file dialogs and message boxes answered by fakes, and once through the
// Qt ones.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "database/CatalogueQueries.h"
#include "database/DatabaseTestSupport.h"
#include "database/SuiteTable.h"
#include "support/ScratchFolder.h"
#include "ui/FileDialogs.h"
#include "ui/FilterSelect.h"

// Failures show texts as text.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace ov {
namespace {

using test::ReadFileText;
using test::ScratchFolder;
using test::WriteFileText;
using TPairs = std::vector<std::pair<QString, QString>>;

const QString NotSaved = QStringLiteral("Please save the filter file before selecting it");

// Answers the dialog's file dialogs in turn with a name or, for nullopt, a cancel; records
// what was asked.
class TFakeFileDialogs : public IFileDialogs {
  public:
    bool Execute(QWidget*, const TFileDialogRequest& request, QString& fileName) override {
        Requests.push_back(request);
        if (Answers.empty()) return false;
        const std::optional<QString> answer = Answers.front();
        Answers.pop_front();
        if (!answer) return false;
        fileName = *answer;
        return true;
    }
    std::deque<std::optional<QString>> Answers;
    std::vector<TFileDialogRequest> Requests;
};

QString Path(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// The example suite database: a private SQLite copy that a test may change, or the fixture's
// PostgreSQL database, whose changes stay in a transaction rolled back at the end.
class FilterDialog : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        if (Postgres()) {
            ASSERT_TRUE(db.Connect(test::PostgresDsn));
        } else {
            const auto copy = folder / "suite.db";
            std::filesystem::copy_file(
                std::filesystem::path(test::FixtureFolder()) / "OVSuiteSQLite.db", copy);
            ASSERT_TRUE(db.Connect("DRIVER={OV SQLite3};Database=" + copy.string()))
                << db.Boxes.Errors.join(' ').toStdString();
        }
    }
    void TearDown() override {
        if (inTransaction_) db.Connection->Database().rollback();
        EXPECT_TRUE(db.Boxes.Errors.isEmpty()) << db.Boxes.Errors.join(' ').toStdString();
    }
    bool Postgres() const { return QByteArray(GetParam()) == "pg"; }

    void Exec(const QString& sql) {
        QSqlDatabase database = db.Connection->Database();
        if (Postgres() && !inTransaction_) {
            ASSERT_TRUE(database.transaction());
            inTransaction_ = true;
        }
        QSqlQuery query(database);
        ASSERT_TRUE(query.exec(sql)) << sql.toStdString();
    }

    std::unique_ptr<TfrmFilterSelect> Open() {
        auto dialog = std::make_unique<TfrmFilterSelect>(nullptr, *db.Connection, db.Boxes, files);
        dialog->show();
        return dialog;
    }

    ScratchFolder folder;
    test::TConnected db;
    TFakeFileDialogs files;

  private:
    bool inTransaction_ = false;
};

// Chooses the column whose reference is table.field (the driver's letter case aside).
void ChooseColumn(TfrmFilterSelect& dialog, const char* reference) {
    const int index =
        dialog.cboFilterItem->findText(QString::fromLatin1(reference), Qt::MatchFixedString);
    ASSERT_GE(index, 0) << reference;
    dialog.cboFilterItem->setCurrentIndex(index);
}

// Chooses a column and a condition, types the value and presses Add.
void Add(TfrmFilterSelect& dialog, const char* reference, int condition, const QString& value) {
    ChooseColumn(dialog, reference);
    dialog.cboFilterCondition->setCurrentIndex(condition);
    dialog.cboFilterValue->setEditText(value);
    QTest::mouseClick(dialog.btnAdd, Qt::LeftButton);
}

TPairs Preview(const TfrmFilterSelect& dialog) {
    TPairs rows;
    for (int i = 0; i < dialog.lstSiteSensors->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = dialog.lstSiteSensors->topLevelItem(i);
        rows.emplace_back(item->text(0), item->text(1));
    }
    return rows;
}

TPairs Sorted(TPairs rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

TEST_P(FilterDialog, OffersEveryColumnOfBothTablesWithItsDistinctValues) {
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), "Filters");

    // The reference: each table's fields in order, each non-null value once, compared without
    // the case of ASCII letters, by a plain search through the values kept so far.
    QStringList columns;
    std::vector<QStringList> values;
    std::vector<TFieldKind> kinds;
    for (const char* table : {"OV_SITES", "OV_SITESENSORS"}) {
        TSuiteTable reader;
        ASSERT_TRUE(reader.Open(*db.Connection, QString::fromLatin1(table)));
        const std::size_t first = values.size();
        for (const TTableField& field : reader.Fields()) {
            columns << QString::fromLatin1(table) + "." + field.Name;
            values.emplace_back();
            kinds.push_back(field.Kind);
        }
        while (reader.Next()) {
            for (std::size_t i = 0; i < reader.Fields().size(); ++i) {
                if (reader.IsNull(static_cast<int>(i))) continue;
                const QString value = reader.Text(static_cast<int>(i));
                QStringList& list = values[first + i];
                const bool known = std::any_of(list.begin(), list.end(), [&](const QString& v) {
                    return v.toLatin1().toUpper() == value.toLatin1().toUpper();
                });
                if (!known) list << value;
            }
        }
    }
    ASSERT_EQ(columns.size(), 21);
    ASSERT_EQ(dialog->cboFilterItem->count(), columns.size());
    for (int i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(dialog->cboFilterItem->itemText(i), columns[i]);
        EXPECT_EQ(dialog->ValueList(i).Values(), values[static_cast<std::size_t>(i)])
            << columns[i].toStdString();
        EXPECT_EQ(dialog->ValueList(i).DataType, kinds[static_cast<std::size_t>(i)]);
    }

    // The first column is chosen, its values offered and none taken yet.
    EXPECT_EQ(dialog->cboFilterItem->currentIndex(), 0);
    EXPECT_EQ(dialog->cboFilterValue->count(), values[0].size());
    EXPECT_EQ(dialog->cboFilterValue->currentText(), "");
    EXPECT_EQ(dialog->cboFilterCondition->currentText(), "  = ");

    // A basin typed in capitals joins the first spelling met; a blank basin is a value.
    ChooseColumn(*dialog, "OV_SITES.BASIN");
    const QStringList basins = {"Mill Creek",  "Cedar River", "Elk River",    "Stony Brook",
                                "Willow Fork", "Blue River",  "Platte River", "  "};
    QStringList offered;
    for (int i = 0; i < dialog->cboFilterValue->count(); ++i)
        offered << dialog->cboFilterValue->itemText(i);
    EXPECT_EQ(offered, basins);
}

TEST_P(FilterDialog, AddWritesOneComparisonQuotedByTheColumnsKind) {
    struct Case {
        const char* column;
        int condition;  // position in the condition list
        const char* value;
        const char* written;             // after the column reference
        const char* inSQLite = nullptr;  // when SQLite's driver gives the column another kind
    };
    const Case cases[] = {
        {"OV_SITES.BASIN", 0, "North", "   =  'North'"},
        {"OV_SITES.PRIMARY_CHANNEL", 1, "20", "   >  20"},
        {"OV_SITES.RANDOM_CHANNEL", 2, "-5", "   <  -5"},
        {"OV_SITES.ELEVATION", 3, "332.2", "   >=  332.2"},
        {"OV_SITES.INSTALLED", 4, "2010-01-01", "   <=  '2010-01-01'"},  // date
        {"OV_SITES.REPORTING_TIME", 0, "00:30:00", "   =  '00:30:00'"},  // time
        {"OV_SITESENSORS.LAST_CALIBRATED", 1, "2020-01-01 00:00:00",
         "   >  '2020-01-01 00:00:00'"},  // date-time
        // Fixed-length characters (SQLite's driver calls every character column VARCHAR).
        {"OV_SITES.STATUS", 0, "A", "   =  A", "   =  'A'"},
        {"OV_SITES.NOTES", 5, "%RTU%", "  LIKE  %RTU%"},         // long text
        {"OV_SITES.CITY", 5, "  Elm%  ", "  LIKE  '  Elm%  '"},  // blanks kept
        {"OV_SITES.CITY", 0, "O'Brien", "   =  'O''Brien'"},     // apostrophe doubled
        {"OV_SITES.STATION_NAME", 0, "'", "   =  ''''"},
        {"OV_SITES.PRIMARY_CHANNEL", 0, " 7 ", "   =   7 "},
    };
    auto dialog = Open();
    for (const Case& k : cases) {
        QTest::mouseClick(dialog->btnNew, Qt::LeftButton);
        Add(*dialog, k.column, k.condition, QString::fromLatin1(k.value));
        const char* written = k.inSQLite && !Postgres() ? k.inSQLite : k.written;
        EXPECT_EQ(dialog->edtText->toPlainText(),
                  dialog->cboFilterItem->currentText() + QString::fromLatin1(written))
            << k.column << " " << k.value;
    }
    if (!Postgres()) {  // the names as the schema writes them
        QTest::mouseClick(dialog->btnNew, Qt::LeftButton);
        Add(*dialog, "OV_SITES.BASIN", 0, "North");
        EXPECT_EQ(dialog->edtText->toPlainText(), "OV_SITES.BASIN   =  'North'");
    }

    // A blank value adds nothing, and the state stays as it was.
    QTest::mouseClick(dialog->btnNew, Qt::LeftButton);
    dialog->edtText->setPlainText("kept");
    for (const char* blank : {"", "   ", "\t"}) {
        Add(*dialog, "OV_SITES.BASIN", 0, QString::fromLatin1(blank));
        EXPECT_EQ(dialog->edtText->toPlainText(), "kept");
    }
}

TEST_P(FilterDialog, TwoComparisonsMakeATwoLineFileByteForByte) {
    auto dialog = Open();
    Add(*dialog, "OV_SITES.BASIN", 0, "Cedar River");
    Add(*dialog, "OV_SITES.PRIMARY_CHANNEL", 1, "22");
    const QString basin = dialog->cboFilterItem->itemText(
        dialog->cboFilterItem->findText("OV_SITES.BASIN", Qt::MatchFixedString));
    const QString channel = dialog->cboFilterItem->currentText();
    EXPECT_EQ(dialog->edtText->toPlainText(),
              basin + "   =  'Cedar River' AND \n" + channel + "   >  22");

    // Save without a name asks for one.
    const auto file = folder / "cedar.flt";
    files.Answers = {Path(file)};
    QTest::mouseClick(dialog->btnSave, Qt::LeftButton);
    ASSERT_EQ(files.Requests.size(), 1u);
    const TFileDialogRequest& asked = files.Requests[0];
    EXPECT_EQ(asked.Kind, TFileDialogRequest::fdSave);
    EXPECT_EQ(asked.Title, "Save Filter File As");
    EXPECT_EQ(asked.Filter, "Filter Files(*.flt)");
    EXPECT_EQ(asked.DefaultSuffix, "flt");
    EXPECT_EQ(ReadFileText(file),
              (basin + "   =  'Cedar River' AND \r\n" + channel + "   >  22\r\n").toStdString());
    EXPECT_TRUE(dialog->FilterSaved());
    EXPECT_EQ(dialog->edtFilterFile->text(), Path(file));

    // The preview selects what the catalogue loads through the file.
    QTest::mouseClick(dialog->btnExec, Qt::LeftButton);
    const TPairs preview = Preview(*dialog);
    TStationSensorCache catalogue;
    ASSERT_TRUE(LoadStationCatalogue(*db.Connection, catalogue, file.string()));
    TPairs loaded;
    for (int i = 0; i < catalogue.Count(); ++i)
        loaded.emplace_back(QString::fromLatin1(catalogue.Items(i).StationID),
                            QString::fromLatin1(catalogue.Items(i).SensorName));
    EXPECT_EQ(Sorted(preview), Sorted(loaded));
    std::set<QString> stations;
    for (const auto& row : preview) stations.insert(row.first);
    EXPECT_EQ(stations, (std::set<QString>{"CEDAR3", "CEDRN1", "CEDRS"}));

    // OK hands the file over; a second dialog opens it as it was written.
    QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    QString chosen = "unchanged";
    ASSERT_TRUE(dialog->SelectedFile(chosen));
    EXPECT_EQ(chosen, Path(file));

    auto second = Open();
    files.Answers = {Path(file)};
    QTest::mouseClick(second->btnOpen, Qt::LeftButton);
    ASSERT_EQ(files.Requests.size(), 2u);
    EXPECT_EQ(files.Requests[1].Kind, TFileDialogRequest::fdOpen);
    EXPECT_EQ(files.Requests[1].Title, " Open Filter File");
    EXPECT_EQ(files.Requests[1].Filter, "Filter Files(*.flt)");
    EXPECT_EQ(files.Requests[1].DefaultSuffix, "flt");
    EXPECT_EQ(second->edtText->toPlainText(), dialog->edtText->toPlainText());
    EXPECT_EQ(second->edtFilterFile->text(), Path(file));
    EXPECT_TRUE(second->FilterSaved());
    EXPECT_TRUE(db.Boxes.Informations.isEmpty());
}

TEST_P(FilterDialog, ExecuteWithAnEmptyEditorShowsEveryPairInStationOrder) {
    auto dialog = Open();
    QTest::mouseClick(dialog->btnExec, Qt::LeftButton);
    const TPairs preview = Preview(*dialog);
    TPairs every;
    QSqlQuery query(db.Connection->Database());
    ASSERT_TRUE(
        query.exec("SELECT DISTINCT s.STATION_ID, t.SENSORNAME FROM OV_SITES s "
                   "JOIN OV_SITESENSORS t ON s.STATION_ID = t.STE_STATION_ID"));
    while (query.next()) every.emplace_back(query.value(0).toString(), query.value(1).toString());
    ASSERT_EQ(every.size(), 180u);  // every station/sensor pair of the example database
    EXPECT_EQ(Sorted(preview), Sorted(every));
    for (std::size_t i = 1; i < preview.size(); ++i)
        EXPECT_LE(preview[i - 1].first.toUpper(), preview[i].first.toUpper()) << i;
    EXPECT_NE(std::find(preview.begin(), preview.end(), std::pair<QString, QString>("TEST1", "")),
              preview.end());  // the sensor without a name

    // A condition typed into the editor narrows it; one that is no SQL empties it silently.
    dialog->edtText->setPlainText(
        "OV_SITES.BASIN = 'Elk River' AND \nOV_SITES.STATION_ID <> 'ELK1'");
    QTest::mouseClick(dialog->btnExec, Qt::LeftButton);
    std::set<QString> stations;
    for (const auto& row : Preview(*dialog)) stations.insert(row.first);
    EXPECT_EQ(stations, (std::set<QString>{"ELK2", "ELK3", "ELKMET", "ELKRN1"}));
    dialog->edtText->setPlainText("OV_SITES.BASIN = 'Elk");
    QTest::mouseClick(dialog->btnExec, Qt::LeftButton);
    EXPECT_EQ(dialog->lstSiteSensors->topLevelItemCount(), 0);
    EXPECT_TRUE(db.Boxes.Informations.isEmpty());
}

TEST_P(FilterDialog, AnApostropheInAValueIsDoubledAndTheFilterFindsIt) {
    Exec(
        "INSERT INTO OV_SITES (STATION_ID, CITY, BASIN) VALUES ('OBRIEN1', 'O''Brien', "
        "'Elk River')");
    Exec("INSERT INTO OV_SITESENSORS (STE_STATION_ID, SENSORNAME) VALUES ('OBRIEN1', 'HG')");
    auto dialog = Open();
    ChooseColumn(*dialog, "OV_SITES.CITY");
    const int value = dialog->cboFilterValue->findText("O'Brien");
    ASSERT_GE(value, 0);
    dialog->cboFilterValue->setCurrentIndex(value);  // chosen from the list
    QTest::mouseClick(dialog->btnAdd, Qt::LeftButton);
    EXPECT_EQ(dialog->edtText->toPlainText(),
              dialog->cboFilterItem->currentText() + "   =  'O''Brien'");

    QTest::mouseClick(dialog->btnExec, Qt::LeftButton);
    EXPECT_EQ(Preview(*dialog), (TPairs{{"OBRIEN1", "HG"}}));
    files.Answers = {Path(folder / "obrien.flt")};
    QTest::mouseClick(dialog->btnSaveAs, Qt::LeftButton);
    TStationSensorCache catalogue;
    ASSERT_TRUE(LoadStationCatalogue(*db.Connection, catalogue, (folder / "obrien.flt").string()));
    ASSERT_EQ(catalogue.Count(), 1);
    EXPECT_EQ(catalogue.Items(0).StationID, "OBRIEN1");
}

TEST_P(FilterDialog, OkIsRefusedUntilTheFilterIsSaved) {
    auto dialog = Open();
    const auto file = folder / "f.flt";
    auto pressOk = [&] {
        QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
        return dialog->result() == QDialog::Accepted && !dialog->isVisible();
    };

    // Right after Add.
    Add(*dialog, "OV_SITES.BASIN", 0, "Elk River");
    EXPECT_FALSE(pressOk());
    EXPECT_EQ(db.Boxes.Informations, QStringList{NotSaved});

    // Save with no name, the save dialog cancelled: nothing written, still refused.
    files.Answers = {std::nullopt};
    QTest::mouseClick(dialog->btnSave, Qt::LeftButton);
    EXPECT_EQ(files.Requests.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(dialog->FilterSaved());
    EXPECT_EQ(dialog->edtFilterFile->text(), "");
    EXPECT_FALSE(pressOk());
    QString chosen = "unchanged";
    EXPECT_FALSE(dialog->SelectedFile(chosen));
    EXPECT_EQ(chosen, "unchanged");

    // Saved, then changed by Add again, then saved under its name without asking.
    files.Answers = {Path(file)};
    QTest::mouseClick(dialog->btnSaveAs, Qt::LeftButton);
    EXPECT_TRUE(dialog->FilterSaved());
    Add(*dialog, "OV_SITES.PRIMARY_CHANNEL", 1, "32");
    EXPECT_FALSE(pressOk());
    QTest::mouseClick(dialog->btnSave, Qt::LeftButton);
    EXPECT_EQ(files.Requests.size(), 2u);
    EXPECT_EQ(ReadFileText(file).substr(ReadFileText(file).size() - 10), "   >  32\r\n");

    // Typing into the editor after a save leaves it saved: the file on disk counts.
    dialog->edtText->appendPlainText("typed");
    EXPECT_EQ(db.Boxes.Informations.size(), 3);
    EXPECT_TRUE(pressOk());
    EXPECT_EQ(db.Boxes.Informations.size(), 3);

    // New forgets the file.
    auto other = Open();
    files.Answers = {Path(file)};
    QTest::mouseClick(other->btnOpen, Qt::LeftButton);
    EXPECT_TRUE(other->FilterSaved());
    QTest::mouseClick(other->btnNew, Qt::LeftButton);
    EXPECT_EQ(other->edtText->toPlainText(), "");
    EXPECT_EQ(other->edtFilterFile->text(), "");
    EXPECT_FALSE(other->FilterSaved());
    QTest::mouseClick(other->btnCancel, Qt::LeftButton);
    EXPECT_EQ(other->result(), QDialog::Rejected);
}

INSTANTIATE_TEST_SUITE_P(Databases, FilterDialog, ::testing::Values("sqlite", "pg"),
                         [](const auto& info) { return std::string(info.param); });

// The tests below need no second database.
class FilterDialogSQLite : public FilterDialog {};

TEST_P(FilterDialogSQLite, AColumnOfBothTablesIsOfferedTwice) {
    Exec("ALTER TABLE OV_SITESENSORS ADD COLUMN STATUS VARCHAR(8)");
    auto dialog = Open();
    const int sites = dialog->cboFilterItem->findText("OV_SITES.STATUS");
    const int sensors = dialog->cboFilterItem->findText("OV_SITESENSORS.STATUS");
    ASSERT_GE(sites, 0);
    ASSERT_GT(sensors, sites);
    EXPECT_EQ(dialog->cboFilterItem->count(), 22);
    EXPECT_EQ(dialog->ValueList(sites).Values(), (QStringList{"A", "S", "T"}));

    // A column without a value offers "<None Defined>", which Add then writes as the value.
    dialog->cboFilterItem->setCurrentIndex(sensors);
    ASSERT_EQ(dialog->cboFilterValue->count(), 1);
    EXPECT_EQ(dialog->cboFilterValue->itemText(0), "<None Defined>");
    dialog->cboFilterValue->setCurrentIndex(0);
    QTest::mouseClick(dialog->btnAdd, Qt::LeftButton);
    EXPECT_EQ(dialog->edtText->toPlainText(), "OV_SITESENSORS.STATUS   =  '<None Defined>'");
}

TEST_P(FilterDialogSQLite, OpenAndSaveFailuresLeaveTheFilterUnsavedWithoutAMessage) {
    auto dialog = Open();
    const auto good = folder / "good.flt";
    WriteFileText(good, "OV_SITES.BASIN   =  'Elk River'\r\n");
    const QString missing = Path(folder / "missing.flt");
    const QString aFolder = Path(folder.Path());

    // A file that cannot be read: its name stands in the field, the editor is empty.
    for (const QString& name : {missing, aFolder}) {
        files.Answers = {Path(good)};
        QTest::mouseClick(dialog->btnOpen, Qt::LeftButton);
        ASSERT_TRUE(dialog->FilterSaved());
        files.Answers = {name};
        QTest::mouseClick(dialog->btnOpen, Qt::LeftButton);
        EXPECT_FALSE(dialog->FilterSaved()) << name.toStdString();
        EXPECT_EQ(dialog->edtFilterFile->text(), name);
        EXPECT_EQ(dialog->edtText->toPlainText(), "");
    }

    // The open dialog cancelled changes nothing.
    files.Answers = {Path(good), std::nullopt};
    QTest::mouseClick(dialog->btnOpen, Qt::LeftButton);
    QTest::mouseClick(dialog->btnOpen, Qt::LeftButton);
    EXPECT_TRUE(dialog->FilterSaved());
    EXPECT_EQ(dialog->edtText->toPlainText(), "OV_SITES.BASIN   =  'Elk River'");

    // Written as 8-bit text; a character beyond it, or a file that cannot be created, fails
    // and leaves the file name as it was.
    struct Case {
        const char* text;  // UTF-8
        const char* name;  // in the scratch folder
        std::optional<std::string> bytes;
    };
    const Case cases[] = {
        {"OV_SITES.CITY  =  'Qu\u00e9bec' AND \n\nB", "latin1.flt",
         std::string("OV_SITES.CITY  =  'Qu\xE9"
                     "bec' AND \r\n\r\nB\r\n")},
        {"OV_SITES.CITY  =  '\u20ac'", "euro.flt", std::nullopt},
        {"A", "no-folder/a.flt", std::nullopt},
    };
    for (const Case& k : cases) {
        files.Answers = {Path(good)};
        QTest::mouseClick(dialog->btnOpen, Qt::LeftButton);
        dialog->edtText->setPlainText(QString::fromUtf8(k.text));
        files.Answers = {Path(folder / k.name)};
        QTest::mouseClick(dialog->btnSaveAs, Qt::LeftButton);
        EXPECT_EQ(dialog->FilterSaved(), k.bytes.has_value()) << k.name;
        if (k.bytes) {
            EXPECT_EQ(ReadFileText(folder / k.name), *k.bytes);
            EXPECT_EQ(dialog->edtFilterFile->text(), Path(folder / k.name));
        } else {
            EXPECT_FALSE(std::filesystem::exists(folder / k.name)) << k.name;
            EXPECT_EQ(dialog->edtFilterFile->text(), Path(good));
        }
    }
    EXPECT_TRUE(db.Boxes.Informations.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Databases, FilterDialogSQLite, ::testing::Values("sqlite"),
                         [](const auto& info) { return std::string(info.param); });

TEST(FilterDialogWithoutDatabase, OpensEmptyAndItsPreviewStaysEmpty) {
    test::TBoxRecorder boxes;
    TDatabaseConnection connection(boxes);  // never connected
    TFakeFileDialogs files;
    TfrmFilterSelect dialog(nullptr, connection, boxes, files);
    dialog.show();
    EXPECT_EQ(dialog.cboFilterItem->count(), 0);
    EXPECT_EQ(dialog.cboFilterValue->count(), 0);
    dialog.cboFilterValue->setEditText("North");
    QTest::mouseClick(dialog.btnAdd, Qt::LeftButton);
    EXPECT_EQ(dialog.edtText->toPlainText(), "");
    QTest::mouseClick(dialog.btnExec, Qt::LeftButton);
    EXPECT_EQ(dialog.lstSiteSensors->topLevelItemCount(), 0);
    EXPECT_TRUE(boxes.Errors.isEmpty());
    EXPECT_TRUE(boxes.Informations.isEmpty());
}

// Runs action on the first visible top-level widget of type T, polling until one shows.
template <typename T>
void WhenShown(std::function<void(T&)> action) {
    auto* poll = new QTimer(QCoreApplication::instance());
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* shown = qobject_cast<T*>(widget);
            if (shown && shown->isVisible()) {
                poll->stop();
                poll->deleteLater();
                action(*shown);
                return;
            }
        }
    });
    poll->start();
}

// The entry point of the setup dialog, with the program's own message box and file dialog.
TEST_P(FilterDialogSQLite, RunFilterSelectHandsBackTheFileChosenInTheQtDialogs) {
    const auto file = folder / "elk.flt";
    WriteFileText(file, "OV_SITES.BASIN   =  'Elk River'\r\n");
    QString boxText, boxTitle, dialogTitle, suffix;
    QStringList nameFilters;
    bool mustExist = false;
    WhenShown<TfrmFilterSelect>([&](TfrmFilterSelect& dialog) {
        WhenShown<QMessageBox>([&](QMessageBox& box) {
            boxTitle = box.windowTitle();
            boxText = box.text();
            box.button(QMessageBox::Ok)->click();
        });
        dialog.btnOK->click();  // not saved yet
        WhenShown<QFileDialog>([&](QFileDialog& files) {
            dialogTitle = files.windowTitle();
            nameFilters = files.nameFilters();
            suffix = files.defaultSuffix();
            mustExist = files.fileMode() == QFileDialog::ExistingFile;
            files.selectFile(Path(file));
            static_cast<QDialog&>(files).accept();  // QFileDialog's own checks run
        });
        dialog.btnOpen->click();
        dialog.btnOK->click();
    });
    QString chosen = "unchanged";
    EXPECT_TRUE(RunFilterSelect(nullptr, *db.Connection, chosen));
    EXPECT_EQ(chosen, Path(file));
    EXPECT_EQ(boxTitle, "Information");
    EXPECT_EQ(boxText, NotSaved);
    EXPECT_EQ(dialogTitle, " Open Filter File");
    EXPECT_EQ(nameFilters, QStringList{"Filter Files(*.flt)"});
    EXPECT_EQ(suffix, "flt");
    EXPECT_TRUE(mustExist);

    WhenShown<TfrmFilterSelect>([](TfrmFilterSelect& dialog) { dialog.btnCancel->click(); });
    EXPECT_FALSE(RunFilterSelect(nullptr, *db.Connection, chosen));
    EXPECT_EQ(chosen, Path(file));
}

}  // namespace
}  // namespace ov
