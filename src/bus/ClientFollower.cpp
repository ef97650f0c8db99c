// Following bus clients: a watch for each client's unique name, and the question whether it
// is still there asked after the watch, so that no departure falls between the two.
#include "bus/ClientFollower.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <utility>

namespace ov {

TClientFollower::TClientFollower(QDBusConnection connection, TGone gone)
    : connection_(std::move(connection)),
      gone_(std::move(gone)),
      watcher_(std::make_unique<QDBusServiceWatcher>(QString(), connection_,
                                                     QDBusServiceWatcher::WatchForUnregistration)) {
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceUnregistered, watcher_.get(),
                     [this](const QString& client) { Left(client); });
}

TClientFollower::~TClientFollower() = default;

bool TClientFollower::Follow(const QString& client) {
    if (client.isEmpty() || clients_.contains(client)) return false;
    watcher_->addWatchedService(client);
    // The watch is in force before this question reaches the bus (one connection keeps its
    // order): a client that left before it is found gone here, one that leaves later is seen.
    QDBusConnectionInterface* bus = connection_.interface();
    if (bus != nullptr && !bus->isServiceRegistered(client).value()) {
        watcher_->removeWatchedService(client);
        gone_(client, false);
        return false;
    }
    clients_.insert(client);
    return true;
}

void TClientFollower::Unfollow(const QString& client) {
    watcher_->removeWatchedService(client);
    clients_.remove(client);
}

void TClientFollower::Left(const QString& client) {
    watcher_->removeWatchedService(client);
    const bool followed = clients_.remove(client);
    gone_(client, followed);
}

}  // namespace ov
