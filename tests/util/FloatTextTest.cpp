// General floating-point text and strict number reading.
#include <gtest/gtest.h>

#include "util/FloatText.h"
#include "util/FormatSettings.h"

namespace ov {
namespace {

TEST(FloatToText, GeneralFormTable) {
    struct Case {
        double value;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"},
        {-0.0, "0"},
        {5, "5"},
        {12.5, "12.5"},
        {-3.25, "-3.25"},
        {1.0 / 1440, "0.000694444444444444"},
        {0.1 + 0.2, "0.3"},
        {1e20, "1E20"},
        {1.5e-6, "1.5E-6"},
        {-2.5e-7, "-2.5E-7"},
        {0.00001, "0.00001"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E15"},
        {999999999999999.9, "1E15"},
        {2.0 / 3, "0.666666666666667"},
    };
    for (const Case& c : cases) EXPECT_EQ(FloatToText(c.value, '.'), c.text) << c.text;
    EXPECT_EQ(FloatToText(12.5, ','), "12,5");
    EXPECT_EQ(FloatToText(1.5e-6, ','), "1,5E-6");
}

TEST(TryTextToFloat, AcceptsWholeNumbersOnly) {
    struct Case {
        const char* text;
        char sep;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"12.5", '.', true, 12.5}, {" -3 ", '.', true, -3},   {"+4", '.', true, 4},
        {"1E3", '.', true, 1000},  {"12,5", ',', true, 12.5}, {"12,5", '.', false, 0},
        {"12.5", ',', false, 0},   {"", '.', false, 0},       {"abc", '.', false, 0},
        {"1.5x", '.', false, 0},   {"inf", '.', false, 0},    {"nan", '.', false, 0},
    };
    for (const Case& c : cases) {
        double v = -1;
        EXPECT_EQ(TryTextToFloat(c.text, v, c.sep), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

TEST(FormatSettings, LocaleRecords) {
    const TFormatSettings c = ReadLocaleFormatSettings("C");
    EXPECT_EQ(c.DecimalSeparator, '.');
    EXPECT_EQ(c.DateSeparator, '/');
    EXPECT_EQ(c.TimeSeparator, ':');
    const TFormatSettings& us = USFormatSettings();
    EXPECT_EQ(us.DecimalSeparator, '.');
    EXPECT_EQ(us.DateSeparator, '/');
    // A locale that is not installed falls back to the C values.
    EXPECT_EQ(ReadLocaleFormatSettings("xx_NOWHERE.UTF-8").DecimalSeparator, '.');
}

}  // namespace
}  // namespace ov
