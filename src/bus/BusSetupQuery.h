// The host's setup-parameter queries over the bus, made from the main thread and from the
// calculation thread, each thread through a bus connection of its own.
#pragma once

#include <QDBusConnection>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
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
// the setup server's name has no owner. Every call is bounded by the time-out; "ERROR" and an
// error answered by the server answer that there is no value.
//
// The main thread tells whether the setup server is attached. While it is, a query of another
// thread that cannot get an answer although the server has one waits instead of answering no
// value: for a server that went away and is being started again by the main thread
// (ServerLost, RestartEnded), and for a server that is there but does not answer in time
// (the main thread is told through the not-answering call and says ServerAnswers once it does
// again). A wait lasts at most the restart wait from the moment the server was found gone or
// silent; one that ends without the server (that bound, or CancelWaits) raises
// ESetupUnavailable, so that no calculation goes on as if the server had no value. A query
// that finds the session bus gone waits the same way for the main thread to stop the thread
// (CancelWaits). A server that is not attached, or could not be started again, answers no
// value at once.
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
    // the bus cannot be reached (queries try again later). Ends an earlier CancelWaits.
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
    // Main thread: the server that did not answer has answered again; false when it was not
    // waited for (nothing changed).
    bool ServerAnswers();
    // Whether queries wait for an attached server that does not answer.
    bool NotAnswering();
    // Called on a querying thread when it finds the attached server there but not answering,
    // once until it answers again or goes; proc must not call this object. Empty: none.
    void SetNotAnsweringProc(std::function<void()> proc);
    // How long after a loss, or after the server was found not answering, queries wait for
    // it (the start and load waits of a restart).
    void SetRestartWait(std::chrono::milliseconds wait);
    // Main thread, before a calculation thread is stopped: its query that waits for the
    // server, and every later one that would, raises instead (until the next AttachThread).
    void CancelWaits();

  private:
    // ssRestarting, ssNotAnswering and ssBusGone are waited for.
    enum TServerState {
        ssDetached,
        ssAttached,
        ssRestarting,    // gone; the main thread starts it again
        ssNotAnswering,  // there, but calls time out
        ssFailed,        // could not be started again
        ssBusGone,       // the session bus cannot be reached any more
    };
    static bool Waited(TServerState state) {
        return state == ssRestarting || state == ssNotAnswering || state == ssBusGone;
    }

    // Another thread's query: waits while the server is waited for, then answers the
    // generation of the server as it is; raises when the wait ends without it.
    std::uint64_t WaitWhileUnavailable();
    // Another thread found the attached server of generation in state (a waited one).
    void NoteUnavailable(std::uint64_t generation, TServerState state);

    struct TThreadServer {
        std::unique_ptr<TSdBusSetupServer> Server;
        std::chrono::steady_clock::time_point Opened;
    };
    // The calling thread's connection; fresh: a new one in place of one that has closed.
    TSdBusSetupServer& ThreadServer(bool fresh = false);

    std::chrono::milliseconds timeout_;
    std::thread::id mainThread_;
    TDBusSetupServer main_;  // main thread only
    std::mutex lock_;
    std::map<std::thread::id, TThreadServer> threads_;  // guarded by lock_; each entry used only
                                                        // by its own thread

    std::mutex stateLock_;
    std::condition_variable stateChanged_;  // with stateLock_
    TServerState state_ = ssDetached;       // guarded by stateLock_
    // Counts the changes to an attached, detached or failed server.
    std::uint64_t generation_ = 0;                  // guarded by stateLock_
    std::chrono::steady_clock::time_point since_;   // guarded by stateLock_: a waited state's start
    std::chrono::milliseconds restartWait_{30000};  // guarded by stateLock_
    bool cancelled_ = false;                        // guarded by stateLock_

    std::mutex procLock_;
    std::function<void()> notAnsweringProc_;  // guarded by procLock_
};

}  // namespace ov
