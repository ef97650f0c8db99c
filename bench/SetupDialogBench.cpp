// Opening the group setup dialog on 10^4 stations with 10 sensors each (10^5 catalogue rows) in
// SQLite: the time from its creation through its showing (the database opened, the catalogue
// loaded, the station tree, the picker's tree and the output lists built, the first group
// loaded) to its first painted frame. Target: under 1 s. Beside it, load_ms: the catalogue's load
// alone, as the dialog reads it (on the ODBC connection itself, in blocks of bound columns), and
// qsqlquery_ms: a bare QSqlQuery reading the same rows, which was the floor before the load went
// around it; ratio: the dialog's opening time over that bare read.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QSqlQuery>
#include <QTreeWidget>
#include <chrono>
#include <memory>
#include <string>

#include "DialogBench.h"
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

// A failure to connect would show as an empty dialog: it is kept and reported.
class TNoBoxes : public ov::IDialogBoxes {
  public:
    void ShowError(const QString& text) override { Text = text; }
    void ShowInformation(const QString& text) override { Text = text; }
    ov::TBoxAnswer AskYesNoCancel(const QString&) override { return ov::TBoxAnswer::baNo; }
    bool ConfirmOkCancel(const QString&) override { return false; }
    QString Text;
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
    if (!ov::bench::DialogWorldReady(state, own, "SetupDialog")) return;
    TNoBoxes boxes;
    ov::TDatabaseConnection connection(boxes);
    ov::TDataServerSetup setup;
    setup.StorageOption = ov::soPostgres;
    setup.DatabaseAlias = ov::bench::CatalogueDatabase().ConnectionString;
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
        const bool painted = ov::bench::ShowToFirstPaint(*dialog);
        const auto paintedAt = Clock::now();
        if (!painted) {
            state.SkipWithError("the dialog was not painted within 10 s");
            return;
        }
        if (!boxes.Text.isEmpty()) {
            state.SkipWithError(boxes.Text.toStdString().c_str());
            return;
        }
        const double total = std::chrono::duration<double>(paintedAt - start).count();
        state.SetIterationTime(total);
        created += std::chrono::duration<double>(made - start).count();
        shown += std::chrono::duration<double>(paintedAt - made).count();
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
    state.counters["ratio"] = (created + shown) / n * 1e3 / bare;
    state.counters["stations"] = stations;
    state.counters["tree_roots"] = treeNodes;
}

BENCHMARK(BM_SetupDialog_OpenToFirstFrame)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
