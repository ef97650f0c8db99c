// The programs' version and their usage errors.
#include "util/ProgramInfo.h"

#include <cstdio>

#ifndef OV_PROJECT_VERSION
#error "OV_PROJECT_VERSION comes from the CMake project (src/util/CMakeLists.txt)"
#endif
#ifndef OV_PROJECT_BUILD
#define OV_PROJECT_BUILD "0"
#endif

namespace ov {

std::string_view ProgramVersion() {
    return OV_PROJECT_VERSION;
}

std::string_view FileVersion() {
    return OV_PROJECT_VERSION "." OV_PROJECT_BUILD;
}

std::string VersionText(std::string_view program) {
    std::string text(program);
    text += " (OV Calc) ";
    text += ProgramVersion();
    text +=
        "\nPart of OV Calc, the calculation engine of the OV hydrological and meteorological\n"
        "data-collection suite.\n";
    return text;
}

int UsageError(std::string_view program, std::string_view what, std::string_view helpCommand) {
    const std::string p(program);
    const std::string w(what);
    const std::string h(helpCommand.empty() ? program : helpCommand);
    std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", p.c_str(), w.c_str(), h.c_str());
    return ExitUsage;
}

}  // namespace ov
