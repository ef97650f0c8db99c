// Tests of the input items' kind letters and of the input buffer's order, ownership and slot
// accounting, including a producer waiting on a full buffer.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "core/InputBuffer.h"
#include "support/TestCalcHost.h"
#include "util/Exception.h"

namespace ov {
namespace {

using test::TestCalcHost;

TEST(InputKindTest, ItemNamesGiveTheirKindLetterWithoutRegardToCase) {
    struct Case {
        const char* itemName;
        std::string_view kind;
    };
    const Case cases[] = {
        {"$REALTIME", "C"},  {"$realtime", "C"},   {"$Current", "C"},    {"$TIMETAG", "T"},
        {"$timeTag", "T"},   {"$GOESRANDOM", "R"}, {"$goesrandom", "R"}, {"$GOESTIMED", "S"},
        {"$GOESTimed", "S"}, {"REALTIME", "?"},    {"$TIMETAGS", "?"},   {"", "?"},
    };
    for (const Case& c : cases) EXPECT_EQ(InputKindOfItemName(c.itemName), c.kind) << c.itemName;
}

// An item that counts its own destruction, to see who releases what.
class CountedItem : public TInputStationEndItem {
  public:
    CountedItem(int number, std::atomic<int>& released)
        : TInputStationEndItem("ST" + std::to_string(number), number, KindCurrent),
          released_(released) {}
    ~CountedItem() override { ++released_; }

  private:
    std::atomic<int>& released_;
};

class InputBufferTest : public ::testing::Test {
  protected:
    TestCalcHost host;
    TInputStationSensorBuffer buffer{host};
    std::atomic<int> released{0};

