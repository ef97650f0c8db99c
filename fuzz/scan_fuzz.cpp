// Fuzz target: the "%" scanner with a fuzzed format and source text.
// Input: the format on the first line, the source text after it. The directives store into a
// fixed row of variables of every type the scanner writes (a text among every few), then all
// into texts; with the user's separators and with another locale's.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view source;
    const std::string_view format = ov::fuzz::FirstLine(ov::fuzz::AsText(data, size), source);
    Scan(source, format, ov::DefaultTimeFormats());
    Scan(source, format, OtherTimeFormats());
    return 0;
}
