// The Qt tests' wait: serves the event loop until a condition holds, so that queued calls,
// bus replies and timers go on while the test waits for their effect.
#pragma once

#include <QTest>
#include <chrono>
#include <functional>

namespace ov::test {

// Serves events in 10 ms steps until condition holds; false when limit passed first.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QTest::qWait(10);
    }
    return true;
}

}  // namespace ov::test
