// The program's start and end.
#include "bus/InstanceLock.h"

#include "app/Program.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QEventLoop>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

#include "app/CalcMain.h"
#include "app/MainWindowBus.h"
#include "busnames/BusNames.h"
#include "ui/ExitConfirm.h"

namespace ov {
namespace {

QString Q(std::string_view text) { return QString::fromLatin1(text.data(), static_cast<int>(text.size())); }

// The second start: the running instance's Restore. Nothing more to do when it cannot be
// reached (it may still be starting).
void RestoreRunningInstance() {
    QDBusMessage call = QDBusMessage::createMethodCall(Q(CalcBusName), Q(MainWindowPath),
                                                       Q(MainWindowInterface), "Restore");
    QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
}

// Nobody can answer a question on a screen that does not exist, nor after the setup server
// ordered the shutdown.
bool CanAsk() {
    const QString platform = QGuiApplication::platformName();
    return !ForcedClose && platform != "offscreen" && platform != "minimal";
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

int RunOVCalc(int& argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("OV Calc");

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
    QDBusConnection bus = QDBusConnection::sessionBus();
    new TMainWindowBus(&window);
    if (!bus.registerObject(Q(MainWindowPath), &window, QDBusConnection::ExportAdaptors))
        window.LogStatus(QString("Error 1600: the main window could not be exported on the bus"));
    if (automationServer && !bus.registerService(Q(CalcBusName)))
        window.LogStatus(QString("Error 1600: the bus name OVCalc.OVCalcCOM is taken"));

    window.show();  // the first show runs the refresh
    int result = app.exec();

    // Clients still holding the automation object: ask, and keep serving them on No.
    if (window.ClientsHoldingObjects() > 0 && CanAsk() &&
        !ConfirmCloseWithClients(window.ClientsHoldingObjects())) {
        QEventLoop serve;
        QObject::connect(&window, &TfrmCalcMain::ClientsChanged, &serve, [&](int count) {
            if (count == 0) serve.quit();
        });
        serve.exec();
    }
    bus.unregisterService(Q(CalcBusName));
    return result;
}

}  // namespace ov
