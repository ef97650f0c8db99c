// Opening and closing the suite database connection.
#include "database/DatabaseConnection.h"

#include <QSqlError>

#include "qttext/QtText.h"
#include "suite/Encrypt.h"
#include "util/Format.h"

Q_LOGGING_CATEGORY(lcDatabase, "ovcalc.database")

namespace ov {

namespace {

bool Blank(const std::string& text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) > ' ') return false;
    return true;
}

// A password as an ODBC connection attribute value: the driver manager cuts a plain value at
// its first ";" and reads the rest as further attributes, so such a value goes in braces
// (a "}" inside doubled).
QString PasswordValue(const std::string& password) {
    QString value = QtText(password);
    if (!value.contains(u';') && !value.contains(u'{') && !value.contains(u'}') &&
        value.trimmed() == value)
        return value;
    value.replace(QStringLiteral("}"), QStringLiteral("}}"));
    return QStringLiteral("{") + value + QStringLiteral("}");
}

}  // namespace

TDatabaseConnection::TDatabaseConnection(IMessageBoxes& boxes) : boxes_(boxes) {}

TDatabaseConnection::~TDatabaseConnection() {
    DisconnectDatabase();
}

void TDatabaseConnection::SetLogin(std::string alias, std::string userName, std::string password) {
    alias_ = std::move(alias);
    userName_ = std::move(userName);
    password_ = std::move(password);
}

QSqlDatabase TDatabaseConnection::Database() const {
    if (!connected_) return {};
    return QSqlDatabase::database(QString::fromLatin1(SessionName), false);
}

void TDatabaseConnection::CloseQuietly() {
    const QString name = QString::fromLatin1(SessionName);
    if (QSqlDatabase::contains(name)) {
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
}

bool TDatabaseConnection::ConnectDatabase() {
    if (Blank(alias_)) {
        DisconnectDatabase();
        return false;
    }
    if (alias_ != lastAlias_ || userName_ != lastUserName_) {
        lastAlias_ = alias_;
        lastUserName_ = userName_;
        if (connected_) DisconnectDatabase();
    }
    if (!connected_) {
        bool failed = false;
        QString error;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"),
                                                        QString::fromLatin1(SessionName));
            db.setDatabaseName(QtText(alias_));
            db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(loginTimeout_));
            if (!db.open(QtText(userName_), PasswordValue(password_))) {
                failed = true;
                error = db.lastError().text();
            }
        }
        if (failed) {
            qCWarning(lcDatabase) << "connecting to" << QtText(alias_) << "failed:" << error;
            boxes_.ShowError(QString::fromUtf8(FormatText(
                "Error 1617: Unable to connect to database - %p", {error.toStdString()})));
            CloseQuietly();
            connected_ = false;
            return false;
        }
    }
    connected_ = true;
    return true;
}

void TDatabaseConnection::DisconnectDatabase() {
    if (connected_) CloseQuietly();
    connected_ = false;
}

bool TDatabaseConnection::OpenSetupDatabase(const TDataServerSetup& setup) {
    DisconnectDatabase();
    if (!StorageOpensDatabase(setup.StorageOption)) {
        boxes_.ShowError(QStringLiteral("Error 1616: Data storage option must be database"));
        return false;
    }
    // A login field that does not decipher gives an empty password.
    SetLogin(setup.DatabaseAlias, setup.DatabaseUser, DecodeLogin(setup.DatabasePassword));
    if (!ConnectDatabase()) {
        boxes_.ShowError(QStringLiteral("Database NOT connected."));
        return false;
    }
    return true;
}

}  // namespace ov
