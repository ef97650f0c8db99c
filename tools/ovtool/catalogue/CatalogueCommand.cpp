// "ovtool catalogue": the station catalogue of a suite database as the setup dialogs build
// it, for checking a filter file or a new database. The one ovtool command on QtSql.
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QString>
#include <charconv>
#include <iostream>
#include <memory>

#include "../OvTool.h"
#include "database/CatalogueQueries.h"
#include "database/DatabaseConnection.h"
#include "suite/CatalogueSql.h"
#include "suite/CatalogueTextTree.h"
#include "util/TextCodec.h"

namespace ovtool {

namespace {

// The database messages, on standard error instead of message boxes.
class TStreamBoxes : public ov::IMessageBoxes {
  public:
    explicit TStreamBoxes(std::ostream& err) : err_(err) {}
    void ShowError(const QString& text) override {
        err_ << text.toStdString() << "\n";
        shown = true;
    }
    void ShowInformation(const QString& text) override { err_ << text.toStdString() << "\n"; }
    bool shown = false;

  private:
    std::ostream& err_;
};

}  // namespace

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
    std::string filter;
    ov::TSortMode mode = ov::smStations;
    auto profile = ov::TLevelProfile::lpStationTree;
    for (const auto& [name, value] : parsed.Options) {
        if (name == "--filter") {
            filter = value;
        } else if (name == "--view") {
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), mode);
            if (ec != std::errc() || end != value.data() + value.size() ||
                !ov::ValidSortMode(mode)) {
                return UsageError(err, "catalogue",
                                  "--view takes a view number from 3 to 12, not '" + value + "'");
            }
        } else if (name == "--tree") {
            if (value == "station") {
                profile = ov::TLevelProfile::lpStationTree;
            } else if (value == "picker") {
                profile = ov::TLevelProfile::lpStationSensorTree;
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

    // QtSql loads its ODBC driver through the application object.
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "ovtool";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
    // The command reports the database's messages itself, once.
    QLoggingCategory::setFilterRules(QStringLiteral("ovcalc.database.warning=false"));

    TStreamBoxes boxes(err);
    ov::TDatabaseConnection connection(boxes);
    connection.SetLogin(p[0], p.size() > 1 ? p[1] : "", p.size() > 2 ? p[2] : "");
    if (!connection.ConnectDatabase()) {
        if (!boxes.shown) err << "ovtool catalogue: no data source given\n";
        return 1;
    }
    out << ov::Latin1ToUtf8(ov::CatalogueSqlForFilterFile(filter)) << "\n";
    ov::TStationSensorCache catalogue;
    QString error;
    const bool loaded = ov::LoadStationCatalogue(connection, catalogue, filter, &error);
    ov::TCatalogueTextTree tree;
    ov::BuildCatalogueTree(tree, catalogue, mode, profile);
    out << ov::Latin1ToUtf8(tree.Lines());
    out.flush();
    if (!loaded) {
        err << error.toStdString() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace ovtool
