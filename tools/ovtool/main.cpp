// ovtool: offline utilities for the people who set OV Calc up, built on the engine alone (the
// catalogue command, in catalogue/, also on QtSql).
#include <iostream>
#include <string>
#include <vector>

#include "OvTool.h"
#include "util/ProgramInfo.h"

namespace ovtool {

namespace {

void PrintUsage(std::ostream& out) {
    out << "Usage: ovtool COMMAND [OPTIONS] [ARGUMENTS]\n"
           "       ovtool --help | --version\n\n"
           "Offline utilities for setting up OV Calc.\n\nCommands:\n";
    for (const TCommand& c : Commands()) {
        out << "  " << c.Name << std::string(c.Name.size() < 10 ? 10 - c.Name.size() : 1, ' ')
            << c.Summary << "\n";
    }
    out << "\nRun 'ovtool COMMAND --help' for the command's own options.\n\n"
           "Exit status: 0 on success; 1 when the command found an error (its help says which);\n"
           "2 for a usage error (an unknown command or option, a missing or bad argument) or a\n"
           "file that cannot be read.\n";
}

}  // namespace

int UsageError(std::ostream& err, const std::string& command, const std::string& what) {
    const std::string program = command.empty() ? "ovtool" : "ovtool " + command;
    err << program << ": " << what << "\nTry '" << program << " --help'.\n";
    return ov::ExitUsage;
}

bool ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
               const std::vector<std::string>& flagOptions, TParsedArgs& parsed, std::ostream& err,
               const std::string& command, bool optionsAnywhere) {
    auto isIn = [](const std::vector<std::string>& v, const std::string& s) {
        for (const auto& x : v)
            if (x == s) return true;
        return false;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnded && (optionsAnywhere || parsed.Positional.empty())) {
            if (a == "--") {
                optionsEnded = true;
                continue;
            }
            // Only the long form: "-h" is a value like any other that begins with "-" (the
            // equation -H, a table named -h).
            if (a == "--help") {
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
                        UsageError(err, command, "option " + name + " needs a value");
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
         "Time tags run from 0 (12/31/1984 00:00:00) to 2147483647 (01/18/2053 03:14:07).\n"
         "A value that is neither, or lies outside that range, is reported on standard error\n"
         "and the exit status is 1.\n",
         TimeTagCommand},
        {"eval", "evaluate an equation as the engine does",
         "Usage: ovtool eval [--tables DIR] [--setup FILE] EQUATION [NAME=VALUE ...]\n\n"
         "Evaluates EQUATION the way OV Calc computes a calculation group and prints the\n"
         "result as OV Calc writes it in a result record.\n\n"
         "  NAME=VALUE     binds variable NAME to the value (\".\" is the decimal separator),\n"
         "                 as a multiple-station group would bind it to station OVTOOL,\n"
         "                 sensor NAME, with the value cached at the current time.\n"
         "  --tables DIR   folder of the rating-table files (.TBL) for TABLE and DBTABLE; a\n"
         "                 table that is not there is said on standard error, and its stage\n"
         "                 passes through unchanged, as in OV Calc.\n"
         "  --setup FILE   INI file whose section [Params] answers the setup keys that the\n"
         "                 attribute functions ask, e.g. SENSOR:OVTOOL:H,SHIFT=0.25;\n"
         "                 keys not listed there have no answer (the attribute is 0).\n\n"
         "Options come first; \"--\" ends them, and an argument that begins with \"-\" but is\n"
         "not an option (such as -2^2, or -h for -H) is the equation; only --help asks for\n"
         "this text.\n"
         "Exit status: 0 with the result on standard output; 1 with OV Calc's error message\n"
         "on standard error; 2 for a usage error.\n",
         EvalCommand},
        {"vars", "list the variables of an equation",
         "Usage: ovtool vars EQUATION\n\n"
         "Checks EQUATION as the setup dialog does and prints the names of the variables it\n"
         "uses, one per line, in ascending order without regard to case, each once. The\n"
         "table names of TABLE and the names given to LSTVAL are not variables to bind.\n"
         "An EQUATION that begins with \"-\" (such as -h for -H) is the equation; only\n"
         "--help asks for this text.\n"
         "Exit status: 0, or 1 with the check's error message on standard error.\n",
         VarsCommand},
        {"table", "evaluate a rating table at given stages", TableCommandUsage(), TableCommand},
        {"check", "check the calculation groups of a configuration file",
         "Usage: ovtool check [--setup SETTINGS] [--shards N] FILE  (options may also follow\n"
         "       FILE)\n\n"
         "Reads FILE, a configuration file such as OVCalc.OVG, and reports for every\n"
         "calculation group, one line per finding:\n"
         "  errors:   an equation that fails the check (with OV Calc's message), a variable\n"
         "            that is used but not bound or bound to nothing, a multiple-station\n"
         "            trigger that is not one of the bound variables, an incomplete output;\n"
         "            with --setup, a rating table the group reads that is not there;\n"
         "            with --shards N, a multiple-station group whose stations fall to\n"
         "            different shards when N engines split the network by station (as\n"
         "            ovbridge --shard K/N does: the name, ASCII letters in upper case,\n"
         "            hashed with 32-bit FNV-1a, modulo N);\n"
         "  warnings: a binding the equation does not use, and the equations that compute\n"
         "            something other than they seem to: a sign before a variable or\n"
         "            function (2*-A is 0), text after a complete expression (A B, A=B=C,\n"
         "            a tab), a blank before \"^\"; with --setup, a rating table that is\n"
         "            there but cannot be used, and a DBTABLE whose sensor has no table.\n\n"
         "  --setup SETTINGS  the setup server's settings file (ovsetup's, such as\n"
         "                    OVSetup.ini): the rating tables of TABLE, and of DBTABLE through\n"
         "                    the sensors' RatingTable answers, are looked for in its\n"
         "                    TableDirectory (a relative one counts from the settings file's\n"
         "                    folder, as ovsetup serves it), without regard to letter case.\n"
         "  --shards N        the number of engines that split the network by station\n"
         "                    (1 to 1024; 1, the default, checks no shards).\n\n"
         "The last line counts the groups, errors and warnings.\n"
         "Exit status: 0 when no group has an error, 1 otherwise, 2 for a usage error or a\n"
         "file that cannot be read.\n",
         CheckCommand},
        {"replay", "run archived data lines through the calculations again", ReplayCommandUsage(),
         ReplayCommand},
#ifdef OV_TOOL_CATALOGUE
        {"catalogue", "print the station catalogue of a suite database", CatalogueCommandUsage(),
         CatalogueCommand},
#endif
    };
    return commands;
}

const std::string& CommandUsage(const std::string& name) {
    static const std::string none;
    for (const TCommand& c : Commands())
        if (c.Name == name) return c.Usage;
    return none;
}

}  // namespace ovtool

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return ovtool::UsageError(std::cerr, "", "a command is needed");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        ovtool::PrintUsage(std::cout);
        return 0;
    }
    if (args[0] == "--version") {
        std::cout << ov::VersionText("ovtool");
        return 0;
    }
    for (const ovtool::TCommand& c : ovtool::Commands()) {
        if (c.Name == args[0]) {
            std::vector<std::string> rest(args.begin() + 1, args.end());
            return c.Run(rest, std::cout, std::cerr);
        }
    }
    if (args[0].size() > 1 && args[0][0] == '-')
        return ovtool::UsageError(std::cerr, "", "unknown option '" + args[0] + "'");
    return ovtool::UsageError(std::cerr, "", "unknown command '" + args[0] + "'");
}
