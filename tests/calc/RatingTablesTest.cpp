// Rating tables: the line rules of table files, the cache's life (what is cached, what is
// looked for again), the interval choice, every interpolation kind with its fallbacks, and
// the file name rules (folder, extension, "\" and "/", letter case).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "calc/RatingTables.h"
#include "support/ScratchFolder.h"

namespace ov::rating {
namespace {

using test::ScratchFolder;
using test::WriteFileText;

// The example gauge of the documentation: 0.5 -> 0, 1 -> 12.5, 2 -> 48.
constexpr const char* River1 =
    ";Rating for the river gauge\r\n"
    "LINEAR\r\n"
    "0.5,0\r\n"
    "1.0,12.5\r\n"
    "2.0,48\r\n";

// A table folder with its own cache.
class RatingTablesTest : public ::testing::Test {
  protected:
    RatingTablesTest() : tables([this] { return folder; }) {}

    void Write(const std::string& fileName, const std::string& text) {
        WriteFileText(scratch / fileName, text);
    }
    double Value(const std::string& name, double x) { return tables.TableValue(name, x); }

    ScratchFolder scratch;
    std::string folder = scratch.Path().string();
    TTables tables;
};

// Reads text as a table file and returns it (kind, points); read tells whether a kind line was
// found.
std::unique_ptr<TTable> Read(const std::string& text, bool* read = nullptr) {
    auto t = std::make_unique<TTable>("T");
    const bool r = ReadTableText(text, *t);
    if (read != nullptr) *read = r;
    return t;
}

std::vector<std::vector<double>> PointsOf(const std::unique_ptr<TTable>& t) {
    std::vector<std::vector<double>> v;
    for (std::int32_t i = 0; i < t->Points.Count(); ++i) {
        const TDataItem* p = t->Points.ItemAt(i);
        v.push_back({p->X, p->Y, p->Offset, p->Shift});
    }
    return v;
}

// ---- File rules ---------------------------------------------------------------------------

TEST(RatingTableFile, KindLine) {
    const struct {
        const char* line;
        TInterpolationKind kind;
    } cases[] = {
        {"LINEAR", ikLinear},
        {"semilogy", ikSemiLogY},
        {"SemiLogX", ikSemiLogX},
        {"LOGLOG", ikLogLog},
        {"GSLINEAR", ikGsLinear},
        {"GSLOGLOG", ikGsLogLog},
        {"loglog,any text", ikLogLog},
        {"LINEAR,", ikLinear},
        {" LOGLOG", ikNone},
        {"LOGLOG ", ikNone},
        {"LOG LOG", ikNone},
        {"CUBIC", ikNone},
        {"N/A", ikNone},
        {"LINEARX", ikNone},
        {"GSLINEAR;note", ikNone},
        {"1.0,2.0", ikNone},
    };
    for (const auto& c : cases) {
        bool read = false;
        const auto t = Read(std::string(c.line) + "\r\n", &read);
        EXPECT_TRUE(read) << c.line;
        EXPECT_EQ(t->Interpolation, c.kind) << c.line;
    }
}

TEST(RatingTableFile, OnlySkippedLinesMeanNoKind) {
    for (const char* text : {"", "\r\n\r\n", ";LINEAR\r\n;0,1\r\n", "\n;only a note"}) {
        bool read = true;
        Read(text, &read);
        EXPECT_FALSE(read) << '[' << text << ']';
    }
}

TEST(RatingTableFile, PointLinesThatAreReadAndSkipped) {
    const std::string tail81 = "3," + std::string(77, '0') + "15";  // 81 characters
    ASSERT_EQ(tail81.size(), 81u);
    const struct {
        std::string line;
        bool valid;
        double x, y;
    } cases[] = {
        {"1.0,12.5", true, 1, 12.5},    {"1.0,12.5   and a note", true, 1, 12.5},
        {"1.0,12.5,99", true, 1, 12.5}, {"-1.5E2,+2.5e-1", true, -150, 0.25},
        {"1.0xyz,12.5", true, 1, 12.5},  // text after a number up to the comma is passed
        {tail81, true, 3, 1},            // the 81st character is not read
        {"1.0, 12.5", false, 0, 0},      // a blank before a number empties it
        {" 1.0,12.5", false, 0, 0},     {"1.0", false, 0, 0},
        {"1.0,", false, 0, 0},          {",12.5", false, 0, 0},
        {"abc,12.5", false, 0, 0},      {"1e999,2", false, 0, 0},
        {";1.0,12.5", false, 0, 0},
    };
    for (const auto& c : cases) {
        const auto t = Read("LINEAR\r\n" + c.line + "\r\n");
        ASSERT_EQ(t->Points.Count(), c.valid ? 1 : 0) << c.line;
        if (c.valid) {
            EXPECT_EQ(t->Points.ItemAt(0)->X, c.x) << c.line;
            EXPECT_EQ(t->Points.ItemAt(0)->Y, c.y) << c.line;
        }
    }
}

TEST(RatingTableFile, GaugeKindsReadFourNumbersTheOthersTwo) {
    const auto gs = Read("GSLOGLOG\n1,2,0.5,0.25\n3,4,0.5\n5,6,0.5,0.1,junk\n");
    EXPECT_EQ(PointsOf(gs),
              (std::vector<std::vector<double>>{{1, 2, 0.5, 0.25}, {5, 6, 0.5, 0.1}}));
    const auto lin = Read("LINEAR\n1,2,0.5,0.25\n");
    EXPECT_EQ(PointsOf(lin), (std::vector<std::vector<double>>{{1, 2, 0, 0}}));
    // A fourth number beyond the 80th character is missing.
    const auto cut = Read("GSLINEAR\n1,2,3" + std::string(75, '0') + ",4\n");
    EXPECT_EQ(cut->Points.Count(), 0);
}

TEST(RatingTableFile, LineEndsOrderAndDuplicates) {
    const std::vector<std::vector<double>> want{{0.5, 0, 0, 0}, {1, 12.5, 0, 0}, {2, 48, 0, 0}};
    EXPECT_EQ(PointsOf(Read(River1)), want);
    EXPECT_EQ(PointsOf(Read("LINEAR\n0.5,0\n1.0,12.5\n2.0,48")), want);    // lone LF, no last end
    EXPECT_EQ(PointsOf(Read("LINEAR\r0.5,0\r1.0,12.5\r2.0,48\r")), want);  // lone CR
    // Any order; of two points with the same X the first read stays.
    EXPECT_EQ(PointsOf(Read("LINEAR\n\n2.0,48\n;note\n1.0,12.5\n0.5,0\n1,99\n")), want);
    // Nothing is read for a table without a kind.
    EXPECT_EQ(Read("CUBIC\n0.5,0\n1.0,12.5\n")->Points.Count(), 0);
}

// ---- Interval choice ----------------------------------------------------------------------

TEST(RatingTableInterval, PointsAndSelectedOffsetAndShift) {
    const auto t = Read("GSLINEAR\n1,10,0.1,1\n2,20,0.2,2\n3,30,0.3,3\n");
    const struct {
        double x;
        double x1, x2, offset, shift;
    } cases[] = {
        {0.5, 1, 2, 0.1, 1},  // below the first: the first two
        {1.0, 1, 2, 0.1, 1},  // on a point: that point and the next
        {1.5, 1, 2, 0.1, 1},  // between: the lower point's offset and shift
        {2.0, 2, 3, 0.2, 2}, {2.9, 2, 3, 0.2, 2},
        {3.0, 2, 3, 0.3, 3},  // on the last: the last two, with the last one's offset and shift
        {9.0, 2, 3, 0.3, 3},  // beyond the last: the same
    };
    for (const auto& c : cases) {
        const TInterval iv = FindInterval(*t, c.x);
        EXPECT_EQ(iv.P1->X, c.x1) << c.x;
        EXPECT_EQ(iv.P2->X, c.x2) << c.x;
        EXPECT_EQ(iv.Offset, c.offset) << c.x;
        EXPECT_EQ(iv.Shift, c.shift) << c.x;
    }
}

// ---- Interpolation ------------------------------------------------------------------------

double ValueOf(const std::string& text, double x) {
    return Interpolate(*Read(text), x);
}

TEST(RatingTableInterpolation, EveryKind) {
    const struct {
        const char* what;
        std::string table;
        double x, want;
    } cases[] = {
        {"linear between", River1, 1.5, 30.25},
        {"linear on a point", River1, 1.0, 12.5},
        {"linear on the last", River1, 2.0, 48},
        {"linear above", River1, 3.0, 83.5},
        {"linear below", River1, 0.0, -12.5},

        {"semilogy", "SEMILOGY\n1,10\n2,100\n3,0\n", 1.5, 10 * std::sqrt(10.0)},
        {"semilogy above", "SEMILOGY\n1,10\n2,100\n3,1000\n", 4, 10000},
        {"semilogy y = 0: linear", "SEMILOGY\n1,10\n2,100\n3,0\n", 2.5, 50},
        {"semilogy x <= 0: linear", "SEMILOGY\n1,10\n2,100\n", -1, -170},
        {"semilogy past the limit: linear", "SEMILOGY\n1,1e99\n2,1e100\n", 3, 1.9e100},

        {"semilogx", "SEMILOGX\n1,0\n10,1\n100,2\n", std::sqrt(10.0), 0.5},
        {"semilogx above", "SEMILOGX\n1,0\n10,1\n100,2\n", 1000, 3},
        {"semilogx x <= 0: linear", "SEMILOGX\n1,0\n10,1\n100,2\n", 0, -1.0 / 9},
        {"semilogx x1 <= 0: linear", "SEMILOGX\n-1,0\n1,1\n", 0.5, 0.75},

        {"loglog", "LOGLOG\n1,1\n10,100\n100,10000\n", 5, 25},
        {"loglog below", "LOGLOG\n1,1\n10,100\n100,10000\n", 0.5, 0.25},
        {"loglog x <= 0: linear", "LOGLOG\n1,1\n10,100\n", -1, -21},
        {"loglog y1 <= 0: linear", "LOGLOG\n1,0\n10,90\n", 5, 40},
        {"loglog past the limit: linear", "LOGLOG\n1,1e99\n10,1e101\n", 100, 1.09e102},

        {"gslinear: an offset changes nothing", "GSLINEAR\n1,0,0.5,0\n2,10,0.5,0\n3,30,0.5,0\n",
         2.5, 20},
        {"gslinear: shift", "GSLINEAR\n1,0,0,0.5\n2,10,0,0.5\n3,30,0,0.5\n", 1.2, 7},
        {"gslinear: a shift into the next interval",
         "GSLINEAR\n1,0,0,0.5\n2,10,0,0.5\n3,30,0,0.5\n", 1.6, 12},
        {"gslinear: the shift is interpolated", "GSLINEAR\n1,0,0,1\n2,10,0,3\n3,30,0,3\n", 1.25,
         25},
        {"gslinear: no shift when the selected one is 0", "GSLINEAR\n1,0,0,0\n2,10,0,1\n3,30,0,1\n",
         1.5, 5},

        {"gsloglog: offset", "GSLOGLOG\n1.5,2,0.5,0\n2.5,8,0.5,0\n4.5,32,0.5,0\n", 3.5, 18},
        {"gsloglog: offset and shift", "GSLOGLOG\n1.5,2,0.5,0.5\n2.5,8,0.5,0.5\n4.5,32,0.5,0.5\n",
         3.0, 18},
        {"gsloglog: the last point's offset above it", "GSLOGLOG\n2,1,0,0\n3,4,1,0\n", 4, 9},
        {"gsloglog: still not positive: linear", "GSLOGLOG\n1.5,2,0.5,0\n2.5,8,0.5,0\n", 0.3, -5.2},
        {"gsloglog: y = 0: linear", "GSLOGLOG\n1.5,0,0.5,0\n2.5,8,0.5,0\n", 2, 4},
        {"gsloglog past the limit: y1", "GSLOGLOG\n1.5,1e99,0.5,0\n2.5,1e101,0.5,0\n", 4.5, 1e99},
    };
    for (const auto& c : cases) {
        const double got = ValueOf(c.table, c.x);
        EXPECT_NEAR(got, c.want, std::fabs(c.want) * 1e-12 + 1e-12) << c.what;
    }
}

// A shifted stage that lands on a point gives that point's Y, and the values keep rising with
// the stage: 1 + 0.1 in extended precision lies just below the double 1.1 that chooses the
// interval from 1.1 on, and was taken backwards from it (12.499999999999996, after 12.5 for
// the stage just below 1).
TEST(RatingTableInterpolation, AShiftedStageOnAPointGivesItsY) {
    const std::string table = "GSLINEAR\n0.5,0,0,0.1\n1.0,12.5,0,0.1\n1.1,12.5,0,0.1\n2,48,0,0.1\n";
    EXPECT_EQ(ValueOf(table, 1.0), 12.5);
    EXPECT_LE(ValueOf(table, std::nextafter(1.0, 0.0)), ValueOf(table, 1.0));
    EXPECT_LE(ValueOf(table, 1.0), ValueOf(table, std::nextafter(1.0, 2.0)));
}

TEST(RatingTableInterpolation, GaugeLogLogAtTheGaugeZeroAddsATenThousandth) {
    // x - offset is 0 (and just below 0): the interval is moved up by 0.0001 and stays
    // log-log, where a straight line would give a negative discharge.
    const std::string table = "GSLOGLOG\n1.5,2,0.5,0\n2.5,8,0.5,0\n4.5,32,0.5,0\n";
    for (double x : {0.5, 0.49995}) {
        const long double h = x - 0.5L + 0.0001L;
        const long double want =
            2 * std::pow(h / 1.0001L, std::log(4.0L) / std::log(2.0001L / 1.0001L));
        const double got = ValueOf(table, x);
        EXPECT_GT(got, 0) << x;
        EXPECT_NEAR(got, static_cast<double>(want), static_cast<double>(want) * 1e-9) << x;
    }
}

TEST(RatingTableInterpolation, IntermediatesHaveExtendedRange) {
    if (std::numeric_limits<long double>::max_exponent <= std::numeric_limits<double>::max_exponent)
        GTEST_SKIP() << "long double has no wider range here";
    // (x - x1)(y2 - y1) = 5e309 overflows a double; the quotient does not.
    EXPECT_DOUBLE_EQ(ValueOf("LINEAR\n0,0\n1e10,1e300\n", 5e9), 5e299);
}

TEST(RatingTableInterpolation, UnusableTablesPassXThrough) {
    EXPECT_EQ(ValueOf("CUBIC\n0.5,0\n1.0,12.5\n", 1.5), 1.5);
    EXPECT_EQ(ValueOf("LINEAR\n0.5,0\n", 1.5), 1.5);
    EXPECT_EQ(ValueOf("LINEAR\n", -2), -2);
}

// ---- The cache and the files --------------------------------------------------------------

TEST_F(RatingTablesTest, ExampleTableIsReadOnceAndServedFromTheCache) {
    Write("RIVER1.TBL", River1);
    EXPECT_EQ(Value("RIVER1", 1.5), 30.25);
    Write("RIVER1.TBL", "LINEAR\n0,0\n1,1\n");
    EXPECT_EQ(Value("RIVER1", 1.5), 30.25);  // a changed file counts after ClearTables only
    EXPECT_EQ(tables.Count(), 1);
    tables.ClearTables();
    EXPECT_EQ(tables.Count(), 0);
    EXPECT_EQ(Value("RIVER1", 1.5), 1.5);
}

TEST_F(RatingTablesTest, MissingOrKindlessFileIsLookedForAtEveryRequest) {
    EXPECT_EQ(Value("LATER", 1.5), 1.5);
    EXPECT_EQ(tables.Count(), 0);
    Write("LATER.TBL", ";written later\n\n");
    EXPECT_EQ(Value("LATER", 1.5), 1.5);
    EXPECT_EQ(tables.Count(), 0);
    Write("LATER.TBL", River1);
    EXPECT_EQ(Value("LATER", 1.5), 30.25);
}

// A table that is not there passes its stage through: the status list is told once per name
// until the next refresh (ClearTables), with the folder looked in made absolute; a table that
// is there, or merely unusable, is not reported.
TEST_F(RatingTablesTest, MissingTableIsReportedOncePerNameUntilClearTables) {
    std::vector<std::string> told;
    tables.SetProblemReport([&](const std::string& line) { told.push_back(line); });
    Write("RIVER1.TBL", River1);
    Write("CUBIC.TBL", "CUBIC\n0.5,0\n1.0,12.5\n");
    const std::string missing = "Error 1600: rating table RIVER9 not found in " +
                                scratch.Path().string() + ": the stage passes through unchanged";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Value("RIVER9", 1.5), 1.5);
        EXPECT_EQ(Value("RIVER1", 1.5), 30.25);
        EXPECT_EQ(Value("CUBIC", 1.5), 1.5);
    }
    EXPECT_EQ(told, std::vector<std::string>{missing});
    EXPECT_EQ(Value("river9", 1.5), 1.5);  // another name (the cache's key)
    EXPECT_EQ(told.size(), 2u);
    tables.ClearTables();
    EXPECT_EQ(Value("RIVER9", 1.5), 1.5);
    EXPECT_EQ(told.size(), 3u);
    EXPECT_EQ(told.back(), missing);

