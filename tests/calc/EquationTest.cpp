// The equation grammar: values, quirks and failures of the evaluation pass, and the names and
// failures of the check pass.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "calc/CalcErrors.h"
#include "calc/Equation.h"
#include "util/Exception.h"

namespace ov {
namespace {

// Variables from a map; attribute and table calls are recorded and answered with fixed values.
class MapHooks : public IEquationHooks {
  public:
    std::map<std::string, double> values{{"A", 3}, {"B", 4}, {"SINE", 11}, {"ABSX", 12}};
    std::vector<std::string> looked;
    std::vector<std::string> calls;

    double Variable(std::string_view name) override {
        looked.emplace_back(name);
        auto it = values.find(std::string(name));
        if (it == values.end()) throw ECalcExException("no value for " + std::string(name));
        return it->second;
    }
    bool LastValue(std::string_view name, double x, double& value) override {
        calls.push_back("LSTVAL " + std::string(name) + " " + std::to_string(x));
        auto it = values.find(std::string(name));
        if (it == values.end()) return false;
        value = it->second;
        return true;
    }
    double Attribute(TAttributeKind kind, std::string_view name, double x) override {
        calls.push_back("ATTR" + std::to_string(static_cast<int>(kind)) + " [" + std::string(name) +
                        "] " + std::to_string(x));
        return 100;
    }
    double Table(std::string_view table, double x) override {
        calls.push_back("TABLE [" + std::string(table) + "] " + std::to_string(x));
        return 2 * x;
    }
};

double Eval(const std::string& eq, MapHooks& h) {
    return EvaluateEquation(eq, h);
}

std::string ErrorOf(const std::string& eq) {
    MapHooks h;
    try {
        EvaluateEquation(eq, h);
    } catch (const Exception& e) {
        return e.what();
    }
    return "no error";
}

TEST(Equation, ValuesTable) {
    struct Case {
        const char* eq;
        double value;
    };
    const Case cases[] = {
        {"2 + 3 * 4", 14},   {"(2 + 3) * 4", 20},
        {"2 - 3 - 4", -5},   {"8 / 2 / 2", 2},
        {"-2^2", -4},        {"2^3^2", 8},
        {"2*-3", -6},        {"2*-A", 0},
        {"2*(-A)", -6},      {"-A*B", -12},
        {"-7 MOD 3", -1},    {"7.9 MOD 3", 1},
        {"6 AND 3", 2},      {"6 OR 3", 7},
        {"6 XOR 3", 5},      {"1 SHL 4", 16},
        {"16 shr 2", 4},     {"2.7 AND 3", 2},
        {"3 > 2", 1},        {"2 >= 3", 0},
        {"1 <> 1", 0},       {"1 = 1.0", 1},
        {"1 < 2 < 3", 1},    {"2 <= 2", 1},
        {"SIN(90)", 1},      {"SIN (30)", 0.5},
        {"ARCTAN(1)", 45},   {"COS(0)", 1},
        {"TAN(45)", 1},      {"SIN(390)", 0.5},
        {"COS(-720)", 1},    {"SIN(-30)", -0.5},
        {"ROUND(2.5)", 2},   {"ROUND(3.5)", 4},
        {"ROUND(-2.5)", -2}, {"TRUNC(-2.7)", -2},
        {"INT(-2.7)", -2},   {"NOT 0", 1},
        {"NOT 7", 0},        {"NOT NOT 7", 1},
        {"ABS(-2)", 2},      {"SQRT(16)", 4},
        {"LOG(1000)", 3},    {"LN(1)", 0},
        {"EXP(0)", 1},       {"{first reading} A + {second} B", 7},
        {"A {unclosed", 3},  {"A B", 3},
        {"A\t+ B", 3},       {"1.5E2", 150},
        {"SINE + ABSX", 23}, {"a+b", 7},
        {"-.", 0},           {"1E-400", 0},
        {"A\xA0+\xFF B", 7},  // bytes 0x80-0xFF are blanks
        {"RND(1)", 0},       {"RND(0)", 0},
    };
    for (const Case& c : cases) {
        MapHooks h;
        EXPECT_DOUBLE_EQ(Eval(c.eq, h), c.value) << c.eq;
    }
    MapHooks h;
    EXPECT_DOUBLE_EQ(Eval("2^0.5", h), std::sqrt(2.0));
    const double r = Eval("RND(10)", h);
    EXPECT_TRUE(r >= 0 && r < 10 && r == std::floor(r));
}

TEST(Equation, FailuresTable) {
    struct Case {
        const char* eq;
        const char* message;
    };
    const Case cases[] = {
        {"(-2)^2", "Invalid floating point operation"},
        {"0^2", "Floating point division by zero"},
        {"7 / 0", "Error 1612: Divide by Zero."},
        {"7 MOD 0", "Division by zero"},
        {"SQRT(-1)", "Invalid floating point operation"},
        {"LN(0)", "Floating point division by zero"},
        {"LOG(-1)", "Invalid floating point operation"},
        {"EXP(1000)", "Floating point overflow"},
        {"1E300*1E300", "Floating point overflow"},
        {"1E999", "Floating point overflow"},
        {"TRUNC(1E19)", "Invalid floating point operation"},
        {"1E19 AND 1", "Invalid floating point operation"},
        {"1 AND 1E19", "Invalid floating point operation"},
        // A word operator reads its right operand first: that operand's own error comes
        // before the left operand's truncation, as with "/".
        {"1E19 AND", "Error 1607: Invalid variable names in the function"},
        {"1E19 MOD (1", "Error 1610: Syntax error - \")\" expected"},
        {"1E19 OR", "Error 1607: Invalid variable names in the function"},
        {"1E19 XOR (1", "Error 1610: Syntax error - \")\" expected"},
        {"1E19 SHL", "Error 1607: Invalid variable names in the function"},
        {"1E19 SHR (2", "Error 1610: Syntax error - \")\" expected"},
        {"1E19 / (1", "Error 1610: Syntax error - \")\" expected"},
        {"A+", "Error 1607: Invalid variable names in the function"},
        {"SQRT(A", "Error 1608: Equation syntax error."},
        {"(A", "Error 1610: Syntax error - \")\" expected"},
        {"TABLE(T1 C)", "Error 1609: Table syntax error"},
        {"TABLE(T1, A", "Error 1609: Table syntax error"},
        {"SHIFT(A", "Error 1608: Equation syntax error."},
        {"LSTVAL(A)", "Error 1608: Equation syntax error."},
        {"LSTVAL(Q, 0)", "Error 1611: Last value lookup failed."},
        {"", "Error 1608: Equation syntax error."},
        {"Q", "no value for Q"},
    };
    for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.eq), c.message) << c.eq;
}

