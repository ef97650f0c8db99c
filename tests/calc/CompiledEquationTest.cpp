// The compiled equations against the reading evaluation they replace: random equations, valid
// and invalid, through TCalcEx::Calculate and through the reference (support/ReadingEvaluator.h)
// in identical worlds, compared result for result (to the bit), error for error (class and
// text), and look-up for look-up (setup keys, tables, log lines). Between rounds the group, the
// cache and the record change in place, so that what the calculator remembers is checked too.
//   OV_CALC_DIFF_CASES=N  cases of the differential test (default 10^4)
//   OV_CALC_DIFF_SEED=S   the first case's seed (default 1)
//   OV_CALC_DIFF_KINDS=1  the errors met, by kind (scripts/calc-diff.sh runs 10^6 cases)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <typeinfo>
#include <vector>

#include "calc/CalcEx.h"
#include "calc/CompiledEquation.h"
#include "calc/EquationGrammar.h"
#include "core/InputItems.h"
#include "core/OutputBuffer.h"
#include "core/ValueCache.h"
#include "model/CalcGroups.h"
#include "suite/SetupQuery.h"
#include "support/FakeClock.h"
#include "support/ReadingEvaluator.h"
#include "support/TestCalcHost.h"
#include "util/TimeTag.h"

namespace ov {
namespace {

const TTimeTag T = MakeTimeTag(2026, 12, 8, 20, 0, 0);

using TRandom = std::mt19937_64;

std::size_t Below(TRandom& r, std::size_t n) {
    return static_cast<std::size_t>(r() % n);
}
bool Chance(TRandom& r, int percent) {
    return static_cast<int>(r() % 100) < percent;
}
template <class T, std::size_t N>
const T& Pick(TRandom& r, const T (&items)[N]) {
    return items[Below(r, N)];
}

// Random equations over the whole grammar: every operator and function, the numeral forms and
// the quirks (lone signs, words without "(", comments, blanks above 0x7F, tabs), with missing
// parentheses and commas, and random edits on top.
class TEquationGenerator {
  public:
    // A clean generator writes only well-formed equations over names that have a value, so
    // that most of its cases compute a value.
    TEquationGenerator(TRandom& r, bool clean) : r_(r), clean_(clean) {}

    std::string Equation() {
        std::string eq = Expression(0);
        if (!clean_ && Chance(r_, 15)) eq += Pick(r_, Trailers);
        if (!clean_ && Chance(r_, 10)) Edit(eq);
        if (Chance(r_, 30)) {
            for (char& c : eq)
                if (c >= 'A' && c <= 'Z' && Chance(r_, 30)) c = static_cast<char>(c + 32);
        }
        if (Chance(r_, 5)) eq.insert(0, " ");
        return eq;
    }

  private:
    static constexpr const char* Trailers[] = {" B", "=C", "\t+ A", " )", " {note", "^2", ",1"};
    static constexpr const char* Numerals[] = {"0",
                                               "1",
                                               "2",
                                               "2.5",
                                               ".5",
                                               "5.",
                                               "1E3",
                                               "1E-400",
                                               "1E400",
                                               "-3",
                                               "+2",
                                               "-",
                                               "+",
                                               ".",
                                               "7.9",
                                               "1E",
                                               "1E+",
                                               "0.0001",
                                               "90",
                                               "360",
                                               "45",
                                               "1E19",
                                               "-1E19",
                                               "16",
                                               "3",
                                               "1E308",
                                               "1E-310",
                                               "12345678901234567890",
                                               "9.2233720368547758E18",
                                               "-0",
                                               "1000E-5"};
    // Mostly names with a value; then names without one, unbound names and names that begin
    // with a function word.
    static constexpr const char* Variables[] = {
        "A",  "B", "C", "H", "A", "B", "C", "H",  "a",     "b",    "SINE", "A", "B",
        "C",  "H", "A", "B", "C", "H", "A", "B",  "C",     "H",    "a",    "b", "SINE",
        "_1", "M", "E", "D", "N", "Q", "X", "ZZ", "SIN_1", "EXP2", "ABSX"};
    static constexpr const char* Valued[] = {"A", "B", "C", "H", "a", "SINE", "_1"};
    static constexpr const char* Numeric[] = {"ARCTAN", "ABS",   "COS", "EXP",  "INT", "LOG",  "LN",
                                              "RND",    "ROUND", "SIN", "SQRT", "TAN", "TRUNC"};
    static constexpr const char* Attributes[] = {"DBTABLE",   "ELEV",      "OFFSET",  "SHIFT",
                                                 "STN_COEFF", "SNS_COEFF", "STN_GPN", "SNS_GPN"};
    static constexpr const char* Tables[] = {"RIVER1", "T1", "BAD", "river 1 ", "X"};
    static constexpr const char* Blanks[] = {"", "", "", " ", "  ", "\xA0", "{c}", "\t"};
    static constexpr const char* Junk[] = {"(", ")", ",", "#", "$", "\t", "\n",  "^",
                                           "*", "-", "+", "/", "<", "=",  ">",   "{",
                                           "}", " ", "A", "1", ".", "E",  "\xFF"};

