// ovbridge's JSON reader and writer.
#include "Json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <unordered_set>

namespace ovbridge {
namespace {

constexpr int MaxDepth = 32;

class TReader {
  public:
    explicit TReader(std::string_view text) : text_(text) {}

    bool Document(TJsonValue& value, std::string& why) {
        SkipBlanks();
        if (!Value(value, 0)) {
            why = why_;
            return false;
        }
        SkipBlanks();
        if (at_ != text_.size()) {
            why = Where("text after the JSON value");
            return false;
        }
        return true;
    }

  private:
    std::string Where(const std::string& what) const {
        return what + " at byte " + std::to_string(at_);
    }
    bool Fail(const std::string& what) {
        if (why_.empty()) why_ = Where(what);
        return false;
    }
    void SkipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                      text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }
    bool Literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return Fail("an unknown word");
        at_ += word.size();
        return true;
    }

    bool Value(TJsonValue& value, int depth) {
        if (at_ >= text_.size()) return Fail("the end of the text where a value belongs");
        switch (text_[at_]) {
            case '{':
                return Object(value, depth + 1);
            case '[':
                return Array(value, depth + 1);
            case '"':
                value.Kind = TJsonValue::jkString;
                return String(value.String);
            case 't':
                value.Kind = TJsonValue::jkBool;
                value.Bool = true;
                return Literal("true");
            case 'f':
                value.Kind = TJsonValue::jkBool;
                value.Bool = false;
                return Literal("false");
            case 'n':
                value.Kind = TJsonValue::jkNull;
                return Literal("null");
            default:
                value.Kind = TJsonValue::jkNumber;
                return Number(value.Number);
        }
    }

    bool Object(TJsonValue& value, int depth) {
        if (depth > MaxDepth) return Fail("nesting deeper than 32");
        value.Kind = TJsonValue::jkObject;
        std::unordered_set<std::string> names;
        ++at_;
        SkipBlanks();
        if (at_ < text_.size() && text_[at_] == '}') {
            ++at_;
            return true;
        }
        for (;;) {
            SkipBlanks();
            if (at_ >= text_.size() || text_[at_] != '"') return Fail("no member name");
            std::string name;
            if (!String(name)) return false;
            if (!names.insert(name).second) return Fail("member \"" + name + "\" given twice");
            SkipBlanks();
            if (at_ >= text_.size() || text_[at_] != ':') return Fail("no \":\" after a name");
            ++at_;
            SkipBlanks();
            value.Members.push_back({std::move(name), TJsonValue()});
            if (!Value(value.Members.back().Value, depth)) return false;
            SkipBlanks();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == '}') {
                ++at_;
                return true;
            }
            return Fail("no \",\" or \"}\" after a member");
        }
    }

    bool Array(TJsonValue& value, int depth) {
        if (depth > MaxDepth) return Fail("nesting deeper than 32");
        value.Kind = TJsonValue::jkArray;
        ++at_;
        SkipBlanks();
        if (at_ < text_.size() && text_[at_] == ']') {
            ++at_;
            return true;
        }
        for (;;) {
            SkipBlanks();
            value.Items.emplace_back();
            if (!Value(value.Items.back(), depth)) return false;
            SkipBlanks();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < text_.size() && text_[at_] == ']') {
                ++at_;
                return true;
            }
            return Fail("no \",\" or \"]\" after an item");
        }
    }

    static void AppendUtf8(std::string& out, std::uint32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    bool Hex4(std::uint32_t& c) {
        if (text_.size() - at_ < 4) return Fail("a short \\u escape");
        c = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[at_++];
            c <<= 4;
            if (h >= '0' && h <= '9') {
                c |= static_cast<std::uint32_t>(h - '0');
            } else if (h >= 'a' && h <= 'f') {
                c |= static_cast<std::uint32_t>(h - 'a' + 10);
            } else if (h >= 'A' && h <= 'F') {
                c |= static_cast<std::uint32_t>(h - 'A' + 10);
            } else {
                return Fail("a bad \\u escape");
            }
        }
        return true;
    }

    // One UTF-8 sequence at at_ (its first byte 0x80 or above), well formed and shortest.
    bool Utf8Sequence(std::string& out) {
        const auto b0 = static_cast<unsigned char>(text_[at_]);
        int length = 0;
        std::uint32_t c = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
            c = b0 & 0x1F;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            c = b0 & 0x0F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            c = b0 & 0x07;
        } else {
            return Fail("a byte that is not UTF-8");
        }
        if (text_.size() - at_ < static_cast<std::size_t>(length)) return Fail("cut-off UTF-8");
        for (int i = 1; i < length; ++i) {
            const auto b = static_cast<unsigned char>(text_[at_ + static_cast<std::size_t>(i)]);
            if ((b & 0xC0) != 0x80) return Fail("a byte that is not UTF-8");
            c = (c << 6) | (b & 0x3F);
        }
        if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
            (length == 4 && (c < 0x10000 || c > 0x10FFFF)))
            return Fail("a byte that is not UTF-8");
        out.append(text_.substr(at_, static_cast<std::size_t>(length)));
        at_ += static_cast<std::size_t>(length);
        return true;
    }

    bool String(std::string& out) {
        ++at_;  // the opening quote
        for (;;) {
            if (at_ >= text_.size()) return Fail("a string without its closing quote");
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c < 0x20) return Fail("a control character in a string");
            if (c >= 0x80) {
                if (!Utf8Sequence(out)) return false;
                continue;
            }
            if (c != '\\') {
                out += static_cast<char>(c);
                ++at_;
                continue;
            }
            ++at_;
            if (at_ >= text_.size()) return Fail("a string without its closing quote");
            const char e = text_[at_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    std::uint32_t code = 0;
                    if (!Hex4(code)) return false;
                    if (code >= 0xDC00 && code <= 0xDFFF) return Fail("a lone surrogate");
                    if (code >= 0xD800 && code <= 0xDBFF) {
                        std::uint32_t low = 0;
                        if (text_.substr(at_, 2) != "\\u") return Fail("a lone surrogate");
                        at_ += 2;
                        if (!Hex4(low)) return false;
                        if (low < 0xDC00 || low > 0xDFFF) return Fail("a lone surrogate");
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    }
                    AppendUtf8(out, code);
                    break;
                }
                default:
                    return Fail("an unknown escape");
            }
        }
    }

    bool Number(double& number) {
        // The grammar: -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
        const std::size_t start = at_;
        auto digits = [this] {
            const std::size_t from = at_;
            while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
            return at_ - from;
        };
        if (at_ < text_.size() && text_[at_] == '-') ++at_;
        if (at_ < text_.size() && text_[at_] == '0') {
            ++at_;
        } else if (digits() == 0) {
            return Fail("no value");
        }
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (digits() == 0) return Fail("a number without digits after its point");
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (digits() == 0) return Fail("a number without digits in its exponent");
        }
        const char* first = text_.data() + start;
        const char* last = text_.data() + at_;
        auto [end, ec] = std::from_chars(first, last, number);
        if (ec != std::errc() || end != last || !std::isfinite(number)) {
            at_ = start;
            return Fail("a number out of range");
        }
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string why_;
};

}  // namespace

