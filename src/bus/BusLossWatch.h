// Notices that the session bus has gone away under a running program: QtDBus keeps a lost
// connection's objects without a word, so the connection is looked at in short steps.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>
#include <chrono>

namespace ov {

class TBusLossWatch : public QObject {
    Q_OBJECT
  public:
    // Looks at connection every interval from now on, on the calling thread's event loop.
    explicit TBusLossWatch(QDBusConnection connection,
                           std::chrono::milliseconds interval = std::chrono::milliseconds(500),
                           QObject* parent = nullptr);
    bool BusLost() const { return lost_; }

  Q_SIGNALS:
    // Once, when the connection was found closed.
    void Lost();

  private:
    void Check();

    QDBusConnection connection_;
    QTimer timer_;
    bool lost_ = false;
};

}  // namespace ov
