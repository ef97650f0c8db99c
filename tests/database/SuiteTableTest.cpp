// Tests of reading the suite tables as the filter dialog does, on both databases: every field
// with the kind that decides its quoting in a filter, and values as text.
#include <gtest/gtest.h>

#include <map>

#include "DatabaseTestSupport.h"
#include "database/SuiteTable.h"

namespace ov {
namespace {

using K = TFieldKind;

TEST(FieldKinds, OfTheOdbcTypes) {
    struct Case {
        int sqlType;
        TFieldKind kind;
    };
    const Case cases[] = {
        {12, K::fkString}, {-9, K::fkString}, {91, K::fkDate},     {9, K::fkDate},
        {92, K::fkTime},   {10, K::fkTime},   {93, K::fkDateTime}, {11, K::fkDateTime},
        {1, K::fkOther},   {-8, K::fkOther},  {-1, K::fkOther},    {-10, K::fkOther},
        {4, K::fkOther},   {8, K::fkOther},   {0, K::fkOther},
    };
    for (const Case& k : cases) EXPECT_EQ(FieldKindOfSqlType(k.sqlType), k.kind) << k.sqlType;
}

class SuiteTable : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override { ASSERT_TRUE(db.Connect(GetParam())); }
    test::TConnected db;
};

TEST_P(SuiteTable, FieldsAndValuesOfBothTables) {
    struct Expected {
        const char* table;
        int fields;
        std::map<QString, TFieldKind> kinds;  // upper-case field name
        const char* key;                      // field that finds the row below
        std::map<QString, QString> values;    // of the first row whose key is RIVER1
    };
    const Expected tables[] = {
        {"OV_SITES",
         16,
         {{"STATION_ID", K::fkString},
          {"BASIN", K::fkString},
          {"REPORTING_TIME", K::fkTime},
          {"INSTALLED", K::fkDate},
          {"PRIMARY_CHANNEL", K::fkOther},
          {"ELEVATION", K::fkOther},
          {"NOTES", K::fkOther}},  // long text is no string
         "STATION_ID",
         {{"BASIN", "Mill Creek"}, {"INSTALLED", "1997-07-21"}, {"REPORTING_INTERVAL", "15"}}},
        {"OV_SITESENSORS",
         5,
         {{"SENSORNAME", K::fkString}, {"LAST_CALIBRATED", K::fkDateTime}},
         "STE_STATION_ID",
         {{"SENSORNAME", "HG"}, {"LAST_CALIBRATED", "2015-04-03 09:45:00"}}},
    };
    for (const Expected& e : tables) {
        TSuiteTable table;
        ASSERT_TRUE(table.Open(*db.Connection, QString::fromLatin1(e.table)))
            << table.LastError().toStdString();
        ASSERT_EQ(static_cast<int>(table.Fields().size()), e.fields) << e.table;
        std::map<QString, int> index;
        for (int i = 0; i < e.fields; ++i) {
            const TTableField& f = table.Fields()[static_cast<std::size_t>(i)];
            index[f.Name.toUpper()] = i;
            auto kind = e.kinds.find(f.Name.toUpper());
            if (kind != e.kinds.end()) {
                EXPECT_EQ(f.Kind, kind->second) << e.table << "." << f.Name.toStdString();
            }
        }
        int rows = 0, nulls = 0;
        bool found = false;
        while (table.Next()) {
            ++rows;
            for (int i = 0; i < e.fields; ++i) nulls += table.IsNull(i);
            if (found || table.Text(index[QString::fromLatin1(e.key)]) != QStringLiteral("RIVER1"))
                continue;
            found = true;
            for (const auto& [name, value] : e.values)
                EXPECT_EQ(table.Text(index[name]).toStdString(), value.toStdString()) << e.table;
        }
        EXPECT_TRUE(found) << e.table;
        EXPECT_EQ(rows, e.fields == 16 ? 42 : 180);
        EXPECT_GT(nulls, 0);
        EXPECT_TRUE(table.LastError().isEmpty()) << table.LastError().toStdString();
    }
    TSuiteTable missing;
    EXPECT_FALSE(missing.Open(*db.Connection, QStringLiteral("OV_NO_SUCH_TABLE")));
    EXPECT_FALSE(missing.LastError().isEmpty());
    EXPECT_TRUE(missing.Fields().empty());
}

INSTANTIATE_TEST_SUITE_P(Databases, SuiteTable,
                         ::testing::Values(test::SQLiteDsn, test::PostgresDsn));

}  // namespace
}  // namespace ov
