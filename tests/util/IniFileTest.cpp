// Tests of the INI reader/writer: matching rules, in-place edits that keep everything else,
// value encodings, and the atomic replacement of the file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "support/ScratchFolder.h"
#include "util/IniFile.h"

namespace ov {
namespace {

using test::ReadFileText;
using test::ScratchFolder;
using test::WriteFileText;

int CountFiles(const std::filesystem::path& folder) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

TEST(IniFileRead, MatchesWithoutCaseAndFirstOccurrenceWins) {
    ScratchFolder dir;
    WriteFileText(dir / "a.ini",
                  "; leading comment\n"
                  "orphan=before any section\n"
                  "[Calc]\n"
                  "LogDetail=3\n"
                  "  Spaced Key  =  spaced value  \n"
                  "logdetail=9\n"
                  "not a key line\n"
                  "=no key\n"
                  ";LogDetail=7\n"
                  "[ calc ]\n"
                  "LogDetail=5\n"
                  "Only=in second\n"
                  "[]\n"
                  "Empty=section\n");
    TIniFile ini(dir / "a.ini");
    EXPECT_EQ(ini.ReadString("CALC", "logDETAIL", "x"), "3");
    EXPECT_EQ(ini.ReadString("calc", "spaced key", "x"), "spaced value");
    // The second [calc] section is never seen by reads.
    EXPECT_EQ(ini.ReadString("Calc", "Only", "default"), "default");
    EXPECT_EQ(ini.ReadString("", "Empty", "x"), "section");
    EXPECT_EQ(ini.ReadString("Calc", "orphan", "x"), "x");
    EXPECT_EQ(ini.ReadString("Calc", "not a key line", "x"), "x");
    EXPECT_EQ(ini.ReadString("Missing", "LogDetail", "dflt"), "dflt");
    EXPECT_TRUE(ini.SectionExists("CALC"));
    EXPECT_FALSE(ini.SectionExists("Calc2"));
    EXPECT_TRUE(ini.ValueExists("calc", "LOGDETAIL"));
    EXPECT_FALSE(ini.ValueExists("calc", "Only"));
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Calc", ""}));
    EXPECT_EQ(ini.ReadSection("calc"), (std::vector<std::string>{"LogDetail", "Spaced Key"}));
    EXPECT_FALSE(ini.Modified());
}

TEST(IniFileRead, EmptyValueIsNotTheDefault) {
    ScratchFolder dir;
    WriteFileText(dir / "a.ini", "[S]\nK=\n");
    TIniFile ini(dir / "a.ini");
    EXPECT_EQ(ini.ReadString("S", "K", "default"), "");
    EXPECT_EQ(ini.ReadInteger("S", "K", 17), 17);
}

TEST(IniFileRead, IntegerAndBooleanEncodings) {
    struct Case {
        const char* text;
        std::int32_t expected;  // 1234 stands for the default
    };
    const Case cases[] = {
        {"12", 12},
        {"-7", -7},
        {"+5", 5},
        {" 42 ", 42},
        {"0x1F", 31},
        {"0XfF", 255},
        {"0xFFFFFFFF", -1},
        {"0x7fffffff", 2147483647},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", 1234},
        {"-2147483649", 1234},
        {"0x100000000", 1234},
        {"0x", 1234},
        {"0xG1", 1234},
        {"x10", 1234},
        {"12abc", 1234},
        {"1.5", 1234},
        {"abc", 1234},
        {"", 1234},
        {"+-1", 1234},
        {"--1", 1234},
        {"-", 1234},
        {"1 2", 1234},
        {"-0x10", 1234},
    };
    ScratchFolder dir;
    TIniFile ini(dir / "a.ini");
    for (const Case& c : cases) {
        ini.WriteString("S", "K", c.text);
        EXPECT_EQ(ini.ReadInteger("S", "K", 1234), c.expected) << "text: \"" << c.text << "\"";
    }

    const struct {
        const char* text;
        bool dflt;
        bool expected;
    } bools[] = {
        {"1", false, true},  {"0", true, false},    {"2", false, true},     {"-1", false, true},
        {"yes", true, true}, {"yes", false, false}, {"true", false, false}, {"0x0", true, false},
    };
    for (const auto& b : bools) {
        ini.WriteString("S", "B", b.text);
        EXPECT_EQ(ini.ReadBool("S", "B", b.dflt), b.expected) << "text: \"" << b.text << "\"";
    }
    EXPECT_TRUE(ini.ReadBool("S", "Missing", true));

    ini.WriteBool("S", "T", true);
    ini.WriteBool("S", "F", false);
    ini.WriteInteger("S", "I", -42);
    EXPECT_EQ(ini.ReadString("S", "T", ""), "1");
    EXPECT_EQ(ini.ReadString("S", "F", ""), "0");
    EXPECT_EQ(ini.ReadString("S", "I", ""), "-42");
}

TEST(IniFileRead, FloatsUseTheGivenDecimalSeparator) {
    ScratchFolder dir;
    TIniFile ini(dir / "a.ini");
    TFormatSettings comma;
    comma.DecimalSeparator = ',';

    ini.WriteFloat("Calc", "Dot", 1.0 / 1440, USFormatSettings());
    ini.WriteFloat("Calc", "Comma", 1.0 / 1440, comma);
    EXPECT_EQ(ini.ReadString("Calc", "Dot", ""), "0.000694444444444444");
    EXPECT_EQ(ini.ReadString("Calc", "Comma", ""), "0,000694444444444444");
    EXPECT_DOUBLE_EQ(ini.ReadFloat("Calc", "Dot", 0, USFormatSettings()), 1.0 / 1440);
    EXPECT_DOUBLE_EQ(ini.ReadFloat("Calc", "Comma", 0, comma), 1.0 / 1440);
    // The other separator is not a number in this locale.
    EXPECT_EQ(ini.ReadFloat("Calc", "Comma", 9.5, USFormatSettings()), 9.5);

    for (const char* bad : {"", "abc", "1.5x", "1,5,6"}) {
        ini.WriteString("Calc", "Bad", bad);
        EXPECT_EQ(ini.ReadFloat("Calc", "Bad", 2.25, USFormatSettings()), 2.25) << bad;
    }
    ini.WriteString("Calc", "Big", "1E20");
    EXPECT_EQ(ini.ReadFloat("Calc", "Big", 0, USFormatSettings()), 1e20);
}

TEST(IniFileWrite, EditsInPlaceAndKeepsEverythingElse) {
    ScratchFolder dir;
    const std::string original =
        "; OV Calc configuration, edited by hand\n"
        "\n"
        "[Calc]\n"
        "LogDetail=3\n"
        "; the delay in days\n"
        "ScheduleDelay=0.5\n"
        "\n"
        "; a foreign section\n"
        "[Other Program]\n"
        "Colour = blue  \n"
        "\n"
        "[CALC]\n"
        "LogDetail=99\n";
    WriteFileText(dir / "a.ini", original);
    TIniFile ini(dir / "a.ini");

    ini.WriteInteger("calc", "LOGDETAIL", 7);        // in place, spelling of the file kept
    ini.WriteString("Calc", "GroupNames", "G1,G2");  // after the last key of [Calc]
    ini.WriteString("G1", "FuncName", "A+B");        // new section at the end
    ini.WriteString("G1", "Enabled", "1");
    ini.WriteString("Other Program", "Size", "3");

    EXPECT_EQ(ini.Text(),
              "; OV Calc configuration, edited by hand\n"
              "\n"
              "[Calc]\n"
              "LogDetail=7\n"
              "; the delay in days\n"
              "ScheduleDelay=0.5\n"
              "GroupNames=G1,G2\n"
              "\n"
              "; a foreign section\n"
              "[Other Program]\n"
              "Colour = blue  \n"
              "Size=3\n"
              "\n"
              "[CALC]\n"
              "LogDetail=99\n"
              "\n"
              "[G1]\n"
              "FuncName=A+B\n"
              "Enabled=1\n");
    EXPECT_TRUE(ini.Modified());
    ini.UpdateFile();
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ(ReadFileText(dir / "a.ini"), ini.Text());
    TIniFile again(dir / "a.ini");
    EXPECT_EQ(again.Text(), ini.Text());
    EXPECT_EQ(again.ReadString("g1", "funcname", ""), "A+B");
}

TEST(IniFileWrite, RewritingTheSameValueIsNoChange) {
    ScratchFolder dir;
    WriteFileText(dir / "a.ini", "[S]\nK=v\n");
    TIniFile ini(dir / "a.ini");
    ini.WriteString("s", "k", "v");
    EXPECT_FALSE(ini.Modified());
    ini.WriteString("s", "k", "w");
    EXPECT_TRUE(ini.Modified());
}

TEST(IniFileWrite, ValuesCannotAddLinesAndBadNamesAreRefused) {
    ScratchFolder dir;
    TIniFile ini(dir / "a.ini");
    ini.WriteString("G", "FuncName", "A+B\r\n[Calc]\nEnabled=0");
    ini.WriteString("G", "Enabled", "1");
    EXPECT_EQ(ini.ReadString("G", "FuncName", ""), "A+B  [Calc] Enabled=0");
    EXPECT_EQ(ini.ReadString("G", "Enabled", ""), "1");
    EXPECT_FALSE(ini.SectionExists("Calc"));

    const std::string_view badKeys[] = {
        "", "  ", "a=b", ";c", "[k]", "x\ny", std::string_view("n\0l", 3)};
    for (std::string_view key : badKeys)
        EXPECT_THROW(ini.WriteString("G", key, "v"), EIniFileError) << key;
    EXPECT_THROW(ini.WriteString("G\n[X]", "K", "v"), EIniFileError);
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"G"}));

    // A section read from a file may hold a zero byte in its name: its keys read, but a write
    // to it is refused as for any name that cannot stand in a file, and changes nothing.
    WriteFileText(dir / "z.ini", std::string("[A\0B]\nk=v\n", 11));
    TIniFile zero(dir / "z.ini");
    const std::string name("A\0B", 3);
    EXPECT_EQ(zero.ReadString(name, "k", ""), "v");
    EXPECT_THROW(zero.WriteString(name, "k", "w"), EIniFileError);
    EXPECT_FALSE(zero.Modified());
    EXPECT_EQ(zero.ReadString(name, "k", ""), "v");
}

