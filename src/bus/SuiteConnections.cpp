// The suite server connections: starting and attaching the setup server, connecting the data
// sources, and the event sinks that turn their signals into the host's actions.
#include "bus/SuiteConnections.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "bus/BusNameWatcher.h"
#include "bus/BusSetupQuery.h"
#include "bus/BusSignalReceiver.h"
#include "bus/DBusSetupServer.h"
#include "bus/ItemChangeReceiver.h"
#include "bus/SetupServerProcess.h"
#include "core/ItemChange.h"
#include "core/LogDetail.h"
#include "qttext/QtText.h"
#include "suite/SetupParams.h"
#include "util/ProgramFolders.h"
#include "util/TextCodec.h"

namespace ov {
namespace {

constexpr const char* SetupArgsVariable = "OVCALC_OVSETUP_ARGS";
constexpr const char* SetupProgramName = "ovsetup";
constexpr const char* SetupSettingsName = "OVSetup.ini";

const std::string Error4Text =
    "Error 4: An instance of the \"OVSetup.Applications\" OLE Automation class could not be "
    "created.  Is ZI Zodav running?";
const std::string Error1613Text = "Error 1613: Unknown Refresh Exception";

// The source's error status when it cannot be connected.
std::string ConnectErrorText(TDataSourceKind kind) {
    switch (kind) {
        case dsDecoder:
            return "Error 1000: Unable to connect to OV Decode Interface";
        case dsMDecoder:
            return "Error 1005: Unable to connect to OV EUMETSAT Decode Interface";
        case dsRtu:
            return "Error 1001: Unable to connect to RO Did Interface";
        case dsMBRtu:
            return "Error 1006: Unable to connect to ZE DEZav Interface";
    }
    return {};
}

std::string ShutdownText(TDataSourceKind kind) {
    switch (kind) {
        case dsDecoder:
        case dsMDecoder:
            return "OV Decode shutdown command received";
        case dsRtu:
            return "RO Did shutdown command received";
        case dsMBRtu:
            return "ZE DEZav shutdown command received";
    }
    return {};
}

// A connected source whose program left the bus without its shutdown event (ended, crashed,
// killed): disconnected, as its shutdown would have done, so that it is connected again.
std::string OwnerLostText(TDataSourceKind kind) {
    const char* name = "";
    switch (kind) {
        case dsDecoder:
            name = "OV Decode";
            break;
        case dsMDecoder:
            name = "OV EUMETSAT Decode";
            break;
        case dsRtu:
            name = "RO Did";
            break;
        case dsMBRtu:
            name = "ZE DEZav";
            break;
    }
    return std::string(name) +
           " ended without its shutdown command; it is connected again as soon as it runs";
}

// The general settings' switch of a source; only one of the two decoders is used at a time.
bool SourceEnabled(TDataSourceKind kind) {
    const TGeneralSetup& general = GeneralSetup();
    switch (kind) {
        case dsDecoder:
            return general.DecoderEnabled && !general.UseEumetsatDecoder;
        case dsMDecoder:
            return general.DecoderEnabled && general.UseEumetsatDecoder;
        case dsRtu:
            return general.RtuEnabled;
        case dsMBRtu:
            return general.MBRtuEnabled;
    }
    return false;
}

// A text argument of a signal as 8-bit text; empty when absent. With replaced, it counts
// the characters read as "?".
std::string TextArgument(const QList<QVariant>& arguments, int index,
                         std::size_t* replaced = nullptr) {
    if (replaced) *replaced = 0;
    if (index >= arguments.size()) return {};
    return EngineText(arguments.at(index).toString(), replaced);
}

}  // namespace

QStringList TSuiteOptions::DefaultSetupArguments() {
    if (qEnvironmentVariableIsSet(SetupArgsVariable)) {
        return QProcess::splitCommand(qEnvironmentVariable(SetupArgsVariable));
    }
    if (QCoreApplication::instance() == nullptr) return {};
    // Found without regard to letter case, as the program's other files are, in the folder
    // that holds this program's configuration.
    QDir folder(QString::fromStdString(
        ConfigFolder(QCoreApplication::applicationDirPath().toStdString()).string()));
    const QStringList found =
        folder.entryList({QLatin1String(SetupSettingsName)}, QDir::Files | QDir::Readable);
    if (found.isEmpty()) return {};
    return {folder.filePath(found.first())};
}

// An event sink: the signal subscriptions on one server's object. Dropping a sink switches it
// off at once and leaves the subscriptions to be removed by the event loop, since a sink is
// often dropped from inside one of its own events (a shutdown, a refresh).
struct TSuiteConnections::TSink {
    std::shared_ptr<bool> Active = std::make_shared<bool>(true);
    std::vector<TBusSignalReceiver*> Receivers;  // children of the connections object

