// The system's "%" formatter: messages, keys, list lines and result records. An upper-case
// directive letter puts a "," before its field when text precedes it (the comma-list rule).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "util/FormatSettings.h"

namespace ov {

// A tagged argument of the formatter: integer, boolean, character, real or text. The kind
// decides what a directive reads: text directives print "" for a non-text argument, integer
// directives print the raw 32-bit payload of any argument.
class TFormatArg {
  public:
    enum class Kind { Integer, Boolean, Char, Real, ShortText, PChar, Text, Other };

    TFormatArg(std::int32_t v) : kind_(Kind::Integer), payload_(v) {}
    TFormatArg(bool v) : kind_(Kind::Boolean), payload_(v ? 1 : 0) {}
    TFormatArg(char v) : kind_(Kind::Char), payload_(static_cast<unsigned char>(v)) {}
    TFormatArg(double v) : kind_(Kind::Real), real_(v) {}
    TFormatArg(long double v) : kind_(Kind::Real), real_(v) {}
    TFormatArg(const char* v) : kind_(Kind::PChar), text_(v ? v : "") {}
    TFormatArg(std::string_view v) : kind_(Kind::Text), text_(v) {}
    TFormatArg(const std::string& v) : kind_(Kind::Text), text_(v) {}
    // An argument of no formattable kind; only its 32-bit payload can be read.
    static TFormatArg Other(std::int32_t payload) {
        TFormatArg a(payload);
        a.kind_ = Kind::Other;
        return a;
    }

    Kind kind() const { return kind_; }
    std::int32_t Payload() const { return payload_; }
    bool IsText() const {
        return kind_ == Kind::ShortText || kind_ == Kind::PChar || kind_ == Kind::Text;
    }
    std::string_view TextForm() const { return IsText() ? text_ : std::string_view(); }
    long double Real() const { return kind_ == Kind::Real ? real_ : 0.0L; }

  private:
    Kind kind_;
    std::int32_t payload_ = 0;
    long double real_ = 0.0L;
    std::string_view text_;
};

// The time formats the J, D and T directives (and the current date-time text) are written
// with, built from a record's date and time separators.
struct TTimeFormats {
    explicit TTimeFormats(const TFormatSettings& fs);
    TFormatSettings Settings;
    std::string TimeFormat;      // hours t minutes t seconds
    std::string DateFormat;      // month d day d year
    std::string DateTimeFormat;  // date format, blank, time format
    std::string StampFormat;     // year d month d day, blank, time format
};

// The formats built once from the user's locale at start.
const TTimeFormats& DefaultTimeFormats();

void FormatAppend(std::string& out, std::string_view format, std::span<const TFormatArg> args,
                  const TTimeFormats& tf = DefaultTimeFormats());
inline void FormatAppend(std::string& out, std::string_view format,
                         std::initializer_list<TFormatArg> args,
                         const TTimeFormats& tf = DefaultTimeFormats()) {
    FormatAppend(out, format, std::span<const TFormatArg>(args.begin(), args.size()), tf);
}

std::string FormatText(std::string_view format, std::span<const TFormatArg> args,
                       const TTimeFormats& tf = DefaultTimeFormats());
inline std::string FormatText(std::string_view format, std::initializer_list<TFormatArg> args,
                              const TTimeFormats& tf = DefaultTimeFormats()) {
    return FormatText(format, std::span<const TFormatArg>(args.begin(), args.size()), tf);
}

// A time tag as its "%j" text (month/day/year hours:minutes:seconds).
std::string TimeTagText(std::int32_t tag, const TTimeFormats& tf = DefaultTimeFormats());

}  // namespace ov
