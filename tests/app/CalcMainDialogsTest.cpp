// The main window's small commands as the user runs them: the about box and the options dialog
// opened through their commands (acted on from inside their modal loops), and Restore, the
// call a second start of the program makes on the running window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "AppTestSupport.h"
#include "PrivateBus.h"
#include "ScratchFolder.h"
#include "app/CalcMain.h"
#include "app/MainWindowBus.h"
#include "app/Program.h"
#include "bus/InstanceLock.h"
#include "busnames/BusNames.h"
#include "ui/AboutForm.h"
#include "ui/ExitConfirm.h"
#include "ui/Help.h"
#include "ui/Options.h"
#include "util/ProgramInfo.h"

namespace ov::test {
extern TPrivateBus* AppTestBus;
}

namespace ov {
namespace {

using namespace std::chrono_literals;
using test::Offline;
using test::ScratchFolder;
using test::WaitFor;

QString Q(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

// Triggers command and, once the modal dialog of type Dialog it opens is up, runs act on it
// from inside the dialog's own event loop; act closes it. True when such a dialog showed.
// A dialog still open after act (a failed check returned early), or a modal of another type
// that stays up, is rejected, so that a failing test cannot hang.
template <class Dialog>
bool RunModalCommand(QAction* command, const std::function<void(Dialog&)>& act) {
    bool seen = false;
    int ticks = 0;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<Dialog*>(modal);
        if (dialog == nullptr) {
            if (modal != nullptr && ++ticks > 1000) {
                if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
            }
            return;
        }
        poll.stop();
        seen = true;
        QPointer<Dialog> guard(dialog);
        act(*dialog);
        if (guard && guard->isVisible()) guard->reject();
    });
    poll.start();
    command->trigger();
    poll.stop();
    return seen;
}

// Closing without the exit confirmation, as after the setup server's shutdown command.
class TForcedCloseScope {
  public:
    TForcedCloseScope() { ForcedClose = true; }
    ~TForcedCloseScope() { ForcedClose = false; }
};

TEST(MainWindowCommands, AboutShowsTheProgramsVersionAndTheWindowGoesOn) {
    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    window.show();
    window.actClearStatusExecute();

    // The version of --version, and the build number after the third dot of the file version.
    const QString version3 = QString::fromLatin1(ProgramVersion().data(), ProgramVersion().size());
    const QString fileVersion = QString::fromLatin1(FileVersion().data(), FileVersion().size());
    ASSERT_EQ(version3.count('.'), 2) << version3.toStdString();
    ASSERT_EQ(fileVersion.section('.', 0, 2), version3);
    const QString expectedVersion =
        QString("Version %1 (Build %2)").arg(version3, fileVersion.section('.', 3));

    QString caption, appName, partNumber, version;
    bool drainedWhileOpen = false;
    const bool shown = RunModalCommand<TfmAbout>(window.Action("actAbout"), [&](TfmAbout& box) {
        caption = box.windowTitle();
        appName = box.AppNameLabel->text();
        partNumber = box.PartNumberLabel->text();
        version = box.lblVersion->text();
        // The window's one-second timer keeps moving status lines while the box is open.
        window.OutputBuffer().Add("while the box is open", okStatus);
        drainedWhileOpen = WaitFor([&] { return window.OutputBuffer().Count() == 0; });
        box.btnOK->click();
    });
    ASSERT_TRUE(shown);
    EXPECT_EQ(caption, "About OV Calc");
    EXPECT_EQ(appName, "OV Calc");
    EXPECT_EQ(partNumber, "XXXX-XXXX");
    EXPECT_EQ(version, expectedVersion);
    EXPECT_TRUE(drainedWhileOpen);

    // The box is gone (made for one showing), and the window carries on.
    EXPECT_TRUE(window.findChildren<TfmAbout*>().isEmpty());
    EXPECT_TRUE(window.isVisible());
    ASSERT_FALSE(window.StatusLines().isEmpty());
    EXPECT_TRUE(window.StatusLines().first().endsWith("    while the box is open"));
    EXPECT_EQ(window.StatusPanelText(0), "while the box is open");
    window.LogStatus(QString("after the box"));
    EXPECT_TRUE(window.StatusLines().first().endsWith("    after the box"));
    // It opens again; Escape closes it too.
    EXPECT_TRUE(RunModalCommand<TfmAbout>(
        window.Action("actAbout"), [](TfmAbout& box) { QTest::keyClick(&box, Qt::Key_Escape); }));
    EXPECT_TRUE(window.isVisible());
}

// Standard error of this process, written to a file for the time being.
class TStderrCapture {
  public:
    explicit TStderrCapture(std::filesystem::path file) : file_(std::move(file)) {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~TStderrCapture() { Restore(); }
    // Restores standard error; what was written meanwhile.
    std::string Restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
        return test::ReadFileText(file_);
    }

