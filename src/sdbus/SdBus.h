// What every sd-bus user of the program shares (the calculation thread's setup queries, the
// data sources' item-change receiver, ovfeed): handles that release what they hold, the
// texts of failures, calls that hand back their reply or their error, and reading basic
// values. Standard C++ and libsystemd only; the sd-bus types stay declared, not included.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;
struct sd_event;
struct sd_event_source;

namespace ov {

// Releases each object the way sd-bus wants it released: a bus connection is flushed and
// closed before its last reference goes.
struct TSdRelease {
    void operator()(sd_bus* bus) const;
    void operator()(sd_bus_message* message) const;
    void operator()(sd_bus_slot* slot) const;
    void operator()(sd_event* event) const;
    void operator()(sd_event_source* source) const;
};
using TSdBus = std::unique_ptr<sd_bus, TSdRelease>;
using TSdMessage = std::unique_ptr<sd_bus_message, TSdRelease>;
using TSdSlot = std::unique_ptr<sd_bus_slot, TSdRelease>;
using TSdEvent = std::unique_ptr<sd_event, TSdRelease>;
using TSdEventSource = std::unique_ptr<sd_event_source, TSdRelease>;

// The text of an errno value r, negative as sd-bus returns it or positive as errno holds it.
std::string SdErrorText(int r);

// The bus daemon itself, for calls to it and for matching its signals.
inline constexpr const char* SdBusDaemon = "org.freedesktop.DBus";
inline constexpr const char* SdBusDaemonPath = "/org/freedesktop/DBus";
// A match rule for the bus daemon's NameOwnerChanged(name, old owner, new owner) signal
// limited by condition, for example "arg0='OVSetup.Applications'" or "arg2=''".
std::string NameOwnerChangedRule(std::string_view condition);

// Sends call and waits at most usec (0: sd-bus's default) for its reply. A failed call gives
// no reply, and error then says why: "error name: message" when the peer or the bus answered
// with an error, else the errno text. result (when given) gets sd-bus's negative errno of a
// failure (-ETIMEDOUT for a call not answered in time), 0 on success.
TSdMessage SdCall(sd_bus* bus, sd_bus_message* call, std::uint64_t usec, std::string& error,
                  int* result = nullptr);

// One basic value as read from a message: a text (s, o, g), a boolean or a number.
using TSdBasicValue =
    std::variant<std::string, bool, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t,
                 std::uint32_t, std::int64_t, std::uint64_t, double>;

// Reads the next argument of m, which is of basic type type (s, o, g, b, y, n, q, i, u, x, t
// or d). A text arrives as UTF-8 and becomes 8-bit text, each character that 8-bit text
// cannot hold read as "?". False (nothing read) for another type or a failed read.
bool SdReadBasic(sd_bus_message* m, char type, TSdBasicValue& value);

// Reads the next argument of m as an array of variants ("av"), each holding one basic value of
// a type listed in types ("sbynqiuxtd", say), as SdReadBasic reads it. False for another
// shape or another type; values is then unchanged.
bool SdReadVariantArray(sd_bus_message* m, std::string_view types,
                        std::vector<TSdBasicValue>& values);

}  // namespace ov
