// The station catalogue on 10^4 stations with 10 sensors each (10^5 rows), in SQLite and in a
// throwaway PostgreSQL server: the load against a bare QSqlQuery reading the same rows, each
// sort mode, and a sort with a tree build of each view, on the in-memory tree and on a
// QTreeWidget. Targets: load within 2x of the bare read; sort plus tree build under 0.5 s.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QSqlQuery>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "StationDatabase.h"
#include "catalogue/CatalogueSql.h"
#include "catalogue/CatalogueTextTree.h"
#include "database/CatalogueQueries.h"
#include "database/DatabaseConnection.h"
#include "ui/CatalogueTreeWidget.h"

namespace {

using Clock = std::chrono::steady_clock;

// 0: SQLite, 1: PostgreSQL.
const char* const Dsns[] = {ov::bench::StationSqliteDsn, ov::bench::StationPgDsn};

// An application object for the benchmark's duration when the process has none (another
// benchmark family may keep its own for the whole run: then widgets cannot be had).
struct TApp {
    std::unique_ptr<QApplication> Own;
    bool Widgets = false;
    TApp() {
        ov::bench::StationDatabase().StartPostgres();
        if (QCoreApplication::instance()) {
            Widgets = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
            return;
        }
        static int argc = 1;
        static char name[] = "ovbench";
        static char* argv[] = {name, nullptr};
        if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        Own = std::make_unique<QApplication>(argc, argv);
        Widgets = true;
    }
};

class TNoBoxes : public ov::IMessageBoxes {
  public:
    void ShowError(const QString& text) override { Text = text; }
    void ShowInformation(const QString& text) override { Text = text; }
    QString Text;
};

// A connection to one of the databases for a benchmark's duration.
struct TConnected {
    TNoBoxes Boxes;
    ov::TDatabaseConnection Connection{Boxes};
    bool Open(benchmark::State& state, const char* dsn) {
        const std::string& error = ov::bench::StationDatabase().StartPostgres();
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return false;
        }
        Connection.SetLogin(dsn, "ov", "");
        if (!Connection.ConnectDatabase()) {
            state.SkipWithError(Boxes.Text.toStdString().c_str());
            return false;
        }
        return true;
    }
};

// Reads every row of the catalogue query with a bare QSqlQuery, the same columns as text;
// returns the rows.
int BareRead(const QSqlDatabase& db) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.exec(QString::fromLatin1(std::string(ov::CatalogueBaseSql)));
    int rows = 0;
    while (query.next()) {
        for (int column : {0, 1, 4, 5, 6, 7, 8, 9, 10, 11})
            benchmark::DoNotOptimize(query.value(column).toString());
        ++rows;
    }
    return rows;
}

void BM_Catalogue_BareQuery(benchmark::State& state) {
    TApp app;
    TConnected db;
    if (!db.Open(state, Dsns[state.range(0)])) return;
    int rows = 0;
    for (auto _ : state) rows = BareRead(db.Connection.Database());
    state.SetLabel(Dsns[state.range(0)]);
    state.counters["rows"] = rows;
    state.counters["rows/s"] =
        benchmark::Counter(rows, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Catalogue_Load(benchmark::State& state) {
    TApp app;
    TConnected db;
    if (!db.Open(state, Dsns[state.range(0)])) return;
    // The bare read of the same rows, just before: the best of three.
    double bare = 1e9;
    for (int i = 0; i < 3; ++i) {
        auto start = Clock::now();
        BareRead(db.Connection.Database());
        bare = std::min(bare, std::chrono::duration<double>(Clock::now() - start).count());
    }
    ov::TStationSensorCache catalogue;
    double total = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        ov::LoadStationCatalogue(db.Connection, catalogue, "");
        total += std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.SetLabel(Dsns[state.range(0)]);
    state.counters["rows"] = catalogue.Count();
    state.counters["bare_ms"] = bare * 1e3;
    state.counters["x_bare"] = total / static_cast<double>(state.iterations()) / bare;
}

// The benchmark's catalogue: the SQLite database's, loaded once.
ov::TStationSensorCache& Catalogue(benchmark::State& state) {
    static ov::TStationSensorCache catalogue;
    if (catalogue.Count() == 0) {
        TConnected db;
        if (db.Open(state, Dsns[0])) ov::LoadStationCatalogue(db.Connection, catalogue, "");
    }
    return catalogue;
}

// Puts the entries in an order no view has, as a fresh load would (untimed).
void Shuffle(ov::TStationSensorCache& catalogue) {
    static std::mt19937 random(1985);
    for (int i = catalogue.Count() - 1; i > 0; --i) {
        std::uniform_int_distribution<int> pick(0, i);
        std::swap(catalogue.Items(i), catalogue.Items(pick(random)));
    }
}

void BM_Catalogue_Sort(benchmark::State& state) {
    TApp app;
    auto& catalogue = Catalogue(state);
    if (catalogue.Count() == 0) return;
    const auto mode = static_cast<ov::TSortMode>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        Shuffle(catalogue);
        state.ResumeTiming();
        catalogue.Sort(mode);
    }
    state.SetLabel(std::string(ov::CatalogueView(mode).Caption));
    state.counters["entries"] = catalogue.Count();
}

template <bool Widget>
void BM_Catalogue_SortAndTree(benchmark::State& state) {
    TApp app;
    if (Widget && !app.Widgets) {
        state.SkipWithError(
            "another benchmark keeps a non-widget application: run with "
            "--benchmark_filter=Catalogue");
        return;
    }
    auto& catalogue = Catalogue(state);
    if (catalogue.Count() == 0) return;
    const auto mode = static_cast<ov::TSortMode>(state.range(0));
    const auto profile =
        state.range(1) ? ov::TLevelProfile::lpStationSensorTree : ov::TLevelProfile::lpStationTree;
    std::unique_ptr<QTreeWidget> widget;
    std::unique_ptr<ov::ICatalogueTree> tree;
    if constexpr (Widget) {
        widget = std::make_unique<QTreeWidget>();
        tree = std::make_unique<ov::TCatalogueTreeWidget>(*widget);
    } else {
        tree = std::make_unique<ov::TCatalogueTextTree>();
    }
    for (auto _ : state) {
        state.PauseTiming();
        Shuffle(catalogue);
        state.ResumeTiming();
        ov::BuildCatalogueTree(*tree, catalogue, mode, profile);
    }
    state.SetLabel(std::string(ov::CatalogueView(mode).Caption) +
                   (state.range(1) ? ", picker tree" : ", station tree"));
    if constexpr (Widget) {
        int nodes = 0;
        for (QTreeWidgetItemIterator it(widget.get()); *it; ++it) ++nodes;
        state.counters["nodes"] = nodes;
    } else {
        state.counters["nodes"] =
            static_cast<double>(static_cast<ov::TCatalogueTextTree&>(*tree).NodeCount());
    }
}

void Modes(benchmark::internal::Benchmark* b) {
    for (int mode = ov::FirstSortMode; mode <= ov::LastSortMode; ++mode) b->Arg(mode);
}
void ModesAndProfiles(benchmark::internal::Benchmark* b) {
    for (int mode = ov::FirstSortMode; mode <= ov::LastSortMode; ++mode)
        for (int profile : {0, 1}) b->Args({mode, profile});
}

BENCHMARK(BM_Catalogue_BareQuery)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Catalogue_Load)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Catalogue_Sort)->Apply(Modes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Catalogue_SortAndTree<false>)->Apply(ModesAndProfiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Catalogue_SortAndTree<true>)->Apply(ModesAndProfiles)->Unit(benchmark::kMillisecond);

}  // namespace
