// The system clock: local date-time and real waits on the wake event.
#include "core/Clock.h"

namespace ov {

TDateTime TSystemClock::Now() {
    return ov::Now();
}

bool TSystemClock::WaitFor(TWakeEvent& event, std::chrono::milliseconds timeout) {
    return event.WaitFor(timeout);
}

IClock& SystemClock() {
    static TSystemClock clock;
    return clock;
}

}  // namespace ov
