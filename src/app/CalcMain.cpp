// The main window.
#include "app/CalcMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
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
#include <algorithm>
#include <exception>

#include "qttext/QtText.h"
#include "suite/DataStore.h"
#include "ui/AboutForm.h"
#include "ui/ExitConfirm.h"
#include "ui/Help.h"
#include "ui/Options.h"
#include "util/FormatSettings.h"
#include "util/ProgramFolders.h"
#include "util/ProgramInfo.h"
#include "util/TimeTag.h"

#ifndef OV_INSTALL_DOCDIR
#define OV_INSTALL_DOCDIR ""
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

bool OnMainThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

TfrmCalcMain::TfrmCalcMain(TCalcMainOptions options, QWidget* parent) : QMainWindow(parent) {
    setObjectName("frmCalcMain");
    setWindowTitle("OV Calc");
    setGeometry(334, 335, 564, 421);
    CreateStatusView();
    CreateActions();

    tmrTimer_ = new QTimer(this);
    tmrTimer_->setObjectName("tmrTimer");
    tmrTimer_->setInterval(1000);
    connect(tmrTimer_, &QTimer::timeout, this, &TfrmCalcMain::tmrTimerTimer);
    tmrHeartBeat_ = new QTimer(this);
    tmrHeartBeat_->setObjectName("tmrHeartBeat");
    tmrHeartBeat_->setInterval(60000);
    // The group setup dialog on the suite database, for each showing anew.
    setupDialog_ = [this](QWidget* parent) {
        return MakeSetupDialog(parent, TSetupContext{.Connection = *database_,
                                                     .Boxes = boxes_,
                                                     .Picker = *picker_,
                                                     .DataServer = DataServerSetup(),
                                                     .HelpFile = helpFile_});
    };

    // FormCreate: the controller makes the process-wide objects and reads the configuration.
    firstShow_ = true;
    timerBusy_ = false;
    controller_ = std::make_unique<TCalcController>(log_, std::move(options));
    storeHost_ = std::make_unique<TStoreHost>(*this);
    controller_->DataStore().SetHost(storeHost_.get());
    helpFile_ = QString::fromStdString(
        FindHelpFile(controller_->ExeFolder().toStdString(), "OVCalc.html", OV_INSTALL_DOCDIR)
            .string());
    logFolder_ = controller_->ConfigFolder();
    TWindowPlacement placement = controller_->ReadWindowPlacement({x(), y(), width(), height()});
    setGeometry(placement.Left, placement.Top, placement.Width, placement.Height);

    connect(controller_.get(), &TCalcController::ThreadStatus, panel0_, &QLabel::setText);
    connect(controller_.get(), &TCalcController::SetupServerAttached, this,
            [this] { setWindowTitle("OV Calc (local)"); });
    connect(controller_.get(), &TCalcController::CloseRequested, this, &QWidget::close);
    connect(controller_.get(), &TCalcController::ClientsChanged, this,
            &TfrmCalcMain::ClientsChanged);
    connect(tmrHeartBeat_, &QTimer::timeout, controller_.get(), &TCalcController::HeartBeat);

    tmrTimer_->start();
    tmrHeartBeat_->start();

    // The station/sensor picker exists from the start for the whole run (hidden between uses),
    // so that it offers the view chosen last.
    picker_ = new TfrmSelectOneStationSensor(this);
}

