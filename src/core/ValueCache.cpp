// The value cache of the calculation thread.
#include "core/ValueCache.h"

#include <atomic>
#include <memory>
#include <utility>

#include "util/SortedFind.h"
#include "util/TextCompare.h"

namespace ov {

namespace {

// The search key of a station.sensor: both names folded to upper case, joined by a NUL so
// that comparing keys byte by byte orders by station, then sensor. Every look-up of every
// equation variable searches with it, so it is built once per item, not folded per step.
void MakeKey(std::string_view stationID, std::string_view sensorName, std::string& key) {
    key.resize(stationID.size() + 1 + sensorName.size());
    char* out = key.data();
    for (char c : stationID) *out++ = UpperAscii(c);
    *out++ = '\0';
    for (char c : sensorName) *out++ = UpperAscii(c);
}

}  // namespace

namespace {
std::atomic<std::uint64_t> itemSerials{0};
}  // namespace

TStationSensorDataItem::TStationSensorDataItem(std::string stationID, std::string sensorName)
    : StationID(std::move(stationID)),
      SensorName(std::move(sensorName)),
      Serial(itemSerials.fetch_add(1, std::memory_order_relaxed) + 1) {
    TimeTags.SetSorted(true);
    MakeKey(StationID, SensorName, Key);
}

TStationSensorDataCache::TStationSensorDataCache(std::int32_t initialCapacity, IClock& clock)
    : TOwningPtrArray(initialCapacity), clock_(clock) {
    SetSorted(true);
}

int TStationSensorDataCache::Compare(TStationSensorDataItem* a, TStationSensorDataItem* b) const {
    return a->Key.compare(b->Key);
}

bool TStationSensorDataCache::FindKey(std::string_view stationID, std::string_view sensorName,
                                      std::int32_t& index) const {
    std::string key;
    MakeKey(stationID, sensorName, key);
    return SortedFind(
        Count(), [this, &key](std::int32_t i) { return ItemUnchecked(i)->Key.compare(key); },
        index);
}

const TStationSensorDataItem* TStationSensorDataCache::FindItem(std::string_view stationID,
                                                                std::string_view sensorName) const {
    std::int32_t index = 0;
    return FindKey(stationID, sensorName, index) ? Items(index) : nullptr;
}

const TStationSensorDataItem* TStationSensorDataCache::FindItem(std::string_view key,
                                                                std::int32_t& index) const {
    const bool found = SortedFind(
        Count(), [this, key](std::int32_t i) { return ItemUnchecked(i)->Key.compare(key); }, index);
    return found ? ItemUnchecked(index) : nullptr;
}

std::string TStationSensorDataCache::KeyOf(std::string_view stationID,
                                           std::string_view sensorName) {
    std::string key;
    MakeKey(stationID, sensorName, key);
    return key;
}

void TStationSensorDataCache::Add(std::string_view stationID, std::string_view sensorName,
                                  double value, TTimeTag timeTag) {
    // The expiry counts from the moment the value is stored, not from its time tag.
    const TDateTime expiry = clock_.Now() + CacheRetention;
    std::int32_t index = 0;
    TStationSensorDataItem* item;
    if (FindKey(stationID, sensorName, index)) {
        item = Items(index);
        // Earlier than what the purge files it under: the clock went back.
        if (expiry < item->EarliestExpiry) expiringInOrder_ = false;
    } else {
        auto created = std::make_unique<TStationSensorDataItem>(std::string(stationID),
                                                                std::string(sensorName));
        item = created.get();
        item->EarliestExpiry = expiry;
        InsertAt(index, std::move(created));
        try {
            expiring_.push({expiry, item});
        } catch (...) {
            // Kept, but not filed: the next purge files every item anew.
            expiringInOrder_ = false;
            throw;
        }
    }
    std::int32_t p = 0;
    if (item->TimeTags.Find(timeTag, p)) {
        item->Values.PutAt(p, value);
        item->Expiries.PutAt(p, expiry);
    } else {
        // The three arrays must keep the same length, also when an insertion fails.
        item->TimeTags.InsertAt(p, timeTag);
        try {
            item->Values.InsertAt(p, value);
        } catch (...) {
            item->TimeTags.Delete(p);
            throw;
        }
        try {
            item->Expiries.InsertAt(p, expiry);
        } catch (...) {
            item->Values.Delete(p);
            item->TimeTags.Delete(p);
            throw;
        }
    }
}

bool TStationSensorDataCache::Lookup(std::string_view stationID, std::string_view sensorName,
                                     TTimeTag& timeTag, double& value) const {
    const TStationSensorDataItem* item = FindItem(stationID, sensorName);
    return item != nullptr && LookupIn(*item, timeTag, value);
}

bool TStationSensorDataCache::LookupIn(const TStationSensorDataItem& item, TTimeTag& timeTag,
                                       double& value, std::int32_t* position) {
    // The time tags are strictly ascending: searched directly rather than through the
    // array's general comparison (this runs for every variable of every calculation).
    const TIntArray& tags = item.TimeTags;
    std::int32_t p = 0;
    if (SortedFind(
            tags.Count(),
            [&tags, timeTag](std::int32_t i) {
                const TTimeTag t = tags.GetUnchecked(i);
                return t < timeTag ? -1 : (t > timeTag ? 1 : 0);
            },
            p)) {
        value = item.Values.GetAt(p);
        if (position != nullptr) *position = p;
        return true;
    }
    // p counts the cached time tags earlier than the requested one. A single earlier value is
    // not enough to stand in for the requested one.
    if (p < 2) return false;
    timeTag = item.TimeTags.GetAt(p - 1);
    value = item.Values.GetAt(p - 1);
    if (position != nullptr) *position = p - 1;
    return true;
}

bool TStationSensorDataCache::PurgeItem(TStationSensorDataItem& item, TDateTime now) {
    bool kept = false;
    for (std::int32_t j = item.Count() - 1; j >= 0; --j) {
        const TDateTime expiry = item.Expiries.GetAt(j);
        if (expiry < now) {
            item.TimeTags.Delete(j);
            item.Values.Delete(j);
            item.Expiries.Delete(j);
        } else if (!kept || expiry < item.EarliestExpiry) {
            kept = true;
            item.EarliestExpiry = expiry;
        }
    }
    return !kept;
}

void TStationSensorDataCache::Purge() {
    const TDateTime now = clock_.Now();
    if (!expiringInOrder_) {
        PurgeAll(now);
        return;
    }
    // Only an item filed under an expiry earlier than now can hold an entry to drop: its key is
    // never later than its earliest entry's expiry while the expiries follow the clock.
    while (!expiring_.empty() && expiring_.top().first < now) {
        TStationSensorDataItem* item = expiring_.top().second;
        expiring_.pop();
        if (!PurgeItem(*item, now)) {
            expiring_.push({item->EarliestExpiry, item});
            continue;
        }
        std::int32_t index = 0;
        const bool found = SortedFind(
            Count(),
            [this, item](std::int32_t i) { return ItemUnchecked(i)->Key.compare(item->Key); },
            index);
        if (found) TOwningPtrArray::Delete(index);
    }
}

void TStationSensorDataCache::PurgeAll(TDateTime now) {
    expiring_ = {};
    for (std::int32_t i = Count() - 1; i >= 0; --i) {
        TStationSensorDataItem* item = Items(i);
        if (PurgeItem(*item, now)) {
            TOwningPtrArray::Delete(i);
        } else {
            expiring_.push({item->EarliestExpiry, item});
        }
    }
    expiringInOrder_ = true;
}

void TStationSensorDataCache::Delete(std::int32_t index) {
    // Its place among the expiring items is not known: the next purge files them anew.
    expiringInOrder_ = false;
    TOwningPtrArray::Delete(index);
}

void TStationSensorDataCache::Clear() {
    TOwningPtrArray::Clear();
    expiring_ = {};
    expiringInOrder_ = true;
}

}  // namespace ov
