// The output buffer between the calculation thread and the main window's status list.
#include "core/OutputBuffer.h"

namespace ov {

TOutputBuffer::TOutputBuffer(IQueueHost& host) : host_(host) {}

TOutputBuffer::~TOutputBuffer() { Clear(); }

void TOutputBuffer::Add(std::string text, TOutputKind kind) {
    // A drain request that is not answered in time is simply sent again: the line is never
    // dropped, and a busy window costs the writer at most the limit per attempt.
    while (!freeSlots_.try_acquire_for(OutputSlotWait)) host_.RequestDrain(DrainRequestLimit);
    std::lock_guard<std::mutex> guard(lock_);
    lines_.emplace_back(std::move(text), kind);
}

bool TOutputBuffer::Get(std::string& text, TOutputKind& kind) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (lines_.empty()) return false;
        text = std::move(lines_.front().first);
        kind = lines_.front().second;
        lines_.pop_front();
    }
    freeSlots_.release();
    return true;
}

bool TOutputBuffer::HasItems() {
    std::lock_guard<std::mutex> guard(lock_);
    return !lines_.empty();
}

int TOutputBuffer::Count() {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(lines_.size());
}

void TOutputBuffer::Clear() {
    std::ptrdiff_t dropped = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        dropped = static_cast<std::ptrdiff_t>(lines_.size());
        lines_.clear();
    }
    if (dropped > 0) freeSlots_.release(dropped);
}

}  // namespace ov
