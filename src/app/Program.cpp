// The program's start and end.
#include "app/Program.h"

#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QEventLoop>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "app/CalcMain.h"
#include "app/MainWindowBus.h"
#include "app/StopSignals.h"
#include "bus/BusLossWatch.h"
#include "bus/InstanceLock.h"
#include "bus/SessionBus.h"
#include "busnames/BusNames.h"
#include "qttext/QtText.h"
#include "ui/ExitConfirm.h"
#include "util/ProgramInfo.h"

namespace ov {
namespace {

// The second start: the running instance's Restore. Nothing more to do when it cannot be
// reached (it may still be starting); from a terminal the user is told what happened, with
// the running instance's process id.
void RestoreRunningInstance() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage call = QDBusMessage::createMethodCall(QtText(CalcBusName), QtText(MainWindowPath),
                                                       QtText(MainWindowInterface), "Restore");
    const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
    if (::isatty(STDERR_FILENO) == 0) return;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        std::fprintf(stderr,
                     "ovcalc: OV Calc is already running in this session, but it did not answer "
                     "the request to come to the front (%s)\n",
                     reply.errorMessage().toLocal8Bit().constData());
        return;
    }
    // The reply's sender is the running instance's own connection.
    const QDBusReply<uint> pid = bus.interface()->servicePid(reply.service());
    const QString process = pid.isValid() ? QString(" (process %1)").arg(pid.value()) : QString();
    std::fprintf(stderr,
                 "ovcalc: OV Calc is already running%s; it was asked to come to the front\n",
                 process.toLocal8Bit().constData());
}

// Nobody can answer a question on a screen that does not exist, nor after the setup server
// ordered the shutdown.
bool CanAsk() {
    const QString platform = QGuiApplication::platformName();
    return !ForcedClose && platform != "offscreen" && platform != "minimal";
}

constexpr const char* Description =
    R"(OV Calc, the calculation engine of the OV data-collection suite.

A single-instance desktop program with a status window: it starts the suite's setup server
(ovsetup, beside it or on PATH) when that is not running, loads the settings from it, connects
the enabled data sources on the session bus, calculates every arriving station record with the
calculation groups of its configuration file OVCalc.OVG and announces each result to its
clients (bus name OVCalc.OVCalcCOM). A second start brings the running window to the front
and ends (from a terminal it says so, with the running instance's process id).

Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) it runs offscreen, without a
window. Qt's own options work as well, for example -platform offscreen. SIGTERM, SIGINT and
SIGHUP shut it down as the setup server's shutdown command does: the clients are told, the
calculations stop and the configuration is written. Its status lines also go to standard
error.

Files:
  OVCalc.OVG   the calculation groups and options. Kept beside the program when its folder
               is writable and is not an installed layout; otherwise (an installed layout,
               recognised by the help file in ../share/doc/ovcalc/ instead of beside the
               program, or a folder it may not write to) in $XDG_CONFIG_HOME/ovcalc/, which
               is ~/.config/ovcalc/ when XDG_CONFIG_HOME is unset or not an absolute path.
               That folder is made when missing.
  OVSetup.ini  the settings of the setup server it starts, in the same folder (ovsetup --help)
  OVCalc.html  the help file: beside the program, else in ../share/doc/ovcalc/
  The single-instance locks: OVCalcMutex-*.lock and OVCalcCOMMutex.lock in $XDG_RUNTIME_DIR
  (else in /tmp/ovcalc-UID/).

Exit status:
  0  it ended normally, or another OV Calc runs in this session (a second start)
  1  it cannot start (no session bus), or the session bus went away while it ran (it then
     stops calculating, writes its configuration and ends)
  2  a usage error: an unknown option or an argument)";

// The Qt options most often wanted (QApplication takes them before the program sees its own).
constexpr const char* QtOptions = R"(
Qt's options:
  -platform NAME[:OPTIONS]  the platform plug-in: xcb, wayland, offscreen, ...
  -display DISPLAY          the X display (xcb)
  -geometry WxH+X+Y         the main window's first placement
  -style STYLE              the widget style: Fusion, Windows, ...
  -stylesheet FILE          a Qt style sheet for the widgets
  -reverse                  right-to-left layout
)";

// Whether the command line or the environment names a platform plug-in.
bool PlatformChosen(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "-platform" || a == "--platform" || a.rfind("-platform=", 0) == 0 ||
            a.rfind("--platform=", 0) == 0)
            return true;
    }
    return false;
}

void DefineOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(QString::fromUtf8(Description));
    parser.addHelpOption();
    parser.addVersionOption();
    // Qt's own options are single-dash words ("-platform"): not a bundle of letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
}

}  // namespace

std::string InstanceLockName(std::string_view sessionBusAddress) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : sessionBusAddress) {
        hash ^= c;
        hash *= 16777619u;
    }
    char suffix[9];
    std::snprintf(suffix, sizeof suffix, "%08x", hash);
    return std::string("OVCalcMutex-") + suffix;
}

