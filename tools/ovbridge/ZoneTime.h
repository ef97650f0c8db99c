// Times as ovbridge writes and reads them. The suite stamps local time without a zone (time
// tags); over MQTT a time is ISO 8601 with the offset of the zone the settings name, so that a
// reader elsewhere knows the instant. The zone is the process's own (TZ), chosen once at start;
// these functions keep the last offset they found, for one thread (ovbridge has one).
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "util/TimeTag.h"

namespace ovbridge {

// Makes zone the process's time zone: an IANA name ("Europe/Berlin", "UTC") of the installed
// zone files ($TZDIR, else /usr/share/zoneinfo), or empty for the machine's own. False with
// why for a name no zone file answers to.
bool SelectTimeZone(const std::string& zone, std::string& why);

// The instant of a local wall-clock time and the zone's offset from UTC then, in seconds. In
// the hour the clocks go back the time is read as the first of the two (as mktime chooses);
// in the hour they skip, with the offset mktime gives, label and instant staying consistent.
void LocalInstant(ov::TTimeTag tag, std::time_t& instant, long& offset);

// "2026-12-08T20:00:00+01:00": the tag's wall clock with the zone's offset ("Z" never: a
// zone's offset is written out, +00:00 included).
std::string IsoLocalText(ov::TTimeTag tag);
// "2026-12-08T19:00:00Z".
std::string IsoUtcText(std::time_t instant);

// Reads an ISO 8601 date and time, "YYYY-MM-DD", "T" or a blank, "hh:mm:ss" (seconds may be
// left out or carry a fraction, which is dropped), then "Z", "+hh:mm", "+hhmm", "+hh" (or with
// "-") or nothing, in which case the time is the zone's local time. A time with an offset
// becomes the zone's wall clock at that instant. False with why for another text or a time
// outside the time tags (01/01/1985 00:00:00 to 01/18/2053 03:14:07).
bool TagFromIsoText(std::string_view text, ov::TTimeTag& tag, std::string& why);

}  // namespace ovbridge
