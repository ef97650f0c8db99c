// The programs' session connection delivers from the start: a signal received before the event
// loop runs is handed on at once, not held back to be delivered after newer ones.
#include <gtest/gtest.h>

#include "BusTestSupport.h"

namespace ov::test {
namespace {

TEST(StartedSessionBus, DeliversBeforeTheEventLoopRuns) {
    TProgram started({OV_SESSION_BUS_PROBE_PATH});
    EXPECT_EQ(started.Wait(), 0) << started.Out() << started.Err();
}

}  // namespace
}  // namespace ov::test
