// The host's setup-parameter queries over the bus, made from the main thread and from the
// calculation thread, each thread through a bus connection of its own.
#pragma once

#include <QDBusConnection>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "bus/DBusSetupServer.h"
#include "bus/SdBusSetupServer.h"
#include "busnames/BusNames.h"
#include "suite/SetupQuery.h"
#include "suite/SetupServer.h"

namespace ov {

// Made on the main thread, whose calls use mainConnection (QtDBus). Any other thread gets an
// sd-bus connection of its own on its first call (or AttachThread), which makes no call while
// the setup server's name has no owner. Every call is bounded by the time-out; "ERROR", a
// failed call and a call not made answer that there is no value.
//
// The main thread tells whether the setup server is attached. While it is, a server that goes
// away is being started again by the main thread (ServerLost, RestartEnded): a query of
// another thread that finds it gone waits for the restart and asks the new server, instead of
// answering no value. A wait that ends without the server (the restart wait from the loss has
// passed, or CancelWaits) raises ESetupUnavailable, so that no calculation goes on as if the
// server had no value. A server that is not attached, or could not be started again, answers
// no value at once.
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
    // the bus cannot be reached (queries then answer no value and try again later). Ends an
    // earlier CancelWaits.
    bool AttachThread();
    // Closes the calling thread's connection (the calculation thread's end).
    void DetachThread();

    // Main thread: the setup server was attached (a refresh) or dropped (a refresh, the close).
    void ServerAttached();
    void ServerDetached();
    // Main thread: the attached server's bus name lost its owner; a restart follows.
    void ServerLost();
    // Main thread: the restart brought the server back (ok) or failed.
    void RestartEnded(bool ok);
    // How long after a loss queries wait for the restart (the start and load waits).
    void SetRestartWait(std::chrono::milliseconds wait);
    // Main thread, before a calculation thread is stopped: its query that waits for a restart,
    // and every later one that would, raises instead (until the next AttachThread).
    void CancelWaits();

  private:
    enum TServerState { ssDetached, ssAttached, ssRestarting, ssFailed };

    // Another thread's query: waits while a restart runs, then answers the generation of the
    // attached server; raises when the wait ends without one.
    std::uint64_t WaitWhileRestarting();
    // Another thread found the server of generation gone: queries wait for the restart.
    void NoteLost(std::uint64_t generation);

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

    std::mutex stateLock_;
    std::condition_variable stateChanged_;          // with stateLock_
    TServerState state_ = ssDetached;               // guarded by stateLock_
    std::uint64_t generation_ = 0;                  // guarded by stateLock_
    std::chrono::steady_clock::time_point lostAt_;  // guarded by stateLock_
    std::chrono::milliseconds restartWait_{30000};  // guarded by stateLock_
    bool cancelled_ = false;                        // guarded by stateLock_
};

}  // namespace ov
