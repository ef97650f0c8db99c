// Case-insensitive text list.
#include "util/StringList.h"

#include <algorithm>
#include <iterator>

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

void TStringList::AddAll(std::vector<std::string> texts) {
    items_.insert(items_.end(), std::make_move_iterator(texts.begin()),
                  std::make_move_iterator(texts.end()));
    if (!sorted_) return;
    // Stable: of equal texts the one added first (an earlier one of the list, or the first of
    // texts) comes first and is the one unique keeps, as Add keeps the text already present.
    std::stable_sort(items_.begin(), items_.end(), [](const std::string& a, const std::string& b) {
        return CompareText(a, b) < 0;
    });
    items_.erase(std::unique(items_.begin(), items_.end(),
                             [](const std::string& a, const std::string& b) {
                                 return CompareText(a, b) == 0;
                             }),
                 items_.end());
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
