// The group setup dialog's editor without its widgets.
#include "ui/SetupForm.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "util/Exception.h"
#include "util/Format.h"
#include "util/TextCompare.h"

namespace ov {

std::vector<TOutputStation> OutputStations(const TStationSensorCache& catalogue) {
    std::vector<TOutputStation> stations;
    std::unordered_map<std::string, std::size_t> known;  // upper case -> position
    for (int i = 0; i < catalogue.Count(); ++i) {
        const TStationSensorItem& entry = catalogue.Items(i);
        auto [at, added] = known.emplace(UpperCaseAscii(entry.StationID), stations.size());
        if (added) {
            stations.push_back({entry.StationID, {entry.SensorName}});
        } else {
            stations[at->second].Sensors.push_back(entry.SensorName);
        }
    }
    std::sort(stations.begin(), stations.end(), [](const auto& a, const auto& b) {
        return CompareText(a.StationID, b.StationID) < 0;
    });
    return stations;
}

std::string SetupGroupName(int n) {
    return "CalcGroup:" + std::to_string(n);
}

int FreeGroupNumber(const std::vector<std::string>& shown) {
    const std::set<std::string> used(shown.begin(), shown.end());
    for (int n = FirstGroupNumber; n <= LastGroupNumber; ++n) {
        if (!used.count(std::to_string(n))) return n;
    }
    return 0;
}

TSetupForm TSetupForm::OfGroup(TCalcGroupItem& group) {
    TSetupForm form;
    form.Equation = group.FuncName;
    form.Enabled = group.Enabled;
    form.SameStation = !group.MultiStations;
    form.MultipleStations = group.MultiStations;
    form.Filter = group.Filter;
    form.OutputStation = group.OutputStation;
    form.OutputSensor = group.OutputSensor;

    const auto& single = group.Variables;
    const auto& multi = group.MultiVariables;
    const std::size_t rows = std::max(single.size(), multi.size());
    for (std::size_t i = 0; i < rows; ++i) {
        const std::string_view s = i < single.size() ? single[i] : std::string_view();
        const std::string_view m = i < multi.size() ? multi[i] : std::string_view();
        const std::string_view sName = i < single.size() ? NameOfEntry(s) : NameOfEntry(m);
        const std::string_view mName = i < multi.size() ? NameOfEntry(m) : NameOfEntry(s);
        form.Variables.push_back({std::string(sName), std::string(ValueOfEntry(s))});
        form.MultiVariables.push_back({std::string(mName), std::string(ValueOfEntry(m))});
    }

    const auto multiCount = static_cast<std::int32_t>(multi.size());
    if (group.MultiVariablesTrigger >= multiCount) group.MultiVariablesTrigger = multiCount - 1;
    form.Trigger = std::max(group.MultiVariablesTrigger, -1);

    form.SimilarStations = group.SimilarStations;
    return form;
}

void TSetupForm::Store(TCalcGroupItem& group) const {
    group.FuncName = Equation;
    group.Enabled = Enabled;
    if (SameStation) {
        group.MultiStations = false;
    } else if (MultipleStations) {
        group.MultiStations = true;
    }
    group.Filter = Filter;
    group.OutputStation = OutputStation;
    group.OutputSensor = OutputSensor;
    group.ClearLists();
    for (const TVariableRow& row : Variables)
        group.Variables.push_back(MakeEntry(row.Name, row.Value));
    group.SimilarStations = SimilarStations;
    for (const TVariableRow& row : MultiVariables)
        group.MultiVariables.push_back(MakeEntry(row.Name, row.Value));
    if (Trigger >= 0) group.MultiVariablesTrigger = Trigger;
}

void TSetupForm::Validate(const THasSensor& hasSensor) const {
    // The group the save would store, as the group rules see it; the dialog says the first
    // finding of its checks in its own words.
    TCalcGroupItem group;
    Store(group);
    const TGroupCheck check = CheckGroupRules(group, {.HasSensor = hasSensor});
    using R = TGroupRule;
    if (check.Has(R::grEquationEmpty))
        throw Exception("Equation empty. Please enter a valid equation.");
    // The save analyses a changed equation before its checks: this one read when it was.
    if (const TGroupFinding* syntax = check.Find(R::grEquationSyntax))
        throw Exception(syntax->Subject);
    if (!SameStation && !MultipleStations)
        throw Exception("Please select sensor from single station or multiple stations.");
    if (check.Has(R::grNoOutputStation)) throw Exception("Please select an output station.");
    if (check.Has(R::grNoOutputSensor)) throw Exception("Please select an output sensor.");
    // The grids list the variables the equation uses: no variable leaves its one nameless row.
    if (check.Has(R::grNoVariables)) throw Exception("Please enter a valid function.");
    if (check.Has(R::grUnbound) || check.Has(R::grBoundToNothing))
        throw Exception("Please assign sensors to variables.");
    if (const TGroupFinding* similar = check.Find(R::grSimilarLacksSensor))
        throw Exception(FormatText("Station %p doesn't have sensor %p.",
                                   {similar->Subject, std::string(TrimBlankEnds(OutputSensor))}));
    if (check.Has(R::grNoTrigger) || check.Has(R::grTriggerOutOfRange))
        throw Exception("Please select a variable that will trigger the calculation.");
}

void TSetupForm::ListVariables(const std::vector<std::string>& names) {
    // The names come sorted, as the old rows are: one pass keeps the value of every name that
    // is still there and leaves the new names unassigned.
    auto merge = [&names](std::vector<TVariableRow>& rows) {
        std::vector<TVariableRow> old;
        for (TVariableRow& row : rows)
            if (!row.Name.empty()) old.push_back(std::move(row));
        rows.clear();
        std::size_t j = 0;
        for (const std::string& name : names) {
            TVariableRow& row = rows.emplace_back(TVariableRow{name, {}});
            while (j < old.size()) {
                const int order = CompareText(name, old[j].Name);
                if (order == 0) {
                    row.Value = old[j].Value;
                    ++j;
                    break;
                }
                if (order < 0) break;
                ++j;
            }
        }
    };
    merge(Variables);
    merge(MultiVariables);
}

}  // namespace ov
