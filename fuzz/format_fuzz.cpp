// Fuzz target: the "%" formatter with a fuzzed format and arguments, and each argument written
// by the directives of its kind and read back by the scanner (RoundTrips.h: the values each
// round trip holds for).
// Input: the format on the first line, then one argument per line, its kind by the first
// character: i integer, b boolean, c character, r real, s text, p C text, o other; anything
// else is a text. Formatted with the user's separators and with another locale's.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "RoundTrips.h"
#include "util/Format.h"

namespace {

const ov::TTimeFormats& OtherTimeFormats() {
    static const ov::TTimeFormats tf([] {
        ov::TFormatSettings fs;
        fs.DecimalSeparator = ',';
        fs.DateSeparator = '-';
        fs.TimeSeparator = '.';
        return fs;
    }());
    return tf;
}

constexpr std::size_t kArgsRoundTripped = 8;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest;
    const std::string_view format = ov::fuzz::FirstLine(ov::fuzz::AsText(data, size), rest);
    std::deque<std::string> texts;  // the C texts' storage; stable addresses
    std::vector<ov::TFormatArg> args;
    for (std::string_view line : ov::fuzz::Lines(rest)) {
        const char kind = line.empty() ? 's' : line[0];
        const std::string_view v = line.empty() ? line : line.substr(1);
        std::int32_t n = 0;
        std::from_chars(v.data(), v.data() + v.size(), n);
        switch (kind) {
            case 'i':
                args.emplace_back(n);
                break;
            case 'b':
                args.emplace_back(n != 0);
                break;
            case 'c':
                args.emplace_back(v.empty() ? '\0' : v[0]);
                break;
            case 'r': {
                double d = 0;
                std::from_chars(v.data(), v.data() + v.size(), d);
                args.emplace_back(d);
                break;
            }
            case 'p':
                args.emplace_back(texts.emplace_back(v).c_str());
                break;
            case 'o':
                args.push_back(ov::TFormatArg::Other(n));
                break;
            default:
                args.emplace_back(v);
                break;
        }
    }
    (void)ov::FormatText(format, args);
    (void)ov::FormatText(format, args, OtherTimeFormats());
    for (const ov::TFormatArg& a : args)
        if (a.kind() == ov::TFormatArg::Kind::Integer) (void)ov::TimeTagText(a.Payload());

    // The round trips of the first arguments: each further one only takes the run's time.
    const std::size_t checked = std::min(args.size(), kArgsRoundTripped);
    for (const ov::TFormatArg& a : std::span(args).first(checked)) {
        if (a.kind() == ov::TFormatArg::Kind::Integer) {
            ov::fuzz::CheckIntegerRoundTrips(a.Payload());
            ov::fuzz::CheckTimeRoundTrips(a.Payload(), ov::DefaultTimeFormats());
            ov::fuzz::CheckTimeRoundTrips(a.Payload(), OtherTimeFormats());
        } else if (a.kind() == ov::TFormatArg::Kind::Real) {
            const double v = static_cast<double>(a.Real());
            ov::fuzz::CheckFixedRoundTrips(v);
            ov::fuzz::CheckGeneralNumberRoundTrip(v, '.');
            ov::fuzz::CheckGeneralNumberRoundTrip(v, ',');
        } else if (a.IsText()) {
            ov::fuzz::CheckTextRoundTrips(a.TextForm());
        }
    }
    return 0;
}
