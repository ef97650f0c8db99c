// The setup server's calls over QtDBus: the engine's ISetupServer on a Qt bus connection,
// each call bounded by a time-out.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <chrono>
#include <string>
#include <vector>

#include "busnames/BusNames.h"
#include "suite/SetupServer.h"

namespace ov {

// Calls OVSetup.IOVSetupCom at /OVSetupCom of OVSetup.Applications. Every call blocks the
// calling thread without dispatching its events, at most for the time-out; a call that
// fails, times out or finds no server answers false. A bus never starts the server for it.
class TDBusSetupServer : public ISetupServer {
  public:
    explicit TDBusSetupServer(QDBusConnection connection = QDBusConnection::sessionBus(),
                              std::chrono::milliseconds timeout = SetupCallTimeout);

    bool GetGeneralSetup(std::vector<TSetupValue>& values) override;
    bool GetDataServerSetup(std::vector<TSetupValue>& values) override;
    bool GetSetupParam(const std::string& key, std::string& value) override;

    // The bus's error text of the last failed call (empty after a success).
    const std::string& LastError() const { return lastError_; }

  private:
    bool Call(const char* method, const QVariantList& arguments, QDBusMessage& reply);
    bool GetArray(const char* method, std::vector<TSetupValue>& values);

    QDBusConnection connection_;
    int timeoutMs_;
    std::string lastError_;
};

// A bus connection of one's own (not the process's shared session connection), for a thread
// that must not share the main thread's: made on the session bus under a name unique in the
// process, closed by the destructor.
class TOwnBusConnection {
  public:
    TOwnBusConnection();
    ~TOwnBusConnection();
    TOwnBusConnection(const TOwnBusConnection&) = delete;
    TOwnBusConnection& operator=(const TOwnBusConnection&) = delete;

    QDBusConnection& Connection() { return connection_; }
    bool Connected() const { return connection_.isConnected(); }

  private:
    QString name_;
    QDBusConnection connection_;
};

}  // namespace ov
