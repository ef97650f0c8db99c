// Tests of the station catalogue and the preview read from the fixture's example suite
// database in SQLite and in PostgreSQL: the join and its nulls, filter files, failing queries,
// the same catalogue from both databases, its trees, and a catalogue of 10^5 rows.
#include <gtest/gtest.h>

#include <map>

#include "DatabaseTestSupport.h"
#include "database/CatalogueQueries.h"
#include "suite/CatalogueTextTree.h"
#include "support/ScratchFolder.h"

namespace ov {
namespace {

using test::ScratchFolder;
using test::TConnected;
using test::WriteFileText;

// Entries per station.
std::map<std::string, std::vector<const TStationSensorItem*>> ByStation(
    const TStationSensorCache& c) {
    std::map<std::string, std::vector<const TStationSensorItem*>> stations;
    for (int i = 0; i < c.Count(); ++i) stations[c.Items(i).StationID].push_back(&c.Items(i));
    return stations;
}

class Catalogue : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(db.Connect(GetParam())) << db.Boxes.Errors.join("\n").toStdString();
    }
    TConnected db;
    TStationSensorCache catalogue;
};

TEST_P(Catalogue, OneEntryPerSensorRowWithNullsAsEmptyAndZero) {
    ASSERT_TRUE(LoadStationCatalogue(*db.Connection, catalogue, ""));
    EXPECT_EQ(catalogue.Count(), 180);
    auto stations = ByStation(catalogue);
    EXPECT_EQ(stations.count("PORT1"), 0u);  // a station without sensors
    ASSERT_EQ(stations["RIVER1"].size(), 4u);
    const TStationSensorItem& river1 = *stations["RIVER1"][0];
    EXPECT_EQ(river1.Basin, "Mill Creek");
    EXPECT_EQ(river1.County, "Clay");
    EXPECT_EQ(river1.PrimaryChannel, 0);  // null channels: polled, not transmitted
    EXPECT_EQ(river1.RandomChannel, 0);
    EXPECT_EQ(stations["RIVER2"][0]->RandomChannel, 112);
    EXPECT_EQ(stations["SNOW1"][0]->Basin, "  ");
    EXPECT_EQ(stations["STNRN2"][0]->Country, "");
    EXPECT_EQ(stations["MILL3"][0]->Basin, "MILL CREEK");
    int unnamed = 0;
    for (const auto* e : stations["TEST1"]) unnamed += e->SensorName.empty();
    EXPECT_EQ(unnamed, 1);
    EXPECT_TRUE(catalogue.Contains("test1", ""));
    EXPECT_TRUE(catalogue.Contains("river1", "hg"));
}

TEST_P(Catalogue, FilterFiles) {
    ScratchFolder folder;
    const std::string file = (folder / "elk.flt").string();
    struct Case {
        const char* content;  // nullptr: no file of that name
        int entries;
        bool loads;
    };
    const Case cases[] = {
        {"OV_SITES.BASIN   =  'Elk River' AND \r\nOV_SITES.PRIMARY_CHANNEL   >  33\r\n", 10, true},
        {"OV_SITESENSORS.SENSORNAME  LIKE 'PC%'\r\n", 27, true},
        {" \r\n\r\n", 180, true},                            // blank: no condition
        {nullptr, 180, true},                                // missing: no filter
        {"OV_SITES.BASIN = 'Elk River' AND\r\n", 0, false},  // not valid SQL
        {"OV_SITES.NO_SUCH_COLUMN = 1\r\n", 0, false},
    };
    for (const Case& k : cases) {
        std::filesystem::remove(file);
        if (k.content) WriteFileText(file, k.content);
        catalogue.Append(TStationSensorItem{});  // left from an earlier load
        QString error;
        EXPECT_EQ(LoadStationCatalogue(*db.Connection, catalogue, file, &error), k.loads)
            << (k.content ? k.content : "(no file)") << error.toStdString();
        EXPECT_EQ(catalogue.Count(), k.entries) << (k.content ? k.content : "(no file)");
        EXPECT_EQ(error.isEmpty(), k.loads) << error.toStdString();
    }
    // A folder is no filter file.
    EXPECT_TRUE(LoadStationCatalogue(*db.Connection, catalogue, folder.Path().string()));
    EXPECT_EQ(catalogue.Count(), 180);
    EXPECT_TRUE(db.Boxes.Errors.isEmpty());
}