// The status list follows the status log: the newest line on top, the oldest cut off.
void TfrmCalcMain::CreateStatusView() {
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
    // Wide enough for the longest text it shows: its first one and the thread's status lines.
    int widest = 0;
    for (const char* text : {"Service Stopped", "Calculation thread started.",
                             "Calcuation thread stopped.", "CoInitialize failed"}) {
        widest = std::max(widest, panel0_->fontMetrics().horizontalAdvance(text));
    }
    const QMargins margins = panel0_->contentsMargins();
    panel0_->setFixedWidth(widest + margins.left() + margins.right() + 2 * panel0_->margin() + 8);
    panel1_ = new QLabel(this);
    panel1_->setObjectName("StatusBarPanel1");
    panel1_->setText("Results: 0   Errors: 0");
    panel1_->setMinimumWidth(100);
    statusBar()->addWidget(panel0_);
    statusBar()->addWidget(panel1_, 1);

    connect(&log_, &TStatusLog::Trimmed, this, [this](int kept) {
        QTextDocument* doc = memoStatus_->document();
        QTextBlock last = doc->findBlockByNumber(kept - 1);
        QTextCursor cursor(doc);
        cursor.setPosition(last.position() + last.length() - 1);
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    });
    connect(&log_, &TStatusLog::Added, this, [this](const QString& line) {
        if (log_.Count() == 1) {
            memoStatus_->setPlainText(line);
        } else {
            QTextCursor cursor(memoStatus_->document());
            cursor.movePosition(QTextCursor::Start);
            cursor.insertText(line);
            cursor.insertBlock();
        }
    });
    connect(&log_, &TStatusLog::Cleared, memoStatus_, &QPlainTextEdit::clear);
}

void TfrmCalcMain::CreateActions() {
    struct TCommand {
        const char* name;
        const char* menu;
        const char* caption;
        const char* toolBarText;  // the tool-bar button's text; nullptr: not on the tool bar
        const char* hint;
        void (TfrmCalcMain::*execute)();
    };
    const TCommand commands[] = {
        {"actRefreshParams", "&File", "&Refresh Params", "Refresh Params",
         "Send Refresh command to client apps|Command client apps to refresh setup parameters.",
         &TfrmCalcMain::actRefreshParamsExecute},
        {"actExit", "&File", "E&xit", nullptr, "Exit|Quits the application", nullptr},
        {"actOptionsEditSetup", "&Options", "Edit &Setup Parameters", "Edit Setup",
         "Edit setup parameters|Edit parameters.", &TfrmCalcMain::actOptionsEditSetupExecute},
        {"actClearStatus", "&Options", "Clear Status &Messages", "Clear Messages",
         "Clear messages|Clear status messages.", &TfrmCalcMain::actClearStatusExecute},
        {"actLogStatus", "&Options", "&Log Status Messages", "Log Messages",
         "Log all status and error messages|Log status and error messages to disk.",
         &TfrmCalcMain::actLogStatusExecute},
        {"actAppOptions", "&Options", "Application &Options", nullptr,
         "Show application option dialog.", &TfrmCalcMain::actAppOptionsExecute},
        {"actHelp", "&Help", "&Help", "Help", "Show help index tab.", nullptr},
        {"actHelpContents", "&Help", "&Contents", nullptr, "Show help contents.", nullptr},
        {"actAbout", "&Help", "About...", nullptr, "Help", &TfrmCalcMain::actAboutExecute},
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
        if (c.toolBarText != nullptr) {
            // Shorter than the menu's captions, so that the whole tool bar fits the window's
            // design width.
            action->setIconText(c.toolBarText);
            toolBar->addAction(action);
        }
        if (c.execute) {
            auto execute = c.execute;
            connect(action, &QAction::triggered, this, [this, execute] { (this->*execute)(); });
        }
    }
    Action("actLogStatus")->setCheckable(true);
    connect(Action("actExit"), &QAction::triggered, this, &QWidget::close);
    // "&Help" opens the contents, "&Contents" the index.
    connect(Action("actHelp"), &QAction::triggered, this,
            [this] { OpenHelp(boxes_, helpFile_, "contents"); });
    connect(Action("actHelpContents"), &QAction::triggered, this,
            [this] { OpenHelp(boxes_, helpFile_, "index"); });
}

QAction* TfrmCalcMain::Action(const QString& objectName) const {
    return findChild<QAction*>(objectName);
}

TfrmCalcMain::~TfrmCalcMain() {
    tmrTimer_->stop();
    try {
        controller_->StopThread();
    } catch (...) {
    }
    // FormDestroy: the placement goes with the configuration file's last write.
    QRect g = geometry();
    controller_->WriteWindowPlacement({g.x(), g.y(), g.width(), g.height()});
    controller_.reset();
    database_->DisconnectDatabase();
}

