// ovfeed's input lines.
#include "LineSource.h"

#include <utility>

namespace ov {

TLineSource::TLineSource(std::unique_ptr<std::istream> owned, std::istream& in,
                         std::function<void()> notify)
    : owned_(std::move(owned)), in_(in), notify_(std::move(notify)) {}

TLineSource::~TLineSource() {
    if (thread_.joinable()) thread_.join();
}

void TLineSource::Start() {
    thread_ = std::thread([this] { Run(); });
}

void TLineSource::Run() {
    std::string line;
    for (;;) {
        bool more = static_cast<bool>(std::getline(in_, line));
        bool wake = false;
        {
            TUniqueLock guard(lock_);
            if (more) {
                room_.wait(guard.Native(),
                           [this]() OV_REQUIRES(lock_) { return lines_.size() < Capacity; });
                lines_.push_back(std::move(line));
            } else {
                ended_ = true;
                readFailed_ = in_.bad();
            }
            wake = waiting_;
            waiting_ = false;
        }
        if (wake) notify_();
        if (!more) return;
    }
}

bool TLineSource::ReadFailed() {
    TLockGuard guard(lock_);
    return readFailed_;
}

TLineSource::TTake TLineSource::Take(std::string& line) {
    TLockGuard guard(lock_);
    if (!lines_.empty()) {
        line = std::move(lines_.front());
        lines_.pop_front();
        // The reader refills in batches from half full: woken for every single free slot it
        // would cost a thread switch per line.
        if (lines_.size() == Capacity / 2) room_.notify_one();
        return tkLine;
    }
    if (ended_) return tkEnd;
    waiting_ = true;
    return tkNone;
}

}  // namespace ov
