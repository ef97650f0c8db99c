// Tests of the configuration file: reading the settings and groups, the list encodings,
// writing everything back around foreign content, errors and the window placement.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/ConfigFile.h"
#include "support/ScratchFolder.h"

namespace ov {
namespace {

using test::ReadFileText;
using test::ScratchFolder;
using test::WriteFileText;

struct ConfigFixture : ::testing::Test {
    ScratchFolder dir;
    std::vector<std::string> log;
    TConfigFile config{[this](const std::string& line) { log.push_back(line); },
                       USFormatSettings()};

    std::filesystem::path File() const { return dir / "OVCalc.OVG"; }

    // Writes text as the folder's file, opens it and reads it.
    void Read(const std::string& text, TConfigSettings& settings, TCalcGroups& groups) {
        WriteFileText(File(), text);
        config.OpenConfig(dir.Path());
        config.ReadConfig(settings, groups);
    }
};

void ExpectSameGroup(const TCalcGroupItem& a, const TCalcGroupItem& b) {
    EXPECT_EQ(a.GroupName, b.GroupName);
    EXPECT_EQ(a.CGIndex, b.CGIndex);
    EXPECT_EQ(a.FuncName, b.FuncName);
    EXPECT_EQ(a.Enabled, b.Enabled);
    EXPECT_EQ(a.MultiStations, b.MultiStations);
    EXPECT_EQ(a.Filter, b.Filter);
    EXPECT_EQ(a.OutputStation, b.OutputStation);
    EXPECT_EQ(a.OutputSensor, b.OutputSensor);
    EXPECT_EQ(a.Variables, b.Variables);
    EXPECT_EQ(a.SimilarStations, b.SimilarStations);
    EXPECT_EQ(a.MultiVariables, b.MultiVariables);
    EXPECT_EQ(a.MultiVariablesTrigger, b.MultiVariablesTrigger);
}

TEST_F(ConfigFixture, FileWithoutCalcGivesDefaults) {
    TConfigSettings settings;
    settings.LogDetail = 6;  // not the default: LogDetail defaults to 0, the delay to itself
    TCalcGroups groups;
    Read("[Other]\nLogDetail=4\n", settings, groups);
    EXPECT_EQ(settings.LogDetail, 0);
    EXPECT_DOUBLE_EQ(settings.ScheduleDelay, 1.0 / 1440);
    EXPECT_EQ(groups.Count(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"Startup parameters loaded."}));
}

TEST_F(ConfigFixture, MissingFileReadsEmptyAndIsCreatedByTheWrite) {
    TConfigSettings settings;
    settings.ScheduleDelay = 0.25;
    TCalcGroups groups;
    config.OpenConfig(dir.Path());
    config.ReadConfig(settings, groups);
    EXPECT_DOUBLE_EQ(settings.ScheduleDelay, 0.25);
    EXPECT_FALSE(std::filesystem::exists(File()));
    EXPECT_EQ(log.back(), "Startup parameters loaded.");
    config.WriteConfig(settings, groups);
    EXPECT_EQ(ReadFileText(File()), "[Calc]\nLogDetail=0\nScheduleDelay=0.25\nGroupNames=\n");
}

TEST_F(ConfigFixture, SettingsEncodings) {
    struct Case {
        const char* logDetail;
        const char* delay;
        std::int32_t expectedLog;
        double expectedDelay;
    };
    const Case cases[] = {
        {"3", "0.05", 3, 0.05},    {"0x0A", "0.000694444444444444", 10, 0.000694444444444444},
        {"ten", "soon", 0, 0.125},                            // unreadable: the defaults
        {"", "", 0, 0.125},        {"4.5", "0,5", 0, 0.125},  // the user's separator here is "."
    };
    for (const Case& c : cases) {
        TConfigSettings settings;
        settings.ScheduleDelay = 0.125;
        TCalcGroups groups;
        Read("[Calc]\nLogDetail=" + std::string(c.logDetail) + "\nScheduleDelay=" + c.delay + "\n",
             settings, groups);
        EXPECT_EQ(settings.LogDetail, c.expectedLog) << c.logDetail;
        EXPECT_DOUBLE_EQ(settings.ScheduleDelay, c.expectedDelay) << c.delay;
    }
}

TEST_F(ConfigFixture, GroupNamesList) {
    struct Case {
        std::string names;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"CalcGroup:1,CalcGroup:2", {"CalcGroup:1", "CalcGroup:2"}},
        {"CalcGroup:1,CalcGroup:2,", {"CalcGroup:1", "CalcGroup:2"}},  // trailing comma: nothing
        {"A,,B", {"A", "", "B"}},  // an empty element reads the section with the empty name
        {",A", {"", "A"}},
        {"One", {"One"}},
        {"", {}},
        {"A, B", {"A", " B"}},              // blanks belong to the element
        {std::string("A\0B,C", 5), {"A"}},  // a NUL ends the text
    };
    for (const Case& c : cases) {
        TConfigSettings settings;
        TCalcGroups groups;
        Read("[Calc]\nGroupNames=" + c.names + "\n[A]\nCGIndex=7\n[]\nCGIndex=8\n", settings,
             groups);
        std::vector<std::string> got;
        for (std::int32_t i = 0; i < groups.Count(); ++i) got.push_back(groups.Items(i)->GroupName);
        EXPECT_EQ(got, c.expected) << c.names;
        for (std::int32_t i = 0; i < groups.Count(); ++i) {
            const TCalcGroupItem& g = *groups.Items(i);
            EXPECT_EQ(g.CGIndex, g.GroupName == "A"    ? 7
                                 : g.GroupName.empty() ? 8
                                                       : 0)
                << g.GroupName;
        }
    }
}

