// The program's configuration file "OVCalc.OVG": the settings of section "Calc", one section
// per calculation group and the main window's placement. Read once at start, written whole
// at shutdown; everything else in the file is kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/CalcGroups.h"
#include "util/FormatSettings.h"
#include "util/IniFile.h"

namespace ov {

// The status log of the main window (its LogStatus): one line of text for the user.
using TLogStatusProc = std::function<void(const std::string& text)>;

// The longest schedule delay, in days: 3 hours, as long as the calculation thread keeps the
// values a deferred calculation reads (its value cache); a longer delay would find them gone.
inline constexpr double MaxScheduleDelay = 0.125;
// The group numbers the setup dialog gives, and the longest equation it edits.
inline constexpr std::int32_t FirstGroupNumber = 1;
inline constexpr std::int32_t LastGroupNumber = 999;
inline constexpr std::size_t MaxEquationLength = 8192;
// The findings of each kind that reading the file says in the status list: the lines that are
// not read, and the other findings of its settings and groups.
inline constexpr std::size_t MostShownFindings = 20;

// The settings of section "Calc" besides the group names.
struct TConfigSettings {
    std::int32_t LogDetail = 0;         // 0 to 10
    double ScheduleDelay = 1.0 / 1440;  // days; 1 minute at start-up
};

// The main window's position and size in screen pixels; the defaults are its design values.
struct TWindowPlacement {
    std::int32_t Left = 334;
    std::int32_t Top = 335;
    std::int32_t Width = 564;
    std::int32_t Height = 421;
};

class TConfigFile {
  public:
    static constexpr std::string_view FileName = "OVCalc.OVG";

    // logStatus receives "Startup parameters loaded." and the "Error 1600: " lines; floats
    // are written and read with the decimal separator of fs (the user's).
    explicit TConfigFile(TLogStatusProc logStatus,
                         const TFormatSettings& fs = LocaleFormatSettings());

    // Opens "OVCalc.OVG" of folder, found there without regard to letter case; a missing file
    // reads as empty and is created by the first write. Raises EIniFileError when the file
    // exists but cannot be read: it then stays closed, and ReadConfig and WriteConfig report
    // that error instead of replacing a file they never saw. This is the program's open at
    // start: it first removes the temporary files that writers killed during a write left
    // beside the file (never one of a process that still runs).
    void OpenConfig(const std::filesystem::path& folder);
    // Opens the file by its full path, touching nothing else (for tools that only read it).
    void OpenConfigFile(const std::filesystem::path& file);
    bool IsOpen() const { return ini_ != nullptr; }
    // The path opened last (empty before OpenConfig).
    const std::filesystem::path& FilePath() const { return path_; }

    // Reads LogDetail (default 0), ScheduleDelay (default its current value) and every group
    // named in "GroupNames", appended to groups in list order; then logs "Startup parameters
    // loaded.". Whatever is not read as written is logged first, one "Error 1600: " line
    // each with the file's name and line: lines that are not read, sections and keys given
    // again, a value refused (a delay outside 0 to MaxScheduleDelay, a number outside 32
    // bits) with what is used instead, a flag other than 0 or 1, a group number outside 1 to
    // 999, an equation longer than MaxEquationLength, a names list and its values list of
    // different lengths, a group named in GroupNames without a section (read disabled). Of
    // the lines not read, and of the other findings, the first MostShownFindings each are
    // logged and the rest counted in one line (all of them after ShowEveryFinding). An
    // error is logged as "Error 1600: " + its text; groups read so far stay.
    void ReadConfig(TConfigSettings& settings, TCalcGroups& groups);
    // ReadConfig logs every finding: for a tool that lists them, not for the status list.
    void ShowEveryFinding() { mostShownFindings_ = SIZE_MAX; }
    // Reads section name as a group (defaults for what is missing; a missing section reads
    // as a disabled group) and appends it to groups, reporting as ReadConfig does.
    void ReadGroup(const std::string& name, TCalcGroups& groups);

    // Writes "Calc" and every group section, then puts the file on disk in one atomic
    // replacement. True when it is on disk. An error is logged as "Error 1600: " + its text
    // (for a full disk or a read-only folder: that the file keeps its previous content) and
    // the result is false; the file on disk then keeps its previous content whole.
    bool WriteConfig(const TConfigSettings& settings, const TCalcGroups& groups);
    // Writes the keys of the group's section, in memory (WriteConfig puts it on disk). A key
    // whose line already reads as the group's value keeps its text, so that what was written
    // by hand (Enabled=7, a names list longer than its values list) survives unchanged
    // groups; a group whose section is missing and that still reads as such writes nothing.
    void WriteGroup(const TCalcGroupItem& group);

    // "Left", "Top", "Width", "Height" of "Windows Settings", each defaulting to current's.
    // current itself when the file is not open.
    TWindowPlacement ReadWindowPlacement(const TWindowPlacement& current) const;
    // Writes the placement, puts the file on disk and closes it (closed even on an error,
    // which is raised as EIniFileError).
    void WriteWindowPlacement(const TWindowPlacement& placement);

    // Puts pending writes on disk and closes the file; raises EIniFileError on a failed write
    // (the file is closed all the same).
    void CloseConfig();

  private:
    TIniFile& Ini() const;  // raises the open error when the file is not open
    void Log(const std::string& text) const;
    // "Error 1600: OVCalc.OVG line 7: text" (no line for the file as a whole).
    void Say(std::size_t line, const std::string& text) const;
    // A finding of the settings or the groups: said while fewer than the most shown were,
    // counted otherwise.
    void Report(std::size_t line, const std::string& text) const;
    // The one line for the findings counted and not said.
    void ReportHeldFindings() const;
    void ReportFileFindings(const TIniFile& ini) const;
    void ReadSettings(const TIniFile& ini, TConfigSettings& settings);
    void ReadGroup(const std::string& name, TCalcGroups& groups, bool report);
    void CheckGroup(const TIniFile& ini, const TCalcGroupItem& group) const;
    void WriteSettings(TIniFile& ini, const TConfigSettings& settings);

    TLogStatusProc logStatus_;
    TFormatSettings fs_;
    std::filesystem::path path_;
    std::unique_ptr<TIniFile> ini_;  // null while closed
    std::string openError_;          // why the last open failed
    // The delay used instead of a ScheduleDelay line that was refused; while the delay is
    // still that one, the line is kept as written.
    std::optional<double> refusedDelayInUse_;
    // A file with thousands of faults must not flood the status list, nor hold up the start
    // while it is written: so many of each kind of finding are said, the rest counted.
    std::size_t mostShownFindings_ = MostShownFindings;
    mutable std::size_t shownFindings_ = 0;  // said in this read
    mutable std::size_t heldFindings_ = 0;   // counted in this read, not said yet
};

}  // namespace ov
