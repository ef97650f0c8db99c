// "Is program X running": whether the program's bus name has an owner, asked on demand or
// followed as owners come and go. Stands for the desktop's "a window of class X exists".
#pragma once

#include <QDBusConnection>
#include <QString>
#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include "busnames/BusNames.h"

class QDBusServiceWatcher;

namespace ov {

class TBusNameWatcher {
  public:
    // (name, running): called on the watcher's thread, by its event loop.
    using TCallback = std::function<void(const QString& busName, bool running)>;

    explicit TBusNameWatcher(QDBusConnection connection = QDBusConnection::sessionBus(),
                             std::chrono::milliseconds timeout = SetupCallTimeout);
    ~TBusNameWatcher();
    TBusNameWatcher(const TBusNameWatcher&) = delete;
    TBusNameWatcher& operator=(const TBusNameWatcher&) = delete;

    // Asks the bus now whether busName has an owner. False when it has none or the bus did not
    // answer within the time-out.
    bool IsRunning(const QString& busName) const;

    // Follows busName: callback gets every change of its owner, starting and ending programs
    // (a program replaced by another one in between reads as running). A second Watch of the
    // same name replaces its callback.
    void Watch(const QString& busName, TCallback callback);

  private:
    QDBusConnection connection_;
    int timeoutMs_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::map<QString, TCallback> callbacks_;  // main thread only
};

}  // namespace ov
