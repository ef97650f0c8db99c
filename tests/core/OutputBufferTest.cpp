// Tests of the output buffer: order, slot accounting and the drain requests of a writer that
// finds it full.
#include <gtest/gtest.h>

#include <string>

#include "core/OutputBuffer.h"
#include "support/TestCalcHost.h"
#include "util/Exception.h"

namespace ov {
namespace {

using test::TestCalcHost;

class OutputBufferTest : public ::testing::Test {
  protected:
    TestCalcHost host;
    TOutputBuffer buffer{host};
};

TEST_F(OutputBufferTest, LinesComeOutInOrderWithTheirKinds) {
    buffer.Add("first", okStatus);
    buffer.Add("second", okDetail);
    buffer.Add("third", okError);
    EXPECT_TRUE(buffer.HasItems());
    std::string text;
    TOutputKind kind = okDetail;
    ASSERT_TRUE(buffer.Get(text, kind));
    EXPECT_EQ(text, "first");
    EXPECT_EQ(kind, okStatus);
    ASSERT_TRUE(buffer.Get(text, kind));
    EXPECT_EQ(text, "second");
    EXPECT_EQ(kind, okDetail);
    ASSERT_TRUE(buffer.Get(text, kind));
    EXPECT_EQ(text, "third");
    EXPECT_EQ(kind, okError);
    EXPECT_FALSE(buffer.Get(text, kind));
    EXPECT_EQ(text, "third") << "a failed Get leaves the out values alone";
    EXPECT_FALSE(buffer.HasItems());
    EXPECT_EQ(static_cast<int>(okDetail), 0);
    EXPECT_EQ(static_cast<int>(okError), 1);
    EXPECT_EQ(static_cast<int>(okStatus), 2);
}

TEST_F(OutputBufferTest, SixtyFourLinesFitAndClearFreesEverySlot) {
    for (int i = 0; i < OutputBufferSlots; ++i) buffer.Add("line " + std::to_string(i), okDetail);
    EXPECT_EQ(host.DrainRequests.load(), 0);
    EXPECT_EQ(buffer.Count(), OutputBufferSlots);
    buffer.Clear();
    EXPECT_FALSE(buffer.HasItems());
    for (int i = 0; i < OutputBufferSlots; ++i) buffer.Add("again " + std::to_string(i), okDetail);
    EXPECT_EQ(host.DrainRequests.load(), 0);
    EXPECT_EQ(buffer.Count(), OutputBufferSlots);
}

TEST_F(OutputBufferTest, AFullBufferSendsADrainRequestWithItsTimeLimit) {
    host.Output = &buffer;
    for (int i = 0; i < OutputBufferSlots; ++i) buffer.Add("line " + std::to_string(i), okDetail);
    buffer.Add("one more", okError);
    EXPECT_EQ(host.DrainRequests.load(), 1);
    EXPECT_EQ(host.LastDrainLimitMs.load(), 3000);
    auto lines = host.Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(OutputBufferSlots + 1));
    EXPECT_EQ(lines.front().first, "line 0");
    EXPECT_EQ(lines.back().first, "one more");
    EXPECT_EQ(lines.back().second, okError);
}

TEST_F(OutputBufferTest, AnUnansweredDrainRequestIsSentAgainAndNoLineIsLost) {
    host.Output = &buffer;
    for (int i = 0; i < OutputBufferSlots; ++i) buffer.Add("line " + std::to_string(i), okDetail);
    host.RefuseDrain = true;
    host.OnDrainRequest = [&] {
        if (host.DrainRequests.load() >= 3) host.RefuseDrain = false;
    };
    buffer.Add("late", okStatus);
    EXPECT_EQ(host.DrainRequests.load(), 3);
    auto lines = host.Lines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(OutputBufferSlots + 1));
    EXPECT_EQ(lines.back().first, "late");
}

TEST_F(OutputBufferTest, ALongLineIsKeptCutWithTheLengthItHad) {
    const std::string huge = "Error 1601: Value is not a number - " + std::string(16u << 20, '5');
    buffer.Add(huge, okDetail);
    buffer.Add(std::string(StatusLineLimit, 'x'), okError);
    TOutputLine line;
    ASSERT_TRUE(buffer.Get(line));
    EXPECT_EQ(line.Text, huge.substr(0, StatusLineLimit));
    EXPECT_LE(line.Text.capacity(), 2 * StatusLineLimit) << "the rest is not kept";
    EXPECT_EQ(line.Length, huge.size());
    EXPECT_EQ(line.Kind, okDetail);
    ASSERT_TRUE(buffer.Get(line));
    EXPECT_EQ(line.Text, std::string(StatusLineLimit, 'x'));
    EXPECT_EQ(line.Length, StatusLineLimit);
}

TEST_F(OutputBufferTest, AnErrorOfTheDrainRequestReachesTheWriter) {
    for (int i = 0; i < OutputBufferSlots; ++i) buffer.Add("line", okDetail);
    host.OnDrainRequest = [] { throw Exception("window gone"); };
    EXPECT_THROW(buffer.Add("lost", okDetail), Exception);
    EXPECT_EQ(buffer.Count(), OutputBufferSlots);
    std::string text;
    TOutputKind kind;
    ASSERT_TRUE(buffer.Get(text, kind));
    host.OnDrainRequest = nullptr;
    buffer.Add("fits", okDetail);
    EXPECT_EQ(host.DrainRequests.load(), 1) << "the freed slot took the line at once";
}

}  // namespace
}  // namespace ov
