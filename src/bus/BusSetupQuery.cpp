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
    return ov::QuerySetup(&Server(), key, value);
}

bool TBusSetupQuery::AttachThread() {
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
