// The reading rules that both passes over an equation share: the upper-cased text and the
// position, blanks and comments, words, symbols, numerals and names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ov {

// The relation of a comparison ("<=", "<>", "<", "=", ">=", ">"); rlNone: no comparison.
enum TRelation : std::uint8_t {
    rlNone,
    rlLessOrEqual,
    rlNotEqual,
    rlLess,
    rlEqual,
    rlGreaterOrEqual,
    rlGreater,
};

class TEquationText {
  public:
    // Keeps an upper-cased copy (ASCII a-z only) of the equation.
    explicit TEquationText(std::string_view equation);
    TEquationText(const TEquationText&) = delete;
    TEquationText& operator=(const TEquationText&) = delete;

    // The character at the position; beyond the end a character that matches no rule.
    char Current() const { return pos_ < size_ ? text_[pos_] : '\0'; }
    void Advance() { ++pos_; }
    bool AtEnd() const { return pos_ >= size_; }
    std::size_t Position() const { return pos_; }
    void SetPosition(std::size_t pos) { pos_ = pos; }
    std::string_view Text() const { return std::string_view(text_, size_); }

    // Skips blanks: spaces, bytes 0x80-0xFF and {comments} (an unclosed one runs to the end).
    // Tabs, line breaks and other control characters are not blanks.
    void SkipBlanks();
    // Skips blanks, then matches a word operator or function name: every letter present and
    // not followed by a letter A-Z. On success the position is past the word; on failure it
    // stays after the skipped blanks.
    bool MatchWord(std::string_view word);
    // Skips blanks, then matches a symbol; the following character is not examined.
    bool MatchSymbol(std::string_view symbol);
    // Skips blanks, then reads a relation sign, the longest that stands there; rlNone (the
    // position after the blanks) when there is none.
    TRelation ReadRelation();
    // A numeral: sign, digits, ".", digits, then "E" with sign and digits. Returns false for
    // text that starts no numeral. The value of a numeral without digits is 0. Throws
    // EOverflow for a numeral beyond the double range.
    double ReadNumeral(bool* hadDigits = nullptr);
    // The longest run of 0-9, A-Z and "_" at the position (no blanks skipped).
    std::string_view ReadName();
    // The raw text from the position up to (not including) the first of the stop characters;
    // found is false when none occurs before the end (the position then stays).
    std::string_view ReadRawUntil(std::string_view stops, bool& found);

    static bool IsNameChar(char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '_';
    }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  private:
    // Equations are short: the upper-cased copy lives in the object unless it is long.
    static constexpr std::size_t InlineSize = 256;
    char inline_[InlineSize];
    std::unique_ptr<char[]> heap_;
    const char* text_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace ov
