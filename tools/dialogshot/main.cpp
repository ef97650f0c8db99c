// dialogshot: pictures of OV Calc's dialogs on a suite database for the help file and the
// README, each filled as a user would fill it, written as PNG files. Not installed.
//   dialogshot filters DSN OUT.png     the filter dialog with a two-line filter saved as
//                                      cedar.flt and its preview
//   dialogshot setup EXAMPLES DSN DIR  the setup dialog on the example groups (two pictures)
//                                      and the station/sensor picker, in DIR (SetupShots.h)
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "SetupShots.h"
#include "database/DatabaseConnection.h"
#include "database/MessageBoxes.h"
#include "ui/FileDialogs.h"
#include "ui/FilterSelect.h"
#include "util/ProgramInfo.h"

namespace {

// The database's messages on standard error instead of in boxes.
class TStderrBoxes : public ov::IMessageBoxes {
  public:
    void ShowError(const QString& text) override {
        std::fprintf(stderr, "dialogshot: %s\n", text.toLocal8Bit().constData());
    }
    void ShowInformation(const QString& text) override { ShowError(text); }
};

// The file dialogs answer one name, relative to a scratch working folder.
class TOneFileDialogs : public ov::IFileDialogs {
  public:
    explicit TOneFileDialogs(QString name) : name_(std::move(name)) {}
    bool Execute(QWidget*, const ov::TFileDialogRequest&, QString& fileName) override {
        fileName = name_;
        return true;
    }

  private:
    QString name_;
};

constexpr const char* Usage =
    R"(Usage: dialogshot filters DSN OUT.png
       dialogshot setup EXAMPLES DSN DIR
       dialogshot --help | --version

Writes pictures of OV Calc's dialogs on the suite database of the ODBC data source DSN, each
filled as a user would fill it, as PNG files (scripts/screenshot.sh runs it; it is built
beside the programs but not installed):
  filters   the filter dialog with a two-line filter saved as cedar.flt and its preview,
            to OUT.png
  setup     the setup dialog on the example groups of the folder EXAMPLES (two pictures)
            and the station/sensor picker, into the folder DIR

Qt's options (-platform offscreen, ...) come first. Exit status: 0 when every picture was
written; 1 when the database cannot be reached or a picture not written; 2 for a usage
error.
)";

// Waits until the window has been laid out and painted, then writes its picture.
bool Save(QWidget& window, const char* file) {
    window.show();
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(file), "PNG")) {
        std::fprintf(stderr, "dialogshot: cannot write %s\n", file);
        return false;
    }
    return true;
}

void Add(ov::TfrmFilterSelect& dialog, const QString& column, int condition, const QString& value) {
    dialog.cboFilterItem->setCurrentIndex(dialog.cboFilterItem->findText(column));
    dialog.cboFilterCondition->setCurrentIndex(condition);
    dialog.cboFilterValue->setEditText(value);
    dialog.btnAdd->click();
}

int Filters(const char* dsn, const char* out) {
    TStderrBoxes boxes;
    QTemporaryDir scratch;
    if (!scratch.isValid() || !QDir::setCurrent(scratch.path())) return 1;
    TOneFileDialogs files(QStringLiteral("cedar.flt"));
    ov::TDatabaseConnection connection(boxes);
    connection.SetLogin(dsn, "", "");
    if (!connection.ConnectDatabase()) return 1;
    ov::TfrmFilterSelect dialog(nullptr, connection, boxes, files);
    Add(dialog, QStringLiteral("OV_SITES.BASIN"), 0, QStringLiteral("Cedar River"));
    Add(dialog, QStringLiteral("OV_SITES.PRIMARY_CHANNEL"), 1, QStringLiteral("22"));
    dialog.btnSave->click();
    dialog.btnExec->click();
    // The next comparison half composed.
    dialog.cboFilterItem->setCurrentIndex(
        dialog.cboFilterItem->findText(QStringLiteral("OV_SITES.CITY")));
    dialog.cboFilterCondition->setCurrentIndex(0);
    dialog.cboFilterValue->setEditText(QStringLiteral("Olathe"));
    return Save(dialog, out) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt looks for a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs(ov::VersionText("dialogshot").c_str(), stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);  // takes Qt's own options out of argv
    if (argc == 4 && std::strcmp(argv[1], "filters") == 0) return Filters(argv[2], argv[3]);
    if (argc == 5 && std::strcmp(argv[1], "setup") == 0)
        return SetupPictures(argv[2], argv[3], argv[4]);
    if (argc < 2) return ov::UsageError("dialogshot", "a picture to make is needed");
    if (argv[1][0] == '-')
        return ov::UsageError("dialogshot", std::string("unknown option '") + argv[1] + "'");
    if (std::strcmp(argv[1], "filters") == 0 || std::strcmp(argv[1], "setup") == 0)
        return ov::UsageError("dialogshot", std::string("wrong arguments for ") + argv[1]);
    return ov::UsageError("dialogshot", std::string("unknown picture '") + argv[1] + "'");
}
