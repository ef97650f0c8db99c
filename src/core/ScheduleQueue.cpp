// The schedule queue of deferred station records.
#include "core/ScheduleQueue.h"

#include <string_view>
#include <utility>

#include "util/Exception.h"
#include "util/TextCompare.h"

namespace ov {

TScheduleQueueItem::TScheduleQueueItem(std::unique_ptr<TInputStationEndItem> input,
                                       TDateTime dueTime)
    : Input(std::move(input)), DueTime(dueTime) {}

TScheduleQueue::TScheduleQueue(std::int32_t initialCapacity) : TOwningPtrArray(initialCapacity) {
    SetSorted(true);
}

void TScheduleQueue::Add(std::unique_ptr<TScheduleQueueItem> item) {
    if (!item) return;
    if (!item->Input) throw Exception("Scheduled item has no station record");
    std::int32_t index = 0;
    if (Find(item.get(), index)) {
        // The same station and time tag again: the deadline moves, no second calculation.
        Items(index)->DueTime = item->DueTime;
        return;
    }
    InsertAt(index, std::move(item));
}

int TScheduleQueue::Compare(TScheduleQueueItem* a, TScheduleQueueItem* b) const {
    if (a->Input->TimeTag != b->Input->TimeTag)
        return a->Input->TimeTag < b->Input->TimeTag ? -1 : 1;
    return CompareText(a->Input->StationID, b->Input->StationID);
}

}  // namespace ov
