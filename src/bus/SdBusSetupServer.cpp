// Setup-server calls over sd-bus.
#include "bus/SdBusSetupServer.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "bus/BusText.h"

namespace ov {
namespace {

constexpr const char* BusDaemon = "org.freedesktop.DBus";
constexpr const char* BusDaemonPath = "/org/freedesktop/DBus";

std::string SetupName() {
    return std::string(SetupBusName);
}

std::string ErrorText(int r, const sd_bus_error& error) {
    if (error.message != nullptr) {
        return std::string(error.name != nullptr ? error.name : "") + ": " + error.message;
    }
    return std::strerror(-r);
}

// Reads one variant's basic value of type type into value; false for another type.
bool ReadBasic(sd_bus_message* m, char type, TSetupValue& value) {
    int r = -EINVAL;
    switch (type) {
        case 's': {
            const char* s = nullptr;
            r = sd_bus_message_read_basic(m, 's', &s);
            if (r > 0) value = EngineTextFromUtf8(s);
            break;
        }
        case 'b': {
            int b = 0;
            r = sd_bus_message_read_basic(m, 'b', &b);
            if (r > 0) value = b != 0;
            break;
        }
        case 'y': {
            std::uint8_t v = 0;
            r = sd_bus_message_read_basic(m, 'y', &v);
            if (r > 0) value = v;
            break;
        }
        case 'n': {
            std::int16_t v = 0;
            r = sd_bus_message_read_basic(m, 'n', &v);
            if (r > 0) value = v;
            break;
        }
        case 'q': {
            std::uint16_t v = 0;
            r = sd_bus_message_read_basic(m, 'q', &v);
            if (r > 0) value = v;
            break;
        }
        case 'i': {
            std::int32_t v = 0;
            r = sd_bus_message_read_basic(m, 'i', &v);
            if (r > 0) value = v;
            break;
        }
        case 'u': {
            std::uint32_t v = 0;
            r = sd_bus_message_read_basic(m, 'u', &v);
            if (r > 0) value = v;
            break;
        }
        case 'x': {
            std::int64_t v = 0;
            r = sd_bus_message_read_basic(m, 'x', &v);
            if (r > 0) value = v;
            break;
        }
        case 't': {
            std::uint64_t v = 0;
            r = sd_bus_message_read_basic(m, 't', &v);
            if (r > 0) value = v;
            break;
        }
        case 'd': {
            double v = 0;
            r = sd_bus_message_read_basic(m, 'd', &v);
            if (r > 0) value = v;
            break;
        }
        default:
            break;
    }
    return r > 0;
}

// The "av" answer as settings elements; false for any other shape.
bool ReadValues(sd_bus_message* m, std::vector<TSetupValue>& values) {
    if (sd_bus_message_enter_container(m, 'a', "v") <= 0) return false;
    std::vector<TSetupValue> out;
    for (;;) {
        char type = 0;
        const char* contents = nullptr;
        int r = sd_bus_message_peek_type(m, &type, &contents);
        if (r < 0) return false;
        if (r == 0) break;  // end of the array
        if (type != 'v' || contents == nullptr || std::strlen(contents) != 1) return false;
        if (sd_bus_message_enter_container(m, 'v', contents) <= 0) return false;
        TSetupValue v;
        if (!ReadBasic(m, contents[0], v)) return false;
        if (sd_bus_message_exit_container(m) < 0) return false;
        out.push_back(std::move(v));
    }
    if (sd_bus_message_exit_container(m) < 0) return false;
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
    sd_bus* bus = nullptr;
    int r = sd_bus_open_user(&bus);
    if (r < 0) {
        lastError_ = std::string("cannot reach the session bus: ") + std::strerror(-r);
        return;
    }
    bus_ = bus;
    // Follow the owner first, then ask for it: no change can fall between the two.
    const std::string rule =
        "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
        "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" +
        SetupName() + "'";
    r = sd_bus_add_match(bus_, &ownerMatch_, rule.c_str(), &OwnerChanged, &serverRunning_);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (r >= 0) {
        r = sd_bus_call_method(bus_, BusDaemon, BusDaemonPath, BusDaemon, "NameHasOwner", &error,
                               &reply, "s", SetupName().c_str());
    }
    if (r < 0) {
        lastError_ = "cannot follow the setup server's bus name: " + ErrorText(r, error);
        sd_bus_error_free(&error);
        sd_bus_slot_unref(ownerMatch_);
        ownerMatch_ = nullptr;
        sd_bus_flush_close_unref(bus_);
        bus_ = nullptr;
        return;
    }
    int has = 0;
    if (sd_bus_message_read(reply, "b", &has) > 0) serverRunning_ = has != 0;
    sd_bus_message_unref(reply);
}

TSdBusSetupServer::~TSdBusSetupServer() {
    sd_bus_slot_unref(ownerMatch_);
    if (bus_ != nullptr) sd_bus_flush_close_unref(bus_);
}

void TSdBusSetupServer::ProcessPending() {
    if (bus_ == nullptr) return;
    // Each round handles one message; 0 means nothing is left to do.
    while (sd_bus_process(bus_, nullptr) > 0) {
    }
}

bool TSdBusSetupServer::ServerRunning() {
    ProcessPending();
    return serverRunning_;
}

sd_bus_message* TSdBusSetupServer::Call(const char* method, const char* signature,
                                        const char* argument) {
    if (bus_ == nullptr) {
        if (lastError_.empty()) lastError_ = "no bus connection";
        return nullptr;
    }
    ProcessPending();
    if (!serverRunning_) {
        lastError_ = "the setup server is not running";
        return nullptr;
    }
    sd_bus_message* call = nullptr;
    const std::string name = SetupName();
    const std::string path(SetupObjectPath);
    const std::string interface(SetupInterface);
    int r = sd_bus_message_new_method_call(bus_, &call, name.c_str(), path.c_str(),
                                           interface.c_str(), method);
    // A server that is not running is an answer, not something to start.
    if (r >= 0) r = sd_bus_message_set_auto_start(call, 0);
    if (r >= 0 && signature != nullptr) r = sd_bus_message_append(call, signature, argument);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (r >= 0) r = sd_bus_call(bus_, call, timeoutUs_, &error, &reply);
    sd_bus_message_unref(call);
    if (r < 0) {
        lastError_ = ErrorText(r, error);
        sd_bus_error_free(&error);
        return nullptr;
    }
    lastError_.clear();
    return reply;
}

bool TSdBusSetupServer::GetArray(const char* method, std::vector<TSetupValue>& values) {
    sd_bus_message* reply = Call(method, nullptr, nullptr);
    if (reply == nullptr) return false;
    bool ok = ReadValues(reply, values);
    if (!ok) {
        lastError_ = std::string(method) + " did not answer an array of settings values";
    }
    sd_bus_message_unref(reply);
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
        return false;
    }
    const std::string busKey = Utf8FromEngineText(key);
    sd_bus_message* reply = Call("GetSetupParam", "s", busKey.c_str());
    if (reply == nullptr) return false;
    const char* answer = nullptr;
    bool ok = sd_bus_message_read(reply, "s", &answer) > 0;
    if (ok) {
        value = EngineTextFromUtf8(answer);
    } else {
        lastError_ = "GetSetupParam did not answer a text";
    }
    sd_bus_message_unref(reply);
    return ok;
}

}  // namespace ov
