// The main window.
// The engine's headers come before Qt's: Qt's keyword macros would clash with their names.
#include "calc/RatingTables.h"
#include "suite/DataStore.h"
#include "suite/SetupParams.h"

#include "app/CalcMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <condition_variable>
#include <cstdio>
#include <exception>

#include "bus/BusSetupQuery.h"
#include "bus/DdeAdaptor.h"
#include "suite/DdeManager.h"
#include "ui/AboutForm.h"
#include "ui/ExitConfirm.h"
#include "ui/Help.h"
#include "ui/Options.h"
#include "util/FormatSettings.h"
#include "util/TimeTag.h"

#ifndef OV_FILE_VERSION
#define OV_FILE_VERSION ""
#endif
#ifndef OV_PRODUCT_VERSION
#define OV_PRODUCT_VERSION ""
#endif

namespace ov {
namespace {

// The long part of a hint "short|long" (the whole hint when it has no bar).
QString LongHint(const QString& hint) {
    int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.mid(bar + 1);
}
QString ShortHint(const QString& hint) {
    int bar = hint.indexOf('|');
    return bar < 0 ? hint : hint.left(bar);
}

// The data store's host: the window's box and close request.
class TStoreHost : public IDataStoreHost {
public:
    explicit TStoreHost(TfrmCalcMain& window) : window_(window) {}
    TMessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption) override {
        return window_.ShowMessageBox(text, caption);
    }
    void PostCloseRequest() override { window_.PostCloseRequest(); }

private:
    TfrmCalcMain& window_;
};

bool OnMainThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

}  // namespace

TfrmCalcMain::TfrmCalcMain(TCalcMainOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
    setObjectName("frmCalcMain");
    setWindowTitle("OV Calc");
    setGeometry(334, 335, 564, 421);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* statusCaption = new QLabel("Status", central);
    statusCaption->setObjectName("pnlStatus");
    statusCaption->setFrameShape(QFrame::Panel);
    statusCaption->setFrameShadow(QFrame::Raised);
    layout->addWidget(statusCaption);
    memoStatus_ = new QPlainTextEdit(central);
    memoStatus_->setObjectName("memoStatus");
    memoStatus_->setReadOnly(true);
    memoStatus_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoStatus_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoStatus_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoStatus_->setToolTip("Display the status messages in this window.");
    memoStatus_->setStatusTip("Display the status messages in this window.");
    layout->addWidget(memoStatus_, 1);
    setCentralWidget(central);

    panel0_ = new QLabel("Service Stopped", this);
    panel0_->setObjectName("StatusBarPanel0");
    panel0_->setFixedWidth(120);
    panel1_ = new QLabel(this);
    panel1_->setObjectName("StatusBarPanel1");
    panel1_->setMinimumWidth(100);
    statusBar()->addWidget(panel0_);
    statusBar()->addWidget(panel1_, 1);

    CreateActions();

    tmrTimer_ = new QTimer(this);
    tmrTimer_->setObjectName("tmrTimer");
    tmrTimer_->setInterval(1000);
    connect(tmrTimer_, &QTimer::timeout, this, &TfrmCalcMain::tmrTimerTimer);
    tmrHeartBeat_ = new QTimer(this);
    tmrHeartBeat_->setObjectName("tmrHeartBeat");
    tmrHeartBeat_->setInterval(60000);
    connect(tmrHeartBeat_, &QTimer::timeout, this, [this] {
        try {
            com_->HeartBeat();
        } catch (...) {
        }
    });

    setupDialog_ = &MakeDefaultSetupDialog;
    FormCreate();

    tmrTimer_->start();
    tmrHeartBeat_->start();
}

