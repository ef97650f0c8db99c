// The station catalogue and the filter dialog's preview, read through the open suite
// database connection.
#pragma once

#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/StationSensorCache.h"
#include "database/DatabaseConnection.h"

namespace ov {

// Clears catalogue and fills it from the catalogue query with the filter of filterFile
// (none for a blank name or a file that cannot be read): one entry per row, null texts empty
// and null channels 0. Any failure (no connection, a filter that is not valid SQL, a lost
// connection, a value that is no integer) ends the load with the entries read so far: false,
// and the driver's message in *error when given.
bool LoadStationCatalogue(const TDatabaseConnection& connection, TStationSensorCache& catalogue,
                          const std::string& filterFile, QString* error = nullptr);

// The same for a query text of one's own (the catalogue's columns, in any order).
bool LoadStationCatalogueSql(const QSqlDatabase& db, TStationSensorCache& catalogue,
                             const std::string& sql, QString* error = nullptr);

// The filter dialog's preview (editorText: its 8-bit text, lines ending in LF, CR LF or CR):
// STATION_ID and SENSORNAME (as text, null as empty) of every
// row of the catalogue query with the editor's text as its condition (none when empty). A
// failure ends the list with the rows read so far: false, the message in *error when given.
bool RunPreviewQuery(const TDatabaseConnection& connection, const std::string& editorText,
                     std::vector<std::pair<QString, QString>>& rows, QString* error = nullptr);

}  // namespace ov
