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
    if (parsed.Positional.empty()) {
        err << "ovtool eval: no equation given (see ovtool eval --help)\n";
        return 2;
    }
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
        if (eq == std::string::npos || eq == 0) {
            err << "ovtool eval: '" << binding << "' is not a NAME=VALUE binding\n";
            return 2;
        }
        const std::string name = binding.substr(0, eq);
        if (!ov::TryDotTextToFloat(binding.substr(eq + 1), value)) {
            err << "ovtool eval: the value of " << name << " ('" << binding.substr(eq + 1)
                << "') is not a number (use \".\" as the decimal separator)\n";
            return 2;
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
    if (parsed.Positional.size() != 1) {
        err << "ovtool vars: give exactly one equation (see ovtool vars --help)\n";
        return 2;
    }
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
