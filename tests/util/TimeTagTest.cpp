// Time tags, day numbers and date-times.
#include <gtest/gtest.h>

#include "util/TimeTag.h"

namespace ov {
namespace {

TEST(TimeTag, MakeAndDayNumber) {
    EXPECT_EQ(MakeTimeTag(1985, 1, 1, 0, 0, 0), 86400);
    EXPECT_EQ(MakeTimeTag(2026, 12, 8, 20, 41, 5), 1323463265);
    EXPECT_EQ(DayNumber(2000, 3, 1) - DayNumber(2000, 2, 28), 2);  // February 29 counts
    EXPECT_EQ(DayNumber(2001, 3, 1) - DayNumber(2001, 2, 28), 1);
    EXPECT_EQ(DayNumber(1900, 3, 1), 0);
    EXPECT_EQ(DayNumber(0, 0, 0), 0);
    EXPECT_EQ(DayNumber(2025, 13, 1), DayNumber(2026, 1, 1));
    EXPECT_EQ(DayNumber(2025, 14, 1), DayNumber(2026, 2, 1));
    EXPECT_EQ(DayNumber(2026, 1, 32), DayNumber(2026, 2, 1));  // rolls into the next month
    EXPECT_EQ(MakeTimeTag(1984, 6, 1, 1, 0, 0), 3600);         // before 1985: seconds of day
}

// Dates and times after the last time tag give none: MakeTimeTag would wrap into another time.
TEST(TimeTag, TryMakeRefusesTimesAfterTheLastTag) {
    struct Case {
        int y, mo, d, h, mi, s;
        bool ok;
        std::int32_t tag;
    };
    for (const Case& c :
         {Case{2053, 1, 18, 3, 14, 7, true, 2147483647},
          Case{2026, 12, 8, 20, 41, 5, true, 1323463265},
          Case{1984, 6, 1, 1, 0, 0, true, 3600},  // before 1985: seconds of day
          Case{2026, 1, 32, 0, 0, 0, true, MakeTimeTag(2026, 2, 1, 0, 0, 0)},
          Case{2053, 1, 17, 27, 14, 7, true, 2147483647},  // hours roll on
          Case{2053, 1, 18, 3, 14, 8, false, 0}, Case{2053, 1, 19, 0, 0, 0, false, 0},
          Case{2053, 1, 18, 0, 0, 11648, false, 0}, Case{9999, 99, 99, 99, 99, 99, false, 0},
          Case{65535, 12, 31, 23, 59, 59, false, 0},
          Case{2170, 5, 1, 0, 0, 0, false, 0}}) {  // its day number wraps to 16 bits
        std::int32_t tag = -7;
        EXPECT_EQ(TryMakeTimeTag(c.y, c.mo, c.d, c.h, c.mi, c.s, tag), c.ok)
            << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":" << c.mi << ":" << c.s;
        EXPECT_EQ(tag, c.ok ? c.tag : -7);
    }
}

TEST(TimeTag, Decode) {
    struct Case {
        std::int32_t tag;
        int y, mo, d, h, mi, s;
    };
    for (const Case& c :
         {Case{1323463265, 2026, 12, 8, 20, 41, 5}, Case{0, 1984, 12, 31, 0, 0, 0},
          Case{86400, 1985, 1, 1, 0, 0, 0}, Case{2147483647, 2053, 1, 18, 3, 14, 7}}) {
        int y, mo, d, h, mi, s;
        DecodeTimeTag(c.tag, y, mo, d, h, mi, s);
        EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s}),
                  std::vector<int>({c.y, c.mo, c.d, c.h, c.mi, c.s}))
            << c.tag;
    }
    int h, m, s;
    SplitSeconds(3725, h, m, s);
    EXPECT_EQ(std::vector<int>({h, m, s}), std::vector<int>({1, 2, 5}));
    SplitSeconds(90000, h, m, s);
    EXPECT_EQ(std::vector<int>({h, m, s}), std::vector<int>({25, 0, 0}));
}

TEST(TimeTag, DateTimeConversions) {
    EXPECT_EQ(EncodeDateTime(1984, 12, 31), TimeTagEpoch);
    EXPECT_EQ(TagFromDateTime(EncodeDateTime(1985, 1, 1) + 1.5 / 86400.0), 86402);
    EXPECT_EQ(TagFromDateTime(EncodeDateTime(1985, 1, 1) + 2.5 / 86400.0), 86402);
    EXPECT_EQ(TagFromDateTime(DateTimeFromTag(1323463265)), 1323463265);
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(DateTimeFromTag(1323463265), y, mo, d, h, mi, s, ms);
    EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s, ms}),
              std::vector<int>({2026, 12, 8, 20, 41, 5, 0}));
}

}  // namespace
}  // namespace ov
