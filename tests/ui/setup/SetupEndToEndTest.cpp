// End to end: OV Calc's main window with the setup server stand-in and an RTU poller stand-in
// (ovfeed) on a private bus. A showing of the setup dialog that only adds a group leaves the
// calculation thread alone; a group made and saved in the dialog on the example suite
// database is written to OVCalc.OVG at once, the thread restarts with it, and a data line fed
// by the poller is calculated with it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>

#include "PrivateBus.h"
#include "ScratchFolder.h"
#include "SetupTestSupport.h"
#include "app/CalcMain.h"
#include "app/MainWindowBus.h"
#include "busnames/BusNames.h"
#include "suite/DataStore.h"

namespace ov {
namespace {

using namespace std::chrono_literals;
using test::AssignSensor;
using test::Choose;
using test::EnterEquation;

QString Q(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QTest::qWait(20);
    }
    return true;
}

// Runs "Edit Setup Parameters" and makes the user's moves in the dialog it shows. A dialog or
// box still open after the time limit is closed, and the test fails.
void EditSetup(TfrmCalcMain& window, const std::function<void(TfrmOptionSetup&)>& moves) {
    bool moved = false;
    QTimer::singleShot(0, &window, [&] {
        auto* form = qobject_cast<TfrmOptionSetup*>(QApplication::activeModalWidget());
        if (!form) return;
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form));
        moves(*form);
        moved = true;
    });
    QTimer watchdog;
    watchdog.setInterval(30s);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        ADD_FAILURE() << "a modal window was still open: "
                      << (QApplication::activeModalWidget()
                              ? QApplication::activeModalWidget()->metaObject()->className()
                              : "none");
        watchdog.setInterval(500ms);
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            modal->done(QDialog::Rejected);
    });
    watchdog.start();
    window.actOptionsEditSetupExecute();
    EXPECT_TRUE(moved);
}

TEST(SetupEndToEnd, GroupMadeInTheDialogIsCalculated) {
    test::TPrivateBus bus;
    ASSERT_TRUE(bus.Started()) << bus.Error();
    test::ScratchFolder folder;
    const std::string ini = (folder / "OVSetup.ini").string();
    test::WriteFileText(ini,
                        "[General]\nRtuEnabled=True\nDecoderEnabled=False\nMBRtuEnabled=False\n"
                        "[DataServer]\nStorageOption=10\nDatabaseAlias=" +
                            std::string(test::SuiteDsn) + "\nDatabaseUser=ov\n");
    test::WriteFileText(folder / "OVCalc.OVG", "[Calc]\nLogDetail=0\nGroupNames=\n");
    test::TChildProcess server({OV_OVSETUP_PATH, ini});
    // The poller's line waits in a pipe until the group exists.
    const std::string fifo = (folder / "feed").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int feedLine = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(feedLine, 0);
    test::TChildProcess feed({OV_OVFEED_PATH, "--as", "rtu"}, folder / "feed.out",
                             folder / "feed.err", fifo);
    auto* names = QDBusConnection::sessionBus().interface();
    for (std::string_view name : {SetupBusName, DataSource(dsRtu).BusName}) {
        ASSERT_TRUE(WaitFor([&] { return names->isServiceRegistered(Q(name)).value(); })) << name;
    }

    TCalcMainOptions options;
    options.ExeFolder = QString::fromStdString(folder.Path().string() + "/");
    options.Suite.SetupProgram = OV_OVSETUP_PATH;
    options.Suite.SetupArguments = {QString::fromStdString(ini)};
    TfrmCalcMain window(options);
    new TMainWindowBus(&window);
    ASSERT_TRUE(QDBusConnection::sessionBus().registerObject(Q(MainWindowPath), &window,
                                                             QDBusConnection::ExportAdaptors));
    window.actRefreshParamsExecute();
    ASSERT_FALSE(window.ThreadStopped()) << window.StatusLines().join('\n').toStdString();
    const auto running = window.ThreadSerial();

    // Only New: the list has the group, but nothing was saved.
    EditSetup(window, [](TfrmOptionSetup& form) {
        form.btnNew->click();
        form.btnClose->click();
    });
    EXPECT_EQ(window.Groups().Count(), 1);
    EXPECT_EQ(window.ThreadSerial(), running);
    EXPECT_EQ(test::ReadFileText(folder / "OVCalc.OVG"), "[Calc]\nLogDetail=0\nGroupNames=\n");

    // The group made on the example database: RIVER1.Q = 2 * RIVER1.HG.
    EditSetup(window, [](TfrmOptionSetup& form) {
        EXPECT_EQ(form.cbxOutputStation->count(), 41);
        EnterEquation(form, "H * 2");
        Choose(form.cbxOutputStation, "RIVER1");
        Choose(form.cbxOutputSensor, "Q");
        EXPECT_TRUE(AssignSensor(form, 0, "HG"));
        test::Idle();
        form.BtnSave->click();
        form.btnClose->click();
    });
    EXPECT_TRUE(window.StatusLines().join('\n').contains(
        "    Setup has been changed. Restarting the calcuation thread."));
    EXPECT_EQ(window.ThreadSerial(), running + 1);
    ASSERT_FALSE(window.ThreadStopped());
    ASSERT_EQ(window.Thread()->Groups().Count(), 1);
    const std::string config = test::ReadFileText(folder / "OVCalc.OVG");
    for (const char* line : {"GroupNames=CalcGroup:1", "[CalcGroup:1]", "FuncName=H * 2",
                             "OutputStation=RIVER1", "OutputSensor=Q", "VariablesValue=HG"})
        EXPECT_NE(config.find(line), std::string::npos) << line << "\n" << config;

    const std::string line = "$REALTIME 12/08/2026 20:41:05,RIVER1.HG,1.5\n";
    ASSERT_EQ(::write(feedLine, line.data(), line.size()), static_cast<ssize_t>(line.size()));
    ::close(feedLine);
    std::string result;
    EXPECT_TRUE(WaitFor([&] {
        window.Controller().DataStore().GetValue("$TIMETAG", result);
        return !result.empty();
    })) << test::ReadFileText(folder / "feed.err");
    EXPECT_EQ(result, "12/08/2026 20:41:05,RIVER1.Q,3");
    window.StopThread();
    QDBusConnection::sessionBus().unregisterObject(Q(MainWindowPath));
}

}  // namespace
}  // namespace ov
