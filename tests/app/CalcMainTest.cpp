// The main window: status list, log file, one-second timer, edit-setup restart, refresh with
// and without a setup server on the test process's private bus.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QLabel>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "AppTestSupport.h"
#include "PrivateBus.h"
#include "ScratchFolder.h"
#include "app/CalcMain.h"
#include "app/MainWindowBus.h"
#include "busnames/BusNames.h"
#include "suite/DdeManager.h"
#include "suite/SetupParams.h"
#include "util/FormatSettings.h"
#include "util/TimeTag.h"

namespace ov::test {
extern TPrivateBus* AppTestBus;
}

namespace ov {
namespace {

using namespace std::chrono_literals;
using test::Offline;
using test::ScratchFolder;
using test::WaitFor;

// The setup server stand-in built beside the tests.
QString OvSetupProgram() {
    return OV_OVSETUP_PATH;
}

// A setup dialog that adds a group and saves, or only looks.
class TFakeSetupDialog : public ISetupDialog {
  public:
    explicit TFakeSetupDialog(bool save, int* calls) : save_(save), calls_(calls) {}
    bool Execute(TCalcGroups& groups) override {
        ++*calls_;
        if (!save_) return false;
        auto group = std::make_unique<TCalcGroupItem>();
        group->GroupName = "CalcGroup:Edited";
        group->FuncName = "A * 2";
        group->OutputStation = "ST1";
        group->OutputSensor = "OUT";
        group->Variables = {"A=IN"};
        groups.Add(std::move(group));
        return true;
    }

