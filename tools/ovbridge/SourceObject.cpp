// ovbridge's data source on the bus.
#include "SourceObject.h"

#include <time.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "util/TextCompare.h"

namespace ovbridge {
namespace {

// A client asked again this often whether it can take data yet.
constexpr std::uint64_t AskAgainUsec = 100000;

std::uint64_t NowUsec() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

}  // namespace

TSourceObject::TSourceObject(sd_bus* bus, sd_event* event, const ov::TDataSource& source,
                             std::function<void()> ready)
    : bus_(bus),
      event_(event),
      source_(source),
      ready_(std::move(ready)),
      busName_(source.BusName),
      path_(source.ObjectPath),
      interface_(source.Interface),
      events_(source.EventsInterface),
      appId_(source.AppID) {}

TSourceObject::~TSourceObject() {
    questions_.clear();
    askAgain_.reset();
    clientsGone_.reset();
    eventsObject_.reset();
    object_.reset();
}

bool TSourceObject::Export(std::string& why) {
    // The vtables hold the handlers by pointer: they take this object as user data.
    static const sd_bus_vtable sourceVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD_WITH_NAMES("LinkItem", "ss", SD_BUS_PARAM(AppID) SD_BUS_PARAM(Item), "", "",
                                 &TSourceObject::OnLinkItem, 0),
        SD_BUS_VTABLE_END,
    };
    static const sd_bus_vtable eventsVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_SIGNAL_WITH_NAMES(ov::ItemChangeSignal.data(), "sss",
                                 SD_BUS_PARAM(AppID) SD_BUS_PARAM(Item) SD_BUS_PARAM(Data), 0),
        SD_BUS_SIGNAL_WITH_NAMES(ov::AppShutdownSignal.data(), "s", SD_BUS_PARAM(AppID), 0),
        SD_BUS_VTABLE_END,
    };
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(bus_, &slot, path_.c_str(), interface_.c_str(), sourceVtable,
                                     this);
    if (r >= 0) {
        object_.reset(slot);
        r = sd_bus_add_object_vtable(bus_, &slot, path_.c_str(), events_.c_str(), eventsVtable,
                                     this);
        if (r >= 0) eventsObject_.reset(slot);
    }
    if (r < 0) {
        why = "cannot export " + path_ + ": " + ov::SdErrorText(r);
        return false;
    }
    // Clients leaving are watched before the name is owned: no client links unwatched.
    r = sd_bus_add_match(bus_, &slot, ov::NameOwnerChangedRule("arg2=''").c_str(),
                         &TSourceObject::OnNameOwnerChanged, this);
    if (r < 0) {
        why = "cannot watch the clients: " + ov::SdErrorText(r);
        return false;
    }
    clientsGone_.reset(slot);
    return true;
}

bool TSourceObject::Own(std::string& why) {
    const int r = sd_bus_request_name(bus_, busName_.c_str(), 0);
    if (r == -EEXIST) {
        why = busName_ + " is already owned by another program (a data source of this kind runs)";
        return false;
    }
    if (r < 0) {
        why = "cannot own " + busName_ + ": " + ov::SdErrorText(r);
        return false;
    }
    return true;
}

int TSourceObject::OnLinkItem(sd_bus_message* call, void* self, sd_bus_error*) {
    auto* object = static_cast<TSourceObject*>(self);
    const char* appId = nullptr;
    const char* item = nullptr;
    int r = sd_bus_message_read(call, "ss", &appId, &item);
    if (r < 0) return r;  // answered with an error
    const char* sender = sd_bus_message_get_sender(call);
    const std::string client = sender != nullptr ? sender : "";
    object->links_[client].insert(ov::UpperCaseAscii(item));
    r = sd_bus_reply_method_return(call, "");
    object->Linked(client, appId);
    return r;
}

// Only OV Calc, which says who it is by the AppID of its links, is asked whether it can take
// data. Any other client takes data as soon as it links: asked, a client that does not serve
// its bus connection meanwhile (a script that links and waits) would answer only with sd-bus's
// call time-out, 25 s on every link.
void TSourceObject::Linked(const std::string& client, std::string_view appId) {
    if (appId == ov::CalcAppID) {
        AskReady(client);
        return;
    }
    auto [it, made] = questions_.try_emplace(client);
    if (!made) return;  // it linked as OV Calc before: its answer stands
    it->second.Owner = this;
    it->second.Client = client;
    it->second.Ready = rdReady;
    if (ready_) ready_();
}

