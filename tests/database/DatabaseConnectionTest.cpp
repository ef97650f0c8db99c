// Tests of the suite database connection on the fixture's SQLite and PostgreSQL databases:
// when it connects and reconnects, its three messages, the storage options and the password
// from the login field, and failures that must neither hang nor leave a connection behind.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSqlQuery>
#include <filesystem>

#include "DatabaseTestSupport.h"
#include "suite/Encrypt.h"
#include "support/ScratchFolder.h"

namespace ov {
namespace {

using test::TBoxRecorder;
const QString Error1617 = QStringLiteral("Error 1617: Unable to connect to database - ");

std::string LoginField(const std::string& password) {
    std::string field;
    EXPECT_TRUE(EncodeLogin(password, "", field));
    return field;
}

// Marks the open connection, so that a test can tell whether it is still the same one.
bool Mark(TDatabaseConnection& c) {
    QSqlQuery q(c.Database());
    return q.exec(QStringLiteral("CREATE TEMPORARY TABLE OV_MARK (X INTEGER)"));
}
bool Marked(TDatabaseConnection& c) {
    QSqlQuery q(c.Database());
    return q.exec(QStringLiteral("SELECT X FROM OV_MARK"));
}

bool SessionExists() {
    return QSqlDatabase::contains(QString::fromLatin1(TDatabaseConnection::SessionName));
}

class DatabaseConnection : public ::testing::TestWithParam<const char*> {};

TEST_P(DatabaseConnection, KeepsTheConnectionUntilAliasOrUserChange) {
    TBoxRecorder boxes;
    TDatabaseConnection c(boxes);
    c.SetLogin(GetParam(), test::OwnerUser, "");
    ASSERT_TRUE(c.ConnectDatabase()) << boxes.Errors.join("\n").toStdString();
    EXPECT_TRUE(c.DBConnected());
    EXPECT_EQ(c.Database().connectionName().toStdString(), "OVDataViewSession");
    ASSERT_TRUE(Mark(c));

    c.SetLogin(GetParam(), test::OwnerUser, "another password");
    ASSERT_TRUE(c.ConnectDatabase());
    EXPECT_TRUE(Marked(c)) << "a new password alone reconnected";

    c.SetLogin(GetParam(), "guard", "right");
    ASSERT_TRUE(c.ConnectDatabase()) << boxes.Errors.join("\n").toStdString();
    EXPECT_FALSE(Marked(c)) << "a new user name kept the old connection";

    c.SetLogin("   ", test::OwnerUser, "");
    EXPECT_FALSE(c.ConnectDatabase());
    EXPECT_FALSE(c.DBConnected());
    EXPECT_FALSE(SessionExists());
    EXPECT_EQ(c.LastDBAlias(), GetParam());  // a blank alias is no connection request

    // Every showing of the setup dialog connects afresh, with the same settings.
    TDataServerSetup setup;
    setup.DatabaseAlias = GetParam();
    setup.DatabaseUser = test::OwnerUser;
    ASSERT_TRUE(c.OpenSetupDatabase(setup));
    ASSERT_TRUE(Mark(c));
    ASSERT_TRUE(c.OpenSetupDatabase(setup));
    EXPECT_FALSE(Marked(c));

    c.DisconnectDatabase();
    EXPECT_FALSE(c.DBConnected());
    EXPECT_FALSE(c.Database().isValid());
    EXPECT_FALSE(SessionExists());
    EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("\n").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Databases, DatabaseConnection,
                         ::testing::Values(test::SQLiteDsn, test::PostgresDsn));

// A folder with a socket that takes connections and never answers them: a server that hangs.
class THangingServer {
  public:
    THangingServer() {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = (folder_ / ".s.PGSQL.5432").string();
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        Ok = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
             ::listen(fd_, 8) == 0;
    }
    ~THangingServer() {
        if (fd_ >= 0) ::close(fd_);
    }
    std::string Folder() const { return folder_.Path().string(); }
    bool Ok = false;

