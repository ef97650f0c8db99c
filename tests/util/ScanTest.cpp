// The "%" scanner: lists, bindings, numerals, data lines, required flag and failures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "util/Scan.h"
#include "util/TimeTag.h"

namespace ov {
namespace {

const TTimeFormats& US() {
    static const TTimeFormats tf(USFormatSettings());
    return tf;
}

TEST(ScanText, StationSensorBinding) {
    struct Case {
        const char* source;
        const char* station;
        const char* sensor;
    };
    for (const Case& c : {Case{"RIVER1.Q", "RIVER1", "Q"}, Case{"Q", "Q", ""},
                          Case{"A.B.C", "A", "B.C"}, Case{"ST.HG,3.5", "ST", "HG"}}) {
        std::string station = "x", sensor = "x";
        EXPECT_TRUE(ScanTextFromStart(c.source, "%s.%P", {&station, &sensor}, US())) << c.source;
        EXPECT_EQ(station, c.station);
        EXPECT_EQ(sensor, c.sensor);
    }
}

TEST(ScanText, ListItemByItem) {
    const std::string src = "ALPHA,BETA,GAMMA";
    int pos = 1;
    std::string item;
    EXPECT_TRUE(ScanText(src, pos, "%P", {&item}, US()));
    EXPECT_EQ(item, "ALPHA");
    EXPECT_EQ(pos, 7);
    EXPECT_TRUE(ScanText(src, pos, "%P", {&item}, US()));
    EXPECT_EQ(item, "BETA");
    EXPECT_EQ(pos, 12);
    EXPECT_TRUE(ScanText(src, pos, "%P", {&item}, US()));
    EXPECT_EQ(item, "GAMMA");
    EXPECT_GT(pos, static_cast<int>(src.size()));
}

TEST(ScanText, DataLineItem) {
    const std::string line = "12/08/2026 20:41:05,RIVER1.HG,3.52,RIVER1.TA,12.5";
    int pos = 1;
    std::int32_t tag = 0;
    ASSERT_TRUE(ScanText(line, pos, "%J", {&tag}, US()));
    EXPECT_EQ(tag, 1323463265);
    std::string station, sensor, value;
    ASSERT_TRUE(ScanText(line, pos, "%s.%P%P", {&station, &sensor, &value}, US()));
    EXPECT_EQ(station + "|" + sensor + "|" + value, "RIVER1|HG|3.52");
    ASSERT_TRUE(ScanText(line, pos, "%s.%P%P", {&station, &sensor, &value}, US()));
    EXPECT_EQ(station + "|" + sensor + "|" + value, "RIVER1|TA|12.5");
}

TEST(ScanText, NumbersPassAndFail) {
    struct Case {
        const char* source;
        const char* format;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"-12.5E2*3", "%x", true, -1250},
        {"1.", "%x", true, 1},
        {".5", "%x", true, 0.5},
        {"-", "%x", false, 0},  // a lone sign: nothing to convert, value 0
        {"", "%x", false, 0},
        {" 1", "%x", false, 0},      // numbers are read without skipping blanks
        {"2E", "%x", false, 2},      // an exponent without digits: the value read so far stays
        {"1e-400", "%x", false, 0},  // too small reads as 0
        {"-5", "%i", true, -5},
        {"+", "%i", false, 0},
        {"2147483648", "%i", false, 0},
        {"65535", "%w", true, 65535},
        {"70000", "%w", false, 0},
        {"-1", "%w", false, 0},
    };
    for (const Case& c : cases) {
        double d = -99;
        std::int32_t i = -99;
        std::uint16_t w = 99;
        bool ok;
        if (std::strcmp(c.format, "%x") == 0) {
            ok = ScanTextFromStart(c.source, c.format, {&d}, US());
            EXPECT_DOUBLE_EQ(d, c.value) << c.source;
        } else if (std::strcmp(c.format, "%i") == 0) {
            ok = ScanTextFromStart(c.source, c.format, {&i}, US());
            if (c.ok) {
                EXPECT_EQ(i, c.value) << c.source;
            }
        } else {
            ok = ScanTextFromStart(c.source, c.format, {&w}, US());
            if (c.ok) {
                EXPECT_EQ(w, c.value) << c.source;
            }
        }
        EXPECT_EQ(ok, c.ok) << c.format << " on '" << c.source << "'";
    }
    int pos = 1;
    double d = 0;
    ScanText("-12.5E2*3", pos, "%x", {&d}, US());
    EXPECT_EQ(pos, 8);  // left on the "*"
}

// A number stored into a variable that cannot hold it fails the directive and leaves the
// variable alone (a real beyond 64 bits into an integer, beyond the single range into a float),
// instead of converting it with undefined results.
TEST(ScanText, NumbersTheirVariableCannotHold) {
    struct Case {
        const char* source;
        const char* format;
        bool ok;
    };
    const Case cases[] = {
        {"9.2E18", "%x", true},                            // fits 64 bits
        {"-9.2E18", "%x", true}, {"5.6E21", "%x", false},  // beyond 64 bits
        {"-1E19", "%x", false},  {"3.4E38", "%r", true},   // fits the single range
        {"3.5E38", "%r", false},                           // beyond it
        {"-1E300", "%r", false},
    };
    for (const Case& c : cases) {
        std::int32_t i = -99;
        float f = -99;
        const bool integer = std::strcmp(c.format, "%x") == 0;
        const bool ok = integer ? ScanTextFromStart(c.source, c.format, {&i}, US())
                                : ScanTextFromStart(c.source, c.format, {&f}, US());
        EXPECT_EQ(ok, c.ok) << c.format << " on '" << c.source << "'";
        if (!c.ok) {
            EXPECT_EQ(integer ? static_cast<double>(i) : static_cast<double>(f), -99.0) << c.source;
        }
    }
    double d = 0;
    EXPECT_FALSE(ScanTextFromStart("1E39", "%r", {&d}, US()));
    EXPECT_EQ(d, 0.0);
    EXPECT_TRUE(ScanTextFromStart("1E39", "%x", {&d}, US()));
    EXPECT_EQ(d, 1E39);
}

TEST(ScanText, TablePointLine) {
    double x = -1, y = -1;
    EXPECT_TRUE(ScanTextFromStart("1.5,2.5", "%X%X", {&x, &y}, US()));
    EXPECT_EQ(x, 1.5);
    EXPECT_EQ(y, 2.5);
    EXPECT_FALSE(ScanTextFromStart("1.5, 2.5", "%X%X", {&x, &y}, US()));
    EXPECT_EQ(x, 1.5);
    EXPECT_EQ(y, 0.0);
}

TEST(ScanText, Booleans) {
    struct Case {
        const char* source;
        bool ok;
        std::uint8_t value;
        int endPos;
    };
    for (const Case& c :
         {Case{"yes", true, 1, 4}, Case{"Yellow", true, 1, 2}, Case{"OFF", true, 0, 4},
          Case{"maybe", false, 0, 1}, Case{"0", true, 0, 2}, Case{"Nothing", true, 0, 3}}) {
        std::uint8_t b = 7;
        int pos = 1;
        EXPECT_EQ(ScanText(c.source, pos, "%b", {&b}, US()), c.ok) << c.source;
        EXPECT_EQ(b, c.value) << c.source;
        EXPECT_EQ(pos, c.endPos) << c.source;
    }
}

TEST(ScanText, DatesAndTimes) {
    std::int32_t tag = 0, secs = 0;
    std::uint16_t day = 0;
    EXPECT_TRUE(ScanTextFromStart("12/08/2026 20:41:05", "%J", {&tag}, US()));
    EXPECT_EQ(tag, MakeTimeTag(2026, 12, 8, 20, 41, 5));
    EXPECT_FALSE(ScanTextFromStart("12-08-2026 20:41:05", "%J", {&tag}, US()));
    // The last time tag scans; a time after it does not, and leaves the variable alone.
    EXPECT_TRUE(ScanTextFromStart("01/18/2053 03:14:07", "%J", {&tag}, US()));
    EXPECT_EQ(tag, 2147483647);
    for (const char* late : {"01/18/2053 03:14:08", "99/99/9999 99:99:99", "1/1/2170 0:0:0"}) {
        EXPECT_FALSE(ScanTextFromStart(late, "%J", {&tag}, US())) << late;
        EXPECT_EQ(tag, 2147483647) << late;
    }
    EXPECT_TRUE(ScanTextFromStart("1/1/1985", "%d", {&day}, US()));
    EXPECT_EQ(day, 1);
    EXPECT_TRUE(ScanTextFromStart("01:02:05", "%t", {&secs}, US()));
    EXPECT_EQ(secs, 3725);
    EXPECT_TRUE(ScanTextFromStart("-00:30:00", "%t", {&secs}, US()));
    EXPECT_EQ(secs, -1800);

    TFormatSettings fs;
    fs.DateSeparator = '.';
    TTimeFormats dotted(fs);
    EXPECT_TRUE(ScanTextFromStart("12.08.2026 20:41:05", "%J", {&tag}, dotted));
    EXPECT_EQ(tag, 1323463265);
}

TEST(ScanText, LiteralsRequiredFlagAndSkips) {
    // A literal that differs fails the scan, but the next directives read one further on.
    std::int32_t a = 0, b = 0;
    EXPECT_FALSE(ScanTextFromStart("1x2", "%i;%i", {&a, &b}, US()));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    // Optional parts may fail without failing the scan.
    EXPECT_TRUE(ScanTextFromStart("abc", "%[%I%]", {&a}, US()));
    // Upper-case letters skip to after the next comma; lower-case ones stay.
    std::string s1, s2;
    int pos = 1;
    EXPECT_TRUE(ScanText("12junk,NEXT", pos, "%I%p", {&a, &s1}, US()));
    EXPECT_EQ(a, 12);
    EXPECT_EQ(s1, "NEXT");
    // ? skips to its terminator; _ skips unprintable characters; N wants CR LF.
    EXPECT_TRUE(ScanTextFromStart("skip;  \tW", "%?;%_%p", {&s2}, US()));
    EXPECT_EQ(s2, "W");
    EXPECT_FALSE(ScanTextFromStart("none", "%?;", {}, US()));
    EXPECT_TRUE(ScanTextFromStart("\r\nX", "%n%p", {&s1}, US()));
    EXPECT_EQ(s1, "X");
    EXPECT_FALSE(ScanTextFromStart("X", "%y", {}, US()));  // a letter without a directive
}

TEST(ScanText, QuotedAndVerbatimFields) {
    std::string v, rest;
    EXPECT_TRUE(ScanTextFromStart("\"A,B\",C", "%\",%p", {&v, &rest}, US()));
    EXPECT_EQ(v, "A,B");
    EXPECT_EQ(rest, "C");
    EXPECT_TRUE(ScanTextFromStart("plain,C", "%\",%p", {&v, &rest}, US()));
    EXPECT_EQ(v, "plain");
    EXPECT_EQ(rest, "C");
    EXPECT_TRUE(ScanTextFromStart("x'a,b'y,z", "%V'", {&v}, US()));
    EXPECT_EQ(v, "x'a,b'y");
    // A width limits a run of characters.
    EXPECT_TRUE(ScanTextFromStart("ABCDEF", "%3p", {&v}, US()));
    EXPECT_EQ(v, "ABC");
}

// %v at the end of its format has the zero character as its quote, and a text may hold zero
// bytes: an open "quote" runs to the end of the text and no further.
TEST(ScanText, ValueWithoutTerminatorStopsAtTheEndOfTheText) {
    for (const std::string src :
         {std::string("0-\0\0\0\x0e", 6), std::string("\0", 1), std::string("AB\0C", 4)}) {
        std::string v;
        int pos = 1;
        EXPECT_TRUE(ScanText(src, pos, "%v", {&v}, US()));
        EXPECT_EQ(v, src);
        EXPECT_EQ(pos, static_cast<int>(src.size()) + 1);
    }
}

TEST(ScanText, RealVariants) {
    float f = 0, e = 0;
    std::int32_t m = 0;
    EXPECT_TRUE(ScanTextFromStart("1.25,1.234", "%R%M", {&f, &m}, US()));
    EXPECT_FLOAT_EQ(f, 1.25f);
    EXPECT_EQ(m, 1234);
    EXPECT_TRUE(ScanTextFromStart("  2.5 ", "%E", {&e}, US()));
    EXPECT_FLOAT_EQ(e, 2.5f);
    EXPECT_FALSE(ScanTextFromStart("abc", "%E", {&e}, US()));
    std::uint32_t bits;
    std::memcpy(&bits, &e, sizeof bits);
    EXPECT_EQ(bits, 0xFFFFFFFFu);
}

TEST(ScanText, DatePhrase) {
    std::int32_t tag = 0;
    EXPECT_TRUE(ScanTextFromStart("12/08/2026 20:41:05", "%Q", {&tag}, US()));
    EXPECT_EQ(tag, 1323463265);
    tag = 0;
    EXPECT_TRUE(ScanTextFromStart("NOW", "%q", {&tag}, US()));
    EXPECT_GT(tag, MakeTimeTag(2020, 1, 1, 0, 0, 0));
}

}  // namespace
}  // namespace ov
