// Fuzz target: the INI reader and writer, or the configuration file's, on a fuzzed file.
// The INI file: every key of every section read in every type, and the findings. Its text,
// when the file is in its own form, is the file as it was read; written and read again it is
// the same text. Then written to: each line of the file as a value, a key's and a section's
// name, an integer, a boolean and a number. What is written reads back, at once and from the
// file UpdateFile writes, and nothing else changes (write-read identity): every section and
// key with its value and line.
// The configuration file: ReadConfig and ReadGroup, then WriteConfig; the file it wrote reads
// back as the same groups and settings, and writing those again leaves the file as it was.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "model/CalcGroups.h"
#include "model/ConfigFile.h"
#include "util/FloatText.h"
#include "util/IniFile.h"

namespace {

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// A section's or key's name as the file matches it: blanks around it removed, ASCII letters
// in lower case.
std::string Folded(std::string_view name) {
    std::string out(Trim(name));
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// What reading a written value gives: a line break or zero byte is a blank, and the blanks
// around the value go.
std::string ReadBackOf(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return std::string(Trim(out));
}

using TKey = std::pair<std::string, std::string>;  // folded section and key

// Every section and key that reads see, with its value.
std::map<TKey, std::string> Values(const ov::TIniFile& ini) {
    std::map<TKey, std::string> values;
    for (const std::string& section : ini.ReadSections())
        for (const std::string& key : ini.ReadSection(section))
            values[{Folded(section), Folded(key)}] = ini.ReadString(section, key, "");
    return values;
}

// Every section and key with the line it stands on: the lines counted in memory must be the
// file's.
std::map<TKey, std::size_t> LineNumbers(const ov::TIniFile& ini) {
    std::map<TKey, std::size_t> lines;
    for (const std::string& section : ini.ReadSections()) {
        lines[{Folded(section), ""}] = ini.SectionLine(section);
        for (const std::string& key : ini.ReadSection(section))
            lines[{Folded(section), Folded(key)}] = ini.KeyLine(section, key);
    }
    return lines;
}

void ReadEverything(const ov::TIniFile& ini) {
    for (const std::string& section : ini.ReadSections()) {
        (void)ini.SectionLine(section);
        for (const std::string& key : ini.ReadSection(section)) {
            (void)ini.ReadInteger(section, key, 0);
            (void)ini.ReadBool(section, key, false);
            (void)ini.ReadFloat(section, key, 0, ov::USFormatSettings());
        }
    }
    (void)ini.Findings();
}

// The file as its own writer writes it: every line ended as the first (LF, or CR LF), the
// last line too. Such a file is written back as it was read.
bool InOwnForm(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    if (text.empty()) return true;
    if (text.back() != '\n') return false;
    const std::size_t first = text.find('\n');
    const bool crlf = first > 0 && text[first - 1] == '\r';
    for (std::size_t at = text.find('\n'); at != std::string_view::npos;
         at = text.find('\n', at + 1)) {
        const bool cr = at > 0 && text[at - 1] == '\r';
        if (cr != crlf) return false;
    }
    return true;
}

std::string Described(const std::map<TKey, std::string>& values) {
    std::string out;
    for (const auto& [key, value] : values)
        out += "[" + ov::fuzz::Shown(key.first) + "] " + ov::fuzz::Shown(key.second) + "=" +
               ov::fuzz::Shown(value) + "; ";
    return out;
}

// The file's writes and what they must read as.
class TWrites {
  public:
    explicit TWrites(ov::TIniFile& ini) : ini_(ini), expected_(Values(ini)) {}

    void String(std::string_view section, std::string_view key, std::string_view value) {
        if (Written(section, key, [&] { ini_.WriteString(section, key, value); }))
            Expect(section, key, ReadBackOf(value));
    }
    void Integer(std::string_view section, std::string_view key, std::int32_t value) {
        if (!Written(section, key, [&] { ini_.WriteInteger(section, key, value); })) return;
        Expect(section, key, std::to_string(value));
        ov::fuzz::Require(ini_.ReadInteger(section, key, ~value) == value,
                          [&] { return "the integer " + std::to_string(value) + " reads back"; });
    }
    void Bool(std::string_view section, std::string_view key, bool value) {
        if (!Written(section, key, [&] { ini_.WriteBool(section, key, value); })) return;
        Expect(section, key, value ? "1" : "0");
        ov::fuzz::Require(ini_.ReadBool(section, key, !value) == value,
                          [] { return std::string("a boolean reads back"); });
    }
    // Finite numbers whose general text reads as a number: it reads back as the same text.
    void Float(std::string_view section, std::string_view key, double value) {
        if (!std::isfinite(value) || std::fabs(value) >= 1.797693134862315E308) return;
        const ov::TFormatSettings& us = ov::USFormatSettings();
        if (!Written(section, key, [&] { ini_.WriteFloat(section, key, value, us); })) return;
        const std::string text = ov::FloatToText(value, us);
        Expect(section, key, text);
        const double back = ini_.ReadFloat(section, key, NAN, us);
        ov::fuzz::Require(ov::FloatToText(back, us) == text,
                          [&] { return "the number " + text + " reads back"; });
    }
    void DeleteKey(std::string_view section, std::string_view key) {
        ini_.DeleteKey(section, key);
        // A later line of the same key is read from now on: its value is the file's business.
        const TKey k{Folded(section), Folded(key)};
        expected_.erase(k);
        unknown_.insert(k);
    }
    void EraseSection(std::string_view section) {
        ini_.EraseSection(section);
        const std::string folded = Folded(section);
        std::erase_if(expected_, [&](const auto& e) { return e.first.first == folded; });
        std::erase_if(unknown_, [&](const TKey& k) { return k.first == folded; });
    }

    // The file reads as every write said, and as it did before for everything else.
    void Check(const ov::TIniFile& ini, const char* where) const {
        std::map<TKey, std::string> values = Values(ini);
        for (const TKey& k : unknown_) values.erase(k);
        ov::fuzz::Require(values == expected_, [&] {
            return std::string(where) + " reads " + Described(values) + " where " +
                   Described(expected_) + " was written";
        });
    }

  private:
    // Runs a write; false when it refused the section's or key's name, which it may only for a
    // name that cannot stand in the file (a line break or zero byte; a key also for "=", a
    // first ";" or "[", or no key at all). A section read from a file may be such a name.
    template <class Write>
    bool Written(std::string_view section, std::string_view key, Write&& write) {
        try {
            write();
            return true;
        } catch (const ov::EIniFileError&) {
            auto breaks = [](std::string_view name) {
                return name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
            };
            const std::string_view k = Trim(key);
            const bool badKey = k.empty() || breaks(k) || k.find('=') != std::string_view::npos ||
                                k.front() == ';' || k.front() == '[';
            ov::fuzz::Require(breaks(section) || badKey, [&] {
                return "the write to [" + ov::fuzz::Shown(section) + "] " + ov::fuzz::Shown(key) +
                       " was refused";
            });
            return false;
        }
    }

    void Expect(std::string_view section, std::string_view key, std::string value) {
        const TKey k{Folded(section), Folded(key)};
        unknown_.erase(k);
        const std::string read = ini_.ReadString(section, key, "\x01missing");
        ov::fuzz::Require(read == value, [&] {
            return "[" + ov::fuzz::Shown(section) + "] " + ov::fuzz::Shown(key) + " written \"" +
                   ov::fuzz::Shown(value) + "\" reads \"" + ov::fuzz::Shown(read) + "\"";
        });
        expected_[k] = std::move(value);
    }

    ov::TIniFile& ini_;
    std::map<TKey, std::string> expected_;
    std::set<TKey> unknown_;
};

// The writes use the first lines of the file for their values and names.
constexpr std::size_t kLinesWritten = 6;

void FuzzIni(std::string_view text) {
    const auto path = ov::fuzz::WriteScratchFile("fuzz.ini", text);
    ov::TIniFile ini(path);
    ReadEverything(ini);

    const std::string written = ini.Text();
    if (InOwnForm(text))
        ov::fuzz::Require(written == text, [&] {
            return "a file in its own form is written as \"" + ov::fuzz::Shown(written) + "\"";
        });
    // What it would write, read again, writes the same (what it reads is checked below,
    // after the writes).
    ov::TIniFile again(ov::fuzz::WriteScratchFile("again.ini", written));
    ov::fuzz::Require(again.Text() == written, [&] {
        return "the file's own text \"" + ov::fuzz::Shown(written) + "\" is written as \"" +
               ov::fuzz::Shown(again.Text()) + "\"";
    });

    TWrites writes(ini);
    const std::vector<std::string> sections = ini.ReadSections();
    const std::vector<std::string_view> lines = ov::fuzz::Lines(text);
    for (std::size_t i = 0; i < lines.size() && i < kLinesWritten; ++i) {
        const std::string_view line = lines[i];
        const std::string section = sections.empty() ? "Fuzz" : sections[i % sections.size()];
        const std::vector<std::string> keys = ini.ReadSection(section);
        writes.String(section, keys.empty() ? "Key" : keys[i % keys.size()], line);
        writes.String(section, line, "value " + std::to_string(i));
        writes.String(line, "Key", line);
    }
    std::int32_t number = 0;
    std::memcpy(&number, text.data(), std::min(text.size(), sizeof number));
    double real = 0;
    std::memcpy(&real, text.data(), std::min(text.size(), sizeof real));
    const std::string first = sections.empty() ? "Fuzz" : sections.front();
    writes.Integer(first, "Number", number);
    writes.Bool(first, "Flag", (number & 1) != 0);
    writes.Float(first, "Real", real);
    if (!sections.empty()) {
        const std::vector<std::string> keys = ini.ReadSection(sections.back());
        if (!keys.empty()) writes.DeleteKey(sections.back(), keys.front());
        if (sections.size() > 1) writes.EraseSection(sections[sections.size() / 2]);
    }
    writes.Check(ini, "the file in memory");
    ReadEverything(ini);

    ini.UpdateFile();
    const ov::TIniFile reread(path);
    writes.Check(reread, "the file written");
    ov::fuzz::Require(LineNumbers(reread) == LineNumbers(ini), [] {
        return std::string("a section or key stands on another line in the file written");
    });
}

void FuzzConfig(std::string_view text) {
    const auto path = ov::fuzz::WriteScratchFile("OVCalc.OVG", text);
    auto ignore = [](const std::string&) {};
    ov::TConfigSettings settings;
    ov::TCalcGroups groups;
    ov::TConfigFile config(ignore, ov::USFormatSettings());
    try {
        config.OpenConfigFile(path);
    } catch (const ov::Exception&) {
        return;
    }
    config.ReadConfig(settings, groups);
    ov::TCalcGroups extra;
    config.ReadGroup("Group1", extra);
    (void)config.ReadWindowPlacement(ov::TWindowPlacement{});
    ov::TCalcGroups read;
    for (std::int32_t i = 0; i < groups.Count(); ++i)
        read.Add(std::make_unique<ov::TCalcGroupItem>(*groups.Items(i)));
    if (!config.WriteConfig(settings, groups)) return;

    ov::TConfigSettings settingsAgain;
    ov::TCalcGroups groupsAgain;
    ov::TConfigFile reread(ignore, ov::USFormatSettings());
    reread.OpenConfigFile(path);
    reread.ReadConfig(settingsAgain, groupsAgain);
    ov::fuzz::Require(groupsAgain.Count() == read.Count(), [&] {
        return std::to_string(read.Count()) + " groups written, " +
               std::to_string(groupsAgain.Count()) + " read back";
    });
    for (std::int32_t i = 0; i < read.Count(); ++i)
        ov::fuzz::Require(*groupsAgain.Items(i) == *read.Items(i), [&] {
            return "group " + read.Items(i)->GroupName + " reads back otherwise";
        });
    // The delay is written as a general number text: it reads back as that text.
    const ov::TFormatSettings& us = ov::USFormatSettings();
    ov::fuzz::Require(settingsAgain.LogDetail == settings.LogDetail &&
                          ov::FloatToText(settingsAgain.ScheduleDelay, us) ==
                              ov::FloatToText(settings.ScheduleDelay, us),
                      [] { return std::string("the settings read back otherwise"); });

    // Written again from what was read back, the file stays as it is.
    const std::string before = ov::TIniFile(path).Text();
    ov::fuzz::Require(reread.WriteConfig(settingsAgain, groupsAgain), [] {
        return std::string("a configuration written once cannot be written again");
    });
    const std::string after = ov::TIniFile(path).Text();
    ov::fuzz::Require(after == before, [&] {
        return "written again, \"" + ov::fuzz::Shown(before) + "\" became \"" +
               ov::fuzz::Shown(after) + "\"";
    });
}

}  // namespace

// The first byte chooses the reader of the rest: "c" the configuration file's, anything else
// the INI reader alone. Every input through both would double each run's time for no more
// reach; the seeds hold each file once for each reader.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text = ov::fuzz::AsText(data + 1, size - 1);
    if (data[0] == 'c')
        FuzzConfig(text);
    else
        FuzzIni(text);
    return 0;
}
