// The main window: owns the process-wide objects (configuration, groups, live data store,
// buffers, wake event, calculation thread), shows the status list, offers the commands, runs
// refresh, setup changes and the shutdown, and is the engine's host.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "app/SetupDialog.h"
#include "thread/CalcHost.h"
#include "core/InputBuffer.h"
#include "core/OutputBuffer.h"
#include "thread/WorkThread.h"
#include "model/CalcGroups.h"
#include "model/ConfigFile.h"
#include "bus/OVCalcComAdaptor.h"
#include "bus/SuiteConnections.h"

class QAction;
class QFile;
class QLabel;
class QPlainTextEdit;
class QTimer;

namespace ov {

class TBusSetupQuery;
class TDDEMLManager;
class TDdeAdaptor;
class TOVCalcDataDatabase;
class IDataStoreHost;
enum TMessageBoxAnswer : std::uint8_t;

// What a test or the program changes about the window.
struct TCalcMainOptions {
    QString ExeFolder;     // with a trailing "/"; empty: the executable's folder
    bool UseBus = true;    // setup queries and suite connections on the session bus
    TSuiteOptions Suite;   // how the suite's programs are reached
    bool Automation = true;  // export the automation object at /OVCalcCOM (with UseBus)
};

class TfrmCalcMain : public QMainWindow,
                     public ICalcHost,
                     public ISuiteWindow,
                     public IOVCalcComHost {
    Q_OBJECT
public:
    // The status list holds at most this many lines; at the limit it is cut to TrimTo - 1.
    static constexpr int StatusLimit = 640;
    static constexpr int StatusTrimTo = 512;

    // Runs FormCreate.
    explicit TfrmCalcMain(TCalcMainOptions options = {}, QWidget* parent = nullptr);
    // Stops a thread still running, then writes the window placement (FormDestroy).
    ~TfrmCalcMain() override;

    // Adds a line to the status list (newest first), the log file and standard error.
    void LogStatus(const QString& text);
    void LogStatus(const std::string& text) override { LogStatus(QString::fromStdString(text)); }
    // Moves every waiting line of the output buffer to the status list; with pump, the
    // events are processed after every eleventh line.
    void DrainOutput(bool pump);
    // Stops a running calculation thread and waits for its end, serving its requests.
    void StopThread();
    // The refresh: thread stopped, suite reconnected, a new thread started when it may.
    void actRefreshParamsExecute();
    // The group setup: restarts a running thread after a save and writes the configuration.
    void actOptionsEditSetupExecute();
    void actLogStatusExecute();
    void actAppOptionsExecute();
    void actAboutExecute();
    void actClearStatusExecute();
    // The one-second timer's work.
    void tmrTimerTimer();

    // Test seams.
    using TFileChooser = std::function<QString(const QString& startFolder)>;
    void SetLogFileChooser(TFileChooser chooser) { fileChooser_ = std::move(chooser); }
    void SetSetupDialogFactory(TSetupDialogFactory factory) { setupDialog_ = std::move(factory); }

    // State, for the program and its tests.
    QStringList StatusLines() const;  // newest first
    QString StatusPanelText(int panel) const;
    bool ThreadStopped() const override { return threadStopped_; }
    bool LogToFile() const { return logToFile_; }
    bool TimerBusy() const { return timerBusy_; }
    const QString& ExeFolder() const { return exeFolder_; }
    TCalcGroups& Groups() { return *groups_; }
    TOVCalcDataDatabase& DataStore() { return *dataStore_; }
    TWorkThread* Thread() { return thread_.get(); }
    // Counts the thread objects made so far (a new one may reuse the old one's address).
    std::uint64_t ThreadSerial() {
        std::lock_guard<std::mutex> guard(threadLock_);
        return threadSerial_;
    }
    TInputStationSensorBuffer& InputBuffer() { return *input_; }
    TSuiteConnections* Suite() { return suite_.get(); }
    TOutputBuffer& OutputBuffer() { return *output_; }
    QAction* Action(const QString& objectName) const;
    void SetLogDetail(std::int32_t level) { logDetail_ = level; }

    // ICalcHost
    int LogDetail() const override { return logDetail_.load(); }
    TWakeEvent& WakeEvent() override { return wake_; }
    void SignalThread() override;
    bool RequestDrain(std::chrono::milliseconds limit) override;
    void ProcessUiEvents() override;
    void PublishResult(const std::string& itemName, const std::string& text) override;
    void ThreadEnded(TWorkThread& thread) override;
    bool QuerySetup(const std::string& key, std::string& value) override;
    bool InitCalcThread() override;
    void DoneCalcThread() override;

    // ISuiteWindow (LogStatus, LogDetail, SignalThread and ThreadStopped above)
    void RefreshParams() override;
    void ShutdownCommanded() override;
    // IOVCalcComHost: the automation method, a refresh (queued: the call is answered first).
    void ResetAllParams() override;
    // Bus clients that linked items and are still connected.
    int ClientsHoldingObjects() const { return comAdaptor_ ? comAdaptor_->ClientsHoldingObjects() : 0; }
    TOVCalcCOM& Automation() { return *com_; }
    // The DDE service (on the bus with the automation object).
    TDDEMLManager& Dde() { return *dde_; }

    // The data store's host (its IDataStoreHost): the box when it runs out of room, on the
    // main thread whatever thread asks; and the close request, queued.
    TMessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption);
    void PostCloseRequest();

public slots:
    // Restore request of a second start: shows the window if hidden and brings it forward.
    void Restore();

signals:
    // After the shutdown work of the close (the window is about to close).
    void ShutdownDone();
    // The number of clients holding the automation object changed.
    void ClientsChanged(int count);

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void FormCreate();
    // Refresh step 5 and edit-setup step 3: a new, unstarted thread object.
    void NewThread();
    // Starts the new thread on the groups when the storage option calls for calculation.
    void StartThreadIfStorage();
    bool FormCloseQuery();
    void FormDestroy();
    void WriteLogLine(const QString& line);

