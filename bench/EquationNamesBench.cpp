// Cost of listing the variables of an equation that uses many distinct names (the check of
// ovtool check and of the setup dialog): n names in a random order into the sorted list.
// O(n log n): doubling n should little more than double the time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "calc/Equation.h"
#include "util/StringList.h"

namespace {

std::string EquationOfNames(std::int64_t n) {
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(n));
    char name[24];  // "V" and up to 19 digits of a 64-bit count
    for (std::int64_t i = 0; i < n; ++i) {
        std::snprintf(name, sizeof name, "V%06lld", static_cast<long long>(i));
        names.emplace_back(name);
    }
    std::shuffle(names.begin(), names.end(), std::mt19937(1));
    std::string equation;
    for (const std::string& s : names) {
        if (!equation.empty()) equation += '+';
        equation += s;
    }
    return equation;
}

void BM_CheckEquationDistinctNames(benchmark::State& state) {
    const std::string equation = EquationOfNames(state.range(0));
    for (auto _ : state) {
        ov::TStringList names(true);
        ov::CheckEquation(equation, names);
        benchmark::DoNotOptimize(names.Count());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_CheckEquationDistinctNames)
    ->RangeMultiplier(4)
    ->Range(1 << 11, 1 << 17)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);

}  // namespace
