// Stations to shards.
#include "model/StationShard.h"

#include "util/TextCompare.h"

namespace ov {

std::uint32_t StationHash(std::string_view station) {
    std::uint32_t hash = 2166136261u;
    for (char c : station) {
        hash ^= static_cast<unsigned char>(UpperAscii(c));
        hash *= 16777619u;
    }
    return hash;
}

int StationShard(std::string_view station, int shards) {
    if (shards <= 1) return 0;
    return static_cast<int>(StationHash(station) % static_cast<std::uint32_t>(shards));
}

std::vector<std::string> GroupInputStations(const TCalcGroupItem& group) {
    std::vector<std::string> stations;
    if (!group.MultiStations) return stations;
    for (const std::string& entry : group.MultiVariables) {
        const std::string_view value = ValueOfEntry(entry);
        const std::string_view station = value.substr(0, value.find('.'));
        if (station.empty()) continue;
        bool seen = false;
        for (const std::string& s : stations) seen = seen || SameText(s, station);
        if (!seen) stations.emplace_back(station);
    }
    return stations;
}

}  // namespace ov