    // A relative folder is shown as the absolute one it stands for in the working folder.
    folder = "no/such/tables";
    EXPECT_EQ(Value("RIVER7", 2), 2);
    EXPECT_EQ(told.back(), "Error 1600: rating table RIVER7 not found in " +
                               (std::filesystem::current_path() / "no/such/tables").string() +
                               ": the stage passes through unchanged");

    // A file that cannot be read (root reads every file: only for other users).
    if (::geteuid() != 0) {
        folder = scratch.Path().string();
        Write("LOCKED.TBL", River1);
        std::filesystem::permissions(scratch / "LOCKED.TBL", std::filesystem::perms::none);
        EXPECT_EQ(Value("LOCKED", 1.5), 1.5);
        EXPECT_EQ(told.back(), "Error 1600: rating table LOCKED cannot be read from " +
                                   (scratch / "LOCKED.TBL").string() +
                                   " (Permission denied): the stage passes through unchanged");
    }
}

TEST_F(RatingTablesTest, TablesWithTooFewPointsOrNoKindAreCachedAsTheyAre) {
    Write("ONE.TBL", "LINEAR\n1,10\n1.0, 20\n");
    Write("CUBIC.TBL", "CUBIC\n0.5,0\n1.0,12.5\n");
    TTable* t = nullptr;
    EXPECT_FALSE(tables.GetTable("ONE", t));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Points.Count(), 1);
    EXPECT_FALSE(tables.GetTable("CUBIC", t));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Interpolation, ikNone);
    EXPECT_EQ(t->Points.Count(), 0);  // the point lines of a table without a kind are ignored
    EXPECT_EQ(Value("CUBIC", 1.5), 1.5);

    Write("ONE.TBL", River1);
    Write("CUBIC.TBL", River1);
    EXPECT_EQ(Value("ONE", 1.5), 1.5);
    EXPECT_EQ(Value("CUBIC", 1.5), 1.5);
    tables.ClearTables();
    EXPECT_EQ(Value("ONE", 1.5), 30.25);
    EXPECT_EQ(Value("CUBIC", 1.5), 30.25);
}

