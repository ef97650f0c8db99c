// Tests of the schedule queue: order by time tag and station, merging of repeated records
// without regard to case, and release of the deferred end items.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "core/ScheduleQueue.h"
#include "util/Exception.h"

namespace ov {
namespace {

class CountedEndItem : public TInputStationEndItem {
  public:
    CountedEndItem(std::string station, TTimeTag tag, std::atomic<int>& released)
        : TInputStationEndItem(std::move(station), tag, KindTimeTagged), released_(released) {}
    ~CountedEndItem() override { ++released_; }

  private:
    std::atomic<int>& released_;
};

class ScheduleQueueTest : public ::testing::Test {
  protected:
    TScheduleQueue queue;
    std::atomic<int> released{0};

    void Schedule(const std::string& station, TTimeTag tag, TDateTime due) {
        queue.Add(std::make_unique<TScheduleQueueItem>(
            std::make_unique<CountedEndItem>(station, tag, released), due));
    }
};

TEST_F(ScheduleQueueTest, TheSameStationAndTimeTagInAnyCaseOnlyMovesTheDueTime) {
    Schedule("RIVER1", 1000, 40000.5);
    Schedule("river1", 1000, 40000.75);
    ASSERT_EQ(queue.Count(), 1);
    EXPECT_DOUBLE_EQ(queue.Items(0)->DueTime, 40000.75) << "the later arrival's due time";
    EXPECT_EQ(queue.Items(0)->Input->StationID, "RIVER1");
    EXPECT_EQ(released.load(), 1) << "the second end item was released at once";
}

TEST_F(ScheduleQueueTest, EntriesAreOrderedByTimeTagThenStation) {
    Schedule("ST1", 2000, 1.0);
    Schedule("ST1", 1000, 2.0);
    Schedule("b", 1000, 3.0);
    Schedule("A", 1000, 4.0);
    Schedule("a", 3000, 5.0);
    ASSERT_EQ(queue.Count(), 5);
    const std::pair<TTimeTag, std::string> expected[] = {
        {1000, "A"}, {1000, "b"}, {1000, "ST1"}, {2000, "ST1"}, {3000, "a"}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(queue.Items(i)->Input->TimeTag, expected[i].first) << i;
        EXPECT_EQ(queue.Items(i)->Input->StationID, expected[i].second) << i;
    }
}

TEST_F(ScheduleQueueTest, DeleteAtClearAndDestructionReleaseTheEndItems) {
    {
        TScheduleQueue local;
        for (int i = 0; i < 4; ++i)
            local.Add(std::make_unique<TScheduleQueueItem>(
                std::make_unique<CountedEndItem>("ST", i, released), 1.0));
        local.DeleteAt(1);
        EXPECT_EQ(released.load(), 1);
        ASSERT_EQ(local.Count(), 3);
        EXPECT_EQ(local.Items(1)->Input->TimeTag, 2);
        EXPECT_THROW(local.DeleteAt(3), Exception);
        local.Clear();
        EXPECT_EQ(released.load(), 4);
        EXPECT_EQ(local.Count(), 0);
        local.Add(std::make_unique<TScheduleQueueItem>(
            std::make_unique<CountedEndItem>("ST", 9, released), 1.0));
    }
    EXPECT_EQ(released.load(), 5);
}

TEST_F(ScheduleQueueTest, AnItemWithoutStationRecordIsRefused) {
    EXPECT_THROW(queue.Add(std::make_unique<TScheduleQueueItem>(nullptr, 1.0)), Exception);
    queue.Add(nullptr);
    EXPECT_EQ(queue.Count(), 0);
}

}  // namespace
}  // namespace ov
