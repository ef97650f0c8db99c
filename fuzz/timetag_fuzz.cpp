// Fuzz target: the time-tag texts. The input read as a date-time text (the "%j" and "%J"
// directives, as ovtool timetag and the data lines read one): a text that reads completely as
// a time tag reads back as the same tag from the text that tag is written as, which is the
// text's canonical form. And the input's first four bytes as a time tag, a day number and a
// count of seconds, with its next two bytes as the date and time separators: each value of
// the range its text is written for reads back as itself (RoundTrips.h).
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "RoundTrips.h"
#include "util/Format.h"
#include "util/Scan.h"
#include "util/TimeTag.h"

namespace {

void RoundTrip(std::string_view text, const ov::TTimeFormats& tf) {
    std::int32_t tag = 0;
    int position = 1;
    const bool read = ov::ScanText(text, position, "%j", {&tag}, tf);
    if (read && position == static_cast<int>(text.size()) + 1) {
        ov::fuzz::Require(tag >= 0, [&] {
            return "\"" + ov::fuzz::Shown(text) + "\" read as the time tag " + std::to_string(tag) +
                   ", before the first";
        });
        const std::string written = ov::TimeTagText(tag, tf);
        std::int32_t again = -1;
        const bool readAgain = ov::fuzz::ScanWhole(written, "%j", again, tf);
        ov::fuzz::Require(readAgain && again == tag && ov::TimeTagText(again, tf) == written, [&] {
            return "\"" + ov::fuzz::Shown(text) + "\" read as " + std::to_string(tag) +
                   ", written \"" + ov::fuzz::Shown(written) + "\", read back as " +
                   std::to_string(again);
        });
        ov::fuzz::CheckTimeRoundTrips(tag, tf);
    }
    position = 1;
    (void)ov::ScanText(text, position, "%J", {&tag}, tf);
    position = 1;
    std::string s;
    (void)ov::ScanText(text, position, "%J,%j,%S", {&tag, &tag, &s}, tf);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = ov::fuzz::AsText(data, size);
    RoundTrip(text, ov::DefaultTimeFormats());
    static const ov::TTimeFormats other([] {
        ov::TFormatSettings fs;
        fs.DateSeparator = '.';
        fs.TimeSeparator = '.';
        return fs;
    }());
    RoundTrip(text, other);

    if (size >= 4) {
        std::int32_t n = 0;
        std::memcpy(&n, data, sizeof n);
        ov::TFormatSettings fs;
        if (size >= 6) {
            fs.DateSeparator = static_cast<char>(data[4]);
            fs.TimeSeparator = static_cast<char>(data[5]);
        }
        const ov::TTimeFormats tf(fs);
        ov::fuzz::CheckTimeRoundTrips(n, tf);
        ov::fuzz::CheckTimeRoundTrips(n & INT32_MAX, tf);
    }
    return 0;
}
