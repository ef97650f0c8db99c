// Splitting a station network over several engines by station: which of N shards takes a
// station's records, by a stable hash of its name that every program and machine computes alike,
// and which stations a calculation group reads (a group whose stations lie on several shards
// cannot be calculated by any one engine).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/CalcGroups.h"

namespace ov {

// 32-bit FNV-1a over the name's bytes (8-bit text), ASCII letters taken in upper case, since
// station names compare without regard to their case: offset basis 2166136261, prime 16777619.
std::uint32_t StationHash(std::string_view station);

// StationHash(station) modulo shards (shards at least 1): 0 to shards - 1.
int StationShard(std::string_view station, int shards);

// The stations whose values a group reads, each once (the first spelling), in binding order:
// for a multiple-station group the station part of every "name=STATION.SENSOR" binding; for a
// single-station group none, since it reads only the station whose record sets it off.
std::vector<std::string> GroupInputStations(const TCalcGroupItem& group);

}  // namespace ov
