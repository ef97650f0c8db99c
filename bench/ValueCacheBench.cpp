// Cost of the value cache's Add and Lookup with 10^3, 10^4 and 10^5 station.sensors holding
// 180 values each (15 hours of five-minute values).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/ValueCache.h"

namespace {

constexpr int ValuesPerSensor = 180;
constexpr int SensorsPerStation = 10;
constexpr ov::TTimeTag Step = 300;

std::string StationName(std::int64_t i) {
    std::string digits = std::to_string(i);
    return "ST" + std::string(6 - digits.size(), '0') + digits;
}
std::string SensorName(std::int64_t i) {
    return "S" + std::to_string(i);
}

struct Probe {
    std::string station;
    std::string sensor;
};

// One cache per size, built once and shared by the benchmarks (Add of new time tags runs
// last, as it lengthens the arrays).
ov::TStationSensorDataCache& CacheOf(std::int64_t n) {
    static std::map<std::int64_t, std::unique_ptr<ov::TStationSensorDataCache>> caches;
    auto& cache = caches[n];
    if (!cache) {
        cache = std::make_unique<ov::TStationSensorDataCache>();
        for (std::int64_t i = 0; i < n; ++i) {
            const std::string station = StationName(i / SensorsPerStation);
            const std::string sensor = SensorName(i % SensorsPerStation);
            for (int k = 0; k < ValuesPerSensor; ++k)
                cache->Add(station, sensor, k * 0.5, k * Step);
        }
    }
    return *cache;
}

// Station.sensors in a shuffled order and in lower case, so that every search folds letters.
std::vector<Probe> Probes(std::int64_t n) {
    std::vector<Probe> probes;
    for (std::int64_t i = 0; i < n; ++i)
        probes.push_back({"st" + StationName(i / SensorsPerStation).substr(2),
                          "s" + std::to_string(i % SensorsPerStation)});
    std::shuffle(probes.begin(), probes.end(), std::mt19937(7));
    return probes;
}

void BM_ValueCacheLookupExact(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    const ov::TStationSensorDataCache& cache = CacheOf(n);
    const std::vector<Probe> probes = Probes(n);
    std::mt19937 random(3);
    std::size_t next = 0;
    double value = 0;
    for (auto _ : state) {
        ov::TTimeTag tag = static_cast<ov::TTimeTag>(random() % ValuesPerSensor) * Step;
        benchmark::DoNotOptimize(
            cache.Lookup(probes[next].station, probes[next].sensor, tag, value));
        if (++next == probes.size()) next = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ValueCacheLookupEarlier(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    const ov::TStationSensorDataCache& cache = CacheOf(n);
    const std::vector<Probe> probes = Probes(n);
    std::mt19937 random(5);
    std::size_t next = 0;
    double value = 0;
    for (auto _ : state) {
        ov::TTimeTag tag = static_cast<ov::TTimeTag>(random() % ValuesPerSensor) * Step + Step / 2;
        benchmark::DoNotOptimize(
            cache.Lookup(probes[next].station, probes[next].sensor, tag, value));
        if (++next == probes.size()) next = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

// Add of a time tag already cached: the value and its expiry are replaced.
void BM_ValueCacheAddReplace(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    ov::TStationSensorDataCache& cache = CacheOf(n);
    const std::vector<Probe> probes = Probes(n);
    std::mt19937 random(9);
    std::size_t next = 0;
    for (auto _ : state) {
        ov::TTimeTag tag = static_cast<ov::TTimeTag>(random() % ValuesPerSensor) * Step;
        cache.Add(probes[next].station, probes[next].sensor, 1.25, tag);
        if (++next == probes.size()) next = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

// Add of a newer time tag: the value goes in at the end of the station.sensor's arrays.
void BM_ValueCacheAddNew(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    ov::TStationSensorDataCache& cache = CacheOf(n);
    const std::vector<Probe> probes = Probes(n);
    std::size_t next = 0;
    ov::TTimeTag tag = ValuesPerSensor * Step;
    for (auto _ : state) {
        cache.Add(probes[next].station, probes[next].sensor, 2.5, tag);
        if (++next == probes.size()) {
            next = 0;
            tag += Step;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ValueCacheLookupExact)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_ValueCacheLookupEarlier)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_ValueCacheAddReplace)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_ValueCacheAddNew)->Arg(1000)->Arg(10000)->Arg(100000);

}  // namespace
