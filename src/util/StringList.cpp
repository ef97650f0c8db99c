// Case-insensitive text list.
#include "util/StringList.h"

#include "util/SortedFind.h"

namespace ov {

bool TStringList::Find(std::string_view s, int& index) const {
    return SortedFind(
        Count(),
        [this, s](std::int32_t i) { return CompareText(items_[static_cast<std::size_t>(i)], s); },
        index);
}

int TStringList::Add(std::string_view s) {
    if (!sorted_) {
        items_.emplace_back(s);
        return Count() - 1;
    }
    int index = 0;
    if (Find(s, index)) return index;
    items_.emplace(items_.begin() + index, s);
    return index;
}

int TStringList::IndexOf(std::string_view s) const {
    if (sorted_) {
        int index = 0;
        return Find(s, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (SameText(items_[static_cast<std::size_t>(i)], s)) return i;
    return -1;
}

}  // namespace ov
