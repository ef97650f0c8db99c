// Tests of the value cache: replacing values, look-ups of exact and earlier time tags, and the
// three-hour purge, with a clock the test moves.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <tuple>

#include "core/ValueCache.h"
#include "support/FakeClock.h"

namespace ov {
namespace {

class ValueCacheTest : public ::testing::Test {
  protected:
    test::FakeClock clock;
    TStationSensorDataCache cache{20, clock};

    // Lookup as a pair of outcome and the time tag and value handed back.
    struct Found {
        bool ok;
        TTimeTag tag;
        double value;
    };
    Found Look(const char* station, const char* sensor, TTimeTag tag) {
        double value = -1;
        bool ok = cache.Lookup(station, sensor, tag, value);
        return {ok, tag, value};
    }
};

TEST_F(ValueCacheTest, LookupOfEarlierTimeTagsNeedsTwoEarlierValues) {
    cache.Add("ST1", "HG", 1.5, 1000);
    struct Case {
        TTimeTag asked;
        bool ok;
        TTimeTag tag;
        double value;
    };
    // One value cached at 1000.
    for (const Case& c :
         {Case{1000, true, 1000, 1.5}, Case{999, false, 999, -1}, Case{1001, false, 1001, -1}}) {
        Found f = Look("ST1", "HG", c.asked);
        EXPECT_EQ(f.ok, c.ok) << c.asked;
        EXPECT_EQ(f.tag, c.tag) << c.asked;
        EXPECT_DOUBLE_EQ(f.value, c.value) << c.asked;
    }
    cache.Add("ST1", "HG", 2.5, 2000);
    cache.Add("ST1", "HG", 3.5, 3000);
    // Values at 1000, 2000, 3000.
    for (const Case& c :
         {Case{500, false, 500, -1}, Case{1500, false, 1500, -1}, Case{2000, true, 2000, 2.5},
          Case{2500, true, 2000, 2.5}, Case{3000, true, 3000, 3.5}, Case{9999, true, 3000, 3.5}}) {
        Found f = Look("ST1", "HG", c.asked);
        EXPECT_EQ(f.ok, c.ok) << c.asked;
        EXPECT_EQ(f.tag, c.tag) << c.asked;
        EXPECT_DOUBLE_EQ(f.value, c.value) << c.asked;
    }
    EXPECT_TRUE(Look("st1", "hg", 2000).ok) << "names are compared without regard to case";
    EXPECT_FALSE(Look("ST1", "HG2", 2000).ok);
    EXPECT_FALSE(Look("ST", "1.HG", 2000).ok);
}

TEST_F(ValueCacheTest, ACachedTimeTagIsReplacedAndItsExpiryRenewed) {
    cache.Add("ST1", "HG", 1.0, 1000);
    clock.AdvanceSeconds(2 * 3600);
    cache.Add("st1", "hg", 2.0, 1000);
    ASSERT_EQ(cache.Count(), 1);
    const TStationSensorDataItem* item = cache.FindItem("ST1", "HG");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Count(), 1);
    EXPECT_EQ(item->StationID, "ST1") << "the first spelling is kept";

