// The suite connections against real ovsetup and ovfeed processes on the private bus: the
// refresh with and without a setup server, the settings' switches, item changes queued as
// station records, the sinks' events, source shutdowns and the reconnect timer.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BusTestSupport.h"
#include "TestCalcHost.h"
#include "bus/SuiteConnections.h"
#include "busnames/BusNames.h"
#include "core/InputBuffer.h"
#include "suite/SetupParams.h"
#include "util/TimeTag.h"

namespace ov::test {
namespace {

using namespace std::chrono_literals;

const std::string Error4 =
    "Error 4: An instance of the \"OVSetup.Applications\" OLE Automation class could not be "
    "created.  Is ZI Zodav running?";
const std::string Retrieving = "Retrieving setup parameters from ZI Zodav..";

// The main window as the connections see it.
class TTestWindow : public ISuiteWindow {
  public:
    void LogStatus(const std::string& text) override { Status.push_back(text); }
    int LogDetail() const override { return Detail; }
    void RefreshParams() override {
        ++Refreshes;
        if (OnRefresh) OnRefresh();
    }
    void ShutdownCommanded() override { ++Shutdowns; }
    // These two are called on the item-change receiver's thread too.
    bool ThreadStopped() const override { return Stopped; }
    void SignalThread() override { ++Signals; }

    bool Logged(const std::string& text) const {
        return std::find(Status.begin(), Status.end(), text) != Status.end();
    }

    std::vector<std::string> Status;
    int Detail = 0;
    std::atomic<bool> Stopped{false};
    int Refreshes = 0, Shutdowns = 0;
    std::atomic<int> Signals{0};
    std::function<void()> OnRefresh;
};

// The input items taken from the buffer, one text each: "B station kind tag",
// "S station.sensor=value kind tag", "E station kind tag".
std::vector<std::string> TakeItems(TInputStationSensorBuffer& input) {
    std::vector<std::string> items;
    std::unique_ptr<TInputItem> item;
    while (input.Get(item)) {
        std::string text;
        if (auto* sensor = dynamic_cast<TInputSensorItem*>(item.get())) {
            text = "S " + sensor->StationID + "." + sensor->SensorName + "=" + sensor->ValueText;
        } else if (dynamic_cast<TInputStationBeginItem*>(item.get()) != nullptr) {
            text = "B " + item->StationID;
        } else {
            text = "E " + item->StationID;
        }
        items.push_back(text + " " + item->Kind + " " + std::to_string(item->TimeTag));
    }
    return items;
}

std::string Tag(int year, int month, int day, int h, int m, int s) {
    return std::to_string(MakeTimeTag(year, month, day, h, m, s));
}

// A connections object with its window and input buffer, on the test process's bus.
struct TConnectionsRig {
    explicit TConnectionsRig(TSuiteOptions options = Options()) {
        connections = std::make_unique<TSuiteConnections>(window, input,
                                                          QDBusConnection::sessionBus(), options);
    }
    ~TConnectionsRig() { connections->DisconnectAll(); }

    // Short waits; no settings file unless a test gives one.
    static TSuiteOptions Options() {
        TSuiteOptions options;
        options.SetupProgram = "/nonexistent/ovsetup";
        options.SetupArguments = {};
        options.ReconnectInterval = 200ms;
        options.StartWaitStep = 100ms;
        options.StartWaitSteps = 50;
        options.LoadWaitStep = 20ms;
        options.LoadWaitSteps = 3;
        return options;
    }

    TestCalcHost host;
    TInputStationSensorBuffer input{host};
    TTestWindow window;
    std::unique_ptr<TSuiteConnections> connections;
};

// ovsetup serving settings (the text of its INI file), with extra arguments; running until
// the object ends, after which its bus name is free again.
class TSetupServer {
  public:
    explicit TSetupServer(const std::string& settings, std::vector<std::string> arguments = {}) {
        WriteFileText(folder_ / "OVSetup.ini", settings);
        arguments.insert(arguments.begin(), (folder_ / "OVSetup.ini").string());
        program_ = StartSetup(arguments);
        started_ = WaitForName(SetupBusName) && WaitForSetupAnswer();
    }
    ~TSetupServer() {
        program_.reset();
        WaitForName(SetupBusName, false);
    }
    bool Started() const { return started_; }
    std::string Err() const { return program_->Err(); }

