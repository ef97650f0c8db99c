// Reading a suite table's fields and values.
#include "database/SuiteTable.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QVariant>

namespace ov {

TFieldKind FieldKindOfSqlType(int sqlType) {
    // The ODBC type codes: 12 VARCHAR, -9 WVARCHAR; 91/9 DATE, 92/10 TIME, 93/11 TIMESTAMP
    // (ODBC 3 and ODBC 2 codes). CHAR (1), WCHAR (-8) and the long types are not strings.
    switch (sqlType) {
        case 12:
        case -9:
            return TFieldKind::fkString;
        case 91:
        case 9:
            return TFieldKind::fkDate;
        case 92:
        case 10:
            return TFieldKind::fkTime;
        case 93:
        case 11:
            return TFieldKind::fkDateTime;
        default:
            return TFieldKind::fkOther;
    }
}

bool TSuiteTable::Open(const TDatabaseConnection& connection, const QString& table) {
    Close();
    const QSqlDatabase db = connection.Database();
    if (!db.isValid() || !db.isOpen()) {
        error_ = QStringLiteral("no open connection to the suite database");
        return false;
    }
    query_ = QSqlQuery(db);
    query_.setForwardOnly(true);
    if (!query_.exec(QStringLiteral("SELECT * FROM ") + table)) {
        error_ = query_.lastError().text();
        qCWarning(lcDatabase).noquote() << "reading table" << table << "failed:" << error_;
        return false;
    }
    const QSqlRecord record = query_.record();
    for (int i = 0; i < record.count(); ++i) {
        const QSqlField field = record.field(i);
        fields_.push_back({field.name(), field.typeID(), FieldKindOfSqlType(field.typeID())});
    }
    return true;
}

void TSuiteTable::Close() {
    query_ = QSqlQuery();
    fields_.clear();
    error_.clear();
}

bool TSuiteTable::Next() {
    if (query_.next()) return true;
    if (query_.lastError().isValid()) {
        error_ = query_.lastError().text();
        qCWarning(lcDatabase).noquote() << "reading a table failed:" << error_;
    }
    return false;
}

QString TSuiteTable::Text(int field) const {
    const QVariant value = query_.value(field);
    switch (value.typeId()) {
        case QMetaType::QDate:
            return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
        case QMetaType::QTime:
            return value.toTime().toString(QStringLiteral("HH:mm:ss"));
        case QMetaType::QDateTime:
            return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        default:
            return value.toString();
    }
}

}  // namespace ov
