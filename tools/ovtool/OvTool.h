// Shared pieces of ovtool's subcommands: the command table and argument splitting.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace ov::rating {
class TTables;
}

namespace ovtool {

struct TCommand {
    std::string Name;
    std::string Summary;
    std::string Usage;  // full --help text
    std::function<int(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)>
        Run;
};

// A usage error of command ("" for ovtool itself): "ovtool COMMAND: what" and
// "Try 'ovtool COMMAND --help'." on err; the exit status 2.
int UsageError(std::ostream& err, const std::string& command, const std::string& what);

// Every subcommand, in the order --help lists them.
const std::vector<TCommand>& Commands();
// The --help text of a subcommand.
const std::string& CommandUsage(const std::string& name);

// Options come first and "--" ends them; an argument that begins with "-" but is not one of
// the known options (an equation such as -2^2, a stage such as -0.5) is positional.
struct TParsedArgs {
    std::vector<std::pair<std::string, std::string>> Options;  // name, value ("" for flags)
    std::vector<std::string> Positional;
    bool Help = false;
};
// valueOptions take the next argument as their value ("--tables DIR" or "--tables=DIR").
// With optionsAnywhere, options are also known after the first other argument (a command
// whose arguments are file names). Returns false and writes a message to err on a missing
// option value.
bool ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
               const std::vector<std::string>& flagOptions, TParsedArgs& parsed, std::ostream& err,
               const std::string& command, bool optionsAnywhere = false);

// A time tag given on the command line: a whole number from 0, or a date-time text as "%j"
// reads it (the locale's separators) and nothing after it. False when it is neither.
bool ReadTimeArgument(const std::string& text, std::int32_t& tag);
// The forms ReadTimeArgument takes, for a message: "a whole number, or month/day/year ...".
std::string TimeArgumentForm();

int TimeTagCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int EvalCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int VarsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int TableCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// Why table name gives its stages back unchanged (no file, no kind line, too few points);
// empty when it is usable.
std::string WhyTableUnusable(ov::rating::TTables& tables, const std::string& name);
const std::string& TableCommandUsage();
int CheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int ReplayCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
const std::string& ReplayCommandUsage();
#ifdef OV_TOOL_CATALOGUE
// The station catalogue of a suite database (catalogue/, on QtSql).
int CatalogueCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
const std::string& CatalogueCommandUsage();
#endif

}  // namespace ovtool