const TJsonValue* TJsonValue::Find(std::string_view name) const {
    if (Kind != jkObject) return nullptr;
    for (const auto& member : Members) {
        if (member.Name == name) return &member.Value;
    }
    return nullptr;
}

bool ParseJson(std::string_view text, TJsonValue& value, std::string& why) {
    value = TJsonValue();
    return TReader(text).Document(value, why);
}

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04X", c);
                    out += escape;
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

void AppendJsonNumber(std::string& out, double value) {
    if (value == 0) value = 0;  // no "-0"
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    out.append(text, ec == std::errc() ? end : text);
}

void TJsonWriter::Separate() {
    if (!first_) out_ += ',';
    first_ = false;
}

TJsonWriter& TJsonWriter::Begin() {
    out_ += '{';
    first_ = true;
    return *this;
}

TJsonWriter& TJsonWriter::Name(std::string_view name) {
    Separate();
    AppendJsonString(out_, name);
    out_ += ':';
    return *this;
}

TJsonWriter& TJsonWriter::Text(std::string_view name, std::string_view value) {
    Name(name);
    AppendJsonString(out_, value);
    return *this;
}

TJsonWriter& TJsonWriter::Number(std::string_view name, double value) {
    Name(name);
    if (std::isfinite(value)) {
        AppendJsonNumber(out_, value);
    } else {
        out_ += "null";
    }
    return *this;
}

TJsonWriter& TJsonWriter::Integer(std::string_view name, long long value) {
    Name(name);
    out_ += std::to_string(value);
    return *this;
}

TJsonWriter& TJsonWriter::Null(std::string_view name) {
    Name(name);
    out_ += "null";
    return *this;
}

TJsonWriter& TJsonWriter::Raw(std::string_view name, std::string_view json) {
    Name(name);
    out_ += json;
    return *this;
}

TJsonWriter& TJsonWriter::End() {
    out_ += '}';
    first_ = false;
    return *this;
}

}  // namespace ovbridge
