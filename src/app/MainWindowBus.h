// The main window on the bus: object /MainWindow, interface OVCalc.TfrmCalcMain, whose method
// Restore a second start of the program calls to bring the running window forward.
#pragma once

#include <QDBusAbstractAdaptor>

namespace ov {

class TfrmCalcMain;

class TMainWindowBus : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "OVCalc.TfrmCalcMain")
public:
    // Attached to window (its parent); export it with registerObject(..., ExportAdaptors).
    explicit TMainWindowBus(TfrmCalcMain* window);

public Q_SLOTS:
    // Shows the window if hidden and raises it.
    void Restore();

private:
    TfrmCalcMain* window_;
};

}  // namespace ov
