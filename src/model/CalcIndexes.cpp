// The group indexes: filing and finding by a key item built from the station, or the station
// and sensor.
#include "model/CalcIndexes.h"

namespace ov {

void TCalSingleStation::AddGroup(std::string_view stationID, TCalcGroupItem* group) {
    AddGroupUnder(std::make_unique<TCalSingleStationItem>(std::string(stationID)), group);
}

bool TCalSingleStation::Find(std::string_view stationID, const TGroupRefs*& groups) const {
    TCalSingleStationItem key{std::string(stationID)};
    return FindGroups(key, groups);
}

void TCalMultipleStation::AddGroup(std::string_view stationID, std::string_view sensorName,
                                   TCalcGroupItem* group) {
    AddGroupUnder(
        std::make_unique<TCalMultipleStationItem>(std::string(stationID), std::string(sensorName)),
        group);
}

bool TCalMultipleStation::Find(std::string_view stationID, std::string_view sensorName,
                               const TGroupRefs*& groups) const {
    TCalMultipleStationItem key{std::string(stationID), std::string(sensorName)};
    return FindGroups(key, groups);
}

}  // namespace ov
