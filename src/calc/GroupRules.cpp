// The rules of a calculation group, and the words a report of findings gives them.
#include "calc/GroupRules.h"

#include <cstdint>
#include <set>
#include <unordered_map>
#include <utility>

#include "calc/CalcErrors.h"
#include "util/TextCompare.h"

namespace ov {

namespace {

class TRuleCheck {
  public:
    TRuleCheck(const TCalcGroupItem& group, TGroupCheck& check) : g_(group), check_(check) {}

    void Output();
    // False when the equation is blank or does not read: the check ends there.
    bool Equation();
    void Bindings();
    void Trigger();
    void SimilarStations(const THasSensor& hasSensor);

  private:
    void Say(TGroupRule rule, bool error, std::string text, std::string subject = {}) {
        check_.Findings.push_back({rule, error, std::move(text), std::move(subject)});
    }
    const std::vector<std::string>& Bound() const {
        return g_.MultiStations ? g_.MultiVariables : g_.Variables;
    }

    const TCalcGroupItem& g_;
    TGroupCheck& check_;
};

void TRuleCheck::Output() {
    const bool station = !TrimBlankEnds(g_.OutputStation).empty();
    const bool sensor = !TrimBlankEnds(g_.OutputSensor).empty();
    if (station && sensor) return;
    Say(station ? TGroupRule::grNoOutputSensor : TGroupRule::grNoOutputStation, true,
        "the output station.sensor is incomplete ('" + g_.OutputStation + "." + g_.OutputSensor +
            "'): results would be published without a proper name");
}

bool TRuleCheck::Equation() {
    if (TrimBlankEnds(g_.FuncName).empty()) {
        Say(TGroupRule::grEquationEmpty, true,
            "the equation is empty: every calculation of this group fails");
        return false;
    }
    TEquationFindings& pitfalls = check_.Equation;
    try {
        CheckEquation(g_.FuncName, check_.Variables, &pitfalls);
    } catch (const ECalcExException& e) {
        Say(TGroupRule::grEquationSyntax, true,
            "the equation \"" + g_.FuncName + "\" fails the check: " + e.what(), e.what());
        return false;
    }
    check_.EquationRead = true;

    for (std::size_t at : pitfalls.LoneSigns) {
        Say(TGroupRule::grLoneSign, false,
            "the sign at position " + std::to_string(at + 1) + " of \"" + g_.FuncName +
                "\" is read as the number 0 and what follows it is never read (2*-A is 0); "
                "write it in parentheses, as 2*(-A)");
    }
    if (!pitfalls.Unread.empty()) {
        std::string text;
        if (pitfalls.Unread[0] == '^') {
            text = "\"" + g_.FuncName +
                   "\" has a blank before \"^\": the calculation reads the power, but the "
                   "variable list (and this check) stops before it; write the \"^\" right after "
                   "its base";
        } else if (pitfalls.Unread[0] == '\t') {
            text = "a tab at position " + std::to_string(pitfalls.UnreadAt + 1) + " of \"" +
                   g_.FuncName + "\" ends the equation: \"" + pitfalls.Unread.substr(1) +
                   "\" is never read; use blanks instead";
        } else {
            text = "\"" + pitfalls.Unread + "\" at the end of \"" + g_.FuncName +
                   "\" is never read: only one complete expression (with at most one "
                   "comparison) is evaluated, so the result ignores it";
        }
        Say(TGroupRule::grUnreadText, false, std::move(text));
    }
    if (check_.Variables.Count() == 0)
        Say(TGroupRule::grNoVariables, false,
            "the equation uses no variable: its result is the same at every calculation");
    return true;
}

void TRuleCheck::Bindings() {
    const std::vector<std::string>& bindings = Bound();
    // The first binding of each name, as the calculation finds it (IndexOfName), but looked up
    // at once: a group may bind a great many names.
    std::unordered_map<std::string, std::size_t> bindingOf;
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        if (bindings[i].find('=') == std::string::npos) continue;
        bindingOf.try_emplace(UpperCaseAscii(NameOfEntry(bindings[i])), i);
    }
    for (const std::string& name : check_.Variables.Items()) {
        const auto found = bindingOf.find(UpperCaseAscii(name));
        if (found == bindingOf.end()) {
            Say(TGroupRule::grUnbound, true,
                "variable " + name +
                    " is used but not bound to a sensor: the calculation fails with Error 1603",
                name);
            continue;
        }
        const std::string_view value = ValueOfEntry(bindings[found->second]);
        if (TrimBlankEnds(value).empty()) {
            Say(TGroupRule::grBoundToNothing, true,
                "variable " + name + " is bound to nothing: choose its sensor", name);
        } else if (g_.MultiStations && value.find('.') == std::string_view::npos) {
            Say(TGroupRule::grNoStationPart, false,
                "variable " + name + " is bound to '" + std::string(value) +
                    "', which has no station part: it is read as station " + std::string(value) +
                    " with an empty sensor and never has a value",
                name);
        }
    }
    std::set<std::string> seen;
    for (const std::string& entry : bindings) {
        const std::string name(NameOfEntry(entry));
        if (name.empty()) {
            Say(TGroupRule::grNamelessBinding, false,
                "the binding '" + entry + "' has no variable name", entry);
            continue;
        }
        if (check_.Variables.IndexOf(name) < 0 && seen.insert(name).second)
            Say(TGroupRule::grUnused, false,
                "variable " + name + " is bound but the equation does not use it", name);
    }
}

void TRuleCheck::Trigger() {
    if (!g_.MultiStations) return;
    const std::int32_t trigger = g_.MultiVariablesTrigger;
    const auto count = static_cast<std::int32_t>(g_.MultiVariables.size());
    if (trigger >= 0 && trigger < count) return;
    Say(trigger == -1 ? TGroupRule::grNoTrigger : TGroupRule::grTriggerOutOfRange, true,
        "the trigger variable (index " + std::to_string(trigger) + ") is not one of the " +
            std::to_string(count) + " bound variables: the group is never calculated");
}

void TRuleCheck::SimilarStations(const THasSensor& hasSensor) {
    if (g_.MultiStations || !hasSensor) return;
    const std::string_view sensor = TrimBlankEnds(g_.OutputSensor);
    for (const std::string& station : g_.SimilarStations) {
        if (!hasSensor(station, sensor))
            Say(TGroupRule::grSimilarLacksSensor, true,
                "the similar station " + station + " has no sensor " + std::string(sensor) +
                    " in the station catalogue: its results would go to a sensor it does not "
                    "have",
                station);
    }
}

}  // namespace

const TGroupFinding* TGroupCheck::Find(TGroupRule rule) const {
    for (const TGroupFinding& finding : Findings)
        if (finding.Rule == rule) return &finding;
    return nullptr;
}

TGroupCheck CheckGroupRules(const TCalcGroupItem& group, const TGroupRuleOptions& options) {
    TGroupCheck check;
    TRuleCheck rules(group, check);
    if (options.Families & rfOutput) rules.Output();
    if (options.Families & rfEquation) {
        if (!rules.Equation()) return check;
        rules.Bindings();
    }
    if (options.Families & rfTrigger) rules.Trigger();
    if (options.Families & rfSimilar) rules.SimilarStations(options.HasSensor);
    return check;
}

}  // namespace ov
