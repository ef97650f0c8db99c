// Signal subscriptions on the bus.
#include "bus/BusSignalReceiver.h"

#include <utility>

namespace ov {

TBusSignalReceiver::TBusSignalReceiver(QDBusConnection connection, const QString& service,
                                       const QString& path, const QString& interface,
                                       const QString& name, TCallback callback)
    : connection_(std::move(connection)),
      service_(service),
      path_(path),
      interface_(interface),
      name_(name),
      callback_(std::move(callback)) {
    subscribed_ =
        connection_.connect(service_, path_, interface_, name_, this, SLOT(Receive(QDBusMessage)));
    if (subscribed_) SyncWithBus(connection_);
}

TBusSignalReceiver::~TBusSignalReceiver() {
    if (subscribed_) {
        connection_.disconnect(service_, path_, interface_, name_, this,
                               SLOT(Receive(QDBusMessage)));
    }
}

void TBusSignalReceiver::Receive(const QDBusMessage& signal) {
    if (callback_) callback_(signal);
}

bool SyncWithBus(const QDBusConnection& connection, int timeoutMs) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
    return connection.call(call, QDBus::Block, timeoutMs).type() == QDBusMessage::ReplyMessage;
}

}  // namespace ov
