// One entry of the station catalogue: a station/sensor pair of the suite database with the
// station's grouping attributes, and the labels and icons of its path in the tree shown now.
#pragma once

#include <cstdint>
#include <string>

namespace ov {

struct TStationSensorItem {
    std::string StationID;
    std::string SensorName;
    // The station's attributes; empty when the database holds null.
    std::string Basin;
    std::string District;
    std::string City;
    std::string County;
    std::string State;
    std::string Country;
    // 0 when the database holds null.
    std::int32_t PrimaryChannel = 0;
    std::int32_t RandomChannel = 0;

    // The entry's path in the current view: an empty text means the level is absent; an
    // image is an icon number of the dialogs' picture strip (-1: none).
    std::string Level1Text;
    std::string Level2Text;
    std::string Level3Text;
    std::int32_t Level1Image = 0;
    std::int32_t Level2Image = 0;
    std::int32_t Level3Image = 0;

    bool operator==(const TStationSensorItem&) const = default;
};

}  // namespace ov
