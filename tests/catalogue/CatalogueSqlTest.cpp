// Tests of the catalogue's SQL text: the base query, filter files joined line by line with
// CR LF and appended only when not blank, files that cannot be read, and the preview text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "catalogue/CatalogueSql.h"
#include "support/ScratchFolder.h"

namespace ov {
namespace {

using test::ScratchFolder;
using test::WriteFileText;

TEST(CatalogueSql, BaseText) {
    EXPECT_EQ(CatalogueBaseSql.size(), 359u);
    EXPECT_EQ(CatalogueBaseSql,
              "SELECT DISTINCT OV_SITES.STATION_ID, OV_SITESENSORS.SENSORNAME, "
              "OV_SITES.REPORTING_TIME, OV_SITES.REPORTING_INTERVAL, OV_SITES.BASIN, "
              "OV_SITES.DISTRICT, OV_SITES.CITY, OV_SITES.COUNTRY, OV_SITES.STATE, "
              "OV_SITES.COUNTY, OV_SITES.PRIMARY_CHANNEL, OV_SITES.RANDOM_CHANNEL FROM OV_SITES, "
              "OV_SITESENSORS WHERE (OV_SITES.STATION_ID = OV_SITESENSORS.STE_STATION_ID) ");
}

TEST(CatalogueSql, FilterFileLinesEachEndInCrLfAfterAnd) {
    struct Case {
        const char* content;
        const char* filter;  // what follows the base text
    };
    const Case cases[] = {
        {"", ""},
        {"  \r\n\t\r\n\r\n", ""},  // only blank lines: no " AND " at all
        {"OV_SITES.BASIN   =  'North' AND \r\nOV_SITES.PRIMARY_CHANNEL  >  7\r\n",
         " AND OV_SITES.BASIN   =  'North' AND \r\nOV_SITES.PRIMARY_CHANNEL  >  7\r\n"},
        {"A AND \nB", " AND A AND \r\nB\r\n"},            // LF lines, last one unterminated
        {"A AND \rB\r", " AND A AND \r\nB\r\n"},          // CR lines
        {"\r\n  A  \r\n\r\n", " AND \r\n  A  \r\n\r\n"},  // blank lines kept unchanged
    };
    ScratchFolder folder;
    for (const Case& k : cases) {
        const std::string file = (folder / "filter.flt").string();
        WriteFileText(file, k.content);
        EXPECT_EQ(CatalogueSqlForFilterFile(file), std::string(CatalogueBaseSql) + k.filter)
            << k.content;
    }
}

TEST(CatalogueSql, AFilterFileThatCannotBeReadMeansNoFilter) {
    ScratchFolder folder;
    const std::string base(CatalogueBaseSql);
    EXPECT_EQ(CatalogueSqlForFilterFile(""), base);
    EXPECT_EQ(CatalogueSqlForFilterFile("   "), base);
    EXPECT_EQ(CatalogueSqlForFilterFile((folder / "missing.flt").string()), base);
    EXPECT_EQ(CatalogueSqlForFilterFile(folder.Path().string()), base);  // a folder
    // A pipe nobody writes to would block a read for ever.
    const std::string fifo = (folder / "pipe.flt").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(CatalogueSqlForFilterFile(fifo), base);
    std::string joined = "stale";
    EXPECT_FALSE(ReadFilterFile(fifo, joined));
    EXPECT_EQ(joined, "");
    if (::geteuid() != 0) {  // root reads any file
        const std::string locked = (folder / "locked.flt").string();
        WriteFileText(locked, "A = 1\r\n");
        ::chmod(locked.c_str(), 0);
        EXPECT_EQ(CatalogueSqlForFilterFile(locked), base);
    }
}

TEST(CatalogueSql, PreviewAppendsTheEditorTextUnlessEmpty) {
    const std::string base(CatalogueBaseSql);
    EXPECT_EQ(PreviewSqlText(""), base);
    EXPECT_EQ(PreviewSqlText("A AND \nB"), base + " AND A AND \r\nB\r\n");
    // Blank text still counts as a condition, and the query then fails.
    EXPECT_EQ(PreviewSqlText("\n"), base + " AND \r\n");
}

}  // namespace
}  // namespace ov