TEST_F(RatingTablesTest, FindTableAndNamesDifferingInCaseAreTwoEntries) {
    Write("RIVER1.TBL", River1);
    std::int32_t index = 7;
    EXPECT_FALSE(tables.FindTable("RIVER1", index));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(Value("RIVER1", 1.5), 30.25);
    EXPECT_EQ(Value("river1", 1.5), 30.25);  // the same file, found without regard to case
    EXPECT_EQ(tables.Count(), 2);
    ASSERT_TRUE(tables.FindTable("river1", index));
    EXPECT_EQ(tables.ItemAt(index)->Name, "river1");
    ASSERT_TRUE(tables.FindTable("RIVER1", index));
    EXPECT_EQ(tables.ItemAt(index)->Name, "RIVER1");
    EXPECT_FALSE(tables.FindTable("River1", index));
}

TEST_F(RatingTablesTest, FileIsFoundWithoutRegardToLetterCase) {
    WriteFileText(scratch / "river1.tbl", River1);
    EXPECT_EQ(Value("RIVER1", 1.5), 30.25);
    // Folders too, and the exact name wins over one that differs in case.
    std::filesystem::create_directories(scratch / "Gauges");
    WriteFileText(scratch / "Gauges" / "Upper.Tbl", "LINEAR\n0,0\n1,1\n");
    WriteFileText(scratch / "Gauges" / "UPPER.TBL", "LINEAR\n0,0\n1,2\n");
    folder = (scratch / "GAUGES").string();
    EXPECT_EQ(Value("UPPER", 1), 2);
    EXPECT_EQ(Value("Upper.Tbl", 1), 1);  // exact, though "UPPER.TBL" sorts first
    EXPECT_EQ(Value("upper", 1), 2);      // both differ in case: the first in byte order
}