TEST(Equation, LoneSignLeavesTheVariableUnread) {
    MapHooks h;
    EXPECT_EQ(Eval("2*-A", h), 0);
    EXPECT_TRUE(h.looked.empty());
    EXPECT_EQ(Eval(" -A", h), 0);
    EXPECT_TRUE(h.looked.empty());
}

TEST(Equation, FunctionWordWithoutParenthesisStaysConsumed) {
    MapHooks h;
    h.values["_1"] = 5;
    h.values["X"] = 6;
    EXPECT_EQ(Eval("SIN_1", h), 5);  // SIN consumed, "_1" read as the variable
    EXPECT_EQ(Eval("SIN X", h), 6);
}

TEST(Equation, FunctionArgumentsReachTheHooks) {
    MapHooks h;
    EXPECT_EQ(Eval("TABLE(river 1 , A) + SHIFT(B) + STN_COEFF(A, 2.7) + LSTVAL(B, 9)", h),
              6 + 100 + 100 + 4);
    EXPECT_EQ(h.calls, (std::vector<std::string>{"TABLE [RIVER 1 ] 3.000000", "ATTR0 [B] 0.000000",
                                                 "ATTR3 [A] 2.700000", "LSTVAL B 9.000000"}));
    h.calls.clear();
    Eval("DBTABLE( H ,1)+ELEV(H)+OFFSET(H)+SNS_COEFF(H)+STN_GPN(H)+SNS_GPN(H)", h);
    EXPECT_EQ(h.calls, (std::vector<std::string>{"ATTR5 [H ] 1.000000", "ATTR2 [H] 0.000000",
                                                 "ATTR1 [H] 0.000000", "ATTR4 [H] 0.000000",
                                                 "ATTR6 [H] 0.000000", "ATTR7 [H] 0.000000"}));
}

