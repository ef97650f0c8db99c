// The equation grammar: the evaluation, which reads an equation once into byte code
// (calc/CompiledEquation.h) and computes its value from it, and the check pass that lists the
// variables an equation uses.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/StringList.h"

namespace ov {

// The station and sensor attributes that equation functions read from the setup server.
enum class TAttributeKind : int {
    akShift = 0,
    akOffset = 1,
    akElevation = 2,
    akStationCoefficient = 3,
    akSensorCoefficient = 4,
    akRatingTable = 5,
    akStationGpNumber = 6,
    akSensorGpNumber = 7,
};

// What an equation needs from the station network. Each hook returns a value or raises.
class IEquationHooks {
  public:
    virtual ~IEquationHooks() = default;
    virtual double Variable(std::string_view name) = 0;
    // The variable of a compiled equation's slot (one per distinct name): hooks that remember
    // what they found for a slot override it; by name otherwise.
    virtual double SlotVariable(std::uint32_t /*slot*/, std::string_view name) {
        return Variable(name);
    }
    // LSTVAL(name, x); false makes the evaluation fail with error 1611.
    virtual bool LastValue(std::string_view name, double x, double& value) = 0;
    virtual double Attribute(TAttributeKind kind, std::string_view name, double x) = 0;
    virtual double Table(std::string_view tableName, double x) = 0;
};

// Nesting deeper than this (parentheses, function arguments, NOT chains) is a syntax error
// rather than a risk to the stack.
inline constexpr int MaxEquationNesting = 1000;

// Evaluates one expression from the start of the equation; text after a complete expression
// is not read. Raises ECalcExException (errors 1607-1612; an empty equation is error 1608),
// the arithmetic faults of util/Exception.h, or whatever a hook raises. Reads the text into
// byte code for this one call; TCalcEx keeps the byte code of the equations it calculates.
double EvaluateEquation(std::string_view equation, IEquationHooks& hooks);

// What the check pass noticed besides the names: the silent pitfalls of the grammar.
struct TEquationFindings {
    // 0-based positions of signs that read as the numeral 0 because a name or "(" follows
    // (2*-A is 0, and A is never read).
    std::vector<std::size_t> LoneSigns;
    // Text after the complete expression that no pass reads (A B, A=B=C, a tab); empty when
    // only blanks follow.
    std::string Unread;
    std::size_t UnreadAt = 0;
    // The rating tables the equation reads: TABLE's table names as written, and the variables
    // whose sensor's rating table DBTABLE reads; each in the order first used, once.
    std::vector<std::string> Tables;
    std::vector<std::string> TableVariables;
};

// Clears names and adds every variable name the equation uses (attribute functions' first
// arguments included; TABLE and LSTVAL first arguments not). Raises ECalcExException on a
// syntax error (1607, 1608). With findings, also reports the pitfalls.
void CheckEquation(std::string_view equation, TStringList& names,
                   TEquationFindings* findings = nullptr);

// The process-wide generator of RND, seeded from the clock at start: 0 <= r < n, 0 for n <= 0.
std::int32_t RandomBelow(std::int32_t n);
// Starts the generator of RND again from seed, so that a run can be repeated (tests).
void SeedRandom(std::uint32_t seed);

}  // namespace ov