  private:
    bool save_;
    int* calls_;
};

TEST(MainWindow, CaptionGeometryPanelsAndCommands) {
    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    EXPECT_EQ(window.windowTitle(), "OV Calc");
    EXPECT_EQ(window.geometry(), QRect(334, 335, 564, 421));
    EXPECT_EQ(window.StatusPanelText(0), "Service Stopped");
    EXPECT_TRUE(window.ThreadStopped());
    struct Command {
        const char* name;
        const char* caption;
        const char* tip;
        const char* longHint;
    };
    const Command commands[] = {
        {"actRefreshParams", "&Refresh Params", "Send Refresh command to client apps",
         "Command client apps to refresh setup parameters."},
        {"actExit", "E&xit", "Exit", "Quits the application"},
        {"actOptionsEditSetup", "Edit &Setup Parameters", "Edit setup parameters",
         "Edit parameters."},
        {"actClearStatus", "Clear Status &Messages", "Clear messages", "Clear status messages."},
        {"actLogStatus", "&Log Status Messages", "Log all status and error messages",
         "Log status and error messages to disk."},
        {"actAppOptions", "Application &Options", "Show application option dialog.",
         "Show application option dialog."},
        {"actHelp", "&Help", "Show help index tab.", "Show help index tab."},
        {"actHelpContents", "&Contents", "Show help contents.", "Show help contents."},
        {"actAbout", "About...", "Help", "Help"},
    };
    for (const auto& c : commands) {
        QAction* action = window.Action(c.name);
        ASSERT_NE(action, nullptr) << c.name;
        EXPECT_EQ(action->text(), c.caption);
        EXPECT_EQ(action->toolTip(), c.tip);
        EXPECT_EQ(action->statusTip(), c.longHint);
    }
    // The long part of a hint shows in the second panel.
    window.Action("actClearStatus")->showStatusText(&window);
    EXPECT_EQ(window.StatusPanelText(1), "Clear status messages.");
}

// The second panel counts the results published and the calculation errors since the start,
// with the date and time of the last result, brought up to date by the one-second timer; a
// hint under the mouse shows over it and gives way to it again.
TEST(MainWindow, SecondPanelCountsResultsAndErrorsOnTheTimer) {
    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    EXPECT_EQ(window.StatusPanelText(1), "Results: 0   Errors: 0");
    auto stamp = [] {
        const std::string text = DateTimeText(Now(), LocaleFormatSettings());
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    };
    const QString before = stamp();
    window.Controller().PublishResult("$TIMETAG", "12/08/2026 20:41:05,RIVER1.Q,1");
    window.Controller().PublishResult("$TIMETAG", "12/08/2026 20:41:06,RIVER1.Q,2");
    const QString after = stamp();
    window.OutputBuffer().Add("Error 1602: Error in computation - x", okError);
    window.OutputBuffer().Add("Calculation thread started.", okStatus);
    window.OutputBuffer().Add("Begin DoProcess", okDetail);
    EXPECT_EQ(window.StatusPanelText(1), "Results: 0   Errors: 0");  // until the timer's tick
    window.tmrTimerTimer();
    const QString counted = window.StatusPanelText(1);
    EXPECT_TRUE(counted == "Results: 2   Errors: 1   Last result: " + before ||
                counted == "Results: 2   Errors: 1   Last result: " + after)
        << counted.toStdString();

    window.Action("actClearStatus")->showStatusText(&window);
    window.Controller().PublishResult("$TIMETAG", "12/08/2026 20:41:07,RIVER1.Q,3");
    window.tmrTimerTimer();
    EXPECT_EQ(window.StatusPanelText(1), "Clear status messages.");
    QStatusTipEvent gone{QString()};
    QCoreApplication::sendEvent(&window, &gone);
    EXPECT_TRUE(window.StatusPanelText(1).startsWith("Results: 3   Errors: 1   Last result: "))
        << window.StatusPanelText(1).toStdString();
}

TEST(MainWindow, DdeServiceOffersItsTopicsAndTheTextFormat) {
    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    TDDEMLManager& dde = window.Dde();
    EXPECT_EQ(dde.ServiceName(0), "OVCalc");
    std::uint32_t conv = 0;
    ASSERT_EQ(dde.Connect(":test", "OVCalc", "System", conv), daAck);
    std::string topics, formats;
    EXPECT_EQ(dde.Request(":test", conv, "Topics", "Text", topics), daAck);
    EXPECT_EQ(DdeDataText(topics), "SYSTEM\tDATA");
    EXPECT_EQ(dde.Request(":test", conv, "Formats", "Text", formats), daAck);
    EXPECT_EQ(DdeDataText(formats), "Text");
}

// At the design size with the default font: every tool-bar button shows (no overflow arrow),
// and the first panel holds each text it shows uncut.
TEST(MainWindow, ToolBarAndPanelsFitTheirTextsAtTheDefaultSize) {
    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* toolBar = window.findChild<QToolBar*>("ToolBar1");
    ASSERT_NE(toolBar, nullptr);
    const auto actions = toolBar->actions();
    EXPECT_EQ(actions.size(), 5);
    for (QAction* action : actions) {
        QWidget* button = toolBar->widgetForAction(action);
        ASSERT_NE(button, nullptr) << action->objectName().toStdString();
        EXPECT_TRUE(button->isVisible()) << action->objectName().toStdString();
        EXPECT_LE(button->geometry().right(), toolBar->contentsRect().right())
            << action->objectName().toStdString();
    }
    auto* more = toolBar->findChild<QToolButton*>("qt_toolbarext_button");
    EXPECT_TRUE(more == nullptr || !more->isVisible());

    auto* panel = window.findChild<QLabel*>("StatusBarPanel0");
    ASSERT_NE(panel, nullptr);
    for (const char* text :
         {"Service Stopped", "Calculation thread started.", "Calcuation thread stopped."}) {
        EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(text))
            << text;
    }
}

TEST(MainWindow, StatusListNewestFirstWithTimePrefixAndTrimmedAt640) {
    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    window.actClearStatusExecute();
    for (int i = 1; i <= 639; ++i) window.LogStatus("line " + QString::number(i));
    EXPECT_EQ(window.StatusLines().size(), 639);
    window.LogStatus(QString("line 640"));
    QStringList lines = window.StatusLines();
    ASSERT_EQ(lines.size(), 640);
    EXPECT_TRUE(lines.first().endsWith("    line 640"));
    EXPECT_TRUE(lines.last().endsWith("    line 1"));

    window.LogStatus(QString("line 641"));
    lines = window.StatusLines();
    ASSERT_EQ(lines.size(), 512);
    EXPECT_TRUE(lines[0].endsWith("    line 641"));
    EXPECT_TRUE(lines[1].endsWith("    line 640"));
    EXPECT_TRUE(lines[511].endsWith("    line 130"));  // the 511 newest stayed

    // Date and time as the locale writes them, four blanks, the text.
    const QString prefix = QString::fromStdString(DateTimeText(Now(), LocaleFormatSettings()));
    const QString& newest = lines[0];
    EXPECT_EQ(newest.size(), prefix.size() + 4 + 8) << newest.toStdString();
    EXPECT_EQ(newest.mid(prefix.size()), "    line 641");
    EXPECT_FALSE(newest.left(prefix.size()).contains("  "));

    window.actClearStatusExecute();
    EXPECT_TRUE(window.StatusLines().isEmpty());
    window.LogStatus(QString("after clear"));
    EXPECT_EQ(window.StatusLines().size(), 1);
}

TEST(MainWindow, DrainShowsStatusLinesInTheFirstPanelInOrder) {
    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    window.actClearStatusExecute();
    window.OutputBuffer().Add("detail", okDetail);
    window.OutputBuffer().Add("Calcuation thread stopped.", okStatus);
    window.OutputBuffer().Add("Error 1600: x", okError);
    window.DrainOutput(false);
    QStringList lines = window.StatusLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith("    Error 1600: x"));
    EXPECT_TRUE(lines[2].endsWith("    detail"));
    EXPECT_EQ(window.StatusPanelText(0), "Calcuation thread stopped.");
}

