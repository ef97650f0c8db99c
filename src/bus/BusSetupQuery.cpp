// Setup-parameter queries routed by the calling thread.
#include "bus/BusSetupQuery.h"

#include <utility>

namespace ov {
namespace {

// A thread whose bus could not be reached tries again after this pause, not at every query.
constexpr std::chrono::seconds ReconnectPause{1};

}  // namespace

TBusSetupQuery::TBusSetupQuery(QDBusConnection mainConnection, std::chrono::milliseconds timeout)
    : timeout_(timeout),
      mainThread_(std::this_thread::get_id()),
      main_(std::move(mainConnection), timeout) {}

TBusSetupQuery::~TBusSetupQuery() = default;

TSdBusSetupServer& TBusSetupQuery::ThreadServer() {
    const auto id = std::this_thread::get_id();
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard guard(lock_);
        auto it = threads_.find(id);
        if (it != threads_.end() &&
            (it->second.Server->Connected() || now - it->second.Opened < ReconnectPause)) {
            return *it->second.Server;
        }
    }
    // Connect outside the lock: another thread's queries need not wait for it.
    auto server = std::make_unique<TSdBusSetupServer>(timeout_);
    std::lock_guard guard(lock_);
    auto& entry = threads_[id];
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
    // At most one more try: after a restart, or when a restart had already ended by the time
    // the failure was looked at.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const std::uint64_t generation = WaitWhileRestarting();
        TSdBusSetupServer& server = ThreadServer();
        // The owner as the bus has it now, not as last seen: after a restart, or when the
        // last word was that it had gone, its new owner's signal may still be on its way.
        if (attempt > 0 || !server.ServerRunning()) server.AskServerRunning();
        std::string answer;
        if (server.GetSetupParam(key, answer)) {
            if (answer == SetupNoValue) return false;
            value = std::move(answer);
            return true;
        }
        // The call failed. A server that is not attached, or is there and failed all the same
        // (a time-out), gives no value; one that went away is being started again.
        bool restarting = false;
        {
            std::lock_guard guard(stateLock_);
            if (generation_ != generation) {
                // A restart ended meanwhile: ask the new server (unless it failed).
                if (state_ != ssAttached) return false;
                continue;
            }
            if (state_ != ssAttached && state_ != ssRestarting) return false;
            restarting = state_ == ssRestarting;
        }
        if (!restarting) {
            if (server.AskServerRunning()) return false;
            NoteLost(generation);
        }
    }
    return false;
}

std::uint64_t TBusSetupQuery::WaitWhileRestarting() {
    std::unique_lock guard(stateLock_);
    const auto until = lostAt_ + restartWait_;
    stateChanged_.wait_until(guard, until, [this] { return state_ != ssRestarting || cancelled_; });
    if (state_ == ssRestarting) {
        throw ESetupUnavailable(cancelled_
                                    ? "The setup server is being started again; the calculation "
                                      "thread stops"
                                    : "The setup server is being started again and has not "
                                      "answered");
    }
    return generation_;
}

void TBusSetupQuery::CancelWaits() {
    std::lock_guard guard(stateLock_);
    cancelled_ = true;
    stateChanged_.notify_all();
}

void TBusSetupQuery::NoteLost(std::uint64_t generation) {
    std::lock_guard guard(stateLock_);
    if (generation_ != generation || state_ != ssAttached) return;
    state_ = ssRestarting;
    lostAt_ = std::chrono::steady_clock::now();
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
    if (state_ != ssAttached) return;  // not attached, or a query noted the loss first
    state_ = ssRestarting;
    lostAt_ = std::chrono::steady_clock::now();
}

void TBusSetupQuery::RestartEnded(bool ok) {
    std::lock_guard guard(stateLock_);
    state_ = ok ? ssAttached : ssFailed;
    ++generation_;
    stateChanged_.notify_all();
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
