// The equation grammar, evaluated (Evaluator) or checked for its variables (Checker).
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
#include "calc/Equation.h"

#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <random>
#include <span>
#include <string>

#include "calc/CalcErrors.h"
#include "calc/EquationText.h"
#include "util/Exception.h"

namespace ov {

namespace {

constexpr long double RadPerDeg = 0.017453292519943295L;
constexpr long double DegPerRad = 57.29577951308232L;

enum class TForm { Numeric, Table, Attribute, LastValue, Not };
enum class TOp { None, Arctan, Abs, Cos, Exp, Int, Log, Ln, Rnd, Round, Sin, Sqrt, Tan, Trunc };

struct TFunction {
    std::string_view Name;
    TForm Form;
    TOp Op;
    TAttributeKind Kind;
};

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

// The functions whose name begins with c, in the order they are tried.
std::span<const TFunction> FunctionsOf(char c) {
    if (c < 'A' || c > 'Z') return {};
    const TLetterRange r = LetterRanges[static_cast<std::size_t>(c - 'A')];
    return std::span<const TFunction>(Functions + r.Begin, Functions + r.End);
}

// A result that left the double range is the fault the floating-point unit would report;
// NaN and infinity never travel on.
double Checked(long double r) {
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
std::int64_t ToInt64(long double v) {
    if (!(v > -9223372036854775809.0L && v < 9223372036854775808.0L)) throw EInvalidOp();
    return static_cast<std::int64_t>(v);
}

long double NaturalLog(long double a) {
    if (a < 0) throw EInvalidOp();
    if (a == 0) throw EZeroDivide();
    return std::log(a);
}

// Degrees to radians after taking whole turns off (exact in floating point), so that
// SIN(390) is SIN(30) to the last bit and large angles skip the slow argument reduction.
long double Radians(long double degrees) { return std::fmod(degrees, 360.0L) * RadPerDeg; }

double ApplyNumeric(TOp op, double a) {
    const long double x = a;
    switch (op) {
        case TOp::Arctan: return Checked(std::atan(x) * DegPerRad);
        case TOp::Abs: return std::fabs(a);
        case TOp::Cos: return Checked(std::cos(Radians(x)));
        case TOp::Exp: return Checked(std::exp(x));
        case TOp::Int: return std::trunc(a);
        case TOp::Log: return Checked(NaturalLog(x) / std::log(10.0L));
        case TOp::Ln: return Checked(NaturalLog(x));
        case TOp::Rnd: return RandomBelow(static_cast<std::int32_t>(ToInt64(x)));
        case TOp::Round: return static_cast<double>(ToInt64(std::nearbyint(x)));
        case TOp::Sin: return Checked(std::sin(Radians(x)));
        case TOp::Sqrt:
            if (a < 0) throw EInvalidOp();
            return Checked(std::sqrt(x));
        case TOp::Tan: {
            const long double c = std::cos(Radians(x));
            if (c == 0) throw EZeroDivide();
            return Checked(std::sin(Radians(x)) / c);
        }
        case TOp::Trunc: return static_cast<double>(ToInt64(x));
        case TOp::None: break;
    }
    return a;
}

// Counts nesting so that a hostile equation fails as a syntax error instead of overflowing
// the stack.
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

// ---------------------------------------------------------------------------------------
// Evaluation pass

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

double TEvaluator::Expression() {
    const double a = Sum();
    t_.SkipBlanks();
    int relation = 0;  // 1 <=, 2 <>, 3 <, 4 =, 5 >=, 6 >
    switch (t_.Current()) {
        case '<':
            relation = t_.MatchSymbol("<=") ? 1 : t_.MatchSymbol("<>") ? 2 : t_.MatchSymbol("<") ? 3 : 0;
            break;
        case '=':
            relation = t_.MatchSymbol("=") ? 4 : 0;
            break;
        case '>':
            relation = t_.MatchSymbol(">=") ? 5 : t_.MatchSymbol(">") ? 6 : 0;
            break;
        default:
            break;
    }
    if (relation == 0) return a;
    const double b = Sum();
    bool holds = false;
    switch (relation) {
        case 1: holds = a <= b; break;
        case 2: holds = a != b; break;
        case 3: holds = a < b; break;
        case 4: holds = a == b; break;
        case 5: holds = a >= b; break;
        default: holds = a > b; break;
    }
    return holds ? 1.0 : 0.0;
}

double TEvaluator::Sum() {
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
            const std::int64_t a = ToInt64(v);
            v = static_cast<double>(a | ToInt64(Term()));
        } else if (c == 'X' && t_.MatchWord("XOR")) {
            const std::int64_t a = ToInt64(v);
            v = static_cast<double>(a ^ ToInt64(Term()));
        } else {
            return v;
        }
    }
}

double TEvaluator::Term() {
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
            const std::int64_t a = ToInt64(v);
            v = static_cast<double>(a & ToInt64(Power()));
        } else if (c == 'M' && t_.MatchWord("MOD")) {
            const std::int64_t a = ToInt64(v);
            const std::int64_t b = ToInt64(Power());
            if (b == 0) throw EDivByZero();
            v = b == -1 ? 0.0 : static_cast<double>(a % b);  // -2^63 mod -1 would trap
        } else if (c == 'S' && (t_.MatchWord("SHR") || t_.MatchWord("SHL"))) {
            const bool right = t_.Text()[t_.Position() - 1] == 'R';
            const std::uint64_t a = static_cast<std::uint64_t>(ToInt64(v));
            // Counts are taken modulo 64, as the processor's shift instructions do.
            const unsigned n = static_cast<unsigned>(ToInt64(Power())) & 63u;
            v = static_cast<double>(static_cast<std::int64_t>(right ? a >> n : a << n));
        } else {
            return v;
        }
    }
}

