// Number <-> text conversions. "General" text is the system's one way to write a double for a
// person (results, log lines, configuration floats): up to 15 significant digits.
#pragma once

#include <string>
#include <string_view>

#include "util/FormatSettings.h"

namespace ov {

// General text with up to 15 significant digits: trailing zeros removed, no separator when
// not needed; fixed notation for 0 or 1E-5 <= |v| < 1E15, else mantissa "E" exponent (1E20,
// -2.5E-7). NaN and infinities are written NAN, INF and -INF.
std::string FloatToText(double value, char decimalSeparator);
inline std::string FloatToText(double value, const TFormatSettings& fs) {
    return FloatToText(value, fs.DecimalSeparator);
}

// Reads a whole text as a number with the given decimal separator; blanks around it are
// allowed, nothing else. False (value untouched) when it is not a number.
bool TryTextToFloat(std::string_view text, double& value, char decimalSeparator);

// The same with "." as the separator, as in equations, data lines and rating tables.
inline bool TryDotTextToFloat(std::string_view text, double& value) {
    return TryTextToFloat(text, value, '.');
}

}  // namespace ov