TEST_F(ConfigFixture, ReadsAGroupSection) {
    TConfigSettings settings;
    TCalcGroups groups;
    Read(
        "[Calc]\n"
        "GroupNames=calcgroup:1,Missing,Flags,Multi\n"
        "[CalcGroup:1]\n"
        "CGIndex=1\n"
        "FuncName=SQRT(H*2.5) + TABLE(RIVER1, H)\n"
        "Enabled=2\n"
        "MultiStations=yes\n"
        "Filter=north.flt\n"
        "OutputStation=RIVER1\n"
        "OutputSensor=Q\n"
        "VariablesName=A,B,X\n"
        "VariablesValue=LEVEL,.\n"
        "SimilarStations=RIVER2,RIVER3,\n"
        "MultiVariablesTrigger=junk\n"
        "[Flags]\n"
        "Enabled=yes\n"
        "MultiStations=0x1\n"
        "[Multi]\n"
        "MultiStations=1\n"
        "MultiVariablesName=H1,H2,H3\n"
        "MultiVariablesValue=RIVER1.HG,.,RIVER2.HG=X\n"
        "MultiVariablesTrigger=2\n"
        "VariablesName=\n"
        "VariablesValue=LEVEL\n",
        settings, groups);
    ASSERT_EQ(groups.Count(), 4);

    const TCalcGroupItem& g = *groups.Items(0);
    EXPECT_EQ(g.GroupName, "calcgroup:1");  // the name as listed; the section matched anyway
    EXPECT_EQ(g.CGIndex, 1);
    EXPECT_EQ(g.FuncName, "SQRT(H*2.5) + TABLE(RIVER1, H)");
    EXPECT_TRUE(g.Enabled);         // 2 is true
    EXPECT_FALSE(g.MultiStations);  // "yes" is no integer: the default
    EXPECT_EQ(g.Filter, "north.flt");
    EXPECT_EQ(g.OutputStation, "RIVER1");
    EXPECT_EQ(g.OutputSensor, "Q");
    EXPECT_EQ(g.Variables, (std::vector<std::string>{"A=LEVEL", "B="}));  // X is dropped
    EXPECT_EQ(g.SimilarStations, (std::vector<std::string>{"RIVER2", "RIVER3"}));
    EXPECT_TRUE(g.MultiVariables.empty());
    EXPECT_EQ(g.MultiVariablesTrigger, -1);

    // A section named in the list but absent from the file: every default, but disabled.
    const TCalcGroupItem& missing = *groups.Items(1);
    EXPECT_EQ(missing.GroupName, "Missing");
    EXPECT_FALSE(missing.Enabled);
    EXPECT_EQ(missing.FuncName, "");
    EXPECT_EQ(missing.CGIndex, 0);
    EXPECT_EQ(missing.MultiVariablesTrigger, -1);

    const TCalcGroupItem& flags = *groups.Items(2);
    EXPECT_TRUE(flags.Enabled);  // "yes" keeps the default, true
    EXPECT_TRUE(flags.MultiStations);

    const TCalcGroupItem& multi = *groups.Items(3);
    EXPECT_TRUE(multi.MultiStations);
    EXPECT_EQ(multi.MultiVariables,
              (std::vector<std::string>{"H1=RIVER1.HG", "H2=", "H3=RIVER2.HG=X"}));
    EXPECT_EQ(multi.MultiVariablesTrigger, 2);
    EXPECT_TRUE(multi.Variables.empty());  // an empty names text reads no entries
}