    bool Subscribed() const {
        for (const auto* receiver : Receivers) {
            if (!receiver->Subscribed()) return false;
        }
        return true;
    }
};

struct TSuiteConnections::TSourceState {
    explicit TSourceState(const TDataSource& source) : Source(source) {}
    const TDataSource& Source;
    bool Connected = false;  // DecoderConnected, MDecoderConnected, RtuConnected, MBRtuConnected
};

TSuiteConnections::TSuiteConnections(ISuiteConnectionsHost& host, TInputStationSensorBuffer& input,
                                     QDBusConnection connection, TSuiteOptions options,
                                     QObject* parent)
    : QObject(parent),
      host_(host),
      input_(input),
      connection_(std::move(connection)),
      options_(std::move(options)),
      names_(std::make_unique<TBusNameWatcher>(connection_, options_.CallTimeout)),
      dropped_(options_.DroppedLinePeriod) {
    for (const TDataSource& source : DataSources()) {
        sources_[source.Kind] = std::make_unique<TSourceState>(source);
    }
    tmrServersReconnect_.setInterval(static_cast<int>(options_.ReconnectInterval.count()));
    connect(&tmrServersReconnect_, &QTimer::timeout, this,
            &TSuiteConnections::tmrServersReconnectTimer);
    probeTimer_.setInterval(static_cast<int>(options_.AnswerProbeInterval.count()));
    connect(&probeTimer_, &QTimer::timeout, this, &TSuiteConnections::ProbeSetup);
    // Looked at a few times a period: the counted lines are told soon after it ends.
    tmrDroppedLines_.setInterval(static_cast<int>(
        std::min<std::chrono::milliseconds>(options_.DroppedLinePeriod / 4, std::chrono::seconds(5))
            .count()));
    connect(&tmrDroppedLines_, &QTimer::timeout, this, [this] {
        for (const std::string& line : dropped_.Due()) host_.LogStatus(line);
    });
    tmrDroppedLines_.start();
    for (const TDataSource& source : DataSources()) {
        const TDataSourceKind kind = source.Kind;
        names_->Watch(QtText(source.BusName), [this, kind](const QString&, bool running) {
            if (running) SourceAppeared(kind);
        });
    }
    names_->Watch(QtText(SetupBusName), [this](const QString&, bool running) {
        if (!running) SetupServerGone();
    });
}

void TSuiteConnections::SetSetupQuery(TBusSetupQuery* query) {
    if (query_) query_->SetNotAnsweringProc(nullptr);
    query_ = query;
    if (!query_) return;
    query_->SetRestartWait(RestartWait());
    // Called on the querying thread.
    query_->SetNotAnsweringProc([this] {
        QMetaObject::invokeMethod(this, &TSuiteConnections::SetupNotAnswering,
                                  Qt::QueuedConnection);
    });
}

std::chrono::milliseconds TSuiteConnections::RestartWait() const {
    // The start's pauses, the load's questions with their pauses, and the time the main
    // thread may need to notice the loss.
    return options_.StartWaitSteps * options_.StartWaitStep +
           (options_.LoadWaitSteps + 1) * (options_.LoadWaitStep + options_.CallTimeout) +
           options_.CallTimeout;
}

void TSuiteConnections::SetupServerGone() {
    // Without a bus there is nothing to start again; the bus's loss is said by itself.
    if (!setup_ || !restartWanted_ || restartPending_ || BusGone()) return;
    StopProbe();
    restartPending_ = true;
    host_.LogStatus("The setup server ZI Zodav has ended. Starting it again..");
    // The calculation thread's queries wait for the restart from now on.
    if (query_) query_->ServerLost();
    // Queued: the name's change is being delivered, and the restart waits without serving.
    QMetaObject::invokeMethod(this, &TSuiteConnections::RestartSetupServer, Qt::QueuedConnection);
}

void TSuiteConnections::RestartSetupServer() {
    // A refresh or the close in between has dealt with the setup server itself.
    if (!restartPending_) return;
    bool ok = false;
    std::string why;
    try {
        ok = StartSetupServer(true) && AttachSetupServer();
        if (!ok) {
            why = Error4Text;
        } else if (!WaitSetupLoad(false)) {
            ok = false;
            why = Error1613Text;
        } else if (!AttachSetupSink()) {
            ok = false;
            why = Error1613Text;
        }
    } catch (const std::exception& e) {
        ok = false;
        why = std::string("Error 1600: ") + e.what();
    }
    restartPending_ = false;
    if (ok) {
        host_.LogStatus("The setup server ZI Zodav is running again.");
        if (query_) query_->RestartEnded(true);
        return;
    }
    if (!BusGone()) {
        host_.LogStatus(why);
        host_.LogStatus(
            "The setup server could not be started again: setup queries answer no value until "
            "the next refresh.");
    }
    DropSink(setupSink_);
    setup_.reset();
    if (query_) query_->RestartEnded(false);
}

void TSuiteConnections::SetupNotAnswering() {
    // Already said, or the server has answered, gone or been dropped since.
    if (probeTimer_.isActive() || !setup_ || restartPending_ || !query_ ||
        !query_->NotAnswering()) {
        return;
    }
    host_.LogStatus("The setup server ZI Zodav does not answer. Calculations wait for it..");
    silentSince_ = std::chrono::steady_clock::now();
    silenceBoundSaid_ = false;
    probeTimer_.start();
}

void TSuiteConnections::ProbeSetup() {
    if (!setup_ || !query_ || !query_->NotAnswering()) {
        StopProbe();
        return;
    }
    const std::chrono::milliseconds bound = RestartWait();
    if (!silenceBoundSaid_ && std::chrono::steady_clock::now() - silentSince_ >= bound) {
        silenceBoundSaid_ = true;
        host_.LogStatus("The setup server ZI Zodav has not answered for " +
                        std::to_string((bound.count() + 999) / 1000) +
                        " s: calculations that need it report Error 1602 until it answers.");
    }
    if (probePending_) return;
    // The question a server answers once it has its setup; any answer will do.
    QDBusMessage call =
        QDBusMessage::createMethodCall(QtText(SetupBusName), QtText(SetupObjectPath),
                                       QtText(SetupInterface), QStringLiteral("GetSetupParam"));
    call.setArguments({QtText(SetupLoadKey)});
    call.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(
        connection_.asyncCall(call, static_cast<int>(options_.CallTimeout.count())), this);
    probePending_ = true;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        probePending_ = false;
        if (watcher->isError()) return;  // still silent, or gone (its loss is followed)
        if (query_ && query_->ServerAnswers()) {
            StopProbe();
            host_.LogStatus("The setup server ZI Zodav answers again.");
        }
    });
}

