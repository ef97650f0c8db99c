// The configuration file "OVCalc.OVG": settings, calculation groups and window placement,
// with the comma lists of the group sections.
#include "model/ConfigFile.h"

#include <exception>
#include <set>
#include <utility>
#include <vector>

#include "util/FloatText.h"
#include "util/Scan.h"
#include "util/TextCompare.h"

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

// Every element of a comma list, as TListReader takes them.
std::vector<std::string> ReadList(std::string_view text) {
    std::vector<std::string> elements;
    if (text.empty()) return elements;
    TListReader list(text);
    while (list.HasMore()) elements.push_back(list.Next());
    return elements;
}

// The name=value entries of a names key and a values key: a pair of elements while both lists
// have unread text; surplus elements of the longer list are not read and "." reads as an
// empty value. An empty names text reads no entries.
std::vector<std::string> ReadEntries(const TIniFile& ini, const std::string& section,
                                     std::string_view namesKey, std::string_view valuesKey) {
    std::vector<std::string> entries;
    const std::string namesText = ini.ReadString(section, namesKey, "");
    const std::string valuesText = ini.ReadString(section, valuesKey, "");
    if (namesText.empty()) return entries;
    TListReader names(namesText), values(valuesText);
    while (names.HasMore() && values.HasMore()) {
        const std::string name = names.Next();
        std::string value = values.Next();
        if (value == kEmptyValue) value.clear();
        entries.push_back(MakeEntry(name, value));
    }
    return entries;
}

// The group that section name reads as. A section that does not exist (a file cut short, a
// name listed by mistake) reads as a disabled group: enabled, it would be calculated, and
// written back, as an empty group that nobody made.
TCalcGroupItem ParseGroup(const TIniFile& ini, const std::string& name) {
    TCalcGroupItem group;
    group.GroupName = name;
    if (!ini.SectionExists(name)) {
        group.Enabled = false;
        return group;
    }
    group.CGIndex = ini.ReadInteger(name, "CGIndex", group.CGIndex);
    group.FuncName = ini.ReadString(name, "FuncName", group.FuncName);
    group.Enabled = ini.ReadBool(name, "Enabled", group.Enabled);
    group.MultiStations = ini.ReadBool(name, "MultiStations", group.MultiStations);
    group.Filter = ini.ReadString(name, "Filter", group.Filter);
    group.OutputStation = ini.ReadString(name, "OutputStation", group.OutputStation);
    group.OutputSensor = ini.ReadString(name, "OutputSensor", group.OutputSensor);
    group.Variables = ReadEntries(ini, name, "VariablesName", "VariablesValue");
    group.SimilarStations = ReadList(ini.ReadString(name, "SimilarStations", ""));
    group.MultiVariables = ReadEntries(ini, name, "MultiVariablesName", "MultiVariablesValue");
    group.MultiVariablesTrigger = ini.ReadInteger(name, "MultiVariablesTrigger", -1);
    return group;
}

// A ScheduleDelay text that is a delay OV Calc can keep: a number of days from 0 to
// MaxScheduleDelay. A larger one, an infinite one above all, would schedule the calculations
// where they never run, or past the range of a date-time.
bool ParseDelay(std::string_view text, const TFormatSettings& fs, double& delay) {
    double value = 0;
    if (!TryTextToFloat(text, value, fs.DecimalSeparator)) return false;
    if (!(value >= 0 && value <= MaxScheduleDelay)) return false;
    delay = value;
    return true;
}

// "A, B and C".
std::string JoinWords(const std::vector<std::string>& words) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) text += i + 1 == words.size() ? " and " : ", ";
        text += words[i];
    }
    return text;
}

}  // namespace

TConfigFile::TConfigFile(TLogStatusProc logStatus, const TFormatSettings& fs)
    : logStatus_(std::move(logStatus)), fs_(fs), openError_("The configuration file is not open") {}

