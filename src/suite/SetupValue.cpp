// Conversions of settings elements, modelled on the automation platform's variant rules.
#include "suite/SetupValue.h"

#include <charconv>
#include <cmath>
#include <system_error>
#include <type_traits>

#include "util/StringList.h"

namespace ov {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A decimal integer: optional sign, digits, nothing else.
bool ParseInt64(std::string_view s, std::int64_t& result) {
    s = TrimBlanks(s);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
        if (!s.empty() && s.front() == '-') return false;  // "+-5"
    }
    if (s.empty()) return false;
    std::int64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    result = v;
    return true;
}

// A decimal number with "." and an optional exponent ("inf" and "nan" are not numbers here);
// nonZero tells whether it differs from 0.
bool ParseNumberNonZero(std::string_view s, bool& nonZero) {
    s = TrimBlanks(s);
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    if (s.empty() || !((s.front() >= '0' && s.front() <= '9') || s.front() == '.')) return false;
    double v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (end != s.data() + s.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double, but a number all the same, and not 0.
        nonZero = true;
    } else if (ec == std::errc()) {
        nonZero = v != 0;
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::string SetupValueToText(const TSetupValue& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::monostate>) {
                return {};
            } else if constexpr (std::is_same_v<V, std::string>) {
                return v;
            } else if constexpr (std::is_same_v<V, bool>) {
                return v ? "True" : "False";
            } else if constexpr (std::is_same_v<V, double>) {
                char buf[64];
                auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
                return ec == std::errc() ? std::string(buf, end) : std::string();
            } else {
                char buf[32];
                auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
                return ec == std::errc() ? std::string(buf, end) : std::string();
            }
        },
        value);
}

bool SetupValueToBool(const TSetupValue& value, bool& result) {
    return std::visit(
        [&result](const auto& v) -> bool {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::monostate>) {
                return false;
            } else if constexpr (std::is_same_v<V, std::string>) {
                std::string_view s = TrimBlanks(v);
                if (SameText(s, "true")) {
                    result = true;
                    return true;
                }
                if (SameText(s, "false")) {
                    result = false;
                    return true;
                }
                bool nonZero = false;
                if (!ParseNumberNonZero(s, nonZero)) return false;
                result = nonZero;
                return true;
            } else if constexpr (std::is_same_v<V, bool>) {
                result = v;
                return true;
            } else if constexpr (std::is_same_v<V, double>) {
                if (std::isnan(v)) return false;
                result = v != 0;
                return true;
            } else {
                result = v != 0;
                return true;
            }
        },
        value);
}

bool SetupValueToInt64(const TSetupValue& value, std::int64_t& result) {
    return std::visit(
        [&result](const auto& v) -> bool {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, std::monostate>) {
                return false;
            } else if constexpr (std::is_same_v<V, std::string>) {
                return ParseInt64(v, result);
            } else if constexpr (std::is_same_v<V, bool>) {
                result = v ? -1 : 0;
                return true;
            } else if constexpr (std::is_same_v<V, double>) {
                if (!std::isfinite(v)) return false;
                double r = std::nearbyint(v);  // default rounding mode: a half to the even
                // [-2^63, 2^63): both bounds are exact doubles.
                if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return false;
                result = static_cast<std::int64_t>(r);
                return true;
            } else {
                if (!std::in_range<std::int64_t>(v)) return false;
                result = static_cast<std::int64_t>(v);
                return true;
            }
        },
        value);
}

}  // namespace ov
