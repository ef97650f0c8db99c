// The one connection to the suite database that the setup dialogs share, through QtSql's
// ODBC driver: the alias is an ODBC data source name (or a full connection string), the
// connection's name is the session name. Main thread only.
#pragma once

#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QString>
#include <string>

#include "database/MessageBoxes.h"
#include "suite/SetupParams.h"

Q_DECLARE_LOGGING_CATEGORY(lcDatabase)

namespace ov {

class TDatabaseConnection {
  public:
    // The name of the connection (the session) while it is open.
    static constexpr const char* SessionName = "OVDataViewSession";
    // How long opening a connection may take before it counts as failed (a server that
    // accepts but never answers would otherwise hold the dialog for ever).
    static constexpr int DefaultLoginTimeout = 15;  // seconds

    explicit TDatabaseConnection(IMessageBoxes& boxes);
    // Disconnects: the program's end closes a connection still open.
    ~TDatabaseConnection();
    TDatabaseConnection(const TDatabaseConnection&) = delete;
    TDatabaseConnection& operator=(const TDatabaseConnection&) = delete;

    // The login of the next ConnectDatabase, 8-bit texts as the settings hold them.
    void SetLogin(std::string alias, std::string userName, std::string password);

    // Opens the connection for the login. A blank alias disconnects and answers false without
    // a message; a change of alias or user name (not of the password alone) closes an open
    // connection first; an open connection is kept. A failure shows "Error 1617: Unable to
    // connect to database - " with the driver's message and leaves no connection.
    bool ConnectDatabase();
    // Closes the connection if one is open; never connected afterwards.
    void DisconnectDatabase();
    // What the setup dialog runs when it opens: disconnect, then connect with the data-server
    // settings (the password deciphered from the login field) when the storage option is a
    // database, showing "Database NOT connected." on failure; otherwise "Error 1616: Data
    // storage option must be database". Answers whether a connection is open.
    bool OpenSetupDatabase(const TDataServerSetup& setup);

    bool DBConnected() const { return connected_; }
    const std::string& LastDBAlias() const { return lastAlias_; }

    // The open connection, for the catalogue and the filter dialog's own reads; an invalid
    // database when none is open. Keep no copy beyond the call that uses it.
    QSqlDatabase Database() const;

    void SetLoginTimeout(int seconds) { loginTimeout_ = seconds; }

  private:
    void CloseQuietly();

    IMessageBoxes& boxes_;
    bool connected_ = false;
    std::string alias_;
    std::string userName_;
    std::string password_;
    std::string lastAlias_;
    std::string lastUserName_;
    int loginTimeout_ = DefaultLoginTimeout;
};

}  // namespace ov