TEST_F(ConfigFixture, WritesTheGroupFormat) {
    config.OpenConfig(dir.Path());
    TCalcGroups groups;
    auto g = std::make_unique<TCalcGroupItem>();
    g->GroupName = "CalcGroup:3";
    g->CGIndex = 3;
    g->FuncName = "A+B";
    g->OutputStation = "RIVER1";
    g->OutputSensor = "Q";
    g->Variables = {"A=LEVEL", "B="};
    groups.Add(std::move(g));
    TConfigSettings settings;
    settings.LogDetail = 2;
    EXPECT_TRUE(config.WriteConfig(settings, groups));
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_EQ(ReadFileText(File()),
              "[Calc]\n"
              "LogDetail=2\n"
              "ScheduleDelay=0.000694444444444444\n"
              "GroupNames=CalcGroup:3\n"
              "\n"
              "[CalcGroup:3]\n"
              "CGIndex=3\n"
              "FuncName=A+B\n"
              "Enabled=1\n"
              "MultiStations=0\n"
              "Filter=\n"
              "OutputStation=RIVER1\n"
              "OutputSensor=Q\n"
              "VariablesName=A,B\n"
              "VariablesValue=LEVEL,.\n"
              "SimilarStations=\n"
              "MultiVariablesName=\n"
              "MultiVariablesValue=\n"
              "MultiVariablesTrigger=-1\n");
}

TEST_F(ConfigFixture, WrittenFileReadsBackTheSameGroupsAndKeepsForeignContent) {
    const std::string foreign =
        "; kept by hand\n"
        "[Foreign]\n"
        "Key=Value with = sign\n"
        "\n"
        "[Calc]\n"
        "LogDetail=1\n"
        "GroupNames=Old,Deleted\n"
        "Note=not ours\n"
        "\n"
        "[Deleted]\n"
        "CGIndex=9\n"
        "FuncName=OLD\n"
        "\n"
        "[Old]\n"
        "CGIndex=1\n"
        "FuncName=X\n"
        "Comment=a key the program does not know\n";
    WriteFileText(File(), foreign);
    TConfigSettings settings;
    TCalcGroups groups;
    config.OpenConfig(dir.Path());
    config.ReadConfig(settings, groups);
    ASSERT_EQ(groups.Count(), 2);
    groups.DeleteAt(1);  // "Deleted" goes; its section stays in the file

    auto single = std::make_unique<TCalcGroupItem>();
    single->GroupName = "CalcGroup:2";
    single->CGIndex = 2;
    single->FuncName = "H*2 + {note} 1";
    single->Enabled = false;
    single->Filter = "/home/user/filters/north.flt";
    single->OutputStation = "RIVER1";
    single->OutputSensor = "Q";
    single->Variables = {"H=", "B=LEVEL", "C="};
    single->SimilarStations = {"RIVER2", "RIVER 3"};
    groups.Add(std::move(single));

    auto multi = std::make_unique<TCalcGroupItem>();
    multi->GroupName = "CalcGroup:3";
    multi->CGIndex = 3;
    multi->FuncName = "A-B";
    multi->MultiStations = true;
    multi->OutputStation = "LAKE";
    multi->OutputSensor = "DIFF";
    multi->MultiVariables = {"A=RIVER1.HG", "B=", "C=LAKE.HG"};
    multi->MultiVariablesTrigger = 2;
    groups.Add(std::move(multi));

    groups.Items(0)->FuncName = "X+1";

    settings.LogDetail = 7;
    settings.ScheduleDelay = 2.5 / 1440;
    config.WriteConfig(settings, groups);
    EXPECT_TRUE(log.size() == 1) << log.back();
    config.WriteWindowPlacement(TWindowPlacement{10, 20, 800, 600});
    EXPECT_FALSE(config.IsOpen());
    const std::string written = ReadFileText(File());

    // Everything that is not ours survives, in place.
    for (const char* kept :
         {"; kept by hand\n[Foreign]\nKey=Value with = sign\n\n[Calc]\n", "Note=not ours\n",
          "[Deleted]\nCGIndex=9\nFuncName=OLD\n", "Comment=a key the program does not know\n"})
        EXPECT_NE(written.find(kept), std::string::npos) << kept << "\n---\n" << written;
    EXPECT_NE(written.find("GroupNames=Old,CalcGroup:2,CalcGroup:3\n"), std::string::npos);
    EXPECT_NE(written.find("VariablesValue=.,LEVEL,.\n"), std::string::npos);

    TConfigFile again([this](const std::string& line) { log.push_back(line); }, USFormatSettings());
    again.OpenConfig(dir.Path());
    TConfigSettings readSettings;
    TCalcGroups readGroups;
    again.ReadConfig(readSettings, readGroups);
    EXPECT_EQ(readSettings.LogDetail, 7);
    EXPECT_NEAR(readSettings.ScheduleDelay, 2.5 / 1440, 1e-16);
    ASSERT_EQ(readGroups.Count(), groups.Count());
    for (std::int32_t i = 0; i < groups.Count(); ++i)
        ExpectSameGroup(*readGroups.Items(i), *groups.Items(i));
    const TWindowPlacement p = again.ReadWindowPlacement(TWindowPlacement{});
    EXPECT_EQ(p.Left, 10);
    EXPECT_EQ(p.Top, 20);
    EXPECT_EQ(p.Width, 800);
    EXPECT_EQ(p.Height, 600);

    // Writing what was read changes nothing.
    again.WriteConfig(readSettings, readGroups);
    again.CloseConfig();
    EXPECT_EQ(ReadFileText(File()), written);
}

