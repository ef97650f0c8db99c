// The main window's Restore on the bus.
#include "app/MainWindowBus.h"

#include "app/CalcMain.h"

namespace ov {

TMainWindowBus::TMainWindowBus(TfrmCalcMain* window)
    : QDBusAbstractAdaptor(window), window_(window) {}

void TMainWindowBus::Restore() {
    window_->Restore();
}

bool TMainWindowBus::ThreadStopped() const {
    return window_->ThreadStopped();
}

}  // namespace ov