namespace {

// --help and --version answer before Qt looks for a display or anything for the bus.
// Returns true when one of them was asked for and answered.
bool AnsweredHelpOrVersion(int& argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    DefineOptions(parser);
    parser.parse(arguments);  // Qt's own options are taken by QApplication later
    const bool all = parser.isSet("help-all");
    if (!parser.isSet("help") && !all && !parser.isSet("version")) return false;
    QCoreApplication core(argc, argv);
    core.setApplicationName("ovcalc");
    core.setApplicationVersion(QtText(ProgramVersion()));
    const QString text = parser.isSet("version") && !parser.isSet("help") && !all
                             ? QString::fromStdString(VersionText("ovcalc"))
                             : parser.helpText() + (all ? QtOptions : "");
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return true;
}

// A headless machine runs OV Calc without flags.
void GoOffscreenWithoutDisplay(int argc, char** argv) {
    if (!PlatformChosen(argc, argv) && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        std::fprintf(stderr,
                     "ovcalc: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): running "
                     "offscreen, without a window\n");
    }
}

// What QApplication left of the command line is ours: nothing but --help and --version,
// answered before. Anything else is a usage error, told; false then.
bool CommandLineAccepted(const QApplication& app) {
    QCommandLineParser parser;
    DefineOptions(parser);
    if (parser.parse(app.arguments()) && parser.positionalArguments().isEmpty()) return true;
    QString error;
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        error = "unknown option '" + QString(name.size() == 1 ? "-" : "--") + name + "'";
    } else if (!parser.errorText().isEmpty()) {
        error = parser.errorText();
    } else {
        error = "unexpected argument '" + parser.positionalArguments().first() +
                "' (OV Calc takes no files or other arguments)";
    }
    UsageError("ovcalc", error.toLocal8Bit().toStdString());
    return false;
}

}  // namespace

int RunOVCalc(int& argc, char** argv) {
    if (AnsweredHelpOrVersion(argc, argv)) return 0;
    GoOffscreenWithoutDisplay(argc, argv);

    QApplication app(argc, argv);
    app.setApplicationName("OV Calc");
    app.setApplicationVersion(QtText(ProgramVersion()));
    if (!CommandLineAccepted(app)) return ExitUsage;
    QDBusConnection bus = StartedSessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "ovcalc: cannot reach the session bus: %s\n",
                     bus.lastError().message().toLocal8Bit().constData());
        return 1;
    }

    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    TInstanceLock instance(InstanceLockName(address ? address : ""));
    switch (instance.TryAcquire()) {
        case ilAcquired:
            break;
        case ilHeldElsewhere:
            RestoreRunningInstance();
            return 0;
        case ilFailed:
            std::fprintf(stderr, "OV Calc: %s; running without the single-instance check\n",
                         instance.Error().c_str());
            break;
    }
    // Only one automation server: without this lock the object is not offered.
    TInstanceLock automation(AutomationLockName);
    const TInstanceLockResult automationLock = automation.TryAcquire();
    if (automationLock == ilFailed)
        std::fprintf(stderr, "OV Calc: %s; the automation object is not offered\n",
                     automation.Error().c_str());
    const bool automationServer = automationLock == ilAcquired;

    TCalcMainOptions options;
    options.Automation = automationServer;
    TfrmCalcMain window(options);
    // A stop signal is the setup server's shutdown command: no question, the clients told,
    // the calculations stopped, the configuration written, the locks released on the way out.
    TStopSignals stopSignals;
    QObject::connect(&stopSignals, &TStopSignals::Received, &window, [&window](int signal) {
        window.LogStatus("Shutdown command received (" + TStopSignals::Name(signal) + ")");
        window.Controller().ShutdownCommanded();
    });
    if (!stopSignals.Installed())
        std::fprintf(stderr, "ovcalc: the stop signals cannot be handed to the event loop\n");
    new TMainWindowBus(&window);
    if (!bus.registerObject(QtText(MainWindowPath), &window, QDBusConnection::ExportAdaptors))
        window.LogStatus(QString("Error 1600: the main window could not be exported on the bus"));
    if (automationServer && !bus.registerService(QtText(CalcBusName)))
        window.LogStatus(QString("Error 1600: the bus name OVCalc.OVCalcCOM is taken"));

    // A session bus that goes away ends OV Calc as the shutdown command does, with status 1,
    // so that a service manager starts it again once there is a bus.
    TBusLossWatch busWatch(bus);
    QObject::connect(&busWatch, &TBusLossWatch::Lost, &window,
                     [&window] { window.Controller().BusLost(); });

    window.show();  // the first show runs the refresh
    int result = app.exec();
    // Found by the watch, or first by a refresh that could not reach it.
    if (busWatch.BusLost() || window.Controller().BusGone()) return 1;

    // Clients still holding the automation object: ask, and keep serving them on No.
    if (window.ClientsHoldingObjects() > 0 && CanAsk() &&
        !ConfirmCloseWithClients(window.ClientsHoldingObjects())) {
        QEventLoop serve;
        QObject::connect(&window, &TfrmCalcMain::ClientsChanged, &serve, [&](int count) {
            if (count == 0) serve.quit();
        });
        serve.exec();
    }
    bus.unregisterService(QtText(CalcBusName));
    return result;
}

}  // namespace ov
