// ovtool check: reads a configuration file and reports, group by group, what would fail or
// silently compute something other than what the equation seems to say.
#include <charconv>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "OvTool.h"
#include "calc/CalcEx.h"
#include "calc/Equation.h"
#include "model/CalcGroups.h"
#include "model/ConfigFile.h"
#include "model/StationShard.h"
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

std::vector<TFinding> CheckGroup(const ov::TCalcGroupItem& g) {
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
    if (!ParseArgs(args, {"--shards"}, {}, parsed, err, "check")) return 2;
    if (parsed.Help) {
        out << CommandUsage("check");
        return 0;
    }
    if (parsed.Positional.size() != 1) {
        err << "ovtool check: give exactly one configuration file (see ovtool check --help)\n";
        return 2;
    }
    int shards = 1;
    for (const auto& [name, value] : parsed.Options) {
        if (name != "--shards") continue;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), shards);
        if (ec != std::errc() || end != value.data() + value.size() || shards < 1 ||
            shards > 1024) {
            err << "ovtool check: --shards takes a number of shards from 1 to 1024, not \"" << value
                << "\"\n";
            return 2;
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
    try {
        config.OpenConfigFile(file);
    } catch (const ov::Exception& e) {
        err << "ovtool check: " << e.what() << "\n";
        return 2;
    }
    config.ReadConfig(settings, groups);

    int errors = 0, warnings = 0;
    for (const std::string& line : fileErrors) {
        out << file.string() << ": error: " << line << "\n";
        ++errors;
    }
    for (std::int32_t i = 0; i < groups.Count(); ++i) {
        const ov::TCalcGroupItem& g = *groups.Items(i);
        std::vector<TFinding> findings = CheckGroup(g);
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
