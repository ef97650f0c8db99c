// Where the programs of OV Calc keep their files. Run from a folder of its own (a build, an
// unpacked copy) a program keeps its configuration beside itself, as it always has; installed
// (its folder not writable, or the installed layout with the help file under share/doc) it
// keeps it in the user's configuration folder. The help file is looked up beside the program,
// then in the installed documentation folder.
#pragma once

#include <filesystem>
#include <string_view>

namespace ov {

// The folder of the installed help file relative to the programs' folder.
inline constexpr std::string_view InstalledDocFolder = "../share/doc/ovcalc";

// exeFolder when it is writable and no installed layout; otherwise $XDG_CONFIG_HOME/ovcalc
// (default $HOME/.config/ovcalc), created when missing (a failure is left to the first write).
std::filesystem::path ConfigFolder(const std::filesystem::path& exeFolder);

// name beside the program, else in InstalledDocFolder, else in docFolder (the documentation
// folder the build was made for; may be empty); the path beside the program when none exists.
std::filesystem::path FindHelpFile(const std::filesystem::path& exeFolder, std::string_view name,
                                   const std::filesystem::path& docFolder = {});

}  // namespace ov
