// The setup dialog's editor without its widgets: a group into the editor and back, the checks
// of a save in their order, the rows an equation's analysis leaves, the output stations the
// catalogue offers and new group numbers.
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ui/SetupForm.h"
#include "util/Exception.h"
#include "util/TextCompare.h"

namespace ov {

std::ostream& operator<<(std::ostream& out, const TVariableRow& row) {
    return out << row.Name << "=" << row.Value;
}

std::ostream& operator<<(std::ostream& out, const TOutputStation& station) {
    out << station.StationID << ":";
    for (const std::string& sensor : station.Sensors) out << " " << sensor;
    return out;
}

namespace {

using TRows = std::vector<TVariableRow>;

TCalcGroupItem Group(std::vector<std::string> variables, std::vector<std::string> multi,
                     int trigger = -1, bool multiStations = false) {
    TCalcGroupItem g;
    g.FuncName = "A + B";
    g.OutputStation = "RIVER1";
    g.OutputSensor = "Q";
    g.Variables = std::move(variables);
    g.MultiVariables = std::move(multi);
    g.MultiVariablesTrigger = trigger;
    g.MultiStations = multiStations;
    return g;
}

// Both grids get the same rows; the trigger is pulled into the list, in the group too.
TEST(SetupForm, AGroupInTheEditor) {
    struct Case {
        const char* What;
        TCalcGroupItem Group;
        TRows Single, Multi;
        int Trigger, GroupTrigger;
    };
    const Case cases[] = {
        {"as the dialog stores it",
         Group({"A=HG", "B=TA"}, {"A=R1.HG", "B=R2.TA"}, 1, true),
         {{"A", "HG"}, {"B", "TA"}},
         {{"A", "R1.HG"}, {"B", "R2.TA"}},
         1,
         1},
        {"no lists: no rows", Group({}, {}), {}, {}, -1, -1},
        {"a longer multiple-station list names the rows",
         Group({"A=HG"}, {"A=R1.HG", "B=R2.TA"}),
         {{"A", "HG"}, {"B", ""}},
         {{"A", "R1.HG"}, {"B", "R2.TA"}},
         -1,
         -1},
        {"a longer single-station list names the rows",
         Group({"A=HG", "B=TA", "C=TW"}, {"A=R1.HG"}),
         {{"A", "HG"}, {"B", "TA"}, {"C", "TW"}},
         {{"A", "R1.HG"}, {"B", ""}, {"C", ""}},
         -1,
         -1},
        {"a trigger past the list is its last row",
         Group({"A=HG", "B=TA"}, {"A=R1.HG", "B=R2.TA"}, 5, true),
         {{"A", "HG"}, {"B", "TA"}},
         {{"A", "R1.HG"}, {"B", "R2.TA"}},
         1,
         1},
        {"a trigger without a list is none",
         Group({"A=HG"}, {}, 0),
         {{"A", "HG"}},
         {{"A", ""}},
         -1,
         -1},
        {"a trigger below -1 checks nothing and stays",
         Group({"A=HG"}, {"A=R1.HG"}, -3, true),
         {{"A", "HG"}},
         {{"A", "R1.HG"}},
         -1,
         -3},
    };
    for (const Case& c : cases) {
        TCalcGroupItem group = c.Group;
        const TSetupForm form = TSetupForm::OfGroup(group);
        EXPECT_EQ(form.Variables, c.Single) << c.What;
        EXPECT_EQ(form.MultiVariables, c.Multi) << c.What;
        EXPECT_EQ(form.Trigger, c.Trigger) << c.What;
        EXPECT_EQ(group.MultiVariablesTrigger, c.GroupTrigger) << c.What;
        EXPECT_EQ(form.MultipleStations, group.MultiStations) << c.What;
        EXPECT_NE(form.SameStation, group.MultiStations) << c.What;
    }
}

// What the dialog stores reads back into the same editor and the same group.
TEST(SetupForm, TheEditorIntoAGroupAndBack) {
    TCalcGroupItem group = Group({"A=HG", "B="}, {"A=R1.HG", "B=R2.TA"}, 0, true);
    group.Enabled = false;
    group.Filter = "rivers.flt ";
    group.SimilarStations = {"WELL9", "MILL3"};
    group.GroupName = "CalcGroup:4";
    group.CGIndex = 4;
    TCalcGroupItem stored;
    stored.GroupName = group.GroupName;
    stored.CGIndex = group.CGIndex;
    stored.Variables = {"OLD=X"};
    TSetupForm::OfGroup(group).Store(stored);
    EXPECT_EQ(stored, group);

    // Neither radio checked keeps the mode, no trigger radio the trigger.
    TSetupForm form = TSetupForm::OfGroup(group);
    form.SameStation = form.MultipleStations = false;
    form.Trigger = -1;
    form.Store(stored);
    EXPECT_TRUE(stored.MultiStations);
    EXPECT_EQ(stored.MultiVariablesTrigger, 0);
    form.SameStation = true;
    form.Trigger = 1;
    form.Store(stored);
    EXPECT_FALSE(stored.MultiStations);
    EXPECT_EQ(stored.MultiVariablesTrigger, 1);
}

// The checks of a save in the dialog's order: each form fails its check and passes the ones
// before it; the last forms pass.
TEST(SetupForm, TheChecksOfASaveInOrder) {
    const std::set<std::string> catalogue{"WELL7.TW", "WELL9.TW", "RIVER1.HG"};
    const THasSensor hasSensor = [&](std::string_view station, std::string_view sensor) {
        return catalogue.count(UpperCaseAscii(station) + "." + UpperCaseAscii(sensor)) > 0;
    };
    TSetupForm same;
    same.Equation = "A + B";
    same.SameStation = true;
    same.OutputStation = "WELL7";
    same.OutputSensor = "TW";
    same.Variables = {{"A", "HW"}, {"B", "TW"}};
    same.MultiVariables = {{"A", ""}, {"B", ""}};
    same.SimilarStations = {"WELL9"};
    TSetupForm multi = same;
    multi.SameStation = false;
    multi.MultipleStations = true;
    multi.MultiVariables = {{"A", "NOWHERE.X"}, {"B", "WELL9.HW"}};
    multi.Trigger = 1;
    multi.SimilarStations = {"RIVER1"};  // a multiple-station group has none to check

    struct Case {
        const char* Message;  // "" for a form that passes
        TSetupForm Form;
    };
    auto with = [](TSetupForm form, auto change) {
        change(form);
        return form;
    };
    const Case cases[] = {
        {"Equation empty. Please enter a valid equation.",
         with(same, [](TSetupForm& f) { f.Equation = " \t"; })},
        {"Please select sensor from single station or multiple stations.",
         with(same,
              [](TSetupForm& f) {
                  f.SameStation = false;
                  f.OutputStation.clear();
              })},
        {"Please select an output station.",
         with(same, [](TSetupForm& f) { f.OutputStation.clear(); })},
        {"Please select an output sensor.",
         with(same, [](TSetupForm& f) { f.OutputSensor.clear(); })},
        {"Please enter a valid function.", with(same,
                                                [](TSetupForm& f) {
                                                    f.Equation = "1 + 2";
                                                    f.Variables = f.MultiVariables = {{"", ""}};
                                                    f.SimilarStations = {"LAKE2"};
                                                })},
        {"Please assign sensors to variables.", with(same,
                                                     [](TSetupForm& f) {
                                                         f.Variables[1].Value = "  ";
                                                         f.SimilarStations = {"LAKE2"};
                                                     })},
        {"Station RIVER1 doesn't have sensor TW.",
         with(same,
              [](TSetupForm& f) {
                  f.OutputSensor = "TW ";
                  f.SimilarStations = {"WELL9", "RIVER1", "LAKE2"};
              })},
        {"Please enter a valid function.", with(multi,
                                                [](TSetupForm& f) {
                                                    f.Equation = "7";
                                                    f.Variables = f.MultiVariables = {{"", ""}};
                                                    f.Trigger = -1;
                                                })},
        {"Please assign sensors to variables.", with(multi,
                                                     [](TSetupForm& f) {
                                                         f.MultiVariables[0].Value.clear();
                                                         f.Trigger = -1;
                                                     })},
        {"Please select a variable that will trigger the calculation.",
         with(multi, [](TSetupForm& f) { f.Trigger = -1; })},
        {"Error 1608: Equation syntax error.",
         with(same, [](TSetupForm& f) { f.Equation = "(A + B"; })},
        {"", same},
        {"", multi},
        {"", with(same, [](TSetupForm& f) { f.SimilarStations.clear(); })},
        // Warnings do not stop a save: a station.sensor without its station.
        {"", with(multi, [](TSetupForm& f) { f.MultiVariables[0].Value = "HG"; })},
    };
    for (const Case& c : cases) {
        std::string message;
        try {
            c.Form.Validate(hasSensor);
        } catch (const Exception& e) {
            message = e.what();
        }
        EXPECT_EQ(message, c.Message);
    }
}

// Each grid keeps the value of every name that remains, new names come unassigned, and no
// name leaves no rows.
TEST(SetupForm, TheRowsOfAnAnalysis) {
    struct Case {
        const char* What;
        TRows Single, Multi;
        std::vector<std::string> Names;
        TRows NewSingle, NewMulti;
    };
    const Case cases[] = {
        {"a name goes, one remains, one comes",
         {{"FLOW", "QF"}, {"LEVEL", "HG"}},
         {{"FLOW", "R1.QF"}, {"LEVEL", "R1.HG"}},
         {"LEVEL", "RAIN"},
         {{"LEVEL", "HG"}, {"RAIN", ""}},
         {{"LEVEL", "R1.HG"}, {"RAIN", ""}}},
        {"letter case does not count",
         {{"level", "HG"}},
         {{"LEVEL", "R1.HG"}},
         {"A", "Level"},
         {{"A", ""}, {"Level", "HG"}},
         {{"A", ""}, {"Level", "R1.HG"}}},
        {"rows without a name are no assignment",
         {{"", "HG"}, {"B", "TA"}},
         {{"", ""}, {"B", ""}},
         {"B"},
         {{"B", "TA"}},
         {{"B", ""}}},
        {"no name, no rows", {{"A", "HG"}}, {{"A", "R1.HG"}}, {}, {}, {}},
    };
    for (const Case& c : cases) {
        TSetupForm form;
        form.Variables = c.Single;
        form.MultiVariables = c.Multi;
        form.ListVariables(c.Names);
        EXPECT_EQ(form.Variables, c.NewSingle) << c.What;
        EXPECT_EQ(form.MultiVariables, c.NewMulti) << c.What;
    }
}

// The output list: each station once as its first entry writes it, in alphabetical order
// without regard to case, with its sensors in catalogue order.
TEST(SetupForm, OutputStationsOfTheCatalogue) {
    TStationSensorCache catalogue;
    for (auto [station, sensor] : {std::pair{"RIVER1", "QF"},
                                   {"well9", "TW"},
                                   {"River1", "HG"},
                                   {"LAKE2", "HG"},
                                   {"WELL9", "HW"},
                                   {"RIVER1", "AA"}}) {
        TStationSensorItem entry;
        entry.StationID = station;
        entry.SensorName = sensor;
        catalogue.Append(std::move(entry));
    }
    EXPECT_EQ(OutputStations(catalogue), (std::vector<TOutputStation>{
                                             {"LAKE2", {"HG"}},
                                             {"RIVER1", {"QF", "HG", "AA"}},
                                             {"well9", {"TW", "HW"}},
                                         }));
    EXPECT_TRUE(OutputStations(TStationSensorCache()).empty());
}

TEST(SetupForm, NewGroupNumbers) {
    EXPECT_EQ(FreeGroupNumber({}), 1);
    EXPECT_EQ(FreeGroupNumber({"1", "2", "4"}), 3);
    EXPECT_EQ(FreeGroupNumber({"2", "01"}), 1);
    std::vector<std::string> all;
    for (int n = FirstGroupNumber; n <= LastGroupNumber; ++n) all.push_back(std::to_string(n));
    EXPECT_EQ(FreeGroupNumber(all), 0);
    all.erase(all.begin() + 500);
    EXPECT_EQ(FreeGroupNumber(all), 501);
    EXPECT_EQ(SetupGroupName(12), "CalcGroup:12");
}

}  // namespace
}  // namespace ov
