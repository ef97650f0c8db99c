// dialogshot's pictures of the group setup dialog and the station/sensor picker, filled from the
// example groups on the example suite database.
#include "SetupShots.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTableWidget>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "database/DatabaseConnection.h"
#include "model/CalcGroups.h"
#include "model/ConfigFile.h"
#include "suite/SetupParams.h"
#include "ui/DialogBoxes.h"
#include "ui/SelectOneStationSensor.h"
#include "ui/Setup.h"

namespace {

// Boxes would stop the pictures: their texts go to standard error; questions answer No.
class TPrintedBoxes : public ov::IDialogBoxes {
  public:
    void ShowError(const QString& text) override {
        std::fprintf(stderr, "dialogshot: %s\n", text.toLocal8Bit().constData());
        ++Errors;
    }
    void ShowInformation(const QString& text) override { ShowError(text); }
    ov::TBoxAnswer AskYesNoCancel(const QString&) override { return ov::TBoxAnswer::baNo; }
    bool ConfirmOkCancel(const QString&) override { return false; }
    int Errors = 0;
};

// Serves events until done holds, at most 5 s.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer limit;
    limit.start();
    while (!done()) {
        if (limit.elapsed() > 5000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

bool Save(QWidget& widget, const std::filesystem::path& file) {
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    const bool saved = widget.grab().save(QString::fromStdString(file.string()), "PNG");
    if (!saved) std::fprintf(stderr, "dialogshot: cannot write %s\n", file.c_str());
    return saved;
}

// Chooses an item as the user would (the dialog acts on the user's choices only).
void Choose(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    box->setCurrentIndex(index);
    Q_EMIT box->activated(index);
}

}  // namespace

int SetupPictures(const char* examples, const char* dsn, const char* dir) {
    const std::filesystem::path out = dir;
    std::error_code ec;
    std::filesystem::create_directories(out, ec);

    ov::TConfigFile config([](const std::string& line) {
        if (line.rfind("Error", 0) == 0) std::fprintf(stderr, "dialogshot: %s\n", line.c_str());
    });
    config.OpenConfigFile(std::filesystem::path(examples) / "OVCalc.OVG");
    ov::TConfigSettings settings;
    ov::TCalcGroups groups;
    config.ReadConfig(settings, groups);
    if (groups.Count() == 0) return 1;

    ov::TDataServerSetup setup;
    setup.DatabaseAlias = dsn;
    setup.StorageOption = ov::soPostgres;
    TPrintedBoxes boxes;
    ov::TDatabaseConnection connection(boxes);
    ov::TfrmSelectOneStationSensor picker;
    ov::TfrmOptionSetup form(
        nullptr, groups,
        ov::TSetupContext{
            .Connection = connection, .Boxes = boxes, .Picker = picker, .DataServer = setup});
    form.show();
    if (!WaitFor([&] { return form.isVisible(); }) || boxes.Errors) return 1;
    bool ok = true;

    // The first group, RIVER1's discharge, with a similar station and the sensor list open on
    // its variable (the list shows over the focused cell of an active window).
    form.AddSimilarStation("MILL3", nullptr);
    form.activateWindow();
    if (!WaitFor([&] { return form.isActiveWindow(); })) return 1;
    form.grdVariables->setFocus();
    form.grdVariables->setCurrentCell(0, 1);
    form.UpdateActions();
    ok = Save(form, out / "setup-dialog.png") && ok;

    // The multiple-station group of the example.
    form.chkEnable->setFocus();
    Choose(form.cbxGroup, "5");
    ok = Save(form, out / "setup-multiple.png") && ok;

    // The picker in the stations view with a sensor of RIVER2 chosen.
    picker.show();
    if (!WaitFor([&] { return picker.isVisible(); })) return 1;
    const auto stations = picker.tvwLeftTree->findItems("RIVER2", Qt::MatchExactly);
    if (!stations.isEmpty() && stations[0]->childCount() > 0) {
        picker.tvwLeftTree->setCurrentItem(stations[0]->child(stations[0]->childCount() - 1));
        picker.tvwLeftTree->scrollToItem(stations[0], QAbstractItemView::PositionAtTop);
    }
    ok = Save(picker, out / "picker.png") && ok;
    picker.hide();
    form.done(0);
    return ok && boxes.Errors == 0 ? 0 : 1;
}
