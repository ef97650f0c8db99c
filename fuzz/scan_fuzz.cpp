// Fuzz target: the "%" scanner with a fuzzed format and source text.
// Input: the format on the first line, the source text after it. The directives store into a
// fixed row of variables of every type the scanner writes (a text among every few), then all
// into texts; with the user's separators and with another locale's. And the source read as
// one value by each directive of a number, a time or a text: a source read whole gives a value
// whose text reads back as it (RoundTrips.h), and a number reads the same by "%x" (equations,
// rating tables) as by the reader of data values (TryDotTextToFloat).
#include <bit>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "RoundTrips.h"
#include "util/FloatText.h"
#include "util/Scan.h"

namespace {

const ov::TTimeFormats& OtherTimeFormats() {
    static const ov::TTimeFormats tf([] {
        ov::TFormatSettings fs;
        fs.DecimalSeparator = ',';
        fs.DateSeparator = '.';
        fs.TimeSeparator = '-';
        return fs;
    }());
    return tf;
}

void Scan(std::string_view source, std::string_view format, const ov::TTimeFormats& tf) {
    std::string s1, s2, s3, s4;
    std::int32_t i1 = 0, i2 = 0;
    double d1 = 0, d2 = 0;
    std::uint16_t w = 0;
    std::uint8_t b = 0;
    bool flag = false;
    char c = 0;
    float f = 0;
    const ov::TScanArg typed[] = {&s1, &i1, &d1, &s2, &w, &b, &flag, &c, &f, &s3, &i2, &d2, &s4};
    int position = 1;
    (void)ov::ScanText(source, position, format, typed, tf);
    if (position < 1 || position > static_cast<int>(source.size()) + 1) std::abort();

    std::string texts[12];
    const ov::TScanArg allText[] = {&texts[0], &texts[1], &texts[2],  &texts[3],
                                    &texts[4], &texts[5], &texts[6],  &texts[7],
                                    &texts[8], &texts[9], &texts[10], &texts[11]};
    position = 1;
    (void)ov::ScanText(source, position, format, allText, tf);
    if (position < 1 || position > static_cast<int>(source.size()) + 1) std::abort();
}

// The source read whole as one value, and that value written and read again.
void ValueRoundTrips(std::string_view source, const ov::TTimeFormats& tf) {
    using ov::fuzz::ScanWhole;
    std::int32_t n = 0;
    if (ScanWhole(source, "%i", n, tf)) ov::fuzz::CheckIntegerRoundTrips(n);
    for (const std::string_view format : {"%j", "%t"})
        if (ScanWhole(source, format, n, tf)) ov::fuzz::CheckTimeRoundTrips(n, tf);
    std::uint16_t w = 0;
    if (ScanWhole(source, "%w", w, tf)) ov::fuzz::CheckIntegerRoundTrips(w);
    if (ScanWhole(source, "%d", w, tf)) ov::fuzz::CheckTimeRoundTrips(w, tf);
}

// The source read whole as a number by "%x" (equations, rating tables) and as a data value
// (TryDotTextToFloat), which must agree; its text read as one field.
void NumberAndText(std::string_view source) {
    const ov::TTimeFormats& tf = ov::DefaultTimeFormats();
    double x = 0;
    const bool scanned = ov::fuzz::ScanWhole(source, "%x", x, tf);
    double value = 0;
    const bool converted = ov::TryDotTextToFloat(source, value);
    // The data reader allows blanks around the number, the scanner none.
    const bool blanks = source.find_first_of(" \t") != std::string_view::npos;
    ov::fuzz::Require(
        scanned == (converted && !blanks) &&
            (!scanned || std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(value)),
        [&] {
            return "\"" + ov::fuzz::Shown(source) +
                   "\" read by %x: " + (scanned ? std::to_string(x) : "no") +
                   ", as a data value: " + (converted ? std::to_string(value) : "no");
        });
    if (scanned) {
        ov::fuzz::CheckFixedRoundTrips(x);
        ov::fuzz::CheckGeneralNumberRoundTrip(x, '.');
    }
    std::string text;
    if (ov::fuzz::ScanWhole(source, "%p", text, tf)) ov::fuzz::CheckTextRoundTrips(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view source;
    const std::string_view format = ov::fuzz::FirstLine(ov::fuzz::AsText(data, size), source);
    Scan(source, format, ov::DefaultTimeFormats());
    Scan(source, format, OtherTimeFormats());
    ValueRoundTrips(source, ov::DefaultTimeFormats());
    ValueRoundTrips(source, OtherTimeFormats());
    NumberAndText(source);
    return 0;
}
