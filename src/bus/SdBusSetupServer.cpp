// Setup-server calls over sd-bus.
#include "bus/SdBusSetupServer.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <variant>

#include "sdbus/SdBus.h"
#include "util/TextCodec.h"

namespace ov {
namespace {

std::string SetupName() {
    return std::string(SetupBusName);
}

// The "av" answer as settings elements; false for any other shape. Object paths and
// signatures are no settings texts.
bool ReadValues(sd_bus_message* m, std::vector<TSetupValue>& values) {
    std::vector<TSdBasicValue> basic;
    if (!SdReadVariantArray(m, "sbynqiuxtd", basic)) return false;
    std::vector<TSetupValue> out;
    out.reserve(basic.size());
    for (auto& element : basic) {
        std::visit(
            [&out](auto& v) {
                out.emplace_back(std::in_place_type<std::decay_t<decltype(v)>>, std::move(v));
            },
            element);
    }
    values = std::move(out);
    return true;
}

// NameOwnerChanged(name, old owner, new owner) of the setup server's name; running points to
// the client's flag.
int OwnerChanged(sd_bus_message* message, void* running, sd_bus_error*) {
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) > 0) {
        *static_cast<bool*>(running) = newOwner[0] != '\0';
    }
    return 0;
}

}  // namespace

TSdBusSetupServer::TSdBusSetupServer(std::chrono::milliseconds timeout)
    : timeoutUs_(static_cast<unsigned long long>(
          std::chrono::duration_cast<std::chrono::microseconds>(timeout).count())) {
    sd_bus* opened = nullptr;
    int r = sd_bus_open_user(&opened);
    if (r < 0) {
        lastError_ = "cannot reach the session bus: " + SdErrorText(r);
        return;
    }
    TSdBus bus(opened);
    // Follow the owner first, then ask for it: no change can fall between the two.
    sd_bus_slot* match = nullptr;
    r = sd_bus_add_match(bus.get(), &match,
                         NameOwnerChangedRule("arg0='" + SetupName() + "'").c_str(), &OwnerChanged,
                         &serverRunning_);
    TSdSlot ownerMatch(match);
    sd_bus_message* call = nullptr;
    if (r >= 0) {
        r = sd_bus_message_new_method_call(bus.get(), &call, SdBusDaemon, SdBusDaemonPath,
                                           SdBusDaemon, "NameHasOwner");
    }
    const TSdMessage question(call);
    if (r >= 0) r = sd_bus_message_append(call, "s", SetupName().c_str());
    std::string error;
    TSdMessage reply;
    if (r >= 0) {
        reply = SdCall(bus.get(), call, 0, error);
    } else {
        error = SdErrorText(r);
    }
    if (!reply) {
        lastError_ = "cannot follow the setup server's bus name: " + error;
        return;  // the match goes before the bus
    }
    int has = 0;
    if (sd_bus_message_read(reply.get(), "b", &has) > 0) serverRunning_ = has != 0;
    bus_ = std::move(bus);
    ownerMatch_ = std::move(ownerMatch);
}

TSdBusSetupServer::~TSdBusSetupServer() = default;

bool TSdBusSetupServer::Connected() const {
    return bus_ != nullptr && sd_bus_is_open(bus_.get()) > 0;
}

void TSdBusSetupServer::ProcessPending() {
    if (!bus_) return;
    // Each round handles one message; 0 means nothing is left to do.
    while (sd_bus_process(bus_.get(), nullptr) > 0) {
    }
}

bool TSdBusSetupServer::ServerRunning() {
    ProcessPending();
    return serverRunning_;
}

bool TSdBusSetupServer::AskServerRunning() {
    if (!bus_) return false;
    sd_bus_message* created = nullptr;
    int r = sd_bus_message_new_method_call(bus_.get(), &created, SdBusDaemon, SdBusDaemonPath,
                                           SdBusDaemon, "NameHasOwner");
    const TSdMessage question(created);
    if (r >= 0) r = sd_bus_message_append(created, "s", SetupName().c_str());
    if (r < 0) return false;
    std::string error;
    const TSdMessage reply = SdCall(bus_.get(), created, timeoutUs_, error);
    int has = 0;
    if (!reply || sd_bus_message_read(reply.get(), "b", &has) <= 0) return false;
    // Owner changes signalled before this answer are handled now; the answer is the newest.
    ProcessPending();
    serverRunning_ = has != 0;
    return serverRunning_;
}

TSdMessage TSdBusSetupServer::Call(const char* method, const char* signature,
                                   const char* argument) {
    if (!bus_) {
        if (lastError_.empty()) lastError_ = "no bus connection";
        lastFailure_ = sfNoBus;
        return nullptr;
    }
    ProcessPending();
    if (!Connected()) {
        lastError_ = "the bus connection has closed";
        lastFailure_ = sfNoBus;
        return nullptr;
    }
    if (!serverRunning_) {
        lastError_ = "the setup server is not running";
        lastFailure_ = sfNotRunning;
        return nullptr;
    }
    sd_bus_message* created = nullptr;
    const std::string name = SetupName();
    const std::string path(SetupObjectPath);
    const std::string interface(SetupInterface);
    int r = sd_bus_message_new_method_call(bus_.get(), &created, name.c_str(), path.c_str(),
                                           interface.c_str(), method);
    const TSdMessage call(created);
    // A server that is not running is an answer, not something to start.
    if (r >= 0) r = sd_bus_message_set_auto_start(created, 0);
    if (r >= 0 && signature != nullptr) r = sd_bus_message_append(created, signature, argument);
    if (r < 0) {
        lastError_ = SdErrorText(r);
        lastFailure_ = sfError;
        return nullptr;
    }
    int result = 0;
    TSdMessage reply = SdCall(bus_.get(), created, timeoutUs_, lastError_, &result);
    if (reply) {
        lastError_.clear();
        lastFailure_ = sfNone;
    } else if (!Connected()) {
        lastFailure_ = sfNoBus;
    } else {
        // The bus daemon's "no reply" for a server that ended without answering reads as a
        // time-out too; the caller asks whether it is still there.
        lastFailure_ = result == -ETIMEDOUT ? sfTimedOut : sfError;
    }
    return reply;
}

bool TSdBusSetupServer::GetArray(const char* method, std::vector<TSetupValue>& values) {
    const TSdMessage reply = Call(method, nullptr, nullptr);
    if (!reply) return false;
    bool ok = ReadValues(reply.get(), values);
    if (!ok) {
        lastError_ = std::string(method) + " did not answer an array of settings values";
        lastFailure_ = sfError;
    }
    return ok;
}

bool TSdBusSetupServer::GetGeneralSetup(std::vector<TSetupValue>& values) {
    return GetArray("GetGeneralSetup", values);
}

bool TSdBusSetupServer::GetDataServerSetup(std::vector<TSetupValue>& values) {
    return GetArray("GetDataServerSetup", values);
}

bool TSdBusSetupServer::GetSetupParam(const std::string& key, std::string& value) {
    if (key.find('\0') != std::string::npos) {
        lastError_ = "a key cannot hold a zero byte";
        lastFailure_ = sfError;
        return false;
    }
    const std::string busKey = Latin1ToUtf8(key);
    const TSdMessage reply = Call("GetSetupParam", "s", busKey.c_str());
    if (!reply) return false;
    TSdBasicValue answer;
    if (!SdReadBasic(reply.get(), 's', answer)) {
        lastError_ = "GetSetupParam did not answer a text";
        lastFailure_ = sfError;
        return false;
    }
    value = std::get<std::string>(std::move(answer));
    return true;
}

}  // namespace ov
