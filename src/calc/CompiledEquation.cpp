// The evaluation of the equation grammar (calc/EquationGrammar.h) in two stages: the compiler
// reads the text once, in the grammar's reading order, and writes each step where reading
// would take it (operands before their operator, the base's logarithm before the exponent is
// read, a syntax error where the reader meets it); the evaluator runs the steps on a stack.
// Evaluation therefore asks the hooks, computes and fails in exactly the order of the text.
#include "calc/CompiledEquation.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string_view>

#include "calc/EquationGrammar.h"
#include "calc/EquationText.h"

namespace ov {

namespace equation {

void RaiseFailure(TFailure failure) {
    switch (failure) {
        case TFailure::InvalidVariableName:
            throw ECalcExException(MsgInvalidVariableName);
        case TFailure::Syntax:
            break;
        case TFailure::TableSyntax:
            throw ECalcExException(MsgTableSyntax);
        case TFailure::ParenExpected:
            throw ECalcExException(MsgParenExpected);
        case TFailure::Overflow:
            throw EOverflow();
    }
    throw ECalcExException(MsgSyntaxError);
}

}  // namespace equation

namespace {

// Unwinds the compiler once the failing step is written.
struct TStopReading {};

using equation::IsBinary;
using equation::TCode;
using equation::TFailure;
using equation::TOperand;
using equation::TStep;

}  // namespace

// Reads the text with the rules of the reading evaluation and writes its steps.
class TEquationCompiler {
  public:
    TEquationCompiler(std::string_view equation, TCompiledEquation& out)
        : t_(equation), out_(out) {}

    void Run() {
        out_.text_ = std::string(t_.Text());
        try {
            // An empty equation has no value; publishing an undefined one would be worse than
            // saying so.
            if (t_.Text().empty()) Stop(TFailure::Syntax);
            Expression();
        } catch (const TStopReading&) {
        }
    }

  private:
    void Expression();
    void Sum();
    void Term();
    void Power();
    void Factor();
    bool TryFunction(const equation::TFunction& f);

    // Writes a step and keeps count of the stacks' depths. A binary step whose right operand
    // was a lone numeral or variable (the step just written) takes it into itself: the same
    // look-up at the same point, without the push. If the left operand was one too (the step
    // before), the step takes that as well and pushes the result.
    void Emit(TCode code, std::uint8_t sub = 0, std::uint32_t arg = 0, double value = 0) {
        std::vector<TStep>& code_ = out_.code_;
        if (IsBinary(code)) {
            --values_;
            TStep step;
            step.Code = code;
            step.Sub = sub;
            if (IsPush(code_.back())) {
                Inline(code_.back(), step.Operand, step.Arg, step.Value);
                code_.pop_back();
                if (!code_.empty() && IsPush(code_.back())) {
                    Inline(code_.back(), step.Left, step.LeftArg, step.LeftValue);
                    code_.pop_back();
                }
            }
            code_.push_back(step);
            return;
        }
        TStep step;
        step.Code = code;
        step.Sub = sub;
        step.Arg = arg;
        step.Value = value;
        code_.push_back(step);
        switch (code) {
            case TCode::Const:
            case TCode::Variable:
                Push();
                break;
            case TCode::Log:
                --values_;
                if (++logs_ > out_.maxLogs_) out_.maxLogs_ = logs_;
                break;
            case TCode::Pow:
                --logs_;
                break;
            default:
                break;
        }
    }
    static bool IsPush(const TStep& s) {
        return s.Code == TCode::Const || s.Code == TCode::Variable;
    }
    static void Inline(const TStep& push, TOperand& operand, std::uint32_t& arg, double& value) {
        operand = push.Code == TCode::Const ? TOperand::Const : TOperand::Variable;
        arg = push.Arg;
        value = push.Value;
    }
    void Push() {
        if (++values_ > out_.maxValues_) out_.maxValues_ = values_;
    }
    [[noreturn]] void Stop(TFailure f) {
        Emit(TCode::Fail, static_cast<std::uint8_t>(f));
        throw TStopReading{};
    }
    // One level of nesting (a parenthesis, a function's argument list, a NOT); past
    // MaxEquationNesting the reading stops with a syntax error, as it does for the reader.
    class TLevel {
      public:
        explicit TLevel(TEquationCompiler& c) : c_(c) {
            if (++c_.depth_ > MaxEquationNesting) c_.Stop(TFailure::Syntax);
        }
        ~TLevel() { --c_.depth_; }
        TLevel(const TLevel&) = delete;
        TLevel& operator=(const TLevel&) = delete;

      private:
        TEquationCompiler& c_;
    };

    TCompiledEquation::TName NameOf(std::string_view name) const {
        return {static_cast<std::uint32_t>(name.data() - t_.Text().data()),
                static_cast<std::uint32_t>(name.size())};
    }
    std::uint32_t AddName(std::string_view name) {
        out_.names_.push_back(NameOf(name));
        return static_cast<std::uint32_t>(out_.names_.size() - 1);
    }
    std::uint32_t SlotOf(std::string_view name) {
        for (std::uint32_t i = 0; i < out_.variables_.size(); ++i)
            if (out_.NameText(out_.variables_[i]) == name) return i;
        out_.variables_.push_back(NameOf(name));
        return static_cast<std::uint32_t>(out_.variables_.size() - 1);
    }