TEST(RatingTableFiles, FindFileIgnoringCase) {
    ScratchFolder s;
    std::filesystem::create_directories(s / "Sub" / "Deeper.d");
    WriteFileText(s / "Sub" / "Deeper.d" / "Table.TBL", "LINEAR\n");
    const std::string base = s.Path().string();
    EXPECT_EQ(FindFileIgnoringCase(base + "/SUB/deeper.D/table.tbl"),
              s / "Sub" / "Deeper.d" / "Table.TBL");
    EXPECT_EQ(FindFileIgnoringCase(base + "/Sub/Deeper.d/Table.TBL"),
              s / "Sub" / "Deeper.d" / "Table.TBL");
    EXPECT_FALSE(FindFileIgnoringCase(base + "/SUB/deeper.D"));  // a folder is no table file
    EXPECT_FALSE(FindFileIgnoringCase(base + "/SUB/none/table.tbl"));
    EXPECT_FALSE(FindFileIgnoringCase(base + "/SUB/deeper.D/table.tb"));
    EXPECT_FALSE(FindFileIgnoringCase(""));
}

TEST(RatingTableFiles, FilePathRules) {
    std::string dir;
    TTables tables([&] { return dir; });
    const struct {
        const char* folder;
        const char* name;
        const char* path;
    } cases[] = {
        {"", "RIVER1", "RIVER1.TBL"},
        {"/srv/tables", "RIVER1", "/srv/tables/RIVER1.TBL"},
        {"/srv/tables/", "RIVER1", "/srv/tables/RIVER1.TBL"},
        {"C:\\OV\\TABLES\\", "RIVER1", "C:/OV/TABLES/RIVER1.TBL"},
        {"C:\\OV\\TABLES", "RIVER1", "C:/OV/TABLES/RIVER1.TBL"},
        {"/srv/tables", "RIVER.A", "/srv/tables/RIVER.A"},  // a name with "." keeps it
        {"/srv/tables", "SUB\\RIVER1", "SUB/RIVER1.TBL"},   // a path skips the folder
        {"/srv/tables", "SUB/RIVER1", "SUB/RIVER1.TBL"},
        {"/srv/tables", "\\\\HOST\\T\\R.X", "//HOST/T/R.X"},
        {"/srv/tables-1.2", "RIVER1", "/srv/tables-1.2/RIVER1.TBL"},  // the folder's "." no
        {"/srv/tables", "OLD.1\\RIVER1", "OLD.1/RIVER1.TBL"},         // matter
    };
    for (const auto& c : cases) {
        dir = c.folder;
        EXPECT_EQ(tables.TableFilePath(c.name), c.path) << c.folder << " + " << c.name;
    }
}

