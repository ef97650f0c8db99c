// The bus clients an exported object holds something for (DDE conversations, item links),
// each followed until its connection leaves the bus, so that what it held ends with it.
#pragma once

#include <QDBusConnection>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

class QDBusServiceWatcher;

namespace ov {

// Made and used on the main thread, whose event loop sees the clients leave.
class TClientFollower {
  public:
    // (client, followed): a client left the bus; followed is false when it had left before
    // Follow could watch it (it was never counted).
    using TGone = std::function<void(const QString& client, bool followed)>;

    TClientFollower(QDBusConnection connection, TGone gone);
    ~TClientFollower();
    TClientFollower(const TClientFollower&) = delete;
    TClientFollower& operator=(const TClientFollower&) = delete;

    // Follows client (a connection's unique name) until it leaves or Unfollow; true when it
    // is followed from now on. An empty name, a client already followed: false, nothing
    // done. A client already gone: false, after its gone call.
    bool Follow(const QString& client);
    // Stops following client, without a gone call.
    void Unfollow(const QString& client);
    int Count() const { return static_cast<int>(clients_.size()); }

  private:
    void Left(const QString& client);

    QDBusConnection connection_;
    TGone gone_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    QSet<QString> clients_;  // main thread only
};

}  // namespace ov
