// The reference for the compiled equations: the evaluation that reads the equation afresh at
// every call and computes as it reads (what the calculator did before it compiled), and
// Calculate on top of it with the calculator's own look-ups. Tests and the calc fuzz target
// compare the compiled evaluation with it, result for result and error for error.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "calc/CalcEx.h"
#include "calc/EquationGrammar.h"
#include "calc/EquationText.h"
#include "util/Exception.h"

namespace ov::test {
namespace reading {

using namespace ov::equation;

class TEvaluator {
  public:
    TEvaluator(std::string_view equation, IEquationHooks& hooks) : t_(equation), hooks_(hooks) {}
    double Run() { return Expression(); }

  private:
    double Expression();
    double Sum();
    double Term();
    double Power();
    double Factor();
    bool TryFunction(const TFunction& f, double& value);

    TEquationText t_;
    IEquationHooks& hooks_;
    int depth_ = 0;
};

inline double TEvaluator::Expression() {
    const double a = Sum();
    const TRelation relation = t_.ReadRelation();
    if (relation == rlNone) return a;
    const double b = Sum();
    bool holds = false;
    switch (relation) {
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
    return holds ? 1.0 : 0.0;
}

inline double TEvaluator::Sum() {
    // Only a "-" right at the position negates, and it negates the whole first Term.
    bool negate = false;
    if (t_.Current() == '-') {
        t_.Advance();
        negate = true;
    }
    double v = Term();
    if (negate) v = -v;
    for (;;) {
        t_.SkipBlanks();
        const char c = t_.Current();
        if (c == '+' || c == '-') {
            t_.Advance();
            const double b = Term();
            v = Finite(c == '+' ? v + b : v - b);
        } else if (c == 'O' && t_.MatchWord("OR")) {
            // The right operand is read before either is truncated: its own syntax error comes
            // first, as with the arithmetic operators.
            const double b = Term();
            const std::int64_t a = ToInt64(v);
            v = static_cast<double>(a | ToInt64(b));
        } else if (c == 'X' && t_.MatchWord("XOR")) {
            const double b = Term();
            const std::int64_t a = ToInt64(v);
            v = static_cast<double>(a ^ ToInt64(b));
        } else {
            return v;
        }
    }
}

inline double TEvaluator::Term() {
    double v = Power();
    for (;;) {
        t_.SkipBlanks();
        const char c = t_.Current();
        if (c == '*') {
            t_.Advance();
            v = Finite(v * Power());
        } else if (c == '/') {
            t_.Advance();
            const double d = Power();
            if (d == 0) throw ECalcExException(MsgDivideByZero);
            v = Finite(v / d);
        } else if (c == 'A' && t_.MatchWord("AND")) {
            // Right operand first, then both truncated (see Sum).
            const double right = Power();
            const std::int64_t a = ToInt64(v);
            v = static_cast<double>(a & ToInt64(right));
        } else if (c == 'M' && t_.MatchWord("MOD")) {
            const double right = Power();
            const std::int64_t a = ToInt64(v);
            const std::int64_t b = ToInt64(right);
            if (b == 0) throw EDivByZero();
            v = b == -1 ? 0.0 : static_cast<double>(a % b);  // -2^63 mod -1 would trap
        } else if (c == 'S' && (t_.MatchWord("SHR") || t_.MatchWord("SHL"))) {
            const bool right = t_.Text()[t_.Position() - 1] == 'R';
            const double count = Power();
            const std::uint64_t a = static_cast<std::uint64_t>(ToInt64(v));
            // Counts are taken modulo 64, as the processor's shift instructions do.
            const unsigned n = static_cast<unsigned>(ToInt64(count)) & 63u;
            v = static_cast<double>(static_cast<std::int64_t>(right ? a >> n : a << n));
        } else {
            return v;
        }
    }
}

inline double TEvaluator::Power() {
    const double a = Factor();
    t_.SkipBlanks();
    if (t_.Current() != '^') return a;
    t_.Advance();
    const long double logA = NaturalLog(a);  // before the exponent is read: (-2)^2 fails
    const double b = Factor();
    return Checked(std::exp(b * logA));
}

inline double TEvaluator::Factor() {
    t_.SkipBlanks();
    const char c = t_.Current();
    if (c == '(') {
        const TDepthGuard level(depth_);
        t_.Advance();
        const double v = Expression();
        if (!t_.MatchSymbol(")")) throw ECalcExException(MsgParenExpected);
        return v;
    }
    if (c == '+' || c == '-' || c == '.' || TEquationText::IsDigit(c)) return t_.ReadNumeral();
    double v = 0;
    for (const TFunction& f : FunctionsOf(c))
        if (TryFunction(f, v)) return v;
    const std::string_view name = t_.ReadName();
    if (name.empty()) throw ECalcExException(MsgInvalidVariableName);
    return hooks_.Variable(name);
}

inline bool TEvaluator::TryFunction(const TFunction& f, double& value) {
    if (f.Form == TForm::Not) {
        if (!t_.MatchWord("NOT")) return false;
        const TDepthGuard level(depth_);
        value = Factor() == 0 ? 1.0 : 0.0;
        return true;
    }
    // A word without "(" stays consumed; the next function goes on after it.
    if (!t_.MatchWord(f.Name) || !t_.MatchSymbol("(")) return false;
    const TDepthGuard level(depth_);
    switch (f.Form) {
        case TForm::Numeric: {
            const double a = Expression();
            if (!t_.MatchSymbol(")")) throw ECalcExException(MsgSyntaxError);
            value = ApplyNumeric(f.Op, a);
            return true;
        }
        case TForm::Table: {
            t_.SkipBlanks();
            bool found = false;
            const std::string_view table = t_.ReadRawUntil(",", found);
            if (!found) throw ECalcExException(MsgTableSyntax);
            t_.Advance();
            const double x = Expression();
            if (!t_.MatchSymbol(")")) throw ECalcExException(MsgTableSyntax);
            value = hooks_.Table(table, x);
            return true;
        }
        case TForm::Attribute: {
            t_.SkipBlanks();
            bool found = false;
            const std::string_view name = t_.ReadRawUntil(",)", found);
            double x = 0;
            if (found && t_.Current() == ',') {
                t_.Advance();
                x = Expression();
            }
            if (!t_.MatchSymbol(")")) throw ECalcExException(MsgSyntaxError);
            value = hooks_.Attribute(f.Kind, name, x);
            return true;
        }
        case TForm::LastValue: {
            t_.SkipBlanks();
            bool found = false;
            const std::string_view name = t_.ReadRawUntil(",", found);
            if (!found) throw ECalcExException(MsgSyntaxError);
            t_.Advance();
            const double x = Expression();
            if (!t_.MatchSymbol(")")) throw ECalcExException(MsgSyntaxError);
            if (!hooks_.LastValue(name, x, value)) throw ECalcExException(MsgLastValueFailed);
            return true;
        }
        case TForm::Not:
            break;
    }
    return false;
}

}  // namespace reading

// Evaluates the equation by reading it, as EvaluateEquation did before equations were compiled.
inline double ReadingEvaluateEquation(std::string_view equation, IEquationHooks& hooks) {
    if (equation.empty()) throw ECalcExException(MsgSyntaxError);
    reading::TEvaluator evaluator(equation, hooks);
    return evaluator.Run();
}

// TCalcEx::Calculate as it was before equations were compiled: the reading evaluation with
// the calculator's look-ups, its table function and null-value settings, and the same
// translation of errors.
inline double ReadingCalculate(TCalcEx& calc, const TInputItem& inputItem,
                               const TCalcGroupItem& group, const TStationSensorDataCache& cache) {
    class THooks : public IEquationHooks {
      public:
        THooks(TCalcEx& calc, const TInputItem& item, const TCalcGroupItem& group,
               const TStationSensorDataCache& cache)
            : calc_(calc), item_(item), group_(group), cache_(cache) {}
        double Variable(std::string_view name) override {
            double value = 0;
            calc_.LookupVariable(std::string(name), item_, value, cache_, group_);
            return value;
        }
        bool LastValue(std::string_view name, double x, double& value) override {
            return calc_.LookupLastValue(std::string(name), item_, value, cache_, group_, x);
        }
        double Attribute(TAttributeKind kind, std::string_view name, double x) override {
            return calc_.LookupAttribute(kind, std::string(name), cache_, group_, item_, x);
        }
        double Table(std::string_view tableName, double x) override {
            return calc_.TableValue(std::string(tableName), x);
        }

      private:
        TCalcEx& calc_;
        const TInputItem& item_;
        const TCalcGroupItem& group_;
        const TStationSensorDataCache& cache_;
    } hooks(calc, inputItem, group, cache);
    try {
        return ReadingEvaluateEquation(group.FuncName, hooks);
    } catch (const FCalcExNullException&) {
        const TNullValueSettings null = calc.NullValueSettings();
        if (null.UseNullValue && null.NullOnMissing) return static_cast<double>(null.NullValue);
        throw;
    } catch (const ECalcExException&) {
        throw;
    } catch (const Exception& e) {
        throw ECalcExException(e.what());
    }
}

}  // namespace ov::test