void TfrmCalcMain::CreateActions() {
    struct TCommand {
        const char* name;
        const char* menu;
        const char* caption;
        bool toolBar;
        const char* hint;
        void (TfrmCalcMain::*execute)();
    };
    const TCommand commands[] = {
        {"actRefreshParams", "&File", "&Refresh Params", true,
         "Send Refresh command to client apps|Command client apps to refresh setup parameters.",
         &TfrmCalcMain::actRefreshParamsExecute},
        {"actExit", "&File", "E&xit", false, "Exit|Quits the application", nullptr},
        {"actOptionsEditSetup", "&Options", "Edit &Setup Parameters", true,
         "Edit setup parameters|Edit parameters.", &TfrmCalcMain::actOptionsEditSetupExecute},
        {"actClearStatus", "&Options", "Clear Status &Messages", true,
         "Clear messages|Clear status messages.", &TfrmCalcMain::actClearStatusExecute},
        {"actLogStatus", "&Options", "&Log Status Messages", true,
         "Log all status and error messages|Log status and error messages to disk.",
         &TfrmCalcMain::actLogStatusExecute},
        {"actAppOptions", "&Options", "Application &Options", false,
         "Show application option dialog.", &TfrmCalcMain::actAppOptionsExecute},
        {"actHelp", "&Help", "&Help", true, "Show help index tab.", nullptr},
        {"actHelpContents", "&Help", "&Contents", false, "Show help contents.", nullptr},
        {"actAbout", "&Help", "About...", false, "Help", &TfrmCalcMain::actAboutExecute},
    };
    auto* toolBar = addToolBar("Tool Bar");
    toolBar->setObjectName("ToolBar1");
    toolBar->setMovable(false);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QMenu* menu = nullptr;
    QString menuName;
    for (const auto& c : commands) {
        if (menuName != c.menu) {
            menuName = c.menu;
            menu = menuBar()->addMenu(menuName);
        }
        auto* action = new QAction(c.caption, this);
        action->setObjectName(c.name);
        action->setToolTip(ShortHint(c.hint));
        action->setStatusTip(LongHint(c.hint));
        menu->addAction(action);
        if (c.toolBar) toolBar->addAction(action);
        if (c.execute) {
            auto execute = c.execute;
            connect(action, &QAction::triggered, this, [this, execute] { (this->*execute)(); });
        }
    }
    Action("actLogStatus")->setCheckable(true);
    connect(Action("actExit"), &QAction::triggered, this, &QWidget::close);
    // "&Help" opens the contents, "&Contents" the index.
    connect(Action("actHelp"), &QAction::triggered, this, [this] { ShowHelpContents(helpFile_); });
    connect(Action("actHelpContents"), &QAction::triggered, this,
            [this] { ShowHelpIndex(helpFile_); });
}

QAction* TfrmCalcMain::Action(const QString& objectName) const {
    return findChild<QAction*>(objectName);
}

void TfrmCalcMain::FormCreate() {
    appID_ = std::string(OVCalcAppID);
    firstShow_ = true;
    timerBusy_ = false;

    exeFolder_ = options_.ExeFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                              : options_.ExeFolder;
    if (!exeFolder_.endsWith('/')) exeFolder_ += '/';
    helpFile_ = exeFolder_ + "OVCalc.html";
    logFolder_ = exeFolder_;

    // The DDE service: its topics, and the text format listed on its system topic.
    dde_ = std::make_unique<TDDEMLManager>();
    dde_->AddService(CalcDdeService);
    dde_->AddTopic(dde_->ServiceName(0), CalcDdeSystemTopic);
    dde_->AddTopic(dde_->ServiceName(0), CalcDdeDataTopic);
    dde_->AddFormat(dde_->ServiceName(0), CalcDdeSystemTopic, DdeTextFormat);

    dataStore_ = std::make_unique<TOVCalcDataDatabase>(DataStoreCapacity, DataStoreGrowBy);
    storeHost_ = std::make_unique<TStoreHost>(*this);
    dataStore_->SetHost(storeHost_.get());
    dataStore_->SetAutoCreate(true, "");
    dataStore_->AddItem(TimeTagItem);
    dataStore_->AddItem(RealTimeItem);

    com_ = std::make_shared<TOVCalcCOM>(*dataStore_, this);
    dataStore_->RegisterAutomationObject(com_);

    groups_ = std::make_unique<TCalcGroups>();

    configFile_ = std::make_unique<TConfigFile>(
        [this](const std::string& text) { LogStatus(QString::fromStdString(text)); });
    try {
        configFile_->OpenConfig(exeFolder_.toStdString());
        configFile_->ReadConfig(settings_, *groups_);
        logDetail_ = settings_.LogDetail;
        TWindowPlacement current{x(), y(), width(), height()};
        TWindowPlacement placement = configFile_->ReadWindowPlacement(current);
        setGeometry(placement.Left, placement.Top, placement.Width, placement.Height);
    } catch (const std::exception&) {
        // A configuration that cannot be read leaves the defaults; ReadConfig reports its own.
    }

    input_ = std::make_unique<TInputStationSensorBuffer>(*this);
    output_ = std::make_unique<TOutputBuffer>(*this);
    if (options_.UseBus) {
        setupQuery_ = std::make_unique<TBusSetupQuery>();
        suite_ = std::make_unique<TSuiteConnections>(*this, *input_, QDBusConnection::sessionBus(),
                                                     options_.Suite);
        if (options_.Automation) {
            comAdaptor_ = std::make_unique<TOVCalcComAdaptor>(*com_, QDBusConnection::sessionBus());
            connect(comAdaptor_.get(), &TOVCalcComAdaptor::ClientsChanged, this,
                    &TfrmCalcMain::ClientsChanged);
            if (!comAdaptor_->Export())
                LogStatus(QString("Error 1600: the automation object could not be exported at "
                                  "/OVCalcCOM"));
            ddeAdaptor_ = std::make_unique<TDdeAdaptor>(*dde_, QDBusConnection::sessionBus());
            if (!ddeAdaptor_->Export())
                LogStatus(QString("Error 1600: the DDE service could not be exported at /DDE"));
        }
    }
    threadStopped_ = true;
}

