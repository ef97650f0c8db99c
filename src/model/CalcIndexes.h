// Look-up indexes of the calculation thread: the groups an incoming station record
// (TCalSingleStation) or station.sensor value (TCalMultipleStation) sets off, found by binary
// search on names compared without regard to ASCII case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/CalcGroups.h"
#include "model/PtrArray.h"
#include "util/TextCompare.h"

namespace ov {

// Groups filed under one key, in filing order; the index does not own them.
using TGroupRefs = std::vector<TCalcGroupItem*>;

// The index both kinds share: items of TItem, at most one per key, kept in key order
// (TItem::Compare) and found by binary search (initial capacity 20). Owns its items, not the
// groups they list.
template <class TItem>
class TGroupIndex : public TOwningPtrArray<TItem> {
  public:
    TGroupIndex() : TOwningPtrArray<TItem>(20) { this->SetSorted(true); }

    using TOwningPtrArray<TItem>::Find;

  protected:
    // Appends group to the list of the item with key's key, filing key as that item at its
    // sorted position when the key is new (else key is released). A group added twice is
    // listed (and calculated) twice.
    void AddGroupUnder(std::unique_ptr<TItem> key, TCalcGroupItem* group) {
        std::int32_t index = 0;
        if (Find(key.get(), index)) {
            this->Items(index)->GroupRefs.push_back(group);
            return;
        }
        key->GroupRefs.push_back(group);
        this->InsertAt(index, std::move(key));
    }
    // True and the groups of the item with key's key; otherwise false and nullptr. The list
    // stays valid until the index changes.
    bool FindGroups(TItem& key, const TGroupRefs*& groups) const {
        std::int32_t index = 0;
        if (!Find(&key, index)) {
            groups = nullptr;
            return false;
        }
        groups = &this->Items(index)->GroupRefs;
        return true;
    }

    int Compare(TItem* a, TItem* b) const override { return TItem::Compare(*a, *b); }
};

class TCalSingleStationItem {
  public:
    explicit TCalSingleStationItem(std::string stationID) : StationID(std::move(stationID)) {}
    std::string StationID;
    TGroupRefs GroupRefs;  // not owned

    // By StationID, without regard to ASCII case.
    static int Compare(const TCalSingleStationItem& a, const TCalSingleStationItem& b) {
        return CompareText(a.StationID, b.StationID);
    }
};

// Groups by station.
class TCalSingleStation : public TGroupIndex<TCalSingleStationItem> {
  public:
    using TGroupIndex::Find;
    // Appends group to the station's list, creating the item at its sorted position when the
    // station is new. A group added twice is listed (and calculated) twice.
    void AddGroup(std::string_view stationID, TCalcGroupItem* group);
    // True and the station's groups if the station is present; otherwise false and nullptr.
    // The list stays valid until the index changes.
    bool Find(std::string_view stationID, const TGroupRefs*& groups) const;
};

class TCalMultipleStationItem {
  public:
    TCalMultipleStationItem(std::string stationID, std::string sensorName)
        : StationID(std::move(stationID)), SensorName(std::move(sensorName)) {}
    std::string StationID;
    std::string SensorName;
    TGroupRefs GroupRefs;  // not owned

    // By StationID, then SensorName, both without regard to ASCII case.
    static int Compare(const TCalMultipleStationItem& a, const TCalMultipleStationItem& b) {
        const int byStation = CompareText(a.StationID, b.StationID);
        return byStation != 0 ? byStation : CompareText(a.SensorName, b.SensorName);
    }
};

// Groups by (station, sensor), ordered by station, then sensor.
class TCalMultipleStation : public TGroupIndex<TCalMultipleStationItem> {
  public:
    using TGroupIndex::Find;
    // As TCalSingleStation::AddGroup, keyed by the pair.
    void AddGroup(std::string_view stationID, std::string_view sensorName, TCalcGroupItem* group);
    // As TCalSingleStation::Find, keyed by the pair.
    bool Find(std::string_view stationID, std::string_view sensorName,
              const TGroupRefs*& groups) const;
};

}  // namespace ov
