// ovbridge's times: time tags to ISO 8601 in the chosen zone and back.
#include "ZoneTime.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace ovbridge {
namespace {

// The offset of the last quarter hour asked for (none after a zone is chosen).
std::int32_t cachedQuarter = -1;
long cachedOffset = 0;

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool LeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && LeapYear(y) ? 29 : days[m - 1];
}

std::string OffsetText(long offset) {
    const char sign = offset < 0 ? '-' : '+';
    const long a = offset < 0 ? -offset : offset;
    char text[48];
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", sign, a / 3600, a % 3600 / 60);
    return text;
}

}  // namespace

bool SelectTimeZone(const std::string& zone, std::string& why) {
    if (!zone.empty()) {
        const char* dir = std::getenv("TZDIR");
        const std::filesystem::path folder =
            dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo";
        std::error_code ec;
        if (zone.front() == '/' || zone.find("..") != std::string::npos ||
            !std::filesystem::is_regular_file(folder / zone, ec)) {
            why = "no time zone \"" + zone + "\" in " + folder.string() +
                  " (an IANA name such as Europe/Berlin or UTC)";
            return false;
        }
        ::setenv("TZ", (":" + zone).c_str(), 1);
    }
    ::tzset();
    cachedQuarter = -1;
    return true;
}

void LocalInstant(ov::TTimeTag tag, std::time_t& instant, long& offset) {
    int y, m, d, h, mi, s;
    ov::DecodeTimeTag(tag, y, m, d, h, mi, s);
    std::tm wall{};
    wall.tm_year = y - 1900;
    wall.tm_mon = m - 1;
    wall.tm_mday = d;
    wall.tm_hour = h;
    wall.tm_min = mi;
    wall.tm_sec = s;
    // mktime looks at the zone's file again on every call; the offset changes at most at a
    // quarter hour, and results come many to a quarter hour.
    const std::int32_t quarter = tag / 900;
    if (quarter != cachedQuarter) {
        std::tm probe = wall;
        probe.tm_isdst = -1;
        ::mktime(&probe);
        cachedOffset = probe.tm_gmtoff;
        cachedQuarter = quarter;
    }
    offset = cachedOffset;
    instant = ::timegm(&wall) - offset;
}

std::string IsoLocalText(ov::TTimeTag tag) {
    int y, m, d, h, mi, s;
    ov::DecodeTimeTag(tag, y, m, d, h, mi, s);
    std::time_t instant;
    long offset;
    LocalInstant(tag, instant, offset);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", y, m, d, h, mi, s);
    return text + OffsetText(offset);
}

std::string IsoUtcText(std::time_t instant) {
    std::tm utc{};
    ::gmtime_r(&instant, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

bool TagFromIsoText(std::string_view text, ov::TTimeTag& tag, std::string& why) {
    int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0;
    auto bad = [&why, text] {
        why = "\"" + std::string(text.substr(0, 64)) +
              "\" is no ISO 8601 date and time (2026-12-08T20:00:00, with Z or +01:00 or none)";
        return false;
    };
    if (!Digits(text, 0, 4, y) || text.size() < 16 || text[4] != '-' || !Digits(text, 5, 2, m) ||
        text[7] != '-' || !Digits(text, 8, 2, d) || (text[10] != 'T' && text[10] != ' ') ||
        !Digits(text, 11, 2, h) || text[13] != ':' || !Digits(text, 14, 2, mi))
        return bad();
    std::size_t at = 16;
    if (at < text.size() && text[at] == ':') {
        if (!Digits(text, at + 1, 2, s)) return bad();
        at += 3;
        if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
            ++at;
            const std::size_t from = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
            if (at == from) return bad();
        }
    }
    if (m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m) || h > 23 || mi > 59 || s > 59)
        return bad();
    bool zoned = false;
    long offset = 0;
    if (at < text.size()) {
        if (text[at] == 'Z' && at + 1 == text.size()) {
            zoned = true;
        } else if (text[at] == '+' || text[at] == '-') {
            int oh = 0, om = 0;
            const std::size_t rest = text.size() - at - 1;
            bool ok = Digits(text, at + 1, 2, oh);
            if (ok && rest == 5) {
                ok = text[at + 3] == ':' && Digits(text, at + 4, 2, om);
            } else if (ok && rest == 4) {
                ok = Digits(text, at + 3, 2, om);
            } else {
                ok = ok && rest == 2;
            }
            if (!ok || oh > 23 || om > 59) return bad();
            offset = (oh * 3600L + om * 60L) * (text[at] == '-' ? -1 : 1);
            zoned = true;
        } else {
            return bad();
        }
    }
    if (zoned) {
        std::tm fields{};
        fields.tm_year = y - 1900;
        fields.tm_mon = m - 1;
        fields.tm_mday = d;
        fields.tm_hour = h;
        fields.tm_min = mi;
        fields.tm_sec = s;
        const std::time_t instant = ::timegm(&fields) - offset;
        std::tm local{};
        if (::localtime_r(&instant, &local) == nullptr) return bad();
        y = local.tm_year + 1900;
        m = local.tm_mon + 1;
        d = local.tm_mday;
        h = local.tm_hour;
        mi = local.tm_min;
        s = local.tm_sec;
    }
    if (y < 1985 || !ov::TryMakeTimeTag(y, m, d, h, mi, s, tag)) {
        why = "\"" + std::string(text.substr(0, 64)) +
              "\" lies outside the time tags (1985-01-01 to 2053-01-18T03:14:07 local time)";
        return false;
    }
    return true;
}

}  // namespace ovbridge
