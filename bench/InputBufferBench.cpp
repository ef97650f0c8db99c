// Throughput of the input buffer: station records (a begin item, n sensor items, an end item)
// from one producer thread (the benchmark's) to a running calculation thread, which takes and
// releases every item.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "calc/RatingTables.h"
#include "suite/ResultSink.h"
#include "thread/WorkThread.h"

namespace {

// The least a host must do: wake the thread and drain the output lines away.
class BenchHost final : public ov::ICalcHost, public ov::IResultSink {
  public:
    ov::TOutputBuffer* Output = nullptr;
    ov::TWakeEvent Wake;
    ov::rating::TTables Tables{[] { return std::string(); }};

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
    void ProcessUiEvents() override { ++Rounds; }
    std::atomic<long> Rounds{0};
    ov::rating::TTables& RatingTables() override { return Tables; }
    void PublishResult(std::string_view, const std::string&) override {}
    void ThreadEnded(ov::TWorkThread&) override {}
    bool QuerySetup(const std::string&, std::string&) override { return false; }
};

void BM_InputBufferToThread(benchmark::State& state) {
    const int sensors = static_cast<int>(state.range(0));
    BenchHost host;
    ov::TInputStationSensorBuffer input(host);
    ov::TOutputBuffer output(host);
    host.Output = &output;
    ov::TWorkThread thread(host, host, input, output);
    thread.Start();

    // One iteration: a batch of records, more than the buffer holds, until the thread has
    // taken the last item.
    constexpr int Records = 1000;
    ov::TTimeTag tag = 1000;
    for (auto _ : state) {
        for (int r = 0; r < Records; ++r, ++tag) {
            input.Add(
                std::make_unique<ov::TInputStationBeginItem>("RIVER1", tag, ov::KindTimeTagged));
            for (int i = 0; i < sensors; ++i)
                input.Add(std::make_unique<ov::TInputSensorItem>("RIVER1", tag, ov::KindTimeTagged,
                                                                 "HG", "3.52"));
            input.Add(
                std::make_unique<ov::TInputStationEndItem>("RIVER1", tag, ov::KindTimeTagged));
            host.SignalThread();  // as the producer does after every record
        }
        while (input.HasItems()) std::this_thread::yield();
    }
    state.SetItemsProcessed(state.iterations() * Records * (sensors + 2));
    state.counters["slot_waits"] = double(host.Rounds.load()) / double(state.iterations());
    thread.RequestStop();
    thread.WaitFor();
}
BENCHMARK(BM_InputBufferToThread)->Arg(8)->Arg(1)->UseRealTime();

}  // namespace
