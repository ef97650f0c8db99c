// The whole calculation path in-process: station records put on the input buffer come out as
// the exact result records published in "$TIMETAG", through every calculation mode, with a
// real thread, real groups, the calculator and a setup-server double.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "suite/SetupParams.h"
#include "support/FakeClock.h"
#include "support/TestCalcHost.h"
#include "thread/WorkThread.h"
#include "util/Format.h"
#include "util/TimeTag.h"

namespace ov {
namespace {

using namespace std::chrono_literals;
using Published = std::vector<std::pair<std::string, std::string>>;

const TTimeTag T = MakeTimeTag(2026, 12, 8, 20, 0, 0);

// A number as the thread writes results: the user's decimal separator.
std::string Num(std::string text) {
    for (char& c : text)
        if (c == '.') c = LocaleFormatSettings().DecimalSeparator;
    return text;
}
std::pair<std::string, std::string> Record(TTimeTag tag, const std::string& stationSensor,
                                           const std::string& value) {
    return {"$TIMETAG", TimeTagText(tag) + "," + stationSensor + "," + Num(value)};
}

std::unique_ptr<TCalcGroupItem> SingleGroup(int index, const std::string& output,
                                            const std::string& sensor, const std::string& eq,
                                            std::vector<std::string> variables,
                                            std::vector<std::string> similar = {}) {
    auto g = std::make_unique<TCalcGroupItem>();
    g->CGIndex = index;
    g->OutputStation = output;
    g->OutputSensor = sensor;
    g->FuncName = eq;
    g->Variables = std::move(variables);
    g->SimilarStations = std::move(similar);
    return g;
}

std::unique_ptr<TCalcGroupItem> MultiGroup(int index, const std::string& output,
                                           const std::string& sensor, const std::string& eq,
                                           std::vector<std::string> variables, int trigger) {
    auto g = std::make_unique<TCalcGroupItem>();
    g->CGIndex = index;
    g->MultiStations = true;
    g->OutputStation = output;
    g->OutputSensor = sensor;
    g->FuncName = eq;
    g->MultiVariables = std::move(variables);
    g->MultiVariablesTrigger = trigger;
    return g;
}

class CalcModesTest : public ::testing::Test {
  protected:
    test::TestCalcHost host;
    TInputStationSensorBuffer input{host};
    TOutputBuffer output{host};
    test::FakeClock clock;
    std::unique_ptr<TWorkThread> thread;
    TCalcGroups groups;