  private:
    test::ScratchFolder folder_;
    int fd_ = -1;
};

TEST(DatabaseConnectionFailures, EndInMessage1617AndNoConnection) {
    THangingServer hanging;
    ASSERT_TRUE(hanging.Ok);
    test::ScratchFolder empty;
    const std::string pg = "DRIVER={OV PostgreSQL};Port=5432;Database=ovsuite;Servername=";
    struct Case {
        std::string alias, user, password;
        const char* driverText;  // part of the driver's message
    };
    const Case cases[] = {
        {"NoSuchSource", "ov", "", "Data source name not found"},
        {test::PostgresDsn, "guard", "wrong", "password authentication failed"},
        {test::PostgresDsn, "nobody", "x", "\"nobody\""},
        {pg + empty.Path().string(), "ov", "", "No such file or directory"},  // server down
        {pg + hanging.Folder(), "ov", "", "timeout expired"},
        {"DRIVER={OV SQLite3};NoCreat=1;Database=" + (empty / "gone.db").string(), "ov", "",
         "[SQLite]connect failed"},  // a database file that is missing
    };
    for (const Case& k : cases) {
        TBoxRecorder boxes;
        TDatabaseConnection c(boxes);
        c.SetLoginTimeout(1);
        c.SetLogin(k.alias, k.user, k.password);
        EXPECT_FALSE(c.ConnectDatabase()) << k.alias;
        EXPECT_FALSE(c.DBConnected());
        EXPECT_FALSE(SessionExists());
        ASSERT_EQ(boxes.Errors.size(), 1) << k.alias;
        EXPECT_TRUE(boxes.Errors[0].startsWith(Error1617)) << boxes.Errors[0].toStdString();
        EXPECT_TRUE(boxes.Errors[0].contains(QString::fromLatin1(k.driverText)))
            << boxes.Errors[0].toStdString();
    }
}

TEST(OpenSetupDatabase, ConnectsForEveryDatabaseStorageOption) {
    struct Case {
        int option;
        bool connects;
    };
    const Case cases[] = {{0, false}, {1, false}, {2, true}, {3, false}, {4, true},  {5, false},
                          {6, false}, {7, true},  {8, true}, {9, true},  {10, true}, {11, false}};
    for (const Case& k : cases) {
        TBoxRecorder boxes;
        TDatabaseConnection c(boxes);
        TDataServerSetup setup;
        setup.DatabaseAlias = test::SQLiteDsn;
        setup.StorageOption = static_cast<std::uint8_t>(k.option);
        EXPECT_EQ(c.OpenSetupDatabase(setup), k.connects) << k.option;
        EXPECT_EQ(c.DBConnected(), k.connects) << k.option;
        const QStringList expected =
            k.connects
                ? QStringList()
                : QStringList{QStringLiteral("Error 1616: Data storage option must be database")};
        EXPECT_EQ(boxes.Errors, expected) << k.option;
    }
}

TEST(OpenSetupDatabase, UsesThePasswordOfTheLoginFieldAndReportsFailures) {
    struct Case {
        std::string alias, user, field;
        int errors1617;  // 1617 boxes before "Database NOT connected."
        bool connects;
    };
    const Case cases[] = {
        {test::PostgresDsn, "guard", LoginField("right"), 0, true},
        {test::PostgresDsn, "semi", LoginField("se;c}ret"), 0, true},
        {test::PostgresDsn, "guard", LoginField("wrong"), 1, false},
        // A field without ":" deciphers to no password.
        {test::PostgresDsn, "guard", TEncrypt().Encode("right"), 1, false},
        {"", "guard", LoginField("right"), 0, false},  // no attempt, no 1617
        {"NoSuchSource", "guard", LoginField("right"), 1, false},
    };
    for (const Case& k : cases) {
        TBoxRecorder boxes;
        TDatabaseConnection c(boxes);
        TDataServerSetup setup;
        setup.DatabaseAlias = k.alias;
        setup.DatabaseUser = k.user;
        setup.DatabasePassword = k.field;
        setup.StorageOption = soPostgres;
        EXPECT_EQ(c.OpenSetupDatabase(setup), k.connects) << k.alias << " " << k.user;
        EXPECT_EQ(c.DBConnected(), k.connects);
        if (k.connects) {
            EXPECT_TRUE(boxes.Errors.isEmpty()) << boxes.Errors.join("\n").toStdString();
            continue;
        }
        ASSERT_EQ(boxes.Errors.size(), k.errors1617 + 1) << boxes.Errors.join("\n").toStdString();
        if (k.errors1617) {
            EXPECT_TRUE(boxes.Errors[0].startsWith(Error1617));
        }
        EXPECT_EQ(boxes.Errors.back().toStdString(), "Database NOT connected.");
    }
}

}  // namespace
}  // namespace ov
