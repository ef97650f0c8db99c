// TCalcEx in a calculation's context: variables from the value cache, attribute keys sent to
// the setup server, lookup log lines, and the translation of errors by Calculate.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "calc/CalcEx.h"
#include "core/InputItems.h"
#include "core/OutputBuffer.h"
#include "core/ValueCache.h"
#include "model/CalcGroups.h"
#include "suite/SetupQuery.h"
#include "support/FakeClock.h"
#include "support/TestCalcHost.h"
#include "util/Format.h"
#include "util/TimeTag.h"

namespace ov {
namespace {

class MapSetup : public ISetupQuery {
  public:
    std::map<std::string, std::string> answers;
    std::vector<std::string> keys;
    bool QuerySetup(const std::string& key, std::string& value) override {
        keys.push_back(key);
        auto it = answers.find(key);
        if (it == answers.end() || it->second == "ERROR") return false;
        value = it->second;
        return true;
    }
};

const TTimeTag T = MakeTimeTag(2026, 12, 8, 20, 0, 0);

class CalcExTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host.Output = &output;
        calc.SetSetupQuery(&setup);
        calc.SetOutput(&output);
        calc.SetTableLookup([this](const std::string& name, double x) {
            tables.push_back(name);
            return x * 10;
        });
        single.CGIndex = 7;
        single.FuncName = "H";
        single.OutputStation = "RIVER1";
        single.OutputSensor = "Q";
        single.Variables = {"H=HG", "D=RIVER2.HG"};
        multi.CGIndex = 8;
        multi.MultiStations = true;
        multi.MultiVariables = {"H=RIVER1.HG", "N=HG"};
    }
    double Calc(const std::string& eq, TCalcGroupItem& group) {
        group.FuncName = eq;
        return calc.Calculate(item, group, cache);
    }
    std::string ErrorOf(const std::string& eq, TCalcGroupItem& group) {
        try {
            Calc(eq, group);
        } catch (const ECalcExException& e) {
            return e.what();
        }
        return "no error";
    }

    test::FakeClock clock;
    test::TestCalcHost host;
    TOutputBuffer output{host};
    TStationSensorDataCache cache{20, clock};
    MapSetup setup;
    std::vector<std::string> tables;
    TCalcEx calc{USFormatSettings()};
    TInputSensorItem item{"RIVER1", T, "C", "HG", "3.5"};
    TCalcGroupItem single, multi;
};

TEST_F(CalcExTest, VariablesFromTheCache) {
    cache.Add("RIVER1", "HG", 3.5, T);
    EXPECT_EQ(Calc("H * 2", single), 7);
    EXPECT_EQ(Calc("h + LSTVAL(H, 0)", single), 7);
    EXPECT_EQ(Calc("H", multi), 3.5);
}

TEST_F(CalcExTest, EarlierValues) {
    // Two earlier values: single-station groups refuse them (1605), multiple-station groups
    // take the latest.
    cache.Add("RIVER1", "HG", 1.0, T - 1800);
    cache.Add("RIVER1", "HG", 2.0, T - 900);
    EXPECT_EQ(ErrorOf("H", single),
              "Error 1605: Variable not updated - PollGroup: 7  StationID: RIVER1  SensorName: HG  "
              "TimeTag: " +
                  TimeTagText(T - 900));
    EXPECT_EQ(ErrorOf("LSTVAL(H, 0)", single),
              "Variable not updated - PollGroup: 7 StaitonID: RIVER1 SensorName: HG TimeTag: " +
                  TimeTagText(T - 900));
    EXPECT_EQ(Calc("H", multi), 2.0);
}

TEST_F(CalcExTest, MissingValuesAndBindings) {
    cache.Add("RIVER1", "HG", 1.0, T - 900);  // one earlier value is not enough
    const std::string e1604 =
        "Error 1604: Variable not found or never updated - PollGroup: 7  StationID: RIVER1  "
        "SensorName: HG";
    EXPECT_EQ(ErrorOf("H", single), e1604);
    EXPECT_EQ(
        ErrorOf("LSTVAL(H, 0)", single),
        "Variable not found or never updated - PollGroup: 7 StaitonID: RIVER1 SensorName: HG");
    EXPECT_EQ(ErrorOf("X", single), "Error 1603: Variable not found in poll group 7");
    EXPECT_EQ(ErrorOf("SHIFT(X)", single), "Error 1603: Variable not found in poll group 7");
    EXPECT_EQ(ErrorOf("LSTVAL(X, 0)", single), "Variable not found in poll group 7");
    // A multiple-station binding without "." is a station with an empty sensor.
    EXPECT_EQ(ErrorOf("N", multi),
              "Error 1604: Variable not found or never updated - PollGroup: 8  StationID: HG  "
              "SensorName: ");
    // A dotted single-station binding is a sensor name of the record's station.
    EXPECT_EQ(ErrorOf("D", single),
              "Error 1604: Variable not found or never updated - PollGroup: 7  StationID: RIVER1  "
              "SensorName: RIVER2.HG");
}

TEST_F(CalcExTest, NullValueReplacesOnlyMissingVariables) {
    EXPECT_EQ(ErrorOf("H", single).rfind("Error 1604", 0), 0u);  // the defaults: not used
    calc.SetNullValueSettings({true, true, 998877});
    EXPECT_EQ(Calc("H + 1", single), 998877);
    EXPECT_EQ(ErrorOf("LSTVAL(H, 0)", single).rfind("Variable not found or never updated", 0), 0u);
    EXPECT_EQ(ErrorOf("X", single), "Error 1603: Variable not found in poll group 7");
    calc.SetNullValueSettings({true, false, 998877});
    EXPECT_EQ(ErrorOf("H", single).rfind("Error 1604", 0), 0u);
    calc.SetNullValueSettings({false, true, 998877});
    EXPECT_EQ(ErrorOf("H", single).rfind("Error 1604", 0), 0u);
}

