// Fuzz target: a data source's item change (HandleItemChange) on a fuzzed data line.
// Input: the item name on the first line ($TIMETAG, $REALTIME, $GOESTIMED, $GOESRANDOM or
// anything else), the data line after it. Every record queued must be whole: a begin item,
// sensor items of the same time tag, an end item.
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "busnames/BusNames.h"
#include "core/InputBuffer.h"
#include "core/ItemChange.h"

namespace {

class TFuzzHost : public ov::IQueueHost {
  public:
    void SignalThread() override {}
    bool RequestDrain(std::chrono::milliseconds) override { return true; }
    void ProcessUiEvents() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view line;
    const std::string_view item = ov::fuzz::FirstLine(ov::fuzz::AsText(data, size), line);
    TFuzzHost host;
    ov::TInputStationSensorBuffer input(host);
    int signals = 0;
    const int taken = ov::HandleItemChange(
        ov::IOVDecodeComAppID, item, line, ov::IOVCalcDataCOMAppID, input, [&] { ++signals; },
        [](const std::string&) {}, [] { return false; });
    if (taken != input.Count()) std::abort();

    std::unique_ptr<ov::TInputItem> got;
    bool open = false;
    ov::TTimeTag tag = 0;
    while (input.Get(got)) {
        if (dynamic_cast<ov::TInputStationBeginItem*>(got.get())) {
            if (open) std::abort();
            open = true;
            tag = got->TimeTag;
        } else if (dynamic_cast<ov::TInputSensorItem*>(got.get())) {
            if (!open || got->TimeTag != tag) std::abort();
        } else if (dynamic_cast<ov::TInputStationEndItem*>(got.get())) {
            if (!open || got->TimeTag != tag) std::abort();
            open = false;
        }
    }
    if (open) std::abort();
    return 0;
}
