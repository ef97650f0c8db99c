// Tests of the conversions between 8-bit text and UTF-8 under each policy.
#include <gtest/gtest.h>

#include "util/TextCodec.h"

namespace ov {
namespace {

TEST(Latin1, EveryByteRoundTrips) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    std::string utf8 = Latin1ToUtf8(all);
    EXPECT_EQ(utf8.size(), 128u + 2u * 128u);
    std::string back;
    ASSERT_TRUE(Utf8ToLatin1(utf8, back, TUtf8Policy::upStrict));
    EXPECT_EQ(back, all);

    EXPECT_EQ(Latin1ToUtf8("RIVER1.HG"), "RIVER1.HG");
    EXPECT_EQ(Latin1ToUtf8("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(Latin1ToUtf8("\x80\xFF"), "\xC2\x80\xC3\xBF");
    EXPECT_EQ(Latin1ToUtf8(""), "");
}

TEST(Latin1, TextThatEightBitsCannotHoldIsRefused) {
    const char* bad[] = {
        "\xE2\x82\xAC",      // U+20AC, above U+00FF
        "a\xC4\x80",         // U+0100
        "\xC3",              // cut short
        "\xC3(",             // lead without its continuation
        "\x80",              // lone continuation
        "\xC0\x80",          // over-long U+0000
        "\xC1\xBF",          // over-long U+007F
        "\xF0\x9F\x98\x80",  // four bytes
        "\xFF",
    };
    for (const char* s : bad) {
        std::string out = "kept";
        EXPECT_FALSE(Utf8ToLatin1(s, out, TUtf8Policy::upStrict)) << s;
        EXPECT_EQ(out, "kept");
    }
    std::string out;
    ASSERT_TRUE(Utf8ToLatin1(std::string("a\0b", 3), out, TUtf8Policy::upStrict));
    EXPECT_EQ(out, std::string("a\0b", 3));
}

TEST(Latin1, ReplacingReadsWhatEightBitsCannotHoldAsQuestionMarks) {
    const struct {
        const char* utf8;
        const char* latin1;
    } cases[] = {
        {"RIVER1.HG", "RIVER1.HG"},
        {"\xC3\xA9t\xC3\xA9", "\xE9t\xE9"},
        {"a\xE2\x82\xAC"
         "b",
         "a?b"},                    // a character above U+00FF: one "?"
        {"\xF0\x9F\x98\x80", "?"},  // four bytes, one character
        {"\xC0\x80", "?"},          // over-long, complete in its form
        {"\xE2\x82", "??"},         // cut short: one "?" per byte
        {"\xC3(", "?("},            // lead without its continuation
        {"\x80\xFF", "??"},         // bytes that lead nothing
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_TRUE(Utf8ToLatin1(c.utf8, out, TUtf8Policy::upReplace)) << c.utf8;
        EXPECT_EQ(out, c.latin1) << c.utf8;
    }
}

TEST(Latin1, BusTextIsWellFormedUtf8WithoutSurrogatesOrNoncharacters) {
    for (const char* good :
         {"", "RIVER1.HG", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBD"}) {
        EXPECT_TRUE(IsBusUtf8(good)) << good;
    }
    const char* bad[] = {
        "\xC0\x80",          // over-long U+0000
        "\xE0\x80\x80",      // over-long, three bytes
        "\xF0\x80\x80\x80",  // over-long, four bytes
        "\xED\xA0\x80",      // a surrogate
        "\xEF\xB7\x90",      // U+FDD0, a noncharacter
        "a\xEF\xBF\xBE",     // U+FFFE
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xC3",              // cut short
        "\xE9t\xE9",         // 8-bit text
    };
    for (const char* s : bad) EXPECT_FALSE(IsBusUtf8(s)) << s;
}

// Where text stops being UTF-8: noncharacters are characters, a broken or over-long form,
// a surrogate or a code above U+10FFFF is not.
TEST(Latin1, InvalidUtf8IsFoundAtItsFirstByte) {
    const struct {
        const char* Text;
        std::size_t At;
    } cases[] = {
        {"", std::string_view::npos},
        {"Key=caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", std::string_view::npos},
        {"\xEF\xB7\x90\xEF\xBF\xBE", std::string_view::npos},  // noncharacters
        {"Dir=/data/\xFF\xFE", 10},
        {"caf\xE9", 3},           // 8-bit text
        {"a\xC3(b", 1},           // cut short by a byte that continues nothing
        {"ab\xC3", 2},            // cut short by the end
        {"\x80", 0},              // a stray continuation byte
        {"x\xC0\x80", 1},         // over-long
        {"xy\xED\xA0\x80", 2},    // a surrogate
        {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
    };
    for (const auto& c : cases) EXPECT_EQ(InvalidUtf8At(c.Text), c.At) << c.Text;
}

}  // namespace
}  // namespace ov