int TSourceObject::OnNameOwnerChanged(sd_bus_message* signal, void* self, sd_bus_error*) {
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
    if (*newOwner == '\0') {
        auto* object = static_cast<TSourceObject*>(self);
        object->links_.erase(name);
        object->questions_.erase(name);
    }
    return 0;
}

// OV Calc's main window tells whether its calculation thread runs: an item change sent while it
// does not would be dropped. A client without that object says nothing against taking data.
void TSourceObject::AskReady(const std::string& client) {
    TQuestion& question = questions_[client];
    question.Owner = this;
    question.Client = client;
    question.Ready = rdAsking;
    question.Call.reset();
    const std::string path(ov::MainWindowPath), interface(ov::MainWindowInterface);
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_call_method_async(
        bus_, &slot, client.c_str(), path.c_str(), "org.freedesktop.DBus.Properties", "Get",
        &TSourceObject::OnReadyAnswer, &question, "ss", interface.c_str(), "ThreadStopped");
    if (r < 0) {
        question.Ready = rdReady;
        if (ready_) ready_();
        return;
    }
    question.Call.reset(slot);
}

int TSourceObject::OnReadyAnswer(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* question = static_cast<TQuestion*>(userdata);
    int stopped = 0;
    bool ready = true;
    if (!sd_bus_message_is_method_error(reply, nullptr) &&
        sd_bus_message_read(reply, "v", "b", &stopped) >= 0) {
        ready = stopped == 0;
    }
    question->Call.reset();
    question->Owner->Answered(question->Client, ready);
    return 0;
}

void TSourceObject::Answered(const std::string& client, bool ready) {
    auto it = questions_.find(client);
    if (it == questions_.end()) return;
    if (ready) {
        it->second.Ready = rdReady;
        if (ready_) ready_();
        return;
    }
    it->second.Ready = rdNotYet;
    if (askAgain_ && sd_event_source_get_enabled(askAgain_.get(), nullptr) > 0) return;
    int r;
    const std::uint64_t due = NowUsec() + AskAgainUsec;
    if (!askAgain_) {
        sd_event_source* made = nullptr;
        r = sd_event_add_time(event_, &made, CLOCK_MONOTONIC, due, 10000,
                              &TSourceObject::OnAskAgain, this);
        if (r >= 0) askAgain_.reset(made);
    } else {
        r = sd_event_source_set_time(askAgain_.get(), due);
        if (r >= 0) r = sd_event_source_set_enabled(askAgain_.get(), SD_EVENT_ONESHOT);
    }
    if (r < 0)
        std::fprintf(stderr, "ovbridge: cannot set a timer: %s\n", ov::SdErrorText(r).c_str());
}

int TSourceObject::OnAskAgain(sd_event_source*, std::uint64_t, void* self) {
    auto* object = static_cast<TSourceObject*>(self);
    std::set<std::string> waiting;
    for (auto& [client, question] : object->questions_) {
        if (question.Ready == rdNotYet) waiting.insert(client);
    }
    for (const auto& client : waiting) object->AskReady(client);
    return 0;
}

bool TSourceObject::MayGo() const {
    for (const auto& [client, items] : links_) {
        if (items.empty()) continue;
        auto it = questions_.find(client);
        if (it != questions_.end() && it->second.Ready == rdReady) return true;
    }
    return false;
}

bool TSourceObject::Emit(const std::string& item, const std::string& data, std::string& why) {
    const int r =
        sd_bus_emit_signal(bus_, path_.c_str(), events_.c_str(), ov::ItemChangeSignal.data(), "sss",
                           appId_.c_str(), item.c_str(), data.c_str());
    if (r < 0) {
        why = "cannot send an item change: " + ov::SdErrorText(r);
        return false;
    }
    return true;
}

void TSourceObject::EmitShutdown() {
    sd_bus_emit_signal(bus_, path_.c_str(), events_.c_str(), ov::AppShutdownSignal.data(), "s",
                       appId_.c_str());
}

}  // namespace ovbridge
