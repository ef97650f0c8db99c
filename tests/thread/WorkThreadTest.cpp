// Tests of the calculation thread: a real thread driven through start, items, idle steps and
// stop with a clock the test moves, checking the exact status lines in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/FakeClock.h"
#include "support/TestCalcHost.h"
#include "thread/WorkThread.h"
#include "util/Exception.h"

namespace ov {
namespace {

using namespace std::chrono_literals;
using Line = test::TestCalcHost::Line;
using Lines = std::vector<Line>;

const Line Started{"Calculation thread started.", okStatus};
const Line Stopped{"Calcuation thread stopped.", okStatus};
const Line Stopping{"Calculation thread stopping... All unprocessed messages will be lost.",
                    okDetail};
const Line BeginProcess{"Begin DoProcess", okDetail};
const Line EndProcess{"End DoProcess", okDetail};
// What one item of a record logs when no group uses the station: a begin item, a sensor
// value, an end item ("not found" appears above detail 8).
const Lines BeginItem{BeginProcess, EndProcess};
const Lines SensorItem{BeginProcess,
                       {"Begin DoMultiCalculation", okDetail},
                       {"End DoMultiCalculation", okDetail},
                       EndProcess};
const Lines EndItemAt8{BeginProcess,
                       {"Begin DoCurrentCalculation", okDetail},
                       {"End DoCurrentCalculation", okDetail},
                       EndProcess};
Lines EndItemAt9(const std::string& station) {
    return {BeginProcess,
            {"Begin DoCurrentCalculation", okDetail},
            {"  Poll group for StationID not found: " + station, okDetail},
            {"End DoCurrentCalculation", okDetail},
            EndProcess};
}
const Lines IdleStep{{"Begin DoIdle", okDetail},
                     {"Begin DoDelayedCalculation - Scheduled Item Count: 0", okDetail},
                     {"End DoDelayedCalculation - Scheduled Item Count: 0", okDetail},
                     {"End DoIdle", okDetail}};

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}
Lines Repeat(const Lines& part, int times) {
    Lines all;
    for (int i = 0; i < times; ++i) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class WorkThreadTest : public ::testing::Test {
  protected:
    test::TestCalcHost host;
    TInputStationSensorBuffer input{host};
    TOutputBuffer output{host};
    test::FakeClock clock;
    std::unique_ptr<TWorkThread> thread;

    void SetUp() override {
        host.Output = &output;
        thread = std::make_unique<TWorkThread>(host, host, input, output, clock);
    }

    // Starts the run and waits until it rests in its first wait.
    void StartAndSettle() {
        thread->Start();
        ASSERT_TRUE(clock.WaitGateEntries(0));
    }
    // Signals the thread and waits until it has dealt with the wake and rests again.
    void Wake() {
        const auto entries = clock.GateEntries();
        host.SignalThread();
        ASSERT_TRUE(clock.WaitGateEntries(entries));
    }
    void Stop() {
        thread->RequestStop();
        ASSERT_TRUE(thread->WaitFor(20s));
    }
    // One station record: begin item, a sensor item per value, end item.
    void AddRecord(const std::string& station, TTimeTag tag, int sensors) {
        ASSERT_TRUE(input.Add(std::make_unique<TInputStationBeginItem>(station, tag, KindCurrent)));
        for (int i = 0; i < sensors; ++i)
            ASSERT_TRUE(input.Add(std::make_unique<TInputSensorItem>(
                station, tag, KindCurrent, "S" + std::to_string(i), "1.5")));
        ASSERT_TRUE(input.Add(std::make_unique<TInputStationEndItem>(station, tag, KindCurrent)));
    }
    // Moves the start line into the record, then fills the output buffer to the last slot.
    Lines FillOutput() {
        host.Collect();
        Lines fillers;
        for (int i = 0; i < OutputBufferSlots; ++i) {
            fillers.emplace_back("filler " + std::to_string(i), okDetail);
            output.Add(fillers.back().first, okDetail);
        }
        return fillers;
    }
    int CountOf(const std::string& text) {
        auto lines = host.Lines();
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const Line& l) { return l.first == text; }));
    }
};

TEST_F(WorkThreadTest, ARunGoesThroughStartItemsIdleStepsAndStopWithItsMessagesInOrder) {
    host.Detail = 9;
    StartAndSettle();
    AddRecord("RIVER1", 1000, 1);
    Wake();
    EXPECT_FALSE(input.HasItems());
    ASSERT_TRUE(clock.RunTo(5040));
    ASSERT_TRUE(clock.RunTo(10080));
    EXPECT_TRUE(host.Ended().empty());
    Stop();

    EXPECT_EQ(host.Lines(), Join({{Started},
                                  BeginItem,
                                  SensorItem,
                                  EndItemAt9("RIVER1"),
                                  Repeat(IdleStep, 2),
                                  {Stopped}}));
    ASSERT_EQ(host.Ended().size(), 1u);
    EXPECT_EQ(host.Ended()[0], thread.get()) << "the termination callback names its thread";
    EXPECT_EQ(host.InitCalls.load(), 1);
    EXPECT_EQ(host.DoneCalls.load(), 1);
    EXPECT_TRUE(thread->Finished());
}