TEST_F(ConfigFixture, AGroupWithAnOldNameOverwritesEveryKey) {
    WriteFileText(File(),
                  "[Calc]\nGroupNames=\n"
                  "[CalcGroup:1]\nCGIndex=1\nFuncName=OLD\nEnabled=0\nMultiStations=1\n"
                  "Filter=old.flt\nOutputStation=S\nOutputSensor=T\nVariablesName=A\n"
                  "VariablesValue=B\nSimilarStations=X\nMultiVariablesName=M\n"
                  "MultiVariablesValue=S.T\nMultiVariablesTrigger=0\n");
    config.OpenConfig(dir.Path());
    TCalcGroups groups;
    auto g = std::make_unique<TCalcGroupItem>();
    g->GroupName = "CalcGroup:1";
    g->CGIndex = 5;
    groups.Add(std::move(g));
    config.WriteConfig(TConfigSettings{}, groups);

    TConfigFile again(nullptr, USFormatSettings());
    again.OpenConfig(dir.Path());
    TConfigSettings settings;
    TCalcGroups read;
    again.ReadConfig(settings, read);
    ASSERT_EQ(read.Count(), 1);
    TCalcGroupItem expected;
    expected.GroupName = "CalcGroup:1";
    expected.CGIndex = 5;
    ExpectSameGroup(*read.Items(0), expected);
}

TEST_F(ConfigFixture, DecimalSeparatorOfTheUser) {
    TFormatSettings comma;
    comma.DecimalSeparator = ',';
    TConfigFile commaConfig(nullptr, comma);
    commaConfig.OpenConfig(dir.Path());
    TConfigSettings settings;
    TCalcGroups groups;
    commaConfig.WriteConfig(settings, groups);
    EXPECT_NE(ReadFileText(File()).find("ScheduleDelay=0,000694444444444444\n"), std::string::npos);
    TConfigSettings read;
    read.ScheduleDelay = 9;
    commaConfig.ReadConfig(read, groups);
    EXPECT_NEAR(read.ScheduleDelay, 1.0 / 1440, 1e-18);
}

TEST_F(ConfigFixture, FileNameIsFoundWithoutRegardToCase) {
    WriteFileText(dir / "ovcalc.ovg", "[Calc]\nLogDetail=5\n");
    TConfigSettings settings;
    TCalcGroups groups;
    config.OpenConfig(dir.Path());
    EXPECT_EQ(config.FilePath(), dir / "ovcalc.ovg");
    config.ReadConfig(settings, groups);
    EXPECT_EQ(settings.LogDetail, 5);
    settings.LogDetail = 6;
    config.WriteConfig(settings, groups);
    EXPECT_FALSE(std::filesystem::exists(dir / "OVCalc.OVG"));
    EXPECT_NE(ReadFileText(dir / "ovcalc.ovg").find("LogDetail=6"), std::string::npos);
}

TEST_F(ConfigFixture, UnreadableFileIsReportedAndNeverReplaced) {
    std::filesystem::create_directory(File());  // exists, but cannot be read as a file
    EXPECT_THROW(config.OpenConfig(dir.Path()), EIniFileError);
    EXPECT_FALSE(config.IsOpen());
    TConfigSettings settings;
    TCalcGroups groups;
    config.ReadConfig(settings, groups);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Error 1600: Cannot read \"" + File().string() + "\": ", 0), 0u)
        << log[0];
    auto g = std::make_unique<TCalcGroupItem>();
    g->GroupName = "G";
    groups.Add(std::move(g));
    config.WriteConfig(settings, groups);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1], log[0]);
    EXPECT_TRUE(std::filesystem::is_directory(File()));
    EXPECT_EQ(config.ReadWindowPlacement(TWindowPlacement{1, 2, 3, 4}).Width, 3);
    EXPECT_THROW(config.WriteWindowPlacement(TWindowPlacement{}), EIniFileError);
}

