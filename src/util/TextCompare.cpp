// Case-folding comparison of names, and the trimming of blank ends.
#include "util/TextCompare.h"

namespace ov {

int CompareText(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;  // the common case: equal bytes need no folding
        const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
        const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

std::string UpperCaseAscii(std::string_view s) {
    std::string upper(s);
    for (char& c : upper) c = UpperAscii(c);
    return upper;
}

std::string_view TrimBlankEnds(std::string_view s) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace ov
