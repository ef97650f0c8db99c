// The program's start: the single-instance lock name, and a second start of ovcalc on the same
// bus leaving the first instance alone (and saying so when it runs in a terminal).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <string>

#include "PrivateBus.h"
#include "ScratchFolder.h"
#include "app/Program.h"
#include "busnames/BusNames.h"

namespace ov::test {
extern TPrivateBus* AppTestBus;
}

namespace ov {
namespace {

using namespace std::chrono_literals;

TEST(Program, InstanceLockNamePerSessionBus) {
    const std::string a = InstanceLockName("unix:path=/tmp/dbus-a");
    const std::string b = InstanceLockName("unix:path=/tmp/dbus-b");
    EXPECT_EQ(a.rfind("OVCalcMutex-", 0), 0u);
    EXPECT_EQ(a.size(), std::string("OVCalcMutex-").size() + 8);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, InstanceLockName("unix:path=/tmp/dbus-a"));
}

bool CalcNameOwned() {
    return QDBusConnection::sessionBus()
        .interface()
        ->isServiceRegistered(QString::fromLatin1(CalcBusName.data(), CalcBusName.size()))
        .value();
}

TEST(Program, SecondStartEndsAndLeavesTheFirstRunning) {
    ASSERT_TRUE(test::AppTestBus && test::AppTestBus->Started());
    const QString ovcalc = OV_OVCALC_PATH;
    if (!QFileInfo::exists(ovcalc)) GTEST_SKIP() << "ovcalc is not built";
    test::TChildProcess first({ovcalc.toStdString(), "-platform", "offscreen"});
    auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!CalcNameOwned() && std::chrono::steady_clock::now() < deadline) QTest::qWait(20);
    ASSERT_TRUE(CalcNameOwned());

    // Without a terminal the second start says nothing; from a terminal (script gives it one)
    // it says that OV Calc runs, with the running one's process id, and was asked forward.
    test::ScratchFolder folder;
    test::TChildProcess second({ovcalc.toStdString(), "-platform", "offscreen"}, folder / "out",
                               folder / "err");
    auto status = second.Wait(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(test::ReadFileText(folder / "err").find("already running"), std::string::npos);
    test::TChildProcess fromTerminal(
        {"script", "-qec", ovcalc.toStdString() + " -platform offscreen", "/dev/null"},
        folder / "terminal", folder / "script.err", "/dev/null");
    status = fromTerminal.Wait(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    EXPECT_NE(test::ReadFileText(folder / "terminal")
                  .find("ovcalc: OV Calc is already running (process " +
                        std::to_string(first.Pid()) + "); it was asked to come to the front"),
              std::string::npos)
        << test::ReadFileText(folder / "terminal") << test::ReadFileText(folder / "script.err");

    EXPECT_FALSE(first.Wait(0ms).has_value());  // still running
    EXPECT_TRUE(CalcNameOwned());
}

// A client of the suite finds the running program's DDE service on its bus name.
TEST(Program, RunningProgramOffersItsDdeService) {
    ASSERT_TRUE(test::AppTestBus && test::AppTestBus->Started());
    const QString ovcalc = OV_OVCALC_PATH;
    if (!QFileInfo::exists(ovcalc)) GTEST_SKIP() << "ovcalc is not built";
    // A runtime folder of its own: the automation server's lock there is one per folder, and
    // an ovcalc of another test running at the same time must not keep this one off its bus.
    test::ScratchFolder folder;
    std::filesystem::permissions(folder.Path(), std::filesystem::perms::owner_all);
    test::TChildProcess program({"env", "XDG_RUNTIME_DIR=" + folder.Path().string(),
                                 ovcalc.toStdString(), "-platform", "offscreen"});
    auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!CalcNameOwned() && std::chrono::steady_clock::now() < deadline) QTest::qWait(20);
    ASSERT_TRUE(CalcNameOwned());

    test::TChildProcess gdbus(
        {"gdbus", "call", "--session", "--dest", "OVCalc.OVCalcCOM", "--object-path", "/DDE",
         "--method", "OVCalc.DDEML.Connect", "OVCalc", "System"},
        folder / "out.txt", folder / "err.txt");
    auto status = gdbus.Wait(10s);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0) << test::ReadFileText(folder / "err.txt");
    const std::string out = test::ReadFileText(folder / "out.txt");
    EXPECT_EQ(out.rfind("(uint32 ", 0), 0u) << out;
    EXPECT_NE(out, "(uint32 0,)\n");
}

}  // namespace
}  // namespace ov
