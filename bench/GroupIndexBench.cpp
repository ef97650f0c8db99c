// Cost of finding the groups of a station, and of a station.sensor, in the group indexes
// as the number of indexed keys grows from 10^2 to 10^5.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "model/CalcIndexes.h"

namespace {

std::string StationName(std::int64_t i) {
    std::string digits = std::to_string(i);
    return "ST" + std::string(6 - digits.size(), '0') + digits;
}

// Look-up names in a shuffled order, in lower case, so that every search folds letters.
std::vector<std::string> Probes(std::int64_t n) {
    std::vector<std::string> names;
    for (std::int64_t i = 0; i < n; ++i) names.push_back("st" + StationName(i).substr(2));
    std::shuffle(names.begin(), names.end(), std::mt19937(11));
    return names;
}

void BM_SingleStationFind(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    ov::TCalcGroupItem group;
    ov::TCalSingleStation index;
    for (std::int64_t i = 0; i < n; ++i) index.AddGroup(StationName(i), &group);
    const std::vector<std::string> probes = Probes(n);
    std::size_t next = 0;
    const ov::TGroupRefs* groups = nullptr;
    for (auto _ : state) {
        benchmark::DoNotOptimize(index.Find(probes[next], groups));
        benchmark::DoNotOptimize(groups);
        if (++next == probes.size()) next = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SingleStationFind)->RangeMultiplier(10)->Range(100, 100000);

void BM_MultipleStationFind(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    ov::TCalcGroupItem group;
    ov::TCalMultipleStation index;
    for (std::int64_t i = 0; i < n; ++i) index.AddGroup(StationName(i), "HG", &group);
    const std::vector<std::string> probes = Probes(n);
    std::size_t next = 0;
    const ov::TGroupRefs* groups = nullptr;
    for (auto _ : state) {
        benchmark::DoNotOptimize(index.Find(probes[next], "hg", groups));
        benchmark::DoNotOptimize(groups);
        if (++next == probes.size()) next = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MultipleStationFind)->RangeMultiplier(10)->Range(100, 100000);

// A station no group uses: the search runs to the end without a match.
void BM_SingleStationMiss(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    ov::TCalcGroupItem group;
    ov::TCalSingleStation index;
    for (std::int64_t i = 0; i < n; ++i) index.AddGroup(StationName(i), &group);
    const ov::TGroupRefs* groups = nullptr;
    for (auto _ : state) benchmark::DoNotOptimize(index.Find("LAKE9", groups));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SingleStationMiss)->RangeMultiplier(10)->Range(100, 100000);

}  // namespace
