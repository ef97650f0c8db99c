// "ovtool catalogue": the station catalogue of a suite database as the setup dialogs build
// it, for checking a filter file or a new database. Its usage and arguments; the database side
// is in catalogue/, the one part of ovtool on QtSql.
#include <charconv>
#include <ostream>

#include "OvTool.h"
#include "catalogue/CataloguePrint.h"
#include "suite/CatalogueViews.h"

namespace ovtool {

const std::string& CatalogueCommandUsage() {
    static const std::string usage =
        "Usage: ovtool catalogue [--filter FILE] [--view MODE] [--tree station|picker] DSN\n"
        "                        [USER [PASSWORD]]\n\n"
        "Connects to the suite database of the ODBC data source DSN (or an ODBC connection\n"
        "string) as USER with PASSWORD, the way OV Calc's setup dialog does, and prints the SQL\n"
        "text of the station catalogue query, then the catalogue tree of a view: one node a\n"
        "line in tree order, two blanks per level below the root, the node's text and its icon\n"
        "number in brackets.\n\n"
        "  --filter FILE   a filter file (.flt) whose SQL condition narrows the catalogue; a\n"
        "                  file that cannot be read is no filter.\n"
        "  --view MODE     the view, 3 to 12 (default 3):\n";
    static const std::string full = [] {
        std::string text = usage;
        for (const ov::TCatalogueView& v : ov::CatalogueViews()) {
            text += "                    " + std::to_string(v.Mode) + (v.Mode < 10 ? "  " : " ") +
                    std::string(v.Caption) + "\n";
        }
        text +=
            "  --tree station  the setup dialog's tree of stations (default);\n"
            "  --tree picker   the station/sensor picker's tree.\n\n"
            "Exit status: 0; 1 with the database's message on standard error when the\n"
            "connection or the catalogue query fails (a filter that is not valid SQL); 2 for a\n"
            "usage error.\n";
        return text;
    }();
    return full;
}

int CatalogueCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TParsedArgs parsed;
    if (!ParseArgs(args, {"--filter", "--view", "--tree"}, {}, parsed, err, "catalogue")) return 2;
    if (parsed.Help) {
        out << CatalogueCommandUsage();
        return 0;
    }
    TCatalogueRequest request;
    for (const auto& [name, value] : parsed.Options) {
        if (name == "--filter") {
            request.Filter = value;
        } else if (name == "--view") {
            auto [end, ec] =
                std::from_chars(value.data(), value.data() + value.size(), request.Mode);
            if (ec != std::errc() || end != value.data() + value.size() ||
                !ov::ValidSortMode(request.Mode)) {
                return UsageError(err, "catalogue",
                                  "--view takes a view number from 3 to 12, not '" + value + "'");
            }
        } else if (name == "--tree") {
            if (value == "station") {
                request.Profile = ov::TLevelProfile::lpStationTree;
            } else if (value == "picker") {
                request.Profile = ov::TLevelProfile::lpStationSensorTree;
            } else {
                return UsageError(err, "catalogue",
                                  "--tree is station or picker, not '" + value + "'");
            }
        }
    }
    if (parsed.Positional.empty()) return UsageError(err, "catalogue", "no data source given");
    if (parsed.Positional.size() > 3)
        return UsageError(err, "catalogue", "unexpected argument '" + parsed.Positional[3] + "'");
    const auto& p = parsed.Positional;
    request.Source = p[0];
    if (p.size() > 1) request.User = p[1];
    if (p.size() > 2) request.Password = p[2];
    return PrintCatalogue(request, out, err);
}

}  // namespace ovtool
