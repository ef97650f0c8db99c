// A statement run on the ODBC connection beneath a QtSql ODBC database.
#include "database/OdbcStatement.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <QMetaType>
#include <QSqlDriver>
#include <QVariant>
#include <algorithm>
#include <array>

#include "qttext/QtText.h"

namespace ov {

// The block buffers are declared without the ODBC headers.
static_assert(sizeof(SQLLEN) == sizeof(long) && sizeof(SQLULEN) == sizeof(unsigned long));
static_assert(sizeof(SQLWCHAR) == sizeof(std::uint16_t));
static_assert(sizeof(SQLUSMALLINT) == sizeof(std::uint16_t));

namespace {

// The driver's UTF-16 as 8-bit text, appended.
void AppendLatin1(const SQLWCHAR* units, std::size_t count, std::string& text) {
    AppendEngineText({reinterpret_cast<const char16_t*>(units), count}, text);
}

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

}  // namespace

TOdbcStatement::TOdbcStatement(const QSqlDatabase& db) {
    if (!db.isValid() || !db.isOpen() || db.driverName() != QLatin1String("QODBC")) return;
    // The ODBC driver hands out its connection handle (an SQLHANDLE) for reads of one's own.
    const QVariant connection = db.driver()->handle();
    if (!connection.isValid() || connection.metaType() != QMetaType::fromType<SQLHANDLE>()) return;
    const SQLHANDLE dbc = *static_cast<const SQLHANDLE*>(connection.constData());
    SQLHANDLE statement = SQL_NULL_HANDLE;
    if (dbc == SQL_NULL_HANDLE || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &statement)))
        return;
    handle_ = statement;
}

TOdbcStatement::~TOdbcStatement() {
    if (handle_) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
}

void TOdbcStatement::Fail(const char* what) {
    error_.clear();
    std::array<SQLWCHAR, 1024> message{};
    std::array<SQLWCHAR, 6> state{};
    for (SQLSMALLINT record = 1;; ++record) {
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        const SQLRETURN r =
            SQLGetDiagRecW(SQL_HANDLE_STMT, handle_, record, state.data(), &native, message.data(),
                           static_cast<SQLSMALLINT>(message.size()), &length);
        if (!SQL_SUCCEEDED(r)) break;
        if (!error_.isEmpty()) error_ += QLatin1Char(' ');
        const auto units = std::min<std::size_t>(
            static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
        error_ += QString::fromUtf16(reinterpret_cast<const char16_t*>(message.data()),
                                     static_cast<qsizetype>(units));
    }
    if (!error_.isEmpty()) error_ += QLatin1Char(' ');
    error_ += QLatin1String(what);
}

bool TOdbcStatement::Exec(std::string_view sql) {
    error_.clear();
    names_.clear();
    widths_.clear();
    if (handle_ && (!bound_.empty() || blockSet_)) {
        // The last result's cursor, bindings and block go before the next one is read.
        SQLFreeStmt(handle_, SQL_CLOSE);
        SQLFreeStmt(handle_, SQL_UNBIND);
        SQLSetStmtAttr(handle_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
        bound_.clear();
        blockSet_ = false;
    }
    if (!handle_) {
        error_ = QStringLiteral("no open ODBC connection to the suite database");
        return false;
    }
    std::vector<SQLWCHAR> text(sql.size());
    for (std::size_t i = 0; i < sql.size(); ++i) text[i] = static_cast<unsigned char>(sql[i]);
    const SQLRETURN r = SQLExecDirectW(handle_, text.data(), static_cast<SQLINTEGER>(text.size()));
    if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA) {
        Fail("Unable to execute statement");
        return false;
    }
    SQLSMALLINT columns = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(handle_, &columns))) {
        Fail("Unable to count the result columns");
        return false;
    }
    std::array<SQLWCHAR, 256> name{};
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
        SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        std::string column;
        if (SQL_SUCCEEDED(SQLDescribeColW(handle_, c, name.data(),
                                          static_cast<SQLSMALLINT>(name.size()), &length, &type,
                                          &size, &digits, &nullable)))
            AppendLatin1(
                name.data(),
                std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                      name.size() - 1),
                column);
        names_.push_back(std::move(column));
        widths_.push_back(static_cast<std::size_t>(size));
    }
    return true;
}

