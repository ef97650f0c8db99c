// Cost of the value cache's Add and Lookup with 10^3, 10^4 and 10^5 station.sensors holding
// 180 values each (15 hours of five-minute values); and of the idle step's Purge in a steady
// stream of values, three hours of them cached.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/Clock.h"
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

// A clock the benchmark moves.
class TStepClock final : public ov::IClock {
  public:
    ov::TDateTime Now() override { return now; }
    bool WaitFor(ov::TWakeEvent&, std::chrono::milliseconds) override { return false; }
    ov::TDateTime now = 46000;
};

// The idle step every 5 s of a steady stream: n station.sensors, each with a value every 15
// minutes (n / 180 of them between two idle steps), three hours of values cached; each purge
// drops what expired since the one before.
void BM_ValueCachePurge(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    constexpr double IdleStep = 5.0 / 86400.0;
    constexpr int StepsPerValue = 180;  // 15 minutes
    TStepClock clock;
    ov::TStationSensorDataCache cache(20, clock);
    std::vector<Probe> probes = Probes(n);
    std::int64_t next = 0, step = 0;
    auto stepOn = [&] {
        // The values that arrived since the last idle step, then the step.
        const std::int64_t due = (step + 1) * n / StepsPerValue;
        for (; next < due; ++next) {
            const Probe& p = probes[static_cast<std::size_t>(next % n)];
            cache.Add(p.station, p.sensor, 1.5, static_cast<ov::TTimeTag>(step * 5));
        }
        ++step;
        clock.now += IdleStep;
    };
    // Three hours and a little more: the cache holds what it keeps in a steady stream.
    while (step < 3 * 3600 / 5 + StepsPerValue) {
        stepOn();
        cache.Purge();
    }
    for (auto _ : state) {
        state.PauseTiming();
        stepOn();
        state.ResumeTiming();
        cache.Purge();
    }
    std::int64_t values = 0;
    for (std::int32_t i = 0; i < cache.Count(); ++i) values += cache.Items(i)->Count();
    state.counters["cached_values"] = static_cast<double>(values);
}

BENCHMARK(BM_ValueCachePurge)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_ValueCacheLookupExact)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_ValueCacheLookupEarlier)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_ValueCacheAddReplace)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_ValueCacheAddNew)->Arg(1000)->Arg(10000)->Arg(100000);

}  // namespace
