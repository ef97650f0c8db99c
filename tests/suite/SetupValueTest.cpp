// Tests of the conversions of settings elements to text, boolean and integer fields.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "suite/SetupValue.h"

namespace ov {
namespace {

using std::int16_t;
using std::int32_t;
using std::int64_t;
using std::uint16_t;
using std::uint32_t;
using std::uint64_t;
using std::uint8_t;

TEST(SetupValueText, EveryTypeHasItsText) {
    struct Case {
        TSetupValue value;
        const char* text;
    };
    const Case cases[] = {
        {std::monostate{}, ""},
        {std::string("C:\\OV\\TABLES\\"), "C:\\OV\\TABLES\\"},
        {std::string(""), ""},
        {true, "True"},
        {false, "False"},
        {uint8_t{255}, "255"},
        {int16_t{-32768}, "-32768"},
        {uint16_t{60000}, "60000"},
        {int32_t{-998877}, "-998877"},
        {uint32_t{4294967295u}, "4294967295"},
        {int64_t{-9223372036854775807 - 1}, "-9223372036854775808"},
        {uint64_t{18446744073709551615u}, "18446744073709551615"},
        {2.5, "2.5"},
        {0.1, "0.1"},
        {-1e300, "-1e+300"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SetupValueToText(c.value), c.text) << "alternative " << c.value.index();
    }
}

TEST(SetupValueBool, NumbersAndTextsConvertOthersFail) {
    struct Case {
        TSetupValue value;
        bool ok;
        bool result;
    };
    const Case cases[] = {
        {true, true, true},
        {false, true, false},
        {uint8_t{0}, true, false},
        {uint8_t{2}, true, true},
        {int16_t{-1}, true, true},
        {uint16_t{0}, true, false},
        {int32_t{7}, true, true},
        {uint64_t{1} << 63, true, true},
        {0.0, true, false},
        {0.25, true, true},
        {std::string("True"), true, true},
        {std::string("FALSE"), true, false},
        {std::string("tRuE"), true, true},
        {std::string(" false "), true, false},
        {std::string("0"), true, false},
        {std::string("1"), true, true},
        {std::string("-1"), true, true},
        {std::string("+0.0"), true, false},
        {std::string("0.5"), true, true},
        {std::string("1e999"), true, true},
        {std::string("1e-999"), true, true},
        {std::string("0e999"), true, false},
        // failures
        {std::monostate{}, false, false},
        {std::numeric_limits<double>::quiet_NaN(), false, false},
        {std::string(""), false, false},
        {std::string("yes"), false, false},
        {std::string("Truex"), false, false},
        {std::string("1,5"), false, false},
        {std::string("nan"), false, false},
        {std::string("inf"), false, false},
        {std::string("-"), false, false},
        {std::string("0x1"), false, false},
    };
    for (const auto& c : cases) {
        bool result = !c.result;  // a failure must leave this alone
        const bool before = result;
        EXPECT_EQ(SetupValueToBool(c.value, result), c.ok) << SetupValueToText(c.value);
        EXPECT_EQ(result, c.ok ? c.result : before) << SetupValueToText(c.value);
    }
}

TEST(SetupValueInteger, ConvertsAndChecksTheFieldWidth) {
    // A boolean is -1 or 0; a number text is decimal; a floating number rounds half to even.
    struct Case {
        TSetupValue value;
        bool ok;
        int64_t result;
    };
    const Case cases[] = {
        {true, true, -1},
        {false, true, 0},
        {uint8_t{200}, true, 200},
        {int16_t{-5}, true, -5},
        {uint64_t{9223372036854775807u}, true, 9223372036854775807},
        {std::string("998877"), true, 998877},
        {std::string(" -42 "), true, -42},
        {std::string("+17"), true, 17},
        {std::string("007"), true, 7},
        {2.5, true, 2},
        {3.5, true, 4},
        {-2.5, true, -2},
        {-0.4, true, 0},
        // failures
        {std::monostate{}, false, 0},
        {uint64_t{9223372036854775808u}, false, 0},
        {9.3e18, false, 0},
        {std::numeric_limits<double>::infinity(), false, 0},
        {std::numeric_limits<double>::quiet_NaN(), false, 0},
        {std::string(""), false, 0},
        {std::string("12.5"), false, 0},
        {std::string("1e3"), false, 0},
        {std::string("True"), false, 0},
        {std::string("0x10"), false, 0},
        {std::string("+-3"), false, 0},
        {std::string("4 2"), false, 0},
        {std::string("99999999999999999999"), false, 0},
    };
    for (const auto& c : cases) {
        int64_t result = 12345;
        EXPECT_EQ(SetupValueToInt64(c.value, result), c.ok) << SetupValueToText(c.value);
        EXPECT_EQ(result, c.ok ? c.result : 12345) << SetupValueToText(c.value);
    }
}

TEST(SetupValueInteger, OutOfTheFieldsRangeFailsInsteadOfWrapping) {
    uint16_t word = 1;
    EXPECT_TRUE(SetupValueToInteger(TSetupValue(int32_t{65535}), word));
    EXPECT_EQ(word, 65535);
    EXPECT_FALSE(SetupValueToInteger(TSetupValue(int32_t{65536}), word));
    EXPECT_FALSE(SetupValueToInteger(TSetupValue(int32_t{-1}), word));
    EXPECT_FALSE(SetupValueToInteger(TSetupValue(true), word));  // True is -1
    EXPECT_TRUE(SetupValueToInteger(TSetupValue(false), word));
    EXPECT_EQ(word, 0);

    uint8_t byte = 9;
    EXPECT_TRUE(SetupValueToInteger(TSetupValue(std::string("10")), byte));
    EXPECT_EQ(byte, 10);
    EXPECT_FALSE(SetupValueToInteger(TSetupValue(std::string("256")), byte));
    EXPECT_EQ(byte, 10);

    int32_t dword = 0;
    EXPECT_TRUE(SetupValueToInteger(TSetupValue(true), dword));
    EXPECT_EQ(dword, -1);
    EXPECT_TRUE(SetupValueToInteger(TSetupValue(std::string("-2147483648")), dword));
    EXPECT_EQ(dword, -2147483647 - 1);
    EXPECT_FALSE(SetupValueToInteger(TSetupValue(uint32_t{2147483648u}), dword));
    EXPECT_FALSE(SetupValueToInteger(TSetupValue(std::string("2147483648")), dword));
    EXPECT_EQ(dword, -2147483647 - 1);
}

}  // namespace
}  // namespace ov