TEST(IniFileWrite, EraseAndDelete) {
    ScratchFolder dir;
    WriteFileText(dir / "a.ini", "[A]\nx=1\ny=2\n[B]\nz=3\n[a]\nw=4\n");
    TIniFile ini(dir / "a.ini");
    ini.DeleteKey("A", "X");
    EXPECT_FALSE(ini.ValueExists("A", "x"));
    EXPECT_EQ(ini.ReadString("A", "y", ""), "2");
    ini.EraseSection("a");
    EXPECT_EQ(ini.Text(), "[B]\nz=3\n");
    ini.WriteString("A", "x", "5");
    EXPECT_EQ(ini.Text(), "[B]\nz=3\n\n[A]\nx=5\n");
}

// Keys are found through an index kept with every edit: a deleted key uncovers its later
// duplicate, new keys go after the last key and before the comment and blank line that
// follow it, and each key stays found where its line now is.
TEST(IniFileWrite, KeysStayFoundThroughASequenceOfEdits) {
    ScratchFolder dir;
    WriteFileText(dir / "a.ini", "[A]\nx=1\n; note\nX=2\ny=3\n; end of A\n\n[B]\nz=4\n");
    TIniFile ini(dir / "a.ini");
    EXPECT_EQ(ini.KeyLine("B", "z"), 9u);
    ini.DeleteKey("A", "x");
    EXPECT_EQ(ini.KeyLine("B", "z"), 8u);  // the lines after a deleted one move up
    EXPECT_EQ(ini.ReadString("A", "x", ""), "2");
    EXPECT_EQ(ini.ReadSection("A"), (std::vector<std::string>{"X", "y"}));
    ini.WriteString("A", "n1", "5");
    ini.WriteString("A", " N2 ", "6");
    ini.WriteString("A", "x", "7");
    ini.DeleteKey("A", "y");
    ini.WriteString("A", "n1", "8");
    EXPECT_EQ(ini.Text(), "[A]\n; note\nX=7\nn1=8\nN2=6\n; end of A\n\n[B]\nz=4\n");
    for (const auto& [key, value] : {std::pair{"x", "7"}, {"N1", "8"}, {"n2", "6"}})
        EXPECT_EQ(ini.ReadString("A", key, "-"), value) << key;
    EXPECT_FALSE(ini.ValueExists("A", "y"));
    EXPECT_EQ(ini.KeyLine("A", "n2"), 5u);
    EXPECT_EQ(ini.ReadString("B", "z", ""), "4");
    EXPECT_EQ(ini.SectionLine("B"), 8u);
    EXPECT_EQ(ini.KeyLine("B", "z"), 9u);
    ini.WriteString("C", "k", "1");  // after a blank line that goes to the end of B
    EXPECT_EQ(ini.KeyLine("C", "k"), 12u);
    ini.EraseSection("A");
    EXPECT_EQ(ini.KeyLine("B", "z"), 2u);
    EXPECT_EQ(ini.KeyLine("C", "k"), 5u);
}

