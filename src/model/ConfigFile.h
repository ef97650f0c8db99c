// The program's configuration file "OVCalc.OVG": the settings of section "Calc", one section
// per calculation group and the main window's placement. Read once at start, written whole
// at shutdown; everything else in the file is kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "model/CalcGroups.h"
#include "util/FormatSettings.h"
#include "util/IniFile.h"

namespace ov {

// The status log of the main window (its LogStatus): one line of text for the user.
using TLogStatusProc = std::function<void(const std::string& text)>;

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
    // that error instead of replacing a file they never saw.
    void OpenConfig(const std::filesystem::path& folder);
    // The same with the file's full path.
    void OpenConfigFile(const std::filesystem::path& file);
    bool IsOpen() const { return ini_ != nullptr; }
    // The path opened last (empty before OpenConfig).
    const std::filesystem::path& FilePath() const { return path_; }

    // Reads LogDetail (default 0), ScheduleDelay (default its current value) and every group
    // named in "GroupNames", appended to groups in list order; then logs "Startup parameters
    // loaded.". An error is logged as "Error 1600: " + its text; groups read so far stay.
    void ReadConfig(TConfigSettings& settings, TCalcGroups& groups);
    // Reads section name as a group (defaults for what is missing) and appends it to groups.
    void ReadGroup(const std::string& name, TCalcGroups& groups);

    // Writes "Calc" and every group section, then puts the file on disk in one atomic
    // replacement. An error is logged as "Error 1600: " + its text; the file on disk then
    // keeps its previous content whole.
    void WriteConfig(const TConfigSettings& settings, const TCalcGroups& groups);
    // Writes every key of the group's section, in memory (WriteConfig puts it on disk).
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

    TLogStatusProc logStatus_;
    TFormatSettings fs_;
    std::filesystem::path path_;
    std::unique_ptr<TIniFile> ini_;  // null while closed
    std::string openError_;          // why the last open failed
};

}  // namespace ov
