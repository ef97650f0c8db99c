// The calculation thread's view of time: the current date-time and the timed wait for its
// wake event. The system clock is used in the program; tests put in a clock of their own so
// that idle steps and cache expiries take no real time.
#pragma once

#include <chrono>

#include "core/WakeEvent.h"
#include "util/TimeTag.h"

namespace ov {

class IClock {
  public:
    virtual ~IClock() = default;
    // The current local date-time (days since 1899-12-30).
    virtual TDateTime Now() = 0;
    // Waits for event at most timeout; true when it was set (and so reset), false on time-out.
    virtual bool WaitFor(TWakeEvent& event, std::chrono::milliseconds timeout) = 0;
};

// Local wall-clock time and real waits.
class TSystemClock final : public IClock {
  public:
    TDateTime Now() override;
    bool WaitFor(TWakeEvent& event, std::chrono::milliseconds timeout) override;
};

// The process's one system clock.
IClock& SystemClock();

}  // namespace ov
