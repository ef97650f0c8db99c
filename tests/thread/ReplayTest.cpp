// The replay of an archive through the calculation thread: the example network's feed gives
// exactly its expected records; the thread's clock is the data's (deferred calculations once the
// data has moved on by the schedule delay, the value cache's three hours); bad lines are said
// with their place and the replay goes on; From/To and the stop at the first error; a line
// longer than the input buffer; the text as OV Calc receives it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "busnames/BusNames.h"
#include "calc/RatingTables.h"
#include "model/ConfigFile.h"
#include "suite/SetupParams.h"
#include "suite/SetupSettingsFile.h"
#include "thread/Replay.h"
#include "util/Format.h"
#include "util/FormatSettings.h"
#include "util/TimeTag.h"

namespace ov {
namespace {

namespace fs = std::filesystem;

fs::path ExamplesFolder() {
    if (const char* dir = std::getenv("OV_EXAMPLES_DIR"); dir != nullptr && *dir != '\0')
        return fs::path(dir);
    return fs::path(OV_EXAMPLES_SOURCE_DIR);
}

std::vector<std::string> FileLines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in) << file;
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

bool CLikeLocale() {
    const TFormatSettings& local = LocaleFormatSettings();
    return local.DecimalSeparator == '.' && local.DateSeparator == '/' &&
           local.TimeSeparator == ':';
}

const TTimeTag T0 = MakeTimeTag(2026, 8, 12, 10, 0, 0);

std::unique_ptr<TCalcGroupItem> Single(int index, const std::string& equation,
                                       const std::string& station, const std::string& sensor,
                                       std::vector<std::string> variables) {
    auto g = std::make_unique<TCalcGroupItem>();
    g->CGIndex = index;
    g->FuncName = equation;
    g->OutputStation = station;
    g->OutputSensor = sensor;
    g->Variables = std::move(variables);
    return g;
}

std::unique_ptr<TCalcGroupItem> Multi(int index, const std::string& equation,
                                      const std::string& station, const std::string& sensor,
                                      std::vector<std::string> variables, int trigger) {
    auto g = Single(index, equation, station, sensor, {});
    g->MultiStations = true;
    g->MultiVariables = std::move(variables);
    g->MultiVariablesTrigger = trigger;
    return g;
}

// "ITEM time,pairs" with the time tag's text in the locale's form.
std::string Line(const std::string& item, TTimeTag tag, const std::string& pairs) {
    return item + " " + TimeTagText(tag) + "," + pairs;
}
std::string Record(TTimeTag tag, const std::string& rest) {
    return TimeTagText(tag) + "," + rest;
}

class ReplayTest : public ::testing::Test {
  protected:
    TCalcGroups groups;
    TReplayOptions options;
    // Records ("R " + record) and status lines ("S " + text) in the one order they came in.
    std::vector<std::string> log;
    std::vector<std::string> records;
    std::vector<std::string> status;
    TReplay::TCounts counts;
    bool fedAll = true;
    std::mutex mutex;

    void SetUp() override {
        if (!CLikeLocale())
            GTEST_SKIP() << "the records are written for the separators . / and : (LC_ALL=C)";
        options.SourceAppID = std::string(IOVRtuDataCOMAppID);
        options.Config.ScheduleDelay = 60.0 / 86400.0;
    }
    void TearDown() override {
        GeneralSetup() = TGeneralSetup{};
        rating::ClearTables();
    }