    std::string Blank() {
        if (Chance(r_, 70)) return "";
        const std::string b = Pick(r_, Blanks);
        return clean_ && b == "\t" ? " " : b;  // a tab ends the expression
    }

    std::string Expression(int depth) {
        std::string e = Sum(depth);
        if (Chance(r_, 15)) {
            static constexpr const char* Relations[] = {"<=", "<>", "<", "=", ">=", ">"};
            e += Blank() + Pick(r_, Relations) + Blank() + Sum(depth);
            if (Chance(r_, 10)) e += "=" + Sum(depth);
        }
        return e;
    }
    std::string Sum(int depth) {
        std::string s = Chance(r_, 10) ? "-" : "";
        s += Term(depth);
        while (Chance(r_, 25)) {
            static constexpr const char* Ops[] = {"+", "-", " OR ", " XOR ", "+", "-"};
            s += Blank() + Pick(r_, Ops) + Blank() + Term(depth);
        }
        return s;
    }
    std::string Term(int depth) {
        std::string t = Power(depth);
        while (Chance(r_, 25)) {
            static constexpr const char* Ops[] = {"*",     "/",     " AND ", " MOD ",
                                                  " SHR ", " SHL ", "*",     "/"};
            t += Blank() + Pick(r_, Ops) + Blank() + Power(depth);
        }
        return t;
    }
    std::string Power(int depth) {
        std::string p = Factor(depth);
        if (Chance(r_, 10)) p += Blank() + "^" + Blank() + Factor(depth);
        if (Chance(r_, 2)) p += "^" + Factor(depth);
        return p;
    }
    std::string Close() { return clean_ || Chance(r_, 97) ? Blank() + ")" : ""; }
    std::string Name() { return clean_ ? Pick(r_, Valued) : Pick(r_, Variables); }
    std::string Factor(int depth) {
        const std::size_t choice = depth > 2 ? Below(r_, 3) : Below(r_, 12);
        switch (choice) {
            case 0:
                return Blank() + Pick(r_, Numerals);
            case 1:
            case 2:
                return Blank() + Name();
            case 3:
                return "(" + Expression(depth + 1) + Close();
            case 4:
            case 5: {
                std::string f = Pick(r_, Numeric);
                if (!clean_ && Chance(r_, 5)) return f;  // the word alone: consumed, then a name
                return f + Blank() + "(" + Expression(depth + 1) + Close();
            }
            case 6: {
                std::string f = std::string(Pick(r_, Attributes)) + "(" + Blank() +
                                (!clean_ && Chance(r_, 5) ? "" : Name()) +
                                (Chance(r_, 90) ? "" : Blank());
                if (Chance(r_, 60)) f += "," + Expression(depth + 1);
                return f + Close();
            }
            case 7: {
                std::string f = std::string("TABLE(") + Blank() + Pick(r_, Tables);
                if (Chance(r_, 95)) f += ",";
                return f + Expression(depth + 1) + Close();
            }
            case 8: {
                std::string f = std::string("LSTVAL(") + Name();
                if (Chance(r_, 95)) f += ",";
                return f + Expression(depth + 1) + Close();
            }
            case 9:
                return "NOT " + Factor(depth + 1);
            case 10:
                return "RND(" + Expression(depth + 1) + Close();
            default:
                return clean_ || Chance(r_, 50) ? "{x}" + Factor(depth) : Pick(r_, Junk);
        }
    }
    void Edit(std::string& eq) {
        for (int edits = 1 + static_cast<int>(Below(r_, 3)); edits > 0; --edits) {
            const std::size_t at = Below(r_, eq.size() + 1);
            switch (Below(r_, 3)) {
                case 0:
                    eq.insert(at, Pick(r_, Junk));
                    break;
                case 1:
                    if (at < eq.size()) eq.erase(at, 1);
                    break;
                default:
                    eq = eq.substr(0, at);
                    break;
            }
        }
    }