TEST(IniFileWrite, KeepsLineEndsAndByteOrderMark) {
    ScratchFolder dir;
    WriteFileText(dir / "a.ini", "\xEF\xBB\xBF[Calc]\r\nLogDetail=1\r\n");
    TIniFile ini(dir / "a.ini");
    EXPECT_EQ(ini.ReadInteger("Calc", "LogDetail", 0), 1);
    ini.WriteInteger("Calc", "LogDetail", 2);
    ini.WriteString("G", "K", "v");
    ini.UpdateFile();
    EXPECT_EQ(ReadFileText(dir / "a.ini"),
              "\xEF\xBB\xBF[Calc]\r\nLogDetail=2\r\n\r\n[G]\r\nK=v\r\n");
}

// A line that ends in a carriage return of its own (before the CR LF or LF of the line end)
// keeps it through every write: the file written reads back as the same lines. Other line
// ends are kept as the file's first one sets them.
TEST(IniFileWrite, WrittenTextReadsBackAsTheSameLines) {
    struct Case {
        const char* file;
        const char* written;  // after an edit of key E in section [A]
    };
    const Case cases[] = {
        {"[A]\nk=v\r\r\nE=1\n", "[A]\nk=v\r\r\nE=2\n"},
        {"[A]\r\nk=v\r\r\nE=1\r\n", "[A]\r\nk=v\r\r\nE=2\r\n"},
        {"[A]\nc\r\r\r\nE=1\n", "[A]\nc\r\r\r\nE=2\n"},
        {"[A]\nk=v\r\nE=1\n", "[A]\nk=v\nE=2\n"},          // a CR LF line of an LF file
        {"[A]\r\nk=v\nE=1\r\n", "[A]\r\nk=v\r\nE=2\r\n"},  // an LF line of a CR LF file
        {"[A]\nk=\rv\nE=1", "[A]\nk=\rv\nE=2\n"},
    };
    for (const Case& c : cases) {
        ScratchFolder dir;
        WriteFileText(dir / "a.ini", c.file);
        TIniFile ini(dir / "a.ini");
        ini.WriteInteger("A", "E", 2);
        ini.UpdateFile();
        EXPECT_EQ(ReadFileText(dir / "a.ini"), c.written) << c.file;
        TIniFile again(dir / "a.ini");
        EXPECT_EQ(again.Text(), c.written) << c.file;
        EXPECT_EQ(again.ReadString("A", "k", "x"), ini.ReadString("A", "k", "x")) << c.file;
    }
}

