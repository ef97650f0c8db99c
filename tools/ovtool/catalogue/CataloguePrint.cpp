// "ovtool catalogue" on the suite database: the station catalogue as the setup dialogs build
// it. The one part of ovtool on QtSql.
#include "CataloguePrint.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QString>
#include <iostream>
#include <memory>

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

int PrintCatalogue(const TCatalogueRequest& request, std::ostream& out, std::ostream& err) {
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
    connection.SetLogin(request.Source, request.User, request.Password);
    if (!connection.ConnectDatabase()) {
        if (!boxes.shown) err << "ovtool catalogue: no data source given\n";
        return 1;
    }
    out << ov::Latin1ToUtf8(ov::CatalogueSqlForFilterFile(request.Filter)) << "\n";
    ov::TStationSensorCache catalogue;
    QString error;
    const bool loaded = ov::LoadStationCatalogue(connection, catalogue, request.Filter, &error);
    ov::TCatalogueTextTree tree;
    ov::BuildCatalogueTree(tree, catalogue, request.Mode, request.Profile);
    out << ov::Latin1ToUtf8(tree.Lines());
    out.flush();
    if (!loaded) {
        err << error.toStdString() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace ovtool
