// The calculation group setup dialog as the main window sees it: shown modally on the groups,
// it tells whether they were saved at least once.
#pragma once

#include <functional>
#include <memory>

#include "model/CalcGroups.h"
#include "ui/Setup.h"

class QWidget;

namespace ov {

class ISetupDialog {
  public:
    virtual ~ISetupDialog() = default;
    // Shows the dialog modally on groups (edited in place); true when they were saved at
    // least once while it was open.
    virtual bool Execute(TCalcGroups& groups) = 0;
};

using TSetupDialogFactory = std::function<std::unique_ptr<ISetupDialog>(QWidget* parent)>;

// The setup dialog (TfrmOptionSetup) over parent with what it works with: a new dialog for
// each showing, shown modally and freed when it has closed.
std::unique_ptr<ISetupDialog> MakeSetupDialog(QWidget* parent, TSetupContext context);

}  // namespace ov
