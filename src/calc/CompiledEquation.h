// An equation read once into byte code and evaluated as often as needed. The byte code keeps
// the reading order: every look-up, every arithmetic step and every error happens at the point
// where reading the text would meet it, so a syntax error after a failing look-up still
// reports the look-up, and text after a complete expression is never evaluated.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "calc/CalcErrors.h"
#include "calc/Equation.h"
#include "calc/EquationGrammar.h"
#include "calc/EquationText.h"

namespace ov {

namespace equation {

// What a step of the byte code does.
enum class TCode : std::uint8_t {
    Const,      // push Value
    Variable,   // push the variable of slot Arg
    Negate,     // the unary "-" of a Sum
    Log,        // the base of "^" moves to the logarithm stack as its logarithm
    Pow,        // the exponent times the base's logarithm, exponentiated
    Numeric,    // a numeric function (Sub: TOp)
    Not,        // NOT
    Table,      // TABLE(name Arg, x)
    Attribute,  // an attribute function (Sub: TAttributeKind) of name Arg at x
    LastValue,  // LSTVAL(name Arg, x): error 1611 when the look-up reports false
    Fail,       // raises the TFailure in Sub
    // The binary steps, their right operand where Operand says.
    Add,      // "+"
    Sub,      // "-"
    Or,       // OR
    Xor,      // XOR
    Mul,      // "*"
    Div,      // "/": error 1612 for a divisor of 0
    And,      // AND
    Mod,      // MOD
    Shr,      // SHR
    Shl,      // SHL
    Compare,  // a comparison (Sub: TRelation)
};
inline bool IsBinary(TCode code) {
    return code >= TCode::Add;
}

// Where a binary step finds an operand: on the stack, or in the step itself (a numeral, or a
// variable looked up right there), which saves a push and a pop. A step whose left operand is
// in the step pushes its result; the left operand is then looked up before the right one.
enum class TOperand : std::uint8_t { Stack, Const, Variable };

// What reading reports at the point where the text stops making sense.
enum class TFailure : std::uint8_t {
    InvalidVariableName,  // 1607
    Syntax,               // 1608
    TableSyntax,          // 1609
    ParenExpected,        // 1610
    Overflow,             // a numeral beyond the double range
};

struct TStep {
    TCode Code = TCode::Const;
    std::uint8_t Sub = 0;
    TOperand Operand = TOperand::Stack;  // binary steps: the right operand
    TOperand Left = TOperand::Stack;     // binary steps: the left operand
    std::uint32_t Arg = 0;      // variable slot (Variable, the right operand) or name (functions)
    std::uint32_t LeftArg = 0;  // the left operand's variable slot
    double Value = 0;           // Const, the right operand's numeral
    double LeftValue = 0;       // the left operand's numeral
};

[[noreturn]] void RaiseFailure(TFailure failure);

}  // namespace equation

class TCompiledEquation {
  public:
    // Reads the equation (upper-cased, ASCII a-z only). Never fails: what reading would report
    // becomes a step of the byte code that raises it when evaluation reaches it.
    explicit TCompiledEquation(std::string_view equation);
    TCompiledEquation(const TCompiledEquation&) = delete;
    TCompiledEquation& operator=(const TCompiledEquation&) = delete;

    // The value, asking the hooks in reading order; raises what the reading evaluation would
    // raise, in the same order.
    double Evaluate(IEquationHooks& hooks) const { return Run(hooks); }
    // The same with hooks of a known type, whose calls the compiler can inline.
    template <class Hooks>
    double Run(Hooks& hooks) const;

    // Variables are numbered by their distinct names, in the order first read; hooks get the
    // number with SlotVariable.
    std::uint32_t VariableCount() const { return static_cast<std::uint32_t>(variables_.size()); }
    std::string_view VariableName(std::uint32_t slot) const { return NameText(variables_[slot]); }
    // The upper-cased text the byte code was read from.
    const std::string& Text() const { return text_; }
    const std::vector<equation::TStep>& Steps() const { return code_; }

  private:
    friend class TEquationCompiler;
    // Run on the given stacks (v: maxValues_ entries, logs: maxLogs_).
    template <class Hooks>
    double RunOn(Hooks& hooks, double* v, long double* logs) const;

    struct TName {
        std::uint32_t At = 0, Size = 0;  // a range of text_
    };
    std::string_view NameText(TName n) const {
        return std::string_view(text_).substr(n.At, n.Size);
    }

