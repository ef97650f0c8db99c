// The setup server's calls over a bus connection of the calling thread's own, made with
// libsystemd's sd-bus: the calculation thread's way to the setup server.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "busnames/BusNames.h"
#include "sdbus/SdBus.h"
#include "suite/SetupServer.h"

namespace ov {

// One object per thread: the connection it opens must be used by one thread at a time. It
// follows the owner of OVSetup.Applications by the bus's owner-change signal, so that a
// call is not made at all while no setup server runs. Every call waits at most the time-out.
class TSdBusSetupServer : public ISetupServer {
  public:
    // Connects to the session bus (DBUS_SESSION_BUS_ADDRESS); see Connected.
    explicit TSdBusSetupServer(std::chrono::milliseconds timeout = SetupCallTimeout);
    ~TSdBusSetupServer() override;
    TSdBusSetupServer(const TSdBusSetupServer&) = delete;
    TSdBusSetupServer& operator=(const TSdBusSetupServer&) = delete;

    // Why the last call failed: no bus connection (none made, or it has closed), no setup
    // server running, no answer within the time-out, or an error answered.
    enum TFailure { sfNone, sfNoBus, sfNotRunning, sfTimedOut, sfError };

    // False when the bus could not be reached or the connection has closed since; every call
    // then fails.
    bool Connected() const;
    // Whether the setup server's bus name has an owner, as the bus last told.
    bool ServerRunning();
    // The same, asked of the bus daemon now (it answers after every owner change it made
    // before the question); false also when it cannot be asked.
    bool AskServerRunning();

    bool GetGeneralSetup(std::vector<TSetupValue>& values) override;
    bool GetDataServerSetup(std::vector<TSetupValue>& values) override;
    bool GetSetupParam(const std::string& key, std::string& value) override;

    const std::string& LastError() const { return lastError_; }
    TFailure LastFailure() const { return lastFailure_; }

  private:
    // Handles what the bus sent meanwhile (owner changes) without waiting.
    void ProcessPending();
    // The reply of method with at most one text argument; null when the call was not made or
    // failed (lastError_ says why).
    TSdMessage Call(const char* method, const char* signature, const char* argument);
    bool GetArray(const char* method, std::vector<TSetupValue>& values);

    TSdBus bus_;
    TSdSlot ownerMatch_;          // released before the bus
    bool serverRunning_ = false;  // set by the owner-change signal's handler
    unsigned long long timeoutUs_;
    std::string lastError_;
    TFailure lastFailure_ = sfNone;
};

}  // namespace ov