TEST(IniFileFile, MissingFileIsEmptyAndCreatedByTheFirstWrite) {
    ScratchFolder dir;
    const auto file = dir / "new.ini";
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("Calc", "LogDetail", "d"), "d");
    EXPECT_TRUE(ini.ReadSections().empty());
    ini.UpdateFile();  // nothing written yet: no file
    EXPECT_FALSE(std::filesystem::exists(file));
    ini.WriteString("Calc", "LogDetail", "4");
    EXPECT_FALSE(std::filesystem::exists(file));
    ini.UpdateFile();
    EXPECT_EQ(ReadFileText(file), "[Calc]\nLogDetail=4\n");
    EXPECT_EQ(CountFiles(dir.Path()), 1);  // no temporary file left behind
}

TEST(IniFileFile, UnreadableFileRaisesInsteadOfReadingEmpty) {
    ScratchFolder dir;
    std::filesystem::create_directory(dir / "a.ini");
    EXPECT_THROW(TIniFile(dir / "a.ini"), EIniFileError);
}

TEST(IniFileFile, FailedWriteLeavesTheOldFileAndKeepsTheChanges) {
    ScratchFolder dir;
    const auto file = dir / "a.ini";
    WriteFileText(file, "[Calc]\nLogDetail=1\n");
    ::chmod(file.c_str(), 0640);
    TIniFile ini(file);
    std::string big(20000, 'x');
    ini.WriteString("Calc", "Big", big);

    // A file-size limit makes the write fail part-way, as a full disk would.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool raised = false;
    try {
        ini.UpdateFile();
    } catch (const EIniFileError& e) {
        raised = true;
        EXPECT_NE(std::string(e.what()).find("Cannot write"), std::string::npos) << e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_TRUE(raised);
    EXPECT_EQ(ReadFileText(file), "[Calc]\nLogDetail=1\n");
    EXPECT_EQ(CountFiles(dir.Path()), 1);
    EXPECT_TRUE(ini.Modified());
    ini.UpdateFile();  // the changes were kept and now reach the file
    EXPECT_EQ(TIniFile(file).ReadString("Calc", "Big", ""), big);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(IniFileFile, MissingFolderIsAnError) {
    ScratchFolder dir;
    TIniFile ini(dir / "no such folder" / "a.ini");
    ini.WriteString("S", "K", "v");
    EXPECT_THROW(ini.UpdateFile(), EIniFileError);
    std::filesystem::create_directory(dir / "no such folder");
    ini.UpdateFile();
    EXPECT_EQ(ReadFileText(dir / "no such folder" / "a.ini"), "[S]\nK=v\n");
}

TEST(IniFileFile, WritesThroughASymbolicLink) {
    ScratchFolder dir;
    std::filesystem::create_directory(dir / "real");
    WriteFileText(dir / "real" / "a.ini", "[S]\nK=1\n");
    std::filesystem::create_symlink(dir / "real" / "a.ini", dir / "link.ini");
    TIniFile ini(dir / "link.ini");
    ini.WriteString("S", "K", "2");
    ini.UpdateFile();
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
    EXPECT_EQ(ReadFileText(dir / "real" / "a.ini"), "[S]\nK=2\n");
}

// A writer killed at any moment leaves the file either as it was or as it was to become,
// never truncated or mixed. The file is large so that a kill often lands inside a write.
TEST(IniFileFile, KilledWriterLeavesAWholeFile) {
    ScratchFolder dir;
    const auto file = dir / "OVCalc.OVG";
    std::string textA, textB;
    {
        TIniFile ini(file);
        for (int s = 0; s < 40; ++s)
            for (int k = 0; k < 40; ++k)
                ini.WriteString("Section" + std::to_string(s), "Key" + std::to_string(k),
                                std::string(3000, static_cast<char>('a' + k % 26)));
        ini.WriteString("Calc", "Turn", "B");
        textB = ini.Text();
        ini.WriteString("Calc", "Turn", "A");
        textA = ini.Text();
        ini.UpdateFile();
    }

    for (int round = 0; round < 8; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            try {
                TIniFile ini(file);
                for (int i = 0; i < 100000; ++i) {
                    ini.WriteString("Calc", "Turn", i % 2 == 0 ? "B" : "A");
                    ini.UpdateFile();
                }
            } catch (...) {
                ::_exit(2);
            }
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 23 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;
        const std::string now = ReadFileText(file);
        EXPECT_TRUE(now == textA || now == textB)
            << "round " << round << ": " << now.size() << " of " << textA.size() << " bytes";
    }
}

TEST(IniFileFile, FindsTheFileWithoutRegardToCase) {
    ScratchFolder dir;
    EXPECT_EQ(FindFileNoCase(dir.Path(), "OVCalc.OVG"), dir / "OVCalc.OVG");
    WriteFileText(dir / "ovcalc.ovg", "x");
    EXPECT_EQ(FindFileNoCase(dir.Path(), "OVCalc.OVG"), dir / "ovcalc.ovg");
    WriteFileText(dir / "OVCALC.OVG", "x");
    EXPECT_EQ(FindFileNoCase(dir.Path(), "OVCalc.OVG"), dir / "OVCALC.OVG");
    WriteFileText(dir / "OVCalc.OVG", "x");
    EXPECT_EQ(FindFileNoCase(dir.Path(), "OVCalc.OVG"), dir / "OVCalc.OVG");
    EXPECT_EQ(FindFileNoCase(dir / "missing", "OVCalc.OVG"), dir / "missing" / "OVCalc.OVG");
}

}  // namespace
}  // namespace ov