TEST_F(WorkThreadTest, TheIdleStepRunsEveryFiveSecondsWhileWaiting) {
    host.Detail = 9;
    StartAndSettle();
    ASSERT_TRUE(clock.RunTo(4980));
    EXPECT_EQ(host.Lines(), Lines{Started}) << "not before five seconds";
    ASSERT_TRUE(clock.RunTo(5040));
    EXPECT_EQ(host.Lines(), Join({{Started}, IdleStep}));
    ASSERT_TRUE(clock.RunTo(9960));
    EXPECT_EQ(CountOf("Begin DoIdle"), 1);
    ASSERT_TRUE(clock.RunTo(10080));
    EXPECT_EQ(CountOf("Begin DoIdle"), 2);
    ASSERT_TRUE(clock.RunTo(26000));
    Stop();
    EXPECT_EQ(host.Lines(), Join({{Started}, Repeat(IdleStep, 5), {Stopped}}));
}

TEST_F(WorkThreadTest, AtLogDetailEightNoThresholdEightLineIsWritten) {
    host.Detail = 8;
    StartAndSettle();
    ASSERT_TRUE(clock.RunTo(26000));
    AddRecord("RIVER1", 1000, 0);
    Wake();
    Stop();
    EXPECT_EQ(host.Lines(), Join({{Started}, BeginItem, EndItemAt8, {Stopped}}));
}

TEST_F(WorkThreadTest, RaisingTheLogDetailTakesEffectAtOnce) {
    host.Detail = 0;
    StartAndSettle();
    AddRecord("RIVER1", 1000, 0);
    Wake();
    ASSERT_TRUE(clock.RunTo(5040));
    host.Detail = 9;
    ASSERT_TRUE(clock.RunTo(10080));
    AddRecord("RIVER1", 1001, 0);
    Wake();
    host.Detail = 7;
    AddRecord("RIVER1", 1002, 0);
    Wake();
    Stop();
    // At detail 7 only the mode lines of the last record remain.
    EXPECT_EQ(
        host.Lines(),
        Join({{Started},
              IdleStep,
              BeginItem,
              EndItemAt9("RIVER1"),
              {{"Begin DoCurrentCalculation", okDetail}, {"End DoCurrentCalculation", okDetail}},
              {Stopped}}));
}

TEST_F(WorkThreadTest, BetweenItemsTheIdleStepRunsAndThenWaitsTenSeconds) {
    host.Detail = 9;
    StartAndSettle();
    clock.SetElapsed(5020);  // past the first idle time, while the thread rests
    AddRecord("RIVER1", 1000, 1);
    Wake();
    EXPECT_EQ(host.Lines(),
              Join({{Started}, BeginItem, IdleStep, SensorItem, EndItemAt9("RIVER1")}));
    host.ForgetLines();

    clock.SetElapsed(15000);  // less than ten seconds after that idle step
    ASSERT_TRUE(input.Add(std::make_unique<TInputStationEndItem>("RIVER1", 1001, KindCurrent)));
    Wake();
    EXPECT_EQ(host.Lines(), EndItemAt9("RIVER1"));
    host.ForgetLines();

    clock.SetElapsed(15060);
    ASSERT_TRUE(input.Add(std::make_unique<TInputStationEndItem>("RIVER1", 1002, KindCurrent)));
    Wake();
    EXPECT_EQ(host.Lines(), Join({EndItemAt9("RIVER1"), IdleStep}));
    Stop();
}

TEST_F(WorkThreadTest, AWakeWithAnEmptyBufferDoesNothingNotEvenAnIdleCheck) {
    host.Detail = 10;
    StartAndSettle();
    clock.SetElapsed(60000);  // long past the idle time
    Wake();
    Wake();
    EXPECT_EQ(host.Lines(), Lines{Started});
    Stop();
    EXPECT_EQ(host.Lines(), (Lines{Started, Stopped}));
}

TEST_F(WorkThreadTest, AStopWithAnEmptyBufferLogsOnlyTheStop) {
    host.Detail = 10;
    StartAndSettle();
    Stop();
    EXPECT_EQ(host.Lines(), (Lines{Started, Stopped}));
    EXPECT_EQ(host.Ended().size(), 1u);
}

TEST_F(WorkThreadTest, AStopBetweenItemsLeavesTheRestInTheBuffer) {
    host.Detail = 8;
    StartAndSettle();
    const Lines fillers = FillOutput();
    AddRecord("RIVER1", 1000, 1);
    // The first drain request, made while the first item is being processed, carries the
    // stop request: it arrives between two items.
    host.OnDrainRequest = [this] {
        if (host.DrainRequests.load() == 1) thread->RequestStop();
    };
    host.SignalThread();
    ASSERT_TRUE(thread->WaitFor(20s));

    EXPECT_EQ(host.Lines(),
              Join({{Started}, fillers, {BeginProcess, EndProcess, Stopping, Stopped}}));
    EXPECT_EQ(input.Count(), 2);
    EXPECT_EQ(host.DoneCalls.load(), 1);
}