TEST_P(Catalogue, NoConnectionGivesAnEmptyCatalogue) {
    ASSERT_TRUE(LoadStationCatalogue(*db.Connection, catalogue, ""));
    db.Connection->DisconnectDatabase();
    EXPECT_FALSE(LoadStationCatalogue(*db.Connection, catalogue, ""));
    EXPECT_EQ(catalogue.Count(), 0);
    std::vector<std::pair<QString, QString>> rows;
    EXPECT_FALSE(RunPreviewQuery(*db.Connection, "", rows));
    EXPECT_TRUE(rows.empty());
}

TEST(CatalogueOfADatabaseWithoutTheTables, IsEmpty) {
    TConnected db;
    ASSERT_TRUE(db.Connect(test::NoSuiteDsn));
    TStationSensorCache catalogue;
    catalogue.Append(TStationSensorItem{});
    QString error;
    EXPECT_FALSE(LoadStationCatalogue(*db.Connection, catalogue, "", &error));
    EXPECT_EQ(catalogue.Count(), 0);
    EXPECT_TRUE(error.contains(QStringLiteral("OV_SITES"), Qt::CaseInsensitive))
        << error.toStdString();
    std::vector<std::pair<QString, QString>> rows;
    EXPECT_FALSE(RunPreviewQuery(*db.Connection, "", rows));
    EXPECT_TRUE(db.Boxes.Errors.isEmpty());
}

TEST_P(Catalogue, TreesGroupNullBlankAndCaseVariantBasins) {
    ASSERT_TRUE(LoadStationCatalogue(*db.Connection, catalogue, ""));
    TCatalogueTextTree tree;
    ASSERT_TRUE(BuildCatalogueTree(tree, catalogue, smBasin, TLevelProfile::lpStationTree));
    const std::string lines = tree.Lines();
    // Null basins first and the blank one right after them, under one root; MILL3's capitals
    // join Mill Creek, named by BASIN, the first station placed there.
    EXPECT_EQ(lines.rfind("<NULL> [41]\n  TEST1 [16]\n  WELL7 [16]\n  WELL9 [16]\n  SNOW1 [16]\n"
                          "Blue River [41]\n",
                          0),
              0u)
        << lines;
    EXPECT_NE(
        lines.find(
            "Mill Creek [41]\n  BASIN [16]\n  MET1 [16]\n  MILL3 [16]\n  MILL4 [16]\n  RAIN1 [16]\n"
            "  RIVER1 [16]\n  RIVER2 [16]\nPlatte River [41]\n"),
        std::string::npos)
        << lines;

    // Null channels are the label 0 (BASIN, a station of calculated values, has none).
    ASSERT_TRUE(
        BuildCatalogueTree(tree, catalogue, smPrimaryChannel, TLevelProfile::lpStationSensorTree));
    EXPECT_EQ(
        tree.Lines().rfind("0 [40]\n  BASIN [16]\n    TA [29]\n  BLURN1 [16]\n    PC [29]\n", 0),
        0u);

    // The unnamed sensor hangs on its station node, beside its named siblings.
    ASSERT_TRUE(BuildCatalogueTree(tree, catalogue, smState, TLevelProfile::lpStationSensorTree));
    const TCatalogueTextTree::TNode* test1 = nullptr;
    for (const auto* root : tree.Roots())
        for (const auto* station : root->Children)
            if (station->Text == "TEST1") test1 = station;
    ASSERT_NE(test1, nullptr);
    EXPECT_EQ(test1->Item->SensorName, "");
    EXPECT_EQ(test1->Children.size(), 3u);
}

