// The host's setup-parameter queries over the bus, made from the main thread and from the
// calculation thread, each thread through a bus connection of its own.
#pragma once

#include <QDBusConnection>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "suite/SetupQuery.h"
#include "suite/SetupServer.h"
#include "busnames/BusNames.h"
#include "bus/DBusSetupServer.h"
#include "bus/SdBusSetupServer.h"

namespace ov {

// Made on the main thread, whose calls use mainConnection (QtDBus). Any other thread gets an
// sd-bus connection of its own on its first call (or AttachThread), which makes no call while
// the setup server's name has no owner. Every call is bounded by the time-out; "ERROR", a
// failed call and a call not made answer that there is no value.
class TBusSetupQuery : public ISetupQuery {
  public:
    explicit TBusSetupQuery(QDBusConnection mainConnection = QDBusConnection::sessionBus(),
                            std::chrono::milliseconds timeout = SetupCallTimeout);
    ~TBusSetupQuery() override;
    TBusSetupQuery(const TBusSetupQuery&) = delete;
    TBusSetupQuery& operator=(const TBusSetupQuery&) = delete;

    bool QuerySetup(const std::string& key, std::string& value) override;

    // The setup server as the calling thread reaches it, for LoadGeneralSetup and
    // LoadDataServerSetup. Valid until the calling thread next calls this object.
    ISetupServer& Server();

    // Opens the calling thread's connection now (the calculation thread's start); false when
    // the bus cannot be reached (queries then answer no value and try again later).
    bool AttachThread();
    // Closes the calling thread's connection (the calculation thread's end).
    void DetachThread();

  private:
    struct TThreadServer {
        std::unique_ptr<TSdBusSetupServer> Server;
        std::chrono::steady_clock::time_point Opened;
    };
    TSdBusSetupServer& ThreadServer();

    std::chrono::milliseconds timeout_;
    std::thread::id mainThread_;
    TDBusSetupServer main_;  // main thread only
    std::mutex lock_;
    std::map<std::thread::id, TThreadServer> threads_;  // guarded by lock_; each entry used only
                                                        // by its own thread
};

}  // namespace ov
