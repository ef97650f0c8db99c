// ovtool timetag: time tags to date-time texts and back.
#include <charconv>
#include <cstdint>
#include <ostream>

#include "OvTool.h"
#include "util/Format.h"
#include "util/Scan.h"

namespace ovtool {

namespace {

bool ParseTag(const std::string& s, std::int32_t& tag) {
    const char* b = s.data();
    const char* e = s.data() + s.size();
    if (b != e && *b == '+') ++b;
    auto [ptr, ec] = std::from_chars(b, e, tag);
    return ec == std::errc() && ptr == e && b != e;
}

}  // namespace

int TimeTagCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TParsedArgs parsed;
    if (!ParseArgs(args, {}, {}, parsed, err, "timetag")) return 2;
    if (parsed.Help) {
        out << CommandUsage("timetag");
        return 0;
    }
    if (parsed.Positional.empty()) return UsageError(err, "timetag", "no value given");
    int status = 0;
    for (const std::string& v : parsed.Positional) {
        std::int32_t tag = 0;
        if (ParseTag(v, tag)) {
            if (tag < 0) {
                err << "ovtool timetag: " << v
                    << " is before the first time tag, 0 (12/31/1984 00:00:00)\n";
                status = 1;
                continue;
            }
            out << ov::TimeTagText(tag) << "\n";
            continue;
        }
        // Lower-case "j": the upper-case form would skip trailing text up to a comma, and a
        // value with anything after its seconds is not a date-time text.
        int position = 1;
        if (ov::ScanText(v, position, "%j", {&tag}) && position == static_cast<int>(v.size()) + 1) {
            out << tag << "\n";
            continue;
        }
        const ov::TTimeFormats& tf = ov::DefaultTimeFormats();
        // A date-time text after the last time tag does not scan either: its tag would wrap.
        err << "ovtool timetag: '" << v << "' is neither a time tag nor a date-time text "
            << "from 12/31/1984 00:00:00 to 01/18/2053 03:14:07 "
            << "(expected a whole number, or month" << tf.Settings.DateSeparator << "day"
            << tf.Settings.DateSeparator << "year hours" << tf.Settings.TimeSeparator << "minutes"
            << tf.Settings.TimeSeparator << "seconds)\n";
        status = 1;
    }
    return status;
}

}  // namespace ovtool
