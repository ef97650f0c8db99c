// The input buffer between the suite's events on the main thread and the calculation thread.
#include "core/InputBuffer.h"

#include <utility>

namespace ov {

TInputStationSensorBuffer::TInputStationSensorBuffer(IQueueHost& host) : host_(host) {}

TInputStationSensorBuffer::~TInputStationSensorBuffer() { Clear(); }

bool TInputStationSensorBuffer::Add(std::unique_ptr<TInputItem> item) {
    return Add(std::move(item), [this] {
        try {
            host_.ProcessUiEvents();
        } catch (...) {
            return false;  // the item is dropped, as the events could not be served
        }
        return true;
    });
}

bool TInputStationSensorBuffer::Add(std::unique_ptr<TInputItem> item,
                                    const TSlotWaitProc& whileWaiting) {
    if (!item) return false;
    // The slot is taken outside the lock, so a full buffer never blocks the consumer's Get.
    while (!freeSlots_.try_acquire_for(InputSlotWait)) {
        if (whileWaiting && !whileWaiting()) return false;
        host_.SignalThread();
    }
    std::lock_guard<std::mutex> guard(lock_);
    items_.push_back(std::move(item));
    return true;
}

bool TInputStationSensorBuffer::Peek(TInputItem*& item) {
    std::lock_guard<std::mutex> guard(lock_);
    if (items_.empty()) return false;
    item = items_.front().get();
    return true;
}

bool TInputStationSensorBuffer::Get(std::unique_ptr<TInputItem>& item) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (items_.empty()) return false;
        item = std::move(items_.front());
        items_.pop_front();
    }
    freeSlots_.release();
    return true;
}

bool TInputStationSensorBuffer::HasItems() {
    std::lock_guard<std::mutex> guard(lock_);
    return !items_.empty();
}

int TInputStationSensorBuffer::Count() {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(items_.size());
}

void TInputStationSensorBuffer::Clear() {
    std::ptrdiff_t released = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        while (!items_.empty()) {
            items_.pop_back();
            ++released;
        }
    }
    if (released > 0) freeSlots_.release(released);
}

}  // namespace ov
