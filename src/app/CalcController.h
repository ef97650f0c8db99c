// The engine's host on the main thread: owns the process-wide objects (configuration, groups,
// live data store, buffers, wake event, calculation thread, suite connections, automation
// object), runs the thread's lifecycle (start, stop, wake, drain, its end), the refresh and the
// setup change, and the shutdown sequence. It reports through the status log; the main window
// shows it and asks the user, and needs nothing else of it.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "bus/OVCalcComAdaptor.h"
#include "bus/SuiteConnections.h"
#include "core/InputBuffer.h"
#include "core/OutputBuffer.h"
#include "model/CalcGroups.h"
#include "model/ConfigFile.h"
#include "thread/CalcHost.h"
#include "thread/WorkThread.h"
#include "util/TimeTag.h"

namespace ov {

class TBusSetupQuery;
class TDDEMLManager;
class TDdeAdaptor;
class TOVCalcDataDatabase;
class TStatusLog;

// What a test or the program changes about OV Calc's main objects.
struct TCalcMainOptions {
    QString ExeFolder;       // with a trailing "/"; empty: the executable's folder
    bool UseBus = true;      // setup queries and suite connections on the session bus
    TSuiteOptions Suite;     // how the suite's programs are reached
    bool Automation = true;  // export the automation object at /OVCalcCOM (with UseBus)
};

class TCalcController : public QObject,
                        public ICalcHost,
                        public ISuiteWindow,
                        public IOVCalcComHost {
    Q_OBJECT
  public:
    // Makes the process-wide objects (FormCreate) and reads the configuration; log must
    // outlive this object.
    explicit TCalcController(TStatusLog& log, TCalcMainOptions options = {},
                             QObject* parent = nullptr);
    // Stops a thread still running, then ends the connections and the automation object.
    ~TCalcController() override;

    // The refresh: thread stopped and drained, suite reconnected, a new thread started when
    // the refresh succeeded and the storage option calls for calculation.
    void Refresh();
    // After the groups were saved in the setup dialog: writes the configuration and, when a
    // thread ran as the dialog opened (wasRunning), restarts it on the edited groups.
    void GroupsSaved(bool wasRunning);
    // The shutdown's work: announce it to the automation clients, stop the thread, disconnect
    // every server (RTU, Modbus RTU, decoder, EUMETSAT decoder, setup) and write the
    // configuration. Raises what a step raises; the steps before it are done.
    void ShutDown();
    // The automation heartbeat event (errors are not the caller's concern).
    void HeartBeat();
    // The session bus has gone away: said in the status list, the setup queries answer at
    // once, and the window is asked to close without a question (CloseRequested); the
    // shutdown then stops the thread and writes the configuration, announcing nothing.
    void BusLost();
    bool BusGone() const { return busLost_; }

    // Moves every waiting line of the output buffer to the status log; status lines also go
    // to ThreadStatus. With pump, events are processed after every eleventh line.
    void DrainOutput(bool pump);
    // Stops a running calculation thread and waits for its end, serving its requests.
    void StopThread();
    // FormClose: the thread object goes.
    void ReleaseThread() { thread_.reset(); }

    // The configuration file's window placement (current where it has none) and its writing,
    // which also closes the file.
    TWindowPlacement ReadWindowPlacement(const TWindowPlacement& current) const;
    void WriteWindowPlacement(const TWindowPlacement& placement);

    // State, for the window and the tests.
    const QString& ExeFolder() const { return exeFolder_; }
    // Where OVCalc.OVG is kept (ov::ConfigFolder of the executable's folder), with a "/".
    const QString& ConfigFolder() const { return configFolder_; }
    TStatusLog& Log() { return log_; }
    TCalcGroups& Groups() { return *groups_; }
    TOVCalcDataDatabase& DataStore() { return *dataStore_; }
    TOVCalcCOM& Automation() { return *com_; }
    // The DDE service (on the bus with the automation object).
    TDDEMLManager& Dde() { return *dde_; }
    TWorkThread* Thread() { return thread_.get(); }
    // Counts the thread objects made so far (a new one may reuse the old one's address).
    std::uint64_t ThreadSerial() {
        std::lock_guard<std::mutex> guard(threadLock_);
        return threadSerial_;
    }
    TInputStationSensorBuffer& InputBuffer() { return *input_; }
    TOutputBuffer& OutputBuffer() { return *output_; }
    TSuiteConnections* Suite() { return suite_.get(); }
    void SetLogDetail(std::int32_t level) { logDetail_ = level; }
    // Bus clients that linked items and are still connected.
    int ClientsHoldingObjects() const;

    // Since the start: the results published, the error lines of the calculation threads
    // (counted as they reach the status list) and when the last result was published (0:
    // none yet).
    struct TCalcCounts {
        std::uint64_t Results = 0;
        std::uint64_t Errors = 0;
        TDateTime LastResult = 0;
    };
    TCalcCounts Counts() const;

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

    // ISuiteWindow (LogDetail, SignalThread above)
    void LogStatus(const std::string& text) override;
    bool ThreadStopped() const override { return threadStopped_; }
    // The setup server's refresh command: a refresh, queued.
    void RefreshParams() override;
    // The setup server's shutdown command: ForcedClose set, CloseRequested queued.
    void ShutdownCommanded() override;
    // IOVCalcComHost: the automation method, a refresh (queued: the call is answered first).
    void ResetAllParams() override;

  Q_SIGNALS:
    // A status line of the calculation thread (the first status-bar panel shows it).
    void ThreadStatus(const QString& text);
    // A refresh found (or started) and attached the setup server.
    void SetupServerAttached();
    // The window is to close (the setup server's shutdown command).
    void CloseRequested();
    // The number of clients holding the automation object changed.
    void ClientsChanged(int count);

  private:
    // Refresh step 5 and the setup change: a new, unstarted thread object.
    void NewThread();
    // Starts the new thread on the groups when the storage option calls for calculation.
    void StartThreadIfStorage();

    TStatusLog& log_;
    TCalcMainOptions options_;
    QString exeFolder_;
    QString configFolder_;

    // Main thread only, unless said otherwise.
    std::unique_ptr<TConfigFile> configFile_;
    TConfigSettings settings_;
    std::unique_ptr<TCalcGroups> groups_;
    std::unique_ptr<TOVCalcDataDatabase> dataStore_;  // thread-safe itself
    std::shared_ptr<TOVCalcCOM> com_;                 // registered with the data store
    TWakeEvent wake_;                                 // thread-safe itself
    std::unique_ptr<TInputStationSensorBuffer> input_;
    std::unique_ptr<TOutputBuffer> output_;
    std::unique_ptr<TWorkThread> thread_;
    std::unique_ptr<TBusSetupQuery> setupQuery_;  // thread-safe itself
    std::unique_ptr<TSuiteConnections> suite_;
    std::unique_ptr<TOVCalcComAdaptor> comAdaptor_;  // null without the bus
    std::unique_ptr<TDDEMLManager> dde_;
    std::unique_ptr<TDdeAdaptor> ddeAdaptor_;  // null without the bus
    std::atomic<std::int32_t> logDetail_{0};   // read by the calculation thread
    std::atomic<std::uint64_t> results_{0};    // written by the calculation thread
    std::atomic<TDateTime> lastResult_{0};     // written by the calculation thread
    std::uint64_t errors_ = 0;
    std::atomic<bool> threadStopped_{true};  // read by the item-change receiver too
    bool busLost_ = false;

    // Which thread object is current, for telling a late end call of a replaced one apart.
    std::mutex threadLock_;
    const TWorkThread* currentThread_ = nullptr;  // guarded by threadLock_
    std::uint64_t threadSerial_ = 0;              // guarded by threadLock_
};

}  // namespace ov
