// A fresh process's first session connection, asked for in the main thread before any event
// loop runs (as a program does at its start): whether a signal received on it reaches its
// receiver as an event at once, or is held back until the loop starts (as Qt's default
// connection did: the reason for the started one). Exits 0 when it reaches the receiver within
// 10 s, 1 when it does not, 2 when the bus cannot be used.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bus/BusSignalReceiver.h"
#include "bus/SessionBus.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = ov::StartedSessionBus();
    if (!bus.isConnected()) return 2;
    bool received = false;
    ov::TBusSignalReceiver receiver(bus, QString(), QStringLiteral("/probe"),
                                    QStringLiteral("ov.Probe"), QStringLiteral("Ping"),
                                    [&](const QDBusMessage&) { received = true; });
    if (!receiver.Subscribed()) return 2;

    QDBusConnection sender =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("probe-sender"));
    if (!sender.send(QDBusMessage::createSignal(
            QStringLiteral("/probe"), QStringLiteral("ov.Probe"), QStringLiteral("Ping"))) ||
        !ov::SyncWithBus(sender))
        return 2;
    // Only the receiver's own events: the event loop's start, which would release what is held
    // back, never runs here.
    for (int i = 0; i < 1000 && !received; ++i) {
        QCoreApplication::sendPostedEvents(&receiver);
        if (!received) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::printf("%s\n", received ? "received" : "held back");
    return received ? 0 : 1;
}
