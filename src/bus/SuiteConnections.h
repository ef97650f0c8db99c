// The main window's connections to the suite's servers: the setup server (started when it is
// not running, its settings loaded, its events followed) and the four data sources (decoder,
// EUMETSAT decoder, RTU poller, Modbus RTU poller), whose item changes become station records
// on the input buffer. The setup server's sink is a set of signal subscriptions on the main
// thread; the data sources' events come through the item-change receiver's own thread, which
// stops reading while the input buffer is full.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <array>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "busnames/BusNames.h"
#include "core/DroppedLines.h"
#include "core/InputBuffer.h"

namespace ov {

class TBusNameWatcher;
class TBusSetupQuery;
class TDBusSetupServer;
class TItemChangeReceiver;
class TSetupServerProcess;

// What the connections need of the main window. Every call comes on the main thread, except
// ThreadStopped and SignalThread, which the item-change receiver's thread calls too.
class ISuiteWindow {
  public:
    virtual ~ISuiteWindow() = default;
    // A line in the status list (and the log file).
    virtual void LogStatus(const std::string& text) = 0;
    // The log detail setting (0-10).
    virtual int LogDetail() const = 0;
    // The refresh command (actRefreshParamsExecute), ordered by the setup server.
    virtual void RefreshParams() = 0;
    // The setup server's shutdown: set ForcedClose and close the window.
    virtual void ShutdownCommanded() = 0;
    // True while no calculation thread runs; item changes are then ignored. Thread-safe.
    virtual bool ThreadStopped() const = 0;
    // Wakes the calculation thread (only while one runs). Thread-safe.
    virtual void SignalThread() = 0;
};

// How the connections reach the programs; the defaults are the program's own behaviour,
// tests shorten the waits.
struct TSuiteOptions {
    // The setup server's program. Empty: "ovsetup" beside this program's executable, else on
    // PATH.
    QString SetupProgram;
    // Its command-line arguments (its settings file). See DefaultSetupArguments.
    QStringList SetupArguments = DefaultSetupArguments();
    // tmrServersReconnect.
    std::chrono::milliseconds ReconnectInterval{30000};
    // StartSetupServer: pauses after starting the program, looking for it after each.
    int StartWaitSteps = 11;
    std::chrono::milliseconds StartWaitStep{1000};
    // WaitSetupLoad: further questions for "SetupLoad" and the pause before each.
    int LoadWaitSteps = 100;
    std::chrono::milliseconds LoadWaitStep{100};
    // Bound of every call to a server.
    std::chrono::milliseconds CallTimeout = SetupCallTimeout;
    // While the attached setup server does not answer: how often it is asked whether it does
    // again.
    std::chrono::milliseconds AnswerProbeInterval{1000};
    // Data lines dropped for a time tag that cannot be read are told once per source and this
    // period.
    std::chrono::milliseconds DroppedLinePeriod{60000};

    // The arguments the started setup server gets: the environment variable
    // OVCALC_OVSETUP_ARGS (blanks separate the arguments, double quotes keep blanks) when it
    // is set; otherwise the settings file "OVSetup.ini" in this program's configuration folder
    // (beside the executable, or the user's, see ov::ConfigFolder) when it exists; otherwise
    // none, and ovsetup reads the OVSetup.ini of its own configuration folder.
    static QStringList DefaultSetupArguments();
};

// The server part of a refresh: its result, and whether the setup server was started (or
// found) and attached.
struct TRefreshOutcome {
    bool Result = false;
    bool SetupAttached = false;
    // The session bus had gone away: nothing of the failure was said, that is the bus's loss.
    bool BusGone = false;
};

class TSuiteConnections : public QObject {
    Q_OBJECT

  public:
    // window and input must outlive this object; connection is the session bus.
    TSuiteConnections(ISuiteWindow& window, TInputStationSensorBuffer& input,
                      QDBusConnection connection, TSuiteOptions options = {},
                      QObject* parent = nullptr);
    ~TSuiteConnections() override;
    TSuiteConnections(const TSuiteConnections&) = delete;
    TSuiteConnections& operator=(const TSuiteConnections&) = delete;

    // Disconnects everything, starts and attaches the setup server, waits for its settings
    // (loaded into GeneralSetup() and DataServerSetup()), follows its events, connects the
    // enabled data sources and turns tmrServersReconnect on. Errors go to the status list.
    TRefreshOutcome Refresh();

    // Whether the setup server runs; if not and launch, starts it and waits for it (no
    // longer than until the started program has ended).
    bool StartSetupServer(bool launch);
    bool AttachSetupServer();
    // Waits for "SetupLoad" to answer "OK", then (with loadSettings) loads the settings. False
    // when it never did. Throws std::runtime_error when the question itself fails.
    bool WaitSetupLoad(bool loadSettings = true);

