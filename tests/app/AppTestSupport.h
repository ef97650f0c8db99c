// What the main-window tests share: a window built without the bus on a scratch folder, and
// the wait that keeps the event loop running (EventWait.h).
#pragma once

#include <QString>

#include "EventWait.h"
#include "ScratchFolder.h"
#include "app/CalcMain.h"

namespace ov::test {

// A window that reads and writes its files in folder and stays off the bus.
inline TCalcMainOptions Offline(const ScratchFolder& folder) {
    TCalcMainOptions options;
    options.ExeFolder = QString::fromStdString(folder.Path().string());
    options.UseBus = false;
    return options;
}

}  // namespace ov::test
