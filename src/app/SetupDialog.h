// The calculation group setup dialog as the main window sees it: shown modally on the groups,
// it tells whether they were saved at least once.
#pragma once

#include <functional>
#include <memory>

#include "model/CalcGroups.h"

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

// Until the group editor exists: a message that groups are edited in OVCalc.OVG; never saves.
std::unique_ptr<ISetupDialog> MakeDefaultSetupDialog(QWidget* parent);

}  // namespace ov
