// Opening the group setup dialog on 10^4 stations with 10 sensors each (10^5 catalogue rows) in
// SQLite: the time from its creation through its showing (the database opened, the catalogue
// loaded, the station tree, the picker's tree and the output lists built, the first group
// loaded) to its first painted frame. Target: under 1 s. Beside it, load_ms: the catalogue's load
// alone, as the dialog reads it (on the ODBC connection itself), and qsqlquery_ms: a bare
// QSqlQuery reading the same rows, which was the floor before the load went around it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QSqlQuery>
#include <QTreeWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "database/CatalogueQueries.h"
#include "database/DatabaseConnection.h"
#include "model/CalcGroups.h"
#include "suite/CatalogueSql.h"
#include "suite/SetupParams.h"
#include "ui/DialogBoxes.h"
#include "ui/SelectOneStationSensor.h"
#include "ui/Setup.h"

namespace {

using Clock = std::chrono::steady_clock;

// The SQLite database of the catalogue benchmark's rows, made once for the process in a folder
// of its own and reached by a connection string (the process's data sources stay as they are).
struct TSetupWorld {
    std::filesystem::path Folder;
    std::string ConnectionString;
    std::string Error;

    TSetupWorld() {
        Folder = std::filesystem::temp_directory_path() /
                 ("ovbench-setup-" + std::to_string(::getpid()));
        const std::string root = OV_SOURCE_DIR;
        const std::string command = "bash " + root + "/scripts/suite-db.sh sqlite " +
                                    Folder.string() + " OVBenchSetup " + root +
                                    "/examples/suite/schema.sql " + root +
                                    "/tests/database/catalogue_1e5.sql >/dev/null";
        if (std::system(command.c_str()) != 0) {
            Error = "the benchmark database could not be made (scripts/suite-db.sh)";
            return;
        }
        // The driver the script found, named by its path.
        std::ifstream drivers(Folder / "odbcinst.ini");
        std::string line, driver;
        while (driver.empty() && std::getline(drivers, line))
            if (line.rfind("Driver=", 0) == 0) driver = line.substr(7);
        if (driver.empty()) {
            Error = "no SQLite ODBC driver in " + (Folder / "odbcinst.ini").string();
            return;
        }
        ConnectionString =
            "DRIVER=" + driver + ";Database=" + (Folder / "OVBenchSetup.db").string();
        if (!std::getenv("XDG_RUNTIME_DIR")) {
            std::filesystem::create_directories(Folder / "runtime");
            std::filesystem::permissions(Folder / "runtime", std::filesystem::perms::owner_all);
            ::setenv("XDG_RUNTIME_DIR", (Folder / "runtime").c_str(), 1);
        }
    }
    ~TSetupWorld() {
        std::error_code ec;
        std::filesystem::remove_all(Folder, ec);
    }
};

TSetupWorld& World() {
    static TSetupWorld world;
    return world;
}

// A failure to connect would show as an empty dialog: it is kept and reported.
class TNoBoxes : public ov::IDialogBoxes {
  public:
    void ShowError(const QString& text) override { Text = text; }
    void ShowInformation(const QString& text) override { Text = text; }
    ov::TBoxAnswer AskYesNoCancel(const QString&) override { return ov::TBoxAnswer::baNo; }
    bool ConfirmOkCancel(const QString&) override { return false; }
    QString Text;
};

// Notes the first paint of any widget of the watched window.
class TPaintSpy : public QObject {
  public:
    explicit TPaintSpy(QWidget& window) : window_(window) {}
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(object);
            if (widget && widget->window() == &window_) Painted = true;
        }
        return false;
    }
    bool Painted = false;

  private:
    QWidget& window_;
};

