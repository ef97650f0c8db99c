// The programs' configuration folder and help file.
#include "util/ProgramFolders.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace ov {
namespace {

bool IsFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

std::filesystem::path ConfigFolder(const std::filesystem::path& exeFolder) {
    // The installed layout counts even where the folder is writable (root, a prefix in the
    // user's home): configuration never goes among installed programs.
    const bool installed = !IsFile(exeFolder / "OVCalc.html") &&
                           IsFile(exeFolder / InstalledDocFolder / "OVCalc.html");
    if (!installed && ::access(exeFolder.c_str(), W_OK) == 0) return exeFolder;

    std::filesystem::path base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (xdg != nullptr && *xdg == '/') {
        base = xdg;
    } else if (home != nullptr && *home != '\0') {
        base = std::filesystem::path(home) / ".config";
    } else {
        base = "/tmp";
    }
    std::filesystem::path folder = base / "ovcalc";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

std::filesystem::path FindHelpFile(const std::filesystem::path& exeFolder, std::string_view name,
                                   const std::filesystem::path& docFolder) {
    const std::filesystem::path beside = exeFolder / name;
    if (IsFile(beside)) return beside;
    const std::filesystem::path installed =
        (exeFolder / InstalledDocFolder / name).lexically_normal();
    if (IsFile(installed)) return installed;
    if (!docFolder.empty() && IsFile(docFolder / name)) return docFolder / name;
    return beside;
}

}  // namespace ov