// A numeral beyond the double range is an overflow or 0 by its value, whatever its spelling.
TEST(Equation, NumeralsOutsideTheDoubleRange) {
    const std::string zeros400(400, '0'), zeros330(330, '0');
    struct Case {
        std::string eq;
        const char* error;  // null: the value is 0
    };
    const std::vector<Case> cases{
        {"1" + zeros400 + "E-5", "Floating point overflow"},  // 1E395
        {"1" + zeros400, "Floating point overflow"},
        {"1E999", "Floating point overflow"},
        {"0.0001E99999999999999999999", "Floating point overflow"},
        {"-1" + zeros400 + "E-5", "Floating point overflow"},
        {"0." + zeros330 + "1", nullptr},  // 1E-331
        {"0." + zeros330 + "1E+2", nullptr},
        {"1E-400", nullptr},
        {"1000E-99999999999999999999", nullptr},
        {"-0." + zeros330 + "1", nullptr},
    };
    for (const Case& c : cases) {
        if (c.error != nullptr) {
            EXPECT_EQ(ErrorOf(c.eq), c.error) << c.eq.substr(0, 20);
        } else {
            MapHooks h;
            EXPECT_EQ(Eval(c.eq, h), 0) << c.eq.substr(0, 20);
        }
    }
    // In range however it is spelled.
    MapHooks h;
    EXPECT_DOUBLE_EQ(Eval("0." + zeros330 + "1E+400", h), 1E69);
    EXPECT_DOUBLE_EQ(Eval("1" + zeros400 + "E-395", h), 1E5);
}

// Levels of nesting are counted, each a parenthesis, a function's argument list or a NOT:
// MaxEquationNesting (1000) levels evaluate and check, one more is a syntax error in both.
TEST(Equation, NestingLimitCountsLevels) {
    struct Kind {
        const char* open;
        const char* close;
    };
    const Kind kinds[] = {{"(", ")"}, {"ABS(", ")"}, {"NOT ", ""}, {"SHIFT(A, ", ")"}};
    auto nested = [&](int kind, int levels) {  // kind -1: the four in turn
        std::string open, close;
        for (int i = 0; i < levels; ++i) {
            const Kind& k = kinds[kind < 0 ? i % 4 : kind];
            open += k.open;
            close.insert(0, k.close);
        }
        return open + "1" + close;
    };
    for (int kind = -1; kind < 4; ++kind) {
        for (int levels : {MaxEquationNesting - 1, MaxEquationNesting, MaxEquationNesting + 1}) {
            const std::string eq = nested(kind, levels);
            const bool fits = levels <= MaxEquationNesting;
            TStringList names(true);
            if (fits) {
                EXPECT_EQ(ErrorOf(eq), "no error") << kind << " " << levels;
                EXPECT_NO_THROW(CheckEquation(eq, names)) << kind << " " << levels;
            } else {
                EXPECT_EQ(ErrorOf(eq), "Error 1608: Equation syntax error.") << kind;
                EXPECT_THROW(CheckEquation(eq, names), ECalcExException) << kind;
            }
        }
    }
    MapHooks h;
    EXPECT_EQ(Eval(nested(0, MaxEquationNesting), h), 1);
    EXPECT_EQ(Eval(nested(2, MaxEquationNesting), h), 1);  // an even number of NOTs
    EXPECT_EQ(Eval(nested(3, MaxEquationNesting), h), 100);
}

TEST(Equation, DeepNestingIsASyntaxError) {
    const std::string ok = std::string(900, '(') + "1" + std::string(900, ')');
    MapHooks h;
    EXPECT_EQ(Eval(ok, h), 1);
    for (const std::string& deep :
         {std::string(100000, '(') + "1", std::string(5000, '(') + "1" + std::string(5000, ')'),
          [] {
              std::string s;
              for (int i = 0; i < 5000; ++i) s += "SQRT(";
              return s + "1";
          }(),
          [] {
              std::string s;
              for (int i = 0; i < 5000; ++i) s += "NOT ";
              return s + "1";
          }()}) {
        EXPECT_EQ(ErrorOf(deep), "Error 1608: Equation syntax error.");
        TStringList names(true);
        EXPECT_THROW(CheckEquation(deep, names), ECalcExException);
    }
}

