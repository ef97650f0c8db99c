// The engine's host: process-wide objects, the calculation thread's lifecycle, refresh, setup
// change and shutdown.
#include "app/CalcController.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <exception>

#include "app/StatusLog.h"
#include "bus/BusSetupQuery.h"
#include "bus/DdeAdaptor.h"
#include "qttext/QtText.h"
#include "suite/DdeManager.h"
#include "suite/SetupParams.h"
#include "ui/ExitConfirm.h"
#include "util/ProgramFolders.h"

namespace ov {
namespace {

bool OnMainThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

TCalcController::TCalcController(TStatusLog& log, TCalcMainOptions options, QObject* parent)
    : QObject(parent), log_(log), options_(std::move(options)) {
    exeFolder_ =
        options_.ExeFolder.isEmpty() ? QCoreApplication::applicationDirPath() : options_.ExeFolder;
    if (!exeFolder_.endsWith('/')) exeFolder_ += '/';
    configFolder_ = QString::fromStdString(ov::ConfigFolder(exeFolder_.toStdString()).string());
    if (!configFolder_.endsWith('/')) configFolder_ += '/';

    // The DDE service: its topics, and the text format listed on its system topic.
    dde_ = std::make_unique<TDDEMLManager>();
    dde_->AddService(CalcDdeService);
    dde_->AddTopic(dde_->ServiceName(0), CalcDdeSystemTopic);
    dde_->AddTopic(dde_->ServiceName(0), CalcDdeDataTopic);
    dde_->AddFormat(dde_->ServiceName(0), CalcDdeSystemTopic, DdeTextFormat);

    dataStore_ = std::make_unique<TOVCalcDataDatabase>(DataStoreCapacity, DataStoreGrowBy);
    dataStore_->SetAutoCreate(true, "");
    dataStore_->AddItem(TimeTagItem);
    dataStore_->AddItem(RealTimeItem);
    results_ = std::make_unique<TResultPublisher>(*dataStore_);

    com_ = std::make_shared<TOVCalcCOM>(*dataStore_, this);
    dataStore_->RegisterAutomationObject(com_);

    groups_ = std::make_unique<TCalcGroups>();

    configFile_ =
        std::make_unique<TConfigFile>([this](const std::string& text) { LogStatus(text); });
    try {
        configFile_->OpenConfig(configFolder_.toStdString());
        configFile_->ReadConfig(settings_, *groups_);
        logDetail_ = settings_.LogDetail;
    } catch (const std::exception&) {
        // A configuration that cannot be read leaves the defaults; ReadConfig reports its own.
    }

    input_ = std::make_unique<TInputStationSensorBuffer>(*this);
    output_ = std::make_unique<TOutputBuffer>(*this);
    // The rating tables' cache for the whole run of the program, cleared at each refresh. A
    // table that cannot be found or read is said in the status list (once per name until the
    // next refresh), from the calculation thread that looks it up.
    tables_ = std::make_unique<rating::TTables>([] { return std::string(); });
    tables_->SetProblemReport(
        [output = output_.get()](const std::string& line) { output->Add(line, okError); });
    if (options_.UseBus) {
        setupQuery_ = std::make_unique<TBusSetupQuery>(QDBusConnection::sessionBus(),
                                                       options_.Suite.CallTimeout);
        suite_ = std::make_unique<TSuiteConnections>(*this, *input_, QDBusConnection::sessionBus(),
                                                     options_.Suite);
        suite_->SetSetupQuery(setupQuery_.get());
        if (options_.Automation) {
            comAdaptor_ = std::make_unique<TOVCalcComAdaptor>(*com_, QDBusConnection::sessionBus());
            connect(comAdaptor_.get(), &TOVCalcComAdaptor::ClientsChanged, this,
                    &TCalcController::ClientsChanged);
            if (!comAdaptor_->Export())
                LogStatus("Error 1600: the automation object could not be exported at /OVCalcCOM");
            ddeAdaptor_ = std::make_unique<TDdeAdaptor>(*dde_, QDBusConnection::sessionBus());
            if (!ddeAdaptor_->Export())
                LogStatus("Error 1600: the DDE service could not be exported at /DDE");
        }
    }
    threadStopped_ = true;
}

TCalcController::~TCalcController() {
    try {
        StopThread();
    } catch (...) {
    }
    thread_.reset();
    suite_.reset();
    comAdaptor_.reset();
    ddeAdaptor_.reset();
    dataStore_->RevokeAutomationObject();
    com_.reset();
    dataStore_->SetHost(nullptr);
}

TWindowPlacement TCalcController::ReadWindowPlacement(const TWindowPlacement& current) const {
    try {
        return configFile_->ReadWindowPlacement(current);
    } catch (const std::exception&) {
        return current;
    }
}

void TCalcController::WriteWindowPlacement(const TWindowPlacement& placement) {
    try {
        if (configFile_ && configFile_->IsOpen()) configFile_->WriteWindowPlacement(placement);
    } catch (const std::exception&) {
        // The placement is not worth an error at exit.
    }
}

int TCalcController::ClientsHoldingObjects() const {
    return comAdaptor_ ? comAdaptor_->ClientsHoldingObjects() : 0;
}

TCalcController::TCalcCounts TCalcController::Counts() const {
    return {results_->Published(), errors_, results_->LastPublished()};
}

void TCalcController::LogStatus(const std::string& text) {
    log_.AddEngineText(text, text.size());
}

void TCalcController::HeartBeat() {
    try {
        com_->HeartBeat();
    } catch (...) {
    }
}

void TCalcController::DrainOutput(bool pump) {
    TOutputLine line;
    int lines = 0;
    while (output_->Get(line)) {
        if (line.Kind == okStatus) {
            Q_EMIT ThreadStatus(TStatusLog::Bounded(QtText(line.Text), line.Length));
        }
        if (line.Kind == okError) ++errors_;
        log_.AddEngineText(line.Text, line.Length);
        if (++lines % 11 == 0 && pump) QCoreApplication::processEvents();
    }
}

// ---- the calculation thread ---------------------------------------------------------------

void TCalcController::SignalThread() {
    if (!threadStopped_) wake_.Signal();
}

void TCalcController::StopThread() {
    if (threadStopped_ || !thread_) return;
    // A query that waits for the setup server to come back would hold the thread meanwhile.
    if (setupQuery_) setupQuery_->CancelWaits();
    thread_->RequestStop();
    wake_.Signal();
    // Short steps, serving the thread's drain requests and end call meanwhile.
    while (!thread_->WaitFor(std::chrono::milliseconds(10))) QCoreApplication::processEvents();
    threadStopped_ = true;
}

void TCalcController::NewThread() {
    thread_.reset();
    auto thread = std::make_unique<TWorkThread>(*this, *results_, *input_, *output_);
    thread->SetScheduleDelay(settings_.ScheduleDelay);
    {
        TLockGuard guard(threadLock_);
        currentThread_ = thread.get();
        ++threadSerial_;
    }
    thread_ = std::move(thread);
    threadStopped_ = true;
}

void TCalcController::StartThreadIfStorage() {
    if (!StorageStartsCalculation(DataServerSetup().StorageOption)) return;
    input_->Clear();
    output_->Clear();
    thread_->CopyGroups(*groups_);
    // The settings the refresh loaded, for the whole run.
    thread_->CopySettings(GeneralSetup());
    threadStopped_ = false;
    thread_->Start();
}

void TCalcController::ThreadEnded(TWorkThread& thread) {
    std::uint64_t serial;
    {
        TLockGuard guard(threadLock_);
        if (&thread != currentThread_) return;  // a replaced thread
        serial = threadSerial_;
    }
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            TLockGuard guard(threadLock_);
            if (serial == threadSerial_) threadStopped_ = true;
        },
        Qt::QueuedConnection);
}