TEST_F(ConfigFixture, FailedWriteIsReportedAndRetriedAtClose) {
    const auto folder = dir / "gone";
    std::filesystem::create_directory(folder);
    WriteFileText(folder / "OVCalc.OVG", "[Calc]\nLogDetail=1\n");
    config.OpenConfig(folder);
    std::filesystem::remove_all(folder);

    TConfigSettings settings;
    settings.LogDetail = 4;
    TCalcGroups groups;
    EXPECT_FALSE(config.WriteConfig(settings, groups));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Error 1600: Cannot write \"" + (folder / "OVCalc.OVG").string(), 0), 0u)
        << log[0];
    EXPECT_NE(log[0].find("; the file keeps its previous content"), std::string::npos) << log[0];

    // The lines are complete in memory, so the placement write at close can still save them.
    std::filesystem::create_directory(folder);
    config.WriteWindowPlacement(TWindowPlacement{});
    EXPECT_NE(ReadFileText(folder / "OVCalc.OVG").find("LogDetail=4"), std::string::npos);
}

// Settings that cannot be used as written are refused with a line naming the key and the
// value, the default is used, and the line stays as written while that default is in use.
TEST_F(ConfigFixture, RefusedSettingsAreReportedAndKeptAsWritten) {
    const std::string delayRange =
        " is not a delay from 0 to 0.125 days (3 hours, as long as the values are kept for the "
        "calculations); the delay stays 0.000694444444444444 days";
    const std::string notANumber = " is not a number; the delay stays 0.000694444444444444 days";
    const std::string level =
        " is not a whole number from -2147483648 to 2147483647; the log detail is 0";
    struct Case {
        const char* logDetail;
        const char* delay;
        std::int32_t expectedLog;
        double expectedDelay;
        std::vector<std::string> log;  // before "Startup parameters loaded."
    };
    const double minute = 1.0 / 1440;
    const Case cases[] = {
        {"2",
         "1e308",
         2,
         minute,
         {"Error 1600: OVCalc.OVG line 3: ScheduleDelay=1e308" + delayRange}},
        {"2",
         "-0.001",
         2,
         minute,
         {"Error 1600: OVCalc.OVG line 3: ScheduleDelay=-0.001" + delayRange}},
        {"2", "0.5", 2, minute, {"Error 1600: OVCalc.OVG line 3: ScheduleDelay=0.5" + delayRange}},
        {"2", "inf", 2, minute, {"Error 1600: OVCalc.OVG line 3: ScheduleDelay=inf" + notANumber}},
        {"2", "nan", 2, minute, {"Error 1600: OVCalc.OVG line 3: ScheduleDelay=nan" + notANumber}},
        {"2",
         "1e400",
         2,
         minute,
         {"Error 1600: OVCalc.OVG line 3: ScheduleDelay=1e400" + notANumber}},
        {"2",
         "soon",
         2,
         minute,
         {"Error 1600: OVCalc.OVG line 3: ScheduleDelay=soon" + notANumber}},
        {"99999999999999999999",
         "0.125",
         0,
         0.125,
         {"Error 1600: OVCalc.OVG line 2: LogDetail=99999999999999999999" + level}},
        {"-2147483649",
         "0",
         0,
         0,
         {"Error 1600: OVCalc.OVG line 2: LogDetail=-2147483649" + level}},
        {"2147483647", "0.01", 2147483647, 0.01, {}},
        {"12", "0.000694444444444444", 12, 0.000694444444444444, {}},  // 12: as high as 10
        {"0x10", "0", 16, 0, {}},                                      // kept as written, too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.logDetail) + " " + c.delay);
        log.clear();
        TConfigSettings settings;
        TCalcGroups groups;
        const std::string text = "[Calc]\nLogDetail=" + std::string(c.logDetail) +
                                 "\nScheduleDelay=" + c.delay + "\nGroupNames=\n";
        Read(text, settings, groups);
        EXPECT_EQ(settings.LogDetail, c.expectedLog);
        EXPECT_DOUBLE_EQ(settings.ScheduleDelay, c.expectedDelay);
        std::vector<std::string> expected = c.log;
        expected.push_back("Startup parameters loaded.");
        EXPECT_EQ(log, expected);

        // Written back unchanged, what the user wrote stays; a new delay replaces it.
        EXPECT_TRUE(config.WriteConfig(settings, groups));
        EXPECT_EQ(ReadFileText(File()), text);
        settings.ScheduleDelay = 2.0 / 1440;
        EXPECT_TRUE(config.WriteConfig(settings, groups));
        EXPECT_NE(ReadFileText(File()).find("ScheduleDelay=0.00138888888888889\n"),
                  std::string::npos);
        settings.ScheduleDelay = minute;  // and the first start's delay is written as well
        EXPECT_TRUE(config.WriteConfig(settings, groups));
        EXPECT_NE(ReadFileText(File()).find("ScheduleDelay=0.000694444444444444\n"),
                  std::string::npos);
    }
}

