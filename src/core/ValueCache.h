// The value cache: the recent values of every station.sensor by time tag, from which the
// calculator reads the variables of an equation. Private to the calculation thread; no lock.
#pragma once

#include <cstdint>
#include <queue>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Clock.h"
#include "model/BaseArray.h"
#include "model/PtrArray.h"
#include "util/TimeTag.h"

namespace ov {

// How long a cached value is kept after it was stored: 3 hours.
inline constexpr TDateTime CacheRetention = 0.125;

// One cached station.sensor. The three arrays always have the same length; TimeTags is
// strictly ascending and an entry is the triple at one position.
class TStationSensorDataItem {
  public:
    TStationSensorDataItem(std::string stationID, std::string sensorName);

    std::int32_t Count() const { return TimeTags.Count(); }

    std::string StationID;
    std::string SensorName;
    std::string Key;  // both names folded to upper case, joined by a NUL: the search key
    // Unique in the process for the item's life: a position remembered with its item's serial
    // holds that very item while ItemAt(position) has the serial, even if the memory of a
    // deleted item was used again.
    const std::uint64_t Serial;
    TIntArray TimeTags{16};
    TDoubleArray Values{16};
    TDoubleArray Expiries{16};  // date-time after which the entry is dropped
    // No entry expires before this: the earliest expiry when the cache last looked (an entry
    // renewed since may expire later). The purge's key for the item.
    TDateTime EarliestExpiry = 0;
};

// Ordered by StationID, then SensorName, both without regard to case (by Key); one item per
// pair.
class TStationSensorDataCache : public TOwningPtrArray<TStationSensorDataItem> {
  public:
    explicit TStationSensorDataCache(std::int32_t initialCapacity = 20,
                                     IClock& clock = SystemClock());

    // Stores value for timeTag, replacing a value already cached for it; either way the
    // entry expires CacheRetention after now.
    void Add(std::string_view stationID, std::string_view sensorName, double value,
             TTimeTag timeTag);
    // The value cached for timeTag; failing that, the latest earlier one (timeTag becomes its
    // time tag), but only when at least two earlier values are cached. False otherwise.
    bool Lookup(std::string_view stationID, std::string_view sensorName, TTimeTag& timeTag,
                double& value) const;
    // Drops every entry whose expiry is earlier than now, and every item left empty. Only the
    // items with such an entry are looked at, while the clock runs forward.
    void Purge();
    // Removes the item at index (and its entries); Clear removes them all.
    void Delete(std::int32_t index) override;
    void Clear() override;

    // The item of a station.sensor, or null.
    const TStationSensorDataItem* FindItem(std::string_view stationID,
                                           std::string_view sensorName) const;
    // The same by search key (KeyOf), with the item's position: a caller that remembers the
    // position and the item's Serial knows its item is still there while ItemAt(position)
    // has that serial.
    const TStationSensorDataItem* FindItem(std::string_view key, std::int32_t& index) const;
    // The item at index, or null past the end.
    const TStationSensorDataItem* ItemAt(std::int32_t index) const {
        return index >= 0 && index < Count() ? ItemUnchecked(index) : nullptr;
    }
    // The search key of a station.sensor: both names folded to upper case, joined by a NUL.
    static std::string KeyOf(std::string_view stationID, std::string_view sensorName);
    // Lookup within one item; position (if given) receives the entry's position.
    static bool LookupIn(const TStationSensorDataItem& item, TTimeTag& timeTag, double& value,
                         std::int32_t* position = nullptr);

  protected:
    int Compare(TStationSensorDataItem* a, TStationSensorDataItem* b) const override;

  private:
    // Binary search for the pair, as Find does it: the item's position, or where it belongs.
    bool FindKey(std::string_view stationID, std::string_view sensorName,
                 std::int32_t& index) const;
    // Every item looked at, as when the expiries may not follow the clock; the items' keys
    // made anew.
    void PurgeAll(TDateTime now);
    // Drops the expired entries of item (its earliest expiry made anew); true when it has none
    // left.
    static bool PurgeItem(TStationSensorDataItem& item, TDateTime now);

    IClock& clock_;
    // Every item by its EarliestExpiry, the earliest on top, one entry each while expiries
    // come in the clock's order; without that order (the clock went back, an item was deleted
    // from outside) the next purge looks at every item and files them again.
    using TExpiring = std::pair<TDateTime, TStationSensorDataItem*>;
    std::priority_queue<TExpiring, std::vector<TExpiring>, std::greater<TExpiring>> expiring_;
    bool expiringInOrder_ = true;
};

}  // namespace ov
