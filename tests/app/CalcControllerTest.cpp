// The controller without a window: the refresh against a real setup server on the test
// process's private bus (started, attached, loaded; the thread started only for a database
// storage), the thread protocol (its status lines, its end call, a stale end call, drain
// requests from another thread) and the shutdown's work.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "PrivateBus.h"
#include "ScratchFolder.h"
#include "app/CalcController.h"
#include "app/StatusLog.h"
#include "busnames/BusNames.h"
#include "core/ItemChange.h"
#include "suite/DataStore.h"
#include "suite/OVCalcCom.h"
#include "ui/ExitConfirm.h"

namespace ov::test {
extern TPrivateBus* AppTestBus;
}

namespace ov {
namespace {

using namespace std::chrono_literals;
using test::ScratchFolder;

// Serves events in 10 ms steps until condition holds; false when limit passed first.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QTest::qWait(10);
    }
    return true;
}

bool SetupServerRunning() {
    return QDBusConnection::sessionBus()
        .interface()
        ->isServiceRegistered(QString::fromLatin1(SetupBusName.data(), SetupBusName.size()))
        .value();
}

// Whether the setup server that owns its name answers a call (any answer) within 20 s: one
// whose name is owned may still be starting, and the short call time-outs of a test are for
// the faults it tests.
bool SetupServerAnswers() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(SetupBusName.data(), SetupBusName.size()),
        QString::fromLatin1(SetupObjectPath.data(), SetupObjectPath.size()),
        QString::fromLatin1(SetupInterface.data(), SetupInterface.size()),
        QStringLiteral("GetSetupParam"));
    call.setArguments({QStringLiteral("SetupLoad")});
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 20000).type() ==
           QDBusMessage::ReplyMessage;
}

// Stops pid and waits until every thread of it has stopped. kill() only marks the stop: the
// thread it wakes starts the group's stop when it next runs, and on a loaded machine another
// thread (the bus connection's) may answer a call meanwhile.
bool StopProcess(pid_t pid) {
    if (::kill(pid, SIGSTOP) != 0) return false;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    return WaitFor([&] {
        std::error_code error;
        for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
            std::ifstream stat(task.path() / "stat");
            std::string line;
            std::getline(stat, line);
            // The state follows the command's closing parenthesis.
            const auto close = line.rfind(')');
            if (close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'T')
                return false;
        }
        return !error;
    });
}

bool LogHas(const TStatusLog& log, const QString& text) {
    for (const QString& line : log.Lines())
        if (line.endsWith("    " + text)) return true;
    return false;
}

// A folder with OVCalc.OVG and, unless settings is null, a setup server serving settings.
class TSetupWorld {
  public:
    explicit TSetupWorld(const char* settings, std::vector<std::string> serverArgs = {}) {
        test::WriteFileText(folder_ / "OVCalc.OVG", "[Calc]\nLogDetail=0\nGroupNames=\n");
        if (settings == nullptr) return;
        test::WriteFileText(folder_ / "OVSetup.ini", settings);
        std::vector<std::string> argv{OV_OVSETUP_PATH, (folder_ / "OVSetup.ini").string()};
        argv.insert(argv.end(), serverArgs.begin(), serverArgs.end());
        server_ = std::make_unique<test::TChildProcess>(argv);
        EXPECT_TRUE(WaitFor(SetupServerRunning));
        EXPECT_TRUE(SetupServerAnswers());
    }
    ~TSetupWorld() {
        server_.reset();
        WaitFor([] { return !SetupServerRunning(); });
    }
    TCalcMainOptions Options() const {
        TCalcMainOptions options;
        options.ExeFolder = QString::fromStdString(folder_.Path().string());
        options.Automation = false;
        // Never started here: the server runs already, or there is none.
        options.Suite.SetupProgram = QString::fromStdString((folder_ / "no-ovsetup").string());
        options.Suite.LoadWaitSteps = 3;
        options.Suite.LoadWaitStep = 20ms;
        return options;
    }
    const ScratchFolder& Folder() const { return folder_; }
    pid_t ServerPid() const { return server_ ? server_->Pid() : -1; }

  private:
    ScratchFolder folder_;
    std::unique_ptr<test::TChildProcess> server_;
};

