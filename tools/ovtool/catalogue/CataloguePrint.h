// The database side of "ovtool catalogue": connecting to a suite database and printing the
// catalogue query and a view's tree. Built only with Qt (QtSql); the command's arguments are
// read by the tool itself, so that this part stays below it.
#pragma once

#include <iosfwd>
#include <string>

#include "suite/CatalogueTree.h"

namespace ovtool {

struct TCatalogueRequest {
    std::string Source;    // ODBC data source or connection string
    std::string User;      // "" when not given
    std::string Password;  // "" when not given
    std::string Filter;    // the filter file; "" for none
    ov::TSortMode Mode = ov::smStations;
    ov::TLevelProfile Profile = ov::TLevelProfile::lpStationTree;
};

// Prints the catalogue query's SQL text and the tree of the view, one node a line; returns 0,
// or 1 with the database's message on err when the connection or the query fails.
int PrintCatalogue(const TCatalogueRequest& request, std::ostream& out, std::ostream& err);

}  // namespace ovtool
