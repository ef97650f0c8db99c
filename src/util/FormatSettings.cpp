// Reads the locale's separators and formats through the C library (nl_langinfo_l and
// localeconv on a private locale object), leaving the process's global locale alone.
#include "util/FormatSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>

namespace ov {

namespace {

// The first separator character of a strftime format such as "%m/%d/%y" or "%d.%m.%Y".
char SeparatorOf(const char* fmt, char fallback) {
    if (fmt == nullptr) return fallback;
    for (const char* p = fmt; *p != '\0'; ++p) {
        if (*p == '%') {
            if (p[1] == '\0') break;
            ++p;
            if (*p == 'E' || *p == 'O') ++p;  // modifiers such as %Ey
            if (*p == '\0') break;
            continue;
        }
        if (*p != ' ') return *p;
    }
    return fallback;
}

}  // namespace

TFormatSettings ReadLocaleFormatSettings(const char* localeName) {
    TFormatSettings fs;
    locale_t loc = newlocale(LC_ALL_MASK, localeName, static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) {
        // A partly installed locale: try the categories that matter one by one.
        loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, localeName, static_cast<locale_t>(0));
    }
    if (loc == static_cast<locale_t>(0))
        loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) return fs;

    const char* point = nl_langinfo_l(RADIXCHAR, loc);
    if (point != nullptr && std::strlen(point) == 1) fs.DecimalSeparator = point[0];
    const char* dfmt = nl_langinfo_l(D_FMT, loc);
    const char* tfmt = nl_langinfo_l(T_FMT, loc);
    fs.DateSeparator = SeparatorOf(dfmt, '/');
    fs.TimeSeparator = SeparatorOf(tfmt, ':');
    if (dfmt != nullptr && *dfmt != '\0') fs.ShortDateFormat = dfmt;
    if (tfmt != nullptr && *tfmt != '\0') fs.LongTimeFormat = tfmt;
    freelocale(loc);
    return fs;
}

const TFormatSettings& LocaleFormatSettings() {
    static const TFormatSettings settings = ReadLocaleFormatSettings("");
    return settings;
}

const TFormatSettings& USFormatSettings() {
    static const TFormatSettings settings = [] {
        TFormatSettings fs;
        fs.DecimalSeparator = '.';
        fs.DateSeparator = '/';
        fs.TimeSeparator = ':';
        fs.ShortDateFormat = "%m/%d/%Y";
        fs.LongTimeFormat = "%I:%M:%S %p";
        return fs;
    }();
    return settings;
}

}  // namespace ov
