// Conversions between 8-bit (Latin-1) text and UTF-8.
#include "util/Latin1.h"

#include <cstddef>
#include <utility>

namespace ov {

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

bool Utf8ToLatin1(std::string_view utf8, std::string& latin1) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += static_cast<char>(b);
            continue;
        }
        // U+0080-U+00FF are exactly the two-byte forms led by 0xC2 and 0xC3. Any other lead
        // is a larger code point, an over-long form or not UTF-8 at all.
        if ((b != 0xC2 && b != 0xC3) || i + 1 >= utf8.size()) return false;
        auto t = static_cast<unsigned char>(utf8[i + 1]);
        if ((t & 0xC0) != 0x80) return false;
        out += static_cast<char>(((b & 0x03) << 6) | (t & 0x3F));
        ++i;
    }
    latin1 = std::move(out);
    return true;
}

}  // namespace ov
