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

// Lower-case "j": the upper-case form would skip trailing text up to a comma, and a value with
// anything after its seconds is not a date-time text.
bool ParseDateTime(const std::string& s, std::int32_t& tag) {
    int position = 1;
    return ov::ScanText(s, position, "%j", {&tag}) && position == static_cast<int>(s.size()) + 1;
}

}  // namespace

bool ReadTimeArgument(const std::string& text, std::int32_t& tag) {
    std::int32_t read = 0;
    if (!(ParseTag(text, read) || ParseDateTime(text, read)) || read < 0) return false;
    tag = read;
    return true;
}

std::string TimeArgumentForm() {
    const ov::TTimeFormats& tf = ov::DefaultTimeFormats();
    return std::string("a whole number, or month") + tf.Settings.DateSeparator + "day" +
           tf.Settings.DateSeparator + "year hours" + tf.Settings.TimeSeparator + "minutes" +
           tf.Settings.TimeSeparator + "seconds";
}

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
        if (ParseDateTime(v, tag)) {
            out << tag << "\n";
            continue;
        }
        // A date-time text after the last time tag does not scan either: its tag would wrap.
        err << "ovtool timetag: '" << v << "' is neither a time tag nor a date-time text "
            << "from 12/31/1984 00:00:00 to 01/18/2053 03:14:07 (expected " << TimeArgumentForm()
            << ")\n";
        status = 1;
    }
    return status;
}

}  // namespace ovtool
