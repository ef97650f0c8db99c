// Round trips of the "%" formatter and scanner and of the system's number text: a value
// written reads back as the same value. Each check states the values it holds for and runs on
// those only; the format, scan and timetag targets share them.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "util/FloatText.h"
#include "util/Format.h"
#include "util/Scan.h"
#include "util/TimeTag.h"

namespace ov::fuzz {

// The largest count of seconds that "%t" writes so that "%t" reads it back: hours up to 65535
// (the most a part of a time text reads), minutes and seconds below 60.
inline constexpr std::int32_t MaxTimeSeconds = 65535 * 3600 + 3599;

// Date and time texts read back when neither separator is a digit, which would run into the
// numbers around it; any other byte will do.
inline bool TimeSeparatorsUsable(const TTimeFormats& tf) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return !digit(tf.Settings.DateSeparator) && !digit(tf.Settings.TimeSeparator);
}

// Scans the whole of source with format into value; false when the scan fails or leaves
// characters over.
template <class T>
bool ScanWhole(std::string_view source, std::string_view format, T& value, const TTimeFormats& tf) {
    int position = 1;
    return ScanText(source, position, format, {&value}, tf) &&
           position == static_cast<int>(source.size()) + 1;
}

// The integer directives, each read back by the scanner's directive of the same letter (none
// of them depends on the locale):
//   "%i", plain and zero-filled to a width: every 32-bit integer (a width filled with blanks
//     does not read back: the scanner skips no blanks before a number);
//   "%w": 0 to 65535;
//   "%m": truncated in single precision as designed, so within 1 of n for |n| <= 2^24.
inline void CheckIntegerRoundTrips(std::int32_t n) {
    const TTimeFormats& tf = DefaultTimeFormats();
    auto failed = [n](std::string_view directive, const std::string& text, long long back) {
        return [=] {
            return std::string(directive) + " of " + std::to_string(n) + " wrote \"" + Shown(text) +
                   "\", read back as " + std::to_string(back);
        };
    };
    for (const std::string_view format : {"%i", "%012i"}) {
        const std::string text = FormatText(format, {n}, tf);
        std::int32_t back = 0;
        Require(ScanWhole(text, "%i", back, tf) && back == n, failed(format, text, back));
    }
    if (n >= 0 && n <= 65535) {
        const std::string text = FormatText("%w", {n}, tf);
        std::uint16_t back = 0;
        Require(ScanWhole(text, "%w", back, tf) && back == n, failed("%w", text, back));
    }
    if (n >= -(1 << 24) && n <= (1 << 24)) {
        const std::string text = FormatText("%m", {n}, tf);
        std::int32_t back = 0;
        Require(ScanWhole(text, "%m", back, tf) && back - static_cast<long long>(n) <= 1 &&
                    static_cast<long long>(n) - back <= 1,
                failed("%m", text, back));
    }
}

// The time directives with tf's separators, each read back by the scanner's directive of the
// same letter:
//   "%j": every time tag from 0 to the last, 2147483647 (01/18/2053 03:14:07), in 19
//     characters, also by "%J" before a comma; its date and time give the tag again;
//   "%d": every day number (the argument's low 16 bits);
//   "%t": -MaxTimeSeconds to MaxTimeSeconds.
// Separators that are digits are left out: no time text with them reads back.
inline void CheckTimeRoundTrips(std::int32_t n, const TTimeFormats& tf) {
    if (!TimeSeparatorsUsable(tf)) return;
    auto failed = [n](std::string_view directive, const std::string& text, long long back) {
        return [=] {
            return std::string(directive) + " of " + std::to_string(n) + " wrote \"" + Shown(text) +
                   "\", read back as " + std::to_string(back);
        };
    };
    if (n >= 0) {
        const std::string text = FormatText("%j", {n}, tf);
        Require(text.size() == 19 && TimeTagText(n, tf) == text, failed("%j", text, n));
        std::int32_t back = -1;
        Require(ScanWhole(text, "%j", back, tf) && back == n, failed("%j", text, back));
        back = -1;
        const std::string listed = text + ",next";
        int position = 1;
        Require(ScanText(listed, position, "%J", {&back}, tf) && back == n &&
                    position == static_cast<int>(text.size()) + 2,
                failed("%J", listed, back));
        int year, month, day, hours, minutes, seconds;
        DecodeTimeTag(n, year, month, day, hours, minutes, seconds);
        TTimeTag made = -1;
        Require(TryMakeTimeTag(year, month, day, hours, minutes, seconds, made) && made == n &&
                    MakeTimeTag(year, month, day, hours, minutes, seconds) == n,
                failed("DecodeTimeTag", text, made));
    }
    {
        const std::uint16_t dayNumber = static_cast<std::uint16_t>(n & 0xFFFF);
        const std::string text = FormatText("%d", {n}, tf);
        std::uint16_t back = 0;
        Require(ScanWhole(text, "%d", back, tf) && back == dayNumber, failed("%d", text, back));
    }
    if (n >= -MaxTimeSeconds && n <= MaxTimeSeconds) {
        const std::string text = FormatText("%t", {n}, tf);
        std::int32_t back = 0;
        Require(ScanWhole(text, "%t", back, tf) && back == n, failed("%t", text, back));
    }
}