void TSuiteConnections::StopProbe() {
    probeTimer_.stop();
}

TSuiteConnections::~TSuiteConnections() {
    if (query_) query_->SetNotAnsweringProc(nullptr);
    // Its thread is stopped before anything it calls goes; a delivery waiting for an input
    // slot gives up.
    receiver_.reset();
    // The subscriptions are children of this object and end with it; no event reaches a
    // sink from here on.
    if (setupSink_) *setupSink_->Active = false;
}

std::string TSuiteConnections::EventAppID() const {
    TLockGuard guard(eventLock_);
    return eventAppID_;
}

std::string TSuiteConnections::EventItem() const {
    TLockGuard guard(eventLock_);
    return eventItem_;
}

std::string TSuiteConnections::EventData() const {
    TLockGuard guard(eventLock_);
    return eventData_;
}

TSuiteConnections::TSourceState& TSuiteConnections::Source(TDataSourceKind kind) {
    return *sources_[kind];
}

bool TSuiteConnections::Connected(TDataSourceKind kind) const {
    return sources_[kind]->Connected;
}

bool TSuiteConnections::SetupAttached() const {
    return setup_ != nullptr;
}

bool TSuiteConnections::SetupSinkAttached() const {
    return setupSink_ != nullptr;
}

bool TSuiteConnections::NameRunning(std::string_view busName) const {
    return names_->IsRunning(QtText(busName));
}

