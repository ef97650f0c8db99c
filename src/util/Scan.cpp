// The "%" scanner. Directives: % [width|*] [. precision|*] letter; see Scan.h. An upper-case
// letter skips the rest of the comma-list field afterwards; "%[" ... "%]" make failures
// optional.
#include "util/Scan.h"

#include <cctype>
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

struct StoreNumber {
    double v;
    void operator()(std::string*) const {}
    void operator()(bool* t) const { *t = v != 0; }
    void operator()(double* t) const { *t = v; }
    void operator()(float* t) const { *t = static_cast<float>(v); }
    template <typename T>
    void operator()(T* t) const {
        // Integers wrap like the fixed-size variables of the suite's records.
        *t = static_cast<T>(static_cast<std::int64_t>(v));
    }
};

class Scanner {
public:
    Scanner(std::string_view src, int position, std::span<const TScanArg> args,
            const TTimeFormats& tf)
        : src_(src), p_(position < 1 ? 1 : position), args_(args), tf_(tf) {}

    bool Run(std::string_view format);
    int Position() const { return p_; }

private:
    char Ch() const {
        std::size_t i = static_cast<std::size_t>(p_ - 1);
        return i < src_.size() ? src_[i] : '\0';
    }
    bool Ended() const { return static_cast<std::size_t>(p_ - 1) >= src_.size(); }
    static bool IsLineEnd(char c) { return c == '\0' || c == '\n' || c == '\r'; }
    bool CanTake(int taken) const { return width_ == 0 || taken < width_; }

