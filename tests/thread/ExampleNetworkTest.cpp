// The example station network of examples/ run in-process: its configuration file, its
// setup-server settings and its data feed go through the item-change handling into a real
// calculation thread, and the published result records must be examples/expected.txt.
// The examples folder is $OV_EXAMPLES_DIR, else the one of the source tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "busnames/BusNames.h"
#include "calc/RatingTables.h"
#include "core/ItemChange.h"
#include "model/ConfigFile.h"
#include "suite/SetupParams.h"
#include "support/FakeClock.h"
#include "support/TestCalcHost.h"
#include "thread/WorkThread.h"
#include "util/FormatSettings.h"
#include "util/IniFile.h"
#include "util/TextCompare.h"

namespace ov {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

fs::path ExamplesFolder() {
    if (const char* dir = std::getenv("OV_EXAMPLES_DIR"); dir != nullptr && *dir != '\0')
        return fs::path(dir);
    // Not from __FILE__: a compiler cache may hand the source's path over relative to the
    // build folder, while the test runs in another folder.
    return fs::path(OV_EXAMPLES_SOURCE_DIR);
}

std::vector<std::string> FileLines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    EXPECT_TRUE(in) << file;
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Answers setup keys without regard to letter case, as ovsetup does.
class ExampleHost : public test::TestCalcHost {
  public:
    bool QuerySetup(const std::string& key, std::string& value) override {
        return test::TestCalcHost::QuerySetup(UpperCaseAscii(key), value);
    }
};

// Sets the element of a settings record that an ovsetup key names: an index or a field name.
template <class Record, class SetByIndex, class SetByName>
bool SetElement(Record& record, const std::string& key, const std::string& text, SetByIndex byIndex,
                SetByName byName) {
    if (!key.empty() && key.find_first_not_of("0123456789") == std::string::npos)
        return byIndex(record, std::stoi(key), text);
    return byName(record, key, text);
}

class ExampleNetworkTest : public ::testing::Test {
  protected:
    ExampleHost host;
    TInputStationSensorBuffer input{host};
    TOutputBuffer output{host};
    test::FakeClock clock;
    std::unique_ptr<TWorkThread> thread;
    TCalcGroups groups;
    TConfigSettings settings;
    TDataServerSetup dataServer;
    std::vector<std::string> status;  // the main window's status log
    const fs::path examples = ExamplesFolder();

    void SetUp() override {
        host.Output = &output;
        GeneralSetup() = TGeneralSetup{};
        rating::ClearTables();  // other tests cache tables of the same names
    }
    void TearDown() override {
        if (thread) {
            thread->RequestStop();
            EXPECT_TRUE(thread->WaitFor(20s));
            thread.reset();
        }
        rating::ClearTables();
        GeneralSetup() = TGeneralSetup{};
    }

    // What the main window does at a refresh, with ovsetup serving examples/OVSetup.ini.
    void LoadSetup() {
        const TIniFile ini(examples / "OVSetup.ini");
        ASSERT_TRUE(ini.SectionExists("General") && ini.SectionExists("Params"));
        for (const std::string& key : ini.ReadSection("General")) {
            EXPECT_TRUE(SetElement(
                GeneralSetup(), key, ini.ReadString("General", key, ""),
                [](TGeneralSetup& r, int i, const std::string& t) {
                    return SetGeneralElement(r, i, t);
                },
                [](TGeneralSetup& r, const std::string& n, const std::string& t) {
                    return SetGeneralElement(r, std::string_view(n), t);
                }))
                << "[General] " << key;
        }
        for (const std::string& key : ini.ReadSection("DataServer")) {
            EXPECT_TRUE(SetElement(
                dataServer, key, ini.ReadString("DataServer", key, ""),
                [](TDataServerSetup& r, int i, const std::string& t) {
                    return SetDataServerElement(r, i, t);
                },
                [](TDataServerSetup& r, const std::string& n, const std::string& t) {
                    return SetDataServerElement(r, std::string_view(n), t);
                }))
                << "[DataServer] " << key;
        }
        for (const std::string& key : ini.ReadSection("Params"))
            host.Setup[UpperCaseAscii(key)] = ini.ReadString("Params", key, "");
        // A relative table folder counts from the settings file's folder, as ovsetup serves it.
        fs::path tables = GeneralSetup().TableDirectory;
        if (tables.is_relative()) tables = examples / tables;
        GeneralSetup().TableDirectory = tables.lexically_normal().string();
    }