TEST_F(CalcExTest, AttributeKeys) {
    struct Case {
        const char* eq;
        const char* key;
    };
    const Case cases[] = {
        {"SHIFT(H)", "SENSOR:RIVER1:HG,SHIFT"},
        {"OFFSET(H)", "SENSOR:RIVER1:HG,OFFSET"},
        {"ELEV(H)", "STATION:RIVER1,ELEVATION"},
        {"STN_COEFF(H)", "STATION:RIVER1,COEFFICIENT0"},
        {"STN_COEFF(H, 2.7)", "STATION:RIVER1,COEFFICIENT2"},
        {"STN_COEFF(H, -0.5)", "STATION:RIVER1,COEFFICIENT-1"},
        {"SNS_COEFF(H, 2)", "SENSOR:RIVER1:HG,COEFFICIENT2"},
        {"STN_GPN(H, 3)", "STATION:RIVER1,GPNUMBER3"},
        {"SNS_GPN(H, 4)", "SENSOR:RIVER1:HG,GPNUMBER4"},
        {"DBTABLE(H, 1)", "SENSOR:RIVER1:HG,RATINGTABLE"},
        {"SHIFT(D)", "SENSOR:RIVER2:HG,SHIFT"},  // a dotted binding names its own station
    };
    for (const Case& c : cases) {
        setup.keys.clear();
        EXPECT_EQ(Calc(c.eq, single), 0) << c.eq;  // no answer: the attribute is 0
        EXPECT_EQ(setup.keys, std::vector<std::string>{c.key}) << c.eq;
    }
    setup.keys.clear();
    Calc("SHIFT(H)", multi);
    EXPECT_EQ(setup.keys, std::vector<std::string>{"SENSOR:RIVER1:HG,SHIFT"});
}

TEST_F(CalcExTest, AttributeAnswers) {
    setup.answers = {{"SENSOR:RIVER1:HG,SHIFT", "0.25"},
                     {"SENSOR:RIVER1:HG,OFFSET", "ERROR"},
                     {"STATION:RIVER1,ELEVATION", "abc"},
                     {"STATION:RIVER1,COEFFICIENT0", ""},
                     {"SENSOR:RIVER1:HG,RATINGTABLE", "C:\\TABLES\\RIVER1.TBL"}};
    EXPECT_EQ(Calc("SHIFT(H)", single), 0.25);
    EXPECT_EQ(Calc("OFFSET(H)", single), 0);
    EXPECT_EQ(ErrorOf("ELEV(H)", single), "'abc' is not a valid floating point value");
    EXPECT_EQ(ErrorOf("STN_COEFF(H)", single), "'' is not a valid floating point value");
    EXPECT_EQ(Calc("DBTABLE(H, 2)", single), 20);
    EXPECT_EQ(tables, std::vector<std::string>{"RIVER1"});
    EXPECT_EQ(Calc("TABLE(T1, 3)", single), 30);
    EXPECT_EQ(tables.back(), "T1");
}

TEST_F(CalcExTest, LookupLogLinesAboveLevelFour) {
    cache.Add("RIVER1", "HG", 3.5, T);
    setup.answers["SENSOR:RIVER1:HG,SHIFT"] = "0.5";
    calc.SetLogLevel(4);
    Calc("H + SHIFT(H)", single);
    EXPECT_TRUE(host.Texts().empty());
    calc.SetLogLevel(5);
    Calc("H + SHIFT(H)", single);
    EXPECT_EQ(host.Texts(),
              (std::vector<std::string>{"Lookup - Variable: H = 3.5 @ " + TimeTagText(T),
                                        "Lookup - DB Attributes0 : H = 0.5"}));
    // A failed lookup writes no line.
    Calc("1", single);
    EXPECT_THROW(Calc("X", single), ECalcExException);
    EXPECT_TRUE(host.Texts().size() == 2);
}

TEST_F(CalcExTest, ArithmeticFaultsBecomeCalculationErrors) {
    EXPECT_EQ(ErrorOf("LN(0)", single), "Floating point division by zero");
    EXPECT_EQ(ErrorOf("7/0", single), "Error 1612: Divide by Zero.");
    TCalcEx plain;
    double v;
    EXPECT_THROW(plain.GetVariable("A", v), ECalcExException);
    EXPECT_THROW(plain.Evaluate("1", 0), ECalcExException);
    TStringList names(true);
    plain.GetVariables("b + A + LSTVAL(C, 1)", names);
    EXPECT_EQ(names.Items(), (std::vector<std::string>{"A", "B"}));
}

TEST(TableNameOfFile, FolderAndExtensionGo) {
    EXPECT_EQ(TableNameOfFile("C:\\TABLES\\RIVER1.TBL"), "RIVER1");
    EXPECT_EQ(TableNameOfFile("/srv/tables/river.a.tbl"), "river.a");
    EXPECT_EQ(TableNameOfFile("D:RIVER2"), "RIVER2");
    EXPECT_EQ(TableNameOfFile("PLAIN"), "PLAIN");
}

}  // namespace
}  // namespace ov