// The real directive "%x" (always with "." as its decimal separator) with 0 to 9 decimals, and
// with 9 and its trailing zeros cut (a precision of 10 or more), read back by "%x": for every
// finite v, the value read writes the same text and lies within one unit of the last decimal
// of v. (Infinities are written "INF", which no number reads as; a NaN writes nothing.) A
// width filled with blanks does not read back, as for the integers.
inline void CheckFixedRoundTrips(double v) {
    if (!std::isfinite(v)) return;
    const TTimeFormats& tf = DefaultTimeFormats();
    // No decimals, one, the default six, the most (9) and the most with the zeros cut: each
    // precision takes the same way through the formatter, and every one costs a conversion.
    static constexpr struct {
        std::string_view Format;
        long double Unit;  // of the last decimal written
    } kFormats[] = {
        {"%1.0x", 1}, {"%1.1x", 1e-1L}, {"%x", 1e-6L}, {"%1.9x", 1e-9L}, {"%1.10x", 1e-9L}};
    for (const auto& f : kFormats) {
        const std::string_view format = f.Format;
        const long double unit = f.Unit;
        const std::string text = FormatText(format, {v}, tf);
        double back = 0;
        const bool read = ScanWhole(text, "%x", back, tf);
        const std::string again = read ? FormatText(format, {back}, tf) : std::string();
        const long double off = std::fabs(static_cast<long double>(back) - v);
        Require(read && again == text && off <= unit * (1 + 1e-12L), [&] {
            char shown[64];
            std::snprintf(shown, sizeof shown, "%.17g", v);
            std::string what = std::string(format) + " of " + shown + " wrote \"" + text + "\"";
            std::snprintf(shown, sizeof shown, "%.17g", back);
            return what + (read ? ", read back as " + std::string(shown) + ", written again \"" +
                                      again + "\""
                                : ", which does not read back");
        });
    }
}

// The general number text (FloatToText, 15 significant digits: results, configuration
// numbers) read by TryTextToFloat (data values) with the same decimal separator, one that is
// no digit, sign, blank or letter: for every finite v below 1.797693134862315E308 (above it
// the 15 digits round past the largest double), the value read writes the same text and lies
// within 1E-14 of v relative to v.
inline void CheckGeneralNumberRoundTrip(double v, char separator) {
    if (!std::isfinite(v) || std::fabs(v) >= 1.797693134862315E308) return;
    const std::string text = FloatToText(v, separator);
    double back = 0;
    const bool read = TryTextToFloat(text, back, separator);
    const std::string again = read ? FloatToText(back, separator) : std::string();
    const long double off = std::fabs(static_cast<long double>(back) - v);
    Require(read && again == text && off <= std::fabs(static_cast<long double>(v)) * 1E-14L, [&] {
        char shown[64];
        std::snprintf(shown, sizeof shown, "%.17g", v);
        return "FloatToText of " + std::string(shown) + " wrote \"" + text + "\"" +
               (read ? ", written again \"" + again + "\"" : ", which does not read back");
    });
}

// The text directives read back by the scanner's (neither depends on the locale):
//   "%s" by "%p": texts without a comma or a line break;
//   the quoting directive by the quoting one with "," as the terminator: texts without a line
//     break that do not hold both kinds of quote (the quote around the text would end inside
//     it).
inline void CheckTextRoundTrips(std::string_view text) {
    const TTimeFormats& tf = DefaultTimeFormats();
    if (text.find_first_of("\r\n") != std::string_view::npos) return;
    auto failed = [&](std::string_view directive, const std::string& written,
                      const std::string& back) {
        return [=, t = std::string(text)] {
            return std::string(directive) + " of \"" + Shown(t) + "\" wrote \"" + Shown(written) +
                   "\", read back as \"" + Shown(back) + "\"";
        };
    };
    if (text.find(',') == std::string_view::npos) {
        const std::string written = FormatText("%s", {text}, tf);
        std::string back;
        Require(ScanWhole(written, "%p", back, tf) && back == text, failed("%s", written, back));
    }
    if (text.find('"') == std::string_view::npos || text.find('\'') == std::string_view::npos) {
        // Followed by another field, which must read whole after it.
        const std::string written = FormatText("%\"%s", {text, std::string_view(",next")}, tf);
        std::string back, next;
        int position = 1;
        Require(ScanText(written, position, "%\",%p", {&back, &next}, tf) && back == text &&
                    next == "next" && position == static_cast<int>(written.size()) + 1,
                failed("%\"", written, back));
    }
}

}  // namespace ov::fuzz