bool TOdbcStatement::Bind(int column) {
    if (!handle_ || column < 0 || static_cast<std::size_t>(column) >= names_.size()) {
        error_ = QStringLiteral("no such result column to bind");
        return false;
    }
    if (!blockSet_) {
        // By column, a block of rows a call; a driver that takes fewer says how many.
        rowStatus_.assign(BlockRows, 0);
        if (!SQL_SUCCEEDED(SQLSetStmtAttr(handle_, SQL_ATTR_ROW_BIND_TYPE,
                                          reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0)) ||
            !SQL_SUCCEEDED(SQLSetStmtAttr(handle_, SQL_ATTR_ROW_ARRAY_SIZE,
                                          reinterpret_cast<SQLPOINTER>(BlockRows), 0)) ||
            !SQL_SUCCEEDED(
                SQLSetStmtAttr(handle_, SQL_ATTR_ROW_STATUS_PTR, rowStatus_.data(), 0)) ||
            !SQL_SUCCEEDED(SQLSetStmtAttr(handle_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0))) {
            Fail("Unable to read the rows in blocks");
            return false;
        }
        blockSet_ = true;
    }
    const std::size_t declared = widths_[static_cast<std::size_t>(column)];
    TBound b;
    b.Column = column;
    b.Width = declared > 0 && declared <= MaxBoundWidth ? declared : BoundWidthUnknown;
    b.Units.assign(BlockRows * (b.Width + 1), 0);
    b.Lengths.assign(BlockRows, 0);
    bound_.push_back(std::move(b));
    TBound& kept = bound_.back();  // its buffers stay where they are when bound_ grows
    if (!SQL_SUCCEEDED(SQLBindCol(
            handle_, static_cast<SQLUSMALLINT>(column + 1), SQL_C_WCHAR, kept.Units.data(),
            static_cast<SQLLEN>((kept.Width + 1) * sizeof(SQLWCHAR)), kept.Lengths.data()))) {
        Fail("Unable to bind a result column");
        bound_.pop_back();
        return false;
    }
    return true;
}

std::size_t TOdbcStatement::FetchBlock() {
    if (!handle_ || bound_.empty()) return 0;
    fetched_ = 0;
    const SQLRETURN r = SQLFetch(handle_);
    if (r == SQL_NO_DATA) return 0;
    if (!SQL_SUCCEEDED(r)) {
        Fail("Unable to fetch the next rows");
        return 0;
    }
    const auto rows = std::min<std::size_t>(fetched_, BlockRows);
    for (std::size_t i = 0; i < rows; ++i) {
        if (rowStatus_[i] == SQL_ROW_ERROR) {
            Fail("Unable to fetch a row");
            return 0;
        }
    }
    return rows;
}

TOdbcStatement::TCell TOdbcStatement::BlockText(std::size_t row, int column,
                                                std::string& text) const {
    text.clear();
    for (const TBound& b : bound_) {
        if (b.Column != column) continue;
        const SQLLEN length = b.Lengths[row];
        if (length == SQL_NULL_DATA) return TCell::cNull;
        const auto* units = reinterpret_cast<const SQLWCHAR*>(b.Units.data()) + row * (b.Width + 1);
        if (length == SQL_NO_TOTAL || length < 0 ||
            static_cast<std::size_t>(length) / sizeof(SQLWCHAR) > b.Width) {
            AppendLatin1(units, b.Width, text);
            return TCell::cTruncated;
        }
        AppendLatin1(units, static_cast<std::size_t>(length) / sizeof(SQLWCHAR), text);
        return TCell::cText;
    }
    return TCell::cFailed;
}

int TOdbcStatement::ColumnIndex(std::string_view name) const {
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (SameName(names_[i], name)) return static_cast<int>(i);
    return -1;
}

bool TOdbcStatement::Fetch() {
    if (!handle_ || names_.empty()) return false;
    const SQLRETURN r = SQLFetch(handle_);
    if (r == SQL_NO_DATA) return false;
    if (!SQL_SUCCEEDED(r)) {
        Fail("Unable to fetch the next row");
        return false;
    }
    return true;
}

TOdbcStatement::TCell TOdbcStatement::Text(int column, std::string& text) {
    text.clear();
    std::array<SQLWCHAR, 256> buffer;
    const std::size_t capacity = buffer.size() - 1;  // one unit for the closing null
    // A long value comes in pieces, gathered before they are converted: the two units of one
    // character may lie in two pieces.
    std::u16string pieces;
    for (bool first = true;; first = false) {
        SQLLEN indicator = 0;
        const SQLRETURN r =
            SQLGetData(handle_, static_cast<SQLUSMALLINT>(column + 1), SQL_C_WCHAR, buffer.data(),
                       static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR)), &indicator);
        // The call after the last piece has no data left.
        if (r == SQL_NO_DATA && !first) {
            AppendEngineText(pieces, text);
            return TCell::cText;
        }
        if (!SQL_SUCCEEDED(r)) {
            Fail("Unable to read a value");
            return TCell::cFailed;
        }
        if (indicator == SQL_NULL_DATA) return TCell::cNull;
        const bool more = indicator == SQL_NO_TOTAL ||
                          static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR) > capacity;
        const std::u16string_view piece(
            reinterpret_cast<const char16_t*>(buffer.data()),
            more ? capacity : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR));
        if (!more && pieces.empty()) {
            AppendEngineText(piece, text);
            return TCell::cText;
        }
        pieces.append(piece);
        if (!more) {
            AppendEngineText(pieces, text);
            return TCell::cText;
        }
    }
}

}  // namespace ov
