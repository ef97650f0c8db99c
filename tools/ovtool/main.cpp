// ovtool: offline utilities for the people who set OV Calc up, built on the engine alone.
#include <iostream>
#include <string>
#include <vector>

#include "OvTool.h"

namespace ovtool {

namespace {

void PrintUsage(std::ostream& out) {
    out << "Usage: ovtool COMMAND [OPTIONS] [ARGUMENTS]\n\n"
           "Offline utilities for setting up OV Calc.\n\nCommands:\n";
    for (const TCommand& c : Commands()) {
        out << "  " << c.Name << std::string(c.Name.size() < 10 ? 10 - c.Name.size() : 1, ' ')
            << c.Summary << "\n";
    }
    out << "\nRun 'ovtool COMMAND --help' for the command's own options.\n";
}

}  // namespace

bool ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
               const std::vector<std::string>& flagOptions, TParsedArgs& parsed, std::ostream& err,
               const std::string& command) {
    auto isIn = [](const std::vector<std::string>& v, const std::string& s) {
        for (const auto& x : v)
            if (x == s) return true;
        return false;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && parsed.Positional.empty()) {
            if (a == "--") {
                optionsEnded = true;
                continue;
            }
            if (a == "--help" || a == "-h") {
                parsed.Help = true;
                continue;
            }
            std::string name = a, value;
            bool inlineValue = false;
            if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
                inlineValue = true;
            }
            if (isIn(valueOptions, name)) {
                if (!inlineValue) {
                    if (i + 1 >= args.size()) {
                        err << "ovtool " << command << ": option " << name << " needs a value\n";
                        return false;
                    }
                    value = args[++i];
                }
                parsed.Options.emplace_back(name, value);
                continue;
            }
            if (isIn(flagOptions, a)) {
                parsed.Options.emplace_back(a, "");
                continue;
            }
        }
        parsed.Positional.push_back(a);
    }
    return true;
}

const std::vector<TCommand>& Commands() {
    static const std::vector<TCommand> commands = {
        {"timetag", "convert time tags to date-time texts and back",
         "Usage: ovtool timetag VALUE ...\n\n"
         "For each VALUE, one line:\n"
         "  a number (a time tag: seconds since 12/31/1984 00:00:00 local time) is printed as\n"
         "  its date-time text, month/day/year hours:minutes:seconds with the locale's\n"
         "  separators;\n"
         "  a date-time text in that form is printed as its time tag.\n"
         "A value that is neither is reported on standard error and the exit status is 1.\n",
         TimeTagCommand},
    };
    return commands;
}

}  // namespace ovtool

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        ovtool::PrintUsage(std::cerr);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        ovtool::PrintUsage(std::cout);
        return 0;
    }
    for (const ovtool::TCommand& c : ovtool::Commands()) {
        if (c.Name == args[0]) {
            std::vector<std::string> rest(args.begin() + 1, args.end());
            return c.Run(rest, std::cout, std::cerr);
        }
    }
    std::cerr << "ovtool: unknown command '" << args[0] << "'\n";
    ovtool::PrintUsage(std::cerr);
    return 2;
}
