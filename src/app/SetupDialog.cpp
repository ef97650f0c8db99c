// The stand-in for the group setup dialog.
#include "app/SetupDialog.h"

#include <QMessageBox>

namespace ov {
namespace {

class TNoSetupDialog : public ISetupDialog {
public:
    explicit TNoSetupDialog(QWidget* parent) : parent_(parent) {}
    bool Execute(TCalcGroups&) override {
        QMessageBox::information(
            parent_, "Edit Setup Parameters",
            "Editing the calculation groups in OV Calc is not available yet.\n\n"
            "The groups are kept in the configuration file OVCalc.OVG beside the program: "
            "close OV Calc, edit the file, and start OV Calc again.");
        return false;
    }

private:
    QWidget* parent_;
};

}  // namespace

std::unique_ptr<ISetupDialog> MakeDefaultSetupDialog(QWidget* parent) {
    return std::make_unique<TNoSetupDialog>(parent);
}

}  // namespace ov
