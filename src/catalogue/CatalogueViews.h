// The views of the station catalogue: the ten sort modes with their captions and icons, and
// the level profiles that turn an entry into a path of the setup dialog's station tree or of
// the picker's station.sensor tree.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "catalogue/StationSensorItem.h"

namespace ov {

// A sort mode: 3 to 12. The view at position i (from 0) of the dialogs' view lists uses mode
// i + 3.
using TSortMode = int;
inline constexpr TSortMode smStations = 3;
inline constexpr TSortMode smSensors = 4;
inline constexpr TSortMode smBasin = 5;
inline constexpr TSortMode smDistrict = 6;
inline constexpr TSortMode smCity = 7;
inline constexpr TSortMode smCounty = 8;
inline constexpr TSortMode smState = 9;
inline constexpr TSortMode smCountry = 10;
inline constexpr TSortMode smPrimaryChannel = 11;
inline constexpr TSortMode smRandomChannel = 12;
inline constexpr TSortMode FirstSortMode = smStations;
inline constexpr TSortMode LastSortMode = smRandomChannel;

inline constexpr bool ValidSortMode(TSortMode mode) {
    return mode >= FirstSortMode && mode <= LastSortMode;
}

// Icon numbers of the dialogs' picture strip.
inline constexpr std::int32_t StationIcon = 16;
inline constexpr std::int32_t SensorIcon = 29;

struct TCatalogueView {
    TSortMode Mode;
    std::string_view Caption;  // "View By Stations" ...
    std::int32_t Icon;         // beside the caption and on the view's level-1 nodes
};

// The ten views in list order (modes 3 to 12).
const std::array<TCatalogueView, 10>& CatalogueViews();
// The view of a mode; the first view (stations) for a mode outside 3-12.
const TCatalogueView& CatalogueView(TSortMode mode);

enum class TLevelProfile : std::uint8_t {
    lpStationTree,        // the setup dialog's tree of stations
    lpStationSensorTree,  // the picker's tree of station.sensor pairs
};

// Sets the entry's six level fields for the view of mode (3-12) in the tree of profile.
// Levels a view does not have get an empty text and the image -1.
void SetLevels(TStationSensorItem& item, TSortMode mode, TLevelProfile profile);

}  // namespace ov
