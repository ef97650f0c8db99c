// The catalogue's views and level profiles.
#include "catalogue/CatalogueViews.h"

#include <charconv>
#include <string>

namespace ov {

const std::array<TCatalogueView, 10>& CatalogueViews() {
    static const std::array<TCatalogueView, 10> views = {{
        {smStations, "View By Stations", StationIcon},
        {smSensors, "View By Sensors", SensorIcon},
        {smBasin, "View By Basin", 41},
        {smDistrict, "View By District", 34},
        {smCity, "View By City", 35},
        {smCounty, "View By County", 36},
        {smState, "View By State", 38},
        {smCountry, "View By Country", 37},
        {smPrimaryChannel, "View By Primary Channel", 40},
        {smRandomChannel, "View By Random Channel", 39},
    }};
    return views;
}

const TCatalogueView& CatalogueView(TSortMode mode) {
    const auto& views = CatalogueViews();
    return ValidSortMode(mode) ? views[static_cast<std::size_t>(mode - FirstSortMode)] : views[0];
}

namespace {

std::string IntegerText(std::int32_t value) {
    char buffer[16];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// The first key of an attribute view (modes 5 to 12) as the level-1 label.
std::string AttributeText(const TStationSensorItem& item, TSortMode mode) {
    switch (mode) {
        case smBasin:
            return item.Basin;
        case smDistrict:
            return item.District;
        case smCity:
            return item.City;
        case smCounty:
            return item.County;
        case smState:
            return item.State;
        case smCountry:
            return item.Country;
        case smPrimaryChannel:
            return IntegerText(item.PrimaryChannel);
        case smRandomChannel:
            return IntegerText(item.RandomChannel);
        default:
            return {};
    }
}

void SetLevel(std::string& text, std::int32_t& image, std::string value, std::int32_t icon) {
    text = std::move(value);
    image = icon;
}

}  // namespace

void SetLevels(TStationSensorItem& item, TSortMode mode, TLevelProfile profile) {
    const bool picker = profile == TLevelProfile::lpStationSensorTree;
    SetLevel(item.Level2Text, item.Level2Image, {}, -1);
    SetLevel(item.Level3Text, item.Level3Image, {}, -1);
    if (mode == smSensors) {
        SetLevel(item.Level1Text, item.Level1Image, item.SensorName, SensorIcon);
        SetLevel(item.Level2Text, item.Level2Image, item.StationID, StationIcon);
    } else if (mode > smSensors && mode <= LastSortMode) {
        SetLevel(item.Level1Text, item.Level1Image, AttributeText(item, mode),
                 CatalogueView(mode).Icon);
        SetLevel(item.Level2Text, item.Level2Image, item.StationID, StationIcon);
        if (picker) SetLevel(item.Level3Text, item.Level3Image, item.SensorName, SensorIcon);
    } else {  // stations, and the stations' profile for a mode outside 3-12
        SetLevel(item.Level1Text, item.Level1Image, item.StationID, StationIcon);
        if (picker) SetLevel(item.Level2Text, item.Level2Image, item.SensorName, SensorIcon);
    }
}

}  // namespace ov