TRefreshOutcome TSuiteConnections::Refresh() {
    TRefreshOutcome outcome;
    host_.LogStatus("Retrieving setup parameters from ZI Zodav..");
    DisconnectRtu();
    DisconnectMBRtu();
    DisconnectDecoder();
    DisconnectMDecoder();
    DisconnectSetup();

    if (!StartSetupServer(true) || !AttachSetupServer()) {
        // Without a bus no server can be reached; what ended it (and any server started for
        // it) is the bus's loss, which is said once by itself.
        if (BusGone()) {
            outcome.BusGone = true;
            return outcome;
        }
        host_.LogStatus(Error4Text);
        // A server that ended at its start has said why on its standard error.
        if (started_ && started_->Ended() && !started_->FirstLine().empty()) {
            // Its standard error is UTF-8; the status list takes the engine's 8-bit text.
            std::string line;
            Utf8ToLatin1(started_->FirstLine(), line, TUtf8Policy::upReplace);
            host_.LogStatus("The setup server ended: " + line);
        }
        return outcome;
    }
    outcome.SetupAttached = true;
    if (query_) query_->ServerAttached();

    bool loaded = false;
    try {
        loaded = WaitSetupLoad();
    } catch (const std::exception& e) {
        // The question itself failed (the server went away or does not answer): the refresh
        // ends here, as an error of the command.
        outcome.BusGone = BusGone();
        if (!outcome.BusGone) host_.LogStatus(std::string("Error 1600: ") + e.what());
        return outcome;
    }
    if (!loaded) {
        outcome.BusGone = BusGone();
        if (!outcome.BusGone) host_.LogStatus(Error1613Text);
        return outcome;
    }

    try {
        if (!AttachSetupSink()) throw std::runtime_error("setup sink not attached");
        outcome.Result = ConnectServers(true);
        outcome.BusGone = !outcome.Result && BusGone();
        tmrServersReconnect_.start();
    } catch (const std::exception&) {
        outcome.Result = false;
        outcome.BusGone = BusGone();
        if (!outcome.BusGone) host_.LogStatus(Error1613Text);
    }
    return outcome;
}

bool TSuiteConnections::StartSetupServer(bool launch) {
    if (NameRunning(SetupBusName)) return true;
    if (!launch) return false;
    // What an earlier start's server said is no news of this start.
    started_.reset();

    QString program = options_.SetupProgram;
    if (program.isEmpty()) {
        // Beside this program first, then the search path.
        QFileInfo beside(
            QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(SetupProgramName)));
        program = beside.isFile() && beside.isExecutable()
                      ? beside.filePath()
                      : QStandardPaths::findExecutable(QLatin1String(SetupProgramName));
    }
    if (program.isEmpty()) return false;
    started_ = std::make_unique<TSetupServerProcess>();
    if (!started_->Start(program, options_.SetupArguments)) return false;

    for (int step = 0; step < options_.StartWaitSteps; ++step) {
        // A program that has ended will not become the setup server any more.
        if (started_->WaitEnded(options_.StartWaitStep)) return false;
        if (NameRunning(SetupBusName)) return true;
    }
    return false;
}

bool TSuiteConnections::AttachSetupServer() {
    setup_.reset();
    if (!NameRunning(SetupBusName)) return false;
    setup_ = std::make_unique<TDBusSetupServer>(connection_, options_.CallTimeout);
    return true;
}

bool TSuiteConnections::WaitSetupLoad(bool loadSettings) {
    if (!setup_) return false;
    auto loaded = [this] {
        std::string value;
        if (!setup_->GetSetupParam(std::string(SetupLoadKey), value)) {
            throw std::runtime_error("GetSetupParam(\"SetupLoad\") failed: " + setup_->LastError());
        }
        return value == SetupLoadedAnswer;
    };
    bool ok = loaded();
    for (int step = 0; !ok && step < options_.LoadWaitSteps; ++step) {
        std::this_thread::sleep_for(options_.LoadWaitStep);
        ok = loaded();
    }
    if (!ok) return false;
    // A restart leaves the records alone: settings change with a refresh, which starts the
    // calculation thread again on them.
    if (!loadSettings) return true;
    // A failed load leaves the defaults in the records; the refresh goes on with them.
    LoadGeneralSetup(setup_.get(), GeneralSetup());
    LoadDataServerSetup(setup_.get(), DataServerSetup());
    return true;
}

bool TSuiteConnections::AttachSetupSink() {
    DropSink(setupSink_);
    auto sink = std::make_unique<TSink>();
    for (int number = seSetupChanged; number <= seItemChange; ++number) {
        const auto event = static_cast<TSetupEvent>(number);
        std::weak_ptr<bool> active = sink->Active;
        auto receiver = std::make_unique<TBusSignalReceiver>(
            connection_, QtText(SetupBusName), QtText(SetupObjectPath),
            QtText(SetupEventsInterface), QtText(SetupEventName(event)),
            [this, event, active](const QDBusMessage& signal) {
                auto alive = active.lock();
                if (alive && *alive) SetupEvent(event, signal.arguments());
            });
        receiver->setParent(this);
        sink->Receivers.push_back(receiver.release());
    }
    setupSink_ = std::move(sink);
    return setupSink_->Subscribed();
}

