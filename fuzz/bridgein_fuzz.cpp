// Fuzz target: a station record as it arrives over MQTT, read by ovbridge (a data line, with or
// without its item name, or the JSON form). Whatever the bridge takes, OV Calc must take whole:
// the data line it announces queues a begin item, one sensor item per pair (each with a value
// that is a number) and an end item, with no error said; and that data line, read again as a
// message, is the same record. Whatever the bridge refuses, it says why.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "StationInput.h"
#include "ZoneTime.h"
#include "busnames/BusNames.h"
#include "core/InputBuffer.h"
#include "core/ItemChange.h"
#include "util/FloatText.h"
#include "util/Format.h"

namespace {

class TFuzzHost : public ov::IQueueHost {
  public:
    void SignalThread() override {}
    bool RequestDrain(std::chrono::milliseconds) override { return true; }
    void ProcessUiEvents() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool zone = [] {
        std::string why;
        return ovbridge::SelectTimeZone("UTC", why);
    }();
    (void)zone;
    static const ov::TTimeFormats formats(ov::USFormatSettings());
    ovbridge::TInputContext context;
    context.Formats = &formats;
    context.DefaultItem = "$REALTIME";
    context.NullValue = -9999;

    ovbridge::TStationMessage message;
    std::string why;
    if (!ovbridge::ReadStationMessage(ov::fuzz::AsText(data, size), context, message, why)) {
        if (why.empty()) std::abort();
        return 0;
    }
    if (message.Data.empty() || message.Station.empty()) std::abort();

    TFuzzHost host;
    ov::TInputStationSensorBuffer input(host);
    bool said = false;
    const int taken = ov::HandleItemChange(
        ov::IOVRtuDataCOMAppID, message.Item, message.Data, ov::IOVCalcDataCOMAppID, input, [] {},
        [&said](const std::string&) { said = true; }, [] { return false; });
    if (said || taken < 3 || taken != input.Count()) std::abort();
    std::unique_ptr<ov::TInputItem> got;
    int begins = 0, ends = 0;
    while (input.Get(got)) {
        if (dynamic_cast<ov::TInputStationBeginItem*>(got.get())) {
            ++begins;
            if (got->StationID != message.Station) std::abort();
        } else if (auto* sensor = dynamic_cast<ov::TInputSensorItem*>(got.get())) {
            double value = 0;
            if (!ov::TryDotTextToFloat(sensor->ValueText, value)) std::abort();
        } else if (dynamic_cast<ov::TInputStationEndItem*>(got.get())) {
            ++ends;
        }
    }
    if (begins != 1 || ends != 1) std::abort();

    ovbridge::TStationMessage again;
    if (!ovbridge::ReadStationMessage(message.Item + " " + message.Data, context, again, why) ||
        again.Item != message.Item || again.Data != message.Data ||
        again.Station != message.Station)
        std::abort();
    return 0;
}