TfrmCalcMain::~TfrmCalcMain() {
    tmrTimer_->stop();
    try {
        StopThread();
    } catch (...) {
    }
    thread_.reset();
    suite_.reset();
    FormDestroy();
    comAdaptor_.reset();
    ddeAdaptor_.reset();
    dataStore_->RevokeAutomationObject();
    com_.reset();
    dataStore_->SetHost(nullptr);
}

void TfrmCalcMain::FormDestroy() {
    try {
        if (configFile_ && configFile_->IsOpen()) {
            QRect g = geometry();
            configFile_->WriteWindowPlacement({g.x(), g.y(), g.width(), g.height()});
        }
    } catch (const std::exception&) {
        // The placement is not worth an error at exit.
    }
    if (logFile_) logFile_->close();
}

// ---- status list ------------------------------------------------------------------------

void TfrmCalcMain::LogStatus(const QString& text) {
    if (statusCount_ >= StatusLimit) {
        // Keep the newest StatusTrimTo - 1 lines.
        QTextDocument* doc = memoStatus_->document();
        QTextBlock last = doc->findBlockByNumber(StatusTrimTo - 2);
        QTextCursor cursor(doc);
        cursor.setPosition(last.position() + last.length() - 1);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        statusCount_ = StatusTrimTo - 1;
    }
    const QString line =
        QString::fromStdString(DateTimeText(Now(), LocaleFormatSettings())) + "    " + text;
    if (statusCount_ == 0) {
        memoStatus_->setPlainText(line);
    } else {
        QTextCursor cursor(memoStatus_->document());
        cursor.movePosition(QTextCursor::Start);
        cursor.insertText(line);
        cursor.insertBlock();
    }
    ++statusCount_;
    const QByteArray bytes = line.toLocal8Bit();
    std::fprintf(stderr, "%s\n", bytes.constData());
    if (logToFile_) WriteLogLine(line);
}

void TfrmCalcMain::WriteLogLine(const QString& line) {
    if (!logFile_) return;
    // A failed write is ignored: the line is still shown.
    logFile_->write(line.toLocal8Bit());
    logFile_->write("\n");
    logFile_->flush();
}

QStringList TfrmCalcMain::StatusLines() const {
    if (statusCount_ == 0) return {};
    return memoStatus_->toPlainText().split('\n');
}

QString TfrmCalcMain::StatusPanelText(int panel) const {
    return panel == 0 ? panel0_->text() : panel1_->text();
}

void TfrmCalcMain::actClearStatusExecute() {
    memoStatus_->clear();
    statusCount_ = 0;
}

void TfrmCalcMain::DrainOutput(bool pump) {
    std::string text;
    TOutputKind kind;
    int lines = 0;
    while (output_->Get(text, kind)) {
        const QString line = QString::fromStdString(text);
        if (kind == okStatus) panel0_->setText(line);
        LogStatus(line);
        if (++lines % 11 == 0 && pump) QCoreApplication::processEvents();
    }
}

// The long part of the hint under the mouse goes to the second panel.
bool TfrmCalcMain::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        panel1_->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

// ---- log file ---------------------------------------------------------------------------