TEST(CheckEquation, NamesAndFailures) {
    struct Case {
        const char* eq;
        std::vector<std::string> names;  // empty with an error
        const char* error;
    };
    const Case cases[] = {
        {"A + SHIFT(B) + TABLE(T1, C) + LSTVAL(D, 0) + a", {"A", "B", "C"}, nullptr},
        {"A ^ B", {"A"}, nullptr},
        {"A^B", {"A", "B"}, nullptr},
        {"2*-A", {}, nullptr},
        {"ZED + 1E999 + alpha", {"ALPHA", "ZED"}, nullptr},
        {"", {}, nullptr},
        {"A+", {}, "Error 1607: Invalid variable names in the function"},
        {"SQRT(A", {}, "Error 1607: Invalid variable names in the function"},
        {"(A", {}, "Error 1608: Equation syntax error."},
        {"TABLE(T1 C)", {}, "Error 1608: Equation syntax error."},
        {"SHIFT(B", {}, "Error 1608: Equation syntax error."},
        {"SHIFT()", {}, "Error 1607: Invalid variable names in the function"},
        {"7 / 0", {}, nullptr},
    };
    for (const Case& c : cases) {
        TStringList names(true);
        if (c.error == nullptr) {
            EXPECT_NO_THROW(CheckEquation(c.eq, names)) << c.eq;
            EXPECT_EQ(names.Items(), c.names) << c.eq;
        } else {
            try {
                CheckEquation(c.eq, names);
                ADD_FAILURE() << c.eq << " passed the check";
            } catch (const ECalcExException& e) {
                EXPECT_STREQ(e.what(), c.error) << c.eq;
            }
        }
    }
}

TEST(CheckEquation, FindingsOfThePitfalls) {
    struct Case {
        const char* eq;
        std::vector<std::size_t> loneSigns;
        const char* unread;
    };
    const Case cases[] = {
        {"2*-A", {2}, "A"},   {"2* -SQRT(B)", {3}, "SQRT(B)"},
        {"2*-3 + A", {}, ""}, {"A B", {}, "B"},
        {"A=B=C", {}, "=C"},  {"A\t+ B", {}, "\t+ B"},
        {"A ^ B", {}, "^ B"}, {"A + {note} B  ", {}, ""},
    };
    for (const Case& c : cases) {
        TStringList names(true);
        TEquationFindings f;
        CheckEquation(c.eq, names, &f);
        EXPECT_EQ(f.LoneSigns, c.loneSigns) << c.eq;
        EXPECT_EQ(f.Unread, c.unread) << c.eq;
    }
}

// The rating tables an equation reads, for a check that they exist: TABLE's names as written,
// DBTABLE's variables; each once. LSTVAL's first argument is no table.
TEST(CheckEquation, FindingsOfTheTablesRead) {
    struct Case {
        const char* eq;
        std::vector<std::string> tables;
        std::vector<std::string> tableVariables;
    };
    const Case cases[] = {
        {"TABLE(RIVER1, H) + TABLE(RIVER1, H * 2)", {"RIVER1"}, {}},
        {"TABLE( T1 , A) + TABLE(tables/T2.TBL, TABLE(T3, B))", {"T1 ", "TABLES/T2.TBL", "T3"}, {}},
        {"DBTABLE(H, H) + DBTABLE(Q) + DBTABLE(H, 1)", {}, {"H", "Q"}},
        {"LSTVAL(A, 0) + SHIFT(H) + A", {}, {}},
    };
    for (const Case& c : cases) {
        TStringList names(true);
        TEquationFindings f;
        CheckEquation(c.eq, names, &f);
        EXPECT_EQ(f.Tables, c.tables) << c.eq;
        EXPECT_EQ(f.TableVariables, c.tableVariables) << c.eq;
    }
}

}  // namespace
}  // namespace ov
