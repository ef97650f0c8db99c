// The engine's 8-bit text and QString: byte n is U+00nn both ways; a character above U+00FF
// reads as one "?", or is refused with its name where a client would read back something else.
#include <gtest/gtest.h>

#include <string>

#include "bus/BusText.h"

namespace ov {
namespace {

TEST(BusText, EveryByteRoundTripsAsItsCodePoint) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    const QString text = BusText(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(text.at(0xB0), QChar(0x00B0));
    EXPECT_EQ(EngineText(text), all);
    std::string exact;
    QString refused;
    ASSERT_TRUE(ExactEngineText(text, exact, refused));
    EXPECT_EQ(exact, all);
}

TEST(BusText, CharactersBeyondLatin1) {
    struct TCase {
        QString Text;
        std::string Engine;  // as EngineText reads it
        QString Refused;     // as ExactEngineText names it
    };
    const TCase cases[] = {
        {QStringLiteral("A\u20ACB\U0001F600C"), "A?B?C", QStringLiteral("\"\u20AC\" (U+20AC)")},
        {QStringLiteral("\U0001F600"), "?", QStringLiteral("\"\U0001F600\" (U+1F600)")},
        {QStringLiteral("x\u0101"), "x?", QStringLiteral("\"\u0101\" (U+0101)")},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(EngineText(c.Text), c.Engine) << c.Engine;
        std::string exact = "unchanged";
        QString refused;
        EXPECT_FALSE(ExactEngineText(c.Text, exact, refused));
        EXPECT_EQ(refused, c.Refused);
        EXPECT_EQ(exact, "unchanged");
    }
}

}  // namespace
}  // namespace ov
