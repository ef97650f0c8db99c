// The "%" scanner. Directives: % [width|*] [. precision|*] letter; see Scan.h. An upper-case
// letter skips the rest of the comma-list field afterwards; "%[" ... "%]" make failures
// optional.
#include "util/Scan.h"

#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "util/FloatText.h"
#include "util/TextCompare.h"
#include "util/TimeTag.h"

namespace ov {

namespace {

struct StoreText {
    const std::string& v;
    void operator()(std::string* t) const { *t = v; }
    template <typename T>
    void operator()(T*) const {}
};

// Whether a real number can be held by a single-precision variable (infinities aside, which
// convert as themselves).
bool FitsSingle(double v) {
    return !std::isfinite(v) || std::fabs(v) <= static_cast<double>(FLT_MAX);
}

// False (the variable untouched) for a value its variable cannot hold: a number beyond the
// single range for a float, beyond 64 bits (or not a number) for an integer.
struct StoreNumber {
    double v;
    bool operator()(std::string*) const { return true; }
    bool operator()(bool* t) const {
        *t = v != 0;
        return true;
    }
    bool operator()(double* t) const {
        *t = v;
        return true;
    }
    bool operator()(float* t) const {
        if (!FitsSingle(v)) return false;
        *t = static_cast<float>(v);
        return true;
    }
    template <typename T>
    bool operator()(T* t) const {
        if (!(v > -9223372036854775809.0 && v < 9223372036854775808.0)) return false;
        // Integers wrap like the fixed-size variables of the suite's records.
        *t = static_cast<T>(static_cast<std::int64_t>(v));
        return true;
    }
};

class Scanner {
  public:
    Scanner(std::string_view src, int position, std::span<const TScanArg> args,
            const TTimeFormats& tf)
        : src_(src), p_(position < 1 ? 1 : position), args_(args), tf_(tf) {}

    // Scans by format; true if nothing failed while required.
    bool Run(std::string_view format);
    int Position() const { return p_; }

  private:
    char Ch() const {
        std::size_t i = static_cast<std::size_t>(p_ - 1);
        return i < src_.size() ? src_[i] : '\0';
    }
    bool Ended() const { return static_cast<std::size_t>(p_ - 1) >= src_.size(); }
    // The end of the text or of its line. A zero byte is a character like any other: a text
    // that holds one is not cut at it.
    bool AtLineEnd() const { return Ended() || Ch() == '\n' || Ch() == '\r'; }
    bool CanTake(int taken) const { return width_ == 0 || taken < width_; }

    const TScanArg* NextArg() { return argIndex_ < args_.size() ? &args_[argIndex_++] : nullptr; }
    void Store(const std::string& v) {
        if (const TScanArg* a = NextArg()) std::visit(StoreText{v}, a->target());
    }
    // False when the variable cannot hold the value (then left untouched).
    bool StoreNum(double v) {
        if (const TScanArg* a = NextArg()) return std::visit(StoreNumber{v}, a->target());
        return true;
    }
    template <typename T>
    void StoreExact(T v) {
        if (const TScanArg* a = NextArg()) {
            std::visit(
                [&](auto* t) {
                    using U = std::remove_pointer_t<decltype(t)>;
                    if constexpr (std::is_same_v<U, std::string>) {
                    } else if constexpr (std::is_same_v<U, bool>) {
                        *t = v != 0;
                    } else {
                        *t = static_cast<U>(v);
                    }
                },
                a->target());
        }
    }
    std::int32_t ArgValue() {
        const TScanArg* a = NextArg();
        if (a == nullptr) return 0;
        return std::visit(
            [](auto* t) -> std::int32_t {
                using U = std::remove_pointer_t<decltype(t)>;
                if constexpr (std::is_same_v<U, std::string>) {
                    return 0;
                } else {
                    return static_cast<std::int32_t>(*t);
                }
            },
            a->target());
    }

    // The format: a directive's width and precision, its terminator, the dispatch.
    bool ReadDirectiveHead();
    char TakeTerminator() { return fi_ < format_.size() ? format_[fi_++] : '\0'; }
    bool Directive(char letter);
    void SkipRestOfField();

