// Tests of the conversions between 8-bit text and UTF-8.
#include <gtest/gtest.h>

#include "util/Latin1.h"

namespace ov {
namespace {

TEST(Latin1, EveryByteRoundTrips) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    std::string utf8 = Latin1ToUtf8(all);
    EXPECT_EQ(utf8.size(), 128u + 2u * 128u);
    std::string back;
    ASSERT_TRUE(Utf8ToLatin1(utf8, back));
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
        EXPECT_FALSE(Utf8ToLatin1(s, out)) << s;
        EXPECT_EQ(out, "kept");
    }
    std::string out;
    ASSERT_TRUE(Utf8ToLatin1(std::string("a\0b", 3), out));
    EXPECT_EQ(out, std::string("a\0b", 3));
}

}  // namespace
}  // namespace ov
