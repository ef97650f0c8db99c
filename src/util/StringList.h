// A list of texts, optionally kept sorted without regard to ASCII letter case and free of
// duplicates: the variable names of an equation as the setup dialog lists them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "util/TextCompare.h"

namespace ov {

class TStringList {
  public:
    explicit TStringList(bool sorted = false) : sorted_(sorted) {}

    // Sorted: inserts in order unless an equal text is present (then nothing happens).
    // Unsorted: appends. Returns the position of the text.
    int Add(std::string_view s);
    // Adds the texts as Add would, one after the other, with the same result; a sorted list
    // sorts once at the end, so adding n texts takes O(n log n) rather than O(n^2).
    void AddAll(std::vector<std::string> texts);
    // Position of the first text equal without regard to case, or -1.
    int IndexOf(std::string_view s) const;
    void Clear() { items_.clear(); }
    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& operator[](int i) const { return items_.at(static_cast<std::size_t>(i)); }
    bool Sorted() const { return sorted_; }
    const std::vector<std::string>& Items() const { return items_; }

  private:
    bool Find(std::string_view s, int& index) const;
    bool sorted_;
    std::vector<std::string> items_;
};

}  // namespace ov
