// Comparing names the way the suite does: ASCII letters a-z fold to upper case, every other
// byte compares by its unsigned value. Station, sensor, variable and item names all use it;
// and what counts as a blank text.
#pragma once

#include <string>
#include <string_view>

namespace ov {

inline char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// Negative, 0 or positive as a sorts before, equal to or after b.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
std::string UpperCaseAscii(std::string_view s);
// s without the blanks and control characters (bytes up to 0x20) at either end: what is left of
// an equation or a name typed with blanks around it; empty for a blank text.
std::string_view TrimBlankEnds(std::string_view s);

}  // namespace ov