    void SetUp() override {
        host.Output = &output;
        GeneralSetup() = TGeneralSetup{};
    }
    void TearDown() override {
        if (thread) Stop();
        GeneralSetup() = TGeneralSetup{};
    }
    void Start(int detail = 0) {
        host.Detail = detail;
        thread = std::make_unique<TWorkThread>(host, input, output, clock);
        thread->CopyGroups(groups);
        thread->Start();
        ASSERT_TRUE(clock.WaitGateEntries(0));
    }
    void Stop() {
        thread->RequestStop();
        ASSERT_TRUE(thread->WaitFor(20s));
        thread.reset();
    }
    // One station record of a kind: begin item, a sensor item per pair, end item; then the
    // thread is woken and the test waits until it rests again.
    void Feed(const std::string& kind, const std::string& station, TTimeTag tag,
              std::vector<std::pair<std::string, std::string>> values) {
        ASSERT_TRUE(input.Add(std::make_unique<TInputStationBeginItem>(station, tag, kind)));
        for (auto& [sensor, value] : values)
            ASSERT_TRUE(
                input.Add(std::make_unique<TInputSensorItem>(station, tag, kind, sensor, value)));
        ASSERT_TRUE(input.Add(std::make_unique<TInputStationEndItem>(station, tag, kind)));
        const auto entries = clock.GateEntries();
        host.SignalThread();
        ASSERT_TRUE(clock.WaitGateEntries(entries));
    }
    Published Results() {
        host.Collect();
        return host.Published;
    }
    bool Logged(const std::string& text, TOutputKind kind) {
        for (const auto& line : host.Lines())
            if (line.first == text && line.second == kind) return true;
        return false;
    }
};

TEST_F(CalcModesTest, CurrentRecordWithAndWithoutGroups) {
    groups.Add(SingleGroup(1, "RIVER1", "Q", "H*2", {"H=HG"}));
    Start(9);
    Feed("C", "RIVER9", T, {{"HG", "1.5"}});
    EXPECT_TRUE(Results().empty());
    EXPECT_TRUE(Logged("  Poll group for StationID not found: RIVER9", okDetail));
    Feed("C", "river1", T, {{"hg", "1.25"}});  // names match without regard to case
    EXPECT_EQ(Results(), (Published{Record(T, "river1.Q", "2.5")}));
}

TEST_F(CalcModesTest, SimilarStationsAndSatelliteData) {
    groups.Add(SingleGroup(1, "X", "OUT", "H+1", {"H=HG"}, {"A", "B"}));
    groups.Add(SingleGroup(2, "Y", "OUT", "H+2", {"H=HG"}, {"Y"}));  // its own output listed
    Start();
    // A current record for a similar station writes to that station.
    Feed("C", "A", T, {{"HG", "1"}});
    EXPECT_EQ(Results(), (Published{Record(T, "A.OUT", "2")}));
    host.Published.clear();
    // The group listing its own output station is filed once under it.
    Feed("C", "Y", T, {{"HG", "1"}});
    EXPECT_EQ(Results(), (Published{Record(T, "Y.OUT", "3")}));
    host.Published.clear();
    // A satellite value of the trigger sensor writes to the group's output station; the end
    // of a satellite record sets off nothing more.
    Feed("R", "B", T + 60, {{"HG", "5"}});
    EXPECT_EQ(Results(), (Published{Record(T + 60, "X.OUT", "6")}));
}

TEST_F(CalcModesTest, TriggerSensorIsTheGreatestBoundSensorByteWise) {
    groups.Add(SingleGroup(1, "S1", "A", "L+F", {"L=LEVEL", "F=FLOW"}));
    groups.Add(SingleGroup(2, "S2", "B", "L+F", {"L=LEVEL", "F=flow"}));
    Start();
    // Each record succeeds only when its last value is the trigger: a calculation set off
    // earlier misses the other variable. LEVEL sorts after FLOW; byte by byte, lower-case
    // "flow" sorts after "LEVEL" (and the index matches it without regard to case).
    Feed("S", "S1", T, {{"FLOW", "1"}, {"LEVEL", "2"}});
    Feed("S", "S2", T, {{"LEVEL", "2"}, {"FLOW", "1"}});
    EXPECT_EQ(Results(), (Published{Record(T, "S1.A", "3"), Record(T, "S2.B", "3")}));
}

TEST_F(CalcModesTest, NullValueIsNotCachedButStillTriggers) {
    GeneralSetup().UseNullValue = true;
    GeneralSetup().NullValue = 998877;
    groups.Add(MultiGroup(1, "BASIN", "N", "B * 2", {"A=ST.HG", "B=ST2.HG"}, 0));
    groups.Add(MultiGroup(2, "BASIN", "M", "A", {"A=ST.HG"}, 0));
    Start();
    Feed("C", "ST2", T, {{"HG", "4"}});
    Feed("C", "ST", T, {{"HG", "998877"}});
    const Published afterNull = Results();
    EXPECT_EQ(afterNull, (Published{Record(T, "BASIN.N", "8")}));
    EXPECT_TRUE(
        Logged("Error 1602: Error in computation - Error 1604: Variable not found or never "
               "updated - PollGroup: 2  StationID: ST  SensorName: HG - StationID: ST "
               "TimeTag: " +
                   TimeTagText(T) + " Poll Group: 2",
               okError));
    Feed("C", "ST", T + 1, {{"HG", "998877.0"}});
    EXPECT_EQ(Results().back(), Record(T + 1, "BASIN.M", "998877"));
}

TEST_F(CalcModesTest, TimeTaggedRecordsMergeAndRunAtTheFirstIdleStepAfterTheDelay) {
    groups.Add(SingleGroup(1, "RIVER1", "Q", "H", {"H=HG"}));
    Start(9);
    Feed("T", "RIVER1", T, {{"HG", "1"}});
    clock.SetElapsed(30000);
    Feed("T", "RIVER1", T, {{"HG", "2"}});  // the same record again: the due time moves
    EXPECT_TRUE(Logged("Scheduled Item Count: 1", okDetail));
    ASSERT_TRUE(clock.RunTo(89000));
    EXPECT_TRUE(Results().empty()) << "not before one delay after the second record";
    ASSERT_TRUE(clock.RunTo(95100));
    EXPECT_EQ(Results(), (Published{Record(T, "RIVER1.Q", "2")}));
    EXPECT_TRUE(Logged("  StationID: RIVER1 TimeTag: " + TimeTagText(T), okDetail));
    EXPECT_TRUE(Logged("End DoDelayedCalculation - Scheduled Item Count: 0", okDetail));
}

TEST_F(CalcModesTest, RoundOffTimeToTheQuarterHour) {
    groups.Add(SingleGroup(1, "RIVER1", "Q", "H", {"H=HG"}));
    groups.Add(SingleGroup(2, "RIVER2", "Q", "H", {"H=HG"}));
    host.Setup["Sensor:RIVER1:Q,RoundOffTime"] = "00:15:00";
    host.Setup["Sensor:RIVER2:Q,RoundOffTime"] = "-00:15:00";
    Start();
    for (const char* station : {"RIVER1", "RIVER2"}) {
        Feed("C", station, T + 449, {{"HG", "1"}});
        Feed("C", station, T + 450, {{"HG", "1"}});
    }
    EXPECT_EQ(Results(), (Published{Record(T, "RIVER1.Q", "1"), Record(T + 900, "RIVER1.Q", "1"),
                                    Record(T, "RIVER2.Q", "1"), Record(T + 900, "RIVER2.Q", "1")}));
}

// Near the last time tag: a record that rounds down is published, one whose rounded time would
// pass the last time tag is reported and not published (neither unrounded nor wrapped).
TEST_F(CalcModesTest, ARoundedTimePastTheLastTimeTagIsReportedNotPublished) {
    groups.Add(SingleGroup(1, "RIVER1", "Q", "H", {"H=HG"}));
    host.Setup["Sensor:RIVER1:Q,RoundOffTime"] = "00:15:00";
    Start();
    const TTimeTag last = INT32_MAX;                 // 01/18/2053 03:14:07
    Feed("C", "RIVER1", last - 398, {{"HG", "1"}});  // 03:07:29 rounds down to 03:00:00
    for (TTimeTag tag : {last - 397, last}) Feed("C", "RIVER1", tag, {{"HG", "2"}});
    EXPECT_EQ(Results(), (Published{Record(last - 847, "RIVER1.Q", "1")}));
    for (TTimeTag tag : {last - 397, last}) {
        EXPECT_TRUE(
            Logged("Error 1602: Error in computation - The time tag rounded to 00:15:00 "
                   "passes the last time tag 01/18/2053 03:14:07 - StationID: RIVER1 "
                   "TimeTag: " +
                       TimeTagText(tag) + " Poll Group: 1",
                   okError))
            << TimeTagText(tag);
    }
}

// A setup query that cannot be answered for now (the server is being started again) is not
// a missing value: the group publishes nothing and says why; the other groups go on.
TEST_F(CalcModesTest, ASetupServerThatCannotAnswerNowStopsOnlyTheGroupsThatAsk) {
    groups.Add(SingleGroup(1, "RIVER1", "Q", "H + SHIFT(H)", {"H=HG"}));
    groups.Add(SingleGroup(2, "RIVER1", "R", "H * 2", {"H=HG"}));
    groups.Add(SingleGroup(3, "RIVER1", "S", "H * 3", {"H=HG"}));
    host.Unavailable = {"SENSOR:RIVER1:HG,SHIFT", "Sensor:RIVER1:S,RoundOffTime"};
    Start();
    Feed("C", "RIVER1", T, {{"HG", "2"}});
    EXPECT_EQ(Results(), (Published{Record(T, "RIVER1.R", "4")}));
    for (int group : {1, 3}) {
        EXPECT_TRUE(
            Logged("Error 1602: Error in computation - The setup server is being started "
                   "again - StationID: RIVER1 TimeTag: " +
                       TimeTagText(T) + " Poll Group: " + std::to_string(group),
                   okError))
            << group;
    }
}

TEST_F(CalcModesTest, UnusableRoundingSettingsLeaveTheTimeTag) {
    groups.Add(SingleGroup(1, "RIVER1", "Q", "H", {"H=HG"}));
    Start();
    for (const char* setting : {"00:00:00", "0:0:0", "junk", "ERROR"}) {
        host.Setup["Sensor:RIVER1:Q,RoundOffTime"] = setting;
        Feed("C", "RIVER1", T + 7, {{"HG", "1"}});
    }
    for (const auto& r : Results()) EXPECT_EQ(r, Record(T + 7, "RIVER1.Q", "1"));
}

TEST_F(CalcModesTest, AValueWithACommaOrAZeroByteIsNotANumber) {
    groups.Add(SingleGroup(1, "RIVER1", "Q", "H", {"H=HG"}));
    Start(2);
    // A zero byte inside a value does not end it: "5", zero, "0" is no number, never 5.
    const std::string zero = "5" + std::string(1, '\0') + "0";
    for (const std::string& value : {std::string("5?0"), zero}) {
        Feed("C", "RIVER1", T, {{"HG", value}});
        EXPECT_TRUE(Logged("Error 1601: Value is not a number - " + value, okDetail));
    }
    Feed("C", "RIVER1", T, {{"HG", "1,5"}});
    EXPECT_TRUE(Logged("Error 1601: Value is not a number - 1,5", okDetail));
    EXPECT_TRUE(
        Logged("Error 1602: Error in computation - Error 1604: Variable not found or never "
               "updated - PollGroup: 1  StationID: RIVER1  SensorName: HG - StationID: "
               "RIVER1 TimeTag: " +
                   TimeTagText(T) + " Poll Group: 1",
               okError));
    EXPECT_TRUE(Results().empty());
}

TEST_F(CalcModesTest, MultiStationRecordAndErrorsGoOnWithTheNextGroup) {
    groups.Add(MultiGroup(1, "STN", "BAD", "A/0", {"A=RIVER1.HG"}, 0));
    groups.Add(MultiGroup(2, "STN", "OUT", "A*5", {"A=RIVER1.HG"}, 0));
    Start();
    Feed("T", "RIVER1", T, {{"HG", "2.5"}});
    EXPECT_EQ(Results(), (Published{Record(T, "STN.OUT", "12.5")}));
    EXPECT_TRUE(
        Logged("Error 1602: Error in computation - Error 1612: Divide by Zero. - "
               "StationID: RIVER1 TimeTag: " +
                   TimeTagText(T) + " Poll Group: 1",
               okError));
}

TEST_F(CalcModesTest, ABadTriggerIndexSkipsOnlyItsGroup) {
    groups.Add(MultiGroup(4, "STN", "X", "A", {"A=RIVER1.HG", "B=RIVER2.HG"}, 3));
    groups.Add(MultiGroup(5, "STN", "Y", "A", {"A=RIVER1.HG"}, 0));
    Start();
    Feed("C", "RIVER1", T, {{"HG", "7"}});
    EXPECT_TRUE(Logged("Error 1600: List index out of bounds (3) - Poll Group: 4", okError));
    EXPECT_EQ(Results(), (Published{Record(T, "STN.Y", "7")}));
}

}  // namespace
}  // namespace ov