    std::unique_ptr<TInputItem> Item(int number) {
        return std::make_unique<CountedItem>(number, released);
    }
    void Fill(int count) {
        for (int i = 0; i < count; ++i) ASSERT_TRUE(buffer.Add(Item(i)));
    }
};

TEST_F(InputBufferTest, ItemsComeOutInOrderAndBelongToTheTaker) {
    ASSERT_TRUE(buffer.Add(std::make_unique<TInputStationBeginItem>("ST1", 100, KindTimeTagged)));
    ASSERT_TRUE(
        buffer.Add(std::make_unique<TInputSensorItem>("ST1", 100, KindTimeTagged, "HG", "3.52")));
    ASSERT_TRUE(buffer.Add(std::make_unique<TInputStationEndItem>("ST1", 100, KindTimeTagged)));
    EXPECT_EQ(buffer.Count(), 3);

    std::unique_ptr<TInputItem> item;
    ASSERT_TRUE(buffer.Get(item));
    EXPECT_NE(dynamic_cast<TInputStationBeginItem*>(item.get()), nullptr);
    ASSERT_TRUE(buffer.Get(item));
    auto* sensor = dynamic_cast<TInputSensorItem*>(item.get());
    ASSERT_NE(sensor, nullptr);
    EXPECT_EQ(sensor->StationID, "ST1");
    EXPECT_EQ(sensor->SensorName, "HG");
    EXPECT_EQ(sensor->ValueText, "3.52");
    EXPECT_EQ(sensor->TimeTag, 100);
    EXPECT_EQ(sensor->Kind, "T");
    ASSERT_TRUE(buffer.Get(item));
    EXPECT_NE(dynamic_cast<TInputStationEndItem*>(item.get()), nullptr);
    EXPECT_FALSE(buffer.Get(item));
    EXPECT_FALSE(buffer.HasItems());
    EXPECT_NE(item, nullptr) << "a failed Get leaves the caller's item alone";
    EXPECT_FALSE(buffer.Add(nullptr));
    EXPECT_EQ(buffer.Count(), 0);
}

TEST_F(InputBufferTest, PeekLeavesTheHeadAndGetFreesExactlyOneSlot) {
    Fill(InputBufferSlots);
    TInputItem* head = nullptr;
    ASSERT_TRUE(buffer.Peek(head));
    EXPECT_EQ(head->StationID, "ST0");
    ASSERT_TRUE(buffer.Peek(head));
    EXPECT_EQ(head->StationID, "ST0");
    EXPECT_EQ(buffer.Count(), InputBufferSlots);

    std::unique_ptr<TInputItem> item;
    ASSERT_TRUE(buffer.Get(item));
    EXPECT_EQ(item.get(), head);
    EXPECT_EQ(released.load(), 0);
    item.reset();
    EXPECT_EQ(released.load(), 1);

    // One slot is free: this Add does not wait.
    ASSERT_TRUE(buffer.Add(Item(9000)));
    EXPECT_EQ(host.UiEventRounds.load(), 0);

    // The buffer is full again: the next Add waits until the consumer takes an item.
    host.OnProcessUiEvents = [&] {
        std::unique_ptr<TInputItem> taken;
        if (host.UiEventRounds.load() == 1) {
            ASSERT_TRUE(buffer.Get(taken));
        }
    };
    ASSERT_TRUE(buffer.Add(Item(9001)));
    EXPECT_GE(host.UiEventRounds.load(), 1);
    EXPECT_EQ(buffer.Count(), InputBufferSlots);
}

TEST_F(InputBufferTest, ClearOfAFullBufferReleasesItemsAndEverySlot) {
    Fill(InputBufferSlots);
    buffer.Clear();
    EXPECT_EQ(released.load(), InputBufferSlots);
    EXPECT_FALSE(buffer.HasItems());
    TInputItem* head = nullptr;
    EXPECT_FALSE(buffer.Peek(head));

    Fill(InputBufferSlots);
    EXPECT_EQ(host.UiEventRounds.load(), 0) << "no Add after Clear had to wait";
    EXPECT_EQ(buffer.Count(), InputBufferSlots);
}

TEST_F(InputBufferTest, AFullBufferKeepsTheProducerPumpingEventsAndWakingTheThread) {
    Fill(InputBufferSlots);
    std::atomic<bool> consumerMayTake{false};
    host.OnProcessUiEvents = [&] {
        if (host.UiEventRounds.load() >= 3) consumerMayTake = true;
    };
    std::thread consumer([&] {
        while (!consumerMayTake) std::this_thread::yield();
        std::unique_ptr<TInputItem> item;
        EXPECT_TRUE(buffer.Get(item));
    });

    ASSERT_TRUE(buffer.Add(Item(9000)));
    consumer.join();
    EXPECT_GE(host.UiEventRounds.load(), 3);
    EXPECT_GE(host.Signals.load(), 2);
    EXPECT_LE(host.Signals.load(), host.UiEventRounds.load());
    EXPECT_EQ(buffer.Count(), InputBufferSlots);
    std::unique_ptr<TInputItem> item;
    ASSERT_TRUE(buffer.Get(item));
    EXPECT_EQ(item->StationID, "ST1") << "the oldest item went to the consumer";
}

TEST_F(InputBufferTest, AnErrorWhilePumpingEventsDropsTheWaitingItemOnly) {
    Fill(InputBufferSlots);
    host.OnProcessUiEvents = [] { throw Exception("event failed"); };
    EXPECT_FALSE(buffer.Add(Item(9000)));
    EXPECT_EQ(released.load(), 1) << "the dropped item is released";
    EXPECT_EQ(buffer.Count(), InputBufferSlots);
    EXPECT_EQ(host.Signals.load(), 0);

    host.OnProcessUiEvents = nullptr;
    std::unique_ptr<TInputItem> item;
    ASSERT_TRUE(buffer.Get(item));
    EXPECT_EQ(item->StationID, "ST0");
    ASSERT_TRUE(buffer.Add(Item(9001))) << "no slot was lost by the failed Add";
}

TEST_F(InputBufferTest, DestructionReleasesWhatIsLeft) {
    {
        TestCalcHost otherHost;
        TInputStationSensorBuffer local(otherHost);
        for (int i = 0; i < 5; ++i) ASSERT_TRUE(local.Add(Item(i)));
    }
    EXPECT_EQ(released.load(), 5);
}

}  // namespace
}  // namespace ov
