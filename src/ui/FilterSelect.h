// The filter dialog "Filters" as the setup dialog calls it: shown modally on the open suite
// database, it answers whether the user left it with OK and, if so, the name of the filter
// file saved there.
#pragma once

#include <QString>

class QWidget;

namespace ov {

class TDatabaseConnection;

// Shows the filter dialog modally over parent on the connection's open database. True on OK,
// with fileName set to the saved filter file's name; false (fileName unchanged) otherwise.
bool RunFilterSelect(QWidget* parent, TDatabaseConnection& connection, QString& fileName);

}  // namespace ov
