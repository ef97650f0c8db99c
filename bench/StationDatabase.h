// The benchmarks' suite database: 10^4 stations with 10 sensors each (10^5 sensor rows), made
// once for the process by scripts/suite-db.sh in a folder of its own and removed at its end;
// in SQLite for every benchmark that uses it, and in a throwaway PostgreSQL server only once
// one asks for it.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace ov::bench {

// The two databases' data sources, in the folder's odbc.ini.
inline constexpr const char* StationSqliteDsn = "OVBenchSQLite";
inline constexpr const char* StationPgDsn = "OVBenchPg";

class TStationDatabase {
  public:
    TStationDatabase() {
        folder_ = std::filesystem::temp_directory_path() /
                  ("ovbench-stations-" + std::to_string(::getpid()));
        if (!Make("sqlite", StationSqliteDsn)) {
            error_ = "the benchmark database could not be made (scripts/suite-db.sh)";
            return;
        }
        // The driver the script found, named by its path.
        std::ifstream drivers(folder_ / "odbcinst.ini");
        std::string line, driver;
        while (driver.empty() && std::getline(drivers, line))
            if (line.rfind("Driver=", 0) == 0) driver = line.substr(7);
        if (driver.empty()) {
            error_ = "no SQLite ODBC driver in " + (folder_ / "odbcinst.ini").string();
            return;
        }
        connectionString_ = "DRIVER=" + driver + ";Database=" +
                            (folder_ / (std::string(StationSqliteDsn) + ".db")).string();
        // The application objects made for the benchmarks want a runtime folder.
        if (!std::getenv("XDG_RUNTIME_DIR")) {
            std::filesystem::create_directories(folder_ / "runtime");
            std::filesystem::permissions(folder_ / "runtime", std::filesystem::perms::owner_all);
            ::setenv("XDG_RUNTIME_DIR", (folder_ / "runtime").c_str(), 1);
        }
    }
    ~TStationDatabase() {
        if (pgStarted_)
            std::system(("bash " + std::string(OV_SOURCE_DIR) + "/scripts/suite-db.sh pg-stop " +
                         folder_.string() + " >/dev/null 2>&1")
                            .c_str());
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    TStationDatabase(const TStationDatabase&) = delete;
    TStationDatabase& operator=(const TStationDatabase&) = delete;

    // Empty, or why the SQLite database is not there.
    const std::string& Error() const { return error_; }
    // The SQLite database by its driver's path: the process's data sources stay as they are.
    const std::string& ConnectionString() const { return connectionString_; }

    // Starts the PostgreSQL server with the same rows (once) and makes the folder's data
    // sources the process's, so that both DSNs answer. Empty, or why either is not there.
    const std::string& StartPostgres() {
        if (!error_.empty() || pgStarted_ || !pgError_.empty())
            return error_.empty() ? pgError_ : error_;
        pgStarted_ = Make("pg-start", StationPgDsn);
        if (!pgStarted_)
            pgError_ = "the benchmark databases could not be made (scripts/suite-db.sh)";
        ::setenv("ODBCSYSINI", folder_.c_str(), 1);
        return pgError_;
    }

  private:
    bool Make(const char* command, const char* dsn) const {
        const std::string root = OV_SOURCE_DIR;
        const std::string line = "bash " + root + "/scripts/suite-db.sh " + command + " " +
                                 folder_.string() + " " + dsn + " " + root +
                                 "/examples/suite/schema.sql " + root +
                                 "/tests/database/catalogue_1e5.sql >/dev/null";
        return std::system(line.c_str()) == 0;
    }

    std::filesystem::path folder_;
    std::string error_;
    std::string connectionString_;
    bool pgStarted_ = false;
    std::string pgError_;
};

inline TStationDatabase& StationDatabase() {
    static TStationDatabase database;
    return database;
}

}  // namespace ov::bench
