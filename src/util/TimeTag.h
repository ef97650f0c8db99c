// Time tags (seconds since 1984-12-31 00:00:00 local time), day numbers and date-times (days
// since 1899-12-30 as a double), and conversions between them.
#pragma once

#include <cstdint>
#include <string>

#include "util/FormatSettings.h"

namespace ov {

using TTimeTag = std::int32_t;
using TDateTime = double;

// 1984-12-31 00:00 as a date-time: the epoch of time tags.
inline constexpr TDateTime TimeTagEpoch = 31047.0;

std::uint16_t DayNumber(int year, int month, int day);
void DecodeDayNumber(std::uint16_t n, int& year, int& month, int& day);
std::int32_t SecondsOfDay(int hours, int minutes, int seconds);
// Division truncates toward zero; hours are not reduced modulo 24.
void SplitSeconds(std::int32_t s, int& hours, int& minutes, int& seconds);
TTimeTag MakeTimeTag(int year, int month, int day, int hours, int minutes, int seconds);
// MakeTimeTag without its wrap-around: false (tag untouched) when the date and time lie after
// the last time tag, 2147483647 (01/18/2053 03:14:07), where MakeTimeTag would wrap.
bool TryMakeTimeTag(int year, int month, int day, int hours, int minutes, int seconds,
                    TTimeTag& tag);
void DecodeTimeTag(TTimeTag tag, int& year, int& month, int& day, int& hours, int& minutes,
                   int& seconds);
TTimeTag NowTimeTag();
// Rounds to the nearest second, a half going to the even neighbour.
TTimeTag TagFromDateTime(TDateTime dt);
TDateTime DateTimeFromTag(TTimeTag tag);

// Calendar <-> date-time, proleptic Gregorian, no time zone applied.
TDateTime EncodeDateTime(int year, int month, int day, int hours = 0, int minutes = 0,
                         int seconds = 0, int milliseconds = 0);
void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hours, int& minutes,
                    int& seconds, int& milliseconds);
// The current local date and time.
TDateTime Now();

// "yyyy/mm/dd hh:nn:ss" of the current local time with the locale's separators.
std::string CurrentDateTimeText();

// A date-time as the record's short date and long time formats write it (date, blank, time).
std::string DateTimeText(TDateTime dt, const TFormatSettings& fs);

}  // namespace ov
