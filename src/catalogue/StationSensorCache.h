// The station catalogue: the station/sensor entries of the suite database in the order the
// catalogue query gave them until the first Sort. The catalogue owns its entries; tree nodes
// of the dialogs refer to them, which stays valid across a Sort and ends with Clear.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "catalogue/CatalogueViews.h"
#include "catalogue/StationSensorItem.h"

namespace ov {

class TStationSensorCache {
  public:
    TStationSensorCache() = default;
    TStationSensorCache(const TStationSensorCache&) = delete;
    TStationSensorCache& operator=(const TStationSensorCache&) = delete;

    // Takes the entry over and appends it; returns it.
    TStationSensorItem& Append(std::unique_ptr<TStationSensorItem> item);
    TStationSensorItem& Append(TStationSensorItem item);
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    TStationSensorItem& Items(int index) { return *items_.at(static_cast<std::size_t>(index)); }
    const TStationSensorItem& Items(int index) const {
        return *items_.at(static_cast<std::size_t>(index));
    }

    // Orders the entries by the keys of mode (3-12), text keys without regard to ASCII letter
    // case, channels as signed numbers; entries equal so far keep a fixed order by their exact
    // bytes, so a catalogue sorts alike whatever order the database gave. A mode outside
    // 3-12 leaves the order as it is.
    void Sort(TSortMode mode);

    // True when an entry has this station and sensor, compared without regard to case.
    bool Contains(std::string_view stationID, std::string_view sensorName) const;

  private:
    std::vector<std::unique_ptr<TStationSensorItem>> items_;
};

}  // namespace ov
