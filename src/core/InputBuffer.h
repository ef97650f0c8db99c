// The input buffer: station data handed from the main thread (the suite's item-change events)
// to the calculation thread, first in, first out, bounded to 8192 items.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "core/BoundedQueue.h"
#include "core/InputItems.h"
#include "core/QueueHost.h"

namespace ov {

inline constexpr int InputBufferSlots = 8192;
// How long a producer waits for a free slot before it pumps events and wakes the thread.
inline constexpr std::chrono::milliseconds InputSlotWait{10};

class TInputStationSensorBuffer {
  public:
    explicit TInputStationSensorBuffer(IQueueHost& host);
    // A buffer of fewer slots (1 to InputBufferSlots) whose producers wait slotWait at a time:
    // for tests of a full buffer.
    TInputStationSensorBuffer(IQueueHost& host, int slots, std::chrono::milliseconds slotWait);
    ~TInputStationSensorBuffer();
    TInputStationSensorBuffer(const TInputStationSensorBuffer&) = delete;
    TInputStationSensorBuffer& operator=(const TInputStationSensorBuffer&) = delete;

    // Main thread. Waits for a free slot, processing the host's user-interface events and
    // signalling the calculation thread every 10 ms, then appends item. False (item released)
    // when the event processing failed, or for a null item.
    bool Add(std::unique_ptr<TInputItem> item);
    // What a producer off the main thread does between its waits for a slot instead of the
    // user-interface events; false gives the wait up.
    using TSlotWaitProc = std::function<bool()>;
    // Any thread. As Add, but between the 10 ms waits it calls whileWaiting (no user-interface
    // events) and then wakes the calculation thread; false (item released) when whileWaiting
    // gave up, or for a null item.
    bool Add(std::unique_ptr<TInputItem> item, const TSlotWaitProc& whileWaiting);

    // Calculation thread. The head item, left in the buffer; it stays valid until the next
    // Get or Clear. No slot changes.
    bool Peek(TInputItem*& item);
    // Calculation thread. Removes the head item, hands it to the caller and frees its slot.
    bool Get(std::unique_ptr<TInputItem>& item);
    bool HasItems();
    int Count();
    // Releases every item, tail first, freeing one slot per item.
    void Clear();

  private:
    IQueueHost& host_;
    const std::chrono::milliseconds slotWait_ = InputSlotWait;
    TBoundedQueue<std::unique_ptr<TInputItem>, InputBufferSlots> items_;
};

}  // namespace ov
