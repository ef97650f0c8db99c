// The one text rule at every Qt edge: a text from Qt reads as the same engine text through the
// bus (a settings value received), the database (a catalogue cell) and the dialogs (a tree
// node's text): every character up to U+00FF as its byte, each character above as one "?",
// however many UTF-16 units it takes. The bus's refusing entry names the first such character.
#include <gtest/gtest.h>

#include <QTreeWidget>
#include <algorithm>
#include <cstddef>
#include <string>
#include <variant>

#include "bus/BusSetupValue.h"
#include "catalogue/StationSensorCache.h"
#include "database/CatalogueQueries.h"
#include "database/DatabaseTestSupport.h"
#include "qttext/QtText.h"
#include "ui/CatalogueTreeWidget.h"

namespace ov {
namespace {

struct TCase {
    const char* Name;
    std::u16string Units;    // the text as Qt holds it
    std::string Engine;      // as every edge reads it
    std::u16string Refused;  // as the bus names the first character it refuses; empty: none
    bool InDatabase;         // a database can hold it (no lone surrogate, no zero character)
};

QString Q(const std::u16string& units) {
    return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

const std::u16string LongValue =
    std::u16string(254, u'b') + u"\U0001F30A" + std::u16string(500, u'b');

const TCase Cases[] = {
    {"plain ASCII", u"Pegel 1", "Pegel 1", u"", true},
    {"Latin-1", u"Caf\u00E9 \u00FF", "Caf\xE9 \xFF", u"", true},
    {"U+0100", u"A\u0100B", "A?B", u"\"\u0100\" (U+0100)", true},
    {"CJK", u"\u6C34\u4F4D", "??", u"\"\u6C34\" (U+6C34)", true},
    {"emoji", u"x\U0001F30Ay", "x?y", u"\"\U0001F30A\" (U+1F30A)", true},
    {"two emoji", u"\U0001F600\U0001F327", "??", u"\"\U0001F600\" (U+1F600)", true},
    {"emoji across the pieces of a long cell", LongValue,
     std::string(254, 'b') + "?" + std::string(500, 'b'), u"\"\U0001F30A\" (U+1F30A)", true},
    {"lone high surrogate", {u'a', 0xD800, u'b'}, "a?b", u"\"\uFFFD\" (U+D800)", false},
    {"lone low surrogate", {0xDC00}, "?", u"\"\uFFFD\" (U+DC00)", false},
    {"high surrogate at the end", {u'a', 0xD83D}, "a?", u"\"\uFFFD\" (U+D83D)", false},
    {"empty", u"", "", u"", true},
    {"zero character", {u'a', 0, u'b'}, std::string("a\0b", 3), u"", false},
};

// The bus: a text argument received as a settings value.
std::string ThroughBus(const QString& text) {
    TSetupValue value;
    EXPECT_TRUE(VariantToSetupValue(QVariant(text), value));
    return std::get<std::string>(value);
}

// The dialogs: the text of a node of the catalogue's tree.
std::string ThroughDialog(const QString& text) {
    QTreeWidget widget;
    TCatalogueTreeWidget tree(widget);
    tree.AddRoot("x");
    widget.topLevelItem(0)->setText(0, text);
    return tree.Text(tree.LastNode());
}

// The database: the text as a cell of the station catalogue, read by the catalogue's reads (in
// blocks; cell by cell for a value longer than its column). The query's own text is 8-bit, so
// the database makes each character above U+00FF from its code point.
std::string ThroughDatabase(TDatabaseConnection& connection, bool postgres, const QString& text) {
    std::string cell, literal;
    auto join = [&cell](const std::string& part) { cell += (cell.empty() ? "" : " || ") + part; };
    auto flush = [&] {
        if (!literal.empty()) join("'" + literal + "'");
        literal.clear();
    };
    for (const char32_t c : text.toUcs4()) {
        if (c <= 0xFF) {
            literal += static_cast<char>(c);
            continue;
        }
        flush();
        join((postgres ? "chr(" : "char(") + std::to_string(static_cast<unsigned>(c)) + ")");
    }
    flush();
    if (cell.empty()) cell = "''";
    const std::string sql = "SELECT 'ST1' AS STATION_ID, " + cell +
                            " AS SENSORNAME, NULL AS BASIN, NULL AS DISTRICT, NULL AS CITY, NULL "
                            "AS COUNTY, NULL AS STATE, NULL AS COUNTRY, 1 AS PRIMARY_CHANNEL, "
                            "NULL AS RANDOM_CHANNEL";
    TStationSensorCache catalogue;
    QString error;
    EXPECT_TRUE(LoadStationCatalogueSql(connection.Database(), catalogue, sql, &error))
        << error.toStdString();
    if (catalogue.Count() != 1) return "(no row)";
    return catalogue.Items(0).SensorName;
}

TEST(QtText, EveryEdgeReadsACharacterThatDoesNotFitAsOneQuestionMark) {
    for (const TCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        const QString text = Q(c.Units);
        std::size_t replaced = 99;
        EXPECT_EQ(EngineText(text, &replaced), c.Engine);
        EXPECT_EQ(replaced,
                  static_cast<std::size_t>(std::count(c.Engine.begin(), c.Engine.end(), '?')));
        EXPECT_EQ(ThroughBus(text), c.Engine);
        EXPECT_EQ(ThroughDialog(text), c.Engine);
        std::string exact = "unchanged";
        QString refused;
        EXPECT_EQ(ExactEngineText(text, exact, refused), c.Refused.empty());
        EXPECT_EQ(refused, Q(c.Refused));
        EXPECT_EQ(exact, c.Refused.empty() ? c.Engine : "unchanged");
    }
    // The program holds one database connection at a time.
    for (const bool postgres : {false, true}) {
        test::TConnected db;
        ASSERT_TRUE(db.Connect(postgres ? test::PostgresDsn : test::SQLiteDsn));
        for (const TCase& c : Cases) {
            SCOPED_TRACE(std::string(c.Name) + (postgres ? " in PostgreSQL" : " in SQLite"));
            if (c.InDatabase)
                EXPECT_EQ(ThroughDatabase(*db.Connection, postgres, Q(c.Units)), c.Engine);
        }
    }
}

TEST(QtText, EveryByteRoundTripsAsItsCodePoint) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    const QString text = QtText(all);
    ASSERT_EQ(text.size(), 256);
    for (int c = 0; c < 256; ++c) ASSERT_EQ(text.at(c).unicode(), c);
    EXPECT_EQ(EngineText(text), all);
    EXPECT_EQ(ThroughBus(text), all);
    QVariant variant;
    ASSERT_TRUE(SetupValueToVariant(TSetupValue(all), variant));
    EXPECT_EQ(variant.toString(), text);

    QTreeWidget widget;
    TCatalogueTreeWidget tree(widget);
    tree.AddRoot(all);
    EXPECT_EQ(widget.topLevelItem(0)->text(0), text);
    EXPECT_EQ(tree.Text(tree.LastNode()), all);
}

}  // namespace
}  // namespace ov
