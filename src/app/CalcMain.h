// The main window: shows the status log and the calculation thread's state, offers the
// commands of the menu and tool bar, runs the one-second and heartbeat timers and the dialogs,
// and asks before closing. Everything else belongs to its controller (TCalcController).
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/CalcController.h"
#include "app/SetupDialog.h"
#include "app/StatusLog.h"
#include "database/DatabaseConnection.h"
#include "ui/QtDialogBoxes.h"
#include "ui/SelectOneStationSensor.h"

class QAction;
class QLabel;
class QPlainTextEdit;
class QTimer;

namespace ov {

class IDataStoreHost;
enum TMessageBoxAnswer : std::uint8_t;

class TfrmCalcMain : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int StatusLimit = TStatusLog::StatusLimit;
    static constexpr int StatusTrimTo = TStatusLog::StatusTrimTo;

    // Runs FormCreate: the controller with the process-wide objects, the window placement.
    explicit TfrmCalcMain(TCalcMainOptions options = {}, QWidget* parent = nullptr);
    // Stops a thread still running, then writes the window placement (FormDestroy).
    ~TfrmCalcMain() override;

    TCalcController& Controller() { return *controller_; }
    TStatusLog& Log() { return log_; }

    // Adds a line to the status list (newest first), the log file and standard error.
    void LogStatus(const QString& text) { log_.Add(text); }
    void DrainOutput(bool pump) { controller_->DrainOutput(pump); }
    void StopThread() { controller_->StopThread(); }
    // The refresh command.
    void actRefreshParamsExecute() { controller_->Refresh(); }
    // The group setup: restarts a running thread after a save and writes the configuration.
    void actOptionsEditSetupExecute();
    void actLogStatusExecute();
    void actAppOptionsExecute();
    void actAboutExecute();
    void actClearStatusExecute() { log_.Clear(); }
    // The one-second timer's work.
    void tmrTimerTimer();

    // Test seams.
    using TFileChooser = std::function<QString(const QString& startFolder)>;
    void SetLogFileChooser(TFileChooser chooser) { fileChooser_ = std::move(chooser); }
    void SetSetupDialogFactory(TSetupDialogFactory factory) { setupDialog_ = std::move(factory); }

    // What the window shows, and the controller's state, for the program and its tests.
    QStringList StatusLines() const;  // newest first
    QString StatusPanelText(int panel) const;
    // What the second panel shows when no hint is: the results published and the calculation
    // errors since the start, and when the last result was published.
    QString CountsText() const;
    bool TimerBusy() const { return timerBusy_; }
    QAction* Action(const QString& objectName) const;
    bool LogToFile() const { return log_.LogToFile(); }
    bool ThreadStopped() const { return controller_->ThreadStopped(); }
    const QString& ExeFolder() const { return controller_->ExeFolder(); }
    TCalcGroups& Groups() { return controller_->Groups(); }
    TWorkThread* Thread() { return controller_->Thread(); }
    std::uint64_t ThreadSerial() { return controller_->ThreadSerial(); }
    TOutputBuffer& OutputBuffer() { return controller_->OutputBuffer(); }
    int LogDetail() const { return controller_->LogDetail(); }
    void SetLogDetail(std::int32_t level) { controller_->SetLogDetail(level); }
    int ClientsHoldingObjects() const { return controller_->ClientsHoldingObjects(); }
    // The suite database connection of the setup dialogs; closed at the latest with the window.
    TDatabaseConnection& Database() { return *database_; }
    // The station/sensor picker, made with the window and kept for the run.
    TfrmSelectOneStationSensor& Picker() { return *picker_; }
    TDDEMLManager& Dde() { return controller_->Dde(); }

    // The data store's host (its IDataStoreHost): the box when it runs out of room, on the
    // main thread whatever thread asks; and the close request, queued.
    TMessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption);
    void PostCloseRequest();

  public Q_SLOTS:
    // Restore request of a second start: shows the window if hidden and brings it forward.
    void Restore();

  Q_SIGNALS:
    // After the shutdown work of the close (the window is about to close).
    void ShutdownDone();
    // The number of clients holding the automation object changed.
    void ClientsChanged(int count);

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateStatusView();
    void CreateActions();
    bool FormCloseQuery();

    // Made first and gone last: the controller reports into it from its creation on.
    TStatusLog log_;
    QString helpFile_;

    // Widgets (owned by Qt's parent chain).
    QPlainTextEdit* memoStatus_ = nullptr;
    QLabel* panel0_ = nullptr;
    QLabel* panel1_ = nullptr;
    QString hint_;  // the hint under the mouse, which the second panel shows over the counts
    QTimer* tmrTimer_ = nullptr;
    QTimer* tmrHeartBeat_ = nullptr;

    std::unique_ptr<IDataStoreHost> storeHost_;
    std::unique_ptr<TCalcController> controller_;
    bool firstShow_ = true;
    bool timerBusy_ = false;
    bool closing_ = false;  // the shutdown work was done; a further close just closes
    QString logFolder_;
    TFileChooser fileChooser_;
    TSetupDialogFactory setupDialog_;
    // The boxes of the database side and of the setup dialog, over whichever window is modal.
    TQtDialogBoxes boxes_{this};
    std::unique_ptr<TDatabaseConnection> database_ = std::make_unique<TDatabaseConnection>(boxes_);
    TfrmSelectOneStationSensor* picker_ = nullptr;  // a child window of this one
};

}  // namespace ov
