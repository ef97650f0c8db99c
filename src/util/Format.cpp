// The "%" formatter. Directives: % [0] [width|*] [. precision|*] letter; see Format.h.
#include "util/Format.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "util/TextCompare.h"
#include "util/TimeTag.h"

namespace ov {

namespace {

// Widths beyond this come only from a broken format; they would only eat memory.
constexpr int MaxWidth = 65535;

std::string SeparatorText(char c) { return c == '%' ? std::string("%%") : std::string(1, c); }

void PadLeft(std::string& out, const std::string& text, int width) {
    if (width > static_cast<int>(text.size())) out.append(width - text.size(), ' ');
    out += text;
}

// Fixed notation with prec decimals; with trim, trailing zeros go while more than one
// character remains and the character before is not "." (2.000 -> 2.0).
std::string FixedText(long double v, int prec, bool trim) {
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    if (v == 0) v = 0;  // no "-0.000"
    std::vector<char> buf(128);
    auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, prec);
    if (res.ec != std::errc()) {
        buf.resize(6000);
        res = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, prec);
        if (res.ec != std::errc()) return std::string();
    }
    std::string s(buf.data(), res.ptr);
    if (trim) {
        while (s.size() > 1 && s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
    }
    return s;
}

void AppendQuoted(std::string& out, std::string_view text) {
    auto enclose = [&](char q) {
        out += q;
        out += text;
        out += q;
    };
    if (text.find(',') != std::string_view::npos) {
        enclose(text.find('"') != std::string_view::npos ? '\'' : '"');
    } else if (!text.empty() && text[0] == '"') {
        enclose('\'');
    } else if (!text.empty() && text[0] == '\'') {
        enclose('"');
    } else {
        out += text;
    }
}

// The "%j" text written directly: every result record carries one, so it skips the nested
// formats. False for what only the general path writes the same way (negative fields, years
// beyond four digits).
bool AppendDateTimeFast(std::string& out, std::int32_t tag, const TTimeFormats& tf) {
    int y, mo, d, h, mi, s;
    DecodeTimeTag(tag, y, mo, d, h, mi, s);
    if (tag < 0 || y > 9999 || h > 99) return false;
    auto two = [&out](int v) {
        out += static_cast<char>('0' + v / 10);
        out += static_cast<char>('0' + v % 10);
    };
    const char ds = tf.Settings.DateSeparator, ts = tf.Settings.TimeSeparator;
    two(mo);
    out += ds;
    two(d);
    out += ds;
    two(y / 100);
    two(y % 100);
    out += ' ';
    two(h);
    out += ts;
    two(mi);
    out += ts;
    two(s);
    return true;
}

}  // namespace

TTimeFormats::TTimeFormats(const TFormatSettings& fs) : Settings(fs) {
    const std::string d = SeparatorText(fs.DateSeparator);
    const std::string t = SeparatorText(fs.TimeSeparator);
    TimeFormat = "%02w" + t + "%02w" + t + "%02w";
    DateFormat = "%02w" + d + "%02w" + d + "%04w";
    DateTimeFormat = DateFormat + " " + TimeFormat;
    StampFormat = "%04w" + d + "%02w" + d + "%02w " + TimeFormat;
}

const TTimeFormats& DefaultTimeFormats() {
    static const TTimeFormats formats(LocaleFormatSettings());
    return formats;
}