// ---- status list ------------------------------------------------------------------------

QStringList TfrmCalcMain::StatusLines() const {
    if (log_.Count() == 0) return {};
    return memoStatus_->toPlainText().split('\n');
}

QString TfrmCalcMain::StatusPanelText(int panel) const {
    return panel == 0 ? panel0_->text() : panel1_->text();
}

QString TfrmCalcMain::CountsText() const {
    const TCalcController::TCalcCounts counts = controller_->Counts();
    QString text = QString("Results: %1   Errors: %2").arg(counts.Results).arg(counts.Errors);
    if (counts.Results > 0) {
        const std::string stamp = DateTimeText(counts.LastResult, LocaleFormatSettings());
        text += "   Last result: " + QtText(stamp);
    }
    return text;
}

// The long part of the hint under the mouse goes to the second panel; without a hint it shows
// the counts.
bool TfrmCalcMain::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        hint_ = static_cast<QStatusTipEvent*>(event)->tip();
        panel1_->setText(hint_.isEmpty() ? CountsText() : hint_);
        return true;
    }
    return QMainWindow::event(event);
}

// ---- commands -----------------------------------------------------------------------------

void TfrmCalcMain::actLogStatusExecute() {
    if (log_.LogToFile()) {
        log_.CloseLogFile();
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
            log_.OpenLogFile(name);
        }
    }
    Action("actLogStatus")->setChecked(log_.LogToFile());
}

void TfrmCalcMain::actAppOptionsExecute() {
    try {
        TfrmOptions form(this);
        form.SetLogDetail(controller_->LogDetail());
        if (form.exec() == QDialog::Accepted) controller_->SetLogDetail(form.LogDetail());
    } catch (...) {
    }
}

void TfrmCalcMain::actAboutExecute() {
    TfmAbout box(this);
    // The version --version tells, with the build number after it.
    box.SetVersionInfo(FileVersion(), ProgramVersion());
    box.AppNameLabel->setText("OV Calc");
    box.setWindowTitle("About OV Calc");
    box.PartNumberLabel->setText("XXXX-XXXX");
    box.exec();
}

void TfrmCalcMain::actOptionsEditSetupExecute() {
    try {
        const bool wasRunning = !controller_->ThreadStopped();
        bool changed = false;
        {
            std::unique_ptr<ISetupDialog> dialog = setupDialog_(this);
            changed = dialog->Execute(controller_->Groups());
        }
        // Saved groups are written; the thread is not restarted once the window has shut down
        // (the setup server's shutdown command may come while the dialog is open).
        if (changed) controller_->GroupsSaved(wasRunning && !closing_);
    } catch (const std::exception& e) {
        LogStatus("Error 1600: " + QtText(e.what()));
    }
}

void TfrmCalcMain::tmrTimerTimer() {
    if (timerBusy_) return;
    timerBusy_ = true;
    try {
        controller_->SignalThread();
        controller_->DrainOutput(true);
        if (hint_.isEmpty()) panel1_->setText(CountsText());
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

// ---- the data store's host ----------------------------------------------------------------

TMessageBoxAnswer TfrmCalcMain::ShowMessageBox(const std::string& text,
                                               const std::string& caption) {
    auto ask = [this, &text, &caption] {
        auto answer =
            QMessageBox::warning(this, QtText(caption), QtText(text),
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

// ---- first show and shutdown --------------------------------------------------------------

void TfrmCalcMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (firstShow_) {
        firstShow_ = false;
        QMetaObject::invokeMethod(controller_.get(), &TCalcController::Refresh,
                                  Qt::QueuedConnection);
    }
}

bool TfrmCalcMain::FormCloseQuery() {
    if (!ConfirmExit()) return false;
    try {
        setWindowTitle("*** Shutting Down OV Calc... Please Wait ***");
        controller_->ShutDown();
        tmrTimer_->stop();
        controller_->DrainOutput(true);
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
        Q_EMIT ShutdownDone();
    }
    controller_->ReleaseThread();  // FormClose
    event->accept();
}

}  // namespace ov
