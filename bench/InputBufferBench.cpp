// Throughput of the input buffer: station records (a begin item, n sensor items, an end item)
// from one producer thread (the benchmark's) to a running calculation thread, which takes and
// releases every item.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "TestCalcHost.h"
#include "thread/WorkThread.h"

namespace {

// The shared fake host, keeping nothing: it wakes the thread and drains the output lines away.
struct BenchHost : ov::test::TestCalcHost {
    BenchHost() {
        KeepPublished = false;
        KeepLines = false;
    }
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
    state.counters["slot_waits"] = double(host.UiEventRounds.load()) / double(state.iterations());
    thread.RequestStop();
    thread.WaitFor();
}
BENCHMARK(BM_InputBufferToThread)->Arg(8)->Arg(1)->UseRealTime();

}  // namespace
