// The check pass of the equation grammar (calc/EquationGrammar.h): the same grammar,
// computing nothing, collecting the variable names and the pitfalls a reader would miss.
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "calc/EquationGrammar.h"
#include "calc/EquationText.h"
#include "util/StringList.h"

namespace ov {
namespace equation {
namespace {

// A failure mark stands for a missing ")" or ","; it fails the enclosing Expression with
// error 1608.
class TChecker {
  public:
    TChecker(std::string_view equation, TStringList& names, TEquationFindings* findings)
        : t_(equation), names_(names), findings_(findings) {}
    void Run() {
        if (t_.Text().empty()) return;
        try {
            Expression();
        } catch (...) {
            // The names read before the error are handed over all the same.
            names_.AddAll(std::move(found_));
            throw;
        }
        names_.AddAll(std::move(found_));
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
    static void AddOnce(std::vector<std::string>* list, std::string_view name) {
        if (list == nullptr) return;
        for (const std::string& known : *list)
            if (known == name) return;
        list->emplace_back(name);
    }
    void AddName(std::string_view name) {
        if (name.empty()) throw ECalcExException(MsgInvalidVariableName);
        // The text is upper-cased: equal names are equal bytes. The list gets them all at the
        // end, so that a sorted one is sorted once.
        if (seen_.insert(name).second) found_.emplace_back(name);
    }

    TEquationText t_;
    TStringList& names_;
    std::unordered_set<std::string_view> seen_;  // views into t_'s text
    std::vector<std::string> found_;             // in the order first used
    TEquationFindings* findings_;
    int depth_ = 0;
    bool failed_ = false;  // the failure mark
};

void TChecker::Expression() {
    Sum();
    if (t_.ReadRelation() != rlNone) Sum();
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
    t_.SkipBlanks();
    const char c = t_.Current();
    if (c == '(') {
        const TDepthGuard level(depth_);
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
            {
                const TDepthGuard level(depth_);
                Factor();
            }
            return true;
        case TForm::Numeric: {
            if (failed_ || !t_.MatchWord(f.Name) || !t_.MatchSymbol("(")) return false;
            const TDepthGuard level(depth_);
            Expression();
            if (!t_.MatchSymbol(")")) {
                failed_ = true;
                return false;
            }
            return true;
        }
        case TForm::Table:
        case TForm::LastValue: {
            if (failed_ || !t_.MatchWord(f.Name) || !t_.MatchSymbol("(")) return false;
            const TDepthGuard level(depth_);
            t_.SkipBlanks();
            bool found = false;
            const std::string_view table = t_.ReadRawUntil(",", found);
            if (!found) {
                failed_ = true;
                return false;
            }
            if (f.Form == TForm::Table) AddOnce(findings_ ? &findings_->Tables : nullptr, table);
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
            const TDepthGuard level(depth_);
            t_.SkipBlanks();
            bool found = false;
            const std::string_view name = t_.ReadRawUntil(",)", found);
            AddName(name);
            if (f.Kind == TAttributeKind::akRatingTable)
                AddOnce(findings_ ? &findings_->TableVariables : nullptr, name);
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
}  // namespace equation

void CheckEquation(std::string_view equation, TStringList& names, TEquationFindings* findings) {
    names.Clear();
    if (findings != nullptr) *findings = TEquationFindings{};
    equation::TChecker checker(equation, names, findings);
    checker.Run();
}

}  // namespace ov