// Every cell as the program reads it, whatever its length or letters, and channels that are
// no integers refused.
TEST_P(Catalogue, CellsOfAnyLengthAndLatin1AndChannelsThatAreNoIntegers) {
    const std::string longBasin(700, 'b');
    auto sql = [&](const std::string& channel) {
        return "SELECT 'ST1' AS STATION_ID, 'S\xE9' AS sensorname, '" + longBasin +
               "' AS BASIN, 'Caf\xE9 \xFF' AS DISTRICT, NULL AS CITY, '' AS COUNTY, ' ' AS "
               "STATE, 'X' AS COUNTRY, " +
               channel + " AS PRIMARY_CHANNEL, NULL AS RANDOM_CHANNEL";
    };
    ASSERT_TRUE(LoadStationCatalogueSql(db.Connection->Database(), catalogue, sql("7")));
    ASSERT_EQ(catalogue.Count(), 1);
    const TStationSensorItem& item = catalogue.Items(0);
    EXPECT_EQ(item.SensorName, "S\xE9");
    EXPECT_EQ(item.Basin, longBasin);
    EXPECT_EQ(item.District, "Caf\xE9 \xFF");
    EXPECT_EQ(item.City, "");
    EXPECT_EQ(item.State, " ");
    EXPECT_EQ(item.PrimaryChannel, 7);
    EXPECT_EQ(item.RandomChannel, 0);

    struct Case {
        const char* channel;
        bool loads;
        std::int32_t value;
    };
    const Case cases[] = {
        {"NULL", true, 0},          {"'-12'", true, -12}, {"2147483647", true, 2147483647},
        {"'x7'", false, 0},         {"'7 '", false, 0},   {"''", false, 0},
        {"'2147483648'", false, 0},
    };
    for (const Case& k : cases) {
        QString error;
        EXPECT_EQ(
            LoadStationCatalogueSql(db.Connection->Database(), catalogue, sql(k.channel), &error),
            k.loads)
            << k.channel;
        EXPECT_EQ(catalogue.Count(), k.loads ? 1 : 0) << k.channel;
        if (k.loads && catalogue.Count() == 1)
            EXPECT_EQ(catalogue.Items(0).PrimaryChannel, k.value);
        if (!k.loads)
            EXPECT_TRUE(error.endsWith(QStringLiteral("ST1: PRIMARY_CHANNEL is no integer")))
                << k.channel << " " << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(LoadStationCatalogueSql(db.Connection->Database(), catalogue,
                                         "SELECT 'ST1' AS STATION_ID", &error));
    EXPECT_EQ(error, QStringLiteral("the station catalogue query has no column SENSORNAME"));
}

// Rows over several blocks of the bound read, without and with a value longer than its column
// says among them: every row is there, that value whole.
TEST_P(Catalogue, ManyRowsAndALongValueAmongThem) {
    const std::string longBasin(700, 'b');
    for (const int longAt : {0, 700}) {
        const std::string sql =
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1300) "
            "SELECT 'ST' || i AS STATION_ID, 'SN' AS SENSORNAME, CASE WHEN i = " +
            std::to_string(longAt) + " THEN '" + longBasin +
            "' ELSE 'B' END AS BASIN, NULL AS DISTRICT, NULL AS CITY, NULL AS COUNTY, NULL AS "
            "STATE, NULL AS COUNTRY, i AS PRIMARY_CHANNEL, NULL AS RANDOM_CHANNEL FROM n ORDER "
            "BY i";
        QString error;
        ASSERT_TRUE(LoadStationCatalogueSql(db.Connection->Database(), catalogue, sql, &error))
            << error.toStdString();
        ASSERT_EQ(catalogue.Count(), 1300);
        for (int i = 0; i < catalogue.Count(); ++i) {
            const TStationSensorItem& item = catalogue.Items(i);
            ASSERT_EQ(item.StationID, "ST" + std::to_string(i + 1));
            ASSERT_EQ(item.PrimaryChannel, i + 1);
            ASSERT_EQ(item.Basin, i + 1 == longAt ? longBasin : "B") << item.StationID;
        }
    }
}

