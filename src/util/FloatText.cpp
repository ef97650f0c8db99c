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
    // Every result record carries one of these, so it works in fixed buffers.
    char sci[40];
    const auto res = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 14);
    // sci: [-]d.dddddddddddddde[+-]xx
    const char* p = sci;
    const bool negative = *p == '-';
    if (negative) ++p;
    char digits[16];
    int n = 0;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits[n++] = *p;
    ++p;  // past "e"
    int exponent = 0;
    std::from_chars(p + (*p == '+' ? 1 : 0), res.ptr, exponent);
    while (n > 1 && digits[n - 1] == '0') --n;

    char out[48];
    int o = 0;
    if (negative) out[o++] = '-';
    if (exponent >= -5 && exponent <= 14) {
        if (exponent < 0) {
            out[o++] = '0';
            out[o++] = decimalSeparator;
            for (int i = 0; i < -exponent - 1; ++i) out[o++] = '0';
            for (int i = 0; i < n; ++i) out[o++] = digits[i];
        } else {
            const int intDigits = exponent + 1;
            for (int i = 0; i < intDigits; ++i) out[o++] = i < n ? digits[i] : '0';
            if (n > intDigits) {
                out[o++] = decimalSeparator;
                for (int i = intDigits; i < n; ++i) out[o++] = digits[i];
            }
        }
    } else {
        out[o++] = digits[0];
        if (n > 1) {
            out[o++] = decimalSeparator;
            for (int i = 1; i < n; ++i) out[o++] = digits[i];
        }
        out[o++] = 'E';
        o = static_cast<int>(std::to_chars(out + o, out + sizeof out, exponent).ptr - out);
    }
    return std::string(out, static_cast<std::size_t>(o));
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
    auto [ptr, ec] =
        std::from_chars(s.data() + p, s.data() + s.size(), v, std::chars_format::general);
    if (ec != std::errc() || ptr != s.data() + s.size()) return false;
    // from_chars also takes "inf" and "nan": those are not numbers in the system's texts.
    if (!std::isfinite(v)) return false;
    value = v;
    return true;
}

}  // namespace ov
