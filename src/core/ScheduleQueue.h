// The schedule queue: station records whose current calculation is deferred by the schedule
// delay, kept by (time tag, station) so that a repeated arrival only moves the deadline.
// Private to the calculation thread; no lock.
#pragma once

#include <cstdint>
#include <memory>

#include "core/InputItems.h"
#include "model/PtrArray.h"
#include "util/TimeTag.h"

namespace ov {

class TScheduleQueueItem {
  public:
    TScheduleQueueItem(std::unique_ptr<TInputStationEndItem> input, TDateTime dueTime);

    std::unique_ptr<TInputStationEndItem> Input;  // the end item of the deferred record
    TDateTime DueTime = 0;                        // when the calculation becomes due
};

// Ordered by Input.TimeTag, then Input.StationID without regard to case; one entry per pair.
class TScheduleQueue : public TOwningPtrArray<TScheduleQueueItem> {
  public:
    explicit TScheduleQueue(std::int32_t initialCapacity = 20);

    // Takes item. When an entry for the same time tag and station is queued, only its DueTime
    // becomes the new item's, and the new item is released. An item without Input is refused
    // with an error.
    void Add(std::unique_ptr<TScheduleQueueItem> item);
    // Releases the entry at i with its end item and removes the position.
    void DeleteAt(std::int32_t i) { Delete(i); }

  protected:
    int Compare(TScheduleQueueItem* a, TScheduleQueueItem* b) const override;
};

}  // namespace ov
