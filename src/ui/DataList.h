// The distinct values of one column of the suite database, as the filter dialog offers them:
// each value once, in the order first met, and the column's kind.
#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <unordered_set>

#include "database/SuiteTable.h"

namespace ov {

class TDataList {
  public:
    explicit TDataList(TFieldKind dataType = TFieldKind::fkOther) : DataType(dataType) {}

    // Appends value unless the list holds it already, compared without regard to the case of
    // ASCII letters (the first spelling met stays). True when appended. A hash set beside the
    // list makes this constant time, so a column of 10^5 distinct values fills in one pass.
    bool Add(const QString& value);
    const QStringList& Values() const { return values_; }
    int Count() const { return static_cast<int>(values_.size()); }
    bool IsEmpty() const { return values_.isEmpty(); }

    // The column's kind: whether a filter writes its values in apostrophes.
    TFieldKind DataType;

  private:
    struct TFoldedHash {
        std::size_t operator()(const QString& text) const noexcept;
    };
    struct TFoldedEqual {
        bool operator()(const QString& a, const QString& b) const noexcept;
    };
    QStringList values_;
    std::unordered_set<QString, TFoldedHash, TFoldedEqual> seen_;  // the values of values_
};

}  // namespace ov