    TEquationText t_;
    TCompiledEquation& out_;
    std::size_t values_ = 0;
    std::size_t logs_ = 0;
    int depth_ = 0;
};

void TEquationCompiler::Expression() {
    Sum();
    const TRelation relation = t_.ReadRelation();
    if (relation == rlNone) return;
    Sum();
    Emit(TCode::Compare, relation);
}

void TEquationCompiler::Sum() {
    // Only a "-" right at the position negates, and it negates the whole first Term.
    bool negate = false;
    if (t_.Current() == '-') {
        t_.Advance();
        negate = true;
    }
    Term();
    if (negate) Emit(TCode::Negate);
    for (;;) {
        t_.SkipBlanks();
        const char c = t_.Current();
        if (c == '+' || c == '-') {
            t_.Advance();
            Term();
            Emit(c == '+' ? TCode::Add : TCode::Sub);
        } else if (c == 'O' && t_.MatchWord("OR")) {
            Term();
            Emit(TCode::Or);
        } else if (c == 'X' && t_.MatchWord("XOR")) {
            Term();
            Emit(TCode::Xor);
        } else {
            return;
        }
    }
}

void TEquationCompiler::Term() {
    Power();
    for (;;) {
        t_.SkipBlanks();
        const char c = t_.Current();
        if (c == '*') {
            t_.Advance();
            Power();
            Emit(TCode::Mul);
        } else if (c == '/') {
            t_.Advance();
            Power();
            Emit(TCode::Div);
        } else if (c == 'A' && t_.MatchWord("AND")) {
            Power();
            Emit(TCode::And);
        } else if (c == 'M' && t_.MatchWord("MOD")) {
            Power();
            Emit(TCode::Mod);
        } else if (c == 'S' && (t_.MatchWord("SHR") || t_.MatchWord("SHL"))) {
            const bool right = t_.Text()[t_.Position() - 1] == 'R';
            Power();
            Emit(right ? TCode::Shr : TCode::Shl);
        } else {
            return;
        }
    }
}

void TEquationCompiler::Power() {
    Factor();
    t_.SkipBlanks();
    if (t_.Current() != '^') return;
    t_.Advance();
    Emit(TCode::Log);  // before the exponent is read: (-2)^2 fails
    Factor();
    Emit(TCode::Pow);
}

void TEquationCompiler::Factor() {
    t_.SkipBlanks();
    const char c = t_.Current();
    if (c == '(') {
        const TLevel level(*this);
        t_.Advance();
        Expression();
        if (!t_.MatchSymbol(")")) Stop(TFailure::ParenExpected);
        return;
    }
    if (c == '+' || c == '-' || c == '.' || TEquationText::IsDigit(c)) {
        double v = 0;
        try {
            v = t_.ReadNumeral();
        } catch (const EOverflow&) {
            Stop(TFailure::Overflow);
        }
        Emit(TCode::Const, 0, 0, v);
        return;
    }
    for (const equation::TFunction& f : equation::FunctionsOf(c))
        if (TryFunction(f)) return;
    const std::string_view name = t_.ReadName();
    if (name.empty()) Stop(TFailure::InvalidVariableName);
    Emit(TCode::Variable, 0, SlotOf(name));
}

bool TEquationCompiler::TryFunction(const equation::TFunction& f) {
    using equation::TForm;
    if (f.Form == TForm::Not) {
        if (!t_.MatchWord("NOT")) return false;
        const TLevel level(*this);
        Factor();
        Emit(TCode::Not);
        return true;
    }
    // A word without "(" stays consumed; the next function goes on after it.
    if (!t_.MatchWord(f.Name) || !t_.MatchSymbol("(")) return false;
    const TLevel level(*this);
    switch (f.Form) {
        case TForm::Numeric:
            Expression();
            if (!t_.MatchSymbol(")")) Stop(TFailure::Syntax);
            Emit(TCode::Numeric, static_cast<std::uint8_t>(f.Op));
            return true;
        case TForm::Table: {
            t_.SkipBlanks();
            bool found = false;
            const std::string_view table = t_.ReadRawUntil(",", found);
            if (!found) Stop(TFailure::TableSyntax);
            t_.Advance();
            Expression();
            if (!t_.MatchSymbol(")")) Stop(TFailure::TableSyntax);
            Emit(TCode::Table, 0, AddName(table));
            return true;
        }
        case TForm::Attribute: {
            t_.SkipBlanks();
            bool found = false;
            const std::string_view name = t_.ReadRawUntil(",)", found);
            if (found && t_.Current() == ',') {
                t_.Advance();
                Expression();
            } else {
                Emit(TCode::Const);  // no second argument: 0
            }
            if (!t_.MatchSymbol(")")) Stop(TFailure::Syntax);
            Emit(TCode::Attribute, static_cast<std::uint8_t>(f.Kind), AddName(name));
            return true;
        }
        case TForm::LastValue: {
            t_.SkipBlanks();
            bool found = false;
            const std::string_view name = t_.ReadRawUntil(",", found);
            if (!found) Stop(TFailure::Syntax);
            t_.Advance();
            Expression();
            if (!t_.MatchSymbol(")")) Stop(TFailure::Syntax);
            Emit(TCode::LastValue, 0, AddName(name));
            return true;
        }
        case TForm::Not:
            break;
    }
    return false;
}

TCompiledEquation::TCompiledEquation(std::string_view equation) {
    TEquationCompiler(equation, *this).Run();
}

double EvaluateEquation(std::string_view equation, IEquationHooks& hooks) {
    return TCompiledEquation(equation).Evaluate(hooks);
}

}  // namespace ov