void TSuiteConnections::DropSink(std::unique_ptr<TSink>& sink) {
    if (!sink) return;
    *sink->Active = false;
    for (auto* receiver : sink->Receivers) receiver->deleteLater();
    sink.reset();
}

bool TSuiteConnections::ConnectServers(bool showErrors) {
    bool result = true;
    for (const TDataSource& source : DataSources()) {
        TSourceState& state = Source(source.Kind);
        if (state.Connected || !SourceEnabled(source.Kind) || !NameRunning(source.BusName)) {
            continue;
        }
        if (!ConnectSource(state)) {
            result = false;
            if (showErrors && !BusGone()) host_.LogStatus(ConnectErrorText(source.Kind));
        }
    }
    return result;
}

bool TSuiteConnections::ConnectSource(TSourceState& state) {
    const TDataSource& source = state.Source;
    if (receiver_ && !receiver_->Ready()) {
        // Its connection was lost; a new one is made for the sources connected from now on.
        std::fprintf(stderr, "OV Calc: %s\n", receiver_->LastError().c_str());
        receiver_.reset();
    }
    if (!receiver_) {
        receiver_ = std::make_unique<TItemChangeReceiver>(
            [this](TDataSourceKind, const std::string& appID, const std::string& item,
                   const std::string& data,
                   std::size_t replaced) { ReceivedItemChange(appID, item, data, replaced); },
            [this](TDataSourceKind kind, const std::string& appID) {
                ReceivedShutdown(kind, appID);
            },
            [this](TDataSourceKind kind) { ReceivedOwnerLost(kind); });
    }
    bool ok = receiver_->Ready() && receiver_->Subscribe(source, options_.CallTimeout);
    if (!ok) std::fprintf(stderr, "OV Calc: %s\n", receiver_->LastError().c_str());
    for (std::size_t i = 0; ok && i < source.Items.size(); ++i) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(QtText(source.BusName), QtText(source.ObjectPath),
                                           QtText(source.Interface), QStringLiteral("LinkItem"));
        call.setArguments({QtText(CalcAppID), QtText(source.Items[i])});
        call.setAutoStartService(false);
        ok = connection_.call(call, QDBus::Block, static_cast<int>(options_.CallTimeout.count()))
                 .type() == QDBusMessage::ReplyMessage;
    }
    if (!ok) {
        // A source that is not connected delivers nothing.
        receiver_->Unsubscribe(source.Kind);
        return false;
    }
    state.Connected = true;
    if (source.Kind == dsMDecoder && host_.LogDetail() == LogDetailEumetsatConnected) {
        host_.LogStatus("Connected to OV EUMETSAT Decode Interface");
    }
    return true;
}

void TSuiteConnections::DisconnectSetup() {
    StopProbe();
    DropSink(setupSink_);
    setup_.reset();
    restartPending_ = false;
    if (query_) query_->ServerDetached();
}

void TSuiteConnections::DisconnectSource(TDataSourceKind kind) {
    TSourceState& state = Source(kind);
    if (receiver_) receiver_->Unsubscribe(kind);
    // Restarting the timer gives the source a full period before it is tried again.
    tmrServersReconnect_.stop();
    state.Connected = false;
    tmrServersReconnect_.start();
}

void TSuiteConnections::DisconnectDecoder() {
    DisconnectSource(dsDecoder);
}
void TSuiteConnections::DisconnectMDecoder() {
    DisconnectSource(dsMDecoder);
}
void TSuiteConnections::DisconnectRtu() {
    DisconnectSource(dsRtu);
}
void TSuiteConnections::DisconnectMBRtu() {
    DisconnectSource(dsMBRtu);
}

void TSuiteConnections::DisconnectAll() {
    DisconnectRtu();
    DisconnectMBRtu();
    DisconnectDecoder();
    DisconnectMDecoder();
    DisconnectSetup();
    // Closing: nothing is to be reconnected any more.
    tmrServersReconnect_.stop();
}

void TSuiteConnections::SourceAppeared(TDataSourceKind kind) {
    // Connections are wanted while the reconnect timer runs: from the refresh that attached
    // the setup server until the close. Silent, as the timer's own attempts.
    if (!tmrServersReconnect_.isActive()) return;
    TSourceState& state = Source(kind);
    if (state.Connected || !SourceEnabled(kind)) return;
    ConnectSource(state);
}