    void Run(const std::vector<std::string>& lines, const std::string& file = "archive.txt") {
        TReplay replay(
            groups, options,
            [this](const std::string& record) {
                std::lock_guard<std::mutex> guard(mutex);
                records.push_back(record);
                log.push_back("R " + record);
            },
            [this](const TOutputLine& line) {
                std::lock_guard<std::mutex> guard(mutex);
                status.push_back(line.Text);
                log.push_back("S " + line.Text);
            });
        replay.Start();
        std::int64_t number = 0;
        for (const std::string& line : lines) {
            if (!replay.Feed(line, file, ++number)) {
                fedAll = false;
                break;
            }
        }
        replay.Finish();
        counts = replay.Counts();
    }
    // The status lines but the thread's start and stop.
    std::vector<std::string> Said() {
        std::vector<std::string> said;
        for (const std::string& s : status)
            if (s != "Calculation thread started." && s != "Calcuation thread stopped.")
                said.push_back(s);
        return said;
    }
};

TEST_F(ReplayTest, TheExampleFeedGivesExactlyTheExpectedRecords) {
    const fs::path examples = ExamplesFolder();
    std::string error;
    ASSERT_TRUE(LoadSetupSettings(examples / "OVSetup.ini", options.Setup, error)) << error;
    std::vector<std::string> configStatus;
    TConfigFile config([&](const std::string& line) { configStatus.push_back(line); });
    config.OpenConfigFile(examples / "OVCalc.OVG");
    config.ReadConfig(options.Config, groups);
    options.SourceAppID = std::string(IOVDecodeComAppID);

    Run(FileLines(examples / "feed.txt"), "feed.txt");
    EXPECT_EQ(records, FileLines(examples / "expected.txt"));
    EXPECT_EQ(Said(), std::vector<std::string>{});
    EXPECT_EQ(counts.CalcErrors, 0);
    EXPECT_EQ(counts.InputErrors, 0);
    EXPECT_EQ(counts.Replayed, 9);
    EXPECT_EQ(counts.Records, 11);
}

// With a delay of 60 s, a time-tagged record is calculated at the first idle step once the
// data's time has passed its due time, before the line that moved the time there; a repeated
// record moves its due time; what still waits after the last line comes at the end.
TEST_F(ReplayTest, DeferredCalculationsRunOnceTheDataHasMovedOnByTheDelay) {
    groups.Add(Single(1, "H * 2", "MET", "Q", {"H=HG"}));
    groups.Add(Single(2, "H + 1", "RT", "R", {"H=HG"}));
    Run({
        Line("$TIMETAG", T0, "MET.HG,1"),        // due at T0+60
        Line("$REALTIME", T0 + 30, "RT.HG,1"),   //
        Line("$TIMETAG", T0 + 40, "MET.HG,2"),   // due at T0+100 ...
        Line("$REALTIME", T0 + 70, "RT.HG,2"),   // MET at T0 comes first
        Line("$TIMETAG", T0 + 40, "MET.HG,3"),   // ... now at T0+70+60, with the value 3
        Line("$REALTIME", T0 + 110, "RT.HG,3"),  //
        Line("$REALTIME", T0 + 140, "RT.HG,4"),  // MET at T0+40 comes first
        Line("$TIMETAG", T0 + 150, "MET.HG,5"),  // waits to the end
    });
    EXPECT_EQ(records, (std::vector<std::string>{
                           Record(T0 + 30, "RT.R,2"),
                           Record(T0, "MET.Q,2"),
                           Record(T0 + 70, "RT.R,3"),
                           Record(T0 + 110, "RT.R,4"),
                           Record(T0 + 40, "MET.Q,6"),
                           Record(T0 + 140, "RT.R,5"),
                           Record(T0 + 150, "MET.Q,10"),
                       }));
    EXPECT_EQ(counts.CalcErrors, 0);
}

// A value is kept three hours of the data's time after it was read: an earlier value stands in
// for a multiple-station variable until then, not after.
TEST_F(ReplayTest, TheValueCacheKeepsAValueForThreeHoursOfTheDatasTime) {
    groups.Add(Multi(1, "A + B", "BASIN", "S", {"A=ST1.HG", "B=ST2.HG"}, 1));
    const TTimeTag late = T0 + 3 * 3600 + 10;
    Run({
        Line("$REALTIME", T0, "ST1.HG,1"),
        Line("$REALTIME", T0 + 1, "ST1.HG,2"),
        Line("$REALTIME", T0 + 60, "ST2.HG,10"),
        Line("$REALTIME", T0 + 3 * 3600 - 10, "ST2.HG,20"),
        Line("$REALTIME", late, "ST2.HG,30"),
    });
    EXPECT_EQ(records, (std::vector<std::string>{Record(T0 + 60, "BASIN.S,12"),
                                                 Record(T0 + 3 * 3600 - 10, "BASIN.S,22")}));
    ASSERT_EQ(Said().size(), 1u);
    EXPECT_EQ(Said()[0].rfind("Error 1602: Error in computation - Error 1604: ", 0), 0u)
        << Said()[0];
    EXPECT_EQ(counts.CalcErrors, 1);
}

TEST_F(ReplayTest, BadLinesAreSaidWithTheirPlaceAndTheReplayGoesOn) {
    groups.Add(Single(1, "H * 2", "ST1", "Q", {"H=HG"}));
    Run({
        "# a comment, and an empty line",
        "",
        "garbage",
        Line("$CURRENT", T0, "ST1.HG,1"),
        "$REALTIME yesterday,ST1.HG,1",
        Line("$REALTIME", T0 + 1, "ST1HG,1,ST1.HG,2"),
        Line("$REALTIME", T0 + 2, "ST1.HG,3"),
    });
    EXPECT_EQ(log, (std::vector<std::string>{
                       "S Calculation thread started.",
                       "S archive.txt:3: not a data line (its item is not $GOESTIMED, $GOESRANDOM, "
                       "$TIMETAG or $REALTIME): garbage",
                       "S archive.txt:4: not a data line (its item is not $GOESTIMED, $GOESRANDOM, "
                       "$TIMETAG or $REALTIME): " +
                           Line("$CURRENT", T0, "ST1.HG,1"),
                       "S archive.txt:5: not a data line (its time tag cannot be read): $REALTIME "
                       "yesterday,ST1.HG,1",
                       // Said before the record of the line's good pair.
                       "S archive.txt:6: Error 1600: Data item is not STATION.SENSOR - ST1HG",
                       "R " + Record(T0 + 1, "ST1.Q,4"),
                       "R " + Record(T0 + 2, "ST1.Q,6"),
                       "S Calcuation thread stopped.",
                   }));
    EXPECT_EQ(counts.InputErrors, 4);
    EXPECT_EQ(counts.CalcErrors, 0);
    EXPECT_EQ(counts.Replayed, 2);
}

TEST_F(ReplayTest, OnlyTheLinesWithinFromAndToAreReplayed) {
    groups.Add(Single(1, "H * 2", "ST1", "Q", {"H=HG"}));
    options.From = T0 + 10;
    options.To = T0 + 20;
    Run({
        Line("$REALTIME", T0 + 9, "ST1.HG,1"),
        Line("$REALTIME", T0 + 10, "ST1.HG,2"),
        Line("$REALTIME", T0 + 20, "ST1.HG,3"),
        Line("$REALTIME", T0 + 21, "ST1.HG,4"),
        "$REALTIME no time,ST1.HG,5",
    });
    EXPECT_EQ(records,
              (std::vector<std::string>{Record(T0 + 10, "ST1.Q,4"), Record(T0 + 20, "ST1.Q,6")}));
    EXPECT_EQ(counts.OutOfRange, 2);
    EXPECT_EQ(counts.InputErrors, 1) << "a line without a time tag is not in any range";
}

TEST_F(ReplayTest, WithoutKeepGoingTheReplayStopsAtTheFirstError) {
    options.KeepGoing = false;
    groups.Add(Single(1, "10 / H", "ST1", "Q", {"H=HG"}));
    groups.Add(Single(2, "H + 1", "ST1", "R", {"H=HG"}));
    // More lines than the batches waiting for the thread hold: the feeder has to wait, and
    // learns then that the replay has stopped.
    std::vector<std::string> lines{Line("$REALTIME", T0, "ST1.HG,2"),
                                   Line("$REALTIME", T0 + 1, "ST1.HG,0")};
    for (int i = 2; i < 10000; ++i) lines.push_back(Line("$REALTIME", T0 + i, "ST1.HG,1"));
    Run(lines);
    // The line with the error is calculated to its end; nothing after it.
    EXPECT_EQ(records, (std::vector<std::string>{Record(T0, "ST1.Q,5"), Record(T0, "ST1.R,3"),
                                                 Record(T0 + 1, "ST1.R,1")}));
    EXPECT_EQ(counts.CalcErrors, 1);
    EXPECT_FALSE(fedAll) << "the feeder learns that no more lines are needed";

    records.clear();
    status.clear();
    log.clear();
    fedAll = true;
    Run({Line("$REALTIME", T0, "ST1.HG,2"), "garbage", Line("$REALTIME", T0 + 1, "ST1.HG,1")});
    EXPECT_EQ(records, (std::vector<std::string>{Record(T0, "ST1.Q,5"), Record(T0, "ST1.R,3")}));
    EXPECT_EQ(counts.InputErrors, 1);
}

// The input buffer holds 8192 items: a line of more values goes through in parts.
TEST_F(ReplayTest, ALineOfMoreValuesThanTheInputBufferHoldsIsReplayed) {
    groups.Add(Single(1, "H * 2", "ST0", "Q", {"H=HG"}));
    groups.Add(Multi(2, "A + B", "BASIN", "S", {"A=ST0.HG", "B=ST9999.HG"}, 1));
    std::string pairs;
    for (int i = 0; i < 10000; ++i)
        pairs += (i > 0 ? "," : "") + std::string("ST") + std::to_string(i) + ".HG,1";
    Run({Line("$REALTIME", T0, pairs), Line("$REALTIME", T0 + 1, "ST0.HG,3")});
    EXPECT_EQ(records, (std::vector<std::string>{Record(T0, "BASIN.S,2"), Record(T0, "ST0.Q,2"),
                                                 Record(T0 + 1, "ST0.Q,6")}));
}

// A line reaches OV Calc as UTF-8 when it is, else byte for character: both spellings of a
// station name read the same; a character the engine's text cannot hold reads "?" and is said,
// and so does a zero byte, which the bus cannot carry.
TEST_F(ReplayTest, TheTextIsReadAsOVCalcReceivesIt) {
    options.Config.LogDetail = 2;  // says values that are not numbers
    groups.Add(Single(1, "H * 2", "Z\xDCRICH", "Q", {"H=HG"}));
    Run({
        Line("$REALTIME", T0, "Z\xC3\x9CRICH.HG,1"),  // UTF-8
        Line("$REALTIME", T0 + 1, "Z\xDCRICH.HG,2"),  // Latin-1
        Line("$REALTIME", T0 + 2, "Z\xC3\x9CRICH.HG,\xCE\xA9"),
        Line("$REALTIME", T0 + 3, std::string("Z\xDCRICH.HG,3") + '\0'),
    });
    EXPECT_EQ(records, (std::vector<std::string>{Record(T0, "Z\xDCRICH.Q,2"),
                                                 Record(T0 + 1, "Z\xDCRICH.Q,4")}));
    const std::vector<std::string> said = Said();
    ASSERT_EQ(said.size(), 5u);
    EXPECT_EQ(said[0],
              "archive.txt:3: Error 1600: 1 character above U+00FF in a data line read "
              "as \"?\" - " +
                  TimeTagText(T0 + 2) + ",Z\xDCRICH.HG,?");
    EXPECT_EQ(said[1], "Error 1601: Value is not a number - ?");
    EXPECT_EQ(said[2].rfind("Error 1602: Error in computation - Error 1605: ", 0), 0u);
    EXPECT_EQ(said[3], "Error 1601: Value is not a number - 3?");
}

}  // namespace
}  // namespace ov
