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

std::string SeparatorText(char c) {
    return c == '%' ? std::string("%%") : std::string(1, c);
}

void PadLeft(std::string& out, const std::string& text, int width) {
    if (width > static_cast<int>(text.size())) out.append(width - text.size(), ' ');
    out += text;
}

// Fixed notation with prec decimals; with trim, trailing zeros go while more than one
// character remains and the character before is not "." (2.000 -> 2.0).
std::string FixedText(long double v, int prec, bool trim) {
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    std::vector<char> buf(128);
    auto res =
        std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, prec);
    if (res.ec != std::errc()) {
        buf.resize(6000);
        res = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, prec);
        if (res.ec != std::errc()) return std::string();
    }
    std::string s(buf.data(), res.ptr);
    // A value that rounds to zero is written as zero is, without a sign: "-0.00" would read
    // back as a zero that writes "0.00".
    if (s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos) s.erase(0, 1);
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

// A directive's head: % [0] [width|*] [. precision|*] letter.
struct TDirective {
    bool ZeroFill = false;
    int Width = 0;
    int Precision = 6;
    bool Trim = false;  // trailing zeros go (a precision of 10 or more asked for)
    char Letter = 0;
};

// Writes one format with its arguments to the end of out.
class TFormatter {
  public:
    TFormatter(std::string& out, std::span<const TFormatArg> args, const TTimeFormats& tf)
        : out_(out), args_(args), tf_(tf) {}
    void Run(std::string_view format);

  private:
    const TFormatArg& Next() { return argIndex_ < args_.size() ? args_[argIndex_++] : none_; }
    bool ReadDirective(std::string_view format, std::size_t& i, TDirective& d);
    void Directive(const TDirective& d);
    void ZeroFill(std::size_t fieldStart);

    // One function per directive.
    void AppendText(const TDirective& d);
    void AppendCutText(const TDirective& d);
    void AppendChar();
    void AppendInteger(const TDirective& d);
    void AppendReal(const TDirective& d);
    void AppendThousandths(const TDirective& d);
    void AppendBoolean();
    void AppendQuotedText();
    void AppendLineBreak();
    void AppendDateTime();
    void AppendDate();
    void AppendTime();

    std::string& out_;
    std::span<const TFormatArg> args_;
    const TTimeFormats& tf_;
    std::size_t argIndex_ = 0;
    const TFormatArg none_ = TFormatArg::Other(0);  // what a missing argument reads as
};

void TFormatter::Run(std::string_view format) {
    const std::size_t n = format.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = format[i];
        if (c != '%') {
            out_ += c;
            ++i;
            continue;
        }
        ++i;
        if (i >= n) break;  // a lone "%" at the end writes nothing
        if (format[i] == '%') {
            out_ += '%';
            ++i;
            continue;
        }
        TDirective d;
        if (!ReadDirective(format, i, d)) break;
        const std::size_t fieldStart = out_.size();
        if (d.Letter >= 'A' && d.Letter <= 'Z' && !out_.empty()) out_ += ',';
        Directive(d);
        if (d.ZeroFill) ZeroFill(fieldStart);
    }
}

// Reads the head at format[i] (after the "%") up to and including the letter; false when the
// format ends first.
bool TFormatter::ReadDirective(std::string_view format, std::size_t& i, TDirective& d) {
    const std::size_t n = format.size();
    if (format[i] == '0') {
        d.ZeroFill = true;
        ++i;
    }
    bool haveWidth = false;
    if (i < n && format[i] == '*') {
        d.Width = Next().Payload();
        haveWidth = true;
        ++i;
    } else {
        while (i < n && format[i] >= '0' && format[i] <= '9') {
            d.Width = std::min(MaxWidth, d.Width * 10 + (format[i] - '0'));
            haveWidth = true;
            ++i;
        }
    }
    d.Width = std::clamp(d.Width, 0, MaxWidth);
    // Only after a width does "." start a precision; otherwise it is the letter.
    if (haveWidth && i < n && format[i] == '.') {
        ++i;
        if (i < n && format[i] == '*') {
            d.Precision = Next().Payload();
            ++i;
        } else {
            d.Precision = 0;
            while (i < n && format[i] >= '0' && format[i] <= '9') {
                d.Precision = std::min(1000, d.Precision * 10 + (format[i] - '0'));
                ++i;
            }
        }
    }
    if (d.Precision < 0) d.Precision = 0;
    if (d.Precision >= 10) {
        d.Precision = 9;
        d.Trim = true;
    }
    if (i >= n) return false;
    d.Letter = format[i++];
    return true;
}

