// ovtool eval and ovtool vars: an equation evaluated as the engine evaluates it, or its
// variable names as the setup dialog lists them.
#include <filesystem>
#include <memory>
#include <ostream>

#include "OvTool.h"
#include "calc/CalcEx.h"
#include "calc/RatingTables.h"
#include "core/InputItems.h"
#include "core/ValueCache.h"
#include "model/CalcGroups.h"
#include "suite/SetupQuery.h"
#include "util/FloatText.h"
#include "util/IniFile.h"
#include "util/StringList.h"
#include "util/TimeTag.h"

namespace ovtool {

namespace {

// Setup answers from section [Params] of an INI file; keys without regard to case. Other
// keys (and the answer "ERROR") count as no answer, as with the setup server.
class TIniSetup : public ov::ISetupQuery {
  public:
    explicit TIniSetup(const std::filesystem::path& file) : ini_(file) {}
    bool QuerySetup(const std::string& key, std::string& value) override {
        if (!ini_.ValueExists("Params", key)) return false;
        std::string answer = ini_.ReadString("Params", key, "");
        if (answer == "ERROR") return false;
        value = answer;
        return true;
    }

  private:
    ov::TIniFile ini_;
};

const char* const EvalStation = "OVTOOL";

}  // namespace

int EvalCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TParsedArgs parsed;
    if (!ParseArgs(args, {"--tables", "--setup"}, {}, parsed, err, "eval")) return 2;
    if (parsed.Help) {
        out << CommandUsage("eval");
        return 0;
    }
    if (parsed.Positional.empty()) return UsageError(err, "eval", "no equation given");
    std::string tablesDir, setupFile;
    for (const auto& [name, value] : parsed.Options) {
        if (name == "--tables") tablesDir = value;
        if (name == "--setup") setupFile = value;
    }

    // Each NAME=VALUE is a multiple-station binding to OVTOOL.NAME, cached at now.
    const ov::TTimeTag now = ov::NowTimeTag();
    ov::TStationSensorDataCache cache;
    ov::TCalcGroupItem group;
    group.MultiStations = true;
    group.FuncName = parsed.Positional[0];
    group.OutputStation = EvalStation;
    group.OutputSensor = "RESULT";
    for (std::size_t i = 1; i < parsed.Positional.size(); ++i) {
        const std::string& binding = parsed.Positional[i];
        const std::size_t eq = binding.find('=');
        double value = 0;
        if (eq == std::string::npos || eq == 0)
            return UsageError(err, "eval", "'" + binding + "' is not a NAME=VALUE binding");
        const std::string name = binding.substr(0, eq);
        if (!ov::TryDotTextToFloat(binding.substr(eq + 1), value)) {
            return UsageError(err, "eval",
                              "the value of " + name + " ('" + binding.substr(eq + 1) +
                                  "') is not a number (use \".\" as the decimal separator)");
        }
        group.MultiVariables.push_back(name + "=" + EvalStation + "." + name);
        cache.Add(EvalStation, name, value, now);
    }

    std::unique_ptr<TIniSetup> setup;
    if (!setupFile.empty()) {
        if (!std::filesystem::exists(setupFile)) {
            err << "ovtool eval: setup file '" << setupFile << "' does not exist\n";
            return 2;
        }
        try {
            setup = std::make_unique<TIniSetup>(setupFile);
        } catch (const ov::Exception& e) {
            err << "ovtool eval: " << e.what() << "\n";
            return 2;
        }
    }
    ov::rating::TTables tables([tablesDir] { return tablesDir; });
    // As OV Calc's status list tells it: the result is printed all the same.
    tables.SetProblemReport(
        [&err](const std::string& line) { err << "ovtool eval: " << line << "\n"; });

    ov::TCalcEx calc;
    calc.SetSetupQuery(setup.get());
    calc.SetTableLookup(
        [&tables](const std::string& name, double x) { return tables.TableValue(name, x); });
    calc.SetNullValueSource([] { return ov::TNullValueSettings{}; });

    const ov::TInputStationEndItem item(EvalStation, now, "C");
    try {
        const double result = calc.Calculate(item, group, cache);
        out << ov::FloatToText(result, ov::LocaleFormatSettings()) << "\n";
        return 0;
    } catch (const ov::ECalcExException& e) {
        err << e.what() << "\n";
        return 1;
    }
}

int VarsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TParsedArgs parsed;
    if (!ParseArgs(args, {}, {}, parsed, err, "vars")) return 2;
    if (parsed.Help) {
        out << CommandUsage("vars");
        return 0;
    }
    if (parsed.Positional.size() != 1) return UsageError(err, "vars", "give exactly one equation");
    ov::TStringList names(true);
    ov::TCalcEx calc;
    try {
        calc.GetVariables(parsed.Positional[0], names);
    } catch (const ov::ECalcExException& e) {
        err << e.what() << "\n";
        return 1;
    }
    for (const std::string& name : names.Items()) out << name << "\n";
    return 0;
}

}  // namespace ovtool