void TfrmCalcMain::actLogStatusExecute() {
    if (logToFile_) {
        if (logFile_) {
            logFile_->flush();
            logFile_->close();
            logFile_.reset();
        }
        logToFile_ = false;
    } else {
        QString name;
        if (fileChooser_) {
            name = fileChooser_(logFolder_);
        } else {
            QFileDialog dialog(this, "Log Status Messages", logFolder_,
                               "Log Files (*.log);;All Files (*.*)");
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix("log");
            if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
                name = dialog.selectedFiles().first();
        }
        if (!name.isEmpty()) {
            logFolder_ = QFileInfo(name).absolutePath();
            auto file = std::make_unique<QFile>(name);
            if (file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
                logFile_ = std::move(file);
                logToFile_ = true;
            } else {
                logToFile_ = false;
            }
        }
    }
    Action("actLogStatus")->setChecked(logToFile_);
}

// ---- small commands -----------------------------------------------------------------------

void TfrmCalcMain::actAppOptionsExecute() {
    try {
        TfrmOptions form(this);
        form.SetLogDetail(logDetail_);
        if (form.exec() == QDialog::Accepted) logDetail_ = form.LogDetail();
    } catch (...) {
    }
}

void TfrmCalcMain::actAboutExecute() {
    TfmAbout box(this);
    box.SetVersionInfo(OV_FILE_VERSION, OV_PRODUCT_VERSION);
    box.AppNameLabel->setText("OV Calc");
    box.setWindowTitle("About OV Calc");
    box.PartNumberLabel->setText("XXXX-XXXX");
    box.exec();
}

void TfrmCalcMain::tmrTimerTimer() {
    if (timerBusy_) return;
    timerBusy_ = true;
    try {
        SignalThread();
        DrainOutput(true);
    } catch (...) {
    }
    timerBusy_ = false;
}

void TfrmCalcMain::Restore() {
    if (!isVisible()) show();
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
}

// ---- the calculation thread ---------------------------------------------------------------

void TfrmCalcMain::SignalThread() {
    if (!threadStopped_) wake_.Signal();
}

void TfrmCalcMain::StopThread() {
    if (threadStopped_ || !thread_) return;
    thread_->RequestStop();
    wake_.Signal();
    // Short steps, serving the thread's drain requests and end call meanwhile.
    while (!thread_->WaitFor(std::chrono::milliseconds(10))) QCoreApplication::processEvents();
    threadStopped_ = true;
}

void TfrmCalcMain::NewThread() {
    thread_.reset();
    auto thread = std::make_unique<TWorkThread>(*this, *input_, *output_);
    thread->SetScheduleDelay(settings_.ScheduleDelay);
    {
        std::lock_guard<std::mutex> guard(threadLock_);
        currentThread_ = thread.get();
        ++threadSerial_;
    }
    thread_ = std::move(thread);
    threadStopped_ = true;
}

void TfrmCalcMain::StartThreadIfStorage() {
    if (!StorageStartsCalculation(DataServerSetup().StorageOption)) return;
    input_->Clear();
    output_->Clear();
    thread_->CopyGroups(*groups_);
    threadStopped_ = false;
    thread_->Start();
}

void TfrmCalcMain::ThreadEnded(TWorkThread& thread) {
    std::uint64_t serial;
    {
        std::lock_guard<std::mutex> guard(threadLock_);
        if (&thread != currentThread_) return;  // a replaced thread
        serial = threadSerial_;
    }
    QMetaObject::invokeMethod(
        this,
        [this, serial] {
            std::lock_guard<std::mutex> guard(threadLock_);
            if (serial == threadSerial_) threadStopped_ = true;
        },
        Qt::QueuedConnection);
}

