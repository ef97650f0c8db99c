// The status log without a window: newest first, cut from 640 to 512 lines with the view told
// before the new line, and the log file switched on, off and on again.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <string>

#include "ScratchFolder.h"
#include "app/StatusLog.h"

namespace ov {
namespace {

using test::ScratchFolder;

TEST(StatusLog, NewestFirstAndCutFrom640To512) {
    TStatusLog log;
    QStringList events;
    QObject::connect(&log, &TStatusLog::Trimmed, [&](int kept) {
        events << "trimmed " + QString::number(kept) + " of " + QString::number(log.Count());
    });
    QObject::connect(&log, &TStatusLog::Added,
                     [&](const QString& line) { events << "added " + line.section("    ", 1); });
    for (int i = 1; i <= 640; ++i) log.Add("line " + QString::number(i));
    ASSERT_EQ(log.Count(), 640);
    EXPECT_TRUE(log.Lines().first().endsWith("    line 640"));
    EXPECT_TRUE(log.Lines().last().endsWith("    line 1"));

    events.clear();
    log.Add("line 641");
    EXPECT_EQ(events, (QStringList{"trimmed 511 of 511", "added line 641"}));
    ASSERT_EQ(log.Count(), 512);
    EXPECT_TRUE(log.Lines()[1].endsWith("    line 640"));
    EXPECT_TRUE(log.Lines()[511].endsWith("    line 130"));

    QSignalSpy cleared(&log, &TStatusLog::Cleared);
    log.Clear();
    EXPECT_EQ(cleared.count(), 1);
    EXPECT_EQ(log.Count(), 0);
}

TEST(StatusLog, LogFileAppendsWhileOnAndKeepsEarlierLines) {
    ScratchFolder folder;
    const auto file = folder / "status.log";
    test::WriteFileText(file, "earlier run\n");
    TStatusLog log;
    EXPECT_FALSE(log.OpenLogFile(QString::fromStdString((folder / "no/such/x.log").string())));
    EXPECT_FALSE(log.LogToFile());

    const QString name = QString::fromStdString(file.string());
    log.Add("before");
    ASSERT_TRUE(log.OpenLogFile(name));
    log.Add("first");
    log.CloseLogFile();
    log.Add("while off");
    ASSERT_TRUE(log.OpenLogFile(name));
    log.Add("second");
    log.CloseLogFile();

    const std::string text = test::ReadFileText(file);
    const auto first = text.find("    first\n"), second = text.find("    second\n");
    EXPECT_EQ(text.rfind("earlier run\n", 0), 0u) << text;
    ASSERT_NE(first, std::string::npos) << text;
    ASSERT_NE(second, std::string::npos) << text;
    EXPECT_LT(first, second);
    EXPECT_EQ(text.find("before"), std::string::npos);
    EXPECT_EQ(text.find("while off"), std::string::npos);
}

}  // namespace
}  // namespace ov
