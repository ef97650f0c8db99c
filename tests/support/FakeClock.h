// A clock for the calculation thread's tests: time moves only when the thread's wait times
// out (by the wait's own length) up to a limit the test sets, or when the test moves it.
// At the limit the thread's wait blocks until the wake event is set, so a test knows exactly
// which idle steps have run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "core/Clock.h"
#include "util/TimeTag.h"

namespace ov::test {

class FakeClock final : public ov::IClock {
  public:
    explicit FakeClock(ov::TDateTime start = ov::EncodeDateTime(2026, 8, 12, 12, 0, 0))
        : start_(start) {}

    ov::TDateTime Now() override {
        std::lock_guard<std::mutex> guard(mutex_);
        return start_ + static_cast<double>(elapsedMs_) / 86400000.0;
    }

    bool WaitFor(ov::TWakeEvent& event, std::chrono::milliseconds timeout) override {
        bool counted = false;
        for (;;) {
            if (event.TryWait()) return Woken();
            {
                std::lock_guard<std::mutex> guard(mutex_);
                if (elapsedMs_ + timeout.count() <= limitMs_) {
                    elapsedMs_ += timeout.count();
                    gated_ = false;
                    return false;
                }
                if (!counted) {
                    counted = true;
                    gated_ = true;
                    ++gateEntries_;
                    changed_.notify_all();
                }
            }
            if (event.WaitFor(std::chrono::milliseconds(2))) return Woken();
        }
    }

    // Milliseconds since the start.
    std::int64_t Elapsed() {
        std::lock_guard<std::mutex> guard(mutex_);
        return elapsedMs_;
    }
    // Moves the time to ms after the start, leaving the limit alone.
    void SetElapsed(std::int64_t ms) {
        std::lock_guard<std::mutex> guard(mutex_);
        elapsedMs_ = ms;
    }
    void AdvanceSeconds(double seconds) {
        std::lock_guard<std::mutex> guard(mutex_);
        elapsedMs_ += static_cast<std::int64_t>(seconds * 1000.0);
    }

    // How often a waiting thread came to rest at the limit.
    std::uint64_t GateEntries() {
        std::lock_guard<std::mutex> guard(mutex_);
        return gateEntries_;
    }
    // Waits (really, at most realLimit) until the thread has come to rest at the limit more
    // than `entries` times. False on time-out.
    bool WaitGateEntries(std::uint64_t entries,
                         std::chrono::milliseconds realLimit = std::chrono::seconds(20)) {
        std::unique_lock<std::mutex> guard(mutex_);
        return changed_.wait_for(guard, realLimit, [&] { return gateEntries_ > entries; });
    }
    // Lets the waiting thread's time run up to ms after the start, without waiting for it.
    void SetLimit(std::int64_t ms) {
        std::lock_guard<std::mutex> guard(mutex_);
        limitMs_ = ms;
    }
    // Lets the waiting thread's time run up to ms after the start, then waits until it rests
    // there. ms must exceed the time reached by at least one wait step.
    bool RunTo(std::int64_t ms) {
        std::uint64_t before;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            before = gateEntries_;
            limitMs_ = ms;
        }
        return WaitGateEntries(before);
    }

  private:
    bool Woken() {
        std::lock_guard<std::mutex> guard(mutex_);
        gated_ = false;
        return true;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    const ov::TDateTime start_;
    std::int64_t elapsedMs_ = 0;     // guarded by mutex_
    std::int64_t limitMs_ = 0;       // guarded by mutex_
    bool gated_ = false;             // guarded by mutex_
    std::uint64_t gateEntries_ = 0;  // guarded by mutex_
};

}  // namespace ov::test
