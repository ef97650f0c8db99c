// Tests of the password cipher and the login field: a known vector, the round trip over
// every byte value, and the reading of the login field.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "suite/Encrypt.h"
#include "util/TextCodec.h"

namespace ov {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

TEST(Encrypt, KnownVectors) {
    TEncrypt e;
    EXPECT_EQ(e.key, 41953u);
    EXPECT_EQ(e.const1, 39871u);
    EXPECT_EQ(e.const2, 25309u);
    // The running key follows the enciphered (input) byte while deciphering.
    EXPECT_EQ(e.Decode(Bytes({0, 0, 0, 0})), Bytes({163, 226, 97, 213}));
    EXPECT_EQ(e.Encode("secret:"), Bytes({208, 8, 68, 233, 137, 90, 59}));
    EXPECT_EQ(e.Decode(Bytes({208, 8, 68, 233, 137, 90, 59})), "secret:");
    EXPECT_EQ(e.Decode(""), "");
}

TEST(Encrypt, RoundTripOverEveryByteValue) {
    TEncrypt e;
    // Every value at every position of a 256-byte block, in two orders so each byte value
    // also meets many different running keys.
    std::string up, down;
    for (int i = 0; i < 256; ++i) {
        up += static_cast<char>(i);
        down += static_cast<char>(255 - i);
    }
    for (const std::string& plain : {up, down, up + down + up}) {
        std::string cipher = e.Encode(plain);
        EXPECT_EQ(e.Decode(cipher), plain);
        EXPECT_EQ(e.Encode(e.Decode(plain)), plain);
    }
    // Each single byte after a fixed prefix.
    for (int b = 0; b < 256; ++b) {
        std::string plain = "pw" + std::string(1, static_cast<char>(b));
        EXPECT_EQ(e.Decode(e.Encode(plain)), plain) << b;
    }
}

TEST(Encrypt, InPlaceBuffersAndOtherKeys) {
    TEncrypt e;
    e.key = 0xFFFFFFFFu;  // wraps at the first step
    e.const1 = 0x9E3779B9u;
    std::array<std::uint8_t, 64> buf{};
    for (std::size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<std::uint8_t>(i * 37);
    const auto original = buf;
    e.Encode(buf.data(), buf.data(), buf.size());
    EXPECT_NE(buf, original);
    e.Decode(buf.data(), buf.data(), buf.size());
    EXPECT_EQ(buf, original);
}

TEST(DecodeLogin, PasswordIsTheTextBeforeTheFirstColon) {
    std::string field, rest;
    ASSERT_TRUE(EncodeLogin("secret", "x", field));
    EXPECT_EQ(field.substr(0, 7), Bytes({208, 8, 68, 233, 137, 90, 59}));
    EXPECT_EQ(DecodeLogin(field, rest), "secret");
    EXPECT_EQ(rest, "x");

    EXPECT_EQ(DecodeLogin(""), "");
    EXPECT_EQ(DecodeLogin(TEncrypt().Encode("no colon here")), "");
    EXPECT_EQ(DecodeLogin(TEncrypt().Encode(":")), "");
    EXPECT_EQ(DecodeLogin(TEncrypt().Encode("a:b:c")), "a");

    // Only the first 30 characters count: a colon at position 30 is not seen.
    EXPECT_EQ(DecodeLogin(TEncrypt().Encode(std::string(30, 'p') + ":")), "");
    std::string longest(29, 'p');
    ASSERT_TRUE(EncodeLogin(longest, "ignored", field));
    EXPECT_EQ(DecodeLogin(field, rest), longest);
    EXPECT_EQ(rest, "");

    // The rest is at most 19 characters.
    ASSERT_TRUE(EncodeLogin("pw", "0123456789012345678901234", field));
    EXPECT_EQ(DecodeLogin(field, rest), "pw");
    EXPECT_EQ(rest, "0123456789012345678");

    // Any byte may appear in a password.
    std::string odd = Bytes({0xE9, 0x00, 0x7F, 0xFF});
    ASSERT_TRUE(EncodeLogin(odd, "", field));
    EXPECT_EQ(DecodeLogin(field), odd);
}

TEST(DecodeLogin, EncodeRefusesPasswordsThatCannotBeReadBack) {
    std::string field = "kept";
    EXPECT_FALSE(EncodeLogin("pa:ss", "", field));
    EXPECT_FALSE(EncodeLogin(std::string(30, 'p'), "", field));
    EXPECT_EQ(field, "kept");
    EXPECT_TRUE(EncodeLogin("", "", field));
    EXPECT_EQ(DecodeLogin(field), "");
}

TEST(DecodeLogin, FieldSurvivesTheBusAsLatin1) {
    std::string field;
    ASSERT_TRUE(EncodeLogin("P\xE4ssw\xF6rd", "user", field));
    std::string utf8 = Latin1ToUtf8(field);
    std::string back;
    ASSERT_TRUE(Utf8ToLatin1(utf8, back, TUtf8Policy::upStrict));
    EXPECT_EQ(back, field);
    EXPECT_EQ(DecodeLogin(back), "P\xE4ssw\xF6rd");
}

}  // namespace
}  // namespace ov
