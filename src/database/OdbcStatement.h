// A statement run on the ODBC connection beneath a QtSql ODBC database, for reads of many rows:
// each text cell comes from the driver as UTF-16 straight into 8-bit text, without the
// QVariant and QString that a QSqlQuery makes of every cell (a catalogue of 10^5 rows reads in
// a third of the time). Main thread only, like the connection it runs on.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

class TOdbcStatement {
  public:
    // A statement on db's connection; Valid() is false when db is no open ODBC database.
    explicit TOdbcStatement(const QSqlDatabase& db);
    ~TOdbcStatement();
    TOdbcStatement(const TOdbcStatement&) = delete;
    TOdbcStatement& operator=(const TOdbcStatement&) = delete;

    bool Valid() const { return handle_ != nullptr; }

    // Runs sql (8-bit text, each byte the character of its code). False with the driver's
    // messages in Error().
    bool Exec(std::string_view sql);
    // The result column named name in any letter case (0-based); -1 when there is none.
    int ColumnIndex(std::string_view name) const;
    // Moves to the next row. False at the end, and on a failure, which leaves Error() set.
    bool Fetch();

    enum class TCell { cText, cNull, cFailed };
    // The current row's column (0-based) as 8-bit text: a character beyond Latin-1 reads "?"
    // for each UTF-16 unit, as QString::toLatin1 gives it. A null leaves text empty; a failure
    // leaves Error() set.
    TCell Text(int column, std::string& text);

    // The driver's messages of the last failure; empty when none.
    const QString& Error() const { return error_; }

  private:
    void Fail(const char* what);

    void* handle_ = nullptr;  // the SQLHSTMT, freed with the statement
    std::vector<std::string> names_;
    QString error_;
};

}  // namespace ov