constexpr const char* DatabaseSettings =
    "[General]\nRtuEnabled=False\nDecoderEnabled=False\n[DataServer]\nStorageOption=10\n";

struct TRefreshCase {
    const char* name;
    const char* settings;  // nullptr: no setup server
    std::vector<std::string> serverArgs;
    const char* errorLine;  // nullptr: none expected
    bool attached;
    bool started;
};
void PrintTo(const TRefreshCase& c, std::ostream* os) {
    *os << c.name;
}

class Refresh : public ::testing::TestWithParam<TRefreshCase> {};

TEST_P(Refresh, StartsTheThreadOnlyWhenTheSetupIsLoadedAndNamesADatabase) {
    const TRefreshCase& c = GetParam();
    ASSERT_TRUE(test::AppTestBus && test::AppTestBus->Started());
    TSetupWorld world(c.settings, c.serverArgs);
    TStatusLog log;
    TCalcController controller(log, world.Options());
    QSignalSpy attached(&controller, &TCalcController::SetupServerAttached);
    controller.Refresh();

    EXPECT_TRUE(LogHas(log, "Retrieving setup parameters from ZI Zodav.."));
    if (c.errorLine != nullptr) {
        EXPECT_TRUE(log.Lines().first().endsWith(c.errorLine)) << log.Lines().first().toStdString();
    }
    EXPECT_EQ(attached.count(), c.attached ? 1 : 0);
    ASSERT_NE(controller.Thread(), nullptr);
    EXPECT_EQ(controller.Thread()->Started(), c.started);
    EXPECT_EQ(controller.ThreadStopped(), !c.started);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Refresh,
    ::testing::Values(
        TRefreshCase{"NoSetupServer",
                     nullptr,
                     {},
                     "Error 4: An instance of the \"OVSetup.Applications\" OLE Automation class "
                     "could not be created.  Is ZI Zodav running?",
                     false,
                     false},
        TRefreshCase{"DatabaseStorage", DatabaseSettings, {}, nullptr, true, true},
        TRefreshCase{"NoDatabaseStorage",
                     "[General]\nRtuEnabled=False\nDecoderEnabled=False\n"
                     "[DataServer]\nStorageOption=0\n",
                     {},
                     nullptr,
                     true,
                     false},
        TRefreshCase{"SetupNeverLoaded",
                     DatabaseSettings,
                     {"--load-delay", "60"},
                     "Error 1613: Unknown Refresh Exception",
                     true,
                     false}),
    [](const ::testing::TestParamInfo<TRefreshCase>& info) {
        return std::string(info.param.name);
    });

TEST(CalcController, ThreadProtocol) {
    ASSERT_TRUE(test::AppTestBus && test::AppTestBus->Started());
    TSetupWorld world(DatabaseSettings);
    TStatusLog log;
    TCalcController controller(log, world.Options());
    QStringList status;
    QObject::connect(&controller, &TCalcController::ThreadStatus,
                     [&](const QString& text) { status << text; });
    controller.Refresh();
    ASSERT_FALSE(controller.ThreadStopped());
    ASSERT_TRUE(WaitFor([&] {
        controller.DrainOutput(false);
        return status.contains("Calculation thread started.");
    }));

    // A second refresh stops the thread, shows its last status line and starts a new one.
    const auto first = controller.ThreadSerial();
    status.clear();
    controller.Refresh();
    EXPECT_EQ(controller.ThreadSerial(), first + 1);
    EXPECT_FALSE(controller.ThreadStopped());
    EXPECT_EQ(status, QStringList{"Calcuation thread stopped."});

    // The end call of a thread object that is not the current one changes nothing; the
    // current one's counts once the main thread gets to it.
    TWorkThread stale(controller, controller.InputBuffer(), controller.OutputBuffer());
    controller.ThreadEnded(stale);
    QCoreApplication::processEvents();
    EXPECT_FALSE(controller.ThreadStopped());
    controller.ThreadEnded(*controller.Thread());
    EXPECT_FALSE(controller.ThreadStopped());
    QCoreApplication::processEvents();
    EXPECT_TRUE(controller.ThreadStopped());
}