double TEvaluator::Power() {
    const double a = Factor();
    t_.SkipBlanks();
    if (t_.Current() != '^') return a;
    t_.Advance();
    const long double logA = NaturalLog(a);  // before the exponent is read: (-2)^2 fails
    const double b = Factor();
    return Checked(std::exp(b * logA));
}

double TEvaluator::Factor() {
    TDepthGuard guard(depth_);
    t_.SkipBlanks();
    const char c = t_.Current();
    if (c == '(') {
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

bool TEvaluator::TryFunction(const TFunction& f, double& value) {
    if (f.Form == TForm::Not) {
        if (!t_.MatchWord("NOT")) return false;
        value = Factor() == 0 ? 1.0 : 0.0;
        return true;
    }
    // A word without "(" stays consumed; the next function goes on after it.
    if (!t_.MatchWord(f.Name) || !t_.MatchSymbol("(")) return false;
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

// ---------------------------------------------------------------------------------------
// Check pass: the same grammar, computing nothing, collecting variable names. A failure mark
// stands for a missing ")" or ","; it fails the enclosing Expression with error 1608.

class TChecker {
public:
    TChecker(std::string_view equation, TStringList& names, TEquationFindings* findings)
        : t_(equation), names_(names), findings_(findings) {}
    void Run() {
        if (t_.Text().empty()) return;
        Expression();
        if (findings_ != nullptr) {
            t_.SkipBlanks();
            if (!t_.AtEnd()) {
                findings_->UnreadAt = t_.Position();
                findings_->Unread = std::string(t_.Text().substr(t_.Position()));
            }
        }
    }

private:
    void Expression();
    void Sum();
    void Term();
    void Power();
    void Factor();
    bool TryFunction(const TFunction& f);
    void AddName(std::string_view name) {
        if (name.empty()) throw ECalcExException(MsgInvalidVariableName);
        if (names_.IndexOf(name) < 0) names_.Add(name);
    }

    TEquationText t_;
    TStringList& names_;
    TEquationFindings* findings_;
    int depth_ = 0;
    bool failed_ = false;  // the failure mark
};

void TChecker::Expression() {
    Sum();
    t_.SkipBlanks();
    bool relation = false;
    switch (t_.Current()) {
        case '<':
            relation = t_.MatchSymbol("<=") || t_.MatchSymbol("<>") || t_.MatchSymbol("<");
            break;
        case '=':
            relation = t_.MatchSymbol("=");
            break;
        case '>':
            relation = t_.MatchSymbol(">=") || t_.MatchSymbol(">");
            break;
        default:
            break;
    }
    if (relation) Sum();
    if (failed_) throw ECalcExException(MsgSyntaxError);
}

void TChecker::Sum() {
    if (t_.Current() == '-') t_.Advance();
    Term();
    for (;;) {
        t_.SkipBlanks();
        const char c = t_.Current();
        if (c == '+' || c == '-') {
            t_.Advance();
            Term();
        } else if ((c == 'O' && t_.MatchWord("OR")) || (c == 'X' && t_.MatchWord("XOR"))) {
            Term();
        } else {
            return;
        }
    }
}

void TChecker::Term() {
    Power();
    for (;;) {
        t_.SkipBlanks();
        const char c = t_.Current();
        if (c == '*' || c == '/') {
            t_.Advance();
            Power();
        } else if ((c == 'A' && t_.MatchWord("AND")) || (c == 'M' && t_.MatchWord("MOD")) ||
                   (c == 'S' && (t_.MatchWord("SHR") || t_.MatchWord("SHL")))) {
            Power();
        } else {
            return;
        }
    }
}

void TChecker::Power() {
    Factor();
    // Here "^" counts only right after the base: A ^ B checks as A alone.
    if (t_.Current() == '^') {
        t_.Advance();
        Factor();
    }
}

void TChecker::Factor() {
    TDepthGuard guard(depth_);
    t_.SkipBlanks();
    const char c = t_.Current();
    if (c == '(') {
        t_.Advance();
        Expression();
        if (!t_.MatchSymbol(")")) failed_ = true;
        return;
    }
    if (c == '+' || c == '-' || c == '.' || TEquationText::IsDigit(c)) {
        const std::size_t at = t_.Position();
        bool hadDigits = true;
        try {
            t_.ReadNumeral(&hadDigits);
        } catch (const EMathError&) {
            // Its value does not matter here; the evaluation reports it.
        }
        if (!hadDigits && findings_ != nullptr) {
            // Look past blanks without moving: the pass itself goes on from here.
            const std::size_t after = t_.Position();
            t_.SkipBlanks();
            const char next = t_.Current();
            t_.SetPosition(after);
            if ((next == '(' || TEquationText::IsNameChar(next)) && (c == '+' || c == '-'))
                findings_->LoneSigns.push_back(at);
        }
        return;
    }
    for (const TFunction& f : FunctionsOf(c))
        if (TryFunction(f)) return;
    AddName(t_.ReadName());
}

bool TChecker::TryFunction(const TFunction& f) {
    switch (f.Form) {
        case TForm::Not:
            if (!t_.MatchWord("NOT")) return false;
            Factor();
            return true;
        case TForm::Numeric:
            if (failed_ || !t_.MatchWord(f.Name) || !t_.MatchSymbol("(")) return false;
            Expression();
            if (!t_.MatchSymbol(")")) {
                failed_ = true;
                return false;
            }
            return true;
        case TForm::Table:
        case TForm::LastValue: {
            if (failed_ || !t_.MatchWord(f.Name) || !t_.MatchSymbol("(")) return false;
            t_.SkipBlanks();
            bool found = false;
            t_.ReadRawUntil(",", found);
            if (!found) {
                failed_ = true;
                return false;
            }
            t_.Advance();
            Expression();
            if (!t_.MatchSymbol(")")) {
                failed_ = true;
                return false;
            }
            return true;
        }
        case TForm::Attribute: {
            if (!t_.MatchWord(f.Name) || !t_.MatchSymbol("(")) return false;
            t_.SkipBlanks();
            bool found = false;
            AddName(t_.ReadRawUntil(",)", found));
            if (found && t_.Current() == ',') {
                t_.Advance();
                Expression();
            }
            if (!t_.MatchSymbol(")")) throw ECalcExException(MsgSyntaxError);
            return true;
        }
    }
    return false;
}

}  // namespace

double EvaluateEquation(std::string_view equation, IEquationHooks& hooks) {
    // An empty equation has no value; publishing an undefined one would be worse than saying so.
    if (equation.empty()) throw ECalcExException(MsgSyntaxError);
    TEvaluator evaluator(equation, hooks);
    return evaluator.Run();
}

void CheckEquation(std::string_view equation, TStringList& names, TEquationFindings* findings) {
    names.Clear();
    if (findings != nullptr) *findings = TEquationFindings{};
    TChecker checker(equation, names, findings);
    checker.Run();
}

std::int32_t RandomBelow(std::int32_t n) {
    static std::mutex lock;
    static std::mt19937 generator(static_cast<std::uint32_t>(
        std::chrono::system_clock::now().time_since_epoch().count()));
    if (n <= 0) return 0;
    std::lock_guard<std::mutex> guard(lock);
    return std::uniform_int_distribution<std::int32_t>(0, n - 1)(generator);
}

}  // namespace ov
