// The "%" formatter: directives, widths, the comma-list rule, zero fill and time fields.
#include <gtest/gtest.h>

#include "util/Format.h"
#include "util/TimeTag.h"

namespace ov {
namespace {

const TTimeFormats& US() {
    static const TTimeFormats tf(USFormatSettings());
    return tf;
}

struct Case {
    const char* format;
    std::vector<TFormatArg> args;
    const char* expected;
};

TEST(FormatText, DirectivesTable) {
    const long double pi = 3.14159L;
    const std::vector<Case> cases = {
        {"%p", {"RIVER1"}, "RIVER1"},
        {"%8p|", {"RIVER1"}, "RIVER1  |"},
        {"%4p", {"RIVER1"}, "RIVER1"},
        {"%s.%p", {"RIVER1", "Q"}, "RIVER1.Q"},
        {"%P", {"ALONE"}, "ALONE"},
        {"%p%P", {"A", "B"}, "A,B"},
        {"%3f", {"RIVER1"}, "RIV"},
        {"%c%c", {'a', 'b'}, "ab"},
        {"%5i", {42}, "   42"},
        {"%05i", {-42}, "-0042"},
        {"%i", {-7}, "-7"},
        {"%03w", {7}, "007"},
        {"%x", {pi}, "3.141590"},
        {"%1.2x", {pi}, "3.14"},
        {"%1.10x", {2.5}, "2.5"},
        {"%1.10x", {2.0}, "2.0"},
        {"%8.2x|", {-1.5}, "   -1.50|"},
        // What rounds to zero is written as zero, without a sign.
        {"%1.0x", {-0.5}, "0"},
        {"%1.2x", {-0.004}, "0.00"},
        {"%1.10x", {-1e-12}, "0.0"},
        {"%x", {-0.0}, "0.000000"},
        {"%1.0x", {-0.6}, "-1"},
        {"%1.2x", {-0.005001}, "-0.01"},
        {"%.2x", {pi}, "2x"},  // without a width "." is the letter: nothing written or used
        {"%1.3m", {12345}, "12.345"},
        {"%b %b", {true, false}, "Yes No"},
        {"%\"", {"A,B"}, "\"A,B\""},
        {"%\"", {"A\"B,C"}, "'A\"B,C'"},
        {"%\"", {"\"AB"}, "'\"AB'"},
        {"%\"", {"'AB"}, "\"'AB\""},
        {"%\"", {"PLAIN"}, "PLAIN"},
        {"100%% done", {}, "100% done"},
        {"a%nb", {}, "a\r\nb"},
        {"%j", {86400}, "01/01/1985 00:00:00"},
        {"%j", {0}, "12/31/1984 00:00:00"},
        {"%j", {1323463265}, "12/08/2026 20:41:05"},
        {"%d", {1}, "01/01/1985"},
        {"%t", {125}, "00:02:05"},
        {"%t", {-125}, "-00:02:05"},
        {"%t", {90000}, "25:00:00"},
        {"%*p|", {6, "AB"}, "AB    |"},
        {"%i%p", {TFormatArg::Other(9), 5}, "9"},  // text directive on a number prints ""
        {"%q%i", {3}, "3"},                        // no directive: nothing, no argument taken
        {"end%", {}, "end"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatText(c.format, std::span<const TFormatArg>(c.args), US()), c.expected)
            << "format: " << c.format;
    }
}

TEST(FormatAppend, CommaRuleDependsOnWhatPrecedes) {
    std::string out;
    FormatAppend(out, "%P", {"A"}, US());
    FormatAppend(out, "%P", {"B"}, US());
    FormatAppend(out, "%p", {"C"}, US());
    EXPECT_EQ(out, "A,BC");

    // The result line: a comma-separated time text, station.sensor and value.
    std::string line = FormatText("%j", {1323463265}, US());
    FormatAppend(line, "%P", {"RIVER1.Q"}, US());
    FormatAppend(line, "%P", {"12.5"}, US());
    EXPECT_EQ(line, "12/08/2026 20:41:05,RIVER1.Q,12.5");

    // An upper-case time directive puts one comma before the whole field.
    EXPECT_EQ(FormatText("x%J", {86400}, US()), "x,01/01/1985 00:00:00");
}

TEST(FormatText, SystemMessages) {
    EXPECT_EQ(FormatText("Error 1605: Variable not updated - PollGroup: %p  StationID: %p  "
                         "SensorName: %p  TimeTag: %p",
                         {"3", "RIVER1", "HG", "12/08/2026 20:41:05"}, US()),
              "Error 1605: Variable not updated - PollGroup: 3  StationID: RIVER1  "
              "SensorName: HG  TimeTag: 12/08/2026 20:41:05");
    EXPECT_EQ(FormatText("SENSOR:%p:%p,SHIFT", {"RIVER1", "HG"}, US()), "SENSOR:RIVER1:HG,SHIFT");
}

TEST(FormatText, TimeTagTextAgreesWithTheNestedFormats) {
    // The direct path of "%j" writes what the nested time formats write.
    for (std::int32_t tag : {0, 1, 59, 86399, 86400, 1323463265, 2147483647, 946684799}) {
        int y, mo, d, h, mi, s;
        DecodeTimeTag(tag, y, mo, d, h, mi, s);
        const std::string nested = FormatText(US().DateTimeFormat,
                                              {std::int32_t(mo), std::int32_t(d), std::int32_t(y),
                                               std::int32_t(h), std::int32_t(mi), std::int32_t(s)},
                                              US());
        EXPECT_EQ(TimeTagText(tag, US()), nested) << tag;
    }
}

TEST(FormatText, TimeFieldsFollowTheSeparatorsOfTheRecord) {
    TFormatSettings fs;
    fs.DateSeparator = '.';
    fs.TimeSeparator = '-';
    TTimeFormats tf(fs);
    EXPECT_EQ(FormatText("%j", {1323463265}, tf), "12.08.2026 20-41-05");
    EXPECT_EQ(tf.StampFormat, "%04w.%02w.%02w %02w-%02w-%02w");
}

}  // namespace
}  // namespace ov
