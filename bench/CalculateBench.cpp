// Cost of one Calculate for the equations E1-E4 with their variables cached among 10^4
// station.sensors, against the yardstick evaluator and against libmuparser (parse and
// evaluate, and parse once); GetVariables for E3. BM_Calculate/E1-E3 print x_muparser, the
// ratio of Calculate (as the calculation thread calls it, its groups fixed) to muparser's
// evaluation of the same equation parsed once, timed in alternating rounds on the thread's
// processor time so that other load affects both alike (target: under 3); checked_ns is
// Calculate by a calculator that compares the group with what it remembers at every call.
// BM_ExtendedFunction shows what the extended-precision SQRT and SIN cost alone, beside the
// double-precision functions muparser calls.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Yardstick.h"
#include "calc/CalcEx.h"
#include "calc/EquationGrammar.h"
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
    // As the calculation thread has it (groups fixed), and one that compares each group with
    // what it remembers at every call.
    ov::TCalcEx calc{ov::USFormatSettings()};
    ov::TCalcEx checkedCalc{ov::USFormatSettings()};
    // The group of each equation: a group object keeps its equation while calc lives.
    std::map<std::string, std::unique_ptr<ov::TCalcGroupItem>> groups;

    ov::TCalcGroupItem& GroupFor(const char* equation, bool singleStation) {
        auto& g = groups[std::string(equation) + (singleStation ? "/single" : "/multi")];
        if (!g) {
            g = std::make_unique<ov::TCalcGroupItem>(singleStation ? single : multi);
            g->FuncName = equation;
        }
        return *g;
    }

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
        calc.SetGroupsFixed(true);
        for (ov::TCalcEx* c : {&calc, &checkedCalc}) {
            c->SetSetupQuery(&setup);
            c->SetTableLookup(
                [this](const std::string& name, double x) { return tables->TableValue(name, x); });
        }
    }
};

World& TheWorld() {
    static World world;
    return world;
}

// Processor time of the calling thread, in nanoseconds.
double ThreadNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// The median over rounds of (ns per call of a) / (ns per call of b), the two timed in turn.
template <class A, class B>
double AlternatingRatio(A&& a, B&& b, double& nsA, double& nsB) {
    constexpr int Rounds = 15, Calls = 20000;
    std::vector<double> ratios, as, bs;
    for (int r = 0; r < Rounds; ++r) {
        double t = ThreadNs();
        for (int i = 0; i < Calls; ++i) a();
        const double ta = (ThreadNs() - t) / Calls;
        t = ThreadNs();
        for (int i = 0; i < Calls; ++i) b();
        const double tb = (ThreadNs() - t) / Calls;
        ratios.push_back(ta / tb);
        as.push_back(ta);
        bs.push_back(tb);
    }
    auto median = [](std::vector<double>& v) {
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    nsA = median(as);
    nsB = median(bs);
    return median(ratios);
}

#ifdef OV_HAVE_MUPARSER
void DefineVars(mu::Parser& p, std::map<std::string, double>& vars) {
    for (const char* n : {"A", "B", "C", "D", "E", "F", "H"}) p.DefineVar(n, &vars[n]);
}
#endif

// muText: the same equation in muparser's spelling (null: none to compare with).
void BM_Calculate(benchmark::State& state, const char* equation, bool singleStation,
                  const char* muText) {
    World& w = TheWorld();
    const ov::TCalcGroupItem& group = w.GroupFor(equation, singleStation);
    const ov::TInputStationEndItem item(singleStation ? "RIVER1" : "ST1", T, "C");
    for (auto _ : state) benchmark::DoNotOptimize(w.calc.Calculate(item, group, w.cache));
    state.SetLabel(equation);
#ifdef OV_HAVE_MUPARSER
    if (muText != nullptr) {
        std::map<std::string, double> vars = w.vars;
        mu::Parser p;
        DefineVars(p, vars);
        p.SetExpr(muText);
        p.Eval();
        double nsCalc = 0, nsMu = 0;
        state.counters["x_muparser"] = AlternatingRatio(
            [&] { benchmark::DoNotOptimize(w.calc.Calculate(item, group, w.cache)); },
            [&] { benchmark::DoNotOptimize(p.Eval()); }, nsCalc, nsMu);
        state.counters["calc_ns"] = nsCalc;
        state.counters["muparser_ns"] = nsMu;
        double nsChecked = 0;
        AlternatingRatio(
            [&] { benchmark::DoNotOptimize(w.checkedCalc.Calculate(item, group, w.cache)); },
            [&] { benchmark::DoNotOptimize(p.Eval()); }, nsChecked, nsMu);
        state.counters["checked_ns"] = nsChecked;
    }
#else
    (void)muText;
#endif
}
BENCHMARK_CAPTURE(BM_Calculate, E1, E1, false, "sqrt(H*2.5) + 3");
BENCHMARK_CAPTURE(BM_Calculate, E2, E2, false, E2);
BENCHMARK_CAPTURE(BM_Calculate, E3, E3, false, "(A+B)*(C-D)/2 + abs(E) + sin(F)");
BENCHMARK_CAPTURE(BM_Calculate, E4, E4, true, nullptr);

// The extended-precision functions alone (what the equations' SQRT and SIN compute, to the
// bit), beside the double-precision ones: a floor under E1 and E3 that no evaluator of these
// equations can go below.
void BM_ExtendedFunction(benchmark::State& state, ov::equation::TOp op, bool extended) {
    World& w = TheWorld();
    double x = w.vars["H"];
    for (auto _ : state) {
        benchmark::DoNotOptimize(x);
        if (extended) {
            benchmark::DoNotOptimize(ov::equation::ApplyNumeric(op, x));
        } else if (op == ov::equation::TOp::Sqrt) {
            benchmark::DoNotOptimize(std::sqrt(x));
        } else {
            benchmark::DoNotOptimize(std::sin(x * 0.017453292519943295));
        }
    }
}
BENCHMARK_CAPTURE(BM_ExtendedFunction, SQRT_extended, ov::equation::TOp::Sqrt, true);
BENCHMARK_CAPTURE(BM_ExtendedFunction, SQRT_double, ov::equation::TOp::Sqrt, false);
BENCHMARK_CAPTURE(BM_ExtendedFunction, SIN_extended, ov::equation::TOp::Sin, true);
BENCHMARK_CAPTURE(BM_ExtendedFunction, SIN_double, ov::equation::TOp::Sin, false);

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