// The calculation thread's drain request: served by the main thread's event loop within the
// limit; when the loop does not run in time the request gives up, and the lines are moved
// all the same once it runs.
TEST(CalcController, DrainRequestsFromAnotherThread) {
    TSetupWorld world(nullptr);
    TCalcMainOptions options = world.Options();
    options.UseBus = false;
    TStatusLog log;
    TCalcController controller(log, options);

    controller.OutputBuffer().Add("served", okDetail);
    bool served = false;
    std::thread asker([&] { served = controller.RequestDrain(10s); });
    EXPECT_TRUE(WaitFor([&] { return LogHas(log, "served"); }));
    asker.join();
    EXPECT_TRUE(served);

    controller.OutputBuffer().Add("late", okStatus);
    bool late = true;
    std::thread impatient([&] { late = controller.RequestDrain(50ms); });
    impatient.join();  // no events meanwhile
    EXPECT_FALSE(late);
    EXPECT_FALSE(LogHas(log, "late"));
    QSignalSpy status(&controller, &TCalcController::ThreadStatus);
    QCoreApplication::processEvents();
    EXPECT_TRUE(LogHas(log, "late"));
    EXPECT_EQ(status.count(), 1);
}

// A group whose rating table is not in the table folder publishes its stage unchanged, and
// the status list says so once per table name until the next refresh; the table folder of the
// settings is relative to the settings file (ovsetup serves it as an absolute path), so the
// other group finds its table whatever the working folder. The counts of the status bar follow.
TEST(CalcController, MissingRatingTableIsSaidOncePerRefreshAndResultsAreCounted) {
    ASSERT_TRUE(test::AppTestBus && test::AppTestBus->Started());
    TSetupWorld world(
        "[General]\nTableDirectory=tables\nRtuEnabled=False\nDecoderEnabled=False\n"
        "[DataServer]\nStorageOption=10\n");
    std::filesystem::create_directories(world.Folder() / "tables");
    test::WriteFileText(world.Folder() / "tables" / "RIVER1.TBL",
                        "LINEAR\n0.5,0\n1.0,12.5\n2.0,48\n");
    std::string config = "[Calc]\nLogDetail=0\nGroupNames=CalcGroup:1,CalcGroup:2\n";
    for (const auto& [n, table] : {std::pair{1, "RIVER1"}, std::pair{2, "RIVER9"}}) {
        const std::string number = std::to_string(n);
        config += "[CalcGroup:" + number + "]\nCGIndex=" + number + "\nFuncName=TABLE(" + table +
                  ", H)\nEnabled=1\nMultiStations=0\nOutputStation=ST1\nOutputSensor=Q" + number +
                  "\nVariablesName=H\nVariablesValue=HG\nMultiVariablesTrigger=-1\n";
    }
    test::WriteFileText(world.Folder() / "OVCalc.OVG", config);
    TStatusLog log;
    TCalcController controller(log, world.Options());
    EXPECT_EQ(controller.Counts().Results, 0u);
    auto record = [&](const char* time) {
        HandleItemChange(
            DataSource(dsRtu).AppID, "$REALTIME", std::string("12/08/2026 ") + time + ",ST1.HG,1.5",
            CalcAppID, controller.InputBuffer(), [&] { controller.SignalThread(); },
            [&](const std::string& text) { controller.LogStatus(text); });
    };
    const QString missing = "Error 1600: rating table RIVER9 not found in " +
                            QString::fromStdString((world.Folder() / "tables").string()) +
                            ": the stage passes through unchanged";
    auto told = [&] {
        int count = 0;
        for (const QString& line : log.Lines()) count += line.endsWith("    " + missing);
        return count;
    };

    controller.Refresh();
    ASSERT_FALSE(controller.ThreadStopped());
    record("20:41:05");
    record("20:41:06");
    EXPECT_TRUE(WaitFor([&] {
        controller.DrainOutput(false);
        return controller.Counts().Results == 4;
    }));
    controller.DrainOutput(false);
    EXPECT_EQ(told(), 1) << log.Lines().join('\n').toStdString();
    EXPECT_EQ(controller.Counts().Errors, 1u);
    EXPECT_GT(controller.Counts().LastResult, 0);
    std::string last;
    EXPECT_TRUE(controller.DataStore().GetValue(TimeTagItem, last));
    EXPECT_EQ(last.rfind("12/08/2026 20:41:06,ST1.Q", 0), 0u) << last;

    // The next refresh forgets what was said: the table is said again, once.
    controller.Refresh();
    ASSERT_FALSE(controller.ThreadStopped());
    record("20:41:07");
    EXPECT_TRUE(WaitFor([&] {
        controller.DrainOutput(false);
        return controller.Counts().Results == 6;
    }));
    controller.DrainOutput(false);
    EXPECT_EQ(told(), 2);
    EXPECT_EQ(controller.Counts().Errors, 2u);
    controller.StopThread();
}

