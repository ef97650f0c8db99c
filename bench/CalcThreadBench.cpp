// In-process throughput of the calculation thread: sensor items per second when no group is
// set off, and calculations per second when every record sets one off, with 10^2 to 10^4
// groups (single- and multiple-station mixed, equations like E1-E4) and a setup-server double
// answering in-process. BM_ThreadOverhead prints x_bare: the thread's processor time per
// calculation (taking the items, caching the value, finding the groups, calculating, the
// record's text, publishing) over a bare Calculate of the same groups plus one setup query
// to the same double (target: under 1.5).
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "calc/CalcEx.h"
#include "calc/RatingTables.h"
#include "suite/SetupParams.h"
#include "suite/SetupServer.h"
#include "thread/WorkThread.h"
#include "util/TimeTag.h"

namespace {

class BenchHost final : public ov::ICalcHost {
  public:
    ov::TOutputBuffer* Output = nullptr;
    ov::TWakeEvent Wake;
    std::atomic<long> Published{0};

    int LogDetail() const override { return 0; }
    ov::TWakeEvent& WakeEvent() override { return Wake; }
    void SignalThread() override { Wake.Signal(); }
    bool RequestDrain(std::chrono::milliseconds) override {
        std::string text;
        ov::TOutputKind kind;
        while (Output && Output->Get(text, kind)) {
        }
        return true;
    }
    void ProcessUiEvents() override {}
    void PublishResult(const std::string&, const std::string& text) override {
        benchmark::DoNotOptimize(text.data());
        if (Published.fetch_add(1, std::memory_order_acq_rel) + 1 >= Target.load()) {
            std::lock_guard<std::mutex> guard(Mutex);
            Reached.notify_all();
        }
    }
    // The producer sleeps until the thread has published count results, so that it takes no
    // processor time from the thread it measures.
    void WaitPublished(long count) {
        Target = count;
        std::unique_lock<std::mutex> guard(Mutex);
        Reached.wait(guard, [&] { return Published.load() >= count; });
    }
    std::atomic<long> Target{0};
    std::mutex Mutex;
    std::condition_variable Reached;
    void ThreadEnded(ov::TWorkThread&) override {}
    // The setup server answers every key in-process: shifts and no rounding.
    bool QuerySetup(const std::string& key, std::string& value) override {
        if (key.find(",SHIFT") != std::string::npos) {
            value = "0.25";
            return true;
        }
        value = "00:00:00";
        return true;
    }
};

const char* const Equations[] = {"SQRT(H*2.5) + 3", "A*B + C/D - E",
                                 "(A+B)*(C-D)/2 + ABS(E) + SIN(F)",
                                 "TABLE(RIVER1, H) * 1.02 + SHIFT(H)"};

std::filesystem::path TableFolder() {
    static const std::filesystem::path folder = [] {
        auto f = std::filesystem::temp_directory_path() / "ovcalc-bench-thread-tables";
        std::filesystem::create_directories(f);
        std::ofstream table(f / "RIVER1.TBL");
        table << "LOGLOG\r\n";
        for (int i = 1; i <= 100; ++i) table << i * 0.1 << "," << i * i * 0.5 << "\r\n";
        return f;
    }();
    return folder;
}

// n groups over n/2 stations: single-station groups for stations STi with variables bound
// to their sensors, multiple-station groups averaging sensors of neighbouring stations.
void MakeGroups(int n, ov::TCalcGroups& groups) {
    const char* names[] = {"A", "B", "C", "D", "E", "F", "H"};
    for (int i = 0; i < n; ++i) {
        auto g = std::make_unique<ov::TCalcGroupItem>();
        g->CGIndex = i + 1;
        g->FuncName = Equations[i % 4];
        const std::string station = "ST" + std::to_string(i / 2);
        if (i % 2 == 0) {
            g->OutputStation = station;
            g->OutputSensor = "Q" + std::to_string(i);
            for (const char* v : names) g->Variables.push_back(std::string(v) + "=HG");
        } else {
            g->MultiStations = true;
            g->OutputStation = "BASIN";
            g->OutputSensor = "M" + std::to_string(i);
            for (const char* v : names)
                g->MultiVariables.push_back(std::string(v) + "=" + station + ".HG");
            g->MultiVariablesTrigger = 6;  // H
        }
        groups.Add(std::move(g));
    }
}

struct Running {
    BenchHost host;
    ov::TInputStationSensorBuffer input{host};
    ov::TOutputBuffer output{host};
    std::unique_ptr<ov::TWorkThread> thread;