    const TScanArg* NextArg() { return argIndex_ < args_.size() ? &args_[argIndex_++] : nullptr; }
    void Store(const std::string& v) {
        if (const TScanArg* a = NextArg()) std::visit(StoreText{v}, a->target());
    }
    void StoreNum(double v) {
        if (const TScanArg* a = NextArg()) std::visit(StoreNumber{v}, a->target());
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
    int width_ = 0;
};

std::string Scanner::ReadUntilComma() {
    std::string v;
    int taken = 0;
    while (!IsLineEnd(Ch()) && Ch() != ',' && CanTake(taken)) {
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
    bool result = true;
    bool required = true;
    const std::size_t n = format.size();
    std::size_t i = 0;
    auto terminator = [&]() -> char { return i < n ? format[i++] : '\0'; };

    while (i < n) {
        bool ok = true;
        if (format[i] != '%' || (i + 1 < n && format[i + 1] == '%')) {
            ok = Literal(format[i]);
            i += format[i] == '%' ? 2 : 1;
            if (!ok && required) result = false;
            continue;
        }
        ++i;
        if (i >= n) break;
        width_ = 0;
        bool haveWidth = false;
        if (format[i] == '*') {
            width_ = ArgValue();
            haveWidth = true;
            ++i;
        } else {
            while (i < n && std::isdigit(static_cast<unsigned char>(format[i]))) {
                width_ = std::min(1 << 20, width_ * 10 + (format[i] - '0'));
                haveWidth = true;
                ++i;
            }
        }
        if (width_ < 0) width_ = 0;
        if (haveWidth && i < n && format[i] == '.') {
            ++i;
            if (i < n && format[i] == '*') {
                ArgValue();  // the precision is accepted and not used
                ++i;
            } else {
                while (i < n && std::isdigit(static_cast<unsigned char>(format[i]))) ++i;
            }
        }
        if (i >= n) break;
        const char letter = format[i++];

        switch (UpperAscii(letter)) {
            case 'P':
                Store(ReadUntilComma());
                break;
            case 'S': {
                const char t = terminator();
                std::string v;
                int taken = 0;
                while (!Ended() && Ch() != t && CanTake(taken)) {
                    v += Ch();
                    ++p_;
                    ++taken;
                }
                if (!Ended() && Ch() == t) ++p_;
                Store(v);
                break;
            }
            case '"': {
                const char t = terminator();
                std::string v;
                const char q = Ch();
                if (q == '"' || q == '\'') {
                    ++p_;
                    while (!IsLineEnd(Ch()) && Ch() != q) v += Ch(), ++p_;
                } else {
                    while (!IsLineEnd(Ch()) && Ch() != t) v += Ch(), ++p_;
                }
                while (!IsLineEnd(Ch()) && Ch() != t) ++p_;
                if (!IsLineEnd(Ch())) ++p_;
                Store(v);
                break;
            }
            case 'V': {
                const char t = terminator();
                std::string v;
                int taken = 0;
                while (!IsLineEnd(Ch()) && Ch() != ',' && CanTake(taken)) {
                    if (Ch() == t) {
                        // A quoted part is read whole, commas included; its quotes stay.
                        v += Ch(), ++p_, ++taken;
                        while (!IsLineEnd(Ch()) && Ch() != t) v += Ch(), ++p_, ++taken;
                        if (Ch() == t) v += Ch(), ++p_, ++taken;
                    } else {
                        v += Ch(), ++p_, ++taken;
                    }
                }
                Store(v);
                break;
            }
            case 'C': {
                const char c = Ch();
                if (!Ended()) ++p_;
                StoreExact(c);
                break;
            }
            case 'I':
            case 'L': {
                std::int64_t v = 0;
                ok = ReadSignedInt(v);
                StoreExact(static_cast<std::int32_t>(v));
                break;
            }
            case 'W': {
                std::int64_t v = 0;
                ok = ReadWord(v);
                StoreExact(static_cast<std::uint16_t>(v));
                break;
            }
            case 'X': {
                double v = 0;
                ok = ReadReal(v);
                StoreNum(v);
                break;
            }
            case 'R': {
                double v = 0;
                ok = ReadReal(v);
                StoreNum(static_cast<float>(v));
                break;
            }
            case 'M': {
                double v = 0;
                ok = ReadReal(v);
                float thousandths = static_cast<float>(v) * 1000.0f;
                std::int32_t m = 0;
                if (std::isfinite(thousandths) && std::fabs(thousandths) < 2147483520.0f)
                    m = static_cast<std::int32_t>(thousandths);
                else
                    ok = false;
                StoreExact(m);
                break;
            }
            case 'E': {
                std::string text = ReadUntilComma();
                double v = 0;
                float f;
                ok = TryDotTextToFloat(text, v) && std::fabs(v) <= std::numeric_limits<float>::max();
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
                break;
            }
            case 'B': {
                static constexpr struct {
                    const char* word;
                    bool value;
                } words[] = {{"YES", true},   {"Y", true},    {"TRUE", true}, {"OK", true},
                             {"ON", true},    {"1", true},    {"NO", false},  {"N", false},
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
                ok = best > 0;
                p_ += static_cast<int>(best);
                StoreExact(static_cast<std::uint8_t>(ok && value ? 1 : 0));
                break;
            }
            case 'D': {
                std::uint16_t day = 0;
                ok = ReadDate(day);
                if (ok) StoreExact(day); else NextArg();
                break;
            }
            case 'J': {
                std::int32_t tag = 0;
                ok = ReadDateTime(tag);
                if (ok) StoreExact(tag); else NextArg();
                break;
            }
            case 'T': {
                bool negative = false;
                if (Ch() == '+' || Ch() == '-') {
                    negative = Ch() == '-';
                    ++p_;
                }
                std::int32_t s = 0;
                ok = ReadTime(s);
                if (ok) StoreExact(negative ? -s : s); else NextArg();
                break;
            }
            case 'N':
                if (Ch() == '\r' && !Ended() && static_cast<std::size_t>(p_) < src_.size() &&
                    src_[static_cast<std::size_t>(p_)] == '\n')
                    p_ += 2;
                else
                    ok = false;
                break;
            case '?': {
                const char t = terminator();
                while (!Ended() && Ch() != t) ++p_;
                if (Ended()) ok = false; else ++p_;
                break;
            }
            case '_':
                while (!Ended() && (Ch() < '!' || Ch() > '~')) ++p_;
                break;
            case '[':
                required = false;
                break;
            case ']':
                required = true;
                break;
            case 'Q': {
                // A date phrase: "now" or a date-time text, relative to the variable's tag.
                const TScanArg* a = NextArg();
                std::string text = ReadUntilComma();
                std::size_t b = text.find_first_not_of(' ');
                std::size_t e = text.find_last_not_of(' ');
                std::string phrase = b == std::string::npos ? "" : text.substr(b, e - b + 1);
                auto* const* target = a ? std::get_if<std::int32_t*>(&a->target()) : nullptr;
                if (target == nullptr) break;
                if (UpperCaseAscii(phrase) == "NOW") {
                    if (**target == 0) **target = NowTimeTag();
                } else {
                    Scanner inner(phrase, 1, {}, tf_);
                    std::int32_t tag = 0;
                    if (inner.ReadDateTime(tag) && inner.Ended()) **target = tag;
                }
                break;
            }
            default:
                ok = false;  // a letter without a directive always fails
                break;
        }

        if (letter >= 'A' && letter <= 'Z') {
            while (!IsLineEnd(Ch()) && Ch() != ',') ++p_;
            if (Ch() == ',') ++p_;
        }
        if (!ok && required) result = false;
    }
    return result;
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
