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
#include <limits>
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

// A result that left the double range is the fault the floating-point unit would report;
// NaN and infinity never travel on.
inline double Checked(long double r) {
    if (std::isnan(r)) throw EInvalidOp();
    const double d = static_cast<double>(r);
    if (std::isinf(d)) throw EOverflow();
    return d;
}

[[noreturn]] inline void NotFinite(double r) {
    if (std::isnan(r)) throw EInvalidOp();
    throw EOverflow();
}

// The four operations work on doubles; an infinite result is the overflow the floating-point
// unit would report (NaN cannot arise from finite operands except 0/0, refused as 1612). One
// comparison on the way of a finite result.
inline double Finite(double r) {
    if (!(std::fabs(r) <= std::numeric_limits<double>::max())) [[unlikely]]
        NotFinite(r);
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

inline constexpr long double RadPerDeg = 0.017453292519943295L;
inline constexpr long double DegPerRad = 57.29577951308232L;

// Degrees to radians after taking whole turns off (exact in floating point), so that
// SIN(390) is SIN(30) to the last bit and large angles skip the slow argument reduction. The
// remainder of a double by 360 is exact and a double itself: taken in double precision, it is
// the extended one's to the bit, at a fraction of the cost.
inline long double Radians(double degrees) {
    return static_cast<long double>(std::fmod(degrees, 360.0)) * RadPerDeg;
}

// A numeric function's value for argument a, computed in extended precision; raises the
// arithmetic faults of util/Exception.h. Inline: the evaluation calls it for every function.
inline double ApplyNumeric(TOp op, double a) {
    const long double x = a;
    switch (op) {
        case TOp::Arctan:
            return Checked(std::atan(x) * DegPerRad);
        case TOp::Abs:
            return std::fabs(a);
        case TOp::Cos:
            return Checked(std::cos(Radians(a)));
        case TOp::Exp:
            return Checked(std::exp(x));
        case TOp::Int:
            return std::trunc(a);
        case TOp::Log:
            return Checked(NaturalLog(x) / std::log(10.0L));
        case TOp::Ln:
            return Checked(NaturalLog(x));
        case TOp::Rnd:
            return RandomBelow(static_cast<std::int32_t>(ToInt64(x)));
        case TOp::Round:
            return static_cast<double>(ToInt64(std::nearbyint(x)));
        case TOp::Sin:
            return Checked(std::sin(Radians(a)));
        case TOp::Sqrt:
            if (a < 0) throw EInvalidOp();
            return Checked(std::sqrt(x));
        case TOp::Tan: {
            const long double r = Radians(a);
            const long double c = std::cos(r);
            if (c == 0) throw EZeroDivide();
            return Checked(std::sin(r) / c);
        }
        case TOp::Trunc:
            return static_cast<double>(ToInt64(x));
        case TOp::None:
            break;
    }
    return a;
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
