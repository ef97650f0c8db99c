// Station records that arrive over MQTT, turned into the item change a data source sends OV
// Calc: a data line as a data source sends it (optionally after its item name), or the JSON form
// {"station": "RIVER1", "time": "2026-12-08T20:00:10+01:00", "values": {"HG": 1.82}}. A message
// is taken whole or not at all: whatever OV Calc could not read as written (a time tag it cannot
// scan, a pair without a station, a value that is no number) makes the message malformed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "util/Format.h"

namespace ovbridge {

struct TInputContext {
    // The date and time separators OV Calc reads time tags with (the locale's).
    const ov::TTimeFormats* Formats = nullptr;
    // The item a message that names none is announced under (the source's first item).
    std::string DefaultItem;
    // The suite's null value, which a JSON null stands for; none when it is not known.
    std::optional<std::int32_t> NullValue;
};

// One record to announce, all texts 8-bit (the engine's text).
struct TStationMessage {
    std::string Item;     // "$GOESTIMED", "$GOESRANDOM", "$TIMETAG" or "$REALTIME"
    std::string Data;     // the data line: time tag, then STATION.SENSOR,value pairs
    std::string Station;  // the record's station (its first pair's), which decides its shard
};

// The largest message taken; a longer one is malformed.
inline constexpr std::size_t MaxStationMessage = 65536;

// Reads payload (UTF-8, or 8-bit text when it is not UTF-8, as ovfeed takes its lines) as one of
// the two forms. False with why (a short English text) when it is neither.
bool ReadStationMessage(std::string_view payload, const TInputContext& context,
                        TStationMessage& message, std::string& why);

// The item name that a message may give: one of the four OV Calc takes data from, in any letter
// case; written back in upper case. False for any other text.
bool DataItemName(std::string_view text, std::string& item);

}  // namespace ovbridge
