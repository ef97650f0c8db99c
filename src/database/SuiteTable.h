// A table of the suite database read field by field and row by row, as the filter dialog
// reads OV_SITES and OV_SITESENSORS: each field's name and kind, each value as text.
#pragma once

#include <QSqlQuery>
#include <QString>
#include <cstdint>
#include <vector>

#include "database/DatabaseConnection.h"

namespace ov {

// The kinds of field that a filter writes with its value in apostrophes (string, date, time,
// date-time); every other kind is written bare. Fixed-length character and long text (memo)
// fields are not strings.
enum class TFieldKind : std::uint8_t { fkString, fkDate, fkTime, fkDateTime, fkOther };

// The kind of an ODBC SQL data type (QSqlField::typeID() of the ODBC driver).
TFieldKind FieldKindOfSqlType(int sqlType);
// True for the kinds whose values a filter quotes.
inline bool QuotedFieldKind(TFieldKind kind) {
    return kind != TFieldKind::fkOther;
}

struct TTableField {
    QString Name;  // as the driver gives it
    int SqlType = 0;
    TFieldKind Kind = TFieldKind::fkOther;
};

class TSuiteTable {
  public:
    // Opens table (every field, every row) on the open connection; false with the driver's
    // message in LastError when it cannot.
    bool Open(const TDatabaseConnection& connection, const QString& table);
    void Close();

    const std::vector<TTableField>& Fields() const { return fields_; }
    // Moves to the next row; false at the end or on a failure (then LastError is set).
    bool Next();
    bool IsNull(int field) const { return query_.isNull(field); }
    // The value as text; dates, times and date-times as SQL writes them ("2024-03-01",
    // "06:00:00", "2024-03-01 10:30:00").
    QString Text(int field) const;
    const QString& LastError() const { return error_; }

  private:
    QSqlQuery query_;
    std::vector<TTableField> fields_;
    QString error_;
};

}  // namespace ov