    explicit Running(int groupCount) {
        host.Output = &output;
        ov::GeneralSetup().TableDirectory = TableFolder().string();
        ov::rating::ClearTables();
        ov::TCalcGroups groups;
        MakeGroups(groupCount, groups);
        thread = std::make_unique<ov::TWorkThread>(host, input, output);
        thread->CopyGroups(groups);
        thread->Start();
    }
    ~Running() {
        thread->RequestStop();
        thread->WaitFor();
    }
    void WaitPublished(long count) { host.WaitPublished(count); }
};

// Sensor values of stations no group uses (each a new station.sensor for the cache), then one
// record that sets off a calculation, timed until its result is published.
void BM_ThreadItemsWithoutCalculation(benchmark::State& state) {
    const int groupCount = static_cast<int>(state.range(0));
    const int stations = static_cast<int>(state.range(1));
    Running r(groupCount);
    constexpr int Items = 20000;
    ov::TTimeTag tag = ov::MakeTimeTag(2026, 12, 8, 0, 0, 0);
    long published = 0;
    int k = 0;
    for (auto _ : state) {
        ++tag;
        for (int i = 0; i < Items; ++i, ++k) {
            r.input.Add(std::make_unique<ov::TInputSensorItem>(
                "OTHER" + std::to_string(k % stations), tag, ov::KindCurrent, "HG", "3.52"));
            if ((i & 255) == 0) r.host.SignalThread();
        }
        r.input.Add(
            std::make_unique<ov::TInputSensorItem>("ST0", tag, ov::KindCurrent, "HG", "1.5"));
        r.input.Add(std::make_unique<ov::TInputStationEndItem>("ST0", tag, ov::KindCurrent));
        r.host.SignalThread();
        published += 2;  // ST0's single-station group plus its multiple-station group
        r.WaitPublished(published);
    }
    state.SetItemsProcessed(state.iterations() * (Items + 2));
    state.counters["cached_pairs"] = stations;
}
BENCHMARK(BM_ThreadItemsWithoutCalculation)
    ->Args({100, 1000})
    ->Args({1000, 1000})
    ->Args({10000, 1000})
    ->Args({10000, 100000})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Records that each set off the groups of their station: one sensor value and the end of the
// record (a multiple-station and a single-station calculation per record).
void BM_ThreadCalculations(benchmark::State& state) {
    const int groupCount = static_cast<int>(state.range(0));
    Running r(groupCount);
    constexpr int Records = 2000;
    ov::TTimeTag tag = ov::MakeTimeTag(2026, 12, 8, 0, 0, 0);
    long published = 0;
    for (auto _ : state) {
        ++tag;
        for (int i = 0; i < Records; ++i) {
            const std::string station = "ST" + std::to_string(i % (groupCount / 2));
            r.input.Add(
                std::make_unique<ov::TInputSensorItem>(station, tag, ov::KindCurrent, "HG", "1.5"));
            r.input.Add(std::make_unique<ov::TInputStationEndItem>(station, tag, ov::KindCurrent));
            if ((i & 63) == 0) r.host.SignalThread();
        }
        r.host.SignalThread();
        published += 2L * Records;
        r.WaitPublished(published);
    }
    state.SetItemsProcessed(state.iterations() * 2L * Records);
    state.SetLabel("items = calculations");
}
BENCHMARK(BM_ThreadCalculations)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Processor time of the whole process and of the calling thread, in nanoseconds.
double ClockNs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// The records of one round: each station's sensor value and the end of its record, which set
// off its multiple-station and its single-station group.
void AddRecords(Running& r, int stations, int records, ov::TTimeTag tag) {
    for (int i = 0; i < records; ++i) {
        const std::string station = "ST" + std::to_string(i % stations);
        r.input.Add(
            std::make_unique<ov::TInputSensorItem>(station, tag, ov::KindCurrent, "HG", "1.5"));
        r.input.Add(std::make_unique<ov::TInputStationEndItem>(station, tag, ov::KindCurrent));
    }
}

// The thread's processor time per calculation against a bare Calculate of the same groups
// with the same values, plus the one setup query of each calculation (its rounding setting),
// in alternating rounds. The items of a round are queued before the thread is woken, so that
// the thread's time is its own work; it is the process's time less this thread's, which only
// queues and then sleeps.
void BM_ThreadOverhead(benchmark::State& state) {
    const int groupCount = static_cast<int>(state.range(0));
    const int stations = groupCount / 2;
    constexpr int Records = 2000;  // 4000 items: within the input buffer's slots
    Running r(groupCount);
    ov::TTimeTag tag = ov::MakeTimeTag(2026, 12, 8, 0, 0, 0);
    long published = 0;

    // The bare calculations: the thread's groups and calculator settings, a cache like the
    // thread's.
    ov::TCalcGroups groups;
    MakeGroups(groupCount, groups);
    ov::TStationSensorDataCache cache;
    ov::TCalcEx calc(ov::LocaleFormatSettings());
    calc.SetGroupsFixed(true);
    calc.SetSetupQuery(&r.host);
    struct TCalculation {
        const ov::TCalcGroupItem* Group;
        std::unique_ptr<ov::TInputItem> Item;
        std::string Key;
    };
    std::vector<TCalculation> bare;
    for (int i = 0; i < Records; ++i) {
        const int st = i % stations;
        const std::string station = "ST" + std::to_string(st);
        const ov::TCalcGroupItem* multi = groups.Items(2 * st + 1);
        const ov::TCalcGroupItem* single = groups.Items(2 * st);
        bare.push_back(
            {multi,
             std::make_unique<ov::TInputSensorItem>(station, tag, ov::KindCurrent, "HG", "1.5"),
             ov::SetupKey("Sensor", station, multi->OutputSensor, "RoundOffTime")});
        bare.push_back({single,
                        std::make_unique<ov::TInputStationEndItem>(station, tag, ov::KindCurrent),
                        ov::SetupKey("Sensor", station, single->OutputSensor, "RoundOffTime")});
    }
    auto bareRound = [&](ov::TTimeTag t) {
        for (TCalculation& c : bare) {
            c.Item->TimeTag = t;
            if (auto* sensor = dynamic_cast<ov::TInputSensorItem*>(c.Item.get()))
                cache.Add(sensor->StationID, sensor->SensorName, 1.5, t);
        }
        const double start = ClockNs(CLOCK_THREAD_CPUTIME_ID);
        std::string answer;
        for (TCalculation& c : bare) {
            try {
                benchmark::DoNotOptimize(calc.Calculate(*c.Item, *c.Group, cache));
            } catch (const ov::ECalcExException&) {
            }
            benchmark::DoNotOptimize(r.host.QuerySetup(c.Key, answer));
        }
        return ClockNs(CLOCK_THREAD_CPUTIME_ID) - start;
    };

    double threadNs = 0, bareNs = 0;
    long calculations = 0;
    for (auto _ : state) {
        ++tag;
        AddRecords(r, stations, Records, tag);
        const double process = ClockNs(CLOCK_PROCESS_CPUTIME_ID);
        const double self = ClockNs(CLOCK_THREAD_CPUTIME_ID);
        r.host.SignalThread();
        published += 2L * Records;
        r.WaitPublished(published);
        threadNs += (ClockNs(CLOCK_PROCESS_CPUTIME_ID) - process) -
                    (ClockNs(CLOCK_THREAD_CPUTIME_ID) - self);
        state.PauseTiming();
        bareNs += bareRound(tag);
        calculations += 2L * Records;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 2L * Records);
    state.counters["thread_ns"] = threadNs / static_cast<double>(calculations);
    state.counters["bare_ns"] = bareNs / static_cast<double>(calculations);
    state.counters["x_bare"] = threadNs / bareNs;
    state.SetLabel("per calculation");
}
BENCHMARK(BM_ThreadOverhead)->Arg(1000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
