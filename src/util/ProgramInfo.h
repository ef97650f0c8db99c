// What every program of OV Calc says about itself on its command line: the version of the
// build (the CMake project's, compiled in here once; the about box shows the same), and the
// conventions all of them share: --version, and a usage error told on standard error with the
// exit status 2.
#pragma once

#include <string>
#include <string_view>

namespace ov {

// The project version, "1.0.0".
std::string_view ProgramVersion();
// The project version with its build number, the fourth part (0 when the project gives none):
// "1.0.0.0".
std::string_view FileVersion();

// The exit status of a usage error: an unknown option, a missing or bad argument.
inline constexpr int ExitUsage = 2;

// The answer to --version: "PROG (OV Calc) 1.0.0" and a line on what PROG belongs to.
std::string VersionText(std::string_view program);

// Tells a usage error on standard error, "PROG: what" and "Try 'PROG --help'.", and returns
// ExitUsage. helpCommand names a command with help of its own instead ("ovclient watch").
int UsageError(std::string_view program, std::string_view what, std::string_view helpCommand = {});

}  // namespace ov
