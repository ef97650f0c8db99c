// ovtool check: reads a configuration file and reports, group by group, what would fail or
// silently compute something other than what the equation seems to say.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "OvTool.h"
#include "calc/CalcEx.h"
#include "calc/Equation.h"
#include "calc/RatingTables.h"
#include "model/CalcGroups.h"
#include "model/ConfigFile.h"
#include "model/StationShard.h"
#include "suite/SetupServer.h"
#include "suite/SetupSettingsFile.h"
#include "util/StringList.h"
#include "util/TextCompare.h"

namespace ovtool {

namespace {

struct TFinding {
    bool Error;
    std::string Text;
};

std::string GroupTitle(const ov::TCalcGroupItem& g) {
    std::string title = "group " + std::to_string(g.CGIndex);
    if (!g.GroupName.empty()) title += " [" + g.GroupName + "]";
    title += " -> " + g.OutputStation + "." + g.OutputSensor;
    return title;
}

// Where the groups' rating tables are looked for: the settings the setup server hands out.
struct TTableCheck {
    ov::TSetupSettings Settings;
    std::unique_ptr<ov::rating::TTables> Tables;
};

// The station.sensor of a DBTABLE variable bound to value: "ST.SE" as it stands, else the
// sensor of station.
std::pair<std::string, std::string> SensorOf(std::string_view value, const std::string& station) {
    const std::size_t dot = value.find('.');
    if (dot == std::string_view::npos) return {station, std::string(value)};
    return {std::string(value.substr(0, dot)), std::string(value.substr(dot + 1))};
}

// The rating tables the group reads that are missing or unusable: TABLE's by name, DBTABLE's
// through the sensor's rating table in the settings, for every station the group writes to.
void CheckTables(const ov::TCalcGroupItem& g, const ov::TEquationFindings& found,
                 TTableCheck& check, const std::function<void(std::string)>& error,
                 const std::function<void(std::string)>& warning) {
    std::vector<std::string> tables = found.Tables;
    const std::vector<std::string>& bindings = g.MultiStations ? g.MultiVariables : g.Variables;
    std::vector<std::string> stations{g.OutputStation};
    if (!g.MultiStations) {
        for (const std::string& similar : g.SimilarStations)
            if (std::find(stations.begin(), stations.end(), similar) == stations.end())
                stations.push_back(similar);
    }
    for (const std::string& variable : found.TableVariables) {
        const int i = ov::IndexOfName(bindings, variable);
        if (i < 0) continue;  // reported as unbound
        const std::string_view value = ov::ValueOfEntry(bindings[static_cast<std::size_t>(i)]);
        for (const std::string& station : stations) {
            const auto [st, se] = SensorOf(value, station);
            const std::string key = ov::SetupKey("SENSOR", st, se, "RATINGTABLE");
            const std::string answer = ov::SetupParamAnswer(check.Settings, key);
            if (answer == ov::SetupNoValue) {
                warning("DBTABLE(" + variable + ", ...) finds no rating table for " + st + "." +
                        se + " in the settings (no " + key +
                        "): the stage passes through unchanged");
                continue;
            }
            const std::string table = ov::TableNameOfFile(answer);
            if (std::find(tables.begin(), tables.end(), table) == tables.end())
                tables.push_back(table);
            if (!g.MultiStations && value.find('.') != std::string_view::npos) break;
        }
    }
    for (const std::string& name : tables) {
        const ov::rating::TTables::TTableFile file = check.Tables->LocateTable(name);
        if (!file.Found) {
            error(ov::rating::TableNotFoundReason(name, file.Path));
            continue;
        }
        const std::string why = WhyTableUnusable(*check.Tables, name);
        if (!why.empty()) warning("rating table " + name + ": " + why);
    }
}

std::vector<TFinding> CheckGroup(const ov::TCalcGroupItem& g, TTableCheck* tableCheck) {
    std::vector<TFinding> findings;
    auto error = [&](std::string text) { findings.push_back({true, std::move(text)}); };
    auto warning = [&](std::string text) { findings.push_back({false, std::move(text)}); };

    if (g.OutputStation.empty() || g.OutputSensor.empty())
        error("the output station.sensor is incomplete ('" + g.OutputStation + "." +
              g.OutputSensor + "'): results would be published without a proper name");
    if (g.FuncName.empty()) {
        error("the equation is empty: every calculation of this group fails");
        return findings;
    }

    ov::TStringList names(true);
    ov::TEquationFindings pitfalls;
    ov::TCalcEx calc;
    try {
        ov::CheckEquation(g.FuncName, names, &pitfalls);
    } catch (const ov::ECalcExException& e) {
        error("the equation \"" + g.FuncName + "\" fails the check: " + e.what());
        return findings;
    }

    for (std::size_t at : pitfalls.LoneSigns) {
        warning("the sign at position " + std::to_string(at + 1) + " of \"" + g.FuncName +
                "\" is read as the number 0 and what follows it is never read (2*-A is 0); "
                "write it in parentheses, as 2*(-A)");
    }
    if (!pitfalls.Unread.empty()) {
        if (pitfalls.Unread[0] == '^') {
            warning("\"" + g.FuncName +
                    "\" has a blank before \"^\": the calculation reads "
                    "the power, but the variable list (and this check) stops before it; "
                    "write the \"^\" right after its base");
        } else if (pitfalls.Unread[0] == '\t') {
            warning("a tab at position " + std::to_string(pitfalls.UnreadAt + 1) + " of \"" +
                    g.FuncName + "\" ends the equation: \"" + pitfalls.Unread.substr(1) +
                    "\" is never read; use blanks instead");
        } else {
            warning("\"" + pitfalls.Unread + "\" at the end of \"" + g.FuncName +
                    "\" is never read: only one complete expression (with at most one "
                    "comparison) is evaluated, so the result ignores it");
        }
    }

    const std::vector<std::string>& bindings = g.MultiStations ? g.MultiVariables : g.Variables;
    // The first binding of each name, as IndexOfName finds it, but looked up at once: a group
    // may bind a great many names.
    std::unordered_map<std::string, int> bindingOf;
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        if (bindings[i].find('=') == std::string::npos) continue;
        bindingOf.try_emplace(ov::UpperCaseAscii(ov::NameOfEntry(bindings[i])),
                              static_cast<int>(i));
    }
    for (const std::string& name : names.Items()) {
        const auto found = bindingOf.find(ov::UpperCaseAscii(name));
        const int i = found == bindingOf.end() ? -1 : found->second;
        if (i < 0) {
            error("variable " + name +
                  " is used but not bound to a sensor: the calculation "
                  "fails with Error 1603");
            continue;
        }
        const std::string_view value = ov::ValueOfEntry(bindings[static_cast<std::size_t>(i)]);
        if (value.empty()) {
            error("variable " + name + " is bound to nothing: choose its sensor");
        } else if (g.MultiStations && value.find('.') == std::string_view::npos) {
            warning("variable " + name + " is bound to '" + std::string(value) +
                    "', which has no station part: it is read as station " + std::string(value) +
                    " with an empty sensor and never has a value");
        }
    }
    std::set<std::string> seen;
    for (const std::string& entry : bindings) {
        const std::string name(ov::NameOfEntry(entry));
        if (name.empty()) {
            warning("the binding '" + entry + "' has no variable name");
            continue;
        }
        if (names.IndexOf(name) < 0 && seen.insert(name).second)
            warning("variable " + name + " is bound but the equation does not use it");
    }
    if (tableCheck != nullptr) CheckTables(g, pitfalls, *tableCheck, error, warning);

