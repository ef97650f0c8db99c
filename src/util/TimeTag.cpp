// Time tags, day numbers and date-times. Calendar arithmetic is proleptic Gregorian on day
// counts (no time zone or daylight-saving adjustment, as the suite stamps local time).
#include "util/TimeTag.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "util/Format.h"

namespace ov {

namespace {

// Days since 1970-01-01 of a civil date (month 1-12).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

bool IsLeapYear(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// 1899-12-30, day 0 of date-times, counted from 1970-01-01.
constexpr std::int64_t DateTimeDay0 = -25569;

// The day number before it is kept to 16 bits.
std::int64_t DayCount(int year, int month, int day) {
    std::int64_t y = year;
    std::int64_t m = month;
    while (m > 13) {
        y += 1;
        m -= 12;
    }
    if ((y == 0 && m == 0 && day == 0) || y < 1985) return 0;
    if (m < 0) return 0;  // no month before "month 0": nothing sensible to count
    static constexpr int before[14] = {0,   0,   31,  59,  90,  120, 151,
                                       181, 212, 243, 273, 304, 334, 365};
    std::int64_t days = before[m];
    if (m > 2 && IsLeapYear(y)) days += 1;
    days += DaysFromCivil(y - 1, 12, 31) - DaysFromCivil(1984, 12, 31);
    days += day;
    return days;
}

}  // namespace

std::uint16_t DayNumber(int year, int month, int day) {
    return static_cast<std::uint16_t>(DayCount(year, month, day));
}

void DecodeDayNumber(std::uint16_t n, int& year, int& month, int& day) {
    CivilFromDays(DaysFromCivil(1984, 12, 31) + n, year, month, day);
}

std::int32_t SecondsOfDay(int hours, int minutes, int seconds) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(hours) * 3600u +
                                     static_cast<std::uint32_t>(minutes) * 60u +
                                     static_cast<std::uint32_t>(seconds));
}

void SplitSeconds(std::int32_t s, int& hours, int& minutes, int& seconds) {
    hours = s / 3600;
    minutes = (s % 3600) / 60;
    seconds = s % 60;
}

TTimeTag MakeTimeTag(int year, int month, int day, int hours, int minutes, int seconds) {
    // Wraps like the 32-bit arithmetic of the suite: day numbers above 24855 give no valid tag.
    std::uint32_t t = static_cast<std::uint32_t>(DayNumber(year, month, day)) * 86400u +
                      static_cast<std::uint32_t>(SecondsOfDay(hours, minutes, seconds));
    return static_cast<TTimeTag>(t);
}

bool TryMakeTimeTag(int year, int month, int day, int hours, int minutes, int seconds,
                    TTimeTag& tag) {
    // Counted in 64 bits: a text such as 99/99/9999 99:99:99 must not wrap into a tag that
    // names some other time.
    const std::int64_t t = DayCount(year, month, day) * 86400 + std::int64_t{hours} * 3600 +
                           std::int64_t{minutes} * 60 + seconds;
    if (t < 0 || t > INT32_MAX) return false;
    tag = static_cast<TTimeTag>(t);
    return true;
}

void DecodeTimeTag(TTimeTag tag, int& year, int& month, int& day, int& hours, int& minutes,
                   int& seconds) {
    std::int32_t dayNo = tag / 86400;
    std::int32_t s = tag % 86400;
    DecodeDayNumber(static_cast<std::uint16_t>(dayNo), year, month, day);
    SplitSeconds(s, hours, minutes, seconds);
}

TDateTime EncodeDateTime(int year, int month, int day, int hours, int minutes, int seconds,
                         int milliseconds) {
    std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
        DateTimeDay0;
    double frac = (hours * 3600.0 + minutes * 60.0 + seconds + milliseconds / 1000.0) / 86400.0;
    return static_cast<double>(days) + frac;
}

void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hours, int& minutes,
                    int& seconds, int& milliseconds) {
    // Whole milliseconds, rounded, so 0.9999999 of a day does not read as 23:59:59.999.
    double ms = std::round(dt * 86400000.0);
    std::int64_t total = static_cast<std::int64_t>(ms);
    std::int64_t days = total / 86400000;
    std::int64_t rest = total % 86400000;
    if (rest < 0) {
        rest += 86400000;
        days -= 1;
    }
    CivilFromDays(days + DateTimeDay0, year, month, day);
    hours = static_cast<int>(rest / 3600000);
    minutes = static_cast<int>(rest / 60000 % 60);
    seconds = static_cast<int>(rest / 1000 % 60);
    milliseconds = static_cast<int>(rest % 1000);
}

TDateTime Now() {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t t = system_clock::to_time_t(now);
    std::tm lt{};
    localtime_r(&t, &lt);
    int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    if (ms < 0) ms += 1000;
    return EncodeDateTime(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min,
                          lt.tm_sec, ms);
}

TTimeTag NowTimeTag() {
    std::time_t t = std::time(nullptr);
    std::tm lt{};
    localtime_r(&t, &lt);
    return MakeTimeTag(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min,
                       lt.tm_sec);
}

TTimeTag TagFromDateTime(TDateTime dt) {
    // A date-time carries about a microsecond of noise at today's dates: snap to whole
    // milliseconds first so that an exact half second stays a half, then round it to the
    // even neighbour (nearbyint in the default rounding mode).
    double ms = std::round((dt - TimeTagEpoch) * 86400000.0);
    double s = std::nearbyint(ms / 1000.0);
    if (!(s >= -2147483648.0)) return INT32_MIN;
    if (s > 2147483647.0) return INT32_MAX;
    return static_cast<TTimeTag>(s);
}

TDateTime DateTimeFromTag(TTimeTag tag) {
    return TimeTagEpoch + tag / 86400.0;
}

std::string CurrentDateTimeText() {
    std::time_t t = std::time(nullptr);
    std::tm lt{};
    localtime_r(&t, &lt);
    const TTimeFormats& tf = DefaultTimeFormats();
    return FormatText(
        tf.StampFormat,
        {std::int32_t(lt.tm_year + 1900), std::int32_t(lt.tm_mon + 1), std::int32_t(lt.tm_mday),
         std::int32_t(lt.tm_hour), std::int32_t(lt.tm_min), std::int32_t(lt.tm_sec)},
        tf);
}

std::string DateTimeText(TDateTime dt, const TFormatSettings& fs) {
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(dt, y, mo, d, h, mi, s, ms);
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    const std::string format = fs.ShortDateFormat + " " + fs.LongTimeFormat;
    char buf[256];
    const std::size_t n = std::strftime(buf, sizeof buf, format.c_str(), &t);
    return std::string(buf, n);
}

}  // namespace ov
