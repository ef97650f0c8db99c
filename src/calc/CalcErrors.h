// The calculator's errors: ECalcExException for every calculation error, and
// FCalcExNullException for a variable without a usable value (which the null-value setting
// may turn into a result).
#pragma once

#include <string>

#include "util/Exception.h"

namespace ov {

class ECalcExException : public Exception {
  public:
    using Exception::Exception;
};

class FCalcExNullException : public ECalcExException {
  public:
    using ECalcExException::ECalcExException;
};

inline constexpr const char* MsgInvalidVariableName =
    "Error 1607: Invalid variable names in the function";
inline constexpr const char* MsgSyntaxError = "Error 1608: Equation syntax error.";
inline constexpr const char* MsgTableSyntax = "Error 1609: Table syntax error";
inline constexpr const char* MsgParenExpected = "Error 1610: Syntax error - \")\" expected";
inline constexpr const char* MsgLastValueFailed = "Error 1611: Last value lookup failed.";
inline constexpr const char* MsgDivideByZero = "Error 1612: Divide by Zero.";

}  // namespace ov