    TRandom& r_;
    bool clean_;
};

// Setup answers decided by the key and the case: no answer, numbers, texts that are no number,
// and rating-table file names.
class TAnswers : public ISetupQuery {
  public:
    std::uint64_t Seed = 0;
    std::vector<std::string> Keys;
    bool QuerySetup(const std::string& key, std::string& value) override {
        Keys.push_back(key);
        static constexpr const char* Answers[] = {nullptr,
                                                  "ERROR",
                                                  "0.25",
                                                  "-3",
                                                  "1E3",
                                                  "2",
                                                  "7.5",
                                                  "0",
                                                  "0.25",
                                                  "-3",
                                                  "45",
                                                  "abc",
                                                  "",
                                                  "T1",
                                                  "12,5",
                                                  "1E400",
                                                  "C:\\TABLES\\RIVER1.TBL"};
        const std::size_t pick = (std::hash<std::string>()(key) ^ Seed) % std::size(Answers);
        if (Answers[pick] == nullptr || std::strcmp(Answers[pick], "ERROR") == 0) return false;
        value = Answers[pick];
        return true;
    }
};

// Everything one calculator sees: its host and output buffer, the cache, the groups, the
// record, the setup double and the table function.
struct TWorld {
    test::FakeClock clock;
    test::TestCalcHost host;
    TOutputBuffer output{host};
    TStationSensorDataCache cache{20, clock};
    TAnswers answers;
    std::vector<std::string> tableCalls;
    std::unique_ptr<TCalcEx> calc;
    TCalcGroupItem groups[2];
    TInputStationEndItem item{"RIVER1", T, "C"};
    TNullValueSettings null;

