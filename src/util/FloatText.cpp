// General floating-point text (15 significant digits) and strict number reading.
#include "util/FloatText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace ov {

std::string FloatToText(double value, char decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0.0) return "0";

    // Round to 15 significant digits first: the notation depends on the rounded value.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    std::string sci(buf, res.ptr);
    // sci: [-]d.dddddddddddddde[+-]xx
    bool negative = sci[0] == '-';
    std::size_t start = negative ? 1 : 0;
    std::size_t ePos = sci.find('e');
    std::string digits;
    for (std::size_t i = start; i < ePos; ++i)
        if (sci[i] != '.') digits += sci[i];
    int exponent = 0;
    std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+' ? 1 : 0),
                    sci.data() + sci.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out;
    if (negative) out += '-';
    if (exponent >= -5 && exponent <= 14) {
        if (exponent < 0) {
            out += '0';
            out += decimalSeparator;
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= intDigits) {
                out += digits;
                out.append(intDigits - digits.size(), '0');
            } else {
                out.append(digits, 0, intDigits);
                out += decimalSeparator;
                out.append(digits, intDigits, std::string::npos);
            }
        }
    } else {
        out += digits[0];
        if (digits.size() > 1) {
            out += decimalSeparator;
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += std::to_string(exponent);
    }
    return out;
}

bool TryTextToFloat(std::string_view text, double& value, char decimalSeparator) {
    std::size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    if (b == e) return false;
    std::string s(text.substr(b, e - b));
    if (decimalSeparator != '.') {
        // A "." is not a separator in such a locale: refuse it rather than misread 1.5.
        if (s.find('.') != std::string::npos) return false;
        for (char& c : s)
            if (c == decimalSeparator) c = '.';
    }
    std::size_t p = 0;
    if (s[0] == '+') {
        p = 1;
        if (s.size() > 1 && (s[1] == '-' || s[1] == '+')) return false;
    }
    double v = 0;
    auto [ptr, ec] = std::from_chars(s.data() + p, s.data() + s.size(), v,
                                     std::chars_format::general);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;
    // from_chars also takes "inf" and "nan": those are not numbers in the system's texts.
    if (!std::isfinite(v)) return false;
    value = v;
    return true;
}

}  // namespace ov
