// The rules a calculation group must meet to be calculated as it reads: an output station and
// sensor, an equation that reads, every variable it uses bound to a sensor, no binding it does
// not use, a trigger among the bound variables of a multiple-station group and, where the
// station catalogue is at hand, the output sensor at every similar station. One function
// finds what a group breaks; the setup dialog, "ovtool check" and the calculation thread each
// say it in their own words.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "calc/Equation.h"
#include "model/CalcGroups.h"
#include "util/StringList.h"

namespace ov {

// What a finding is about; each caller chooses the rules it reports and its own words for them.
enum class TGroupRule {
    grNoOutputStation,     // the output station is blank
    grNoOutputSensor,      // the output station is there, its sensor blank
    grEquationEmpty,       // the equation is blank: nothing else is looked at
    grEquationSyntax,      // the equation does not read: nothing else is looked at
    grLoneSign,            // a sign reads as the number 0 (2*-A)
    grUnreadText,          // text after the expression is never read
    grNoVariables,         // the equation uses no variable
    grUnbound,             // a variable the equation uses has no binding
    grBoundToNothing,      // a variable the equation uses is bound to a blank sensor
    grNoStationPart,       // a multiple-station binding without "station." before its sensor
    grNamelessBinding,     // a binding without a variable name
    grUnused,              // a binding the equation does not use
    grNoTrigger,           // a multiple-station group without a trigger (position -1)
    grTriggerOutOfRange,   // a multiple-station group's trigger is no position of its bindings
    grSimilarLacksSensor,  // a similar station the catalogue holds without the output sensor
};

struct TGroupFinding {
    TGroupRule Rule;
    bool Error;        // false: a warning (the group is calculated, but not as it seems to say)
    std::string Text;  // what is wrong and what follows from it, for a report of findings
    // The variable, binding or similar station the finding is about; for grEquationSyntax the
    // calculator's message. Empty for the rules of the group as a whole.
    std::string Subject;
};

// Whether the station catalogue holds sensor at station.
using THasSensor = std::function<bool(std::string_view station, std::string_view sensor)>;

// The families of rules a check looks at.
enum TGroupRuleFamily : unsigned {
    rfOutput = 1,    // grNoOutputStation, grNoOutputSensor
    rfEquation = 2,  // the equation, its variables and the bindings
    rfTrigger = 4,   // grNoTrigger, grTriggerOutOfRange
    rfSimilar = 8,   // grSimilarLacksSensor (only with a catalogue)
    rfAll = 15,
};

struct TGroupRuleOptions {
    unsigned Families = rfAll;
    THasSensor HasSensor = {};  // the station catalogue; without it, no similar station is checked
};

// What a check found, in the order of the families above, and what it read of the equation.
struct TGroupCheck {
    std::vector<TGroupFinding> Findings;
    bool EquationRead = false;    // the equation was checked and reads
    TStringList Variables{true};  // the names the equation uses, sorted (when it reads)
    TEquationFindings Equation;   // the pitfalls and rating tables of the equation (when it reads)

    bool Has(TGroupRule rule) const { return Find(rule) != nullptr; }
    // The first finding of rule; null when there is none.
    const TGroupFinding* Find(TGroupRule rule) const;
};

// Checks group against the rules of the families asked for. A blank text (the equation, the
// output names, a sensor) is one of blanks and control characters only. When the equation is
// checked and is blank or does not read, the check ends there: every calculation fails.
TGroupCheck CheckGroupRules(const TCalcGroupItem& group, const TGroupRuleOptions& options = {});

}  // namespace ov
