// Conversions between 8-bit (Latin-1) text and UTF-8, all reading UTF-8 through one
// sequence reader.
#include "util/TextCodec.h"

#include <cstddef>
#include <utility>

namespace ov {
namespace {

// One UTF-8 sequence as its lead byte announces it.
struct TSequence {
    std::size_t Length = 1;  // the bytes it takes; 1 when it is broken
    char32_t Code = 0;       // its code point, when complete
    bool Complete = false;   // a lead byte followed by all its continuation bytes
};

TSequence ReadSequence(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return {1, lead, true};
    // The form's length by the lead byte; a continuation byte or 0xF8-0xFF leads none.
    const std::size_t length = (lead & 0xE0) == 0xC0   ? 2
                               : (lead & 0xF0) == 0xE0 ? 3
                               : (lead & 0xF8) == 0xF0 ? 4
                                                       : 1;
    if (length == 1 || text.size() - i < length) return {};
    char32_t code = length == 2 ? (lead & 0x1Fu) : length == 3 ? (lead & 0x0Fu) : (lead & 0x07u);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return {};
        code = (code << 6) | (next & 0x3Fu);
    }
    return {length, code, true};
}

// A complete sequence that 8-bit text holds: ASCII, or U+0080-U+00FF in its two-byte form
// (the only form of those that is not over-long).
bool IsEightBit(const TSequence& s) {
    return s.Length == 1 || (s.Length == 2 && s.Code >= 0x80 && s.Code <= 0xFF);
}

// A complete sequence in its shortest form that is a character: no surrogate, nothing above
// U+10FFFF.
bool IsCharacter(const TSequence& s) {
    static constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};  // shortest form per length
    const char32_t c = s.Code;
    return c >= Least[s.Length] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

// A complete sequence that is a character D-Bus accepts: no noncharacter either.
bool IsBusCharacter(const TSequence& s) {
    const char32_t c = s.Code;
    return IsCharacter(s) && !(c >= 0xFDD0 && c <= 0xFDEF) && (c & 0xFFFEu) != 0xFFFEu;
}

}  // namespace

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (char c : latin1) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

bool Utf8ToLatin1(std::string_view utf8, std::string& latin1, TUtf8Policy policy,
                  std::size_t* replaced) {
    std::size_t count = 0;
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const TSequence s = ReadSequence(utf8, i);
        if (s.Complete && IsEightBit(s)) {
            out += static_cast<char>(s.Code);
        } else if (policy == TUtf8Policy::upStrict) {
            return false;
        } else {
            out += '?';
            ++count;
        }
        i += s.Length;
    }
    latin1 = std::move(out);
    if (replaced != nullptr) *replaced = count;
    return true;
}

std::size_t InvalidUtf8At(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const TSequence s = ReadSequence(text, i);
        if (!s.Complete || !IsCharacter(s)) return i;
        i += s.Length;
    }
    return std::string_view::npos;
}

bool IsBusUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const TSequence s = ReadSequence(text, i);
        if (!s.Complete || !IsBusCharacter(s)) return false;
        i += s.Length;
    }
    return true;
}

}  // namespace ov
