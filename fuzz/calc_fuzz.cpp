// Fuzz target: an equation evaluated as the calculation thread does (TCalcEx::Calculate, from
// byte code) and by reading it (the reference, support/ReadingEvaluator.h), which must agree
// to the bit, error for error and look-up for look-up; and checked as the setup dialog does
// (GetVariables, CheckEquation with its findings).
// Input: the equation on the first line, then one setting per line:
//   NAME=VALUE   a variable bound and cached with that value ("NAME=" bound, never cached)
//   @KEY=ANSWER  the setup server's answer for an attribute key ("@*=ANSWER": for every key)
//   !single      a single-station group instead of a multiple-station one
//   !null        the null value replaces a missing variable
// Only ECalcExException may leave Calculate and GetVariables.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "calc/CalcEx.h"
#include "core/InputItems.h"
#include "core/ValueCache.h"
#include "model/CalcGroups.h"
#include "suite/SetupQuery.h"
#include "support/ReadingEvaluator.h"
#include "util/StringList.h"

namespace {

class TFuzzSetup : public ov::ISetupQuery {
  public:
    bool QuerySetup(const std::string& key, std::string& value) override {
        if (auto it = answers.find(key); it != answers.end()) {
            value = it->second;
            keys.push_back(key);
            return true;
        }
        keys.push_back(key);
        if (fallback) {
            value = *fallback;
            return true;
        }
        return false;
    }
    std::map<std::string, std::string> answers;
    std::optional<std::string> fallback;
    std::vector<std::string> keys;  // every key asked, in order
};

// What one calculation did: its value's bits or its error, and the keys it asked.
struct TOutcome {
    bool Ok = false;
    std::uint64_t Bits = 0;
    std::string Error;
    std::vector<std::string> Keys, Tables;
    bool operator==(const TOutcome&) const = default;
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

    std::vector<std::string> tables;
    auto configure = [&](ov::TCalcEx& calc) {
        calc.SetSetupQuery(&setup);
        calc.SetTableLookup([&tables](const std::string& name, double x) {
            tables.push_back(name);
            return name.size() % 2 == 0 ? x : x * 2 + static_cast<double>(name.size());
        });
        calc.SetNullValueSource([null] { return null; });
    };
    ov::TCalcEx calc, reference, fixed;
    configure(calc);
    configure(reference);
    configure(fixed);
    fixed.SetGroupsFixed(true);
    const ov::TInputStationEndItem item(Station, Now, "C");
    auto outcome = [&](auto&& calculate) {
        setup.keys.clear();
        tables.clear();
        ov::SeedRandom(7);
        TOutcome o;
        try {
            const double v = calculate();
            o.Ok = true;
            std::memcpy(&o.Bits, &v, sizeof v);
        } catch (const ov::FCalcExNullException& e) {
            o.Error = std::string("null: ") + e.what();
        } catch (const ov::ECalcExException& e) {
            o.Error = e.what();
        }
        o.Keys = setup.keys;
        o.Tables = tables;
        return o;
    };
    const TOutcome want =
        outcome([&] { return ov::test::ReadingCalculate(reference, item, group, cache); });
    // Twice each: the second call goes by what the calculator remembers.
    for (ov::TCalcEx* c : {&calc, &calc, &fixed, &fixed}) {
        if (!(outcome([&] { return c->Calculate(item, group, cache); }) == want)) {
            std::fprintf(stderr, "compiled and reading evaluation differ\n");
            std::abort();
        }
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
