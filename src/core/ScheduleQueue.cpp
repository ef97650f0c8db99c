// The schedule queue of deferred station records.
#include "core/ScheduleQueue.h"

#include <string_view>
#include <utility>

#include "util/Exception.h"

namespace ov {

namespace {

// Compares two names with ASCII letters folded to upper case, byte by byte otherwise.
int CompareNames(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

}  // namespace

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
    return CompareNames(a->Input->StationID, b->Input->StationID);
}

}  // namespace ov
