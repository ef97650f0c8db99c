// The programs' session connection delivers from the start: a signal received before the event
// loop runs is handed on at once, not held back to be delivered after newer ones.
#include <gtest/gtest.h>

#include "BusTestSupport.h"

namespace ov::test {
namespace {

TEST(StartedSessionBus, DeliversBeforeTheEventLoopRuns) {
    TProgram started({OV_SESSION_BUS_PROBE_PATH, "started"});
    EXPECT_EQ(started.Wait(), 0) << started.Out() << started.Err();
    // Qt's default connection, for comparison: it held the same signal back (the reason for
    // the started one). Told, not required: a later Qt may deliver at once.
    TProgram plain({OV_SESSION_BUS_PROBE_PATH, "default"});
    const int status = plain.Wait();
    EXPECT_NE(status, 2) << plain.Err();
    std::printf("Qt's default session connection: %s", plain.Out().c_str());
}

}  // namespace
}  // namespace ov::test
