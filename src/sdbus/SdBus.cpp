// The sd-bus helpers.
#include "sdbus/SdBus.h"

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "util/TextCodec.h"

namespace ov {
namespace {

template <typename T>
bool ReadNumber(sd_bus_message* m, char type, TSdBasicValue& value) {
    T number{};
    if (sd_bus_message_read_basic(m, type, &number) <= 0) return false;
    value.emplace<T>(number);
    return true;
}

}  // namespace

void TSdRelease::operator()(sd_bus* bus) const {
    sd_bus_flush_close_unref(bus);
}
void TSdRelease::operator()(sd_bus_message* message) const {
    sd_bus_message_unref(message);
}
void TSdRelease::operator()(sd_bus_slot* slot) const {
    sd_bus_slot_unref(slot);
}
void TSdRelease::operator()(sd_event* event) const {
    sd_event_unref(event);
}
void TSdRelease::operator()(sd_event_source* source) const {
    sd_event_source_unref(source);
}

std::string SdErrorText(int r) {
    return std::strerror(r < 0 ? -r : r);
}

std::string NameOwnerChangedRule(std::string_view condition) {
    return "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
           "interface='org.freedesktop.DBus',member='NameOwnerChanged'," +
           std::string(condition);
}

TSdMessage SdCall(sd_bus* bus, sd_bus_message* call, std::uint64_t usec, std::string& error,
                  int* result) {
    sd_bus_error failure = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call(bus, call, usec, &failure, &reply);
    if (result != nullptr) *result = r < 0 ? r : 0;
    if (r < 0) {
        error =
            failure.message != nullptr
                ? std::string(failure.name != nullptr ? failure.name : "") + ": " + failure.message
                : SdErrorText(r);
    }
    sd_bus_error_free(&failure);
    return TSdMessage(r < 0 ? nullptr : reply);
}

bool SdReadBasic(sd_bus_message* m, char type, TSdBasicValue& value) {
    switch (type) {
        case 's':
        case 'o':
        case 'g': {
            const char* text = nullptr;
            if (sd_bus_message_read_basic(m, type, &text) <= 0) return false;
            std::string engineText;
            Utf8ToLatin1(text, engineText, TUtf8Policy::upReplace);
            value.emplace<std::string>(std::move(engineText));
            return true;
        }
        case 'b': {
            int b = 0;  // sd-bus reads a boolean as an int
            if (sd_bus_message_read_basic(m, 'b', &b) <= 0) return false;
            value.emplace<bool>(b != 0);
            return true;
        }
        case 'y':
            return ReadNumber<std::uint8_t>(m, type, value);
        case 'n':
            return ReadNumber<std::int16_t>(m, type, value);
        case 'q':
            return ReadNumber<std::uint16_t>(m, type, value);
        case 'i':
            return ReadNumber<std::int32_t>(m, type, value);
        case 'u':
            return ReadNumber<std::uint32_t>(m, type, value);
        case 'x':
            return ReadNumber<std::int64_t>(m, type, value);
        case 't':
            return ReadNumber<std::uint64_t>(m, type, value);
        case 'd':
            return ReadNumber<double>(m, type, value);
        default:
            return false;
    }
}

bool SdReadVariantArray(sd_bus_message* m, std::string_view types,
                        std::vector<TSdBasicValue>& values) {
    if (sd_bus_message_enter_container(m, 'a', "v") <= 0) return false;
    std::vector<TSdBasicValue> out;
    for (;;) {
        char type = 0;
        const char* contents = nullptr;
        int r = sd_bus_message_peek_type(m, &type, &contents);
        if (r < 0) return false;
        if (r == 0) break;  // end of the array
        if (type != 'v' || contents == nullptr || std::strlen(contents) != 1 ||
            types.find(contents[0]) == std::string_view::npos)
            return false;
        if (sd_bus_message_enter_container(m, 'v', contents) <= 0) return false;
        TSdBasicValue v;
        if (!SdReadBasic(m, contents[0], v)) return false;
        if (sd_bus_message_exit_container(m) < 0) return false;
        out.push_back(std::move(v));
    }
    if (sd_bus_message_exit_container(m) < 0) return false;
    values = std::move(out);
    return true;
}

}  // namespace ov
