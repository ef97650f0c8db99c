// The setup dialog behind the main window's seam.
#include "app/SetupDialog.h"

namespace ov {
namespace {

class TSetupDialog : public ISetupDialog {
  public:
    TSetupDialog(QWidget* parent, TSetupContext context)
        : parent_(parent), context_(std::move(context)) {}
    bool Execute(TCalcGroups& groups) override {
        TfrmOptionSetup form(parent_, groups, context_);
        form.exec();
        return form.SetupSaved();
    }

  private:
    QWidget* parent_;
    TSetupContext context_;
};

}  // namespace

std::unique_ptr<ISetupDialog> MakeSetupDialog(QWidget* parent, TSetupContext context) {
    return std::make_unique<TSetupDialog>(parent, std::move(context));
}

}  // namespace ov