    // One function per directive; each answers whether it succeeded.
    bool ScanField();
    bool ScanUpTo();
    bool ScanQuoted();
    bool ScanValue();
    bool ScanChar();
    bool ScanInteger();
    bool ScanWord();
    bool ScanDouble();
    bool ScanSingle();
    bool ScanThousandths();
    bool ScanFloatText();
    bool ScanBoolean();
    bool ScanDate();
    bool ScanDateTime();
    bool ScanTime();
    bool ScanLineBreak();
    bool ScanPast();
    bool ScanBlanks();
    bool ScanDatePhrase();

    std::string ReadUntilComma();
    bool ReadSignedInt(std::int64_t& v);
    bool ReadWord(std::int64_t& v);
    bool ReadReal(double& v);
    bool Literal(char c);
    bool ReadDate(std::uint16_t& day);
    bool ReadTime(std::int32_t& seconds);
    bool ReadDateTime(std::int32_t& tag);

    std::string_view src_;
    int p_;
    std::span<const TScanArg> args_;
    const TTimeFormats& tf_;
    std::size_t argIndex_ = 0;
    std::string_view format_;
    std::size_t fi_ = 0;    // the position in format_
    int width_ = 0;         // the directive's width; 0: none
    bool required_ = true;  // outside "%[" ... "%]": a failure fails the scan
};

std::string Scanner::ReadUntilComma() {
    std::string v;
    int taken = 0;
    while (!AtLineEnd() && Ch() != ',' && CanTake(taken)) {
        v += Ch();
        ++p_;
        ++taken;
    }
    return v;
}

bool Scanner::ReadSignedInt(std::int64_t& v) {
    int taken = 0;
    bool negative = false;
    if ((Ch() == '+' || Ch() == '-') && CanTake(taken)) {
        negative = Ch() == '-';
        ++p_;
        ++taken;
    }
    bool any = false;
    std::int64_t acc = 0;
    bool overflow = false;
    while (std::isdigit(static_cast<unsigned char>(Ch())) && CanTake(taken)) {
        acc = acc * 10 + (Ch() - '0');
        if (acc > 2147483648LL) overflow = true, acc = 2147483648LL;
        any = true;
        ++p_;
        ++taken;
    }
    if (!any || overflow) return false;
    acc = negative ? -acc : acc;
    if (acc > std::numeric_limits<std::int32_t>::max()) return false;
    v = acc;
    return true;
}

bool Scanner::ReadWord(std::int64_t& v) {
    int taken = 0;
    bool any = false;
    std::int64_t acc = 0;
    while (std::isdigit(static_cast<unsigned char>(Ch())) && CanTake(taken)) {
        acc = std::min<std::int64_t>(acc * 10 + (Ch() - '0'), 1000000);
        any = true;
        ++p_;
        ++taken;
    }
    if (!any || acc > 65535) return false;
    v = acc;
    return true;
}

// Sign, digits, ".", digits, then "E" with an optional sign and digits. The value of the
// longest readable prefix is kept even when the whole text is not a number.
bool Scanner::ReadReal(double& v) {
    std::string text;
    int taken = 0;
    auto take = [&]() {
        text += Ch();
        ++p_;
        ++taken;
    };
    auto digit = [&]() { return std::isdigit(static_cast<unsigned char>(Ch())) && CanTake(taken); };
    if ((Ch() == '+' || Ch() == '-') && CanTake(taken)) take();
    while (digit()) take();
    if (Ch() == '.' && CanTake(taken)) take();
    while (digit()) take();
    if ((Ch() == 'E' || Ch() == 'e') && CanTake(taken)) {
        take();
        if ((Ch() == '+' || Ch() == '-') && CanTake(taken)) take();
        while (digit()) take();
    }
    const char* b = text.data();
    const char* e = text.data() + text.size();
    if (b != e && *b == '+') ++b;
    double value = 0;
    auto [ptr, ec] = std::from_chars(b, e, value, std::chars_format::general);
    if (ec == std::errc() && ptr == e) {
        v = value;
        return true;
    }
    if (ec == std::errc::result_out_of_range) {
        // Too small reads as 0; too large is no number.
        v = 0;
        return false;
    }
    v = ec == std::errc() ? value : 0.0;
    return false;
}

bool Scanner::Literal(char c) {
    // Letters match without regard to ASCII case; the locale plays no part.
    if (UpperAscii(Ch()) == UpperAscii(c) && !Ended()) {
        ++p_;
        return true;
    }
    if (!Ended()) ++p_;
    return false;
}

bool Scanner::ReadDate(std::uint16_t& day) {
    std::int64_t m, d, y;
    const char sep = tf_.Settings.DateSeparator;
    if (!ReadWord(m) || !Literal(sep) || !ReadWord(d) || !Literal(sep) || !ReadWord(y))
        return false;
    day = DayNumber(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d));
    return true;
}

bool Scanner::ReadTime(std::int32_t& seconds) {
    std::int64_t h, mi, s;
    const char sep = tf_.Settings.TimeSeparator;
    if (!ReadWord(h) || !Literal(sep) || !ReadWord(mi) || !Literal(sep) || !ReadWord(s))
        return false;
    seconds = SecondsOfDay(static_cast<int>(h), static_cast<int>(mi), static_cast<int>(s));
    return true;
}

bool Scanner::ReadDateTime(std::int32_t& tag) {
    std::int64_t mo, d, y, h, mi, s;
    const char ds = tf_.Settings.DateSeparator;
    const char ts = tf_.Settings.TimeSeparator;
    if (!ReadWord(mo) || !Literal(ds) || !ReadWord(d) || !Literal(ds) || !ReadWord(y) ||
        !Literal(' ') || !ReadWord(h) || !Literal(ts) || !ReadWord(mi) || !Literal(ts) ||
        !ReadWord(s))
        return false;
    // A time after the last time tag does not scan: it would wrap into another time.
    return TryMakeTimeTag(static_cast<int>(y), static_cast<int>(mo), static_cast<int>(d),
                          static_cast<int>(h), static_cast<int>(mi), static_cast<int>(s), tag);
}

bool Scanner::Run(std::string_view format) {
    format_ = format;
    fi_ = 0;
    bool result = true;
    while (fi_ < format_.size()) {
        bool ok = true;
        const char c = format_[fi_];
        if (c != '%' || (fi_ + 1 < format_.size() && format_[fi_ + 1] == '%')) {
            // A literal, "%%" standing for "%".
            ok = Literal(c);
            fi_ += c == '%' ? 2 : 1;
        } else {
            ++fi_;
            if (!ReadDirectiveHead()) break;
            const char letter = format_[fi_++];
            ok = Directive(letter);
            if (letter >= 'A' && letter <= 'Z') SkipRestOfField();
        }
        if (!ok && required_) result = false;
    }
    return result;
}

// Width ("*": from the next argument) and precision ("." after a width; read and not used).
// False when the format ends before the directive's letter.
bool Scanner::ReadDirectiveHead() {
    const std::size_t n = format_.size();
    if (fi_ >= n) return false;
    width_ = 0;
    bool haveWidth = false;
    if (format_[fi_] == '*') {
        width_ = ArgValue();
        haveWidth = true;
        ++fi_;
    } else {
        while (fi_ < n && std::isdigit(static_cast<unsigned char>(format_[fi_]))) {
            width_ = std::min(1 << 20, width_ * 10 + (format_[fi_] - '0'));
            haveWidth = true;
            ++fi_;
        }
    }
    if (width_ < 0) width_ = 0;
    if (haveWidth && fi_ < n && format_[fi_] == '.') {
        ++fi_;
        if (fi_ < n && format_[fi_] == '*') {
            ArgValue();  // the precision is accepted and not used
            ++fi_;
        } else {
            while (fi_ < n && std::isdigit(static_cast<unsigned char>(format_[fi_]))) ++fi_;
        }
    }
    return fi_ < n;
}

bool Scanner::Directive(char letter) {
    switch (UpperAscii(letter)) {
        case 'P':
            return ScanField();
        case 'S':
            return ScanUpTo();
        case '"':
            return ScanQuoted();
        case 'V':
            return ScanValue();
        case 'C':
            return ScanChar();
        case 'I':
        case 'L':
            return ScanInteger();
        case 'W':
            return ScanWord();
        case 'X':
            return ScanDouble();
        case 'R':
            return ScanSingle();
        case 'M':
            return ScanThousandths();
        case 'E':
            return ScanFloatText();
        case 'B':
            return ScanBoolean();
        case 'D':
            return ScanDate();
        case 'J':
            return ScanDateTime();
        case 'T':
            return ScanTime();
        case 'N':
            return ScanLineBreak();
        case '?':
            return ScanPast();
        case '_':
            return ScanBlanks();
        case '[':
            required_ = false;
            return true;
        case ']':
            required_ = true;
            return true;
        case 'Q':
            return ScanDatePhrase();
        default:
            return false;  // a letter without a directive always fails
    }
}

// After an upper-case directive: the rest of the comma-list field and its comma.
void Scanner::SkipRestOfField() {
    while (!AtLineEnd() && Ch() != ',') ++p_;
    if (Ch() == ',') ++p_;
}

// %p: the text up to the next comma or the line's end.
bool Scanner::ScanField() {
    Store(ReadUntilComma());
    return true;
}

// %s followed by a terminator: the text up to it; the terminator is passed over.
bool Scanner::ScanUpTo() {
    const char t = TakeTerminator();
    std::string v;
    int taken = 0;
    while (!Ended() && Ch() != t && CanTake(taken)) {
        v += Ch();
        ++p_;
        ++taken;
    }
    if (!Ended() && Ch() == t) ++p_;
    Store(v);
    return true;
}

// %" followed by a terminator: a text in double or single quotes (without them), or else up
// to the terminator; then the rest up to and past the terminator.
bool Scanner::ScanQuoted() {
    const char t = TakeTerminator();
    std::string v;
    const char q = Ch();
    if (q == '"' || q == '\'') {
        ++p_;
        while (!AtLineEnd() && Ch() != q) v += Ch(), ++p_;
    } else {
        while (!AtLineEnd() && Ch() != t) v += Ch(), ++p_;
    }
    while (!AtLineEnd() && Ch() != t) ++p_;
    if (!AtLineEnd()) ++p_;
    Store(v);
    return true;
}

// %v followed by a quote character: a comma-list field in which a quoted part is read whole,
// commas included; its quotes stay.
bool Scanner::ScanValue() {
    const char t = TakeTerminator();
    std::string v;
    int taken = 0;
    while (!AtLineEnd() && Ch() != ',' && CanTake(taken)) {
        if (Ch() == t) {
            v += Ch(), ++p_, ++taken;
            while (!AtLineEnd() && Ch() != t) v += Ch(), ++p_, ++taken;
            // A quote left open runs to the end of the text; the zero character that Ch()
            // answers there is no closing quote, even when the format ended the directive.
            if (!Ended() && Ch() == t) v += Ch(), ++p_, ++taken;
        } else {
            v += Ch(), ++p_, ++taken;
        }
    }
    Store(v);
    return true;
}

// %c: one character (the zero character at the end).
bool Scanner::ScanChar() {
    const char c = Ch();
    if (!Ended()) ++p_;
    StoreExact(c);
    return true;
}

// %i, %l: a signed 32-bit integer.
bool Scanner::ScanInteger() {
    std::int64_t v = 0;
    const bool ok = ReadSignedInt(v);
    StoreExact(static_cast<std::int32_t>(v));
    return ok;
}

// %w: an unsigned 16-bit integer.
bool Scanner::ScanWord() {
    std::int64_t v = 0;
    const bool ok = ReadWord(v);
    StoreExact(static_cast<std::uint16_t>(v));
    return ok;
}

// %x: a real number.
bool Scanner::ScanDouble() {
    double v = 0;
    const bool ok = ReadReal(v);
    return StoreNum(v) && ok;
}

// %r: a real number in single precision.
bool Scanner::ScanSingle() {
    double v = 0;
    const bool ok = ReadReal(v);
    if (!FitsSingle(v)) {
        // A number beyond the single range is not read (its variable keeps its value).
        NextArg();
        return false;
    }
    return StoreNum(static_cast<float>(v)) && ok;
}

// %m: a real number stored as a 32-bit count of thousandths.
bool Scanner::ScanThousandths() {
    double v = 0;
    bool ok = ReadReal(v);
    float thousandths = static_cast<float>(v) * 1000.0f;
    std::int32_t m = 0;
    if (std::isfinite(thousandths) && std::fabs(thousandths) < 2147483520.0f)
        m = static_cast<std::int32_t>(thousandths);
    else
        ok = false;
    StoreExact(m);
    return ok;
}

// %e: the comma-list field as a single-precision number; all bits set when it is none.
bool Scanner::ScanFloatText() {
    std::string text = ReadUntilComma();
    double v = 0;
    float f;
    const bool ok = TryDotTextToFloat(text, v) && std::fabs(v) <= std::numeric_limits<float>::max();
    if (ok) {
        f = static_cast<float>(v);
    } else {
        const std::uint32_t bits = 0xFFFFFFFFu;
        std::memcpy(&f, &bits, sizeof f);
    }
    if (const TScanArg* a = NextArg()) {
        if (auto* const* fp = std::get_if<float*>(&a->target()))
            **fp = f;
        else if (auto* const* dp = std::get_if<double*>(&a->target()))
            **dp = f;
    }
    return ok;
}

// %b: the longest yes/no word that stands there, without regard to ASCII case.
bool Scanner::ScanBoolean() {
    static constexpr struct {
        const char* word;
        bool value;
    } words[] = {{"YES", true},    {"Y", true},    {"TRUE", true}, {"OK", true},
                 {"ON", true},     {"1", true},    {"NO", false},  {"N", false},
                 {"FALSE", false}, {"BAD", false}, {"OFF", false}, {"0", false}};
    std::size_t best = 0;
    bool value = false;
    const std::size_t at = static_cast<std::size_t>(p_ - 1);
    for (const auto& w : words) {
        const std::size_t len = std::strlen(w.word);
        if (len <= best || at + len > src_.size()) continue;
        bool match = true;
        for (std::size_t k = 0; k < len && match; ++k)
            match = UpperAscii(src_[at + k]) == w.word[k];
        if (match) best = len, value = w.value;
    }
    const bool ok = best > 0;
    p_ += static_cast<int>(best);
    StoreExact(static_cast<std::uint8_t>(ok && value ? 1 : 0));
    return ok;
}

// %d: a date as a day number.
bool Scanner::ScanDate() {
    std::uint16_t day = 0;
    const bool ok = ReadDate(day);
    if (ok)
        StoreExact(day);
    else
        NextArg();
    return ok;
}

// %j: a date and time as a time tag.
bool Scanner::ScanDateTime() {
    std::int32_t tag = 0;
    const bool ok = ReadDateTime(tag);
    if (ok)
        StoreExact(tag);
    else
        NextArg();
    return ok;
}

// %t: a time of day, optionally signed, as seconds.
bool Scanner::ScanTime() {
    bool negative = false;
    if (Ch() == '+' || Ch() == '-') {
        negative = Ch() == '-';
        ++p_;
    }
    std::int32_t s = 0;
    const bool ok = ReadTime(s);
    if (ok)
        StoreExact(negative ? -s : s);
    else
        NextArg();
    return ok;
}

// %n: a CR LF line break.
bool Scanner::ScanLineBreak() {
    if (Ch() == '\r' && !Ended() && static_cast<std::size_t>(p_) < src_.size() &&
        src_[static_cast<std::size_t>(p_)] == '\n') {
        p_ += 2;
        return true;
    }
    return false;
}

// %? followed by a terminator: passes over everything up to and past it.
bool Scanner::ScanPast() {
    const char t = TakeTerminator();
    while (!Ended() && Ch() != t) ++p_;
    if (Ended()) return false;
    ++p_;
    return true;
}

// %_: passes over blanks and control characters.
bool Scanner::ScanBlanks() {
    while (!Ended() && (Ch() < '!' || Ch() > '~')) ++p_;
    return true;
}

// %q: a date phrase, "now" or a date-time text, stored into a time-tag variable ("now" only
// while it holds 0).
bool Scanner::ScanDatePhrase() {
    const TScanArg* a = NextArg();
    std::string text = ReadUntilComma();
    std::size_t b = text.find_first_not_of(' ');
    std::size_t e = text.find_last_not_of(' ');
    std::string phrase = b == std::string::npos ? "" : text.substr(b, e - b + 1);
    auto* const* target = a ? std::get_if<std::int32_t*>(&a->target()) : nullptr;
    if (target == nullptr) return true;
    if (UpperCaseAscii(phrase) == "NOW") {
        if (**target == 0) **target = NowTimeTag();
    } else {
        Scanner inner(phrase, 1, {}, tf_);
        std::int32_t tag = 0;
        if (inner.ReadDateTime(tag) && inner.Ended()) **target = tag;
    }
    return true;
}

}  // namespace

bool ScanText(std::string_view source, int& position, std::string_view format,
              std::span<const TScanArg> args, const TTimeFormats& tf) {
    Scanner scanner(source, position, args, tf);
    bool result = scanner.Run(format);
    position = scanner.Position();
    return result;
}

}  // namespace ov
