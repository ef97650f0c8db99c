// The input buffer between the suite's events on the main thread and the calculation thread.
#include "core/InputBuffer.h"

#include <utility>

namespace ov {

TInputStationSensorBuffer::TInputStationSensorBuffer(IQueueHost& host) : host_(host) {}

TInputStationSensorBuffer::TInputStationSensorBuffer(IQueueHost& host, int slots,
                                                     std::chrono::milliseconds slotWait)
    : host_(host), slotWait_(slotWait), items_(slots) {}

TInputStationSensorBuffer::~TInputStationSensorBuffer() {
    Clear();
}

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
    return items_.Push(std::move(item), slotWait_, [&] {
        if (whileWaiting && !whileWaiting()) return false;
        host_.SignalThread();
        return true;
    });
}

bool TInputStationSensorBuffer::Peek(TInputItem*& item) {
    const std::unique_ptr<TInputItem>* head = items_.Front();
    if (head == nullptr) return false;
    item = head->get();
    return true;
}

bool TInputStationSensorBuffer::Get(std::unique_ptr<TInputItem>& item) {
    return items_.Pop(item);
}

bool TInputStationSensorBuffer::HasItems() {
    return !items_.Empty();
}

int TInputStationSensorBuffer::Count() {
    return items_.Count();
}

void TInputStationSensorBuffer::Clear() {
    items_.Clear();
}

}  // namespace ov