bool TfrmCalcMain::RequestDrain(std::chrono::milliseconds limit) {
    if (OnMainThread()) {
        DrainOutput(true);
        return true;
    }
    struct TDone {
        std::mutex lock;
        std::condition_variable changed;
        bool done = false;  // guarded by lock
    };
    auto done = std::make_shared<TDone>();
    QMetaObject::invokeMethod(
        this,
        [this, done] {
            DrainOutput(true);
            std::lock_guard<std::mutex> guard(done->lock);
            done->done = true;
            done->changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> guard(done->lock);
    return done->changed.wait_for(guard, limit, [&] { return done->done; });
}

void TfrmCalcMain::ProcessUiEvents() { QCoreApplication::processEvents(); }

void TfrmCalcMain::PublishResult(const std::string& itemName, const std::string& text) {
    ov::PublishResult(*dataStore_, itemName, text);
}

bool TfrmCalcMain::QuerySetup(const std::string& key, std::string& value) {
    return setupQuery_ && setupQuery_->QuerySetup(key, value);
}

// A bus that cannot be reached now only makes the queries answer no value; the run goes on.
bool TfrmCalcMain::InitCalcThread() {
    if (setupQuery_) setupQuery_->AttachThread();
    return true;
}

void TfrmCalcMain::DoneCalcThread() {
    if (setupQuery_) setupQuery_->DetachThread();
}

// ---- the suite's events ---------------------------------------------------------------------

// Both come from a server's event: queued, so that the event's own subscription is not
// dropped (by the refresh's or the close's disconnects) while it is being delivered.
void TfrmCalcMain::RefreshParams() {
    QMetaObject::invokeMethod(this, &TfrmCalcMain::actRefreshParamsExecute, Qt::QueuedConnection);
}

void TfrmCalcMain::ResetAllParams() {
    QMetaObject::invokeMethod(this, &TfrmCalcMain::actRefreshParamsExecute, Qt::QueuedConnection);
}

void TfrmCalcMain::ShutdownCommanded() {
    ForcedClose = true;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// ---- the data store's host ----------------------------------------------------------------

TMessageBoxAnswer TfrmCalcMain::ShowMessageBox(const std::string& text, const std::string& caption) {
    auto ask = [this, &text, &caption] {
        auto answer = QMessageBox::warning(
            this, QString::fromStdString(caption), QString::fromStdString(text),
            QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
        return answer == QMessageBox::Abort   ? mrAbort
               : answer == QMessageBox::Retry ? mrRetry
                                              : mrIgnore;
    };
    if (OnMainThread()) return ask();
    // The store has released its lock: the main thread may use the store meanwhile.
    TMessageBoxAnswer answer = mrIgnore;
    QMetaObject::invokeMethod(
        this, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
    return answer;
}

void TfrmCalcMain::PostCloseRequest() {
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// ---- refresh and setup --------------------------------------------------------------------

void TfrmCalcMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (firstShow_) {
        firstShow_ = false;
        QMetaObject::invokeMethod(this, &TfrmCalcMain::actRefreshParamsExecute,
                                  Qt::QueuedConnection);
    }
}

void TfrmCalcMain::actRefreshParamsExecute() {
    try {
        StopThread();
        DrainOutput(false);
        rating::ClearTables();
        NewThread();
        TRefreshOutcome outcome;
        if (suite_) outcome = suite_->Refresh();
        if (outcome.Result) StartThreadIfStorage();
        if (outcome.SetupAttached) setWindowTitle("OV Calc (local)");
    } catch (const std::exception& e) {
        LogStatus("Error 1600: " + QString::fromStdString(e.what()));
    }
}

void TfrmCalcMain::actOptionsEditSetupExecute() {
    try {
        const bool wasRunning = !threadStopped_;
        bool changed = false;
        {
            std::unique_ptr<ISetupDialog> dialog = setupDialog_(this);
            changed = dialog->Execute(*groups_);
        }
        if (!changed) return;
        // Saved edits reach the file at once, not only at shutdown.
        configFile_->WriteConfig(settings_, *groups_);
        if (wasRunning) {
            LogStatus(QString("Setup has been changed. Restarting the calcuation thread."));
            StopThread();
            NewThread();
            StartThreadIfStorage();
        }
    } catch (const std::exception& e) {
        LogStatus("Error 1600: " + QString::fromStdString(e.what()));
    }
}

// ---- shutdown -----------------------------------------------------------------------------

bool TfrmCalcMain::FormCloseQuery() {
    if (!ConfirmExit()) return false;
    try {
        setWindowTitle("*** Shutting Down OV Calc... Please Wait ***");
        com_->AnnounceShutdown();
        StopThread();
        if (suite_) suite_->DisconnectAll();
        settings_.LogDetail = logDetail_;
        configFile_->WriteConfig(settings_, *groups_);
        tmrTimer_->stop();
        DrainOutput(true);
    } catch (...) {
        // The window closes all the same.
    }
    return true;
}

void TfrmCalcMain::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        if (!FormCloseQuery()) {
            event->ignore();
            return;
        }
        closing_ = true;
        emit ShutdownDone();
    }
    thread_.reset();  // FormClose
    event->accept();
}

}  // namespace ov