    std::string text_;
    std::vector<equation::TStep> code_;
    std::vector<TName> names_;      // names and table names of the steps
    std::vector<TName> variables_;  // the variable slots
    std::size_t maxValues_ = 0;     // the deepest the value stack gets
    std::size_t maxLogs_ = 0;       // the deepest the stack of "^" bases' logarithms gets
};

template <class Hooks>
double TCompiledEquation::Run(Hooks& hooks) const {
    // Equations are short: both stacks live on the machine stack unless one is deep.
    constexpr std::size_t InlineValues = 32, InlineLogs = 8;
    if (maxValues_ <= InlineValues && maxLogs_ <= InlineLogs) {
        double v[InlineValues];
        long double logs[InlineLogs];
        return RunOn(hooks, v, logs);
    }
    std::vector<double> v(maxValues_);
    std::vector<long double> logs(maxLogs_);
    return RunOn(hooks, v.data(), logs.data());
}

template <class Hooks>
double TCompiledEquation::RunOn(Hooks& hooks, double* v, long double* logs) const {
    using namespace equation;
    // v[0] takes the top's initial 0 at the first push, so no push needs to ask whether there
    // is a value yet; it is never an operand.
    double top = 0;
    std::size_t n = 0;  // entries of v below the top
    std::size_t l = 0;  // logarithms on their stack
    for (const TStep& s : code_) {
        if (IsBinary(s.Code)) {
            double a, b;
            if (s.Left != TOperand::Stack) {
                // Both operands in the step, the left one first; the result is pushed.
                a = s.Left == TOperand::Const
                        ? s.LeftValue
                        : hooks.SlotVariable(s.LeftArg, NameText(variables_[s.LeftArg]));
                b = s.Operand == TOperand::Const
                        ? s.Value
                        : hooks.SlotVariable(s.Arg, NameText(variables_[s.Arg]));
                v[n++] = top;
            } else if (s.Operand == TOperand::Stack) {
                b = top;
                a = v[--n];
            } else {
                // The right operand in the step, looked up now; the left one is the top.
                b = s.Operand == TOperand::Const
                        ? s.Value
                        : hooks.SlotVariable(s.Arg, NameText(variables_[s.Arg]));
                a = top;
            }
            switch (s.Code) {
                case TCode::Add:
                    top = Finite(a + b);
                    break;
                case TCode::Sub:
                    top = Finite(a - b);
                    break;
                case TCode::Or: {
                    const std::int64_t i = ToInt64(a);
                    top = static_cast<double>(i | ToInt64(b));
                    break;
                }
                case TCode::Xor: {
                    const std::int64_t i = ToInt64(a);
                    top = static_cast<double>(i ^ ToInt64(b));
                    break;
                }
                case TCode::Mul:
                    top = Finite(a * b);
                    break;
                case TCode::Div:
                    if (b == 0) throw ECalcExException(MsgDivideByZero);
                    top = Finite(a / b);
                    break;
                case TCode::And: {
                    const std::int64_t i = ToInt64(a);
                    top = static_cast<double>(i & ToInt64(b));
                    break;
                }
                case TCode::Mod: {
                    const std::int64_t i = ToInt64(a);
                    const std::int64_t j = ToInt64(b);
                    if (j == 0) throw EDivByZero();
                    top = j == -1 ? 0.0 : static_cast<double>(i % j);  // -2^63 mod -1 traps
                    break;
                }
                case TCode::Shr:
                case TCode::Shl: {
                    const std::uint64_t i = static_cast<std::uint64_t>(ToInt64(a));
                    // Counts are taken modulo 64, as the processor's shift instructions do.
                    const unsigned count = static_cast<unsigned>(ToInt64(b)) & 63u;
                    top = static_cast<double>(
                        static_cast<std::int64_t>(s.Code == TCode::Shr ? i >> count : i << count));
                    break;
                }
                default: {  // Compare
                    bool holds = false;
                    switch (static_cast<TRelation>(s.Sub)) {
                        case rlLessOrEqual:
                            holds = a <= b;
                            break;
                        case rlNotEqual:
                            holds = a != b;
                            break;
                        case rlLess:
                            holds = a < b;
                            break;
                        case rlEqual:
                            holds = a == b;
                            break;
                        case rlGreaterOrEqual:
                            holds = a >= b;
                            break;
                        case rlGreater:
                            holds = a > b;
                            break;
                        case rlNone:
                            break;
                    }
                    top = holds ? 1.0 : 0.0;
                    break;
                }
            }
            continue;
        }
        switch (s.Code) {
            case TCode::Const:
                v[n++] = top;
                top = s.Value;
                break;
            case TCode::Variable:
                v[n++] = top;
                top = hooks.SlotVariable(s.Arg, NameText(variables_[s.Arg]));
                break;
            case TCode::Negate:
                top = -top;
                break;
            case TCode::Log:
                logs[l++] = NaturalLog(top);
                top = v[--n];
                break;
            case TCode::Pow:
                top = Checked(std::exp(top * logs[--l]));
                break;
            case TCode::Numeric:
                top = ApplyNumeric(static_cast<TOp>(s.Sub), top);
                break;
            case TCode::Not:
                top = top == 0 ? 1.0 : 0.0;
                break;
            case TCode::Table:
                top = hooks.Table(NameText(names_[s.Arg]), top);
                break;
            case TCode::Attribute:
                top = hooks.Attribute(static_cast<TAttributeKind>(s.Sub), NameText(names_[s.Arg]),
                                      top);
                break;
            case TCode::LastValue: {
                double value = 0;
                if (!hooks.LastValue(NameText(names_[s.Arg]), top, value))
                    throw ECalcExException(MsgLastValueFailed);
                top = value;
                break;
            }
            case TCode::Fail:
                RaiseFailure(static_cast<TFailure>(s.Sub));
            default:
                break;
        }
    }
    return top;
}

}  // namespace ov
