// A column's distinct values.
#include "ui/DataList.h"

#include <cstdint>

namespace ov {

namespace {

// ASCII letters folded to upper case, every other character as it is: the suite's way of
// comparing names.
inline char16_t Folded(QChar c) {
    const char16_t u = c.unicode();
    return u >= u'a' && u <= u'z' ? static_cast<char16_t>(u - 32) : u;
}

}  // namespace

std::size_t TDataList::TFoldedHash::operator()(const QString& text) const noexcept {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the folded characters
    for (QChar c : text) {
        hash ^= Folded(c);
        hash *= 1099511628211ull;
    }
    return static_cast<std::size_t>(hash);
}

bool TDataList::TFoldedEqual::operator()(const QString& a, const QString& b) const noexcept {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

bool TDataList::Add(const QString& value) {
    if (!seen_.insert(value).second) return false;
    values_.append(value);
    return true;
}

}  // namespace ov