  private:
    ScratchFolder folder_;
    std::unique_ptr<TProgram> program_;
    bool started_ = false;
};

// ovfeed as source, with the lines of text, holding each line until its item is linked.
class TFeed {
  public:
    TFeed(std::string_view source, const std::string& lines, std::vector<std::string> extra = {}) {
        WriteFileText(folder_ / "feed.txt", lines);
        std::vector<std::string> args{"--as", std::string(source), "--wait-link"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back((folder_ / "feed.txt").string());
        program_ = std::make_unique<TProgram>(FeedArgs(args));
        busName_ = FindDataSource(source)->BusName;
        started_ = WaitForName(busName_);
    }
    ~TFeed() {
        program_.reset();
        WaitForName(busName_, false);
    }
    bool Started() const { return started_; }
    TProgram& Program() { return *program_; }

  private:
    ScratchFolder folder_;
    std::unique_ptr<TProgram> program_;
    std::string_view busName_;
    bool started_ = false;
};

TEST(SuiteConnections, RefreshConnectsTheEnabledSourcesAndQueuesTheirItemChanges) {
    TSetupServer setup(
        "[General]\nRtuEnabled=True\nDecoderEnabled=True\nUseEumetsatDecoder=False\n"
        "MBRtuEnabled=False\nNullValue=-4321\n[DataServer]\nStorageOption=10\n");
    ASSERT_TRUE(setup.Started()) << setup.Err();
    // Serving on after their lines: their end would be a status line.
    TFeed rtu("rtu",
              "$TIMETAG 12/08/2026 20:41:05,RIVER1.HG,3.52,RIVER1.TA,12.5\n"
              "$REALTIME 12/08/2026 20:42:00,RIVER2.HG,1.25\n",
              {"--stay"});
    TFeed decoder("decoder",
                  "$GOESTIMED 12/08/2026 21:00:00,SAT1.BV,12.9,SAT2.BV,13.1\n"
                  "$goesrandom 12/08/2026 21:05:00,SAT1.PC,0.5\n",
                  {"--stay"});
    // Running but switched off: never linked, so its line never goes.
    TFeed mbrtu("mbrtu", "$TIMETAG 12/08/2026 20:41:05,MB1.HG,9\n");
    ASSERT_TRUE(rtu.Started() && decoder.Started() && mbrtu.Started());

    TConnectionsRig rig;
    TRefreshOutcome outcome = rig.connections->Refresh();
    EXPECT_TRUE(outcome.Result);
    EXPECT_TRUE(outcome.SetupAttached);
    EXPECT_EQ(rig.window.Status, std::vector<std::string>{Retrieving});
    EXPECT_EQ(GeneralSetup().NullValue, -4321);
    EXPECT_EQ(DataServerSetup().StorageOption, 10);
    EXPECT_TRUE(rig.connections->SetupSinkAttached());
    EXPECT_TRUE(rig.connections->Connected(dsRtu));
    EXPECT_TRUE(rig.connections->Connected(dsDecoder));
    EXPECT_FALSE(rig.connections->Connected(dsMDecoder));
    EXPECT_FALSE(rig.connections->Connected(dsMBRtu));
    EXPECT_TRUE(rig.connections->ReconnectTimerActive());

    std::vector<std::string> items;
    ASSERT_TRUE(SpinUntil([&] {
        for (auto& item : TakeItems(rig.input)) items.push_back(item);
        return items.size() >= 14;
    })) << items.size();
    const std::string t1 = Tag(2026, 12, 8, 20, 41, 5), t2 = Tag(2026, 12, 8, 20, 42, 0);
    const std::string s1 = Tag(2026, 12, 8, 21, 0, 0), s2 = Tag(2026, 12, 8, 21, 5, 0);
    // The two sources' records may interleave; each source's own order stays.
    std::vector<std::string> fromRtu, fromDecoder;
    for (const auto& item : items) {
        (item.find("RIVER") != std::string::npos ? fromRtu : fromDecoder).push_back(item);
    }
    EXPECT_EQ(fromRtu, (std::vector<std::string>{"B RIVER1 T " + t1, "S RIVER1.HG=3.52 T " + t1,
                                                 "S RIVER1.TA=12.5 T " + t1, "E RIVER1 T " + t1,
                                                 "B RIVER2 C " + t2, "S RIVER2.HG=1.25 C " + t2,
                                                 "E RIVER2 C " + t2}));
    EXPECT_EQ(fromDecoder,
              (std::vector<std::string>{
                  "B SAT1 S " + s1, "S SAT1.BV=12.9 S " + s1, "S SAT2.BV=13.1 S " + s1,
                  "E SAT1 S " + s1, "B SAT1 R " + s2, "S SAT1.PC=0.5 R " + s2, "E SAT1 R " + s2}));
    EXPECT_EQ(rig.window.Signals, 4);
    EXPECT_EQ(rig.window.Status.size(), 1u);
}

TEST(SuiteConnections, RefreshWithoutASetupServerReportsError4) {
    {
        // No program to start.
        TConnectionsRig rig;
        TRefreshOutcome outcome = rig.connections->Refresh();
        EXPECT_FALSE(outcome.Result);
        EXPECT_FALSE(outcome.SetupAttached);
        EXPECT_EQ(rig.window.Status, (std::vector<std::string>{Retrieving, Error4}));
        EXPECT_FALSE(rig.connections->SetupAttached());
    }
    {
        // A program that starts but never becomes the setup server: the wait gives up.
        TSuiteOptions options = TConnectionsRig::Options();
        options.SetupProgram = "/bin/true";
        options.StartWaitSteps = 3;
        options.StartWaitStep = 50ms;
        TConnectionsRig rig(options);
        TRefreshOutcome outcome = rig.connections->Refresh();
        EXPECT_FALSE(outcome.Result);
        EXPECT_FALSE(outcome.SetupAttached);
        EXPECT_EQ(rig.window.Status, (std::vector<std::string>{Retrieving, Error4}));
    }
}

TEST(SuiteConnections, RefreshStartsTheSetupServerWithItsSettingsFile) {
    ASSERT_TRUE(WaitForName(SetupBusName, false));
    ScratchFolder folder;
    WriteFileText(folder / "OVSetup.ini", "[General]\nNullValue=-777\n");
    TSuiteOptions options = TConnectionsRig::Options();
    options.SetupProgram = QString::fromStdString(OV_OVSETUP_PATH);
    options.SetupArguments = {QString::fromStdString((folder / "OVSetup.ini").string())};
    // The started server is no child of this process: it is ended by its own command.
    struct TQuit {
        ~TQuit() {
            RunSetupCommand({"--quit"});
            WaitForName(SetupBusName, false);
        }
    } quit;
    TConnectionsRig rig(options);
    TRefreshOutcome outcome = rig.connections->Refresh();
    EXPECT_TRUE(outcome.Result);
    EXPECT_TRUE(outcome.SetupAttached);
    EXPECT_EQ(GeneralSetup().NullValue, -777);
    EXPECT_EQ(rig.window.Status, std::vector<std::string>{Retrieving});
}

// A setup server that ends at its start: the wait for it ends with it (not after all its
// steps), and the first line it wrote stands beside Error 4.
TEST(SuiteConnections, ASetupServerEndingAtItsStartGivesItsFirstLineBesideError4) {
    ASSERT_TRUE(WaitForName(SetupBusName, false));
    ScratchFolder folder;
    WriteFileText(folder / "OVSetup.ini", "[General]\nNoSuchSetting=1\n");
    TSuiteOptions options = TConnectionsRig::Options();
    options.SetupProgram = QString::fromStdString(OV_OVSETUP_PATH);
    options.SetupArguments = {QString::fromStdString((folder / "OVSetup.ini").string())};
    options.StartWaitSteps = 100;  // 10 s
    TConnectionsRig rig(options);
    const auto start = std::chrono::steady_clock::now();
    TRefreshOutcome outcome = rig.connections->Refresh();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(outcome.SetupAttached);
    ASSERT_EQ(rig.window.Status.size(), 3u);
    EXPECT_EQ(rig.window.Status[1], Error4);
    const std::string& reason = rig.window.Status[2];
    EXPECT_EQ(reason.rfind("The setup server ended: ovsetup: ", 0), 0u) << reason;
    EXPECT_NE(reason.find("OVSetup.ini"), std::string::npos) << reason;
}

// OV Calc follows the data sources' bus names: a source that appears is connected at once,
// also one that comes back after its shutdown event. The reconnect timer is an hour away here,
// and the feed sends its line only once it is linked: its record arriving at all shows the
// connection made by the name's appearance.
TEST(SuiteConnections, ASourceIsConnectedAsSoonAsItsNameAppears) {
    TSetupServer setup("[General]\nRtuEnabled=True\n");
    ASSERT_TRUE(setup.Started()) << setup.Err();
    TSuiteOptions options = TConnectionsRig::Options();
    options.ReconnectInterval = std::chrono::hours(1);
    TConnectionsRig rig(options);
    ASSERT_TRUE(rig.connections->Refresh().Result);
    EXPECT_FALSE(rig.connections->Connected(dsRtu));
    for (const char* round : {"first", "back after its shutdown"}) {
        SCOPED_TRACE(round);
        // It stays on the bus after its shutdown event until the round ends.
        TFeed feed("rtu", "$TIMETAG 01/02/2026 03:04:05,A.B,1\n", {"--shutdown", "--stay"});
        ASSERT_TRUE(feed.Started());
        std::vector<std::string> items;
        EXPECT_TRUE(SpinUntil([&] {
            for (auto& item : TakeItems(rig.input)) items.push_back(item);
            return items.size() >= 3;
        }));
        EXPECT_EQ(items.size(), 3u);
        EXPECT_TRUE(SpinUntil([&] { return !rig.connections->Connected(dsRtu); }));
        EXPECT_EQ(rig.window.Status.back(), "RO Did shutdown command received");
    }
}

TEST(SuiteConnections, SetupArgumentsFromTheEnvironmentOrBesideTheProgram) {
    ::setenv("OVCALC_OVSETUP_ARGS", "\"/tmp/a folder/OVSetup.ini\" --load-delay 2", 1);
    EXPECT_EQ(TSuiteOptions::DefaultSetupArguments(),
              (QStringList{"/tmp/a folder/OVSetup.ini", "--load-delay", "2"}));
    ::setenv("OVCALC_OVSETUP_ARGS", "", 1);
    EXPECT_EQ(TSuiteOptions::DefaultSetupArguments(), QStringList{});
    ::unsetenv("OVCALC_OVSETUP_ARGS");

    const std::filesystem::path beside =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "ovsetup.INI";
    ASSERT_FALSE(std::filesystem::exists(beside));
    EXPECT_EQ(TSuiteOptions::DefaultSetupArguments(), QStringList{});
    WriteFileText(beside, "[General]\n");
    EXPECT_EQ(TSuiteOptions::DefaultSetupArguments(),
              QStringList{QString::fromStdString(beside.string())});
    std::filesystem::remove(beside);
}

TEST(SuiteConnections, SetupServerThatNeverLoadsGivesError1613) {
    TSetupServer setup("[General]\nRtuEnabled=True\n", {"--load-delay", "60"});
    ASSERT_TRUE(setup.Started()) << setup.Err();
    TFeed rtu("rtu", "$TIMETAG 12/08/2026 20:41:05,RIVER1.HG,3.52\n");
    ASSERT_TRUE(rtu.Started());
    TConnectionsRig rig;
    TRefreshOutcome outcome = rig.connections->Refresh();
    EXPECT_FALSE(outcome.Result);
    EXPECT_TRUE(outcome.SetupAttached);
    EXPECT_EQ(rig.window.Status,
              (std::vector<std::string>{Retrieving, "Error 1613: Unknown Refresh Exception"}));
    EXPECT_TRUE(rig.connections->SetupAttached());
    EXPECT_FALSE(rig.connections->SetupSinkAttached());
    EXPECT_FALSE(rig.connections->Connected(dsRtu));
}

// A source's shutdown event disconnects it with its own status; the timer connects it again
// once the source runs again, silently, and its items arrive.
TEST(SuiteConnections, SourceShutdownDisconnectsAndTheTimerReconnects) {
    struct TCase {
        TDataSourceKind Kind;
        std::string Settings;
        std::string Shutdown;
    };
    const std::vector<TCase> cases{
        {dsDecoder, "DecoderEnabled=True\nUseEumetsatDecoder=False\n",
         "OV Decode shutdown command received"},
        {dsMDecoder, "DecoderEnabled=True\nUseEumetsatDecoder=True\n",
         "OV Decode shutdown command received"},
        {dsRtu, "RtuEnabled=True\n", "RO Did shutdown command received"},
        {dsMBRtu, "MBRtuEnabled=True\n", "ZE DEZav shutdown command received"},
    };
    for (const TCase& c : cases) {
        const TDataSource& source = DataSource(c.Kind);
        SCOPED_TRACE(std::string(source.Option));
        const std::string item(source.Items[1]);
        TSetupServer setup("[General]\n" + c.Settings);
        ASSERT_TRUE(setup.Started()) << setup.Err();
        TConnectionsRig rig;
        rig.window.Detail = 2;
        {
            TFeed feed(source.Option, item + " 01/02/2026 03:04:05,A.B,1\n", {"--shutdown"});
            ASSERT_TRUE(feed.Started());
            ASSERT_TRUE(rig.connections->Refresh().Result);
            EXPECT_TRUE(rig.connections->Connected(c.Kind));
            EXPECT_EQ(rig.window.Logged("Connected to OV EUMETSAT Decode Interface"),
                      c.Kind == dsMDecoder);
            ASSERT_TRUE(SpinUntil([&] { return !rig.connections->Connected(c.Kind); }));
            EXPECT_EQ(rig.window.Status.back(), c.Shutdown);
            EXPECT_TRUE(rig.connections->ReconnectTimerActive());
            EXPECT_EQ(TakeItems(rig.input).size(), 3u);
        }
        const std::size_t lines = rig.window.Status.size();
        // Serving on after its line: connected at once, it would otherwise be gone again
        // before its start is seen.
        TFeed again(source.Option, item + " 01/02/2026 03:04:06,A.C,2\n", {"--stay"});
        ASSERT_TRUE(again.Started());
        std::vector<std::string> items;
        ASSERT_TRUE(SpinUntil([&] {
            for (auto& i : TakeItems(rig.input)) items.push_back(i);
            return items.size() >= 3;
        }));
        EXPECT_TRUE(rig.connections->Connected(c.Kind));
        EXPECT_EQ(items[1].substr(0, 9), "S A.C=2 " + std::string(InputKindOfItemName(item)));
        // The reconnect is silent (the EUMETSAT decoder's trace line apart).
        for (std::size_t i = lines; i < rig.window.Status.size(); ++i) {
            EXPECT_EQ(rig.window.Status[i], "Connected to OV EUMETSAT Decode Interface");
        }
    }
}

// A source that leaves the bus without its shutdown event (its lines done, or killed) is
// disconnected with a status line once every line it sent is queued, and connected again as
// soon as it runs again: the reconnect timer is an hour away here.
TEST(SuiteConnections, ASourceEndedWithoutItsShutdownIsConnectedAgainWhenItRuns) {
    struct TCase {
        TDataSourceKind Kind;
        std::string Settings;
        std::string Ended;
    };
    const std::vector<TCase> cases{
        {dsDecoder, "DecoderEnabled=True\nUseEumetsatDecoder=False\n", "OV Decode"},
        {dsMDecoder, "DecoderEnabled=True\nUseEumetsatDecoder=True\n", "OV EUMETSAT Decode"},
        {dsRtu, "RtuEnabled=True\n", "RO Did"},
        {dsMBRtu, "MBRtuEnabled=True\n", "ZE DEZav"},
    };
    for (const TCase& c : cases) {
        const TDataSource& source = DataSource(c.Kind);
        SCOPED_TRACE(std::string(source.Option));
        // Its last item linked: the feed sends once it is, and may end at once.
        const std::string item(source.Items[1]);
        const std::string ended =
            c.Ended +
            " ended without its shutdown command; it is connected again as soon as it runs";
        TSetupServer setup("[General]\n" + c.Settings);
        ASSERT_TRUE(setup.Started()) << setup.Err();
        TSuiteOptions options = TConnectionsRig::Options();
        options.ReconnectInterval = std::chrono::hours(1);
        TConnectionsRig rig(options);
        std::vector<std::string> items;
        auto take = [&](std::size_t count) {
            return SpinUntil([&] {
                for (auto& i : TakeItems(rig.input)) items.push_back(i);
                return items.size() >= count;
            });
        };
        {
            // Two lines, then its end without the shutdown event.
            TFeed feed(source.Option, item + " 01/02/2026 03:04:05,A.B,1\n" + item +
                                          " 01/02/2026 03:04:06,A.B,2\n");
            ASSERT_TRUE(feed.Started());
            ASSERT_TRUE(rig.connections->Refresh().Result);
            EXPECT_TRUE(rig.connections->Connected(c.Kind));
            ASSERT_EQ(feed.Program().Wait(), 0) << feed.Program().Err();
            ASSERT_TRUE(SpinUntil([&] { return !rig.connections->Connected(c.Kind); }));
            EXPECT_TRUE(rig.window.Logged(ended));
            // Both its lines were queued before its end was seen.
            ASSERT_TRUE(take(6));
            EXPECT_EQ(items.size(), 6u);
        }
        {
            // Started again: connected at once, its line arrives; then killed.
            TFeed again(source.Option, item + " 01/02/2026 03:04:07,A.C,3\n", {"--stay"});
            ASSERT_TRUE(again.Started());
            ASSERT_TRUE(take(9));
            EXPECT_EQ(items[7].substr(0, 7), "S A.C=3");
            EXPECT_TRUE(rig.connections->Connected(c.Kind));
            const std::size_t lines = rig.window.Status.size();
            ::kill(again.Program().Process().Pid(), SIGKILL);
            ASSERT_TRUE(SpinUntil([&] { return !rig.connections->Connected(c.Kind); }));
            ASSERT_EQ(rig.window.Status.size(), lines + 1);
            EXPECT_EQ(rig.window.Status.back(), ended);
        }
        // And once more after the kill.
        TFeed third(source.Option, item + " 01/02/2026 03:04:08,A.D,4\n", {"--stay"});
        ASSERT_TRUE(third.Started());
        ASSERT_TRUE(take(12));
        EXPECT_EQ(items[10].substr(0, 7), "S A.D=4");
        EXPECT_TRUE(rig.connections->Connected(c.Kind));
    }
}

// A flood bigger than the input buffer: the buffer fills and stays full while nothing is taken
// (the rest waits at the bus, not in this process), a source connected meanwhile is
// subscribed all the same, and once the items are taken every record arrives whole and in
// order.
TEST(SuiteConnections, AFullInputBufferHoldsTheFloodAtTheBusAndLosesNothing) {
    TSetupServer setup("[General]\nRtuEnabled=True\nDecoderEnabled=True\n");
    ASSERT_TRUE(setup.Started()) << setup.Err();
    constexpr int lines = 3000;  // 4 items each: 12000 items for 8192 slots
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += "$TIMETAG 12/08/2026 20:41:05,R" + std::to_string(i) + ".HG," + std::to_string(i) +
                ",R" + std::to_string(i) + ".TA,1\n";
    }
    TFeed rtu("rtu", text);
    ASSERT_TRUE(rtu.Started());
    TConnectionsRig rig;
    ASSERT_TRUE(rig.connections->Refresh().Result);
    ASSERT_TRUE(SpinUntil([&] { return rig.input.Count() == InputBufferSlots; }));