TEST(MainWindow, LogFileOnOffOnAppendsToTheSameFile) {
    ScratchFolder folder;
    const auto file = folder / "status.log";
    test::WriteFileText(file, "earlier run\n");
    TfrmCalcMain window(Offline(folder));
    QString askedFolder;
    window.SetLogFileChooser([&](const QString& start) {
        askedFolder = start;
        return QString::fromStdString(file.string());
    });
    window.LogStatus(QString("before"));
    window.actLogStatusExecute();
    EXPECT_TRUE(window.LogToFile());
    EXPECT_TRUE(window.Action("actLogStatus")->isChecked());
    EXPECT_EQ(askedFolder, window.ExeFolder());  // the program's folder the first time
    window.LogStatus(QString("first"));
    window.actLogStatusExecute();
    EXPECT_FALSE(window.LogToFile());
    EXPECT_FALSE(window.Action("actLogStatus")->isChecked());
    window.LogStatus(QString("while off"));
    window.actLogStatusExecute();
    window.LogStatus(QString("second"));
    window.actLogStatusExecute();

    const std::string text = test::ReadFileText(file);
    EXPECT_EQ(text.rfind("earlier run\n", 0), 0u) << text;
    auto first = text.find("    first\n");
    auto second = text.find("    second\n");
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_NE(second, std::string::npos) << text;
    EXPECT_LT(first, second);
    EXPECT_EQ(text.find("before"), std::string::npos);
    EXPECT_EQ(text.find("while off"), std::string::npos);
}

TEST(MainWindow, LogFileCancelOrUnopenableLeavesLoggingOff) {
    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    window.SetLogFileChooser([](const QString&) { return QString(); });
    window.actLogStatusExecute();
    EXPECT_FALSE(window.LogToFile());
    window.SetLogFileChooser([&](const QString&) {
        return QString::fromStdString((folder / "no/such/x.log").string());
    });
    window.actLogStatusExecute();
    EXPECT_FALSE(window.LogToFile());
    EXPECT_FALSE(window.Action("actLogStatus")->isChecked());
}

