// 8-bit text and UTF-8: the bus carries text as UTF-8, and a byte 0x80-0xFF of the suite's
// 8-bit text (an enciphered password, a station name) travels as the code point of the same
// number.
#pragma once

#include <string>
#include <string_view>

namespace ov {

// Every byte as the code point of its value. Never fails.
std::string Latin1ToUtf8(std::string_view latin1);

// The inverse: false (latin1 unchanged) for text that is not well-formed UTF-8 or holds a
// code point above U+00FF, which 8-bit text cannot hold.
bool Utf8ToLatin1(std::string_view utf8, std::string& latin1);

}  // namespace ov