    // Connected by the reconnect timer while the receiver waits for a slot.
    TFeed decoder("decoder", "$GOESTIMED 12/08/2026 21:00:00,SAT1.BV,12.9\n", {"--stay"});
    ASSERT_TRUE(decoder.Started());
    ASSERT_TRUE(SpinUntil([&] { return rig.connections->Connected(dsDecoder); }));
    EXPECT_EQ(rig.input.Count(), InputBufferSlots);

    std::vector<std::string> fromRtu, fromDecoder;
    ASSERT_TRUE(SpinUntil([&] {
        for (auto& item : TakeItems(rig.input)) {
            (item.find(" R") == 1 ? fromRtu : fromDecoder).push_back(item);
        }
        return fromRtu.size() == 4 * lines && fromDecoder.size() == 3;
    })) << fromRtu.size()
        << " " << fromDecoder.size();
    const std::string t = Tag(2026, 12, 8, 20, 41, 5);
    for (int i = 0; i < lines; ++i) {
        const std::string st = "R" + std::to_string(i);
        ASSERT_EQ(fromRtu[4 * i], "B " + st + " T " + t);
        ASSERT_EQ(fromRtu[4 * i + 1], "S " + st + ".HG=" + std::to_string(i) + " T " + t);
        ASSERT_EQ(fromRtu[4 * i + 3], "E " + st + " T " + t);
    }
    EXPECT_EQ(fromDecoder[1], "S SAT1.BV=12.9 S " + Tag(2026, 12, 8, 21, 0, 0));
    EXPECT_EQ(rig.window.Status.size(), 1u);
}

// A bad data line from a source: its error reaches the status list from the receiving
// thread, what it held before the bad pair is queued, and the next line still goes.
// A broken pair of a source's line is reported; the good pairs after it and the next line go.
TEST(SuiteConnections, ABadLineFromASourceIsReportedAndTheNextOneGoes) {
    TSetupServer setup("[General]\nRtuEnabled=True\n");
    ASSERT_TRUE(setup.Started()) << setup.Err();
    // The third line: a character above U+00FF, one that 8-bit text holds (the degree sign,
    // in UTF-8) and a zero byte, which the bus cannot carry and ovfeed sends as "?".
    TFeed rtu("rtu",
              "$TIMETAG 12/08/2026 20:41:05,RIVER1.HG,3.52,BADPAIR,RIVER1.TA,12.5\n"
              "$TIMETAG 12/08/2026 20:42:05,RIVER2.HG,1.25\n"
              "$TIMETAG 12/08/2026 20:43:05,RIVER3.HG,5\u20AC0,RIVER3.TA,50\u00B0,RIVER3.HX,5" +
                  std::string(1, '\0') + "0\n",
              {"--stay"});
    ASSERT_TRUE(rtu.Started());
    TConnectionsRig rig;
    ASSERT_TRUE(rig.connections->Refresh().Result);
    std::vector<std::string> items;
    ASSERT_TRUE(SpinUntil([&] {
        for (auto& item : TakeItems(rig.input)) items.push_back(item);
        return items.size() >= 12 && rig.window.Status.size() >= 3;
    })) << items.size();
    const std::string t1 = Tag(2026, 12, 8, 20, 41, 5), t2 = Tag(2026, 12, 8, 20, 42, 5),
                      t3 = Tag(2026, 12, 8, 20, 43, 5);
    EXPECT_EQ(items,
              (std::vector<std::string>{
                  "B RIVER1 T " + t1, "S RIVER1.HG=3.52 T " + t1, "S RIVER1.TA=12.5 T " + t1,
                  "E RIVER1 T " + t1, "B RIVER2 T " + t2, "S RIVER2.HG=1.25 T " + t2,
                  "E RIVER2 T " + t2, "B RIVER3 T " + t3, "S RIVER3.HG=5?0 T " + t3,
                  "S RIVER3.TA=50\xB0 T " + t3, "S RIVER3.HX=5?0 T " + t3, "E RIVER3 T " + t3}));
    EXPECT_EQ(rig.window.Status,
              (std::vector<std::string>{
                  Retrieving, "Error 1600: Data item is not STATION.SENSOR - BADPAIR",
                  "Error 1600: 1 character above U+00FF in a data line read as \"?\" - "
                  "12/08/2026 20:43:05,RIVER3.HG,5?0,RIVER3.TA,50\xB0,RIVER3.HX,5?0"}));
}

// A line whose time tag cannot be read is dropped, and said: the first at once, the others of
// the period together when it is over; the good lines between them go.
TEST(SuiteConnections, LinesWithAnUnreadableTimeTagAreDroppedAndTold) {
    TSetupServer setup("[General]\nRtuEnabled=True\n");
    ASSERT_TRUE(setup.Started()) << setup.Err();
    TFeed rtu("rtu",
              "$TIMETAG 01/19/2053 00:00:00,RIVER1.HG,1\n"
              "$TIMETAG 12/08/2026 20:41:05,RIVER2.HG,1.25\n"
              "$TIMETAG -1/08/2026 20:41:05,RIVER1.HG,2\n"
              "$TIMETAG 12.08.2026 20:41:05,RIVER1.HG,3\n",
              {"--stay"});
    ASSERT_TRUE(rtu.Started());
    TSuiteOptions options = TConnectionsRig::Options();
    options.DroppedLinePeriod = 1s;
    TConnectionsRig rig(options);
    ASSERT_TRUE(rig.connections->Refresh().Result);
    std::vector<std::string> items;
    ASSERT_TRUE(SpinUntil([&] {
        for (auto& item : TakeItems(rig.input)) items.push_back(item);
        return items.size() >= 3 && rig.window.Status.size() >= 3;
    })) << items.size()
        << " " << rig.window.Status.size();
    const std::string t = Tag(2026, 12, 8, 20, 41, 5);
    EXPECT_EQ(items, (std::vector<std::string>{"B RIVER2 T " + t, "S RIVER2.HG=1.25 T " + t,
                                               "E RIVER2 T " + t}));
    EXPECT_EQ(rig.window.Status,
              (std::vector<std::string>{
                  Retrieving,
                  "Error 1600: 1 line of RO Did dropped: time tag cannot be read - 01/19/2053 "
                  "00:00:00",
                  "Error 1600: 2 lines of RO Did dropped: time tag cannot be read - 12.08.2026 "
                  "20:41:05"}));
}

TEST(SuiteConnections, ARunningSourceThatCannotBeConnectedReportsItsError) {
    TSetupServer setup("[General]\nRtuEnabled=True\nDecoderEnabled=True\n");
    ASSERT_TRUE(setup.Started()) << setup.Err();
    // Another connection holds the pollers' and the decoder's bus names but serves no object:
    // their LinkItem calls fail.
    const QString address = QString::fromLocal8Bit(qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    QDBusConnection squatter = QDBusConnection::connectToBus(address, "squatter");
    ASSERT_TRUE(squatter.isConnected());
    ASSERT_TRUE(squatter.registerService(Q(DataSource(dsRtu).BusName)));
    ASSERT_TRUE(squatter.registerService(Q(DataSource(dsDecoder).BusName)));
    {
        TSuiteOptions options = TConnectionsRig::Options();
        options.CallTimeout = 1000ms;
        options.ReconnectInterval = 100ms;
        TConnectionsRig rig(options);
        TRefreshOutcome outcome = rig.connections->Refresh();
        EXPECT_FALSE(outcome.Result);
        EXPECT_TRUE(outcome.SetupAttached);
        EXPECT_EQ(rig.window.Status,
                  (std::vector<std::string>{Retrieving,
                                            "Error 1000: Unable to connect to OV Decode Interface",
                                            "Error 1001: Unable to connect to RO Did Interface"}));
        EXPECT_FALSE(rig.connections->Connected(dsRtu));
        EXPECT_FALSE(rig.connections->Connected(dsDecoder));
        EXPECT_TRUE(rig.connections->ReconnectTimerActive());
        // The timer's attempts are silent.
        QTimer wait;
        wait.setSingleShot(true);
        wait.start(350);
        SpinUntil([&] { return !wait.isActive(); });
        EXPECT_EQ(rig.window.Status.size(), 3u);
    }
    squatter.unregisterService(Q(DataSource(dsRtu).BusName));
    squatter.unregisterService(Q(DataSource(dsDecoder).BusName));
    QDBusConnection::disconnectFromBus("squatter");
    EXPECT_TRUE(WaitForName(DataSource(dsRtu).BusName, false));
}

TEST(SuiteConnections, ASetupServerThatDoesNotAnswerEndsTheRefresh) {
    // The setup server's bus name is held by a connection that serves no object: the question
    // for "SetupLoad" itself fails.
    const QString address = QString::fromLocal8Bit(qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    QDBusConnection squatter = QDBusConnection::connectToBus(address, "setup-squatter");
    ASSERT_TRUE(squatter.registerService(Q(SetupBusName)));
    {
        TSuiteOptions options = TConnectionsRig::Options();
        options.CallTimeout = 1000ms;
        TConnectionsRig rig(options);
        TRefreshOutcome outcome = rig.connections->Refresh();
        EXPECT_FALSE(outcome.Result);
        EXPECT_TRUE(outcome.SetupAttached);
        ASSERT_EQ(rig.window.Status.size(), 2u);
        EXPECT_EQ(
            rig.window.Status[1].rfind("Error 1600: GetSetupParam(\"SetupLoad\") failed: ", 0), 0u)
            << rig.window.Status[1];
        EXPECT_FALSE(rig.connections->SetupSinkAttached());
    }
    squatter.unregisterService(Q(SetupBusName));
    QDBusConnection::disconnectFromBus("setup-squatter");
    EXPECT_TRUE(WaitForName(SetupBusName, false));
}

TEST(SuiteConnections, SetupServerEventsReachTheWindow) {
    {
        // Refresh requests carrying this program's own AppID are its own echo: ignored. A
        // shutdown is obeyed whoever sent it.
        TSetupServer setup("[General]\n", {"--app-id", std::string(CalcAppID)});
        ASSERT_TRUE(setup.Started()) << setup.Err();
        TConnectionsRig rig;
        ASSERT_TRUE(rig.connections->Refresh().Result);
        ASSERT_EQ(RunSetupCommand({"--refresh", "--setup-changed", "--heartbeat", "--shutdown"}),
                  0);
        ASSERT_TRUE(SpinUntil([&] { return rig.window.Shutdowns > 0; }));
        EXPECT_EQ(rig.window.Refreshes, 0);
        EXPECT_EQ(rig.window.Shutdowns, 1);
        EXPECT_EQ(rig.window.Status.back(), "Shutdown command received");
        EXPECT_FALSE(rig.connections->ReconnectTimerActive());
        EXPECT_EQ(rig.connections->EventAppID(), CalcAppID);
    }
    {
        TSetupServer setup("[General]\n");
        ASSERT_TRUE(setup.Started()) << setup.Err();
        TConnectionsRig rig;
        // The window refreshes from inside the event, which drops the very sink that
        // delivered it.
        rig.window.OnRefresh = [&] { EXPECT_TRUE(rig.connections->Refresh().Result); };
        ASSERT_TRUE(rig.connections->Refresh().Result);
        ASSERT_EQ(RunSetupCommand({"--refresh"}), 0);
        ASSERT_TRUE(SpinUntil([&] { return rig.window.Refreshes == 1; }));
        EXPECT_EQ(rig.window.Status,
                  (std::vector<std::string>{Retrieving, "Refresh command received", Retrieving}));
        ASSERT_EQ(RunSetupCommand({"--setup-changed"}), 0);
        ASSERT_TRUE(SpinUntil([&] { return rig.window.Refreshes == 2; }));
        EXPECT_EQ(rig.connections->EventAppID(), SetupAppID);
        // Once each: the dropped sinks deliver nothing.
        ASSERT_EQ(RunSetupCommand({"--shutdown"}), 0);
        ASSERT_TRUE(SpinUntil([&] { return rig.window.Shutdowns > 0; }));
        QCoreApplication::processEvents();
        EXPECT_EQ(rig.window.Refreshes, 2);
        EXPECT_EQ(rig.window.Shutdowns, 1);
    }
}

// Item changes (here through the setup server's event 5) are queued only from a data source,
// for one of the four items, and only while a calculation thread runs.
TEST(SuiteConnections, ItemChangesRefusedByThreadStateAppIDAndItem) {
    struct TCase {
        std::string_view AppID;
        std::string Item;
        bool Stopped;
        std::string Kind;  // of the items queued; empty: nothing queued
    };
    const std::string data = "05/06/2026 07:08:09,ST.SN,4.5";
    const std::vector<TCase> cases{
        {IOVRtuDataCOMAppID, "$TIMETAG", false, "T"},
        {IOVDecodeComAppID, "$goestimed", false, "S"},
        {IOVMBRTUDataCOMAppID, "$REALTIME", false, "C"},
        {IOVRtuDataCOMAppID, "$TIMETAG", true, ""},
        {CalcAppID, "$TIMETAG", false, ""},
        {SetupAppID, "$TIMETAG", false, ""},
        {"{7552be47-efff-47f1-8eea-bd38f2b70761}", "$TIMETAG", false, ""},
        {IOVRtuDataCOMAppID, "$CURRENT", false, ""},
        {IOVRtuDataCOMAppID, "$TIMETAGS", false, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.AppID) + " " + c.Item + (c.Stopped ? " stopped" : ""));
        TSetupServer setup("[General]\n", {"--app-id", std::string(c.AppID)});
        ASSERT_TRUE(setup.Started()) << setup.Err();
        TConnectionsRig rig;
        rig.window.Stopped = c.Stopped;
        ASSERT_TRUE(rig.connections->Refresh().Result);
        ASSERT_EQ(RunSetupCommand({"--item-change", c.Item, data}), 0);
        // The sink stores the event before anything decides about it.
        ASSERT_TRUE(SpinUntil([&] { return rig.connections->EventData() == data; }));
        EXPECT_EQ(rig.connections->EventAppID(), c.AppID);
        EXPECT_EQ(rig.connections->EventItem(), c.Item);
        const std::string tag = Tag(2026, 5, 6, 7, 8, 9);
        std::vector<std::string> expected;
        if (!c.Kind.empty()) {
            expected = {"B ST " + c.Kind + " " + tag, "S ST.SN=4.5 " + c.Kind + " " + tag,
                        "E ST " + c.Kind + " " + tag};
        }
        EXPECT_EQ(TakeItems(rig.input), expected);
        EXPECT_EQ(rig.window.Signals, c.Kind.empty() ? 0 : 1);
    }
}

}  // namespace
}  // namespace ov::test