// A file edited by hand or cut short: every line of it that is not read as written is
// reported at load, and nothing of it is lost when the groups are written back.
std::string Repeated(const std::string& part, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += part;
    return text;
}
const std::string LongEquation = Repeated("A+", 4096) + "B";  // 8193 characters
const std::string HandEdited =
    "key=before any section\n"
    "[Calc]\n"
    "LogDetail=99999999999999999999\n"
    "ScheduleDelay=1e308\n"
    "GroupNames=G1,G2,Gone,g1,Multi\n"
    "junk line without equals\n"
    "[G1]\n"
    "CGIndex=99999999999\n"
    "FuncName=A+B\n"
    "Enabled=7\n"
    "MultiStations=yes\n"
    "VariablesName=A,B,X,Y\n"
    "VariablesValue=LEVEL,.\n"
    "FuncName=A-B\n"
    "[G2]\n"
    "CGIndex=1000\n"
    "FuncName=" +
    LongEquation +
    "\n"
    "MultiVariablesTrigger=2147483648\n"
    "[Multi]\n"
    "CGIndex=5\n"
    "MultiStations=1\n"
    "MultiVariablesName=H1\n"
    "MultiVariablesValue=R1.HG,R2.HG\n"
    "MultiVariablesTrigger=0\n"
    "[g1]\n"
    "CGIndex=3\n";

// True when every line of before stands in after, in the same order.
bool KeepsEveryLine(const std::string& before, const std::string& after) {
    std::size_t from = 0;
    std::size_t begin = 0;
    while (begin < before.size()) {
        const std::size_t end = before.find('\n', begin);
        const std::string line = before.substr(begin, end - begin + 1);
        const std::size_t at = from == 0 && after.compare(0, line.size(), line) == 0
                                   ? 0
                                   : after.find("\n" + line, from == 0 ? 0 : from - 1);
        if (at == std::string::npos) return false;
        from = (at == 0 && after.compare(0, line.size(), line) == 0 ? 0 : at + 1) + line.size();
        begin = end + 1;
    }
    return true;
}