TEST_F(WorkThreadTest, AnErrorInOneItemDoesNotStopTheThread) {
    host.Detail = 8;
    StartAndSettle();
    const Lines fillers = FillOutput();
    AddRecord("RIVER1", 1000, 0);
    // The window refuses the first drain request, so the first item's first trace line fails
    // before the item is taken; the item is processed again as the next one.
    host.OnDrainRequest = [this] {
        if (host.DrainRequests.load() == 1) throw Exception("Drain refused");
    };
    Wake();
    EXPECT_TRUE(host.Ended().empty());
    EXPECT_FALSE(input.HasItems());
    AddRecord("RIVER2", 1000, 0);
    Wake();
    EXPECT_FALSE(input.HasItems());
    Stop();

    EXPECT_EQ(host.Lines(), Join({{Started},
                                  fillers,
                                  {{"Drain refused", okError}},
                                  BeginItem,
                                  EndItemAt8,
                                  BeginItem,
                                  EndItemAt8,
                                  {Stopped}}));
}

TEST_F(WorkThreadTest, AnErrorOutsideAnItemEndsTheRun) {
    host.Detail = 9;
    StartAndSettle();
    const Lines fillers = FillOutput();
    host.OnDrainRequest = [this] {
        if (host.DrainRequests.load() == 1) throw Exception("Drain refused");
    };
    clock.SetLimit(5040);  // the idle step's first line fails
    ASSERT_TRUE(thread->WaitFor(20s));

    EXPECT_EQ(host.Lines(), Join({{Started}, fillers, {{"Drain refused", okError}, Stopped}}));
    EXPECT_FALSE(thread->StopRequested());
    EXPECT_EQ(host.Ended().size(), 1u);
    EXPECT_EQ(host.DoneCalls.load(), 1);
}

TEST_F(WorkThreadTest, AFailedThreadSetUpEndsTheRunAtOnce) {
    host.Detail = 10;
    host.InitResult = false;
    thread->Start();
    ASSERT_TRUE(thread->WaitFor(20s));
    EXPECT_EQ(host.Lines(), (Lines{Started, {"CoInitialize failed", okStatus}}));
    EXPECT_EQ(host.Ended().size(), 1u);
    EXPECT_EQ(host.DoneCalls.load(), 0);
}

TEST_F(WorkThreadTest, AThreadRunsOnceAndOneNeverStartedDoesNotRun) {
    auto idle = std::make_unique<TWorkThread>(host, host, input, output, clock);
    EXPECT_FALSE(idle->Started());
    EXPECT_TRUE(idle->WaitFor(0ms));
    idle.reset();
    EXPECT_EQ(host.Lines(), Lines{});
    EXPECT_TRUE(host.Ended().empty());

    StartAndSettle();
    EXPECT_THROW(thread->Start(), Exception);
    thread.reset();  // destroying a running thread stops it first
    EXPECT_EQ(host.Lines(), (Lines{Started, Stopped}));
    EXPECT_EQ(host.Ended().size(), 1u);
}

TEST_F(WorkThreadTest, DestroyingAThreadBlockedOnAFullOutputBufferDrainsItAndEnds) {
    host.Detail = 8;
    StartAndSettle();
    const Lines fillers = FillOutput();
    host.RefuseDrainOffMainThread = true;  // the window is busy: it answers no request
    ASSERT_TRUE(input.Add(std::make_unique<TInputStationEndItem>("RIVER1", 1000, KindCurrent)));
    host.SignalThread();
    for (int i = 0; i < 2000 && host.DrainRequests.load() < 2; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_GE(host.DrainRequests.load(), 2) << "the thread waits for room in the output";

    thread.reset();
    const Lines lines = host.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[OutputBufferSlots + 1], BeginProcess);
    EXPECT_EQ(lines.back(), Stopped);
    EXPECT_EQ(host.Ended().size(), 1u);
}

TEST(WorkThreadGroupsTest, CopyGroupsReplacesTheThreadsGroupsByCopies) {
    test::TestCalcHost host;
    TInputStationSensorBuffer input{host};
    TOutputBuffer output{host};
    TWorkThread thread(host, host, input, output);
    TCalcGroups groups;
    for (int i = 1; i <= 2; ++i) {
        auto group = std::make_unique<TCalcGroupItem>();
        group->CGIndex = i;
        group->FuncName = "A+" + std::to_string(i);
        group->Variables = {"A=HG"};
        groups.Add(std::move(group));
    }
    thread.CopyGroups(groups);
    thread.CopyGroups(groups);
    ASSERT_EQ(thread.Groups().Count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NE(thread.Groups().Items(i), groups.Items(i));
        EXPECT_EQ(thread.Groups().Items(i)->CGIndex, i + 1);
        EXPECT_EQ(thread.Groups().Items(i)->Variables, std::vector<std::string>{"A=HG"});
    }
    groups.Items(0)->FuncName = "changed";
    EXPECT_EQ(thread.Groups().Items(0)->FuncName, "A+1");
}

}  // namespace
}  // namespace ov