bool TCalcController::RequestDrain(std::chrono::milliseconds limit) {
    if (OnMainThread()) {
        DrainOutput(true);
        return true;
    }
    struct TDone {
        TMutex lock;
        std::condition_variable changed;
        bool done OV_GUARDED_BY(lock) = false;
    };
    auto done = std::make_shared<TDone>();
    QMetaObject::invokeMethod(
        this,
        [this, done] {
            DrainOutput(true);
            TLockGuard guard(done->lock);
            done->done = true;
            done->changed.notify_all();
        },
        Qt::QueuedConnection);
    TUniqueLock guard(done->lock);
    return done->changed.wait_for(guard.Native(), limit,
                                  [&]() OV_REQUIRES(done->lock) { return done->done; });
}

void TCalcController::ProcessUiEvents() {
    QCoreApplication::processEvents();
}

bool TCalcController::QuerySetup(const std::string& key, std::string& value) {
    return setupQuery_ && setupQuery_->QuerySetup(key, value);
}

// A bus that cannot be reached now only makes the queries answer no value; the run goes on.
bool TCalcController::InitCalcThread() {
    if (setupQuery_) setupQuery_->AttachThread();
    return true;
}

void TCalcController::DoneCalcThread() {
    if (setupQuery_) setupQuery_->DetachThread();
}

