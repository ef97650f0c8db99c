// Tests of the calculation group: the binding-list helpers, the trigger sensor, and the owning
// group list and its copies.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/CalcGroups.h"
#include "support/CalcGroupPrinter.h"

namespace ov {
namespace {

TCalcGroupItem SampleGroup() {
    TCalcGroupItem g;
    g.FuncName = "A + B * 2";
    g.Enabled = false;
    g.MultiStations = true;
    g.Filter = "north.flt";
    g.OutputStation = "RIVER1";
    g.OutputSensor = "Q";
    g.Variables = {"A=HG", "B=TA"};
    g.SimilarStations = {"RIVER2", "RIVER3"};
    g.MultiVariables = {"A=RIVER1.HG", "B=LAKE.TA"};
    g.MultiVariablesTrigger = 1;
    g.GroupName = "CalcGroup:7";
    g.CGIndex = 7;
    return g;
}

TEST(CalcGroupsTest, EntriesSplitAtTheFirstEqualsSign) {
    const struct {
        const char* entry;
        const char* name;
        const char* value;
    } cases[] = {
        {"A=LEVEL", "A", "LEVEL"},     {"B=", "B", ""},   {"=HG", "", "HG"},
        {"V=ST.SN=1", "V", "ST.SN=1"}, {"NOSEP", "", ""}, {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NameOfEntry(c.entry), c.name) << c.entry;
        EXPECT_EQ(ValueOfEntry(c.entry), c.value) << c.entry;
    }
    EXPECT_EQ(MakeEntry("A", "RIVER1.HG"), "A=RIVER1.HG");
    EXPECT_EQ(MakeEntry("B", ""), "B=");
}

TEST(CalcGroupsTest, IndexOfNameIgnoresAsciiCaseOnly) {
    const std::vector<std::string> list = {"level=HG", "Rain=PC", "LEVEL=TA",
                                           "\xC3\xA4=X"};  // UTF-8 a-umlaut
    EXPECT_EQ(IndexOfName(list, "LEVEL"), 0);
    EXPECT_EQ(IndexOfName(list, "rain"), 1);
    EXPECT_EQ(IndexOfName(list, "RAI"), -1);
    EXPECT_EQ(IndexOfName(list, "HG"), -1);
    EXPECT_EQ(IndexOfName(list, "\xC3\xA4"), 3);
    EXPECT_EQ(IndexOfName(list, "\xC3\x84"), -1);  // A-umlaut is not folded
    EXPECT_EQ(IndexOfName({}, "A"), -1);
}

TEST(CalcGroupsTest, TriggerSensorIsTheGreatestBoundSensorByteByByte) {
    const struct {
        std::vector<std::string> variables;
        const char* trigger;
    } cases[] = {
        {{"A=HG", "B=TA", "C=PC"}, "TA"},    {{"A=", "B="}, ""}, {{}, ""}, {{"A=", "B=HG"}, "HG"},
        {{"A=rain", "B=RAIN"}, "rain"},       // lower case sorts after upper case
        {{"A=Z", "B=\xC3\x89"}, "\xC3\x89"},  // bytes above 127 sort last
        {{"A=HG", "B=HG2"}, "HG2"},
    };
    for (const auto& c : cases) {
        TCalcGroupItem g;
        g.Variables = c.variables;
        EXPECT_EQ(g.TriggerSensor(), c.trigger);
    }
}

TEST(CalcGroupsTest, GroupListOwnsItsGroupsInOrder) {
    TCalcGroups groups;
    EXPECT_EQ(groups.Capacity(), 20);
    EXPECT_FALSE(groups.Sorted());
    for (int i = 1; i <= 3; ++i) {
        auto g = std::make_unique<TCalcGroupItem>();
        g->CGIndex = i;
        EXPECT_EQ(groups.Add(std::move(g)), i - 1);
    }
    // Groups with equal fields are still separate entries.
    groups.Add(std::make_unique<TCalcGroupItem>(*groups.Items(0)));
    ASSERT_EQ(groups.Count(), 4);
    EXPECT_EQ(groups.Items(3)->CGIndex, 1);

    groups.DeleteAt(1);
    ASSERT_EQ(groups.Count(), 3);
    EXPECT_EQ(groups.Items(1)->CGIndex, 3);
    EXPECT_THROW(groups.DeleteAt(3), EArrayError);
    EXPECT_THROW(groups.Items(-1), EArrayError);
    EXPECT_EQ(groups.IndexOf(groups.Items(2)), 2);

    groups.Clear();
    EXPECT_EQ(groups.Count(), 0);
}

TEST(CalcGroupsTest, CopyingAGroupListGivesIndependentGroups) {
    TCalcGroups source;
    source.Add(std::make_unique<TCalcGroupItem>(SampleGroup()));
    TCalcGroups copy;
    for (std::int32_t i = 0; i < source.Count(); ++i) {
        auto g = std::make_unique<TCalcGroupItem>();
        g->Assign(*source.Items(i));
        copy.Add(std::move(g));
    }
    EXPECT_EQ(*copy.Items(0), SampleGroup());
    source.Items(0)->Variables.push_back("C=PC");
    source.Items(0)->FuncName = "C";
    EXPECT_EQ(*copy.Items(0), SampleGroup());
}

}  // namespace
}  // namespace ov
