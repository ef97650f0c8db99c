// The session bus connection of a program's main thread, delivering in order from the start.
#include "bus/SessionBus.h"

#include <QCoreApplication>
#include <QEvent>

#include "bus/BusSignalReceiver.h"

namespace ov {

QDBusConnection StartedSessionBus() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || QCoreApplication::instance() == nullptr) return bus;
    // The start of delivery waits as a queued call in this thread; handed on, it goes to the
    // connection's own thread, where a round trip to the bus sent after it follows it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    SyncWithBus(bus);
    return bus;
}

}  // namespace ov