TEST_P(Catalogue, PreviewRowsOfTheEditorsCondition) {
    struct Case {
        const char* text;
        std::size_t rows;
        bool runs;
    };
    const Case cases[] = {
        {"", 180, true},
        {"OV_SITES.STATION_ID  =  'RIVER1'", 4, true},
        {"OV_SITES.CITY  =  'Wahoo' AND \nOV_SITESENSORS.SENSORNAME  =  'VB'", 3, true},
        {"\n", 0, false},
        {"OV_SITES.STATION_ID =", 0, false},
    };
    for (const Case& k : cases) {
        std::vector<std::pair<QString, QString>> rows;
        EXPECT_EQ(RunPreviewQuery(*db.Connection, k.text, rows), k.runs) << k.text;
        EXPECT_EQ(rows.size(), k.rows) << k.text;
    }
    std::vector<std::pair<QString, QString>> rows;
    ASSERT_TRUE(RunPreviewQuery(*db.Connection, "OV_SITES.STATION_ID = 'TEST1'", rows));
    std::sort(rows.begin(), rows.end());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], std::make_pair(QStringLiteral("TEST1"), QString()));
    EXPECT_EQ(rows[1], std::make_pair(QStringLiteral("TEST1"), QStringLiteral("T1")));
}

INSTANTIATE_TEST_SUITE_P(Databases, Catalogue,
                         ::testing::Values(test::SQLiteDsn, test::PostgresDsn));

TEST(CatalogueFromBothDatabases, IsTheSame) {
    TConnected sqlite, postgres;
    ASSERT_TRUE(sqlite.Connect(test::SQLiteDsn));
    TStationSensorCache a, b;
    ASSERT_TRUE(LoadStationCatalogue(*sqlite.Connection, a, ""));
    sqlite.Connection->DisconnectDatabase();  // one connection of that name at a time
    ASSERT_TRUE(postgres.Connect(test::PostgresDsn));
    ASSERT_TRUE(LoadStationCatalogue(*postgres.Connection, b, ""));
    ASSERT_EQ(a.Count(), b.Count());
    for (TSortMode mode = FirstSortMode; mode <= LastSortMode; ++mode) {
        TCatalogueTextTree ta, tb;
        for (auto profile : {TLevelProfile::lpStationTree, TLevelProfile::lpStationSensorTree}) {
            ASSERT_TRUE(BuildCatalogueTree(ta, a, mode, profile));
            ASSERT_TRUE(BuildCatalogueTree(tb, b, mode, profile));
            EXPECT_EQ(ta.Lines(), tb.Lines()) << "mode " << mode;
        }
        for (int i = 0; i < a.Count(); ++i) ASSERT_EQ(a.Items(i), b.Items(i)) << i;
    }
}

TEST(LargeCatalogue, LoadsSortsAndBuildsEveryView) {
    TConnected db;
    ASSERT_TRUE(db.Connect(test::LargeDsn));
    TStationSensorCache catalogue;
    ASSERT_TRUE(LoadStationCatalogue(*db.Connection, catalogue, ""));
    ASSERT_EQ(catalogue.Count(), 100000);
    TCatalogueTextTree tree;
    ASSERT_TRUE(BuildCatalogueTree(tree, catalogue, smBasin, TLevelProfile::lpStationSensorTree));
    EXPECT_EQ(tree.Roots().size(), 41u);  // 40 basins and <NULL>
    EXPECT_EQ(tree.NodeCount(), 41u + 10000u + 100000u);
}

}  // namespace
}  // namespace ov