    TWorld() {
        host.Output = &output;
        NewCalculator(false);
    }
    // A calculator that knows no equation yet; fixed: it trusts the groups as the
    // calculation thread's does.
    void NewCalculator(bool fixed) {
        calc = std::make_unique<TCalcEx>(USFormatSettings());
        calc->SetGroupsFixed(fixed);
        calc->SetSetupQuery(&answers);
        calc->SetOutput(&output);
        calc->SetNullValueSource([this] { return null; });
        calc->SetTableLookup([this](const std::string& name, double x) -> double {
            tableCalls.push_back(name + " " + std::to_string(x));
            if (name == "BAD") throw Exception("The table BAD cannot be read");
            return name.size() % 2 == 0 ? x : x * 2 + static_cast<double>(name.size());
        });
    }
};

// The case's state, set alike in both worlds.
struct TCaseState {
    std::string Equation;
    bool Multi = true;
    int LogLevel = 0;
    TNullValueSettings Null;
    double Values[6] = {};
    std::uint64_t AnswerSeed = 0;
};

const std::vector<std::string> SingleBindings = {
    "A=HA",        "B=HB", "C=HC",    "H=HG",  "M=HM", "E=HE",
    "D=RIVER2.HG", "N=",   "SINE=HS", "_1=HA", "X =HB"};
const std::vector<std::string> MultiBindings = {
    "A=RIVER1.HA", "B=RIVER1.HB", "C=ST2.HC",    "H=RIVER1.HG",    "M=RIVER1.HM", "E=RIVER1.HE",
    "D=RIVER1.HD", "N=HG",        "SINE=ST2.HS", "_1=RIVER1.HA,X", "X =RIVER1.HB"};

void FillCache(TStationSensorDataCache& cache, const double (&v)[6]) {
    cache.Add("RIVER1", "HA", v[0], T);
    cache.Add("RIVER1", "HB", v[1], T);
    cache.Add("RIVER1", "HC", v[2], T);
    cache.Add("ST2", "HC", v[3], T);
    cache.Add("RIVER1", "HG", v[4], T);
    cache.Add("river1", "hs", v[5], T);
    cache.Add("ST2", "HS", v[5], T);
    cache.Add("RIVER1", "HE", 1.5, T - 1800);
    cache.Add("RIVER1", "HE", 2.5, T - 900);
    cache.Add("RIVER1", "HD", 4.5, T - 900);
    cache.Add("RIVER2", "HA", 8, T);
}

void Prepare(TWorld& w, const TCaseState& s, int g) {
    TCalcGroupItem& group = w.groups[g];
    group.FuncName = s.Equation;
    group.MultiStations = s.Multi;
    group.CGIndex = 7 + g;
    group.Variables = SingleBindings;
    group.MultiVariables = MultiBindings;
    w.null = s.Null;
    w.calc->SetLogLevel(s.LogLevel);
    w.answers.Seed = s.AnswerSeed;
    w.item.StationID = "RIVER1";
    w.cache.Clear();
    FillCache(w.cache, s.Values);
}

// Changes made between rounds, to the group, the cache or the record, in place.
void Perturb(TWorld& w, int g, int how, const std::string& otherEquation) {
    TCalcGroupItem& group = w.groups[g];
    switch (how) {
        case 0:
            break;  // the same again: what was remembered is used
        case 1:
            w.cache.Add("RIVER1", "HM", 6.25, T);  // M gets a value
            break;
        case 2:
            group.Variables[0] = "A=HB";  // the same lengths: changed in place
            group.MultiVariables[0] = "A=RIVER1.HB";
            break;
        case 3:
            w.item.StationID = "RIVER2";
            break;
        case 4:
            group.FuncName = otherEquation;
            break;
        case 5:
            group.MultiStations = !group.MultiStations;
            break;
        case 6: {
            // Every item purged and made anew: the cache's positions and objects change.
            w.clock.AdvanceSeconds(4 * 3600);
            w.cache.Purge();
            const double v[6] = {0.5, -2, 9, 1e300, 3, 30};
            FillCache(w.cache, v);
            break;
        }
        case 7:
            w.cache.Add("AAA", "FIRST", 1, T);  // shifts every position
            w.cache.Add("RIVER1", "HA", -4, T);
            break;
        case 8:
            group.MultiVariables.insert(group.MultiVariables.begin(), "B=ST2.HC");
            group.Variables.insert(group.Variables.begin(), "B=HC");
            break;
    }
}

struct TOutcome {
    bool Ok = false;
    std::uint64_t Bits = 0;
    std::string Error;  // class and message
    std::vector<std::string> Keys, Tables, Lines;

