// The calculation thread's wake event: an automatically resetting event. The calculation's
// host owns it; producers and the stop request signal it, the calculation thread waits on it.
#pragma once

#include <chrono>
#include <condition_variable>

#include "util/Mutex.h"

namespace ov {

class TWakeEvent {
  public:
    TWakeEvent() = default;
    TWakeEvent(const TWakeEvent&) = delete;
    TWakeEvent& operator=(const TWakeEvent&) = delete;

    // Sets the event; one waiter (or the next one to wait) sees it and resets it.
    void Signal();
    // Waits at most timeout; true when the event was set, which also resets it.
    bool WaitFor(std::chrono::milliseconds timeout);
    // True when the event was set, resetting it; never waits.
    bool TryWait();
    void Reset();

  private:
    TMutex mutex_;
    std::condition_variable changed_;
    bool signalled_ OV_GUARDED_BY(mutex_) = false;
};

}  // namespace ov