    // The queries of the calculation thread, told whether the setup server is attached, when
    // it is being started again and when it answers again after a silence (null: none). It
    // must outlive this object.
    void SetSetupQuery(TBusSetupQuery* query);
    // The longest a restart of the setup server can take: the start and load waits.
    std::chrono::milliseconds RestartWait() const;
    // The close has begun: a setup server that goes away now is not started again.
    void EndRestarts() { restartWanted_ = false; }
    // Connects every enabled, running, not yet connected data source; false when one of
    // them failed (its error in the status list when showErrors).
    bool ConnectServers(bool showErrors);

    void DisconnectSetup();
    void DisconnectDecoder();
    void DisconnectMDecoder();
    void DisconnectRtu();
    void DisconnectMBRtu();
    // The close order: RTU poller, Modbus RTU poller, decoder, EUMETSAT decoder, setup server.
    void DisconnectAll();

    bool Connected(TDataSourceKind kind) const;
    bool SetupAttached() const;
    bool SetupSinkAttached() const;
    bool ReconnectTimerActive() const { return tmrServersReconnect_.isActive(); }
    // The last event received from a server (AppID, item, data), as the sinks stored it.
    std::string EventAppID() const;
    std::string EventItem() const;
    std::string EventData() const;

  private Q_SLOTS:
    void tmrServersReconnectTimer();
    // A data source's bus name got an owner: connected at once, as the timer would do later.
    void SourceAppeared(TDataSourceKind kind);

  private Q_SLOTS:
    // The attached setup server went away: started again as at a refresh, its settings
    // unchanged for the running calculation thread.
    void RestartSetupServer();
    // A query found the attached setup server there but not answering: said, and the server
    // asked every AnswerProbeInterval until it answers again.
    void SetupNotAnswering();
    void ProbeSetup();

  private:
    struct TSink;
    // The setup server's bus name lost its owner.
    void SetupServerGone();
    struct TSourceState;

    bool NameRunning(std::string_view busName) const;
    // The session bus has gone away: what fails then is not to be said as the server's fault.
    bool BusGone() const { return !connection_.isConnected(); }
    void StopProbe();
    bool ConnectSource(TSourceState& source);
    void DisconnectSource(TDataSourceKind kind);
    bool AttachSetupSink();
    void DropSink(std::unique_ptr<TSink>& sink);
    void SetupEvent(TSetupEvent event, const QList<QVariant>& arguments);
    void ItemChange(const QList<QVariant>& arguments);
    // The data sources' events, on the receiver's thread.
    void ReceivedItemChange(const std::string& appID, const std::string& item,
                            const std::string& data, std::size_t replaced);
    void ReceivedShutdown(TDataSourceKind kind, const std::string& appID);
    // The program kind was connected to left the bus (on the receiver's thread).
    void ReceivedOwnerLost(TDataSourceKind kind);
    void StoreEvent(const std::string& appID, const std::string& item, const std::string& data);
    // A status line from another thread, shown by the main thread.
    void PostStatus(const std::string& text);
    TSourceState& Source(TDataSourceKind kind);

    ISuiteWindow& window_;
    TInputStationSensorBuffer& input_;
    QDBusConnection connection_;
    TSuiteOptions options_;
    std::unique_ptr<TBusNameWatcher> names_;
    std::unique_ptr<TSetupServerProcess> started_;  // the setup server started last
    std::unique_ptr<TDBusSetupServer> setup_;       // the attached setup server; null: none
    std::unique_ptr<TSink> setupSink_;
    std::array<std::unique_ptr<TSourceState>, 4> sources_;  // by TDataSourceKind
    QTimer tmrServersReconnect_;
    // The sources' lines dropped for their time tag (counted on the receiver's thread too),
    // and the timer that tells the counted ones when their period is over.
    TDroppedLines dropped_;
    QTimer tmrDroppedLines_;
    TBusSetupQuery* query_ = nullptr;
    bool restartWanted_ = true;    // false once the close has begun
    bool restartPending_ = false;  // the attached server went away; RestartSetupServer is queued
    // The attached server does not answer: asked every AnswerProbeInterval meanwhile.
    QTimer probeTimer_;
    bool probePending_ = false;  // a probe's call is on its way
    std::chrono::steady_clock::time_point silentSince_;
    bool silenceBoundSaid_ = false;
    mutable std::mutex eventLock_;
    std::string eventAppID_, eventItem_, eventData_;  // guarded by eventLock_
    // Made at the first connect; its thread calls back into this object, so it goes first.
    std::unique_ptr<TItemChangeReceiver> receiver_;
};

}  // namespace ov
