// Reading the station catalogue and the preview rows.
#include "database/CatalogueQueries.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <array>

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

}  // namespace

bool LoadStationCatalogueSql(const QSqlDatabase& db, TStationSensorCache& catalogue,
                             const std::string& sql, QString* error) {
    catalogue.Clear();
    QSqlQuery query(db);
    QString message;
    if (!Open(query, db, sql, message))
        return Fail(QStringLiteral("the station catalogue query failed: ") + message, error);

    // Columns by name once (the driver may give them in another letter case).
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
        kCount
    };
    static const std::array<QString, kCount> names = {QStringLiteral("STATION_ID"),
                                                      QStringLiteral("SENSORNAME"),
                                                      QStringLiteral("BASIN"),
                                                      QStringLiteral("DISTRICT"),
                                                      QStringLiteral("CITY"),
                                                      QStringLiteral("COUNTY"),
                                                      QStringLiteral("STATE"),
                                                      QStringLiteral("COUNTRY"),
                                                      QStringLiteral("PRIMARY_CHANNEL"),
                                                      QStringLiteral("RANDOM_CHANNEL")};
    std::array<int, kCount> column{};
    const QSqlRecord record = query.record();
    for (int i = 0; i < kCount; ++i) {
        column[i] = record.indexOf(names[i]);
        if (column[i] < 0)
            return Fail(QStringLiteral("the station catalogue query has no column ") + names[i],
                        error);
    }
    while (query.next()) {
        auto item = std::make_unique<TStationSensorItem>();
        item->StationID = Text(query.value(column[kStation]));
        item->SensorName = Text(query.value(column[kSensor]));
        std::string* attributes[] = {&item->Basin,  &item->District, &item->City,
                                     &item->County, &item->State,    &item->Country};
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
            if (!ok)
                return Fail(QStringLiteral("the station catalogue ends at station ") +
                                QString::fromLatin1(item->StationID) + QStringLiteral(": ") +
                                names[kPrimary + i] + QStringLiteral(" is no integer"),
                            error);
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
