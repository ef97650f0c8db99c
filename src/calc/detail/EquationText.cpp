// Shared reading rules of the equation passes.
#include "calc/detail/EquationText.h"

#include <charconv>

#include "util/Exception.h"

namespace ov {

namespace {

// The power of ten of the first significant digit of a numeral without sign ("12.5E3": 4,
// "0.05": -2), the exponent's digits saturated far beyond any double; 0 for a numeral of
// zeros.
long long DecimalMagnitude(const char* b, const char* e) {
    long long integerDigits = 0;
    long long leadingZeros = 0;  // zeros before the first significant digit, "." skipped
    bool significant = false;
    bool fraction = false;
    const char* p = b;
    for (; p < e && *p != 'E'; ++p) {
        if (*p == '.') {
            fraction = true;
            continue;
        }
        if (!fraction) ++integerDigits;
        if (significant) continue;
        if (*p == '0') {
            ++leadingZeros;
        } else {
            significant = true;
        }
    }
    if (!significant) return 0;
    long long exponent = 0;
    if (p < e) {
        ++p;
        const bool negative = p < e && *p == '-';
        if (p < e && (*p == '-' || *p == '+')) ++p;
        for (; p < e; ++p) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (*p - '0');
        }
        if (negative) exponent = -exponent;
    }
    return integerDigits - 1 - leadingZeros + exponent;
}

}  // namespace

TEquationText::TEquationText(std::string_view equation) : size_(equation.size()) {
    char* copy = inline_;
    if (size_ > InlineSize) {
        heap_ = std::make_unique<char[]>(size_);
        copy = heap_.get();
    }
    for (std::size_t i = 0; i < size_; ++i) {
        const char c = equation[i];
        copy[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    text_ = copy;
}

void TEquationText::SkipBlanks() {
    while (pos_ < size_) {
        const unsigned char c = static_cast<unsigned char>(text_[pos_]);
        if (c == ' ' || c >= 0x80) {
            ++pos_;
        } else if (c == '{') {
            const std::size_t close = Text().find('}', pos_ + 1);
            pos_ = close == std::string_view::npos ? size_ : close + 1;
        } else {
            break;
        }
    }
}

bool TEquationText::MatchWord(std::string_view word) {
    SkipBlanks();
    if (pos_ + word.size() > size_ || Text().compare(pos_, word.size(), word) != 0) return false;
    const std::size_t after = pos_ + word.size();
    if (after < size_ && text_[after] >= 'A' && text_[after] <= 'Z') return false;
    pos_ = after;
    return true;
}

bool TEquationText::MatchSymbol(std::string_view symbol) {
    SkipBlanks();
    if (pos_ + symbol.size() > size_ || Text().compare(pos_, symbol.size(), symbol) != 0)
        return false;
    pos_ += symbol.size();
    return true;
}

TRelation TEquationText::ReadRelation() {
    SkipBlanks();
    switch (Current()) {
        case '<':
            return MatchSymbol("<=")   ? rlLessOrEqual
                   : MatchSymbol("<>") ? rlNotEqual
                   : MatchSymbol("<")  ? rlLess
                                       : rlNone;
        case '=':
            return MatchSymbol("=") ? rlEqual : rlNone;
        case '>':
            return MatchSymbol(">=") ? rlGreaterOrEqual : MatchSymbol(">") ? rlGreater : rlNone;
        default:
            return rlNone;
    }
}

double TEquationText::ReadNumeral(bool* hadDigits) {
    const std::size_t start = pos_;
    if (Current() == '+' || Current() == '-') Advance();
    const std::size_t digitsStart = pos_;
    bool anyDigit = false;
    while (IsDigit(Current())) Advance(), anyDigit = true;
    if (Current() == '.') Advance();
    while (IsDigit(Current())) Advance(), anyDigit = true;
    const std::size_t mantissaEnd = pos_;
    bool exponentDigits = false;
    if (Current() == 'E') {
        Advance();
        if (Current() == '+' || Current() == '-') Advance();
        while (IsDigit(Current())) Advance(), exponentDigits = true;
    }
    if (hadDigits != nullptr) *hadDigits = anyDigit;
    // A lone sign or a lone "." has no digit: the numeral 0.
    if (!anyDigit) return 0.0;
    const bool negative = text_[start] == '-';
    // An "E" without exponent digits adds nothing to the value.
    const std::size_t end = exponentDigits ? pos_ : mantissaEnd;
    const char* b = text_ + digitsStart;
    const char* e = text_ + end;
    double value = 0;
    auto [ptr, ec] = std::from_chars(b, e, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Too small for a double reads as 0; too large is an overflow. Which of the two is a
        // matter of the value, not of the spelling (1000E-5 is large, 0.0001 small).
        if (DecimalMagnitude(b, e) > 0) throw EOverflow();
        value = 0;
    }
    (void)ptr;
    return negative ? -value : value;
}

std::string_view TEquationText::ReadName() {
    const std::size_t start = pos_;
    while (IsNameChar(Current())) Advance();
    return Text().substr(start, pos_ - start);
}

std::string_view TEquationText::ReadRawUntil(std::string_view stops, bool& found) {
    const std::size_t stop = Text().find_first_of(stops, pos_);
    found = stop != std::string_view::npos;
    if (!found) return Text().substr(pos_);
    std::string_view raw = Text().substr(pos_, stop - pos_);
    pos_ = stop;
    return raw;
}

}  // namespace ov