TEST_F(ConfigFixture, WhatIsNotReadAsWrittenIsReportedAtLoad) {
    TConfigSettings settings;
    TCalcGroups groups;
    Read(HandEdited, settings, groups);
    const std::string e = "Error 1600: OVCalc.OVG line ";
    const std::string keeps =
        "; the file keeps it as written while the group's variables are "
        "not changed";
    EXPECT_EQ(
        log,
        (std::vector<std::string>{
            e + "1: \"key=before any section\" stands before the first [section] and is not read",
            e + "6: \"junk line without equals\" is no [section], key=value line or ; comment, and "
                "is not read",
            e + "14: FuncName appears again in [G1] (first on line 9); only the first is read",
            e + "25: section [g1] appears again (first on line 7); only the first is read",
            e + "3: LogDetail=99999999999999999999 is not a whole number from -2147483648 to "
                "2147483647; the log detail is 0",
            e + "4: ScheduleDelay=1e308 is not a delay from 0 to 0.125 days (3 hours, as long as "
                "the "
                "values are kept for the calculations); the delay stays 0.000694444444444444 days",
            e + "8: [G1] CGIndex=99999999999 is not a group number from 1 to 999; the group's "
                "number is 0",
            e + "10: [G1] Enabled=7 is not 0 or 1; it reads as 1",
            e + "11: [G1] MultiStations=yes is not 0 or 1; it reads as 0",
            e +
                "12: [G1] VariablesName has 4 names but VariablesValue 2 values: the names X and Y "
                "have no value and are not read" +
                keeps,
            e + "16: [G2] CGIndex=1000 is not a group number from 1 to 999",
            e + "17: [G2] FuncName has 8193 characters, more than the 8192 an equation may have",
            e + "18: [G2] MultiVariablesTrigger=2147483648 is not a whole number from -2147483648 "
                "to 2147483647; it reads as -1",
            e + "5: GroupNames names Gone, but there is no section [Gone]: the group is kept "
                "disabled, without an equation, and no section is written for it",
            e + "5: GroupNames names g1 more than once: its group is calculated once for each",
            e +
                "22: [Multi] MultiVariablesName has 1 name but MultiVariablesValue 2 values: the "
                "value R2.HG has no name and is not read" +
                keeps,
            "Startup parameters loaded.",
        }));
    ASSERT_EQ(groups.Count(), 5);
    const TCalcGroupItem& gone = *groups.Items(2);
    EXPECT_EQ(gone.GroupName, "Gone");
    EXPECT_FALSE(gone.Enabled);  // never calculated as an empty group
    EXPECT_EQ(groups.Items(0)->Variables, (std::vector<std::string>{"A=LEVEL", "B="}));
    EXPECT_EQ(groups.Items(1)->FuncName, LongEquation);

    // Written back unchanged: every line the user wrote stays where it was (missing keys of
    // the groups are added), no section is made up for Gone, and a second write is the same.
    log.clear();
    ASSERT_TRUE(config.WriteConfig(settings, groups));
    const std::string written = ReadFileText(File());
    EXPECT_TRUE(KeepsEveryLine(HandEdited, written)) << written;
    EXPECT_EQ(written.find("[Gone]"), std::string::npos);
    EXPECT_TRUE(log.empty());
    ASSERT_TRUE(config.WriteConfig(settings, groups));
    EXPECT_EQ(ReadFileText(File()), written);

    // Read again, the same groups and the same reports.
    std::vector<std::string> first = log;
    TConfigFile again([&](const std::string& line) { first.push_back(line); }, USFormatSettings());
    again.OpenConfig(dir.Path());
    TConfigSettings settings2;
    TCalcGroups groups2;
    again.ReadConfig(settings2, groups2);
    ASSERT_EQ(groups2.Count(), groups.Count());
    for (std::int32_t i = 0; i < groups.Count(); ++i)
        ExpectSameGroup(*groups2.Items(i), *groups.Items(i));
    EXPECT_EQ(first.size(), 17u);

    // What is changed is written; what is not stays as the user wrote it.
    groups.DeleteAt(3);  // G1's second listing, which would write the same section again
    TCalcGroupItem& g1 = *groups.Items(0);
    g1.Enabled = false;
    groups.Items(2)->FuncName = "X+1";  // Gone, edited: now it has a section of its own
    groups.Items(2)->CGIndex = 9;
    ASSERT_TRUE(config.WriteConfig(settings, groups));
    std::string changed = ReadFileText(File());
    EXPECT_NE(changed.find("\nEnabled=0\nMultiStations=yes\nVariablesName=A,B,X,Y\n"),
              std::string::npos)
        << changed;
    EXPECT_NE(changed.find("[Gone]\nCGIndex=9\nFuncName=X+1\nEnabled=0\n"), std::string::npos)
        << changed;
    g1.Enabled = true;  // and back: written again, not taken for the old 7
    g1.Variables.push_back("Z=S");
    ASSERT_TRUE(config.WriteConfig(settings, groups));
    changed = ReadFileText(File());
    EXPECT_NE(changed.find("\nEnabled=1\nMultiStations=yes\nVariablesName=A,B,Z\n"
                           "VariablesValue=LEVEL,.,S\n"),
              std::string::npos)
        << changed;
}

TEST_F(ConfigFixture, BinaryJunkIsReportedNotTakenForSettings) {
    std::string junk =
        "\x7F"
        "ELF\x02\x01\x01";
    junk += std::string(3, '\0');
    for (int i = 0; i < 40; ++i) junk += "\x01\x02 junk " + std::to_string(i) + " \xFF\n";
    TConfigSettings settings;
    TCalcGroups groups;
    Read(junk, settings, groups);
    ASSERT_EQ(log.size(), 22u);  // the zero byte and 19 lines, how many more, loaded
    EXPECT_EQ(log[0], "Error 1600: OVCalc.OVG is not a text file (a zero byte at offset 7)");
    EXPECT_EQ(log[1],
              "Error 1600: OVCalc.OVG line 1: \"\\x7FELF\\x02\\x01\\x01\\x00\\x00\\x00\\x01"
              "\\x02 junk 0 \xFF\" is no [section], key=value line or ; comment, and is "
              "not read");
    EXPECT_EQ(log[20], "Error 1600: OVCalc.OVG has 21 more lines that are not read as written");
    EXPECT_EQ(log[21], "Startup parameters loaded.");
    EXPECT_EQ(groups.Count(), 0);
    // Nothing of it is lost at the write either.
    ASSERT_TRUE(config.WriteConfig(settings, groups));
    EXPECT_EQ(ReadFileText(File()).rfind(junk, 0), 0u);
}