    clock.AdvanceSeconds(2 * 3600);  // four hours after the first Add, two after the second
    cache.Purge();
    Found f = Look("ST1", "HG", 1000);
    EXPECT_TRUE(f.ok);
    EXPECT_DOUBLE_EQ(f.value, 2.0);
}

TEST_F(ValueCacheTest, PurgeDropsEntriesThreeHoursAfterTheyWereStored) {
    cache.Add("ST1", "HG", 1.0, 5000);  // stored at 0 h, time tag irrelevant to the expiry
    cache.Add("ST1", "HG", 2.0, 1000);
    clock.AdvanceSeconds(3600);
    cache.Add("ST1", "HG", 3.0, 3000);  // stored at 1 h
    cache.Add("ST2", "HG", 4.0, 1000);  // stored at 1 h

    clock.AdvanceSeconds(2 * 3600);  // exactly 3 h after the first values: not yet earlier
    cache.Purge();
    EXPECT_EQ(cache.FindItem("ST1", "HG")->Count(), 3);

    clock.AdvanceSeconds(1);
    cache.Purge();
    const TStationSensorDataItem* item = cache.FindItem("ST1", "HG");
    ASSERT_NE(item, nullptr);
    ASSERT_EQ(item->Count(), 1);
    EXPECT_EQ(item->TimeTags.GetAt(0), 3000);
    EXPECT_DOUBLE_EQ(item->Values.GetAt(0), 3.0);
    EXPECT_EQ(item->Expiries.Count(), 1);

    clock.AdvanceSeconds(3600);
    cache.Purge();
    EXPECT_EQ(cache.FindItem("ST1", "HG"), nullptr) << "an emptied item is removed";
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_FALSE(Look("ST2", "HG", 1000).ok);
}

TEST_F(ValueCacheTest, ItemsAreKeptInStationThenSensorOrder) {
    cache.Add("b", "X", 1, 1);
    cache.Add("A", "z", 1, 1);
    cache.Add("a", "Y", 1, 1);
    cache.Add("B", "x", 1, 2);
    ASSERT_EQ(cache.Count(), 3);
    EXPECT_EQ(cache.Items(0)->SensorName, "Y");
    EXPECT_EQ(cache.Items(1)->SensorName, "z");
    EXPECT_EQ(cache.Items(2)->StationID, "b");
    EXPECT_EQ(cache.Items(2)->Count(), 2);
    cache.Clear();
    EXPECT_EQ(cache.Count(), 0);
    EXPECT_FALSE(Look("b", "X", 1).ok);
}

// The purge looks only at the items with something expired; what it leaves must be exactly
// what dropping every expired entry and every emptied item leaves, also when the clock goes
// back (a wall clock set back) and when items are deleted from outside.
TEST_F(ValueCacheTest, PurgeLeavesWhatDroppingEveryExpiredEntryLeaves) {
    using TEntries = std::map<TTimeTag, std::pair<double, TDateTime>>;
    std::map<std::string, TEntries> model;  // by the key of station and sensor
    std::mt19937 random(26);
    const char* stations[] = {"ST1", "st1", "ST2", "RIVER", "BASIN"};
    const char* sensors[] = {"HG", "hg", "TA", "PC"};
    auto check = [&](int step) {
        ASSERT_EQ(cache.Count(), static_cast<std::int32_t>(model.size())) << "step " << step;
        for (std::int32_t i = 0; i < cache.Count(); ++i) {
            const TStationSensorDataItem* item = cache.Items(i);
            auto found = model.find(item->Key);
            ASSERT_NE(found, model.end()) << "step " << step;
            ASSERT_EQ(item->Count(), static_cast<std::int32_t>(found->second.size()));
            std::int32_t j = 0;
            for (const auto& [tag, entry] : found->second) {
                EXPECT_EQ(item->TimeTags.GetAt(j), tag) << "step " << step;
                EXPECT_EQ(item->Values.GetAt(j), entry.first) << "step " << step;
                EXPECT_EQ(item->Expiries.GetAt(j), entry.second) << "step " << step;
                ++j;
            }
        }
    };
    for (int step = 0; step < 20000; ++step) {
        const int what = static_cast<int>(random() % 100);
        if (what < 70) {
            const char* station = stations[random() % 5];
            const char* sensor = sensors[random() % 4];
            const TTimeTag tag = static_cast<TTimeTag>(random() % 40) * 900;
            const double value = static_cast<double>(random() % 1000) / 10;
            cache.Add(station, sensor, value, tag);
            model[TStationSensorDataCache::KeyOf(station, sensor)][tag] = {
                value, clock.Now() + CacheRetention};
        } else if (what < 88) {
            // Mostly forward by minutes, now and then back by up to an hour.
            clock.AdvanceSeconds(what < 86 ? static_cast<double>(random() % 1800)
                                           : -static_cast<double>(random() % 3600));
        } else if (what < 99) {
            cache.Purge();
            const TDateTime now = clock.Now();
            for (auto item = model.begin(); item != model.end();) {
                std::erase_if(item->second, [now](const auto& e) { return e.second.second < now; });
                item = item->second.empty() ? model.erase(item) : std::next(item);
            }
            check(step);
        } else if (cache.Count() > 0) {
            const std::int32_t i = static_cast<std::int32_t>(random() % cache.Count());
            model.erase(cache.Items(i)->Key);
            cache.Delete(i);
        }
    }
}

}  // namespace
}  // namespace ov
