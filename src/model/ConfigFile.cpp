// The configuration file "OVCalc.OVG": settings, calculation groups and window placement,
// with the comma lists of the group sections.
#include "model/ConfigFile.h"

#include <exception>
#include <utility>
#include <vector>

#include "util/Scan.h"

namespace ov {

namespace {

constexpr std::string_view kCalc = "Calc";
constexpr std::string_view kWindow = "Windows Settings";
constexpr std::string_view kEmptyValue = ".";  // stands for an empty element of a value list

// A comma list as the scanner reads it: elements one "%P" scan at a time from the start
// until the end of the text is passed (so a trailing comma adds nothing). A NUL ends the text.
class TListReader {
public:
    explicit TListReader(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

    bool HasMore() const { return position_ <= static_cast<int>(text_.size()); }

    std::string Next() {
        std::string element;
        const int before = position_;
        ScanText(text_, position_, "%P", {&element});
        if (position_ <= before) position_ = static_cast<int>(text_.size()) + 1;  // no progress
        return element;
    }

private:
    std::string_view text_;
    int position_ = 1;
};

// The elements joined by commas, no blanks added; every element takes its place, an empty
// one too, so a list with an empty element reads back with the others where they were.
std::string JoinList(const std::vector<std::string>& elements) {
    std::string text;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (i > 0) text += ',';
        text += elements[i];
    }
    return text;
}

// Names and values of name=value entries: parallel lists, an empty value written as ".".
void WriteEntries(TIniFile& ini, const std::string& section, std::string_view namesKey,
                  std::string_view valuesKey, const std::vector<std::string>& entries) {
    std::vector<std::string> names, values;
    names.reserve(entries.size());
    values.reserve(entries.size());
    for (const std::string& entry : entries) {
        names.emplace_back(NameOfEntry(entry));
        const std::string_view value = ValueOfEntry(entry);
        values.emplace_back(value.empty() ? kEmptyValue : value);
    }
    ini.WriteString(section, namesKey, JoinList(names));
    ini.WriteString(section, valuesKey, JoinList(values));
}

// Appends name=value for each pair of elements while both lists have unread text; surplus
// elements of the longer list are dropped and "." reads as an empty value.
void ReadEntries(const TIniFile& ini, const std::string& section, std::string_view namesKey,
                 std::string_view valuesKey, std::vector<std::string>& entries) {
    const std::string namesText = ini.ReadString(section, namesKey, "");
    const std::string valuesText = ini.ReadString(section, valuesKey, "");
    if (namesText.empty()) return;
    TListReader names(namesText), values(valuesText);
    while (names.HasMore() && values.HasMore()) {
        const std::string name = names.Next();
        std::string value = values.Next();
        if (value == kEmptyValue) value.clear();
        entries.push_back(MakeEntry(name, value));
    }
}

}  // namespace

TConfigFile::TConfigFile(TLogStatusProc logStatus, const TFormatSettings& fs)
    : logStatus_(std::move(logStatus)), fs_(fs), openError_("The configuration file is not open") {}

void TConfigFile::OpenConfig(const std::filesystem::path& folder) {
    OpenConfigFile(FindFileNoCase(folder, FileName));
}

void TConfigFile::OpenConfigFile(const std::filesystem::path& file) {
    ini_.reset();
    path_ = file;
    try {
        ini_ = std::make_unique<TIniFile>(file);
    } catch (const std::exception& e) {
        openError_ = e.what();
        throw;
    }
}

TIniFile& TConfigFile::Ini() const {
    if (!ini_) throw EIniFileError(openError_);
    return *ini_;
}

void TConfigFile::Log(const std::string& text) const {
    if (logStatus_) logStatus_(text);
}

void TConfigFile::ReadConfig(TConfigSettings& settings, TCalcGroups& groups) {
    try {
        const TIniFile& ini = Ini();
        settings.LogDetail = ini.ReadInteger(kCalc, "LogDetail", 0);
        settings.ScheduleDelay = ini.ReadFloat(kCalc, "ScheduleDelay", settings.ScheduleDelay, fs_);
        const std::string names = ini.ReadString(kCalc, "GroupNames", "");
        if (!names.empty()) {
            TListReader list(names);
            while (list.HasMore()) ReadGroup(list.Next(), groups);
        }
        Log("Startup parameters loaded.");
    } catch (const std::exception& e) {
        Log(std::string("Error 1600: ") + e.what());
    }
}

void TConfigFile::ReadGroup(const std::string& name, TCalcGroups& groups) {
    const TIniFile& ini = Ini();
    auto group = std::make_unique<TCalcGroupItem>();
    group->GroupName = name;
    group->CGIndex = ini.ReadInteger(name, "CGIndex", group->CGIndex);
    group->FuncName = ini.ReadString(name, "FuncName", group->FuncName);
    group->Enabled = ini.ReadBool(name, "Enabled", group->Enabled);
    group->MultiStations = ini.ReadBool(name, "MultiStations", group->MultiStations);
    group->Filter = ini.ReadString(name, "Filter", group->Filter);
    group->OutputStation = ini.ReadString(name, "OutputStation", group->OutputStation);
    group->OutputSensor = ini.ReadString(name, "OutputSensor", group->OutputSensor);
    ReadEntries(ini, name, "VariablesName", "VariablesValue", group->Variables);
    const std::string similar = ini.ReadString(name, "SimilarStations", "");
    if (!similar.empty()) {
        TListReader list(similar);
        while (list.HasMore()) group->SimilarStations.push_back(list.Next());
    }
    ReadEntries(ini, name, "MultiVariablesName", "MultiVariablesValue", group->MultiVariables);
    group->MultiVariablesTrigger = ini.ReadInteger(name, "MultiVariablesTrigger", -1);
    groups.Add(std::move(group));
}

void TConfigFile::WriteConfig(const TConfigSettings& settings, const TCalcGroups& groups) {
    try {
        TIniFile& ini = Ini();
        {
            // All of it or none of it: a failure part-way leaves the lines as they were, so
            // a later write cannot put a half-written set of groups on disk.
            TIniFile before = ini;
            try {
                ini.WriteInteger(kCalc, "LogDetail", settings.LogDetail);
                ini.WriteFloat(kCalc, "ScheduleDelay", settings.ScheduleDelay, fs_);
                std::vector<std::string> names;
                names.reserve(static_cast<std::size_t>(groups.Count()));
                for (std::int32_t i = 0; i < groups.Count(); ++i) {
                    const TCalcGroupItem& group = *groups.Items(i);
                    WriteGroup(group);
                    names.push_back(group.GroupName);
                }
                ini.WriteString(kCalc, "GroupNames", JoinList(names));
            } catch (...) {
                ini = std::move(before);
                throw;
            }
        }
        ini.UpdateFile();
    } catch (const std::exception& e) {
        Log(std::string("Error 1600: ") + e.what());
    }
}

void TConfigFile::WriteGroup(const TCalcGroupItem& group) {
    TIniFile& ini = Ini();
    const std::string& name = group.GroupName;
    ini.WriteInteger(name, "CGIndex", group.CGIndex);
    ini.WriteString(name, "FuncName", group.FuncName);
    ini.WriteBool(name, "Enabled", group.Enabled);
    ini.WriteBool(name, "MultiStations", group.MultiStations);
    ini.WriteString(name, "Filter", group.Filter);
    ini.WriteString(name, "OutputStation", group.OutputStation);
    ini.WriteString(name, "OutputSensor", group.OutputSensor);
    WriteEntries(ini, name, "VariablesName", "VariablesValue", group.Variables);
    ini.WriteString(name, "SimilarStations", JoinList(group.SimilarStations));
    WriteEntries(ini, name, "MultiVariablesName", "MultiVariablesValue", group.MultiVariables);
    ini.WriteInteger(name, "MultiVariablesTrigger", group.MultiVariablesTrigger);
}

TWindowPlacement TConfigFile::ReadWindowPlacement(const TWindowPlacement& current) const {
    if (!ini_) return current;
    TWindowPlacement p;
    p.Left = ini_->ReadInteger(kWindow, "Left", current.Left);
    p.Top = ini_->ReadInteger(kWindow, "Top", current.Top);
    p.Width = ini_->ReadInteger(kWindow, "Width", current.Width);
    p.Height = ini_->ReadInteger(kWindow, "Height", current.Height);
    return p;
}

void TConfigFile::WriteWindowPlacement(const TWindowPlacement& placement) {
    TIniFile& ini = Ini();
    std::exception_ptr error;
    try {
        ini.WriteInteger(kWindow, "Left", placement.Left);
        ini.WriteInteger(kWindow, "Top", placement.Top);
        ini.WriteInteger(kWindow, "Width", placement.Width);
        ini.WriteInteger(kWindow, "Height", placement.Height);
    } catch (...) {
        error = std::current_exception();
    }
    // Whatever else is pending still goes to disk, and the file is closed in any case.
    try {
        CloseConfig();
    } catch (...) {
        if (!error) error = std::current_exception();
    }
    if (error) std::rethrow_exception(error);
}

void TConfigFile::CloseConfig() {
    if (!ini_) return;
    const std::unique_ptr<TIniFile> ini = std::move(ini_);
    openError_ = "The configuration file is not open";
    ini->UpdateFile();
}

}  // namespace ov
