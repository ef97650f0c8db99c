// Cost of one rating-table value (cache look-up, interval search, interpolation) for each
// interpolation kind, with tables of 100 and 10^4 points already read into the cache.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "calc/RatingTables.h"

namespace {

namespace fs = std::filesystem;

std::string Text(double v) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
    return std::string(buffer, end);
}

const char* const KindWords[] = {"",       "LINEAR",   "SEMILOGY", "SEMILOGX",
                                 "LOGLOG", "GSLINEAR", "GSLOGLOG"};

// A folder holding one table file, removed when done.
class TableFolder {
  public:
    TableFolder(int kind, std::int64_t points) {
        path_ = fs::temp_directory_path() / ("ovbench-tables-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(kind) + "-" + std::to_string(points));
        fs::create_directories(path_);
        std::ofstream out(path_ / "BENCH.TBL", std::ios::binary);
        out << ";benchmark table\r\n" << KindWords[kind] << "\r\n";
        const bool gauge = kind >= 5;
        for (std::int64_t i = 0; i < points; ++i) {
            // A power-law rating above a gauge zero of 0.5, every other point shifted.
            const double x = 1.0 + static_cast<double>(i) * 0.01;
            const double y = 3.0 * std::pow(x - 0.5, 1.6);
            out << Text(x) << ',' << Text(y);
            if (gauge) out << ",0.5," << (i % 2 == 0 ? "0" : "0.005");
            out << "\r\n";
        }
    }
    ~TableFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string Path() const { return path_.string(); }

  private:
    fs::path path_;
};

void BM_TableValue(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));
    const std::int64_t n = state.range(1);
    TableFolder folder(kind, n);
    const std::string dir = folder.Path();
    ov::rating::TTables tables([dir] { return dir; });
    ov::rating::TTable* table = nullptr;
    if (!tables.GetTable("BENCH", table) || table->Points.Count() != n) {
        state.SkipWithError("table not read");
        return;
    }
    // Stages over the whole table and a little beyond both ends, in random order.
    const double last = 1.0 + static_cast<double>(n - 1) * 0.01;
    std::vector<double> stages(4096);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> spread(0.9, last + 0.1);
    for (double& s : stages) s = spread(random);
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tables.TableValue("BENCH", stages[next]));
        if (++next == stages.size()) next = 0;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(KindWords[kind]);
}
BENCHMARK(BM_TableValue)->ArgsProduct({{1, 2, 3, 4, 5, 6}, {100, 10000}});

}  // namespace
