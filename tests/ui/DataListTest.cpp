// A column's distinct values: each once in the order first met, ASCII letters compared without
// case and every other character as it is.
#include <gtest/gtest.h>

#include "ui/DataList.h"

namespace ov {
namespace {

TEST(DataList, KeepsTheFirstSpellingOfEachValue) {
    TDataList list(TFieldKind::fkString);
    const QStringList added = {"North", "NORTH", "north ", "N\u00f6rth", "N\u00d6RTH", "",
                               "north", "  ",    "",       "12",         "012"};
    const QStringList appended = {"North", "north ", "N\u00f6rth", "N\u00d6RTH",
                                  "",      "  ",     "12",         "012"};
    QStringList kept;
    for (const QString& value : added)
        if (list.Add(value)) kept << value;
    EXPECT_EQ(kept, appended);
    EXPECT_EQ(list.Values(), appended);
    EXPECT_EQ(list.DataType, TFieldKind::fkString);
}

}  // namespace
}  // namespace ov