void FormatAppend(std::string& out, std::string_view format, std::span<const TFormatArg> args,
                  const TTimeFormats& tf) {
    std::size_t argIndex = 0;
    const TFormatArg none = TFormatArg::Other(0);
    auto next = [&]() -> const TFormatArg& {
        return argIndex < args.size() ? args[argIndex++] : none;
    };

    const std::size_t n = format.size();
    std::size_t i = 0;
    while (i < n) {
        char c = format[i];
        if (c != '%') {
            out += c;
            ++i;
            continue;
        }
        ++i;
        if (i >= n) break;  // a lone "%" at the end writes nothing
        if (format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }

        bool zeroFill = false;
        if (format[i] == '0') {
            zeroFill = true;
            ++i;
        }
        int width = 0;
        bool haveWidth = false;
        if (i < n && format[i] == '*') {
            width = next().Payload();
            haveWidth = true;
            ++i;
        } else {
            while (i < n && format[i] >= '0' && format[i] <= '9') {
                width = std::min(MaxWidth, width * 10 + (format[i] - '0'));
                haveWidth = true;
                ++i;
            }
        }
        width = std::clamp(width, 0, MaxWidth);
        int precision = 6;
        // Only after a width does "." start a precision; otherwise it is the letter.
        if (haveWidth && i < n && format[i] == '.') {
            ++i;
            if (i < n && format[i] == '*') {
                precision = next().Payload();
                ++i;
            } else {
                precision = 0;
                while (i < n && format[i] >= '0' && format[i] <= '9') {
                    precision = std::min(1000, precision * 10 + (format[i] - '0'));
                    ++i;
                }
            }
        }
        if (precision < 0) precision = 0;
        bool trim = false;
        if (precision >= 10) {
            precision = 9;
            trim = true;
        }
        if (i >= n) break;
        const char letter = format[i++];

        const std::size_t fieldStart = out.size();
        if (letter >= 'A' && letter <= 'Z' && !out.empty()) out += ',';

        switch (UpperAscii(letter)) {
            case 'P':
            case 'S': {
                std::string_view text = next().TextForm();
                out += text;
                if (width > static_cast<int>(text.size())) out.append(width - text.size(), ' ');
                break;
            }
            case 'F': {
                std::string_view text = next().TextForm();
                out += text.substr(0, static_cast<std::size_t>(width));
                break;
            }
            case 'C': {
                const TFormatArg& a = next();
                char ch = static_cast<char>(a.Payload() & 0xFF);
                if (a.kind() == TFormatArg::Kind::Char || ch != '\0') out += ch;
                break;
            }
            case 'I':
            case 'W':
            case 'L':
                PadLeft(out, std::to_string(next().Payload()), width);
                break;
            case 'R':
            case 'X': {
                const TFormatArg& a = next();
                long double v = a.kind() == TFormatArg::Kind::Real ? a.Real()
                                : (a.kind() == TFormatArg::Kind::Integer ||
                                   a.kind() == TFormatArg::Kind::Other)
                                    ? static_cast<long double>(a.Payload())
                                    : 0.0L;
                if (std::isnan(v)) break;  // not a number writes nothing
                PadLeft(out, FixedText(v, precision, trim), width);
                break;
            }
            case 'M': {
                long double v = static_cast<long double>(next().Payload()) / 1000.0L;
                PadLeft(out, FixedText(v, precision, trim), width);
                break;
            }
            case 'B':
                out += next().Payload() != 0 ? "Yes" : "No";
                break;
            case '"':
                AppendQuoted(out, next().TextForm());
                break;
            case 'N':
                out += "\r\n";
                break;
            case 'J': {
                const std::int32_t tag = next().Payload();
                if (tf.Settings.DateSeparator != '%' && tf.Settings.TimeSeparator != '%' &&
                    AppendDateTimeFast(out, tag, tf))
                    break;
                int y, mo, d, h, mi, s;
                DecodeTimeTag(tag, y, mo, d, h, mi, s);
                FormatAppend(out, tf.DateTimeFormat,
                             {std::int32_t(mo), std::int32_t(d), std::int32_t(y), std::int32_t(h),
                              std::int32_t(mi), std::int32_t(s)},
                             tf);
                break;
            }
            case 'D': {
                int y, mo, d;
                DecodeDayNumber(static_cast<std::uint16_t>(next().Payload() & 0xFFFF), y, mo, d);
                FormatAppend(out, tf.DateFormat,
                             {std::int32_t(mo), std::int32_t(d), std::int32_t(y)}, tf);
                break;
            }
            case 'T': {
                std::int64_t s = next().Payload();
                if (s < 0) {
                    out += '-';
                    s = -s;
                }
                std::int64_t h = s / 3600, mi = (s % 3600) / 60, sec = s % 60;
                FormatAppend(out, tf.TimeFormat,
                             {static_cast<std::int32_t>(h), static_cast<std::int32_t>(mi),
                              static_cast<std::int32_t>(sec)},
                             tf);
                break;
            }
            default:
                break;  // letters without a directive write nothing and take no argument
        }

        if (zeroFill) {
            // Blanks become "0"; a sign moves to the field start while a "0" stands there.
            for (std::size_t j = fieldStart; j < out.size(); ++j) {
                if (out[j] == ' ') {
                    out[j] = '0';
                } else if ((out[j] == '+' || out[j] == '-') && out[fieldStart] == '0') {
                    out[fieldStart] = out[j];
                    out[j] = '0';
                }
            }
        }
    }
}

std::string FormatText(std::string_view format, std::span<const TFormatArg> args,
                       const TTimeFormats& tf) {
    std::string out;
    FormatAppend(out, format, args, tf);
    return out;
}

std::string TimeTagText(std::int32_t tag, const TTimeFormats& tf) {
    std::string out;
    out.reserve(19);
    FormatAppend(out, "%j", {tag}, tf);
    return out;
}

}  // namespace ov