    TCalcMainOptions options_;
    QString exeFolder_;
    QString helpFile_;
    std::string appID_;

    // Widgets (owned by Qt's parent chain).
    QPlainTextEdit* memoStatus_ = nullptr;
    QLabel* panel0_ = nullptr;
    QLabel* panel1_ = nullptr;
    QTimer* tmrTimer_ = nullptr;
    QTimer* tmrHeartBeat_ = nullptr;
    int statusCount_ = 0;

    // Main thread only, unless said otherwise.
    std::unique_ptr<TConfigFile> configFile_;
    TConfigSettings settings_;
    std::unique_ptr<TCalcGroups> groups_;
    std::unique_ptr<IDataStoreHost> storeHost_;
    std::unique_ptr<TOVCalcDataDatabase> dataStore_;  // thread-safe itself
    TWakeEvent wake_;                                 // thread-safe itself
    std::unique_ptr<TInputStationSensorBuffer> input_;
    std::unique_ptr<TOutputBuffer> output_;
    std::unique_ptr<TWorkThread> thread_;
    std::unique_ptr<TBusSetupQuery> setupQuery_;      // thread-safe itself
    std::unique_ptr<TSuiteConnections> suite_;
    std::shared_ptr<TOVCalcCOM> com_;                 // registered with the data store
    std::unique_ptr<TOVCalcComAdaptor> comAdaptor_;   // null without the bus
    std::unique_ptr<TDDEMLManager> dde_;
    std::unique_ptr<TDdeAdaptor> ddeAdaptor_;         // null without the bus
    std::atomic<std::int32_t> logDetail_{0};          // read by the calculation thread
    std::atomic<bool> threadStopped_{true};  // read by the item-change receiver too
    bool firstShow_ = true;
    bool timerBusy_ = false;
    bool logToFile_ = false;
    bool closing_ = false;     // the shutdown work was done; a further close just closes
    std::unique_ptr<QFile> logFile_;
    QString logFolder_;
    TFileChooser fileChooser_;
    TSetupDialogFactory setupDialog_;

    // Which thread object is current, for telling a late end call of a replaced one apart.
    std::mutex threadLock_;
    const TWorkThread* currentThread_ = nullptr;  // guarded by threadLock_
    std::uint64_t threadSerial_ = 0;              // guarded by threadLock_
};

}  // namespace ov
