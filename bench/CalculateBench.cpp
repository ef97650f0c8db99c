// Cost of one Calculate for the equations E1-E4 with their variables cached among 10^4
// station.sensors, against the yardstick evaluator and against libmuparser (parse and
// evaluate, and parse once); GetVariables for E3.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "Yardstick.h"
#include "calc/CalcEx.h"
#include "calc/RatingTables.h"
#include "core/InputItems.h"
#include "core/ValueCache.h"
#include "model/CalcGroups.h"
#include "suite/SetupQuery.h"
#include "util/TimeTag.h"

#ifdef OV_HAVE_MUPARSER
#include <muParser.h>
#endif

namespace {

const ov::TTimeTag T = ov::MakeTimeTag(2026, 12, 8, 20, 0, 0);

const char* const E1 = "SQRT(H*2.5) + 3";
const char* const E2 = "A*B + C/D - E";
const char* const E3 = "(A+B)*(C-D)/2 + ABS(E) + SIN(F)";
const char* const E4 = "TABLE(RIVER1, H) * 1.02 + SHIFT(H)";
// The yardstick knows no functions: the same equations with their calls as parentheses.
const char* const E1Plain = "(H*2.5) + 3";
const char* const E3Plain = "(A+B)*(C-D)/2 + (E) + (F)";

class InProcessSetup : public ov::ISetupQuery {
  public:
    bool QuerySetup(const std::string& key, std::string& value) override {
        if (key == "SENSOR:RIVER1:HG,SHIFT") {
            value = "0.25";
            return true;
        }
        return false;
    }
};

struct World {
    ov::TStationSensorDataCache cache{20};
    std::map<std::string, double> vars;
    ov::TCalcGroupItem multi, single;
    InProcessSetup setup;
    std::filesystem::path folder;
    std::unique_ptr<ov::rating::TTables> tables;
    ov::TCalcEx calc{ov::USFormatSettings()};

    World() {
        // 10^4 station.sensors: 2500 stations of 4 sensors; the equation's are among them.
        for (int s = 0; s < 2500; ++s)
            for (const char* sensor : {"HG", "TA", "PC", "VB"})
                cache.Add("ST" + std::to_string(s), sensor, s + 0.5, T);
        const char* names[] = {"A", "B", "C", "D", "E", "F", "H"};
        for (int i = 0; i < 7; ++i) {
            const std::string station = "ST" + std::to_string(100 + i * 300);
            multi.MultiVariables.push_back(std::string(names[i]) + "=" + station + ".HG");
            vars[names[i]] = 100.5 + i * 300;
        }
        for (int i = 0; i < 10000; ++i) vars["V" + std::to_string(i)] = i;
        multi.MultiStations = true;
        single.Variables = {"H=HG"};
        cache.Add("RIVER1", "HG", 2.5, T);

        folder = std::filesystem::temp_directory_path() / "ovcalc-bench-tables";
        std::filesystem::create_directories(folder);
        std::ofstream table(folder / "RIVER1.TBL");
        table << "LOGLOG\r\n";
        for (int i = 1; i <= 100; ++i) table << i * 0.1 << "," << i * i * 0.5 << "\r\n";
        table.close();
        tables = std::make_unique<ov::rating::TTables>([this] { return folder.string(); });
        calc.SetSetupQuery(&setup);
        calc.SetTableLookup(
            [this](const std::string& name, double x) { return tables->TableValue(name, x); });
    }
};

World& TheWorld() {
    static World world;
    return world;
}

void BM_Calculate(benchmark::State& state, const char* equation, bool singleStation) {
    World& w = TheWorld();
    ov::TCalcGroupItem& group = singleStation ? w.single : w.multi;
    group.FuncName = equation;
    const ov::TInputStationEndItem item(singleStation ? "RIVER1" : "ST1", T, "C");
    for (auto _ : state) benchmark::DoNotOptimize(w.calc.Calculate(item, group, w.cache));
    state.SetLabel(equation);
}
BENCHMARK_CAPTURE(BM_Calculate, E1, E1, false);
BENCHMARK_CAPTURE(BM_Calculate, E2, E2, false);
BENCHMARK_CAPTURE(BM_Calculate, E3, E3, false);
BENCHMARK_CAPTURE(BM_Calculate, E4, E4, true);

void BM_Yardstick(benchmark::State& state, const char* equation) {
    bench::Yardstick y(TheWorld().vars);
    const std::string text = equation;
    for (auto _ : state) benchmark::DoNotOptimize(y.Evaluate(text));
    state.SetLabel(equation);
}
BENCHMARK_CAPTURE(BM_Yardstick, E1, E1Plain);
BENCHMARK_CAPTURE(BM_Yardstick, E2, E2);
BENCHMARK_CAPTURE(BM_Yardstick, E3, E3Plain);

void BM_GetVariables(benchmark::State& state) {
    ov::TCalcEx calc;
    ov::TStringList names(true);
    for (auto _ : state) {
        calc.GetVariables(E3, names);
        benchmark::DoNotOptimize(names.Count());
    }
}
BENCHMARK(BM_GetVariables);

#ifdef OV_HAVE_MUPARSER
const char* const E1Mu = "sqrt(H*2.5) + 3";
const char* const E3Mu = "(A+B)*(C-D)/2 + abs(E) + sin(F)";

void DefineVars(mu::Parser& p, std::map<std::string, double>& vars) {
    for (const char* n : {"A", "B", "C", "D", "E", "F", "H"}) p.DefineVar(n, &vars[n]);
}

void BM_MuParserParseAndEval(benchmark::State& state, const char* equation) {
    std::map<std::string, double> vars = TheWorld().vars;
    for (auto _ : state) {
        mu::Parser p;
        DefineVars(p, vars);
        p.SetExpr(equation);
        benchmark::DoNotOptimize(p.Eval());
    }
    state.SetLabel(equation);
}
BENCHMARK_CAPTURE(BM_MuParserParseAndEval, E1, E1Mu);
BENCHMARK_CAPTURE(BM_MuParserParseAndEval, E2, E2);
BENCHMARK_CAPTURE(BM_MuParserParseAndEval, E3, E3Mu);

void BM_MuParserParsedOnce(benchmark::State& state, const char* equation) {
    std::map<std::string, double> vars = TheWorld().vars;
    mu::Parser p;
    DefineVars(p, vars);
    p.SetExpr(equation);
    p.Eval();
    for (auto _ : state) benchmark::DoNotOptimize(p.Eval());
    state.SetLabel(equation);
}
BENCHMARK_CAPTURE(BM_MuParserParsedOnce, E1, E1Mu);
BENCHMARK_CAPTURE(BM_MuParserParsedOnce, E2, E2);
BENCHMARK_CAPTURE(BM_MuParserParsedOnce, E3, E3Mu);
#endif

}  // namespace
