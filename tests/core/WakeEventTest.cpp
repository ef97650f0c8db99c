// Tests of the automatically resetting wake event.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/WakeEvent.h"

namespace ov {
namespace {

using namespace std::chrono_literals;

TEST(WakeEventTest, ASignalWakesOneWaitAndResetsItself) {
    TWakeEvent event;
    EXPECT_FALSE(event.WaitFor(0ms)) << "initially not signalled";
    event.Signal();
    event.Signal();
    EXPECT_TRUE(event.WaitFor(0ms));
    EXPECT_FALSE(event.WaitFor(1ms)) << "two signals before a wait wake it once";
    event.Signal();
    EXPECT_TRUE(event.TryWait());
    EXPECT_FALSE(event.TryWait());
    event.Signal();
    event.Reset();
    EXPECT_FALSE(event.TryWait());
}

TEST(WakeEventTest, ASignalFromAnotherThreadEndsAWait) {
    TWakeEvent event;
    std::thread signaller([&] {
        std::this_thread::sleep_for(5ms);
        event.Signal();
    });
    EXPECT_TRUE(event.WaitFor(20s));
    signaller.join();
}

}  // namespace
}  // namespace ov
