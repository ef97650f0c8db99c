// Tests of the group indexes: case-insensitive keys, filing order, one item per key, and
// look-ups of keys no group uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "model/CalcIndexes.h"

namespace ov {
namespace {

std::vector<std::string> Stations(const TCalSingleStation& index) {
    std::vector<std::string> v;
    for (std::int32_t i = 0; i < index.Count(); ++i) v.push_back(index.Items(i)->StationID);
    return v;
}

TEST(CalcIndexesTest, StationNamesDifferingInCaseShareOneItem) {
    TCalcGroupItem g1, g2;
    TCalSingleStation index;
    index.AddGroup("river1", &g1);
    index.AddGroup("RIVER1", &g2);
    ASSERT_EQ(index.Count(), 1);
    EXPECT_EQ(index.Items(0)->StationID, "river1");  // the first spelling names the item
    const TGroupRefs* groups = nullptr;
    ASSERT_TRUE(index.Find("River1", groups));
    EXPECT_EQ(*groups, (TGroupRefs{&g1, &g2}));
}

TEST(CalcIndexesTest, StationNoGroupUsesIsNotFound) {
    TCalSingleStation index;
    const TGroupRefs* groups = reinterpret_cast<const TGroupRefs*>(&index);
    EXPECT_FALSE(index.Find("RIVER1", groups));
    EXPECT_EQ(groups, nullptr);

    TCalcGroupItem g;
    index.AddGroup("RIVER1", &g);
    for (const char* absent : {"", "RIVER", "RIVER10", "RIVER2", "\xC3\x84RIVER1"}) {
        EXPECT_FALSE(index.Find(absent, groups)) << absent;
        EXPECT_EQ(groups, nullptr);
    }
}

TEST(CalcIndexesTest, AGroupFiledTwiceIsListedTwiceInFilingOrder) {
    TCalcGroupItem a, b;
    TCalSingleStation index;
    index.AddGroup("LAKE", &a);
    index.AddGroup("LAKE", &b);
    index.AddGroup("lake", &a);
    const TGroupRefs* groups = nullptr;
    ASSERT_TRUE(index.Find("LAKE", groups));
    EXPECT_EQ(*groups, (TGroupRefs{&a, &b, &a}));
}

TEST(CalcIndexesTest, ItemsFollowCaseInsensitiveOrderWithLettersFoldedUp) {
    TCalcGroupItem g;
    TCalSingleStation index;
    // '_' (0x5F) sorts after every letter once letters fold to upper case; bytes above 127
    // keep their value and sort last.
    for (const char* s : {"_x", "B", "c", "a", "\xC3\xA4", "A1"}) index.AddGroup(s, &g);
    EXPECT_EQ(Stations(index), (std::vector<std::string>{"a", "A1", "B", "c", "_x", "\xC3\xA4"}));
    // Non-ASCII letters are not folded: a-umlaut and A-umlaut are two stations.
    index.AddGroup("\xC3\x84", &g);
    EXPECT_EQ(index.Count(), 7);
}

TEST(CalcIndexesTest, EveryFiledStationIsFoundWhateverTheFilingOrder) {
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) names.push_back("ST" + std::to_string(i * 7 % 1000));
    std::shuffle(names.begin(), names.end(), std::mt19937(3));
    std::vector<TCalcGroupItem> groups(names.size());
    TCalSingleStation index;
    for (std::size_t i = 0; i < names.size(); ++i) index.AddGroup(names[i], &groups[i]);
    ASSERT_EQ(index.Count(), 300);
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string lower = names[i];
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
        const TGroupRefs* found = nullptr;
        ASSERT_TRUE(index.Find(lower, found)) << lower;
        EXPECT_EQ(*found, TGroupRefs{&groups[i]});
    }
}

TEST(CalcIndexesTest, MultipleStationKeysArePairsComparedWithoutCase) {
    TCalcGroupItem g1, g2, g3, g4;
    TCalMultipleStation index;
    index.AddGroup("RIVER1", "HG", &g1);
    index.AddGroup("river1", "hg", &g2);
    index.AddGroup("RIVER1", "TA", &g3);
    index.AddGroup("AB", "C", &g4);
    ASSERT_EQ(index.Count(), 3);

    const TGroupRefs* groups = nullptr;
    ASSERT_TRUE(index.Find("River1", "Hg", groups));
    EXPECT_EQ(*groups, (TGroupRefs{&g1, &g2}));
    ASSERT_TRUE(index.Find("RIVER1", "ta", groups));
    EXPECT_EQ(*groups, TGroupRefs{&g3});

    // The pair is a key of two parts, not their concatenation.
    EXPECT_FALSE(index.Find("A", "BC", groups));
    EXPECT_EQ(groups, nullptr);
    EXPECT_FALSE(index.Find("RIVER1", "", groups));
    EXPECT_FALSE(index.Find("LAKE", "HG", groups));

    // Ordered by station, then sensor.
    EXPECT_EQ(index.Items(0)->StationID, "AB");
    EXPECT_EQ(index.Items(1)->SensorName, "HG");
    EXPECT_EQ(index.Items(2)->SensorName, "TA");
}

TEST(CalcIndexesTest, EmptySensorIsAKeyOfItsOwn) {
    TCalcGroupItem g1, g2;
    TCalMultipleStation index;
    index.AddGroup("RIVER1", "", &g1);
    index.AddGroup("RIVER1", "HG", &g2);
    const TGroupRefs* groups = nullptr;
    ASSERT_TRUE(index.Find("RIVER1", "", groups));
    EXPECT_EQ(*groups, TGroupRefs{&g1});
    EXPECT_EQ(index.Items(0)->SensorName, "");
}

TEST(CalcIndexesTest, ClearEmptiesTheIndexButNotTheGroups) {
    TCalcGroups owner;
    owner.Add(std::make_unique<TCalcGroupItem>());
    TCalSingleStation single;
    TCalMultipleStation multi;
    single.AddGroup("A", owner.Items(0));
    multi.AddGroup("A", "B", owner.Items(0));
    single.Clear();
    multi.Clear();
    EXPECT_EQ(single.Count(), 0);
    EXPECT_EQ(multi.Count(), 0);
    const TGroupRefs* groups = nullptr;
    EXPECT_FALSE(single.Find("A", groups));
    EXPECT_EQ(owner.Count(), 1);
    owner.Items(0)->FuncName = "still here";
    single.AddGroup("A", owner.Items(0));
    EXPECT_TRUE(single.Find("a", groups));
}

}  // namespace
}  // namespace ov
