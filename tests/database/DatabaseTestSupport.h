// What the database tests share: the fixture's data sources, a recorder of message boxes and
// a connection made on one of them.
#pragma once

#include <QSqlDatabase>
#include <QStringList>
#include <cstdlib>
#include <memory>
#include <string>

#include "database/DatabaseConnection.h"
#include "database/MessageBoxes.h"

namespace ov::test {

// The data sources of tests/database/suite_db_fixture.sh (ODBCINI names its odbc.ini).
inline constexpr const char* SQLiteDsn = "OVSuiteSQLite";
inline constexpr const char* PostgresDsn = "OVSuitePg";
inline constexpr const char* LargeDsn = "OVSuiteLarge";
inline constexpr const char* NoSuiteDsn = "OVNoSuite";  // a database without the two tables
// The owner of the PostgreSQL test database, who logs in without a password.
inline constexpr const char* OwnerUser = "ov";

// The fixture's folder (ODBCSYSINI), where its PostgreSQL server has its socket.
inline std::string FixtureFolder() {
    const char* folder = std::getenv("ODBCSYSINI");
    return folder ? folder : "";
}

class TBoxRecorder : public IMessageBoxes {
  public:
    void ShowError(const QString& text) override { Errors << text; }
    void ShowInformation(const QString& text) override { Informations << text; }
    QStringList Errors;
    QStringList Informations;
};

struct TConnected {
    TBoxRecorder Boxes;
    std::unique_ptr<TDatabaseConnection> Connection = std::make_unique<TDatabaseConnection>(Boxes);
    // Connects to dsn as the owner; false when that failed.
    bool Connect(const std::string& dsn) {
        Connection->SetLogin(dsn, OwnerUser, "");
        return Connection->ConnectDatabase();
    }
};

}  // namespace ov::test