// ---- the suite's events ---------------------------------------------------------------------

// Both come from a server's event: queued, so that the event's own subscription is not
// dropped (by the refresh's or the close's disconnects) while it is being delivered.
void TCalcController::RefreshParams() {
    QMetaObject::invokeMethod(this, &TCalcController::Refresh, Qt::QueuedConnection);
}

void TCalcController::ResetAllParams() {
    QMetaObject::invokeMethod(this, &TCalcController::Refresh, Qt::QueuedConnection);
}

void TCalcController::ShutdownCommanded() {
    ForcedClose = true;
    // The setup server may end before the close: it is not started again.
    if (suite_) suite_->EndRestarts();
    QMetaObject::invokeMethod(this, &TCalcController::CloseRequested, Qt::QueuedConnection);
}

// ---- refresh, setup change, shutdown ------------------------------------------------------

void TCalcController::Refresh() {
    try {
        StopThread();
        DrainOutput(false);
        tables_->ClearTables();
        NewThread();
        TRefreshOutcome outcome;
        if (suite_) outcome = suite_->Refresh();
        if (outcome.Result) StartThreadIfStorage();
        if (outcome.SetupAttached) Q_EMIT SetupServerAttached();
        // Found before the bus's own watch looks again: said now, once.
        if (outcome.BusGone) BusLost();
    } catch (const std::exception& e) {
        LogStatus(std::string("Error 1600: ") + e.what());
    }
}

void TCalcController::GroupsSaved(bool wasRunning) {
    // Saved edits reach the file at once, not only at shutdown.
    configFile_->WriteConfig(settings_, *groups_);
    if (!wasRunning) return;
    LogStatus("Setup has been changed. Restarting the calcuation thread.");
    StopThread();
    NewThread();
    StartThreadIfStorage();
}

void TCalcController::BusLost() {
    if (busLost_) return;
    busLost_ = true;
    LogStatus(
        "Error 1600: The session bus has gone away. OV Calc stops calculating, writes its "
        "configuration and ends.");
    if (suite_) suite_->EndRestarts();
    // The thread stops after the item in hand (every query of it fails now), rather than
    // reporting each item still queued until the close stops it.
    if (thread_ && !threadStopped_) thread_->RequestStop();
    // A query of the thread that waits for a setup server to come back ends now.
    if (setupQuery_) setupQuery_->CancelWaits();
    ForcedClose = true;
    QMetaObject::invokeMethod(this, &TCalcController::CloseRequested, Qt::QueuedConnection);
}

void TCalcController::ShutDown() {
    if (suite_) suite_->EndRestarts();
    // Without a bus there is nobody to tell, and the failed announcement would say a client
    // did not answer.
    if (!busLost_) com_->AnnounceShutdown();
    StopThread();
    if (suite_) suite_->DisconnectAll();
    settings_.LogDetail = logDetail_;
    configFile_->WriteConfig(settings_, *groups_);
}

}  // namespace ov
