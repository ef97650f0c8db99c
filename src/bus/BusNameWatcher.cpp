// Bus-name owners asked and followed.
#include "bus/BusNameWatcher.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <utility>

namespace ov {

TBusNameWatcher::TBusNameWatcher(QDBusConnection connection, std::chrono::milliseconds timeout)
    : connection_(std::move(connection)),
      timeoutMs_(static_cast<int>(timeout.count())),
      watcher_(std::make_unique<QDBusServiceWatcher>()) {
    watcher_->setConnection(connection_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged,
                     [this](const QString& name, const QString&, const QString& newOwner) {
                         auto it = callbacks_.find(name);
                         if (it == callbacks_.end()) return;
                         // A copy: the callback may unwatch the name.
                         TCallback callback = it->second;
                         callback(name, !newOwner.isEmpty());
                     });
}

TBusNameWatcher::~TBusNameWatcher() = default;

bool TBusNameWatcher::IsRunning(const QString& busName) const {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    call << busName;
    QDBusMessage reply = connection_.call(call, QDBus::Block, timeoutMs_);
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
           reply.arguments().at(0).toBool();
}

void TBusNameWatcher::Watch(const QString& busName, TCallback callback) {
    if (callbacks_.find(busName) == callbacks_.end()) watcher_->addWatchedService(busName);
    callbacks_[busName] = std::move(callback);
}

}  // namespace ov
