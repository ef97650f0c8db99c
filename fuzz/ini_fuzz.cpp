// Fuzz target: the INI reader and the configuration file's reader on a fuzzed file.
// The INI file: every section, key and value read in every type, the findings, an edit; its
// text written and read again must read the same. The configuration file: ReadConfig and
// ReadGroup, then WriteConfig; the file it wrote must read back as the same groups.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "model/CalcGroups.h"
#include "model/ConfigFile.h"
#include "util/IniFile.h"

namespace {

// A key is found by reading its section's lines, so reading every key of a section is
// quadratic in its length: beyond the first keys of each section only every key's text is
// read, which keeps a run's speed while the mutations reach every reader through those first.
constexpr std::size_t kKeysReadInEveryType = 8;
constexpr std::size_t kKeysReadPerSection = 64;

void ReadEverything(const ov::TIniFile& ini) {
    for (const std::string& section : ini.ReadSections()) {
        (void)ini.SectionLine(section);
        const std::vector<std::string> keys = ini.ReadSection(section);
        for (std::size_t i = 0; i < keys.size() && i < kKeysReadPerSection; ++i) {
            const std::string& key = keys[i];
            (void)ini.ReadString(section, key, "");
            if (i >= kKeysReadInEveryType) continue;
            (void)ini.ReadInteger(section, key, 0);
            (void)ini.ReadBool(section, key, false);
            (void)ini.ReadFloat(section, key, 0);
            (void)ini.KeyLine(section, key);
        }
    }
    (void)ini.Findings();
}

void FuzzIni(std::string_view text) {
    const auto path = ov::fuzz::WriteScratchFile("fuzz.ini", text);
    ov::TIniFile ini(path);
    ReadEverything(ini);

    // What it would write, read again, writes the same.
    const std::string written = ini.Text();
    ov::TIniFile again(ov::fuzz::WriteScratchFile("again.ini", written));
    if (again.Text() != written) std::abort();
    if (again.ReadSections() != ini.ReadSections()) std::abort();

    const std::vector<std::string> sections = ini.ReadSections();
    try {
        if (!sections.empty()) {
            const std::vector<std::string> keys = ini.ReadSection(sections[0]);
            const std::string key = keys.empty() ? "Key" : keys[0];
            ini.WriteString(sections[0], key, "written\nvalue");
            if (ini.ReadString(sections[0], key, "") != "written value") std::abort();
            ini.WriteInteger(sections.back(), "Number", -7);
            ini.DeleteKey(sections[0], key);
            ini.EraseSection(sections.back());
        }
        ini.WriteFloat("Fuzz", "Real", 2.5);
        ini.WriteBool("Fuzz", "Flag", true);
    } catch (const ov::EIniFileError&) {
        // A section or key name that cannot stand in the file.
    }
    ReadEverything(ini);
    (void)ini.Text();
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
    if (groupsAgain.Count() != read.Count()) std::abort();
    for (std::int32_t i = 0; i < read.Count(); ++i)
        if (!(*groupsAgain.Items(i) == *read.Items(i))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = ov::fuzz::AsText(data, size);
    FuzzIni(text);
    FuzzConfig(text);
    return 0;
}