  private:
    std::filesystem::path file_;
    int saved_ = -1;
};

// Help that cannot be shown (no help file, no web browser) is said in a message box naming
// the file, and on standard error; help that opens says nothing; the window carries on.
TEST(MainWindowCommands, HelpThatCannotBeOpenedIsSaid) {
    ScratchFolder folder;
    ScratchFolder logs;
    TfrmCalcMain window(Offline(folder));
    window.show();
    const QString help = QString::fromStdString((folder / "OVCalc.html").string());
    QList<QUrl> opened;
    bool opens = true;
    SetHelpOpener([&](const QUrl& url) {
        opened << url;
        return opens;
    });
    // The box's text when the command shows one; a null text when it shows none.
    auto boxOf = [&](const char* command) {
        QString text;
        RunModalCommand<QMessageBox>(window.Action(command), [&](QMessageBox& box) {
            text = box.text();
            box.accept();
        });
        return text;
    };

    TStderrCapture missing(logs / "missing.err");
    const QString noFile = "Cannot open the help file " + help + ": there is no such file.";
    EXPECT_EQ(boxOf("actHelp"), noFile);
    // The offscreen platform adds notes of its own when the box shows.
    EXPECT_EQ(missing.Restore().rfind("test_app: " + noFile.toStdString() + "\n", 0), 0u);
    EXPECT_TRUE(opened.isEmpty());

    test::WriteFileText(folder / "OVCalc.html", "<html></html>\n");
    EXPECT_TRUE(boxOf("actHelp").isNull());
    EXPECT_TRUE(boxOf("actHelpContents").isNull());
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], HelpUrl(help, "contents"));
    EXPECT_EQ(opened[1], HelpUrl(help, "index"));

    opens = false;  // no web browser
    TStderrCapture noBrowser(logs / "browser.err");
    const QString box = boxOf("actHelpContents");
    const std::string said = noBrowser.Restore();
    EXPECT_TRUE(
        box.startsWith("Cannot open the help file " + help + ": the desktop has no program"))
        << box.toStdString();
    EXPECT_EQ(said.rfind("test_app: " + box.toStdString() + "\n", 0), 0u) << said;
    SetHelpOpener({});
    EXPECT_TRUE(window.isVisible());
}

// The level the options dialog starts from comes from the configuration file (where a hand
// edit can leave 12); the one it ends with is the window's level and is written back when the
// window closes, so that the next start has it.
struct TOptionsCase {
    const char* name;
    const char* configLevel;  // "LogDetail=" in OVCalc.OVG; nullptr: no file
    int shownIndex;           // the selection the dialog opens with
    int choose;               // the item picked; -1: none picked
    bool ok;                  // OK, else Cancel
    std::int32_t levelAfter;
};
void PrintTo(const TOptionsCase& c, std::ostream* os) {
    *os << c.name;
}

class OptionsCommand : public ::testing::TestWithParam<TOptionsCase> {};

