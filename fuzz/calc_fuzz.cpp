// Fuzz target: an equation evaluated as the calculation thread does (TCalcEx::Calculate) and
// checked as the setup dialog does (GetVariables, CheckEquation with its findings).
// Input: the equation on the first line, then one setting per line:
//   NAME=VALUE   a variable bound and cached with that value ("NAME=" bound, never cached)
//   @KEY=ANSWER  the setup server's answer for an attribute key ("@*=ANSWER": for every key)
//   !single      a single-station group instead of a multiple-station one
//   !null        the null value replaces a missing variable
// Only ECalcExException may leave Calculate and GetVariables.
#include <charconv>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "FuzzSupport.h"
#include "calc/CalcEx.h"
#include "core/InputItems.h"
#include "core/ValueCache.h"
#include "model/CalcGroups.h"
#include "suite/SetupQuery.h"
#include "util/StringList.h"

namespace {

class TFuzzSetup : public ov::ISetupQuery {
  public:
    bool QuerySetup(const std::string& key, std::string& value) override {
        if (auto it = answers.find(key); it != answers.end()) {
            value = it->second;
            return true;
        }
        if (fallback) {
            value = *fallback;
            return true;
        }
        return false;
    }
    std::map<std::string, std::string> answers;
    std::optional<std::string> fallback;
};

const char* const Station = "FZ";
const ov::TTimeTag Now = 1323463265;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest;
    const std::string_view equation = ov::fuzz::FirstLine(ov::fuzz::AsText(data, size), rest);

    ov::TCalcGroupItem group;
    group.FuncName = std::string(equation);
    group.OutputStation = Station;
    group.OutputSensor = "RESULT";
    group.CGIndex = 1;
    group.MultiStations = true;
    ov::TStationSensorDataCache cache;
    TFuzzSetup setup;
    ov::TNullValueSettings null;
    struct TBinding {
        std::string Name;
        std::optional<double> Value;
    };
    std::vector<TBinding> bindings;
    for (std::string_view line : ov::fuzz::Lines(rest)) {
        if (line == "!single") {
            group.MultiStations = false;
        } else if (line == "!null") {
            null.UseNullValue = null.NullOnMissing = true;
        } else if (!line.empty() && line[0] == '@') {
            const std::size_t eq = line.find('=');
            if (eq == std::string_view::npos) continue;
            const std::string key(line.substr(1, eq - 1));
            const std::string answer(line.substr(eq + 1));
            if (key == "*") {
                setup.fallback = answer;
            } else {
                setup.answers[key] = answer;
            }
        } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            TBinding b{std::string(line.substr(0, eq)), std::nullopt};
            const std::string_view text = line.substr(eq + 1);
            double value = 0;
            auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (!text.empty() && ec == std::errc()) b.Value = value;
            bindings.push_back(std::move(b));
        }
    }
    for (const TBinding& b : bindings) {
        if (group.MultiStations) {
            group.MultiVariables.push_back(b.Name + "=" + Station + "." + b.Name);
        } else {
            group.Variables.push_back(b.Name + "=" + b.Name);
        }
        if (b.Value) cache.Add(Station, b.Name, *b.Value, Now);
    }

    ov::TCalcEx calc;
    calc.SetSetupQuery(&setup);
    calc.SetTableLookup([](const std::string& name, double x) {
        return name.size() % 2 == 0 ? x : x * 2 + static_cast<double>(name.size());
    });
    calc.SetNullValueSource([null] { return null; });
    const ov::TInputStationEndItem item(Station, Now, "C");
    try {
        (void)calc.Calculate(item, group, cache);
    } catch (const ov::ECalcExException&) {
    }

    ov::TStringList names(true);
    try {
        calc.GetVariables(group.FuncName, names);
    } catch (const ov::ECalcExException&) {
    }
    ov::TStringList plain(false);
    ov::TEquationFindings findings;
    try {
        ov::CheckEquation(group.FuncName, plain, &findings);
    } catch (const ov::ECalcExException&) {
    }
    // The sorted and the unsorted list hold the same names.
    if (names.Count() != plain.Count()) std::abort();
    for (const std::string& n : plain.Items())
        if (names.IndexOf(n) < 0) std::abort();
    return 0;
}
