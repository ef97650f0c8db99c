// The main window on the bus: object /MainWindow, interface OVCalc.TfrmCalcMain, whose method
// Restore a second start of the program calls to bring the running window forward, and whose
// property ThreadStopped tells a data source whether OV Calc can take its data now.
#pragma once

#include <QDBusAbstractAdaptor>

namespace ov {

class TfrmCalcMain;

class TMainWindowBus : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "OVCalc.TfrmCalcMain")
    Q_PROPERTY(bool ThreadStopped READ ThreadStopped)
  public:
    // Attached to window (its parent); export it with registerObject(..., ExportAdaptors).
    explicit TMainWindowBus(TfrmCalcMain* window);

    // True while no calculation thread runs: item changes are then dropped.
    bool ThreadStopped() const;

  public Q_SLOTS:
    // Shows the window if hidden and raises it.
    void Restore();

  private:
    TfrmCalcMain* window_;
};

}  // namespace ov