TEST_P(OptionsCommand, ShowsTheLevelAndOkSetsItForThisAndTheNextRun) {
    const TOptionsCase& c = GetParam();
    ScratchFolder folder;
    if (c.configLevel != nullptr)
        test::WriteFileText(folder / "OVCalc.OVG",
                            std::string("[Calc]\nLogDetail=") + c.configLevel + "\nGroupNames=\n");
    {
        TfrmCalcMain window(Offline(folder));
        int shownIndex = -2;
        int itemCount = 0;
        const bool shown =
            RunModalCommand<TfrmOptions>(window.Action("actAppOptions"), [&](TfrmOptions& form) {
                shownIndex = form.cboLogDetail->currentIndex();
                itemCount = form.cboLogDetail->count();
                if (c.choose >= 0) form.cboLogDetail->setCurrentIndex(c.choose);
                (c.ok ? form.btnOK : form.btnCancel)->click();
            });
        ASSERT_TRUE(shown);
        EXPECT_EQ(itemCount, 11);
        EXPECT_EQ(shownIndex, c.shownIndex);
        EXPECT_EQ(window.LogDetail(), c.levelAfter);
        EXPECT_TRUE(window.findChildren<TfrmOptions*>().isEmpty());

        TForcedCloseScope forced;
        EXPECT_TRUE(window.close());
    }
    TfrmCalcMain next(Offline(folder));
    EXPECT_EQ(next.LogDetail(), c.levelAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, OptionsCommand,
    ::testing::Values(TOptionsCase{"OkTakesTheChosenLevel", "3", 3, 7, true, 7},
                      TOptionsCase{"CancelAfterChoosingKeepsTheLevel", "3", 3, 7, false, 3},
                      TOptionsCase{"NoFileStartsAtZero", nullptr, 0, 10, true, 10},
                      TOptionsCase{"HandEdited12ShowsNoSelectionAndCancelKeepsIt", "12", -1, -1,
                                   false, 12},
                      TOptionsCase{"HandEdited12WithOkUnchosenGivesMinus1", "12", -1, -1, true, -1},
                      TOptionsCase{"HandEdited12ThenChosen", "12", -1, 0, true, 0}),
    [](const ::testing::TestParamInfo<TOptionsCase>& info) {
        return std::string(info.param.name);
    });

// How the window is left before Restore, and what Restore must make of it.
struct TRestoreCase {
    const char* name;
    std::function<void(TfrmCalcMain&)> prepare;
    bool maximizedAfter;
};
void PrintTo(const TRestoreCase& c, std::ostream* os) {
    *os << c.name;
}

class RestoreCall : public ::testing::TestWithParam<TRestoreCase> {};

TEST_P(RestoreCall, ShowsTheWindowNormalUnlessMaximized) {
    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    GetParam().prepare(window);
    window.Restore();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
    EXPECT_EQ(window.isMaximized(), GetParam().maximizedAfter);
    // Twice is the same as once.
    window.Restore();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());
}

INSTANTIATE_TEST_SUITE_P(
    States, RestoreCall,
    ::testing::Values(TRestoreCase{"NeverShown", [](TfrmCalcMain&) {}, false},
                      TRestoreCase{"Hidden",
                                   [](TfrmCalcMain& w) {
                                       w.show();
                                       w.hide();
                                   },
                                   false},
                      TRestoreCase{"Minimized", [](TfrmCalcMain& w) { w.showMinimized(); }, false},
                      TRestoreCase{"HiddenWhileMinimized",
                                   [](TfrmCalcMain& w) {
                                       w.showMinimized();
                                       w.hide();
                                   },
                                   false},
                      TRestoreCase{"Maximized", [](TfrmCalcMain& w) { w.showMaximized(); }, true}),
    [](const ::testing::TestParamInfo<TRestoreCase>& info) {
        return std::string(info.param.name);
    });

// The whole way: this process holds the single-instance lock and offers the window on the bus
// as the running program does; a second ovcalc finds the lock taken, calls Restore and ends.
TEST(MainWindowCommands, SecondStartRestoresTheRunningWindowThroughTheBus) {
    ASSERT_TRUE(test::AppTestBus && test::AppTestBus->Started());
    const QString ovcalc = OV_OVCALC_PATH;
    if (!QFileInfo::exists(ovcalc)) GTEST_SKIP() << "ovcalc is not built";

    TInstanceLock instance(InstanceLockName(test::AppTestBus->Address()));
    ASSERT_EQ(instance.TryAcquire(), ilAcquired) << instance.Error();

    ScratchFolder folder;
    TfrmCalcMain window(Offline(folder));
    new TMainWindowBus(&window);  // owned by the window
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.registerObject(Q(MainWindowPath), &window, QDBusConnection::ExportAdaptors));
    ASSERT_TRUE(bus.registerService(Q(CalcBusName)));
    window.showMinimized();
    window.hide();
    ASSERT_FALSE(window.isVisible());

    test::TChildProcess second({ovcalc.toStdString(), "-platform", "offscreen"});
    std::optional<int> status;
    // Events are served meanwhile: the call arrives at this process's main thread.
    EXPECT_TRUE(WaitFor([&] { return (status = second.Wait(0ms)).has_value(); }, 15s));
    EXPECT_EQ(status.value_or(-1), 0);
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isMinimized());

    bus.unregisterService(Q(CalcBusName));
    bus.unregisterObject(Q(MainWindowPath));
}

}  // namespace
}  // namespace ov
