// The automatically resetting wake event of the calculation thread.
#include "core/WakeEvent.h"

namespace ov {

void TWakeEvent::Signal() {
    {
        TLockGuard guard(mutex_);
        signalled_ = true;
    }
    changed_.notify_one();
}

bool TWakeEvent::WaitFor(std::chrono::milliseconds timeout) {
    TUniqueLock guard(mutex_);
    if (!changed_.wait_for(guard.Native(), timeout,
                           [this]() OV_REQUIRES(mutex_) { return signalled_; }))
        return false;
    signalled_ = false;
    return true;
}

bool TWakeEvent::TryWait() {
    TLockGuard guard(mutex_);
    const bool was = signalled_;
    signalled_ = false;
    return was;
}

void TWakeEvent::Reset() {
    TLockGuard guard(mutex_);
    signalled_ = false;
}

}  // namespace ov