TEST(CalcController, ShutDownStopsDisconnectsAndWritesTheConfiguration) {
    ASSERT_TRUE(test::AppTestBus && test::AppTestBus->Started());
    TSetupWorld world(DatabaseSettings);
    TStatusLog log;
    TCalcController controller(log, world.Options());
    controller.Refresh();
    ASSERT_FALSE(controller.ThreadStopped());
    ASSERT_TRUE(controller.Suite()->SetupAttached());
    controller.SetLogDetail(7);

    controller.ShutDown();
    EXPECT_TRUE(controller.ThreadStopped());
    EXPECT_FALSE(controller.Suite()->SetupAttached());
    EXPECT_FALSE(controller.Suite()->ReconnectTimerActive());
    const std::string config = test::ReadFileText(world.Folder() / "OVCalc.OVG");
    EXPECT_NE(config.find("LogDetail=7"), std::string::npos) << config;

    // The setup server's shutdown command: no question, and the close comes queued.
    QSignalSpy close(&controller, &TCalcController::CloseRequested);
    controller.ShutdownCommanded();
    EXPECT_TRUE(ForcedClose);
    EXPECT_EQ(close.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(close.count(), 1);
    ForcedClose = false;
}

// The published records, as the automation object's linked clients get them (on the
// calculation thread).
class TRecordSink : public IOVCalcComEvents {
  public:
    void OnItemChange(const std::string&, const std::string&, const std::string& data) override {
        std::lock_guard<std::mutex> guard(lock_);
        records_.push_back(data);
    }
    bool OnAppShutdown(const std::string&) override { return true; }
    void OnHeartBeat(const std::string&, const std::string&) override {}
    std::vector<std::string> Records() {
        std::lock_guard<std::mutex> guard(lock_);
        return records_;
    }

  private:
    std::mutex lock_;
    std::vector<std::string> records_;
};

// A setup server that stops answering (SIGSTOP) for longer than a call's time-out: said, the
// calculation waits for it and publishes the right record when it answers again (SIGCONT).
// Silent for longer than the wait's bound: each record that needs it is reported with Error
// 1602 and nothing is published for it, until it answers again. A key it has no value for
// still counts as 0 all along.
TEST(CalcController, ASetupServerThatDoesNotAnswerIsWaitedForWithinTheBound) {
    ASSERT_TRUE(test::AppTestBus && test::AppTestBus->Started());
    TSetupWorld world(
        "[General]\nRtuEnabled=False\nDecoderEnabled=False\n"
        "[DataServer]\nStorageOption=10\n"
        "[Params]\nSensor:GAUGE:HG,Shift=100\nSensor:GAUGE:HG,Offset=1000\n");
    // The elevation has no value: 0.
    test::WriteFileText(world.Folder() / "OVCalc.OVG",
                        "[Calc]\nLogDetail=0\nGroupNames=CalcGroup:1\n\n[CalcGroup:1]\n"
                        "CGIndex=1\nFuncName=H + SHIFT(H) + OFFSET(H) + ELEV(H)\n"
                        "Enabled=1\nMultiStations=0\nFilter=\nOutputStation=GAUGE\n"
                        "OutputSensor=Q\nVariablesName=H\nVariablesValue=HG\nSimilarStations=\n"
                        "MultiVariablesName=\nMultiVariablesValue=\nMultiVariablesTrigger=-1\n");
    TCalcMainOptions options = world.Options();
    // Short enough for a quick test, long enough for a loaded machine.
    options.Suite.CallTimeout = 1000ms;
    options.Suite.AnswerProbeInterval = 50ms;
    options.Suite.StartWaitSteps = 10;  // the bound: 1 s of start, 4.08 s of load waits, 1 s
    options.Suite.StartWaitStep = 100ms;
    const pid_t server = world.ServerPid();
    ASSERT_GT(server, 0);
    // Let go on whatever happens, so that the world can end it.
    struct TLetGo {
        pid_t Pid;
        ~TLetGo() { ::kill(Pid, SIGCONT); }
    } letGo{server};

    TStatusLog log;
    TCalcController controller(log, options);
    TRecordSink sink;
    controller.Automation().SetEvents(&sink);
    ASSERT_TRUE(controller.DataStore().AddLink(TimeTagItem, "test"));
    controller.Refresh();
    ASSERT_FALSE(controller.ThreadStopped());
    auto feed = [&](int stage) {
        const std::string data =
            "12/08/2026 00:0" + std::to_string(stage) + ":00,GAUGE.HG," + std::to_string(stage);
        HandleItemChange(
            IOVRtuDataCOMAppID, "$REALTIME", data, IOVCalcDataCOMAppID, controller.InputBuffer(),
            [&] { controller.SignalThread(); },
            [&](const std::string& text) { controller.LogStatus(text); });
    };
    auto logged = [&](const QString& text) {
        return WaitFor(
            [&] {
                controller.DrainOutput(false);
                return LogHas(log, text);
            },
            20s);
    };
    auto published = [&](std::size_t count) {
        return WaitFor([&] { return sink.Records().size() >= count; }, 20s);
    };
    auto error1602 = [](int stage) {
        return QString(
                   "Error 1602: Error in computation - The setup server ZI Zodav does not "
                   "answer - StationID: GAUGE TimeTag: 12/08/2026 00:0%1:00 Poll Group: 1")
            .arg(stage);
    };
    const QString silent = "The setup server ZI Zodav does not answer. Calculations wait for it..";
    // What the run published and said, for a failure's message.
    auto seen = [&] {
        std::string text = "published:";
        for (const std::string& record : sink.Records()) text += " " + record;
        text += "\nsaid:";
        for (const QString& line : log.Lines()) text += "\n  " + line.toStdString();
        return text;
    };
    const QString answers = "The setup server ZI Zodav answers again.";

    feed(1);
    ASSERT_TRUE(published(1));

    // Silent for a while within the bound: waited for.
    ASSERT_TRUE(StopProcess(server));
    feed(2);
    ASSERT_TRUE(logged(silent)) << seen();
    QTest::qWait(500);
    EXPECT_EQ(sink.Records().size(), 1u);
    ASSERT_EQ(::kill(server, SIGCONT), 0);
    ASSERT_TRUE(published(2));
    EXPECT_TRUE(logged(answers));

    // Silent beyond the bound: the records that need it are reported, not published.
    ASSERT_TRUE(StopProcess(server));
    feed(3);
    ASSERT_TRUE(logged(error1602(3))) << seen();
    EXPECT_TRUE(
        logged("The setup server ZI Zodav has not answered for 7 s: calculations that "
               "need it report Error 1602 until it answers."));
    feed(4);
    EXPECT_TRUE(logged(error1602(4)));
    ASSERT_EQ(::kill(server, SIGCONT), 0);
    ASSERT_TRUE(WaitFor([&] {
        controller.DrainOutput(false);
        return log.Lines().filter(answers).size() == 2;
    }));
    feed(5);
    ASSERT_TRUE(published(3));

    EXPECT_EQ(sink.Records(), (std::vector<std::string>{"12/08/2026 00:01:00,GAUGE.Q,1101",
                                                        "12/08/2026 00:02:00,GAUGE.Q,1102",
                                                        "12/08/2026 00:05:00,GAUGE.Q,1105"}));
    EXPECT_EQ(log.Lines().filter(silent).size(), 2);
    EXPECT_EQ(log.Lines().filter("Error 1602: ").size(), 2);
    controller.StopThread();
    controller.Automation().SetEvents(nullptr);
}

}  // namespace
}  // namespace ov
