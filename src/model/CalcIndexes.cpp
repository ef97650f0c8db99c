// The group indexes: items keyed by station or by station and sensor, found by the arrays'
// binary search with names compared without regard to ASCII case.
#include "model/CalcIndexes.h"

#include "util/TextCompare.h"

namespace ov {

// ---- TCalSingleStation ----

TCalSingleStation::TCalSingleStation() : TOwningPtrArray(20) { SetSorted(true); }

int TCalSingleStation::Compare(TCalSingleStationItem* a, TCalSingleStationItem* b) const {
    return CompareText(a->StationID, b->StationID);
}

void TCalSingleStation::AddGroup(std::string_view stationID, TCalcGroupItem* group) {
    auto key = std::make_unique<TCalSingleStationItem>(std::string(stationID));
    std::int32_t index = 0;
    if (Find(key.get(), index)) {
        Items(index)->GroupRefs.push_back(group);
        return;
    }
    key->GroupRefs.push_back(group);
    InsertAt(index, std::move(key));
}

bool TCalSingleStation::Find(std::string_view stationID, const TGroupRefs*& groups) const {
    TCalSingleStationItem key{std::string(stationID)};
    std::int32_t index = 0;
    if (!Find(&key, index)) {
        groups = nullptr;
        return false;
    }
    groups = &Items(index)->GroupRefs;
    return true;
}

// ---- TCalMultipleStation ----

TCalMultipleStation::TCalMultipleStation() : TOwningPtrArray(20) { SetSorted(true); }

int TCalMultipleStation::Compare(TCalMultipleStationItem* a, TCalMultipleStationItem* b) const {
    const int byStation = CompareText(a->StationID, b->StationID);
    return byStation != 0 ? byStation : CompareText(a->SensorName, b->SensorName);
}

void TCalMultipleStation::AddGroup(std::string_view stationID, std::string_view sensorName,
                                   TCalcGroupItem* group) {
    auto key = std::make_unique<TCalMultipleStationItem>(std::string(stationID),
                                                         std::string(sensorName));
    std::int32_t index = 0;
    if (Find(key.get(), index)) {
        Items(index)->GroupRefs.push_back(group);
        return;
    }
    key->GroupRefs.push_back(group);
    InsertAt(index, std::move(key));
}

bool TCalMultipleStation::Find(std::string_view stationID, std::string_view sensorName,
                               const TGroupRefs*& groups) const {
    TCalMultipleStationItem key{std::string(stationID), std::string(sensorName)};
    std::int32_t index = 0;
    if (!Find(&key, index)) {
        groups = nullptr;
        return false;
    }
    groups = &Items(index)->GroupRefs;
    return true;
}

}  // namespace ov
