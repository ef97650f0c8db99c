// The automatically resetting wake event of the calculation thread.
#include "core/WakeEvent.h"

namespace ov {

void TWakeEvent::Signal() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        signalled_ = true;
    }
    changed_.notify_one();
}

bool TWakeEvent::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(mutex_);
    if (!changed_.wait_for(guard, timeout, [this] { return signalled_; })) return false;
    signalled_ = false;
    return true;
}

bool TWakeEvent::TryWait() {
    std::lock_guard<std::mutex> guard(mutex_);
    const bool was = signalled_;
    signalled_ = false;
    return was;
}

void TWakeEvent::Reset() {
    std::lock_guard<std::mutex> guard(mutex_);
    signalled_ = false;
}

}  // namespace ov
