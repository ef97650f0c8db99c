// Cost of reading one suite data line and of writing one result record.
#include <benchmark/benchmark.h>

#include <string>

#include "util/FloatText.h"
#include "util/Format.h"
#include "util/Scan.h"

namespace {

const std::string kLine =
    "12/08/2026 20:41:05,RIVER1.HG,3.52,RIVER1.TA,12.5,RIVER1.VB,13.1,RIVER1.PC,0.25";

void BM_ScanDataLine(benchmark::State& state) {
    const ov::TTimeFormats tf(ov::USFormatSettings());
    std::int32_t tag = 0;
    std::string station, sensor, value;
    for (auto _ : state) {
        int pos = 1;
        ov::ScanText(kLine, pos, "%J", {&tag}, tf);
        int pairs = 0;
        while (pos <= static_cast<int>(kLine.size())) {
            ov::ScanText(kLine, pos, "%s.%P%P", {&station, &sensor, &value}, tf);
            ++pairs;
        }
        benchmark::DoNotOptimize(pairs);
        benchmark::DoNotOptimize(tag);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel("4 pairs per line");
}
BENCHMARK(BM_ScanDataLine);

void BM_FormatResultRecord(benchmark::State& state) {
    const ov::TTimeFormats tf(ov::USFormatSettings());
    double value = 12.3456;
    for (auto _ : state) {
        std::string record = ov::FormatText("%j", {1323463265}, tf);
        ov::FormatAppend(record, "%P", {"RIVER1.Q"}, tf);
        ov::FormatAppend(record, "%P", {ov::FloatToText(value, '.')}, tf);
        benchmark::DoNotOptimize(record);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatResultRecord);

}  // namespace
