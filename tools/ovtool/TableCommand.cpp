// ovtool table: the value of a rating table at given stages, as an equation's TABLE() gives
// it, with a warning when the table cannot be used.
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>

#include "OvTool.h"
#include "calc/RatingTables.h"
#include "util/Exception.h"
#include "util/FloatText.h"
#include "util/FormatSettings.h"

namespace ovtool {

// The --help text of "ovtool table"; its summary is "evaluate a rating table at given stages".
const std::string& TableCommandUsage() {
    static const std::string usage =
        "Usage: ovtool table [--tables DIR] NAME X [X ...]\n\n"
        "Prints the value of rating table NAME at each stage X, one per line, as OV Calc\n"
        "computes TABLE(NAME, X).\n\n"
        "Options (before NAME; \"--\" ends them):\n"
        "  --tables DIR  the rating-table folder (the general setup's table folder);\n"
        "                without it, the current folder\n"
        "  --help        this text\n\n"
        "The table is the file NAME.TBL in DIR, found without regard to letter case. A NAME\n"
        "with a \".\" of its own gets no \".TBL\"; a NAME holding \"/\" or \"\\\" is a path and\n"
        "DIR is not used.\n"
        "Each X is a number with \".\" as the decimal separator, such as 1.5 or -0.5; the\n"
        "values are printed with the locale's decimal separator.\n\n"
        "A table that cannot be used (no file, no kind line, a kind other than LINEAR,\n"
        "SEMILOGY, SEMILOGX, LOGLOG, GSLINEAR or GSLOGLOG, fewer than two valid points)\n"
        "gives every X back unchanged, as OV Calc does; a warning on standard error says\n"
        "why.\n\n"
        "Exit status: 0; 1 when an X is not a number (the other Xs are still printed);\n"
        "2 for a usage error.\n";
    return usage;
}

std::string WhyTableUnusable(ov::rating::TTables& tables, const std::string& name) {
    using namespace ov::rating;
    TTable* table = nullptr;
    const bool enoughPoints = tables.GetTable(name, table);
    if (enoughPoints && table->Interpolation != ikNone) return "";

    const std::string path = tables.TableFilePath(name);
    const std::optional<std::filesystem::path> found = FindFileIgnoringCase(path);
    const std::string file = found ? found->string() : path;
    if (table == nullptr) {
        if (!found) return "no rating table file " + path;
        if (!std::ifstream(*found, std::ios::binary)) return "cannot read " + file;
        return file + " has no kind line (it holds only empty lines and \";\" notes)";
    }
    if (table->Interpolation == ikNone)
        return "the kind line of " + file +
               " names none of LINEAR, SEMILOGY, SEMILOGX, LOGLOG, GSLINEAR, GSLOGLOG";
    const std::int32_t n = table->Points.Count();
    return file + " has " + (n == 0 ? std::string("no valid point") : "only one valid point") +
           "; a table needs two";
}

int TableCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TParsedArgs parsed;
    if (!ParseArgs(args, {"--tables"}, {}, parsed, err, "table")) return 2;
    if (parsed.Help) {
        out << TableCommandUsage();
        return 0;
    }
    std::string folder;
    for (const auto& [option, value] : parsed.Options)
        if (option == "--tables") folder = value;
    if (parsed.Positional.empty()) return UsageError(err, "table", "no table name given");
    if (parsed.Positional.size() < 2)
        return UsageError(err, "table", "no stage given for table " + parsed.Positional[0]);
    const std::string& name = parsed.Positional[0];

    try {
        ov::rating::TTables tables([folder] { return folder; });
        if (const std::string why = WhyTableUnusable(tables, name); !why.empty())
            err << "ovtool table: " << name << ": " << why << "; values pass through unchanged\n";

        const ov::TFormatSettings& fs = ov::LocaleFormatSettings();
        int status = 0;
        for (std::size_t i = 1; i < parsed.Positional.size(); ++i) {
            const std::string& text = parsed.Positional[i];
            double x = 0;
            if (!ov::TryDotTextToFloat(text, x)) {
                err << "ovtool table: '" << text << "' is not a number (a stage is written with "
                    << "\".\" as the decimal separator, such as 1.5)\n";
                status = 1;
                continue;
            }
            out << ov::FloatToText(tables.TableValue(name, x), fs) << "\n";
        }
        return status;
    } catch (const std::exception& e) {
        err << "ovtool table: " << name << ": " << e.what() << "\n";
        return 1;
    }
}

}  // namespace ovtool
