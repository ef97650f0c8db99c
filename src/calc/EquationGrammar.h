// Between the stages of the equation grammar (not for use outside src/calc): the function
// table that the evaluation and the check pass both consult, the numeric rules of the
// evaluation, and the nesting guard of both passes.
//
//   Expression = Sum [ ("<=" | "<>" | "<" | "=" | ">=" | ">") Sum ]      one comparison
//   Sum        = ["-"] Term { ("+" | "-" | OR | XOR) Term }              "-" negates a Term
//   Term       = Power { ("*" | "/" | AND | MOD | SHR | SHL) Power }
//   Power      = Factor [ "^" Factor ]                                    one "^" per Power
//   Factor     = "(" Expression ")" | numeral | function | variable
//
// The quirks are the system's behaviour and are kept: a lone sign reads as the numeral 0
// (2*-A is 0), a function word without "(" stays consumed, the logarithm of the base is
// taken before the exponent is read, and text after a complete expression is left unread.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <string_view>

#include "calc/CalcErrors.h"
#include "calc/Equation.h"
#include "util/Exception.h"

namespace ov::equation {

// How a function's arguments are read.
enum class TForm {
    Numeric,    // NAME(expression)
    Table,      // TABLE(table name, expression)
    Attribute,  // NAME(variable [, expression])
    LastValue,  // LSTVAL(variable, expression)
    Not,        // NOT factor, no parentheses
};
// What a numeric function computes.
enum class TOp { None, Arctan, Abs, Cos, Exp, Int, Log, Ln, Rnd, Round, Sin, Sqrt, Tan, Trunc };

struct TFunction {
    std::string_view Name;
    TForm Form;
    TOp Op;
    TAttributeKind Kind;
};

// The functions whose name begins with c (an upper-case letter), in the order they are tried.
std::span<const TFunction> FunctionsOf(char c);

// A numeric function's value for argument a; raises the arithmetic faults of util/Exception.h.
double ApplyNumeric(TOp op, double a);

// A result that left the double range is the fault the floating-point unit would report;
// NaN and infinity never travel on.
inline double Checked(long double r) {
    if (std::isnan(r)) throw EInvalidOp();
    const double d = static_cast<double>(r);
    if (std::isinf(d)) throw EOverflow();
    return d;
}

// The four operations work on doubles; an infinite result is the overflow the floating-point
// unit would report (NaN cannot arise from finite operands except 0/0, refused as 1612).
inline double Finite(double r) {
    if (std::isinf(r)) throw EOverflow();
    if (std::isnan(r)) throw EInvalidOp();
    return r;
}

// Truncation toward zero to a 64-bit integer, as the word operators, TRUNC and ROUND need.
inline std::int64_t ToInt64(long double v) {
    if (!(v > -9223372036854775809.0L && v < 9223372036854775808.0L)) throw EInvalidOp();
    return static_cast<std::int64_t>(v);
}

inline long double NaturalLog(long double a) {
    if (a < 0) throw EInvalidOp();
    if (a == 0) throw EZeroDivide();
    return std::log(a);
}

// Counts nesting levels so that a hostile equation fails as a syntax error instead of
// overflowing the stack. One level each: a parenthesis, a function's argument list, a NOT;
// MaxEquationNesting levels are allowed.
class TDepthGuard {
  public:
    explicit TDepthGuard(int& depth) : depth_(depth) {
        if (++depth_ > MaxEquationNesting) {
            --depth_;
            throw ECalcExException(MsgSyntaxError);
        }
    }
    ~TDepthGuard() { --depth_; }
    TDepthGuard(const TDepthGuard&) = delete;
    TDepthGuard& operator=(const TDepthGuard&) = delete;

  private:
    int& depth_;
};

}  // namespace ov::equation