void TFormatter::Directive(const TDirective& d) {
    switch (UpperAscii(d.Letter)) {
        case 'P':
        case 'S':
            return AppendText(d);
        case 'F':
            return AppendCutText(d);
        case 'C':
            return AppendChar();
        case 'I':
        case 'W':
        case 'L':
            return AppendInteger(d);
        case 'R':
        case 'X':
            return AppendReal(d);
        case 'M':
            return AppendThousandths(d);
        case 'B':
            return AppendBoolean();
        case '"':
            return AppendQuotedText();
        case 'N':
            return AppendLineBreak();
        case 'J':
            return AppendDateTime();
        case 'D':
            return AppendDate();
        case 'T':
            return AppendTime();
        default:
            return;  // letters without a directive write nothing and take no argument
    }
}

// Blanks of the field become "0"; a sign moves to the field's start while a "0" stands there.
void TFormatter::ZeroFill(std::size_t fieldStart) {
    for (std::size_t j = fieldStart; j < out_.size(); ++j) {
        if (out_[j] == ' ') {
            out_[j] = '0';
        } else if ((out_[j] == '+' || out_[j] == '-') && out_[fieldStart] == '0') {
            out_[fieldStart] = out_[j];
            out_[j] = '0';
        }
    }
}

// %p, %s: a text, padded on the right to the width.
void TFormatter::AppendText(const TDirective& d) {
    std::string_view text = Next().TextForm();
    out_ += text;
    if (d.Width > static_cast<int>(text.size())) out_.append(d.Width - text.size(), ' ');
}

// %f: a text cut to the width.
void TFormatter::AppendCutText(const TDirective& d) {
    std::string_view text = Next().TextForm();
    out_ += text.substr(0, static_cast<std::size_t>(d.Width));
}

// %c: a character; the zero character only from a character argument.
void TFormatter::AppendChar() {
    const TFormatArg& a = Next();
    char ch = static_cast<char>(a.Payload() & 0xFF);
    if (a.kind() == TFormatArg::Kind::Char || ch != '\0') out_ += ch;
}

// %i, %w, %l: the argument's 32-bit payload in decimal, padded on the left to the width.
void TFormatter::AppendInteger(const TDirective& d) {
    PadLeft(out_, std::to_string(Next().Payload()), d.Width);
}

// %r, %x: a real number (an integer argument's value) in fixed notation.
void TFormatter::AppendReal(const TDirective& d) {
    const TFormatArg& a = Next();
    long double v = a.kind() == TFormatArg::Kind::Real ? a.Real()
                    : (a.kind() == TFormatArg::Kind::Integer || a.kind() == TFormatArg::Kind::Other)
                        ? static_cast<long double>(a.Payload())
                        : 0.0L;
    if (std::isnan(v)) return;  // not a number writes nothing
    PadLeft(out_, FixedText(v, d.Precision, d.Trim), d.Width);
}

// %m: a count of thousandths as a real number.
void TFormatter::AppendThousandths(const TDirective& d) {
    long double v = static_cast<long double>(Next().Payload()) / 1000.0L;
    PadLeft(out_, FixedText(v, d.Precision, d.Trim), d.Width);
}

// %b: "Yes" or "No".
void TFormatter::AppendBoolean() {
    out_ += Next().Payload() != 0 ? "Yes" : "No";
}

// %": a text, quoted when a comma list needs it.
void TFormatter::AppendQuotedText() {
    AppendQuoted(out_, Next().TextForm());
}

// %n: a CR LF line break.
void TFormatter::AppendLineBreak() {
    out_ += "\r\n";
}

// %j: a time tag as month/day/year hours:minutes:seconds.
void TFormatter::AppendDateTime() {
    const std::int32_t tag = Next().Payload();
    if (tf_.Settings.DateSeparator != '%' && tf_.Settings.TimeSeparator != '%' &&
        AppendDateTimeFast(out_, tag, tf_))
        return;
    int y, mo, d, h, mi, s;
    DecodeTimeTag(tag, y, mo, d, h, mi, s);
    FormatAppend(out_, tf_.DateTimeFormat,
                 {std::int32_t(mo), std::int32_t(d), std::int32_t(y), std::int32_t(h),
                  std::int32_t(mi), std::int32_t(s)},
                 tf_);
}

// %d: a day number as month/day/year.
void TFormatter::AppendDate() {
    int y, mo, d;
    DecodeDayNumber(static_cast<std::uint16_t>(Next().Payload() & 0xFFFF), y, mo, d);
    FormatAppend(out_, tf_.DateFormat, {std::int32_t(mo), std::int32_t(d), std::int32_t(y)}, tf_);
}

// %t: seconds as hours:minutes:seconds, a "-" before a negative count.
void TFormatter::AppendTime() {
    std::int64_t s = Next().Payload();
    if (s < 0) {
        out_ += '-';
        s = -s;
    }
    std::int64_t h = s / 3600, mi = (s % 3600) / 60, sec = s % 60;
    FormatAppend(out_, tf_.TimeFormat,
                 {static_cast<std::int32_t>(h), static_cast<std::int32_t>(mi),
                  static_cast<std::int32_t>(sec)},
                 tf_);
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
    TFormatter(out, args, tf).Run(format);
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
