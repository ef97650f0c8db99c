// Setup-parameter queries routed by the calling thread.
#include "bus/BusSetupQuery.h"

#include <utility>

namespace ov {
namespace {

// A thread whose bus could not be reached tries again after this pause, not at every query.
constexpr std::chrono::seconds ReconnectPause{1};

// A query asks again after each change of the server it waited for; a server that keeps
// changing without answering gets no more tries than these.
constexpr int QueryAttempts = 4;

}  // namespace

TBusSetupQuery::TBusSetupQuery(QDBusConnection mainConnection, std::chrono::milliseconds timeout)
    : timeout_(timeout),
      mainThread_(std::this_thread::get_id()),
      main_(std::move(mainConnection), timeout) {}

TBusSetupQuery::~TBusSetupQuery() = default;

TSdBusSetupServer& TBusSetupQuery::ThreadServer(bool fresh) {
    const auto id = std::this_thread::get_id();
    const auto now = std::chrono::steady_clock::now();
    if (!fresh) {
        std::lock_guard guard(lock_);
        auto it = threads_.find(id);
        if (it != threads_.end() &&
            (it->second.Server->Connected() || now - it->second.Opened < ReconnectPause)) {
            return *it->second.Server;
        }
    }
    // Connect outside the lock: another thread's queries need not wait for it.
    auto server = std::make_unique<TSdBusSetupServer>(timeout_);
    std::unique_ptr<TSdBusSetupServer> old;  // closed outside the lock
    std::lock_guard guard(lock_);
    auto& entry = threads_[id];
    old = std::move(entry.Server);
    entry.Server = std::move(server);
    entry.Opened = now;
    return *entry.Server;
}

ISetupServer& TBusSetupQuery::Server() {
    if (std::this_thread::get_id() == mainThread_) return main_;
    return ThreadServer();
}

bool TBusSetupQuery::QuerySetup(const std::string& key, std::string& value) {
    if (std::this_thread::get_id() == mainThread_) return ov::QuerySetup(&main_, key, value);
    for (int attempt = 0; attempt < QueryAttempts; ++attempt) {
        const std::uint64_t generation = WaitWhileUnavailable();
        TSdBusSetupServer& server = ThreadServer();
        // The owner as the bus has it now, not as last seen: after a wait, or when the last
        // word was that it had gone, its new owner's signal may still be on its way.
        if (attempt > 0 || !server.ServerRunning()) server.AskServerRunning();
        std::string answer;
        if (server.GetSetupParam(key, answer)) {
            if (answer == SetupNoValue) return false;
            value = std::move(answer);
            return true;
        }
        const TSdBusSetupServer::TFailure failure = server.LastFailure();
        {
            std::lock_guard guard(stateLock_);
            // A server not attached, or not started again, has no value to give.
            if (state_ == ssDetached || state_ == ssFailed) return false;
            // The server changed meanwhile (a restart ended, it answers again, or another
            // thread found it gone): ask again, after the wait if there is one.
            if (generation_ != generation || Waited(state_)) continue;
        }
        // The attached server as it was when asked: why did the call fail?
        TServerState cause = ssAttached;
        if (failure != TSdBusSetupServer::sfNoBus && server.Connected()) {
            if (!server.AskServerRunning()) {
                if (server.Connected()) cause = ssRestarting;
            } else if (failure == TSdBusSetupServer::sfTimedOut) {
                // There, but silent: not "no value", as it has one.
                cause = ssNotAnswering;
            } else {
                return false;  // it answered with an error: no value
            }
        }
        if (cause == ssAttached) {
            // This thread's connection closed: a new one, unless the bus itself has gone.
            if (attempt + 1 < QueryAttempts && ThreadServer(true).Connected()) continue;
            cause = ssBusGone;
        }
        NoteUnavailable(generation, cause);
    }
    throw ESetupUnavailable("The setup server ZI Zodav does not answer");
}

std::uint64_t TBusSetupQuery::WaitWhileUnavailable() {
    std::unique_lock guard(stateLock_);
    // The bound counts from the moment the present state began; a new state starts it anew.
    while (Waited(state_) && !cancelled_) {
        const auto until = since_ + restartWait_;
        if (std::chrono::steady_clock::now() >= until) break;
        stateChanged_.wait_until(guard, until);
    }
    switch (state_) {
        case ssRestarting:
            throw ESetupUnavailable(cancelled_
                                        ? "The setup server is being started again; the "
                                          "calculation thread stops"
                                        : "The setup server is being started again and has not "
                                          "answered");
        case ssNotAnswering:
            throw ESetupUnavailable(cancelled_ ? "The setup server ZI Zodav does not answer; the "
                                                 "calculation thread stops"
                                               : "The setup server ZI Zodav does not answer");
        case ssBusGone:
            // The session bus's loss is said once, by the main thread.
            throw ESetupUnavailable(cancelled_ ? "The calculation thread stops"
                                               : "The setup server cannot be reached");
        default:
            return generation_;
    }
}

void TBusSetupQuery::NoteUnavailable(std::uint64_t generation, TServerState state) {
    bool silent = false;
    {
        std::lock_guard guard(stateLock_);
        if (generation_ != generation) return;
        // A server found silent may be found gone later, not the other way round.
        if (state_ != ssAttached && !(state_ == ssNotAnswering && state != ssNotAnswering)) return;
        state_ = state;
        since_ = std::chrono::steady_clock::now();
        silent = state == ssNotAnswering;
        stateChanged_.notify_all();
    }
    if (silent) {
        std::lock_guard guard(procLock_);
        if (notAnsweringProc_) notAnsweringProc_();
    }
}

void TBusSetupQuery::CancelWaits() {
    std::lock_guard guard(stateLock_);
    cancelled_ = true;
    stateChanged_.notify_all();
}

void TBusSetupQuery::ServerAttached() {
    std::lock_guard guard(stateLock_);
    state_ = ssAttached;
    ++generation_;
    stateChanged_.notify_all();
}

void TBusSetupQuery::ServerDetached() {
    std::lock_guard guard(stateLock_);
    state_ = ssDetached;
    ++generation_;
    stateChanged_.notify_all();
}

void TBusSetupQuery::ServerLost() {
    std::lock_guard guard(stateLock_);
    // Not attached, or a query noted the loss first.
    if (state_ != ssAttached && state_ != ssNotAnswering) return;
    state_ = ssRestarting;
    since_ = std::chrono::steady_clock::now();
    stateChanged_.notify_all();
}

void TBusSetupQuery::RestartEnded(bool ok) {
    std::lock_guard guard(stateLock_);
    state_ = ok ? ssAttached : ssFailed;
    ++generation_;
    stateChanged_.notify_all();
}

bool TBusSetupQuery::ServerAnswers() {
    std::lock_guard guard(stateLock_);
    if (state_ != ssNotAnswering) return false;
    state_ = ssAttached;
    ++generation_;
    stateChanged_.notify_all();
    return true;
}

bool TBusSetupQuery::NotAnswering() {
    std::lock_guard guard(stateLock_);
    return state_ == ssNotAnswering;
}

void TBusSetupQuery::SetNotAnsweringProc(std::function<void()> proc) {
    std::lock_guard guard(procLock_);
    notAnsweringProc_ = std::move(proc);
}

void TBusSetupQuery::SetRestartWait(std::chrono::milliseconds wait) {
    std::lock_guard guard(stateLock_);
    restartWait_ = wait;
}

bool TBusSetupQuery::AttachThread() {
    {
        std::lock_guard guard(stateLock_);
        cancelled_ = false;
    }
    if (std::this_thread::get_id() == mainThread_) return true;
    return ThreadServer().Connected();
}

void TBusSetupQuery::DetachThread() {
    std::unique_ptr<TSdBusSetupServer> server;
    {
        std::lock_guard guard(lock_);
        auto it = threads_.find(std::this_thread::get_id());
        if (it == threads_.end()) return;
        server = std::move(it->second.Server);
        threads_.erase(it);
    }
    // Closed outside the lock.
}

}  // namespace ov