void TSuiteConnections::tmrServersReconnectTimer() {
    // Silent; a source connected now does not start a stopped calculation thread.
    ConnectServers(false);
}

void TSuiteConnections::SetupEvent(TSetupEvent event, const QList<QVariant>& arguments) {
    const std::string appID = TextArgument(arguments, 0);
    {
        TLockGuard guard(eventLock_);
        eventAppID_ = appID;
    }
    switch (event) {
        case seSetupChanged:
        case seRefreshRequest:
            // This program's own refresh request is not obeyed twice.
            if (appID != CalcAppID) {
                host_.LogStatus("Refresh command received");
                host_.RefreshParams();
            }
            break;
        case seShutdown:
            host_.LogStatus("Shutdown command received");
            tmrServersReconnect_.stop();
            // The server may end before the close has dropped it.
            restartWanted_ = false;
            host_.ShutdownCommanded();
            break;
        case seItemChange:
            ItemChange(arguments);
            break;
        default:
            break;
    }
}

void TSuiteConnections::StoreEvent(const std::string& appID, const std::string& item,
                                   const std::string& data) {
    TLockGuard guard(eventLock_);
    eventAppID_ = appID;
    eventItem_ = item;
    eventData_ = data;
}

void TSuiteConnections::PostStatus(const std::string& text) {
    QMetaObject::invokeMethod(
        this, [this, text] { host_.LogStatus(text); }, Qt::QueuedConnection);
}

void TSuiteConnections::ItemChange(const QList<QVariant>& arguments) {
    // Copies: a full input buffer serves events while it waits, and the next item change
    // overwrites the stored ones while this one is still being read.
    std::size_t replaced = 0;
    const std::string appID = TextArgument(arguments, 0), item = TextArgument(arguments, 1),
                      data = TextArgument(arguments, 2, &replaced);
    StoreEvent(appID, item, data);
    if (host_.ThreadStopped()) return;
    if (replaced > 0) host_.LogStatus(ReplacedCharactersText(replaced, data));
    try {
        HandleItemChange(
            appID, item, data, CalcAppID, input_, [this] { host_.SignalThread(); },
            [this](const std::string& text) { host_.LogStatus(text); }, {}, &dropped_);
    } catch (const std::exception& e) {
        host_.LogStatus(std::string("Error 1600: ") + e.what());
    }
}

void TSuiteConnections::ReceivedItemChange(const std::string& appID, const std::string& item,
                                           const std::string& data, std::size_t replaced) {
    StoreEvent(appID, item, data);
    if (host_.ThreadStopped()) return;
    if (replaced > 0) PostStatus(ReplacedCharactersText(replaced, data));
    try {
        // A full buffer holds this thread, and with it the reading of further item changes;
        // a calculation thread that stops meanwhile ends the wait, as it ignores them anyway.
        HandleItemChange(
            appID, item, data, CalcAppID, input_, [this] { host_.SignalThread(); },
            [this](const std::string& text) { PostStatus(text); },
            [this] { return TItemChangeReceiver::ServeWhileWaiting() && !host_.ThreadStopped(); },
            &dropped_);
    } catch (const std::exception& e) {
        PostStatus(std::string("Error 1600: ") + e.what());
    }
}

void TSuiteConnections::ReceivedShutdown(TDataSourceKind kind, const std::string& appID) {
    // Every item change the source sent before it has been queued by now.
    QMetaObject::invokeMethod(
        this,
        [this, kind, appID] {
            if (!Source(kind).Connected) return;
            {
                TLockGuard guard(eventLock_);
                eventAppID_ = appID;
            }
            host_.LogStatus(ShutdownText(kind));
            DisconnectSource(kind);
        },
        Qt::QueuedConnection);
}

void TSuiteConnections::ReceivedOwnerLost(TDataSourceKind kind) {
    // Every item change it sent before has been queued by now. A source that said its shutdown
    // was disconnected then, and one disconnected meanwhile (a refresh) is no news.
    QMetaObject::invokeMethod(
        this,
        [this, kind] {
            TSourceState& state = Source(kind);
            if (!state.Connected) return;
            host_.LogStatus(OwnerLostText(kind));
            DisconnectSource(kind);
            // Started again already: its appearance found it still connected.
            if (NameRunning(state.Source.BusName)) SourceAppeared(kind);
        },
        Qt::QueuedConnection);
}

}  // namespace ov
