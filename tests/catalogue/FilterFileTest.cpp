// Tests of filter files: an editor's text written line by line with CR LF byte for byte, read
// back line by line, and the files that cannot be written or read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "catalogue/FilterFile.h"
#include "support/ScratchFolder.h"

namespace ov {
namespace {

using test::ReadFileText;
using test::ScratchFolder;
using test::WriteFileText;
using Lines = std::vector<std::string>;

TEST(FilterFile, TextLinesAsAnEditorHoldsThem) {
    struct Case {
        const char* text;
        Lines lines;
    };
    const Case cases[] = {
        {"", {}},
        {"A", {"A"}},
        {"A\n", {"A"}},  // a line end at the very end starts no line
        {"A\n\n", {"A", ""}},
        {"\n", {""}},
        {"A AND \r\nB", {"A AND ", "B"}},
        {"A\rB\r\nC\nD", {"A", "B", "C", "D"}},
        {"A\n\rB", {"A", "", "B"}},  // LF CR is two line ends
        {"  A  \n\t", {"  A  ", "\t"}},
    };
    for (const Case& k : cases) EXPECT_EQ(SplitTextLines(k.text), k.lines) << k.text;
}

TEST(FilterFile, WritesEveryLineWithCrLfAndReadsItBack) {
    struct Case {
        std::string text;   // the editor's
        std::string bytes;  // the file's
        Lines lines;        // read back
    };
    const Case cases[] = {
        {"OV_SITES.BASIN   =  'North' AND \nOV_SITES.PRIMARY_CHANNEL   >  7",
         "OV_SITES.BASIN   =  'North' AND \r\nOV_SITES.PRIMARY_CHANNEL   >  7\r\n",
         {"OV_SITES.BASIN   =  'North' AND ", "OV_SITES.PRIMARY_CHANNEL   >  7"}},
        {"", "", {}},
        {"A\n", "A\r\n", {"A"}},
        {"\n\nA", "\r\n\r\nA\r\n", {"", "", "A"}},
        {"  A  ", "  A  \r\n", {"  A  "}},
        {"Qu\xE9"
         "bec\r\nB",
         "Qu\xE9"
         "bec\r\nB\r\n",
         {"Qu\xE9"
          "bec",
          "B"}},  // 8-bit as is
        {std::string("A\0B", 3), std::string("A\0B\r\n", 5), {std::string("A\0B", 3)}},
    };
    ScratchFolder folder;
    const std::string file = (folder / "filter.flt").string();
    WriteFileText(file, "an older and much longer content that must go\r\n");
    for (const Case& k : cases) {
        ASSERT_TRUE(WriteFilterFile(file, k.text)) << k.text;
        EXPECT_EQ(ReadFileText(file), k.bytes) << k.text;
        Lines lines{"stale"};
        EXPECT_TRUE(ReadFilterFileLines(file, lines)) << k.text;
        EXPECT_EQ(lines, k.lines) << k.text;
    }
}

TEST(FilterFile, ReadsLinesEndingInLfCrOrNothing) {
    struct Case {
        const char* bytes;
        Lines lines;
    };
    const Case cases[] = {
        {"A AND \nB", {"A AND ", "B"}},
        {"A\rB\r", {"A", "B"}},
        {"A\r\n\r\n", {"A", ""}},
        {"\r\n", {""}},
    };
    ScratchFolder folder;
    for (const Case& k : cases) {
        WriteFileText(folder / "f.flt", k.bytes);
        Lines lines;
        EXPECT_TRUE(ReadFilterFileLines((folder / "f.flt").string(), lines)) << k.bytes;
        EXPECT_EQ(lines, k.lines) << k.bytes;
    }
}

TEST(FilterFile, FilesThatCannotBeWrittenOrRead) {
    ScratchFolder folder;
    const std::string missingFolder = (folder / "no" / "f.flt").string();
    EXPECT_FALSE(WriteFilterFile(missingFolder, "A"));
    EXPECT_FALSE(WriteFilterFile(folder.Path().string(), "A"));  // a folder
    // A full disk shows when the written bytes are flushed.
    if (::access("/dev/full", W_OK) == 0) {
        EXPECT_FALSE(WriteFilterFile("/dev/full", "A AND \nB"));
    }

    const std::string fifo = (folder / "pipe.flt").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // nobody writes to it: a read would block
    for (const std::string& name : {missingFolder, folder.Path().string(), fifo}) {
        Lines lines{"stale"};
        EXPECT_FALSE(ReadFilterFileLines(name, lines)) << name;
        EXPECT_TRUE(lines.empty()) << name;
    }
}

}  // namespace
}  // namespace ov
