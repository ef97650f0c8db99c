// The equation functions: the table of their names and argument forms, and the process-wide
// generator of RND.
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

}  // namespace equation

namespace {

std::mutex randomLock;
std::mt19937& Generator() {  // guarded by randomLock
    static std::mt19937 generator(
        static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    return generator;
}

}  // namespace

std::int32_t RandomBelow(std::int32_t n) {
    if (n <= 0) return 0;
    std::lock_guard<std::mutex> guard(randomLock);
    return std::uniform_int_distribution<std::int32_t>(0, n - 1)(Generator());
}

void SeedRandom(std::uint32_t seed) {
    std::lock_guard<std::mutex> guard(randomLock);
    Generator().seed(seed);
}

}  // namespace ov
