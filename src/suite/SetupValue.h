// One element of a settings array from the setup server, and its conversions to the text,
// boolean and integer fields of the settings records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace ov {

// std::monostate is an empty (null) element. The bus delivers only the typed alternatives.
using TSetupValue =
    std::variant<std::monostate, std::string, bool, std::uint8_t, std::int16_t, std::uint16_t,
                 std::int32_t, std::uint32_t, std::int64_t, std::uint64_t, double>;

// Integers in decimal, booleans "True"/"False", numbers with a "." in their shortest exact
// form, an empty element as the empty text. Never fails.
std::string SetupValueToText(const TSetupValue& value);

// Numbers: non-zero is true. Texts: "True" or "False" without regard to case, or a decimal
// number text (blanks around it allowed), non-zero being true. False for an empty element,
// a NaN or any other text; result is then unchanged.
bool SetupValueToBool(const TSetupValue& value, bool& result);

// Booleans: True is -1, False is 0. Texts: a decimal integer, optional sign, blanks around it
// allowed. Floating numbers: rounded to the nearest integer, a half to the even neighbour.
// False for an empty element, any other text, a NaN or infinity, and any value outside
// std::int64_t; result is then unchanged.
bool SetupValueToInt64(const TSetupValue& value, std::int64_t& result);

// As SetupValueToInt64, then stored into T: a value outside T's range fails rather than
// being cut to T's width (so True, -1, fails for an unsigned field).
template <class T>
bool SetupValueToInteger(const TSetupValue& value, T& result) {
    std::int64_t v = 0;
    if (!SetupValueToInt64(value, v) || !std::in_range<T>(v)) return false;
    result = static_cast<T>(v);
    return true;
}

}  // namespace ov
