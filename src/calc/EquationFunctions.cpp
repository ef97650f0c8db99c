// The equation functions: the table of their names and argument forms, the numeric
// functions' values, and the process-wide generator of RND.
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <random>
#include <span>

#include "calc/EquationGrammar.h"

namespace ov {
namespace equation {
namespace {

constexpr long double RadPerDeg = 0.017453292519943295L;
constexpr long double DegPerRad = 57.29577951308232L;

// Degrees to radians after taking whole turns off (exact in floating point), so that
// SIN(390) is SIN(30) to the last bit and large angles skip the slow argument reduction.
long double Radians(long double degrees) {
    return std::fmod(degrees, 360.0L) * RadPerDeg;
}

// Tried in this order for their first letter.
constexpr TFunction Functions[] = {
    {"ARCTAN", TForm::Numeric, TOp::Arctan, {}},
    {"ABS", TForm::Numeric, TOp::Abs, {}},
    {"COS", TForm::Numeric, TOp::Cos, {}},
    {"DBTABLE", TForm::Attribute, TOp::None, TAttributeKind::akRatingTable},
    {"EXP", TForm::Numeric, TOp::Exp, {}},
    {"ELEV", TForm::Attribute, TOp::None, TAttributeKind::akElevation},
    {"INT", TForm::Numeric, TOp::Int, {}},
    {"LOG", TForm::Numeric, TOp::Log, {}},
    {"LN", TForm::Numeric, TOp::Ln, {}},
    {"LSTVAL", TForm::LastValue, TOp::None, {}},
    {"NOT", TForm::Not, TOp::None, {}},
    {"OFFSET", TForm::Attribute, TOp::None, TAttributeKind::akOffset},
    {"RND", TForm::Numeric, TOp::Rnd, {}},
    {"ROUND", TForm::Numeric, TOp::Round, {}},
    {"SIN", TForm::Numeric, TOp::Sin, {}},
    {"SQRT", TForm::Numeric, TOp::Sqrt, {}},
    {"SHIFT", TForm::Attribute, TOp::None, TAttributeKind::akShift},
    {"STN_COEFF", TForm::Attribute, TOp::None, TAttributeKind::akStationCoefficient},
    {"SNS_COEFF", TForm::Attribute, TOp::None, TAttributeKind::akSensorCoefficient},
    {"STN_GPN", TForm::Attribute, TOp::None, TAttributeKind::akStationGpNumber},
    {"SNS_GPN", TForm::Attribute, TOp::None, TAttributeKind::akSensorGpNumber},
    {"TABLE", TForm::Table, TOp::None, {}},
    {"TAN", TForm::Numeric, TOp::Tan, {}},
    {"TRUNC", TForm::Numeric, TOp::Trunc, {}},
};

// The functions of each first letter, as a range of Functions (which lists them grouped by
// letter); found once instead of scanning the table at every factor.
struct TLetterRange {
    std::uint8_t Begin = 0, End = 0;
};
constexpr auto MakeLetterRanges() {
    std::array<TLetterRange, 26> ranges{};
    constexpr auto n = static_cast<std::uint8_t>(std::size(Functions));
    for (std::uint8_t i = 0; i < n; ++i) {
        TLetterRange& r = ranges[static_cast<std::size_t>(Functions[i].Name[0] - 'A')];
        if (r.Begin == r.End) r.Begin = i;
        r.End = static_cast<std::uint8_t>(i + 1);
    }
    return ranges;
}
constexpr std::array<TLetterRange, 26> LetterRanges = MakeLetterRanges();

}  // namespace

std::span<const TFunction> FunctionsOf(char c) {
    if (c < 'A' || c > 'Z') return {};
    const TLetterRange r = LetterRanges[static_cast<std::size_t>(c - 'A')];
    return std::span<const TFunction>(Functions + r.Begin, Functions + r.End);
}

double ApplyNumeric(TOp op, double a) {
    const long double x = a;
    switch (op) {
        case TOp::Arctan:
            return Checked(std::atan(x) * DegPerRad);
        case TOp::Abs:
            return std::fabs(a);
        case TOp::Cos:
            return Checked(std::cos(Radians(x)));
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
            return Checked(std::sin(Radians(x)));
        case TOp::Sqrt:
            if (a < 0) throw EInvalidOp();
            return Checked(std::sqrt(x));
        case TOp::Tan: {
            const long double c = std::cos(Radians(x));
            if (c == 0) throw EZeroDivide();
            return Checked(std::sin(Radians(x)) / c);
        }
        case TOp::Trunc:
            return static_cast<double>(ToInt64(x));
        case TOp::None:
            break;
    }
    return a;
}

}  // namespace equation

std::int32_t RandomBelow(std::int32_t n) {
    static std::mutex lock;
    static std::mt19937 generator(
        static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    if (n <= 0) return 0;
    std::lock_guard<std::mutex> guard(lock);
    return std::uniform_int_distribution<std::int32_t>(0, n - 1)(generator);
}

}  // namespace ov
