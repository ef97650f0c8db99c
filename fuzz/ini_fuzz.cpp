// Fuzz target: the INI reader or the configuration file's reader on a fuzzed file.
// The INI file: the keys of its first sections read in every type, the findings, an edit; its
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

// A key is found by reading its section's lines and a section's line by counting the lines
// before it, so reading every key of every section is quadratic in the file's length. The
// readers are the same for every section and key: they run on the first few of each, which
// keeps a run fast while the mutations bring any line there.
constexpr std::size_t kSectionsRead = 4;
constexpr std::size_t kKeysReadPerSection = 4;

void ReadEverything(const ov::TIniFile& ini) {
    const std::vector<std::string> sections = ini.ReadSections();
    for (std::size_t s = 0; s < sections.size() && s < kSectionsRead; ++s) {
        const std::string& section = sections[s];
        (void)ini.SectionLine(section);
        const std::vector<std::string> keys = ini.ReadSection(section);
        for (std::size_t i = 0; i < keys.size() && i < kKeysReadPerSection; ++i) {
            const std::string& key = keys[i];
            (void)ini.ReadString(section, key, "");
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