TEST(MainWindow, OneSecondTimerDoesNotRunTwiceAtOnce) {
    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    for (int i = 0; i < 30; ++i) window.OutputBuffer().Add("l" + std::to_string(i), okDetail);
    bool nestedSawBusy = false;
    int before = -1, after = -1;
    // Runs while the first tick drains (events are processed after the 11th line).
    QMetaObject::invokeMethod(
        &window,
        [&] {
            nestedSawBusy = window.TimerBusy();
            before = window.OutputBuffer().Count();
            window.tmrTimerTimer();
            after = window.OutputBuffer().Count();
        },
        Qt::QueuedConnection);
    window.tmrTimerTimer();
    EXPECT_TRUE(nestedSawBusy);
    EXPECT_EQ(before, 19);
    EXPECT_EQ(after, before);  // the nested tick returned at once
    EXPECT_FALSE(window.TimerBusy());
    EXPECT_EQ(window.OutputBuffer().Count(), 0);
}

TEST(MainWindow, RefreshWithoutSetupServerReportsError4AndStartsNoThread) {
    ScratchFolder folder;
    ASSERT_TRUE(test::AppTestBus && test::AppTestBus->Started());
    TCalcMainOptions options;
    options.ExeFolder = QString::fromStdString(folder.Path().string());
    options.Suite.SetupProgram = QString::fromStdString((folder / "no-ovsetup").string());
    TfrmCalcMain window(options);
    window.actRefreshParamsExecute();
    const QStringList lines = window.StatusLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().endsWith(
        "    Error 4: An instance of the \"OVSetup.Applications\" OLE Automation class could not "
        "be created.  Is ZI Zodav running?"))
        << lines.first().toStdString();
    EXPECT_TRUE(window.ThreadStopped());
    EXPECT_EQ(window.windowTitle(), "OV Calc");
    ASSERT_NE(window.Thread(), nullptr);
    EXPECT_FALSE(window.Thread()->Started());
}

// A setup server on the private bus, ended with the test.
class WithSetupServer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::AppTestBus && test::AppTestBus->Started());
        ASSERT_TRUE(QFileInfo::exists(OvSetupProgram())) << OvSetupProgram().toStdString();
        test::WriteFileText(folder_ / "OVSetup.ini",
                            "[General]\nRtuEnabled=False\nDecoderEnabled=False\n"
                            "[DataServer]\nStorageOption=10\n");
        test::WriteFileText(folder_ / "OVCalc.OVG", "[Calc]\nLogDetail=0\nGroupNames=\n");
        server_ = std::make_unique<test::TChildProcess>(std::vector<std::string>{
            OvSetupProgram().toStdString(), (folder_ / "OVSetup.ini").string()});
        auto* bus = QDBusConnection::sessionBus().interface();
        ASSERT_TRUE(WaitFor([&] {
            return bus
                ->isServiceRegistered(QString::fromLatin1(SetupBusName.data(), SetupBusName.size()))
                .value();
        }));
    }
    TCalcMainOptions Options() {
        TCalcMainOptions options;
        options.ExeFolder = QString::fromStdString(folder_.Path().string());
        options.Suite.SetupProgram = OvSetupProgram();
        options.Suite.SetupArguments = {QString::fromStdString((folder_ / "OVSetup.ini").string())};
        return options;
    }
    ScratchFolder folder_;
    std::unique_ptr<test::TChildProcess> server_;
};

TEST_F(WithSetupServer, RefreshStartsTheThreadAndMarksTheCaption) {
    TfrmCalcMain window(Options());
    window.actRefreshParamsExecute();
    EXPECT_EQ(window.windowTitle(), "OV Calc (local)");
    EXPECT_FALSE(window.ThreadStopped());
    ASSERT_NE(window.Thread(), nullptr);
    EXPECT_TRUE(window.Thread()->Started());
    EXPECT_EQ(DataServerSetup().StorageOption, 10);

    // A second refresh stops the running thread, drains its last lines and starts a new one.
    window.SetLogDetail(10);
    const auto first = window.ThreadSerial();
    window.actRefreshParamsExecute();
    EXPECT_EQ(window.ThreadSerial(), first + 1);
    EXPECT_FALSE(window.ThreadStopped());
    EXPECT_EQ(window.StatusPanelText(0), "Calcuation thread stopped.");
    window.StopThread();
    EXPECT_TRUE(window.ThreadStopped());
}