    void LoadConfig() {
        TConfigFile config([this](const std::string& line) { status.push_back(line); });
        config.OpenConfigFile(examples / "OVCalc.OVG");
        config.ReadConfig(settings, groups);
        config.CloseConfig();
        ASSERT_EQ(status, (std::vector<std::string>{"Startup parameters loaded."}));
        status.clear();
    }

    void Start() {
        host.Detail = settings.LogDetail;
        thread = std::make_unique<TWorkThread>(host, input, output, clock);
        thread->CopyGroups(groups);
        thread->SetScheduleDelay(settings.ScheduleDelay);
        thread->Start();
        ASSERT_TRUE(clock.WaitGateEntries(0));
    }

    // One line of feed.txt as ovfeed sends it: the item up to the first blank, the data after
    // it, from the decoder. Waits until the thread rests again.
    void Send(const std::string& line) {
        const std::size_t begin = line.find_first_not_of(" \t");
        if (begin == std::string::npos || line[begin] == '#') return;
        const std::size_t blank = line.find_first_of(" \t", begin);
        const std::string item = line.substr(begin, blank - begin);
        const std::string data = blank == std::string::npos ? "" : line.substr(blank + 1);
        const auto entries = clock.GateEntries();
        const int added = HandleItemChange(
            IOVDecodeComAppID, item, data, IOVCalcDataCOMAppID, input,
            [this] { host.SignalThread(); },
            [this](const std::string& text) { status.push_back(text); });
        ASSERT_GT(added, 0) << line;
        ASSERT_TRUE(clock.WaitGateEntries(entries)) << line;
    }

    std::vector<std::string> Records() {
        std::vector<std::string> records;
        host.Collect();
        for (const auto& [item, text] : host.Published) {
            EXPECT_EQ(item, "$TIMETAG");
            records.push_back(text);
        }
        return records;
    }
};

TEST_F(ExampleNetworkTest, FeedGivesTheExpectedRecords) {
    const TFormatSettings& local = LocaleFormatSettings();
    if (local.DecimalSeparator != '.' || local.DateSeparator != '/' || local.TimeSeparator != ':')
        GTEST_SKIP() << "the examples are written for the separators . / and : (run with "
                        "LC_ALL=C)";

    LoadSetup();
    LoadConfig();
    // The settings the demo relies on: the feed runs as the decoder, and the storage option
    // is one under which a refresh starts the calculation thread.
    EXPECT_TRUE(GeneralSetup().DecoderEnabled);
    EXPECT_FALSE(GeneralSetup().UseEumetsatDecoder);
    EXPECT_TRUE(StorageStartsCalculation(dataServer.StorageOption));
    EXPECT_TRUE(fs::is_directory(GeneralSetup().TableDirectory)) << GeneralSetup().TableDirectory;
    EXPECT_EQ(groups.Count(), 5);
    EXPECT_NEAR(settings.ScheduleDelay * 86400.0, 2.0, 1e-9);

    const std::vector<std::string> expected = FileLines(examples / "expected.txt");
    ASSERT_GE(expected.size(), 2u);

    Start();
    for (const std::string& line : FileLines(examples / "feed.txt")) Send(line);

    // Everything but the deferred record is out at once; that one waits for the delay.
    EXPECT_EQ(Records(), std::vector<std::string>(expected.begin(), expected.end() - 1));
    ASSERT_TRUE(clock.RunTo(1900));
    EXPECT_EQ(Records().size(), expected.size() - 1) << "the deferred record came early";
    ASSERT_TRUE(clock.RunTo(15000));
    EXPECT_EQ(Records(), expected);

    EXPECT_TRUE(status.empty()) << status.front();
    for (const auto& [text, kind] : host.Lines()) EXPECT_NE(kind, okError) << text;
}

}  // namespace
}  // namespace ov