void TConfigFile::OpenConfig(const std::filesystem::path& folder) {
    const std::filesystem::path file = FindFileNoCase(folder, FileName);
    RemoveAbandonedTempFiles(file);
    OpenConfigFile(file);
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

void TConfigFile::Say(std::size_t line, const std::string& text) const {
    std::string where = path_.filename().string();
    if (line > 0) where += " line " + std::to_string(line) + ":";
    Log("Error 1600: " + where + " " + text);
}

void TConfigFile::Report(std::size_t line, const std::string& text) const {
    if (shownFindings_ < mostShownFindings_) {
        ++shownFindings_;
        Say(line, text);
    } else {
        ++heldFindings_;
    }
}

void TConfigFile::ReportHeldFindings() const {
    if (heldFindings_ == 0) return;
    Say(0, "has " + std::to_string(heldFindings_) +
               " more findings in its settings and groups, not shown here (ovtool check lists "
               "them all)");
    heldFindings_ = 0;
}

void TConfigFile::ReportFileFindings(const TIniFile& ini) const {
    const std::vector<TIniFinding> findings = ini.Findings();
    for (std::size_t i = 0; i < findings.size() && i < mostShownFindings_; ++i)
        Say(findings[i].Line, findings[i].Text);
    if (findings.size() > mostShownFindings_)
        Say(0, "has " + std::to_string(findings.size() - mostShownFindings_) +
                   " more lines that are not read as written");
}

void TConfigFile::ReadSettings(const TIniFile& ini, TConfigSettings& settings) {
    const std::string detail = ini.ReadString(kCalc, "LogDetail", "");
    std::int32_t level = 0;
    if (!ParseIniInteger(detail, level) && !detail.empty())
        Report(ini.KeyLine(kCalc, "LogDetail"),
               "LogDetail=" + detail +
                   " is not a whole number from -2147483648 to 2147483647; the log detail is 0");
    settings.LogDetail = level;

    refusedDelayInUse_.reset();
    const std::string delay = ini.ReadString(kCalc, "ScheduleDelay", "");
    if (!delay.empty() && !ParseDelay(delay, fs_, settings.ScheduleDelay)) {
        double number = 0;
        const bool isNumber = TryTextToFloat(delay, number, fs_.DecimalSeparator);
        Report(ini.KeyLine(kCalc, "ScheduleDelay"),
               "ScheduleDelay=" + delay +
                   (isNumber ? " is not a delay from 0 to " + FloatToText(MaxScheduleDelay, fs_) +
                                   " days (3 hours, as long as the values are kept for the "
                                   "calculations)"
                             : " is not a number") +
                   "; the delay stays " + FloatToText(settings.ScheduleDelay, fs_) + " days");
        refusedDelayInUse_ = settings.ScheduleDelay;
    }
}

void TConfigFile::ReadConfig(TConfigSettings& settings, TCalcGroups& groups) {
    shownFindings_ = heldFindings_ = 0;
    try {
        const TIniFile& ini = Ini();
        ReportFileFindings(ini);
        ReadSettings(ini, settings);
        const std::string names = ini.ReadString(kCalc, "GroupNames", "");
        const std::size_t namesLine = ini.KeyLine(kCalc, "GroupNames");
        std::set<std::string> seen;  // names in upper case
        for (const std::string& name : ReadList(names)) {
            const bool first = seen.insert(UpperCaseAscii(name)).second;
            if (!first) {
                Report(namesLine, "GroupNames names " + name +
                                      " more than once: its group is calculated once for each");
            } else if (!ini.SectionExists(name)) {
                Report(namesLine, "GroupNames names " + name + ", but there is no section [" +
                                      name +
                                      "]: the group is kept disabled, without an "
                                      "equation, and no section is written for it");
            }
            ReadGroup(name, groups, first);
        }
        ReportHeldFindings();
        Log("Startup parameters loaded.");
    } catch (const std::exception& e) {
        ReportHeldFindings();
        Log(std::string("Error 1600: ") + e.what());
    }
}

void TConfigFile::ReadGroup(const std::string& name, TCalcGroups& groups) {
    ReadGroup(name, groups, true);
}

void TConfigFile::ReadGroup(const std::string& name, TCalcGroups& groups, bool report) {
    const TIniFile& ini = Ini();
    auto group = std::make_unique<TCalcGroupItem>(ParseGroup(ini, name));
    if (report && ini.SectionExists(name)) CheckGroup(ini, *group);
    groups.Add(std::move(group));
}

void TConfigFile::CheckGroup(const TIniFile& ini, const TCalcGroupItem& group) const {
    const std::string& name = group.GroupName;
    const std::string title = "[" + name + "] ";
    auto lineOf = [&](std::string_view key) {
        const std::size_t line = ini.KeyLine(name, key);
        return line > 0 ? line : ini.SectionLine(name);
    };
    auto text = [&](std::string_view key) { return ini.ReadString(name, key, ""); };
    std::int32_t number = 0;

    const std::string index = text("CGIndex");
    if (!ini.ValueExists(name, "CGIndex")) {
        Report(lineOf("CGIndex"), title + "has no CGIndex: the group's number is 0");
    } else if (!ParseIniInteger(index, number)) {
        Report(lineOf("CGIndex"), title + "CGIndex=" + index + " is not a group number from " +
                                      std::to_string(FirstGroupNumber) + " to " +
                                      std::to_string(LastGroupNumber) +
                                      "; the group's number is 0");
    } else if (number < FirstGroupNumber || number > LastGroupNumber) {
        Report(lineOf("CGIndex"), title + "CGIndex=" + index + " is not a group number from " +
                                      std::to_string(FirstGroupNumber) + " to " +
                                      std::to_string(LastGroupNumber));
    }

    if (group.FuncName.size() > MaxEquationLength)
        Report(lineOf("FuncName"), title + "FuncName has " + std::to_string(group.FuncName.size()) +
                                       " characters, more than the " +
                                       std::to_string(MaxEquationLength) + " an equation may have");

    for (const auto& [key, value] : {std::pair<std::string_view, bool>{"Enabled", group.Enabled},
                                     {"MultiStations", group.MultiStations}}) {
        const std::string flag = text(key);
        if (flag.empty()) continue;
        if (!ParseIniInteger(flag, number) || (number != 0 && number != 1))
            Report(lineOf(key), title + std::string(key) + "=" + flag +
                                    " is not 0 or 1; it reads as " + (value ? "1" : "0"));
    }

    const std::string trigger = text("MultiVariablesTrigger");
    if (!trigger.empty() && !ParseIniInteger(trigger, number))
        Report(lineOf("MultiVariablesTrigger"),
               title + "MultiVariablesTrigger=" + trigger +
                   " is not a whole number from -2147483648 to 2147483647; it reads as -1");

    for (const auto& [namesKey, valuesKey] :
         {std::pair<std::string_view, std::string_view>{"VariablesName", "VariablesValue"},
          {"MultiVariablesName", "MultiVariablesValue"}}) {
        const std::vector<std::string> names = ReadList(text(namesKey));
        const std::vector<std::string> values = ReadList(text(valuesKey));
        if (names.size() == values.size()) continue;
        const bool moreNames = names.size() > values.size();
        const std::vector<std::string>& longer = moreNames ? names : values;
        const std::vector<std::string> surplus(
            longer.begin() + static_cast<std::ptrdiff_t>(std::min(names.size(), values.size())),
            longer.end());
        const bool one = surplus.size() == 1;
        Report(lineOf(namesKey),
               title + std::string(namesKey) + " has " + std::to_string(names.size()) +
                   (names.size() == 1 ? " name" : " names") + " but " + std::string(valuesKey) +
                   " " + std::to_string(values.size()) +
                   (values.size() == 1 ? " value" : " values") + ": the " +
                   (moreNames ? "name" : "value") + (one ? " " : "s ") + JoinWords(surplus) +
                   (one ? " has" : " have") + (moreNames ? " no value" : " no name") +
                   (one ? " and is" : " and are") +
                   " not read; the file keeps it as written while the group's variables are not "
                   "changed");
    }
}

void TConfigFile::WriteSettings(TIniFile& ini, const TConfigSettings& settings) {
    if (!(ini.ValueExists(kCalc, "LogDetail") &&
          ini.ReadInteger(kCalc, "LogDetail", 0) == settings.LogDetail))
        ini.WriteInteger(kCalc, "LogDetail", settings.LogDetail);

    // A delay line refused at the start stays as written while that start's delay is in use.
    double inFile = 0;
    const std::string delay = ini.ReadString(kCalc, "ScheduleDelay", "");
    const bool keep = ini.ValueExists(kCalc, "ScheduleDelay") &&
                      (ParseDelay(delay, fs_, inFile)
                           ? inFile == settings.ScheduleDelay
                           : refusedDelayInUse_ && *refusedDelayInUse_ == settings.ScheduleDelay);
    if (!keep) ini.WriteFloat(kCalc, "ScheduleDelay", settings.ScheduleDelay, fs_);
}

bool TConfigFile::WriteConfig(const TConfigSettings& settings, const TCalcGroups& groups) {
    try {
        TIniFile& ini = Ini();
        {
            // All of it or none of it: a failure part-way leaves the lines as they were, so
            // a later write cannot put a half-written set of groups on disk.
            TIniFile before = ini;
            try {
                WriteSettings(ini, settings);
                std::vector<std::string> names;
                names.reserve(static_cast<std::size_t>(groups.Count()));
                for (std::int32_t i = 0; i < groups.Count(); ++i) {
                    const TCalcGroupItem& group = *groups.Items(i);
                    WriteGroup(group);
                    names.push_back(group.GroupName);
                }
                if (!(ini.ValueExists(kCalc, "GroupNames") &&
                      ReadList(ini.ReadString(kCalc, "GroupNames", "")) == names))
                    ini.WriteString(kCalc, "GroupNames", JoinList(names));
            } catch (...) {
                ini = std::move(before);
                throw;
            }
        }
        double inFile = 0;
        if (ParseDelay(ini.ReadString(kCalc, "ScheduleDelay", ""), fs_, inFile))
            refusedDelayInUse_.reset();
        ini.UpdateFile();
        return true;
    } catch (const std::exception& e) {
        Log(std::string("Error 1600: ") + e.what());
        return false;
    }
}

void TConfigFile::WriteGroup(const TCalcGroupItem& group) {
    TIniFile& ini = Ini();
    const std::string& name = group.GroupName;
    const TCalcGroupItem inFile = ParseGroup(ini, name);
    if (!ini.SectionExists(name) && group == inFile) return;

    // Each key is written unless its line already reads as the group's value.
    auto keep = [&](std::string_view key, bool same) { return same && ini.ValueExists(name, key); };
    auto keepBoth = [&](std::string_view namesKey, std::string_view valuesKey, bool same) {
        return keep(namesKey, same) && ini.ValueExists(name, valuesKey);
    };
    if (!keep("CGIndex", group.CGIndex == inFile.CGIndex))
        ini.WriteInteger(name, "CGIndex", group.CGIndex);
    if (!keep("FuncName", group.FuncName == inFile.FuncName))
        ini.WriteString(name, "FuncName", group.FuncName);
    if (!keep("Enabled", group.Enabled == inFile.Enabled))
        ini.WriteBool(name, "Enabled", group.Enabled);
    if (!keep("MultiStations", group.MultiStations == inFile.MultiStations))
        ini.WriteBool(name, "MultiStations", group.MultiStations);
    if (!keep("Filter", group.Filter == inFile.Filter))
        ini.WriteString(name, "Filter", group.Filter);
    if (!keep("OutputStation", group.OutputStation == inFile.OutputStation))
        ini.WriteString(name, "OutputStation", group.OutputStation);
    if (!keep("OutputSensor", group.OutputSensor == inFile.OutputSensor))
        ini.WriteString(name, "OutputSensor", group.OutputSensor);
    if (!keepBoth("VariablesName", "VariablesValue", group.Variables == inFile.Variables))
        WriteEntries(ini, name, "VariablesName", "VariablesValue", group.Variables);
    if (!keep("SimilarStations", group.SimilarStations == inFile.SimilarStations))
        ini.WriteString(name, "SimilarStations", JoinList(group.SimilarStations));
    if (!keepBoth("MultiVariablesName", "MultiVariablesValue",
                  group.MultiVariables == inFile.MultiVariables))
        WriteEntries(ini, name, "MultiVariablesName", "MultiVariablesValue", group.MultiVariables);
    if (!keep("MultiVariablesTrigger", group.MultiVariablesTrigger == inFile.MultiVariablesTrigger))
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
