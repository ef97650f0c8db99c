// The group rules: groups that break them beside groups that meet them, the families a caller
// asks for, and the station catalogue's similar-station rule.
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "calc/GroupRules.h"
#include "util/TextCompare.h"

namespace ov {
namespace {

using R = TGroupRule;

struct TGroupText {
    std::string Equation;
    std::string Station = "RIVER1";
    std::string Sensor = "Q";
    std::vector<std::string> Variables = {};
    bool Multi = false;
    std::vector<std::string> MultiVariables = {};
    int Trigger = -1;
    std::vector<std::string> Similar = {};
};

TCalcGroupItem Group(const TGroupText& text) {
    TCalcGroupItem g;
    g.FuncName = text.Equation;
    g.OutputStation = text.Station;
    g.OutputSensor = text.Sensor;
    g.Variables = text.Variables;
    g.MultiStations = text.Multi;
    g.MultiVariables = text.MultiVariables;
    g.MultiVariablesTrigger = text.Trigger;
    g.SimilarStations = text.Similar;
    return g;
}

// A finding as the table writes it: the rule, error or warning, and what it is about.
struct TSeen {
    R Rule;
    bool Error;
    std::string Subject = {};
    bool operator==(const TSeen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TSeen& seen) {
    return out << "{rule " << static_cast<int>(seen.Rule) << (seen.Error ? " error" : " warning")
               << " '" << seen.Subject << "'}";
}

std::vector<TSeen> Seen(const TGroupCheck& check) {
    std::vector<TSeen> seen;
    for (const TGroupFinding& f : check.Findings) seen.push_back({f.Rule, f.Error, f.Subject});
    return seen;
}

TEST(GroupRules, GroupsThatBreakARuleBesideThoseThatMeetThem) {
    struct Case {
        const char* What;
        TGroupText Text;
        std::vector<TSeen> Expected;
    };
    const Case cases[] = {
        {"a single-station group",
         {.Equation = "SQRT(H*2.5) + SHIFT(H)", .Variables = {"H=HG"}},
         {}},
        {"names bound without regard to case",
         {.Equation = "level + Rain", .Variables = {"LEVEL=HG", "rain=RN"}},
         {}},
        {"a multiple-station group",
         {.Equation = "(A+B)/2",
          .Multi = true,
          .MultiVariables = {"A=R1.HG", "B=R2.HG"},
          .Trigger = 1},
         {}},
        {"a single-station group's trigger is never looked at",
         {.Equation = "H", .Variables = {"H=HG"}, .Trigger = 7},
         {}},
        {"no output station",
         {.Equation = "H", .Station = " ", .Variables = {"H=HG"}},
         {{R::grNoOutputStation, true}}},
        {"no output station nor sensor",
         {.Equation = "H", .Station = "", .Sensor = "", .Variables = {"H=HG"}},
         {{R::grNoOutputStation, true}}},
        {"no output sensor",
         {.Equation = "H", .Sensor = "\t", .Variables = {"H=HG"}},
         {{R::grNoOutputSensor, true}}},
        {"an empty equation ends the check",
         {.Equation = "", .Sensor = "", .Multi = true},
         {{R::grNoOutputSensor, true}, {R::grEquationEmpty, true}}},
        {"a blank equation is empty", {.Equation = " \t "}, {{R::grEquationEmpty, true}}},
        {"an equation that does not read ends the check",
         {.Equation = "SQRT(H", .Multi = true, .Trigger = 4},
         {{R::grEquationSyntax, true, "Error 1607: Invalid variable names in the function"}}},
        {"a lone sign: what follows it is never read, nor used",
         {.Equation = "H + 2*-T", .Variables = {"H=HG", "T=TA"}},
         {{R::grLoneSign, false}, {R::grUnreadText, false}, {R::grUnused, false, "T"}}},
        {"a tab ends the equation",
         {.Equation = "H\t+ 1", .Variables = {"H=HG"}},
         {{R::grUnreadText, false}}},
        {"no variable: one nameless row, as the dialog stores it",
         {.Equation = "12.5 * 2", .Variables = {"="}},
         {{R::grNoVariables, false}, {R::grNamelessBinding, false, "="}}},
        {"a variable without a binding",
         {.Equation = "A + B", .Variables = {"A=HG"}},
         {{R::grUnbound, true, "B"}}},
        {"bound to nothing, or to blanks",
         {.Equation = "A + B", .Variables = {"A=", "B= "}},
         {{R::grBoundToNothing, true, "A"}, {R::grBoundToNothing, true, "B"}}},
        {"the first binding of a name counts",
         {.Equation = "A", .Variables = {"A=", "a=HG"}},
         {{R::grBoundToNothing, true, "A"}}},
        {"the bindings of the other kind do not count",
         {.Equation = "A",
          .Variables = {"A=HG"},
          .Multi = true,
          .MultiVariables = {"A="},
          .Trigger = 0},
         {{R::grBoundToNothing, true, "A"}}},
        {"a multiple-station binding without its station",
         {.Equation = "A", .Multi = true, .MultiVariables = {"A=HG"}, .Trigger = 0},
         {{R::grNoStationPart, false, "A"}}},
        {"bindings without a name or unused, each unused name once",
         {.Equation = "A", .Variables = {"A=HG", "=TA", "Z=ZZ", "Z=YY", "noequals"}},
         {{R::grNamelessBinding, false, "=TA"},
          {R::grUnused, false, "Z"},
          {R::grNamelessBinding, false, "noequals"}}},
        {"a multiple-station group without a trigger",
         {.Equation = "A", .Multi = true, .MultiVariables = {"A=R1.HG"}},
         {{R::grNoTrigger, true}}},
        {"a trigger past the bindings",
         {.Equation = "(A+B)/2 + C",
          .Multi = true,
          .MultiVariables = {"A=R1.HG", "B=HG"},
          .Trigger = 5},
         {{R::grNoStationPart, false, "B"},
          {R::grUnbound, true, "C"},
          {R::grTriggerOutOfRange, true}}},
        {"a trigger below -1",
         {.Equation = "A", .Multi = true, .MultiVariables = {"A=R1.HG"}, .Trigger = -2},
         {{R::grTriggerOutOfRange, true}}},
        {"similar stations without a catalogue are not looked at",
         {.Equation = "H", .Variables = {"H=HG"}, .Similar = {"NOWHERE"}},
         {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Seen(CheckGroupRules(Group(c.Text))), c.Expected) << c.What;
}

// What a report says, and what the check read of the equation for the callers that go on.
TEST(GroupRules, TextsAndTheEquationRead) {
    const TGroupCheck check = CheckGroupRules(Group({.Equation = "(A+B)/2 + TABLE(T1, C)",
                                                     .Station = "BASIN",
                                                     .Sensor = "",
                                                     .Multi = true,
                                                     .MultiVariables = {"A=R1.HG", "B="},
                                                     .Trigger = 5}));
    std::vector<std::string> texts;
    for (const TGroupFinding& f : check.Findings) texts.push_back(f.Text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "the output station.sensor is incomplete ('BASIN.'): results would be "
                         "published without a proper name",
                         "variable B is bound to nothing: choose its sensor",
                         "variable C is used but not bound to a sensor: the calculation fails with "
                         "Error 1603",
                         "the trigger variable (index 5) is not one of the 2 bound variables: the "
                         "group is never calculated"}));
    EXPECT_TRUE(check.EquationRead);
    EXPECT_EQ(check.Variables.Items(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(check.Equation.Tables, std::vector<std::string>{"T1"});
    ASSERT_NE(check.Find(R::grUnbound), nullptr);
    EXPECT_EQ(check.Find(R::grUnbound)->Subject, "C");
    EXPECT_FALSE(check.Has(R::grNoTrigger));

    EXPECT_FALSE(CheckGroupRules(Group({.Equation = "(A"})).EquationRead);
}

// The calculation thread asks for the trigger alone: it is found whatever the equation says.
TEST(GroupRules, OnlyTheFamiliesAskedFor) {
    const TCalcGroupItem group = Group({.Equation = "SQRT(A",
                                        .Station = "",
                                        .Multi = true,
                                        .MultiVariables = {"A=R1.HG", "B=R2.HG"},
                                        .Trigger = 2});
    EXPECT_EQ(Seen(CheckGroupRules(group, {.Families = rfTrigger})),
              (std::vector<TSeen>{{R::grTriggerOutOfRange, true}}));
    EXPECT_EQ(Seen(CheckGroupRules(group, {.Families = rfOutput})),
              (std::vector<TSeen>{{R::grNoOutputStation, true}}));
    EXPECT_EQ(Seen(CheckGroupRules(group, {.Families = rfOutput | rfEquation})),
              (std::vector<TSeen>{{R::grNoOutputStation, true},
                                  {R::grEquationSyntax, true,
                                   "Error 1607: Invalid variable names in the function"}}));
}

// With the catalogue, every similar station of a single-station group must have the output
// sensor (its blanks around it not counted); a multiple-station group has no similar stations.
TEST(GroupRules, SimilarStationsHaveTheOutputSensor) {
    const std::set<std::string> catalogue{"WELL9.TW", "WELL7.TW", "RIVER1.HG"};
    std::vector<std::pair<std::string, std::string>> asked;
    const TGroupRuleOptions options{
        .HasSensor = [&](std::string_view station, std::string_view sensor) {
            asked.emplace_back(station, sensor);
            return catalogue.count(UpperCaseAscii(station) + "." + UpperCaseAscii(sensor)) > 0;
        }};
    TCalcGroupItem group = Group({.Equation = "H",
                                  .Station = "WELL7",
                                  .Sensor = " TW ",
                                  .Variables = {"H=HW"},
                                  .Similar = {"well9", "RIVER1", "LAKE2"}});
    EXPECT_EQ(Seen(CheckGroupRules(group, options)),
              (std::vector<TSeen>{{R::grSimilarLacksSensor, true, "RIVER1"},
                                  {R::grSimilarLacksSensor, true, "LAKE2"}}));
    EXPECT_EQ(asked.front(), (std::pair<std::string, std::string>{"well9", "TW"}));
    EXPECT_EQ(CheckGroupRules(group, options).Findings[0].Text,
              "the similar station RIVER1 has no sensor TW in the station catalogue: its results "
              "would go to a sensor it does not have");

    group.MultiStations = true;
    group.MultiVariables = {"H=WELL7.HW"};
    group.MultiVariablesTrigger = 0;
    EXPECT_TRUE(CheckGroupRules(group, options).Findings.empty());
}

}  // namespace
}  // namespace ov
