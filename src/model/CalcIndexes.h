// Look-up indexes of the calculation thread: the groups an incoming station record
// (TCalSingleStation) or station.sensor value (TCalMultipleStation) sets off, found by binary
// search on names compared without regard to ASCII case.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/CalcGroups.h"
#include "model/PtrArray.h"

namespace ov {

// Groups filed under one key, in filing order; the index does not own them.
using TGroupRefs = std::vector<TCalcGroupItem*>;

class TCalSingleStationItem {
public:
    explicit TCalSingleStationItem(std::string stationID) : StationID(std::move(stationID)) {}
    std::string StationID;
    TGroupRefs GroupRefs;  // not owned
};

// Groups by station; at most one item per station (initial capacity 20). Owns its items,
// not the groups they list.
class TCalSingleStation : public TOwningPtrArray<TCalSingleStationItem> {
public:
    TCalSingleStation();

    using TOwningPtrArray::Find;
    // Appends group to the station's list, creating the item at its sorted position when the
    // station is new. A group added twice is listed (and calculated) twice.
    void AddGroup(std::string_view stationID, TCalcGroupItem* group);
    // True and the station's groups if the station is present; otherwise false and nullptr.
    // The list stays valid until the index changes.
    bool Find(std::string_view stationID, const TGroupRefs*& groups) const;

protected:
    int Compare(TCalSingleStationItem* a, TCalSingleStationItem* b) const override;
};

class TCalMultipleStationItem {
public:
    TCalMultipleStationItem(std::string stationID, std::string sensorName)
        : StationID(std::move(stationID)), SensorName(std::move(sensorName)) {}
    std::string StationID;
    std::string SensorName;
    TGroupRefs GroupRefs;  // not owned
};

// Groups by (station, sensor), ordered by station, then sensor; at most one item per pair
// (initial capacity 20). Owns its items, not the groups they list.
class TCalMultipleStation : public TOwningPtrArray<TCalMultipleStationItem> {
public:
    TCalMultipleStation();

    using TOwningPtrArray::Find;
    // As TCalSingleStation::AddGroup, keyed by the pair.
    void AddGroup(std::string_view stationID, std::string_view sensorName, TCalcGroupItem* group);
    // As TCalSingleStation::Find, keyed by the pair.
    bool Find(std::string_view stationID, std::string_view sensorName,
              const TGroupRefs*& groups) const;

protected:
    int Compare(TCalMultipleStationItem* a, TCalMultipleStationItem* b) const override;
};

}  // namespace ov
