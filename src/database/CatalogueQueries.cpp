// Reading the station catalogue and the preview rows.
#include "database/CatalogueQueries.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <array>
#include <charconv>
#include <system_error>

#include "catalogue/CatalogueSql.h"
#include "database/OdbcStatement.h"
#include "qttext/QtText.h"

namespace ov {

namespace {

// Runs sql forward-only on db; false with the message when it cannot run.
bool Open(QSqlQuery& query, const QSqlDatabase& db, const std::string& sql, QString& error) {
    if (!db.isValid() || !db.isOpen()) {
        error = QStringLiteral("no open connection to the suite database");
        return false;
    }
    query.setForwardOnly(true);
    if (!query.exec(QtText(sql))) {
        error = query.lastError().text();
        return false;
    }
    return true;
}

bool Fail(const QString& what, QString* error) {
    qCWarning(lcDatabase).noquote() << what;
    if (error) *error = what;
    return false;
}

std::string Text(const QVariant& value) {
    return EngineText(value.toString());
}

// The catalogue's columns, found by name once (the driver may give them in another letter case).
enum {
    kStation,
    kSensor,
    kBasin,
    kDistrict,
    kCity,
    kCounty,
    kState,
    kCountry,
    kPrimary,
    kRandom,
    kColumnCount
};
constexpr std::array<const char*, kColumnCount> kColumnNames = {
    "STATION_ID", "SENSORNAME", "BASIN",   "DISTRICT",        "CITY",
    "COUNTY",     "STATE",      "COUNTRY", "PRIMARY_CHANNEL", "RANDOM_CHANNEL"};

std::array<std::string*, 6> Attributes(TStationSensorItem& item) {
    return {&item.Basin, &item.District, &item.City, &item.County, &item.State, &item.Country};
}

bool NotAnInteger(const TStationSensorItem& item, int column, QString* error) {
    return Fail(QStringLiteral("the station catalogue ends at station ") + QtText(item.StationID) +
                    QStringLiteral(": ") + QLatin1String(kColumnNames[column]) +
                    QStringLiteral(" is no integer"),
                error);
}

using TCell = TOdbcStatement::TCell;

// Runs the catalogue query on statement and finds its columns; false with the message.
bool ExecCatalogue(TOdbcStatement& statement, const std::string& sql,
                   std::array<int, kColumnCount>& column, QString* error) {
    if (!statement.Exec(sql))
        return Fail(QStringLiteral("the station catalogue query failed: ") + statement.Error(),
                    error);
    for (int i = 0; i < kColumnCount; ++i) {
        column[i] = statement.ColumnIndex(kColumnNames[i]);
        if (column[i] < 0)
            return Fail(QStringLiteral("the station catalogue query has no column ") +
                            QLatin1String(kColumnNames[i]),
                        error);
    }
    return true;
}

// One row's cells as a new entry, each cell read by cell(column index, text). Null for a cell
// that failed or was cut short (bad tells which) and for a channel that is no integer
// (notInteger set, its message in *error when given).
template <typename TCellReader>
std::unique_ptr<TStationSensorItem> ReadRow(const std::array<int, kColumnCount>& column,
                                            TCellReader cell, std::string& channel, TCell& bad,
                                            bool& notInteger, QString* error) {
    auto item = std::make_unique<TStationSensorItem>();
    auto ok = [&](int c, std::string& text) {
        if (bad != TCell::cText) return bad;  // the row is lost already: no further reads
        const TCell got = cell(column[c], text);
        if (got == TCell::cFailed || got == TCell::cTruncated) bad = got;
        return got;
    };
    ok(kStation, item->StationID);
    ok(kSensor, item->SensorName);
    const auto attributes = Attributes(*item);
    for (int i = 0; i < 6; ++i) ok(kBasin + i, *attributes[i]);
    std::int32_t* channels[] = {&item->PrimaryChannel, &item->RandomChannel};
    for (int i = 0; i < 2 && bad == TCell::cText; ++i) {
        if (ok(kPrimary + i, channel) != TCell::cText) continue;
        const char* end = channel.data() + channel.size();
        const auto [stop, ec] = std::from_chars(channel.data(), end, *channels[i]);
        if (ec != std::errc() || stop != end || channel.empty()) {
            notInteger = true;
            NotAnInteger(*item, kPrimary + i, error);
            return nullptr;
        }
    }
    if (bad != TCell::cText) return nullptr;
    return item;
}

// The rows read straight from the ODBC statement, cell by cell, every cell as text.
bool LoadCellByCell(TOdbcStatement& statement, TStationSensorCache& catalogue,
                    const std::string& sql, QString* error) {
    std::array<int, kColumnCount> column{};
    if (!ExecCatalogue(statement, sql, column, error)) return false;
    std::string channel;
    while (statement.Fetch()) {
        TCell bad = TCell::cText;
        bool notInteger = false;
        auto item = ReadRow(
            column, [&](int c, std::string& text) { return statement.Text(c, text); }, channel, bad,
            notInteger, error);
        if (notInteger) return false;
        if (!item) break;
        catalogue.Append(std::move(item));
    }
    if (!statement.Error().isEmpty())
        return Fail(QStringLiteral("reading the station catalogue failed: ") + statement.Error(),
                    error);
    return true;
}

// The rows read in blocks into bound columns. truncated: a value was longer than its
// column's width (the driver's column size, which SQLite does not hold its values to); the
// catalogue is then incomplete and the caller reads it cell by cell instead.
bool LoadInBlocks(TOdbcStatement& statement, TStationSensorCache& catalogue, const std::string& sql,
                  bool& truncated, QString* error) {
    std::array<int, kColumnCount> column{};
    if (!ExecCatalogue(statement, sql, column, error)) return false;
    for (int c : column) {
        if (!statement.Bind(c))
            return Fail(
                QStringLiteral("reading the station catalogue failed: ") + statement.Error(),
                error);
    }
    std::string channel;
    while (const std::size_t rows = statement.FetchBlock()) {
        for (std::size_t row = 0; row < rows; ++row) {
            TCell bad = TCell::cText;
            bool notInteger = false;
            auto item = ReadRow(
                column, [&](int c, std::string& text) { return statement.BlockText(row, c, text); },
                channel, bad, notInteger, error);
            if (notInteger) return false;
            if (bad == TCell::cTruncated) {
                truncated = true;
                return false;
            }
            if (!item) break;
            catalogue.Append(std::move(item));
        }
    }
    if (!statement.Error().isEmpty())
        return Fail(QStringLiteral("reading the station catalogue failed: ") + statement.Error(),
                    error);
    return true;
}

// The rows through a QSqlQuery, for a database that no ODBC driver serves.
bool LoadWithQuery(const QSqlDatabase& db, TStationSensorCache& catalogue, const std::string& sql,
                   QString* error) {
    QSqlQuery query(db);
    QString message;
    if (!Open(query, db, sql, message))
        return Fail(QStringLiteral("the station catalogue query failed: ") + message, error);
    std::array<int, kColumnCount> column{};
    const QSqlRecord record = query.record();
    for (int i = 0; i < kColumnCount; ++i) {
        column[i] = record.indexOf(QLatin1String(kColumnNames[i]));
        if (column[i] < 0)
            return Fail(QStringLiteral("the station catalogue query has no column ") +
                            QLatin1String(kColumnNames[i]),
                        error);
    }
    while (query.next()) {
        auto item = std::make_unique<TStationSensorItem>();
        item->StationID = Text(query.value(column[kStation]));
        item->SensorName = Text(query.value(column[kSensor]));
        const auto attributes = Attributes(*item);
        for (int i = 0; i < 6; ++i) {
            const int c = column[kBasin + i];
            if (!query.isNull(c)) *attributes[i] = Text(query.value(c));
        }
        std::int32_t* channels[] = {&item->PrimaryChannel, &item->RandomChannel};
        for (int i = 0; i < 2; ++i) {
            const int c = column[kPrimary + i];
            if (query.isNull(c)) continue;
            bool ok = false;
            const int value = query.value(c).toInt(&ok);
            if (!ok) return NotAnInteger(*item, kPrimary + i, error);
            *channels[i] = value;
        }
        catalogue.Append(std::move(item));
    }
    if (query.lastError().isValid())
        return Fail(
            QStringLiteral("reading the station catalogue failed: ") + query.lastError().text(),
            error);
    return true;
}

}  // namespace

bool LoadStationCatalogueSql(const QSqlDatabase& db, TStationSensorCache& catalogue,
                             const std::string& sql, QString* error) {
    catalogue.Clear();
    {
        TOdbcStatement statement(db);
        if (!statement.Valid()) return LoadWithQuery(db, catalogue, sql, error);
        bool truncated = false;
        const bool loaded = LoadInBlocks(statement, catalogue, sql, truncated, error);
        if (!truncated) return loaded;
    }
    // A value longer than its column says: read again, each cell whole.
    catalogue.Clear();
    TOdbcStatement statement(db);
    return LoadCellByCell(statement, catalogue, sql, error);
}

bool LoadStationCatalogue(const TDatabaseConnection& connection, TStationSensorCache& catalogue,
                          const std::string& filterFile, QString* error) {
    return LoadStationCatalogueSql(connection.Database(), catalogue,
                                   CatalogueSqlForFilterFile(filterFile), error);
}

bool RunPreviewQuery(const TDatabaseConnection& connection, const std::string& editorText,
                     std::vector<std::pair<QString, QString>>& rows, QString* error) {
    const QSqlDatabase db = connection.Database();
    QSqlQuery query(db);
    QString message;
    if (!Open(query, db, PreviewSqlText(editorText), message))
        return Fail(QStringLiteral("the preview query failed: ") + message, error);
    const QSqlRecord record = query.record();
    const int station = record.indexOf(QStringLiteral("STATION_ID"));
    const int sensor = record.indexOf(QStringLiteral("SENSORNAME"));
    while (query.next()) {
        rows.emplace_back(query.value(station).toString(), query.value(sensor).toString());
    }
    if (query.lastError().isValid())
        return Fail(QStringLiteral("reading the preview failed: ") + query.lastError().text(),
                    error);
    return true;
}

}  // namespace ov