    bool operator==(const TOutcome&) const = default;
};

std::string Describe(const TOutcome& o) {
    std::string s;
    if (o.Ok) {
        double v;
        std::memcpy(&v, &o.Bits, sizeof v);
        s = "value " + std::to_string(v) + " bits " + std::to_string(o.Bits);
    } else {
        s = "error " + o.Error;
    }
    for (const auto& k : o.Keys) s += "\n  key " + k;
    for (const auto& t : o.Tables) s += "\n  table " + t;
    for (const auto& l : o.Lines) s += "\n  line " + l;
    return s;
}

TOutcome Calculated(TWorld& w, int g, bool compiled, std::uint32_t rndSeed) {
    w.answers.Keys.clear();
    w.tableCalls.clear();
    w.host.ForgetLines();
    SeedRandom(rndSeed);
    TOutcome o;
    try {
        const double v = compiled ? w.calc->Calculate(w.item, w.groups[g], w.cache)
                                  : test::ReadingCalculate(*w.calc, w.item, w.groups[g], w.cache);
        o.Ok = true;
        std::memcpy(&o.Bits, &v, sizeof v);
    } catch (const FCalcExNullException& e) {
        o.Error = std::string("FCalcExNullException: ") + e.what();
    } catch (const ECalcExException& e) {
        o.Error = std::string("ECalcExException: ") + e.what();
    } catch (const std::exception& e) {
        o.Error = std::string("other: ") + e.what();
    }
    o.Keys = w.answers.Keys;
    o.Tables = w.tableCalls;
    o.Lines = w.host.Texts();
    return o;
}

std::string Escaped(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

TEST(CompiledEquation, SameAsReadingForRandomEquations) {
    const std::uint64_t cases = EnvNumber("OV_CALC_DIFF_CASES", 10000);
    const std::uint64_t firstSeed = EnvNumber("OV_CALC_DIFF_SEED", 1);
    // OV_CALC_DIFF_KINDS=1: the count of each kind of error, with three equations of each.
    const bool showKinds = EnvNumber("OV_CALC_DIFF_KINDS", 0) != 0;
    // One pair of worlds for all cases: the compiled calculator keeps its equations and plans
    // from case to case, as the calculation thread's does. A third world has a calculator
    // with fixed groups, made anew for each of its cases (its groups are changed between
    // cases), whose rounds change only the cache and the record.
    auto checking = std::make_unique<TWorld>();
    auto fixed = std::make_unique<TWorld>();
    auto reading = std::make_unique<TWorld>();
    std::uint64_t compared = 0, values = 0, errors = 0, failures = 0;
    std::map<std::string, std::uint64_t> errorKinds;
    for (std::uint64_t c = 0; c < cases && failures < 5; ++c) {
        const std::uint64_t seed = firstSeed + c;
        TRandom r(seed);
        TEquationGenerator gen(r, Chance(r, 50));
        TCaseState s;
        s.Equation = gen.Equation();
        s.Multi = Chance(r, 50);
        s.LogLevel = Chance(r, 50) ? 5 : 0;
        s.Null = {Chance(r, 50), Chance(r, 70), Chance(r, 50) ? 998877 : -1};
        static constexpr double Values[] = {0,     1,      -1,     2.5,    3,   -7, 0.5,
                                            1e300, -1e300, 1e-310, 9.3e18, 45,  90, 360,
                                            16,    -2.5,   1e19,   4,      1e-5};
        for (double& v : s.Values) v = Pick(r, Values);
        s.AnswerSeed = r();
        const int g = static_cast<int>(Below(r, 2));
        const std::string other = gen.Equation();
        const bool groupsFixed = Chance(r, 30);
        TWorld* compiled = groupsFixed ? fixed.get() : checking.get();
        if (groupsFixed) fixed->NewCalculator(true);
        Prepare(*compiled, s, g);
        Prepare(*reading, s, g);
        for (int round = 0; round < 3 && failures < 5; ++round) {
            if (round > 0) {
                static constexpr int CacheAndRecord[] = {0, 1, 3, 6, 7};
                const int how =
                    groupsFixed ? Pick(r, CacheAndRecord) : static_cast<int>(Below(r, 9));
                Perturb(*compiled, g, how, other);
                Perturb(*reading, g, how, other);
            }
            const auto rnd = static_cast<std::uint32_t>(r());
            const TOutcome want = Calculated(*reading, g, false, rnd);
            const TOutcome got = Calculated(*compiled, g, true, rnd);
            ++compared;
            if (want.Ok) {
                ++values;
            } else {
                ++errors;
                const std::string kind =
                    want.Error.substr(0, want.Error.find(':', want.Error.find(':') + 1));
                if (++errorKinds[kind] <= 3 && showKinds)
                    std::printf("%s <- \"%s\"\n", kind.c_str(),
                                Escaped(compiled->groups[g].FuncName).c_str());
            }
            if (!(want == got)) {
                ++failures;
                ADD_FAILURE() << "case seed " << seed << " round " << round << " equation \""
                              << Escaped(compiled->groups[g].FuncName)
                              << "\"\n reading: " << Describe(want)
                              << "\n compiled: " << Describe(got);
            }
        }
    }
    std::printf(
        "compared %llu calculations of %llu random equations: %llu values, %llu errors "
        "(%zu kinds), %llu differences\n",
        static_cast<unsigned long long>(compared), static_cast<unsigned long long>(cases),
        static_cast<unsigned long long>(values), static_cast<unsigned long long>(errors),
        errorKinds.size(), static_cast<unsigned long long>(failures));
    if (showKinds)
        for (const auto& [k, n] : errorKinds)
            std::printf("%8llu %s\n", static_cast<unsigned long long>(n), k.c_str());
    // The generator reaches the errors it is meant to: each class of failure occurs.
    if (cases >= 10000) {
        for (const char* kind :
             {"ECalcExException: Error 1607", "ECalcExException: Error 1608",
              "ECalcExException: Error 1609", "ECalcExException: Error 1610",
              "ECalcExException: Error 1612", "ECalcExException: Error 1603",
              "FCalcExNullException: Error 1604", "FCalcExNullException: Error 1605"}) {
            bool seen = false;
            for (const auto& [k, n] : errorKinds) seen = seen || k.rfind(kind, 0) == 0;
            EXPECT_TRUE(seen) << kind;
        }
    }
}

// Angles lose their whole turns in double precision: the remainder is exact, so the functions
// give what the extended remainder gave, to the bit.
TEST(CompiledEquation, AngleFunctionsAsWithTheExtendedRemainder) {
    TRandom r(42);
    for (int i = 0; i < 200000; ++i) {
        const double x =
            std::ldexp(static_cast<double>(r() >> 11), static_cast<int>(r() % 80) - 60) *
            (Chance(r, 50) ? -1 : 1);
        const long double rad =
            std::fmod(static_cast<long double>(x), 360.0L) * equation::RadPerDeg;
        const long double c = std::cos(rad);
        const double sin = static_cast<double>(std::sin(rad));
        const double cos = static_cast<double>(c);
        ASSERT_EQ(equation::ApplyNumeric(equation::TOp::Sin, x), sin) << x;
        ASSERT_EQ(equation::ApplyNumeric(equation::TOp::Cos, x), cos) << x;
        if (c != 0) {
            const double tan = static_cast<double>(std::sin(rad) / c);
            if (std::isfinite(tan)) {
                ASSERT_EQ(equation::ApplyNumeric(equation::TOp::Tan, x), tan) << x;
            }
        }
    }
}

// Each distinct text is read once, however many groups have it, and a calculator that meets
// ever new texts keeps a bounded number.
TEST(CompiledEquation, EachTextReadOnceAndBounded) {
    TWorld w;
    double v[6] = {1, 2, 3, 4, 5, 6};
    FillCache(w.cache, v);
    std::vector<std::unique_ptr<TCalcGroupItem>> groups;
    for (int i = 0; i < 300; ++i) {
        auto g = std::make_unique<TCalcGroupItem>();
        g->MultiStations = true;
        g->MultiVariables = MultiBindings;
        g->FuncName = i % 3 == 0 ? "A+B" : (i % 3 == 1 ? "A*B" : "a+b");
        EXPECT_EQ(w.calc->Calculate(w.item, *g, w.cache), i % 3 == 1 ? 2 : 3);
        groups.push_back(std::move(g));
    }
    EXPECT_EQ(w.calc->CompiledEquations(), 3u);
    TCalcGroupItem& g = w.groups[0];
    g.MultiStations = true;
    g.MultiVariables = MultiBindings;
    for (std::size_t i = 0; i < TCalcEx::MaxCompiledEquations + 10; ++i) {
        g.FuncName = "A+" + std::to_string(i);
        ASSERT_EQ(w.calc->Calculate(w.item, g, w.cache), 1.0 + static_cast<double>(i));
    }
    EXPECT_LE(w.calc->CompiledEquations(), TCalcEx::MaxCompiledEquations);
    EXPECT_EQ(w.calc->Calculate(w.item, *groups[1], w.cache), 2);
}

// A calculator whose LookupVariable is overridden is asked for every variable by name.
TEST(CompiledEquation, OverriddenLookupIsAskedForEveryVariable) {
    class TCounting : public TCalcEx {
      public:
        TCounting() : TCalcEx(USFormatSettings()) {}
        bool LookupVariable(const std::string& name, const TInputItem&, double& value,
                            const TStationSensorDataCache&, const TCalcGroupItem&) override {
            names.push_back(name);
            value = 2;
            return true;
        }
        std::vector<std::string> names;
    } calc;
    TWorld w;
    TCalcGroupItem& g = w.groups[0];
    g.FuncName = "a*B + A";
    for (int i = 0; i < 2; ++i) EXPECT_EQ(calc.Calculate(w.item, g, w.cache), 6);
    EXPECT_EQ(calc.names, (std::vector<std::string>{"A", "B", "A", "A", "B", "A"}));
}

}  // namespace
}  // namespace ov