TEST_F(RatingTablesTest, NamesWithAFolderAndExtensionRules) {
    std::filesystem::create_directories(scratch / "v2.0");
    WriteFileText(scratch / "v2.0" / "RIVER1.TBL", River1);
    WriteFileText(scratch / "RIVER.A", River1);
    // A name that is a path, with "\" or "/", ignores the table folder.
    folder = "/nonexistent";
    std::string withBackslashes = (scratch / "v2.0").string() + "\\RIVER1";
    EXPECT_EQ(Value(withBackslashes, 1.5), 30.25);
    EXPECT_EQ(Value((scratch / "v2.0" / "RIVER1").string(), 1.5), 30.25);
    // A folder with "." still gets ".TBL" on its tables; a name with "." gets none.
    folder = (scratch / "v2.0").string();
    EXPECT_EQ(Value("RIVER1", 1.5), 30.25);
    folder = scratch.Path().string();
    EXPECT_EQ(Value("RIVER.A", 1.5), 30.25);
}

TEST_F(RatingTablesTest, FolderIsAskedForAtEveryLookUp) {
    std::filesystem::create_directories(scratch / "a");
    std::filesystem::create_directories(scratch / "b");
    WriteFileText(scratch / "a" / "T.TBL", "LINEAR\n0,0\n1,5\n");
    WriteFileText(scratch / "b" / "T.TBL", "LINEAR\n0,0\n1,2\n");
    WriteFileText(scratch / "b" / "U.TBL", "LINEAR\n0,0\n1,3\n");
    folder = (scratch / "a").string();
    EXPECT_EQ(Value("T", 1), 5);
    folder = (scratch / "b").string();
    EXPECT_EQ(Value("T", 1), 5);  // cached
    EXPECT_EQ(Value("U", 1), 3);
    tables.SetTableDirectorySource([dir = folder] { return dir; });
    tables.ClearTables();
    EXPECT_EQ(Value("T", 1), 2);
}

TEST(RatingTableFiles, ProcessWideCache) {
    ScratchFolder s;
    WriteFileText(s / "RIVER1.TBL", River1);
    const std::string dir = s.Path().string();
    Tables().SetTableDirectorySource([dir] { return dir; });
    EXPECT_EQ(&Tables(), &Tables());
    EXPECT_EQ(TableValue("RIVER1", 1.5), 30.25);
    EXPECT_EQ(Tables().Count(), 1);
    ClearTables();
    EXPECT_EQ(Tables().Count(), 0);
    Tables().SetTableDirectorySource([] { return std::string(); });
}

}  // namespace
}  // namespace ov::rating
