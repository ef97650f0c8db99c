// ovtool check: reads a configuration file and reports, group by group, what would fail or
// silently compute something other than what the equation seems to say: what the group rules
// find (calc/GroupRules.h) and, with the setup server's settings, the rating tables it reads.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "OvTool.h"
#include "calc/CalcEx.h"
#include "calc/Equation.h"
#include "calc/GroupRules.h"
#include "calc/RatingTables.h"
#include "model/CalcGroups.h"
#include "model/ConfigFile.h"
#include "model/StationShard.h"
#include "suite/SetupServer.h"
#include "suite/SetupSettingsFile.h"

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

    const ov::TGroupCheck check = ov::CheckGroupRules(g);
    for (const ov::TGroupFinding& f : check.Findings) {
        // A constant result is what such an equation says; only the setup dialog refuses it.
        if (f.Rule == ov::TGroupRule::grNoVariables) continue;
        findings.push_back({f.Error, f.Text});
    }
    if (tableCheck != nullptr && check.EquationRead)
        CheckTables(g, check.Equation, *tableCheck, error, warning);
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
