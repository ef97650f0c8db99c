// Tests of the key queries of the setup server: the answer "ERROR", failed calls, empty
// answers, key building and the adapter to the engine's query interface.
#include <gtest/gtest.h>

#include "FakeSetupServer.h"
#include "suite/SetupServer.h"

namespace ov {
namespace {

using test::FakeSetupServer;

TEST(QuerySetup, ErrorAndFailuresAreNoValueAnEmptyAnswerIsOne) {
    FakeSetupServer server;
    server.Params = {{"SetupLoad", "OK"}, {"SENSOR:ST1:SN1,SHIFT", ""}};

    std::string value = "untouched";
    EXPECT_TRUE(QuerySetup(&server, "SetupLoad", value));
    EXPECT_EQ(value, "OK");
    EXPECT_TRUE(QuerySetup(&server, "SENSOR:ST1:SN1,SHIFT", value));
    EXPECT_EQ(value, "");

    value = "untouched";
    EXPECT_FALSE(QuerySetup(&server, "SENSOR:ST1:SN1,OFFSET", value));  // answered "ERROR"
    EXPECT_EQ(value, "untouched");
    EXPECT_FALSE(QuerySetup(nullptr, "SetupLoad", value));
    EXPECT_EQ(value, "untouched");
    for (auto mode : {FakeSetupServer::fmFail, FakeSetupServer::fmThrow}) {
        server.Mode = mode;
        EXPECT_FALSE(QuerySetup(&server, "SetupLoad", value));
        EXPECT_EQ(value, "untouched");
    }
}

TEST(QuerySetup, OnlyTheExactAnswerErrorMeansNoValue) {
    FakeSetupServer server;
    server.Params = {{"a", "error"}, {"b", "ERROR "}, {"c", "ERRORS"}};
    for (const char* key : {"a", "b", "c"}) {
        std::string value;
        EXPECT_TRUE(QuerySetup(&server, key, value)) << key;
        EXPECT_EQ(value, server.Params[key]);
    }
}

TEST(SetupKey, PartsJoinOnlyWhenPresent) {
    struct Case {
        const char* p1;
        const char* p2;
        const char* p3;
        const char* attribute;
        const char* key;
    };
    const Case cases[] = {
        {"Sensor", "ST1", "SN1", "RoundOffTime", "Sensor:ST1:SN1,RoundOffTime"},
        {"STATION", "RIVER1", "", "ELEVATION", "STATION:RIVER1,ELEVATION"},
        {"SetupLoad", "", "", "", "SetupLoad"},
        {"Sensor", "", "SN1", "", "Sensor:SN1"},
        {"Sensor", "ST1", "SN1", "", "Sensor:ST1:SN1"},
        {"", "", "", "RoundOffTime", "RoundOffTime"},
        {"", "ST1", "", "X", ":ST1,X"},
        {"", "", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SetupKey(c.p1, c.p2, c.p3, c.attribute), c.key);
    }
}

TEST(QuerySetupDefault, AnswerOrDefault) {
    FakeSetupServer server;
    server.Params = {{"Sensor:ST1:SN1,RoundOffTime", "00:15:00"},
                     {"Sensor:ST2:SN1,RoundOffTime", ""}};

    EXPECT_EQ(QuerySetupDefault(&server, "Sensor", "ST1", "SN1", "RoundOffTime", "00:00:00"),
              "00:15:00");
    EXPECT_EQ(QuerySetupDefault(&server, "Sensor", "ST2", "SN1", "RoundOffTime", "00:00:00"), "");
    EXPECT_EQ(QuerySetupDefault(&server, "Sensor", "ST3", "SN1", "RoundOffTime", "00:00:00"),
              "00:00:00");
    EXPECT_EQ(server.Asked.back(), "Sensor:ST3:SN1,RoundOffTime");
    EXPECT_EQ(QuerySetupDefault(nullptr, "Sensor", "ST1", "SN1", "RoundOffTime", "00:00:00"),
              "00:00:00");
    server.Mode = FakeSetupServer::fmThrow;
    EXPECT_EQ(QuerySetupDefault(&server, "Sensor", "ST1", "SN1", "RoundOffTime", "00:00:00"),
              "00:00:00");
}

TEST(SetupServerQuery, AdaptsAServerToTheEnginesQuery) {
    FakeSetupServer server;
    server.Params = {{"STATION:RIVER1,ELEVATION", "123.5"}};
    TSetupServerQuery query(&server);
    ISetupQuery& q = query;
    std::string value;
    EXPECT_TRUE(q.QuerySetup("STATION:RIVER1,ELEVATION", value));
    EXPECT_EQ(value, "123.5");
    EXPECT_FALSE(q.QuerySetup("STATION:RIVER2,ELEVATION", value));
    EXPECT_EQ(value, "123.5");
    EXPECT_EQ(QuerySetupDefault(q, "STATION", "RIVER1", "", "ELEVATION", "0"), "123.5");

    TSetupServerQuery none(nullptr);
    EXPECT_FALSE(none.QuerySetup("STATION:RIVER1,ELEVATION", value));
}

}  // namespace
}  // namespace ov
