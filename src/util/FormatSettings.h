// Locale format settings: the separators and formats that results, log lines, dates and times
// are written with. One record comes from the C library locale at start, one is US English.
#pragma once

#include <string>

namespace ov {

struct TFormatSettings {
    char DecimalSeparator = '.';
    char DateSeparator = '/';
    char TimeSeparator = ':';
    std::string ShortDateFormat = "%m/%d/%Y";  // strftime form
    std::string LongTimeFormat = "%H:%M:%S";   // strftime form
};

// The user's settings, read once from the environment's locale (LC_ALL/LC_NUMERIC/LC_TIME)
// without changing the process's global locale. Thread-safe; the same record every call.
const TFormatSettings& LocaleFormatSettings();

// Reads the settings of a named C library locale ("" = the environment's); falls back to
// the "C" locale's values when the locale is not installed.
TFormatSettings ReadLocaleFormatSettings(const char* localeName);

// Locale 1033, US English: "." decimal separator, "/" and ":" separators.
const TFormatSettings& USFormatSettings();

}  // namespace ov
