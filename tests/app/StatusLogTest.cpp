// The status log without a window: newest first, cut from 640 to 512 lines with the view told
// before the new line, the log file switched on, off and on again, the engine's 8-bit text
// shown as Latin-1 and written as UTF-8, and a line of megabytes shown bounded.
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

TEST(StatusLog, EngineTextIsLatin1AndLongLinesAreBounded) {
    ScratchFolder folder;
    const auto file = folder / "status.log";
    TStatusLog log;
    ASSERT_TRUE(log.OpenLogFile(QString::fromStdString(file.string())));

    // "50°" from a source: byte 0xB0 is the degree sign, not a broken UTF-8 sequence.
    log.AddEngineText("Error 1601: Value is not a number - 50\xB0", 39);
    EXPECT_TRUE(log.Lines().first().endsWith(QStringLiteral("not a number - 50\u00B0")))
        << log.Lines().first().toStdString();

    // 16 MB in one line: the first 1024 characters, then how long it was.
    const std::string huge(16u << 20, '7');
    log.AddEngineText(huge, huge.size());
    const QString shown = log.Lines().first().section("    ", 1);
    EXPECT_EQ(shown, QString(1024, '7') + QStringLiteral("\u2026 (16777216 characters)"));
    // A line the output buffer has cut already keeps the length it had.
    log.AddEngineText(std::string(1024, 'x'), 5000);
    EXPECT_TRUE(log.Lines().first().endsWith(QStringLiteral("x\u2026 (5000 characters)")));
    // Exactly at the limit nothing is added; QString text is bounded the same way.
    log.Add(QString(1024, 'y'));
    EXPECT_TRUE(log.Lines().first().endsWith(QString(1024, 'y')));
    EXPECT_FALSE(log.Lines().first().contains(QChar(0x2026)));
    log.Add(QString(2000, 'z'));
    EXPECT_TRUE(log.Lines().first().endsWith(QStringLiteral("z\u2026 (2000 characters)")));
    log.CloseLogFile();

    // The log file holds the same lines in UTF-8.
    const std::string text = test::ReadFileText(file);
    EXPECT_NE(text.find("not a number - 50\xC2\xB0\n"), std::string::npos);
    EXPECT_NE(text.find(std::string(1024, '7') + "\xE2\x80\xA6 (16777216 characters)\n"),
              std::string::npos);
    EXPECT_LT(text.size(), 8000u);
}

}  // namespace
}  // namespace ov
