// The station catalogue's list, sort orders and look-up.
#include "suite/StationSensorCache.h"

#include <algorithm>
#include <tuple>

#include "util/TextCompare.h"

namespace ov {

TStationSensorItem& TStationSensorCache::Append(std::unique_ptr<TStationSensorItem> item) {
    items_.push_back(std::move(item));
    return *items_.back();
}

TStationSensorItem& TStationSensorCache::Append(TStationSensorItem item) {
    return Append(std::make_unique<TStationSensorItem>(std::move(item)));
}

namespace {

const std::string* TextKey(const TStationSensorItem& item, TSortMode mode) {
    switch (mode) {
        case smBasin:
            return &item.Basin;
        case smDistrict:
            return &item.District;
        case smCity:
            return &item.City;
        case smCounty:
            return &item.County;
        case smState:
            return &item.State;
        case smCountry:
            return &item.Country;
        default:
            return nullptr;
    }
}

// Compares two entries by the keys of mode; caseFold false compares the same keys by their
// exact bytes, which only orders what the folded comparison found equal.
int CompareEntries(const TStationSensorItem& a, const TStationSensorItem& b, TSortMode mode,
                   bool caseFold) {
    auto text = [caseFold](const std::string& x, const std::string& y) {
        if (caseFold) return CompareText(x, y);
        return x < y ? -1 : (y < x ? 1 : 0);
    };
    if (mode == smSensors) {
        if (int c = text(a.SensorName, b.SensorName)) return c;
        return text(a.StationID, b.StationID);
    }
    if (const std::string* x = TextKey(a, mode)) {
        if (int c = text(*x, *TextKey(b, mode))) return c;
    } else if (mode == smPrimaryChannel || mode == smRandomChannel) {
        const std::int32_t x = mode == smPrimaryChannel ? a.PrimaryChannel : a.RandomChannel;
        const std::int32_t y = mode == smPrimaryChannel ? b.PrimaryChannel : b.RandomChannel;
        if (x != y) return x < y ? -1 : 1;
    }
    if (int c = text(a.StationID, b.StationID)) return c;
    return text(a.SensorName, b.SensorName);
}

// The remaining fields, so that the order never depends on the order of arrival.
auto OtherFields(const TStationSensorItem& e) {
    return std::tie(e.Basin, e.District, e.City, e.County, e.State, e.Country, e.PrimaryChannel,
                    e.RandomChannel);
}

}  // namespace

void TStationSensorCache::Sort(TSortMode mode) {
    if (!ValidSortMode(mode)) return;
    const auto before = [mode](const auto& a, const auto& b) {
        if (int c = CompareEntries(*a, *b, mode, true)) return c < 0;
        if (int c = CompareEntries(*a, *b, mode, false)) return c < 0;
        return OtherFields(*a) < OtherFields(*b);
    };
    // The order is total, so a catalogue in it already (sorted by the same view for the other
    // tree, or given so by the query) stays as it is: one pass instead of a whole sort.
    if (!std::is_sorted(items_.begin(), items_.end(), before))
        std::sort(items_.begin(), items_.end(), before);
}

bool TStationSensorCache::Contains(std::string_view stationID, std::string_view sensorName) const {
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        if (SameText((*it)->StationID, stationID) && SameText((*it)->SensorName, sensorName))
            return true;
    }
    return false;
}

}  // namespace ov
