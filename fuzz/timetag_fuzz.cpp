// Fuzz target: the time-tag text reader (the "%j" and "%J" directives, as ovtool timetag and
// the data lines read a date-time text). A text that reads completely as a time tag must
// read back to the same tag from the text that tag is written as.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "util/Format.h"
#include "util/Scan.h"
#include "util/TimeTag.h"

namespace {

void RoundTrip(std::string_view text, const ov::TTimeFormats& tf) {
    std::int32_t tag = 0;
    int position = 1;
    const bool read = ov::ScanText(text, position, "%j", {&tag}, tf);
    if (read && position == static_cast<int>(text.size()) + 1) {
        const std::string written = ov::TimeTagText(tag, tf);
        std::int32_t again = -1;
        int p = 1;
        if (!ov::ScanText(written, p, "%j", {&again}, tf) || again != tag) std::abort();
        int year, month, day, hours, minutes, seconds;
        ov::DecodeTimeTag(tag, year, month, day, hours, minutes, seconds);
        ov::TTimeTag made = 0;
        if (!ov::TryMakeTimeTag(year, month, day, hours, minutes, seconds, made) || made != tag)
            std::abort();
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
    return 0;
}
