// Stations to shards: the stated hash, the same for every spelling of a name, spread over the
// shards; and the stations a group reads.
#include <gtest/gtest.h>

#include <vector>

#include "model/StationShard.h"

namespace ov {
namespace {

TEST(StationShard, TheStatedHashOfTheNameInUpperCase) {
    // 32-bit FNV-1a of the upper-case name: the values other programs must compute too.
    const struct {
        const char* station;
        std::uint32_t hash;
        int of2, of3, of4;
    } cases[] = {
        {"", 2166136261u, 1, 1, 1},        {"RIVER1", 3984057280u, 0, 1, 0},
        {"river1", 3984057280u, 0, 1, 0},  {"RIVER2", 4034390137u, 1, 1, 1},
        {"RAIN1", 2525112198u, 0, 0, 2},   {"MET1", 2612571624u, 0, 0, 0},
        {"R\xD6HR", 3674895811u, 1, 1, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StationHash(c.station), c.hash) << c.station;
        EXPECT_EQ(StationShard(c.station, 2), c.of2) << c.station;
        EXPECT_EQ(StationShard(c.station, 3), c.of3) << c.station;
        EXPECT_EQ(StationShard(c.station, 4), c.of4) << c.station;
        EXPECT_EQ(StationShard(c.station, 1), 0);
    }
    // Only ASCII letters fold, as names compare: a Latin-1 letter keeps its case.
    EXPECT_NE(StationHash("R\xF6HR"), StationHash("R\xD6HR"));
}

TEST(StationShard, ANetworkSpreadsOverTheShards) {
    std::vector<int> count(4);
    for (int i = 0; i < 4000; ++i) ++count[StationShard("ST" + std::to_string(i), 4)];
    for (int n : count) {
        EXPECT_GT(n, 850);
        EXPECT_LT(n, 1150);
    }
}

TEST(StationShard, TheStationsAGroupReads) {
    TCalcGroupItem multi;
    multi.MultiStations = true;
    multi.MultiVariables = {"A=RIVER1.TA", "B=river1.HG", "C=RIVER2.TA.X", "D=NODOT", "E=", "F"};
    EXPECT_EQ(GroupInputStations(multi), (std::vector<std::string>{"RIVER1", "RIVER2", "NODOT"}));
    TCalcGroupItem single;
    single.OutputStation = "RIVER1";
    single.Variables = {"H=HG"};
    single.SimilarStations = {"RIVER2"};
    EXPECT_TRUE(GroupInputStations(single).empty());
}

}  // namespace
}  // namespace ov
