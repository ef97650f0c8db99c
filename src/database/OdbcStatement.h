// A statement run on the ODBC connection beneath a QtSql ODBC database, for reads of many rows:
// each text cell comes from the driver as UTF-16 straight into 8-bit text, without the
// QVariant and QString that a QSqlQuery makes of every cell. Rows are read one at a time, cell
// by cell, or (bound columns) a block of rows in one call into buffers of the statement, which
// spares the driver a call per cell. Main thread only, like the connection it runs on.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <cstddef>
#include <cstdint>
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

    enum class TCell { cText, cNull, cFailed, cTruncated };
    // The current row's column (0-based) as 8-bit text: a character beyond Latin-1 reads one
    // "?" (qttext/QtText.h). A null leaves text empty; a failure leaves Error() set.
    TCell Text(int column, std::string& text);

    // Block reading, after Exec and instead of Fetch: Bind each column to read, then
    // FetchBlock until it gives 0. A column is bound for text of the width the driver gives
    // it (BoundWidthUnknown characters when it gives none or a larger one than
    // MaxBoundWidth); a longer value reads as cTruncated. False with Error() on a failure.
    bool Bind(int column);
    // The next block of rows: how many (up to BlockRows); 0 at the end and on a failure
    // (Error() set).
    std::size_t FetchBlock();
    // A bound cell of the block fetched last, as Text gives it; cTruncated (the value is
    // longer than the column's width) gives its first characters.
    TCell BlockText(std::size_t row, int column, std::string& text) const;

    static constexpr std::size_t BlockRows = 512;
    static constexpr std::size_t MaxBoundWidth = 4096;
    static constexpr std::size_t BoundWidthUnknown = 255;

    // The driver's messages of the last failure; empty when none.
    const QString& Error() const { return error_; }

  private:
    void Fail(const char* what);

    // A bound column: its width in UTF-16 units, and its block of cells and their lengths.
    struct TBound {
        int Column = -1;
        std::size_t Width = 0;
        std::vector<std::uint16_t> Units;  // BlockRows cells of Width + 1 units
        std::vector<long> Lengths;         // SQLLEN per cell: bytes, or a null
    };

    void* handle_ = nullptr;  // the SQLHSTMT, freed with the statement
    std::vector<std::string> names_;
    std::vector<std::size_t> widths_;  // the driver's column sizes (0: none given)
    std::vector<TBound> bound_;
    std::vector<std::uint16_t> rowStatus_;  // SQLUSMALLINT per row of the block
    unsigned long fetched_ = 0;             // SQLULEN: the rows of the last block
    bool blockSet_ = false;                 // the statement reads blocks
    QString error_;
};

}  // namespace ov