    if (g.MultiStations) {
        const auto n = static_cast<std::int32_t>(g.MultiVariables.size());
        if (g.MultiVariablesTrigger < 0 || g.MultiVariablesTrigger >= n) {
            error("the trigger variable (index " + std::to_string(g.MultiVariablesTrigger) +
                  ") is not one of the " + std::to_string(n) +
                  " bound variables: the group is never calculated");
        }
    }
    return findings;
}

// A group whose stations fall to different shards: no one engine of a network split by
// station receives all the values it reads.
std::vector<TFinding> CheckShards(const ov::TCalcGroupItem& g, int shards) {
    std::vector<TFinding> findings;
    const std::vector<std::string> stations = ov::GroupInputStations(g);
    std::string list;
    std::set<int> seen;
    for (const std::string& station : stations) {
        const int shard = ov::StationShard(station, shards);
        seen.insert(shard);
        list += (list.empty() ? "" : ", ") + station + " (shard " + std::to_string(shard) + ")";
    }
    if (seen.size() > 1) {
        findings.push_back({true, "its stations fall to different shards of " +
                                      std::to_string(shards) + ": " + list +
                                      "; no one engine receives all its values"});
    }
    return findings;
}

}  // namespace

int CheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TParsedArgs parsed;
    // A file name, not an equation: the settings may follow it.
    if (!ParseArgs(args, {"--setup", "--shards"}, {}, parsed, err, "check", true)) return 2;
    if (parsed.Help) {
        out << CommandUsage("check");
        return 0;
    }
    if (parsed.Positional.size() != 1)
        return UsageError(err, "check", "give exactly one configuration file");
    int shards = 1;
    for (const auto& [name, value] : parsed.Options) {
        if (name != "--shards") continue;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), shards);
        if (ec != std::errc() || end != value.data() + value.size() || shards < 1 ||
            shards > 1024) {
            return UsageError(
                err, "check",
                "--shards takes a number of shards from 1 to 1024, not \"" + value + "\"");
        }
    }
    const std::filesystem::path file = parsed.Positional[0];
    if (!std::filesystem::is_regular_file(file)) {
        err << "ovtool check: " << file.string() << " is not a file\n";
        return 2;
    }

    std::vector<std::string> fileErrors;
    ov::TConfigFile config([&](const std::string& line) {
        if (line.rfind("Error", 0) == 0) fileErrors.push_back(line);
    });
    ov::TConfigSettings settings;
    ov::TCalcGroups groups;
    config.ShowEveryFinding();
    try {
        config.OpenConfigFile(file);
    } catch (const ov::Exception& e) {
        err << "ovtool check: " << e.what() << "\n";
        return 2;
    }
    config.ReadConfig(settings, groups);

    // With the setup server's settings, the rating tables are looked for where OV Calc would.
    std::unique_ptr<TTableCheck> tableCheck;
    for (const auto& [option, value] : parsed.Options) {
        if (option != "--setup") continue;
        tableCheck = std::make_unique<TTableCheck>();
        std::string error;
        if (!ov::LoadSetupSettings(value, tableCheck->Settings, error)) {
            err << "ovtool check: " << error << "\n";
            return 2;
        }
        const std::string folder = tableCheck->Settings.General.TableDirectory;
        tableCheck->Tables = std::make_unique<ov::rating::TTables>([folder] { return folder; });
    }

    int errors = 0, warnings = 0;
    for (const std::string& line : fileErrors) {
        out << file.string() << ": error: " << line << "\n";
        ++errors;
    }
    for (std::int32_t i = 0; i < groups.Count(); ++i) {
        const ov::TCalcGroupItem& g = *groups.Items(i);
        std::vector<TFinding> findings = CheckGroup(g, tableCheck.get());
        if (shards > 1) {
            for (TFinding& f : CheckShards(g, shards)) findings.push_back(std::move(f));
        }
        for (const TFinding& f : findings) {
            out << GroupTitle(g) << ": " << (f.Error ? "error: " : "warning: ") << f.Text << "\n";
            (f.Error ? errors : warnings)++;
        }
    }
    out << groups.Count() << " group" << (groups.Count() == 1 ? "" : "s") << " checked: " << errors
        << " error" << (errors == 1 ? "" : "s") << ", " << warnings << " warning"
        << (warnings == 1 ? "" : "s") << "\n";
    return errors > 0 ? 1 : 0;
}

}  // namespace ovtool
