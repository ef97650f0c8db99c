// The engine's INI file: sections of key=value lines, read and written with the behaviour of
// the desktop's profile functions. The whole file is kept in memory as lines, so comments,
// blank lines and sections the program does not know survive every write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/Exception.h"
#include "util/FormatSettings.h"

namespace ov {

// An INI file that cannot be read or written, or a name that cannot be stored in one.
class EIniFileError : public Exception {
  public:
    using Exception::Exception;
};

// Decimal, or hexadecimal after "0x"/"0X" (the 32-bit pattern it spells), with blanks around
// it; false (out untouched) for anything else, a number outside 32 bits included.
bool ParseIniInteger(std::string_view text, std::int32_t& out);

// Removes the temporary files that writers of file left beside it when they died before
// their rename (".<name>.tmp<pid>-<n>"), but never one whose writing process still exists.
// Returns the files removed; a file that cannot be removed is left alone.
std::vector<std::filesystem::path> RemoveAbandonedTempFiles(const std::filesystem::path& file);

// Something in an INI file that reads do not see the way its writer meant: a zero byte, a
// line that is no section, key or comment, or a section or key given again (only the first
// is read). Line: 1-based; 0 for the file as a whole.
struct TIniFinding {
    std::size_t Line = 0;
    std::string Text;
};

// The file in folder whose name equals name without regard to ASCII letter case (an exact
// match first); folder / name when there is none, so a first write creates it so.
std::filesystem::path FindFileNoCase(const std::filesystem::path& folder, std::string_view name);

// Sections and keys are matched without regard to ASCII case and blanks around them; the
// first occurrence wins. Writes change the lines in memory only: UpdateFile puts them on disk
// in one atomic replacement (temporary file in the same folder, fsync, rename).
class TIniFile {
  public:
    // Loads fileName; a missing file reads as empty. EIniFileError when it exists but cannot
    // be read (so a later write never replaces a file whose content was not seen).
    explicit TIniFile(std::filesystem::path fileName);

    const std::filesystem::path& FileName() const { return fileName_; }

    // The value with the blanks around it removed; defaultValue when the key is missing.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Decimal, or hexadecimal after "0x"/"0X"; defaultValue for anything else.
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;
    // An integer as above; any value other than 0 is true.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    // General number text with the record's decimal separator; defaultValue if not a number.
    double ReadFloat(std::string_view section, std::string_view key, double defaultValue,
                     const TFormatSettings& fs = LocaleFormatSettings()) const;

    // Replaces the value of the first matching key in place, else appends the key after the
    // last key of the section, else appends the section at the end of the file. A line break
    // in value is written as a blank: a value never adds lines to the file. EIniFileError for
    // a section or key name that cannot stand in the file.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);  // "1" / "0"
    void WriteFloat(std::string_view section, std::string_view key, double value,
                    const TFormatSettings& fs = LocaleFormatSettings());

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    std::vector<std::string> ReadSections() const;  // names in file order, each once
    std::vector<std::string> ReadSection(std::string_view section) const;  // its keys, in order
    void EraseSection(std::string_view section);  // every section of that name, with its lines
    void DeleteKey(std::string_view section, std::string_view key);

    // The 1-based line of the section's first header, or of the first key of that name in
    // it; 0 when missing.
    std::size_t SectionLine(std::string_view section) const;
    std::size_t KeyLine(std::string_view section, std::string_view key) const;
    // What of the lines in memory reads do not see as written, in line order (see
    // TIniFinding); the zero byte is the one the file had when loaded.
    std::vector<TIniFinding> Findings() const;

    // True when the lines in memory differ from what was last loaded or written.
    bool Modified() const { return modified_; }
    // Writes the lines to disk if modified: temporary file beside the file, write, flush,
    // fsync, rename over the file, fsync of the folder. On failure (a full disk, a read-only
    // folder) the old file is untouched, the temporary file removed, the lines stay in memory
    // and EIniFileError is raised, saying that the file keeps its previous content.
    void UpdateFile();
    // The file's whole text as UpdateFile writes it.
    std::string Text() const;

  private:
    struct TSection {
        std::string Header;              // the raw "[name]" line; empty for the lines before
                                         // the first section
        std::string Name;                // the name as matched (blanks around it removed)
        std::vector<std::string> Lines;  // raw lines after the header
        // Lower-case key -> the line of its first key=value, and the line after the last
        // key=value (where a new key goes): kept with every change of Lines, so a key is found
        // without reading the section's lines again.
        std::unordered_map<std::string, std::size_t> Keys;
        std::size_t AfterLastKey = 0;
    };

    void Load();
    void RebuildIndex();
    const TSection* FindSection(std::string_view section) const;
    TSection* FindSection(std::string_view section);
    // The line of the first key of that name in the section; npos when missing.
    static std::size_t FindKey(const TSection& s, std::string_view key);
    // Builds s's key index from its lines.
    static void IndexKeys(TSection& s);
    // The 1-based line number of sections_[i]'s header (of its first line for i == 0).
    std::size_t HeaderLine(std::size_t i) const;
    // Lines were added or removed: the header lines are counted again when next asked.
    void LinesMoved() { headerLines_.clear(); }

    std::filesystem::path fileName_;
    std::vector<TSection> sections_;                      // [0] is the part before any header
    std::unordered_map<std::string, std::size_t> index_;  // lower-case name -> first section
    bool crlf_ = false;                                   // the file's lines end in CR LF
    bool bom_ = false;                                    // the file begins with a UTF-8 mark
    bool modified_ = false;
    std::size_t zeroByteAt_ = std::string::npos;  // the loaded file's first zero byte
    // HeaderLine of every section, counted once for all: a file of many sections with many
    // findings asks for a line number each (empty: to be counted).
    mutable std::vector<std::size_t> headerLines_;
};

}  // namespace ov