TEST_F(WithSetupServer, EditSetupRestartsOnlyAfterASaveAndWritesTheGroups) {
    TfrmCalcMain window(Options());
    window.actRefreshParamsExecute();
    ASSERT_FALSE(window.ThreadStopped());
    int calls = 0;
    const std::string configBefore = test::ReadFileText(folder_ / "OVCalc.OVG");

    window.SetSetupDialogFactory(
        [&](QWidget*) { return std::make_unique<TFakeSetupDialog>(false, &calls); });
    const auto running = window.ThreadSerial();
    window.actOptionsEditSetupExecute();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(window.ThreadSerial(), running);
    EXPECT_FALSE(window.ThreadStopped());
    EXPECT_FALSE(window.StatusLines().first().endsWith("Restarting the calcuation thread."));
    EXPECT_EQ(test::ReadFileText(folder_ / "OVCalc.OVG"), configBefore);

    window.SetSetupDialogFactory(
        [&](QWidget*) { return std::make_unique<TFakeSetupDialog>(true, &calls); });
    window.actOptionsEditSetupExecute();
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(window.StatusLines().join('\n').contains(
        "    Setup has been changed. Restarting the calcuation thread."));
    EXPECT_EQ(window.ThreadSerial(), running + 1);
    EXPECT_FALSE(window.ThreadStopped());
    ASSERT_EQ(window.Thread()->Groups().Count(), 1);
    EXPECT_EQ(window.Thread()->Groups().Items(0)->GroupName, "CalcGroup:Edited");
    // Written at once, not only at shutdown.
    const std::string config = test::ReadFileText(folder_ / "OVCalc.OVG");
    EXPECT_NE(config.find("[CalcGroup:Edited]"), std::string::npos) << config;
    EXPECT_NE(config.find("FuncName=A * 2"), std::string::npos) << config;

    // Saved with no thread running: written, but nothing restarts.
    window.StopThread();
    const auto stopped = window.ThreadSerial();
    window.actOptionsEditSetupExecute();
    EXPECT_EQ(window.ThreadSerial(), stopped);
    EXPECT_TRUE(window.ThreadStopped());
}

// A data source asks OV Calc's main window whether it calculates before it sends: ovfeed
// holds its line while the window's thread is stopped and sends it once the refresh has
// started the thread.
TEST_F(WithSetupServer, AFeedWaitsUntilTheWindowCalculates) {
    auto q = [](std::string_view text) { return QString::fromLatin1(text.data(), text.size()); };
    TfrmCalcMain window(Options());
    new TMainWindowBus(&window);
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerObject(q(MainWindowPath), &window, QDBusConnection::ExportAdaptors));
    test::WriteFileText(folder_ / "feed.txt", "$REALTIME 12/08/2026 20:41:05,A.B,1\n");
    const TDataSource& source = DataSource(dsRtu);
    test::TChildProcess feed({OV_OVFEED_PATH, "--as", "rtu", (folder_ / "feed.txt").string()},
                             folder_ / "feed.out", folder_ / "feed.err");
    ASSERT_TRUE(
        WaitFor([&] { return bus.interface()->isServiceRegistered(q(source.BusName)).value(); }));
    QDBusMessage link = QDBusMessage::createMethodCall(q(source.BusName), q(source.ObjectPath),
                                                       q(source.Interface), "LinkItem");
    link << q(CalcAppID) << QString("$REALTIME");
    ASSERT_EQ(bus.call(link, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(WaitFor([&] {
        return test::ReadFileText(folder_ / "feed.err").find("does not calculate yet") !=
               std::string::npos;
    }));
    EXPECT_FALSE(feed.Wait(300ms).has_value());  // still holding its line

    window.actRefreshParamsExecute();
    ASSERT_FALSE(window.ThreadStopped());
    std::optional<int> status;
    EXPECT_TRUE(WaitFor([&] { return (status = feed.Wait(0ms)).has_value(); }));
    EXPECT_EQ(status.value_or(-1), 0);
    EXPECT_EQ(test::ReadFileText(folder_ / "feed.out"), "ovfeed: 1 lines sent\n");
    bus.unregisterObject(q(MainWindowPath));
}

}  // namespace
}  // namespace ov
