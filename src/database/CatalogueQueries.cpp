// Reading the station catalogue and the preview rows.
#include "database/CatalogueQueries.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <array>
#include <charconv>
#include <system_error>

#include "database/OdbcStatement.h"
#include "suite/CatalogueSql.h"

namespace ov {

namespace {

// Runs sql forward-only on db; false with the message when it cannot run.
bool Open(QSqlQuery& query, const QSqlDatabase& db, const std::string& sql, QString& error) {
    if (!db.isValid() || !db.isOpen()) {
        error = QStringLiteral("no open connection to the suite database");
        return false;
    }
    query.setForwardOnly(true);
    if (!query.exec(QString::fromLatin1(sql))) {
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

// The suite's texts are 8-bit; a character beyond Latin-1 cannot be one of them.
std::string Text(const QVariant& value) {
    return value.toString().toLatin1().toStdString();
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
    return Fail(QStringLiteral("the station catalogue ends at station ") +
                    QString::fromLatin1(item.StationID) + QStringLiteral(": ") +
                    QLatin1String(kColumnNames[column]) + QStringLiteral(" is no integer"),
                error);
}

// The rows read straight from the ODBC statement, every cell as text.
bool LoadWithStatement(TOdbcStatement& statement, TStationSensorCache& catalogue,
                       const std::string& sql, QString* error) {
    if (!statement.Exec(sql))
        return Fail(QStringLiteral("the station catalogue query failed: ") + statement.Error(),
                    error);
    std::array<int, kColumnCount> column{};
    for (int i = 0; i < kColumnCount; ++i) {
        column[i] = statement.ColumnIndex(kColumnNames[i]);
        if (column[i] < 0)
            return Fail(QStringLiteral("the station catalogue query has no column ") +
                            QLatin1String(kColumnNames[i]),
                        error);
    }
    using TCell = TOdbcStatement::TCell;
    std::string channel;
    while (statement.Fetch()) {
        auto item = std::make_unique<TStationSensorItem>();
        bool failed = statement.Text(column[kStation], item->StationID) == TCell::cFailed ||
                      statement.Text(column[kSensor], item->SensorName) == TCell::cFailed;
        const auto attributes = Attributes(*item);
        for (int i = 0; i < 6 && !failed; ++i)
            failed = statement.Text(column[kBasin + i], *attributes[i]) == TCell::cFailed;
        std::int32_t* channels[] = {&item->PrimaryChannel, &item->RandomChannel};
        for (int i = 0; i < 2 && !failed; ++i) {
            const TCell cell = statement.Text(column[kPrimary + i], channel);
            failed = cell == TCell::cFailed;
            if (cell != TCell::cText) continue;
            const char* end = channel.data() + channel.size();
            const auto [stop, ec] = std::from_chars(channel.data(), end, *channels[i]);
            if (ec != std::errc() || stop != end || channel.empty())
                return NotAnInteger(*item, kPrimary + i, error);
        }
        if (failed) break;
        catalogue.Append(std::move(item));
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
    TOdbcStatement statement(db);
    if (statement.Valid()) return LoadWithStatement(statement, catalogue, sql, error);
    return LoadWithQuery(db, catalogue, sql, error);
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
