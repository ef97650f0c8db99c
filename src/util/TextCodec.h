// The one conversion between the suite's 8-bit text and UTF-8. The engine holds text as bytes,
// one byte a character (an enciphered password, a station name with a byte above 0x7F); the
// bus carries UTF-8, where byte 0x80-0xFF travels as the code point of the same number
// (Latin-1). Every UTF-8 reader of the program goes through here with its policy.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ov {

// What reading UTF-8 as 8-bit text does with what 8-bit text cannot hold: a malformed
// sequence, or a character above U+00FF.
enum class TUtf8Policy {
    upStrict,   // the whole conversion fails (files and settings where a wrong byte is an error)
    upReplace,  // each such sequence or character reads "?" (text received from the bus)
};

// Every byte as the code point of its value. Never fails.
std::string Latin1ToUtf8(std::string_view latin1);

// utf8 as 8-bit text under policy. False only under upStrict, and latin1 is then unchanged.
// Under upReplace a broken sequence costs one "?" per byte that leads none, and a sequence
// complete in its form one "?" in all.
// With replaced, it counts the "?" put in (0 under upStrict).
bool Utf8ToLatin1(std::string_view utf8, std::string& latin1, TUtf8Policy policy,
                  std::size_t* replaced = nullptr);

// The offset of the first byte of text that is not part of a well-formed UTF-8 character (a
// stray continuation byte, a sequence cut short, an over-long form, a surrogate, a code above
// U+10FFFF, or a byte that leads none); npos when the whole text is UTF-8.
std::size_t InvalidUtf8At(std::string_view text);

// Whether text is UTF-8 that the bus carries: well-formed (no over-long form, nothing above
// U+10FFFF), no surrogates and no noncharacters, which D-Bus refuses.
bool IsBusUtf8(std::string_view text);

}  // namespace ov
