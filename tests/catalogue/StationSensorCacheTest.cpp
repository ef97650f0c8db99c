// Tests of the station catalogue's list: its order before and after sorting in every view,
// the look-up, the views' captions and icons and the level profiles of both trees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/CatalogueViews.h"
#include "catalogue/StationSensorCache.h"

namespace ov {
namespace {

TStationSensorItem Entry(std::string station, std::string sensor, std::string basin = {},
                         std::int32_t primary = 0, std::int32_t random = 0) {
    TStationSensorItem e;
    e.StationID = std::move(station);
    e.SensorName = std::move(sensor);
    e.Basin = std::move(basin);
    e.PrimaryChannel = primary;
    e.RandomChannel = random;
    return e;
}

// "STATION.SENSOR" of every entry in list order, comma-separated.
std::string Order(const TStationSensorCache& c) {
    std::string s;
    for (int i = 0; i < c.Count(); ++i)
        s += (i ? "," : "") + c.Items(i).StationID + "." + c.Items(i).SensorName;
    return s;
}

TEST(StationSensorCache, KeepsTheQueryOrderUntilSortedAndFindsPairsWithoutRegardToCase) {
    TStationSensorCache c;
    c.Append(Entry("RIVER2", "HG"));
    c.Append(Entry("river1", "ta"));
    TStationSensorItem& first = c.Items(0);
    c.Append(Entry("RAIN1", "PC"));
    EXPECT_EQ(Order(c), "RIVER2.HG,river1.ta,RAIN1.PC");

    EXPECT_TRUE(c.Contains("RIVER1", "TA"));
    EXPECT_TRUE(c.Contains("rain1", "pc"));
    EXPECT_FALSE(c.Contains("RIVER1", "HG"));  // station of one entry, sensor of another
    EXPECT_FALSE(c.Contains("RIVER", "HG"));

    c.Sort(smStations);
    EXPECT_EQ(Order(c), "RAIN1.PC,river1.ta,RIVER2.HG");
    EXPECT_EQ(&c.Items(2), &first);  // entries move, they are not copied
    c.Sort(2);                       // no such view: the order stays
    EXPECT_EQ(Order(c), "RAIN1.PC,river1.ta,RIVER2.HG");

    c.Clear();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_FALSE(c.Contains("RAIN1", "PC"));
}

TEST(StationSensorCache, SortsByTheKeysOfEveryView) {
    struct Case {
        TSortMode mode;
        const char* order;
    };
    // Keys that differ only in case, a null (empty) attribute, negative channels.
    const Case cases[] = {
        {smStations, "A1.b,a1.Z,B2.A,b2.c,C3.M"},
        {smSensors, "B2.A,A1.b,b2.c,C3.M,a1.Z"},
        {smBasin, "C3.M,A1.b,a1.Z,B2.A,b2.c"},
        {smDistrict, "A1.b,a1.Z,B2.A,b2.c,C3.M"},  // all empty: station, then sensor
        {smPrimaryChannel, "B2.A,b2.c,C3.M,A1.b,a1.Z"},
        {smRandomChannel, "A1.b,a1.Z,C3.M,B2.A,b2.c"},
    };
    for (const Case& k : cases) {
        TStationSensorCache c;
        c.Append(Entry("b2", "c", "north", 7, 12));
        c.Append(Entry("A1", "b", "MILL", 20, -5));
        c.Append(Entry("C3", "M", "", 9, 0));
        c.Append(Entry("a1", "Z", "mill", 20, -5));
        c.Append(Entry("B2", "A", "North", 7, 12));
        c.Sort(k.mode);
        EXPECT_EQ(Order(c), k.order) << "mode " << k.mode;
    }
}

TEST(StationSensorCache, EntriesEqualButForLetterCaseSortAlikeWhateverTheirArrival) {
    TStationSensorCache a, b;
    for (const char* s : {"ST", "st", "St"}) a.Append(Entry(s, "HG"));
    for (const char* s : {"St", "ST", "st"}) b.Append(Entry(s, "HG"));
    for (TSortMode mode = FirstSortMode; mode <= LastSortMode; ++mode) {
        a.Sort(mode);
        b.Sort(mode);
        EXPECT_EQ(Order(a), Order(b)) << "mode " << mode;
    }
}

TEST(CatalogueViews, CaptionsAndIconsInListOrder) {
    struct Case {
        const char* caption;
        int icon;
    };
    const Case cases[] = {
        {"View By Stations", 16},       {"View By Sensors", 29}, {"View By Basin", 41},
        {"View By District", 34},       {"View By City", 35},    {"View By County", 36},
        {"View By State", 38},          {"View By Country", 37}, {"View By Primary Channel", 40},
        {"View By Random Channel", 39},
    };
    ASSERT_EQ(CatalogueViews().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const TCatalogueView& v = CatalogueViews()[i];
        EXPECT_EQ(v.Mode, static_cast<int>(i) + 3);
        EXPECT_EQ(v.Caption, cases[i].caption);
        EXPECT_EQ(v.Icon, cases[i].icon);
        EXPECT_EQ(&CatalogueView(v.Mode), &v);
    }
}

TEST(CatalogueViews, LevelProfilesOfBothTrees) {
    struct Case {
        TSortMode mode;
        TLevelProfile profile;
        std::vector<std::string> levels;  // text [icon] per level, "-" for an absent level
    };
    using P = TLevelProfile;
    const Case cases[] = {
        {smStations, P::lpStationTree, {"RIVER1 [16]", "-", "-"}},
        {smStations, P::lpStationSensorTree, {"RIVER1 [16]", "HG [29]", "-"}},
        {smSensors, P::lpStationTree, {"HG [29]", "RIVER1 [16]", "-"}},
        {smSensors, P::lpStationSensorTree, {"HG [29]", "RIVER1 [16]", "-"}},
        {smBasin, P::lpStationTree, {"Mill Creek [41]", "RIVER1 [16]", "-"}},
        {smBasin, P::lpStationSensorTree, {"Mill Creek [41]", "RIVER1 [16]", "HG [29]"}},
        {smDistrict, P::lpStationSensorTree, {"East [34]", "RIVER1 [16]", "HG [29]"}},
        {smCity, P::lpStationSensorTree, {"Elmwood [35]", "RIVER1 [16]", "HG [29]"}},
        {smCounty, P::lpStationSensorTree, {"Clay [36]", "RIVER1 [16]", "HG [29]"}},
        {smState, P::lpStationSensorTree, {"KS [38]", "RIVER1 [16]", "HG [29]"}},
        {smCountry, P::lpStationTree, {" [37]", "RIVER1 [16]", "-"}},  // null country
        {smPrimaryChannel, P::lpStationSensorTree, {"-7 [40]", "RIVER1 [16]", "HG [29]"}},
        {smRandomChannel, P::lpStationTree, {"0 [39]", "RIVER1 [16]", "-"}},  // null channel
    };
    for (const Case& k : cases) {
        TStationSensorItem e = Entry("RIVER1", "HG", "Mill Creek", -7, 0);
        e.District = "East";
        e.City = "Elmwood";
        e.County = "Clay";
        e.State = "KS";
        e.Level3Text = "stale";
        SetLevels(e, k.mode, k.profile);
        auto level = [](const std::string& text, int image) {
            if (text.empty() && image == -1) return std::string("-");
            return text + " [" + std::to_string(image) + "]";
        };
        EXPECT_EQ(level(e.Level1Text, e.Level1Image), k.levels[0]) << k.mode;
        EXPECT_EQ(level(e.Level2Text, e.Level2Image), k.levels[1]) << k.mode;
        EXPECT_EQ(level(e.Level3Text, e.Level3Image), k.levels[2]) << k.mode;
    }
}

}  // namespace
}  // namespace ov
