// What ovbridge publishes for OV Calc's results: the result record read back into its parts,
// the topics (PREFIX/out/STATION/SENSOR, PREFIX/last/..., PREFIX/records), the JSON message of
// a result, the WIS2 notification message, and the engine's status message.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "util/Format.h"
#include "util/TimeTag.h"

namespace ovbridge {

// A result record "time tag,STATION.SENSOR,value" in its parts; texts 8-bit as OV Calc holds
// them.
struct TResultRecord {
    ov::TTimeTag Tag = 0;
    std::string Station;
    std::string Sensor;
    std::string ValueText;
    std::optional<double> Value;  // none when the value text is no number
};

// Reads a record as OV Calc writes it: the time tag with the separators of tf, the value with
// its decimal separator (which may be a comma: the value is the rest after STATION.SENSOR).
// False when the record has no time tag or no STATION.SENSOR.
bool ReadResultRecord(std::string_view record, const ov::TTimeFormats& tf, TResultRecord& result);

// A topic level made of a name (UTF-8): "/", "+", "#" and "%" written as %2F, %2B, %23 and
// %25, so that a name is always one level and never a wildcard.
std::string TopicLevel(std::string_view name);

// The JSON message of one result: id, time (ISO 8601 with the zone's offset), station, sensor,
// value (a number; null when the value is the suite's null value or no number), and group
// (the number of the group that computes it) when known.
struct TResultMessage {
    std::string Id;
    std::string Time;
    std::string Station;  // UTF-8
    std::string Sensor;   // UTF-8
    std::optional<double> Value;
    std::optional<std::int32_t> Group;
};
std::string ResultJson(const TResultMessage& message);

// The settings of WIS2 notifications and a station's place.
struct TStationPlace {
    double Latitude = 0;
    double Longitude = 0;
    std::optional<double> Elevation;  // metres
};
struct TWis2Settings {
    bool Enabled = false;
    std::string Centre;      // centre id, e.g. "xx-ov-hydro"
    std::string DataPolicy;  // "core" or "recommended"
    std::string MetadataId;  // e.g. "urn:wmo:md:xx-ov-hydro:results"
    // The link of a notification; "{station}" and "{sensor}" are replaced by the topic levels.
    std::string Link;
    std::map<std::string, TStationPlace> Stations;  // by station name in upper case (8-bit)
};

// "origin/a/wis2/CENTRE/data/POLICY/hydrology/experimental/STATION/SENSOR".
std::string Wis2Topic(const TWis2Settings& settings, std::string_view station,
                      std::string_view sensor);

// A WIS2 notification message (a GeoJSON Feature) of one result: id, conformsTo, geometry (a
// Point: longitude, latitude and the elevation when known), properties pubtime, data_id,
// metadata_id, datetime and content (the result's JSON inline: encoding utf-8, value, size),
// and links (one, rel canonical). topic is the message's own topic.
std::string Wis2Message(const TWis2Settings& settings, const TStationPlace& place,
                        std::string_view id, std::string_view topic, std::time_t published,
                        std::time_t instant, std::string_view station, std::string_view sensor,
                        std::string_view content);

// The engine's status message (retained on PREFIX/status/ENGINE): "online" with the version
// and the start time, or "offline" (the last will, and the clean end); dropped (when not 0)
// counts the results lost from a full queue since the start.
std::string StatusJson(bool online, std::string_view engine, std::string_view version,
                       std::string_view started, std::string_view shard, std::uint64_t dropped = 0);

}  // namespace ovbridge