// Reads every row of the catalogue query with a bare QSqlQuery, the same columns as text;
// returns the milliseconds it took.
double BareReadMs(const QSqlDatabase& db) {
    const auto start = Clock::now();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.exec(QString::fromLatin1(std::string(ov::CatalogueBaseSql)));
    while (query.next()) {
        for (int column : {0, 1, 4, 5, 6, 7, 8, 9, 10, 11})
            benchmark::DoNotOptimize(query.value(column).toString());
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The groups a large network might have: a single-station group on a station in the middle of
// the catalogue with a hundred similar stations, and a multiple-station group.
void MakeGroups(ov::TCalcGroups& groups) {
    auto single = std::make_unique<ov::TCalcGroupItem>();
    single->CGIndex = 1;
    single->GroupName = "CalcGroup:1";
    single->FuncName = "A * 2 + B";
    single->OutputStation = "ST5000";
    single->OutputSensor = "SN1";
    single->Variables.push_back("A=SN2");
    single->Variables.push_back("B=SN3");
    for (int i = 1; i <= 100; ++i) single->SimilarStations.push_back("ST" + std::to_string(i));
    groups.Add(std::move(single));
    auto multi = std::make_unique<ov::TCalcGroupItem>();
    multi->CGIndex = 2;
    multi->GroupName = "CalcGroup:2";
    multi->FuncName = "(A + B) / 2";
    multi->MultiStations = true;
    multi->OutputStation = "ST1";
    multi->OutputSensor = "SN10";
    multi->MultiVariables.push_back("A=ST2.SN1");
    multi->MultiVariables.push_back("B=ST3.SN1");
    multi->MultiVariablesTrigger = 1;
    groups.Add(std::move(multi));
}

void BM_SetupDialog_OpenToFirstFrame(benchmark::State& state) {
    std::unique_ptr<QApplication> own;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "ovbench";
        static char* argv[] = {name, nullptr};
        if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        own = std::make_unique<QApplication>(argc, argv);
    } else if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        state.SkipWithError(
            "another benchmark keeps a non-widget application: run with "
            "--benchmark_filter=SetupDialog");
        return;
    }
    if (!World().Error.empty()) {
        state.SkipWithError(World().Error.c_str());
        return;
    }
    TNoBoxes boxes;
    ov::TDatabaseConnection connection(boxes);
    ov::TDataServerSetup setup;
    setup.StorageOption = ov::soPostgres;
    setup.DatabaseAlias = World().ConnectionString;
    connection.SetLogin(setup.DatabaseAlias, "", "");
    if (!connection.ConnectDatabase()) {
        state.SkipWithError(boxes.Text.toStdString().c_str());
        return;
    }
    const double bare = BareReadMs(connection.Database());
    const auto loadStart = Clock::now();
    ov::TStationSensorCache catalogue;
    ov::LoadStationCatalogueSql(connection.Database(), catalogue,
                                std::string(ov::CatalogueBaseSql));
    const double load = std::chrono::duration<double, std::milli>(Clock::now() - loadStart).count();
    if (catalogue.Count() != 100000) {
        state.SkipWithError("the catalogue did not load its 10^5 rows");
        return;
    }
    connection.DisconnectDatabase();
    ov::TfrmSelectOneStationSensor picker;  // made once, as the program does
    ov::TCalcGroups groups;
    MakeGroups(groups);

    double created = 0, shown = 0;
    int stations = 0, treeNodes = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto dialog = std::make_unique<ov::TfrmOptionSetup>(
            nullptr, groups,
            ov::TSetupContext{
                .Connection = connection, .Boxes = boxes, .Picker = picker, .DataServer = setup});
        const auto made = Clock::now();
        TPaintSpy spy(*dialog);
        QCoreApplication::instance()->installEventFilter(&spy);
        dialog->show();
        QElapsedTimer limit;
        limit.start();
        while (!spy.Painted && limit.elapsed() < 10000) QCoreApplication::processEvents();
        const auto painted = Clock::now();
        QCoreApplication::instance()->removeEventFilter(&spy);
        if (!spy.Painted) {
            state.SkipWithError("the dialog was not painted within 10 s");
            return;
        }
        if (!boxes.Text.isEmpty()) {
            state.SkipWithError(boxes.Text.toStdString().c_str());
            return;
        }
        const double total = std::chrono::duration<double>(painted - start).count();
        state.SetIterationTime(total);
        created += std::chrono::duration<double>(made - start).count();
        shown += std::chrono::duration<double>(painted - made).count();
        stations = dialog->cbxOutputStation->count();
        treeNodes = dialog->tvwLeftTree->topLevelItemCount();
        // Closed as the Close button would (the database disconnected), untimed.
        dialog->done(0);
        dialog.reset();
        QCoreApplication::processEvents();
    }
    const double n = static_cast<double>(state.iterations());
    state.SetLabel("SQLite, 10^4 stations x 10 sensors");
    state.counters["create_ms"] = created / n * 1e3;
    state.counters["show_ms"] = shown / n * 1e3;
    state.counters["load_ms"] = load;
    state.counters["qsqlquery_ms"] = bare;
    state.counters["stations"] = stations;
    state.counters["tree_roots"] = treeNodes;
}

BENCHMARK(BM_SetupDialog_OpenToFirstFrame)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