// A file of a thousand groups with bad numbers: the first findings are said, the rest counted in
// one line, and every group is read all the same; a tool that lists them gets every one.
TEST_F(ConfigFixture, ManyFindingsAreCappedAndCountedInOneLine) {
    std::string text = "[Calc]\nLogDetail=x\nGroupNames=";
    std::string sections;
    for (int i = 1; i <= 1000; ++i) {
        const std::string name = "G" + std::to_string(i);
        text += name + ",";
        sections += "[" + name + "]\nCGIndex=" + std::to_string(i + 1000) + "\nFuncName=1\n";
    }
    text += "\n" + sections;
    TConfigSettings settings;
    TCalcGroups groups;
    Read(text, settings, groups);
    EXPECT_EQ(groups.Count(), 1000);
    ASSERT_EQ(log.size(), MostShownFindings + 2);
    EXPECT_EQ(log[0].rfind("Error 1600: OVCalc.OVG line 2: LogDetail=x is not", 0), 0u) << log[0];
    EXPECT_EQ(log[1],
              "Error 1600: OVCalc.OVG line 5: [G1] CGIndex=1001 is not a group number "
              "from 1 to 999");
    EXPECT_EQ(log[MostShownFindings],
              "Error 1600: OVCalc.OVG has 981 more findings in its settings and groups, not "
              "shown here (ovtool check lists them all)");
    EXPECT_EQ(log.back(), "Startup parameters loaded.");

    std::vector<std::string> all;
    TConfigFile lister([&](const std::string& line) { all.push_back(line); }, USFormatSettings());
    lister.ShowEveryFinding();
    lister.OpenConfig(dir.Path());
    TCalcGroups again;
    lister.ReadConfig(settings, again);
    ASSERT_EQ(all.size(), 1002u);
    EXPECT_EQ(all[1000],
              "Error 1600: OVCalc.OVG line 3002: [G1000] CGIndex=2000 is not a group "
              "number from 1 to 999");
}

// Temporary files of writers killed before their rename are removed when the program opens
// the file at start, but never one whose writer still runs, nor anything else.
TEST_F(ConfigFixture, AbandonedTemporaryFilesOfDeadWritersAreRemovedAtStart) {
    const pid_t dead = ::fork();
    ASSERT_GE(dead, 0);
    if (dead == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const std::string deadPid = std::to_string(dead);
    const std::string livePid = std::to_string(::getpid());
    WriteFileText(File(), "[Calc]\nLogDetail=3\n");
    struct Case {
        std::string name;
        bool removed;
    };
    const Case cases[] = {
        {".OVCalc.OVG.tmp" + deadPid + "-0", true},
        {".OVCalc.OVG.tmp" + deadPid + "-17", true},
        {".OVCalc.OVG.tmp" + livePid + "-3", false},  // this process: alive
        {".OVCalc.OVG.tmp1-0", false},                // process 1 always runs
        {".OVCalc.OVG.tmp" + deadPid, false},         // not a writer's name
        {".OVCalc.OVG.tmp" + deadPid + "-x", false},
        {".OVCalc.OVG.tmp-" + deadPid + "-1", false},
        {".Other.OVG.tmp" + deadPid + "-0", false},
        {"OVCalc.OVG.tmp" + deadPid + "-0", false},
    };
    for (const Case& c : cases) WriteFileText(dir / c.name, "[Calc]\nLogDetail=");
    std::filesystem::create_directory(dir / (".OVCalc.OVG.tmp" + deadPid + "-99"));

    // A tool that only reads the file touches nothing.
    config.OpenConfigFile(File());
    for (const Case& c : cases) EXPECT_TRUE(std::filesystem::exists(dir / c.name)) << c.name;

    config.OpenConfig(dir.Path());
    for (const Case& c : cases)
        EXPECT_EQ(std::filesystem::exists(dir / c.name), !c.removed) << c.name;
    EXPECT_TRUE(std::filesystem::is_directory(dir / (".OVCalc.OVG.tmp" + deadPid + "-99")));
    EXPECT_EQ(ReadFileText(File()), "[Calc]\nLogDetail=3\n");
}

TEST_F(ConfigFixture, WindowPlacement) {
    WriteFileText(File(),
                  "[Windows Settings]\nLeft=0x10\nTop=-5\nWidth=wide\n[Calc]\nLogDetail=2\n");
    config.OpenConfig(dir.Path());
    const TWindowPlacement p = config.ReadWindowPlacement(TWindowPlacement{1, 2, 3, 4});
    EXPECT_EQ(p.Left, 16);
    EXPECT_EQ(p.Top, -5);
    EXPECT_EQ(p.Width, 3);   // unreadable: the current value
    EXPECT_EQ(p.Height, 4);  // missing: the current value
    const TWindowPlacement design;
    EXPECT_EQ(design.Left, 334);
    EXPECT_EQ(design.Top, 335);
    EXPECT_EQ(design.Width, 564);
    EXPECT_EQ(design.Height, 421);

    config.WriteWindowPlacement(TWindowPlacement{100, 200, 640, 480});
    EXPECT_FALSE(config.IsOpen());
    EXPECT_EQ(
        ReadFileText(File()),
        "[Windows Settings]\nLeft=100\nTop=200\nWidth=640\nHeight=480\n[Calc]\nLogDetail=2\n");
}

}  // namespace
}  // namespace ov
