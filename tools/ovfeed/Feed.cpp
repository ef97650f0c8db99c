// ovfeed's bus side.
#include "Feed.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string_view>
#include <utility>

#include "util/FeedLine.h"
#include "util/TextCodec.h"

namespace ov {
namespace {

// Clients leaving the bus: the name's owner becomes empty.
constexpr const char* ClientGoneCondition = "arg2=''";

// Lines in one go before the event loop serves the bus again.
constexpr int PumpBatch = 256;
// Sent signals between two flushes of the write queue, which keep the queue of unsent messages
// short however fast the lines come.
constexpr long long SyncEvery = 1024;

std::uint64_t NowUsec() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

// The line as bus text: as it stands when it is UTF-8, else 8-bit text, byte for code point.
// A bus text cannot hold a zero byte: it goes as "?", so that a value holding one reaches the
// client as the non-number it is instead of cut short at it.
std::string LineText(std::string text) {
    std::replace(text.begin(), text.end(), '\0', '?');
    return IsBusUtf8(text) ? text : Latin1ToUtf8(text);
}

// An item name compared without regard to case: ASCII and Latin-1 letters upper case.
std::string UpperKey(std::string text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 'a' && c <= 'z') {
            text[i] = static_cast<char>(c - 0x20);
        } else if (c == 0xC3 && i + 1 < text.size()) {
            // U+00E0-U+00FE (not U+00F7, the division sign) to U+00C0-U+00DE.
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0xA0 && next <= 0xBE && next != 0xB7) {
                text[i + 1] = static_cast<char>(next - 0x20);
            }
            ++i;
        }
    }
    return text;
}

// Splits "ITEM DATA" as every reader of feed lines does, each part as bus text. False for a
// line to skip (empty, or a comment beginning with "#").
bool SplitLine(const std::string& line, std::string& item, std::string& data) {
    std::string_view itemText, dataText;
    if (!SplitFeedLine(line, itemText, dataText)) return false;
    item = LineText(std::string(itemText));
    data = LineText(std::string(dataText));
    return true;
}

}  // namespace

TFeed::TFeed(TFeedOptions options)
    : options_(std::move(options)),
      busName_(options_.Source->BusName),
      path_(options_.Source->ObjectPath),
      interface_(options_.Source->Interface),
      events_(options_.Source->EventsInterface) {}

TFeed::~TFeed() {
    // The reading thread notifies through wakeFd_: it ends before the sources go.
    lines_.reset();
    ready_.clear();
    askAgain_.reset();
    waitLimit_.reset();
    pump_.reset();
    timer_.reset();
    wake_.reset();  // closes wakeFd_
    clientsGone_.reset();
    eventsObject_.reset();
    object_.reset();
    if (bus_) sd_bus_detach_event(bus_.get());
    bus_.reset();
    event_.reset();
}

bool TFeed::Start(std::string& error) {
    // The vtables hold the handlers by pointer: they take this feed as user data.
    static const sd_bus_vtable sourceVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD_WITH_NAMES("LinkItem", "ss", SD_BUS_PARAM(AppID) SD_BUS_PARAM(Item), "", "",
                                 &TFeed::OnLinkItem, 0),
        SD_BUS_VTABLE_END,
    };
    static const sd_bus_vtable eventsVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_SIGNAL_WITH_NAMES(ItemChangeSignal.data(), "sss",
                                 SD_BUS_PARAM(AppID) SD_BUS_PARAM(Item) SD_BUS_PARAM(Data), 0),
        SD_BUS_SIGNAL_WITH_NAMES(AppShutdownSignal.data(), "s", SD_BUS_PARAM(AppID), 0),
        SD_BUS_VTABLE_END,
    };

    sd_event* event = nullptr;
    int r = sd_event_new(&event);
    if (r < 0) {
        error = "cannot make an event loop: " + SdErrorText(r);
        return false;
    }
    event_.reset(event);
    sd_bus* bus = nullptr;
    r = sd_bus_open_user(&bus);
    if (r < 0) {
        error = "cannot reach the session bus: " + SdErrorText(r);
        return false;
    }
    bus_.reset(bus);
    // A bus that goes away ends the loop (Run reports it).
    sd_bus_set_exit_on_disconnect(bus, 1);
    r = sd_bus_attach_event(bus, event, SD_EVENT_PRIORITY_NORMAL);
    if (r < 0) {
        error = "cannot serve the session bus: " + SdErrorText(r);
        return false;
    }

    sd_bus_slot* slot = nullptr;
    r = sd_bus_add_object_vtable(bus, &slot, path_.c_str(), interface_.c_str(), sourceVtable, this);
    if (r >= 0) {
        object_.reset(slot);
        r = sd_bus_add_object_vtable(bus, &slot, path_.c_str(), events_.c_str(), eventsVtable,
                                     this);
        if (r >= 0) eventsObject_.reset(slot);
    }
    if (r < 0) {
        error = "cannot export " + path_ + ": " + SdErrorText(r);
        return false;
    }
    // Watching clients leave before the name is owned: no client links unwatched.
    r = sd_bus_add_match(bus, &slot, NameOwnerChangedRule(ClientGoneCondition).c_str(),
                         &TFeed::OnNameOwnerChanged, this);
    if (r < 0) {
        error = "cannot watch the clients: " + SdErrorText(r);
        return false;
    }
    clientsGone_.reset(slot);

    r = sd_bus_request_name(bus, busName_.c_str(), 0);
    if (r == -EEXIST) {
        error = busName_ + " is already owned by another program";
        return false;
    }
    if (r < 0) {
        error = "cannot own " + busName_ + ": " + SdErrorText(r);
        return false;
    }

    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        error = "cannot make an event: " + SdErrorText(errno);
        return false;
    }
    sd_event_source* source = nullptr;
    r = sd_event_add_io(event, &source, wakeFd_, EPOLLIN, &TFeed::OnWake, this);
    if (r < 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
        error = "cannot watch the input: " + SdErrorText(r);
        return false;
    }
    wake_.reset(source);
    sd_event_source_set_io_fd_own(source, 1);
    return true;
}

bool TFeed::Run(std::unique_ptr<TLineSource> lines, std::string& error) {
    lines_ = std::move(lines);
    sd_event_source* source = nullptr;
    int r = sd_event_add_defer(event_.get(), &source, &TFeed::OnPump, this);
    if (r < 0) {
        error = "cannot start: " + SdErrorText(r);
        return false;
    }
    pump_.reset(source);
    // The bus comes before the lines: a flood of lines never keeps a LinkItem call waiting.
    sd_event_source_set_priority(source, SD_EVENT_PRIORITY_IDLE);
    lines_->Start();
    clockStart_ = NowUsec();
    r = sd_event_loop(event_.get());
    if (r == 0 && failure_.empty()) return true;
    if (!failure_.empty()) {
        error = failure_;
    } else if (r > 0) {
        error = "the session bus has gone away";
    } else {
        error = "the event loop failed: " + SdErrorText(r);
    }
    return false;
}

void TFeed::Wake() {
    const std::uint64_t one = 1;
    // Cannot fail short of a counter at its maximum, which a pending wake-up covers anyway.
    if (::write(wakeFd_, &one, sizeof one) < 0) return;
}

int TFeed::OnWake(sd_event_source*, int fd, std::uint32_t, void* feed) {
    std::uint64_t count = 0;
    // Nothing to read is no fault: the count was taken on an earlier wake-up.
    if (::read(fd, &count, sizeof count) < 0 && errno != EAGAIN) {
        static_cast<TFeed*>(feed)->Failed("cannot read the input's event", -errno);
        return 0;
    }
    static_cast<TFeed*>(feed)->Pump();
    return 0;
}

int TFeed::OnTimer(sd_event_source*, std::uint64_t, void* feed) {
    static_cast<TFeed*>(feed)->Pump();
    return 0;
}

int TFeed::OnPump(sd_event_source*, void* feed) {
    static_cast<TFeed*>(feed)->Pump();
    return 0;
}

int TFeed::OnLinkItem(sd_bus_message* call, void* userdata, sd_bus_error*) {
    auto* feed = static_cast<TFeed*>(userdata);
    const char* appId = nullptr;
    const char* item = nullptr;
    int r = sd_bus_message_read(call, "ss", &appId, &item);
    if (r < 0) return r;  // answered with an error
    const char* sender = sd_bus_message_get_sender(call);
    const std::string client = sender != nullptr ? sender : "";
    const std::string key = UpperKey(item);
    feed->links_[client].insert(key);
    std::fprintf(stderr, "ovfeed: %s (%s) linked %s\n", client.c_str(), appId, key.c_str());
    r = sd_bus_reply_method_return(call, "");
    if (feed->options_.Wait != fwNone) feed->Linked(client, appId);
    if (feed->haveHeld_) {
        // The held line may go now (the rate restarts from there); not from inside the bus's
        // own processing.
        feed->PumpSoon();
    }
    return r;
}

int TFeed::OnNameOwnerChanged(sd_bus_message* signal, void* userdata, sd_bus_error*) {
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
    if (*newOwner == '\0') {
        auto* feed = static_cast<TFeed*>(userdata);
        feed->links_.erase(name);
        feed->ready_.erase(name);
    }
    return 0;
}

// Only OV Calc, which says who it is by the AppID of its links, is asked whether it can take
// data. Any other client takes data as soon as it links: asked, a client that does not serve
// its bus connection meanwhile (a script that links and waits, a benchmark's control
// connection) would answer only with sd-bus's call time-out, 25 s on every link.
void TFeed::Linked(const std::string& client, std::string_view appId) {
    if (appId == CalcAppID) {
        AskReady(client);
        return;
    }
    auto [it, made] = ready_.try_emplace(client);
    if (!made) return;  // it linked as OV Calc before: its answer stands
    it->second.Feed = this;
    it->second.Client = client;
    it->second.Ready = rdReady;
}

// OV Calc's main window tells whether its calculation thread runs: a line sent while it does
// not would be dropped. A client without that object says nothing against taking data.
void TFeed::AskReady(const std::string& client) {
    TQuestion& question = ready_[client];
    question.Feed = this;
    question.Client = client;
    question.Ready = rdAsking;
    question.Call.reset();
    const std::string path(MainWindowPath), interface(MainWindowInterface);
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_call_method_async(
        bus_.get(), &slot, client.c_str(), path.c_str(), "org.freedesktop.DBus.Properties", "Get",
        &TFeed::OnReadyAnswer, &question, "ss", interface.c_str(), "ThreadStopped");
    if (r < 0) {
        question.Ready = rdReady;
        return;
    }
    question.Call.reset(slot);
}

int TFeed::OnReadyAnswer(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* question = static_cast<TQuestion*>(userdata);
    int stopped = 0;
    bool ready = true;
    if (!sd_bus_message_is_method_error(reply, nullptr) &&
        sd_bus_message_read(reply, "v", "b", &stopped) >= 0) {
        ready = stopped == 0;
    }
    // The slot is done with; the entry may go in Answered's wake.
    question->Call.reset();
    question->Feed->Answered(question->Client, ready);
    return 0;
}

void TFeed::Answered(const std::string& client, bool ready) {
    auto it = ready_.find(client);
    if (it == ready_.end()) return;
    if (ready) {
        it->second.Ready = rdReady;
        PumpSoon();
        return;
    }
    if (it->second.Ready != rdNotYet && holding_) {
        std::fprintf(stderr, "ovfeed: %s linked but does not calculate yet; waiting\n",
                     client.c_str());
    }
    it->second.Ready = rdNotYet;
    // Asked again shortly.
    if (!askAgain_ || sd_event_source_get_enabled(askAgain_.get(), nullptr) == 0) {
        if (!Arm(askAgain_, NowUsec() + 100000, &TFeed::OnAskAgain)) {
            Failed("cannot set a timer", -errno);
        }
    }
}

int TFeed::OnAskAgain(sd_event_source*, std::uint64_t, void* userdata) {
    auto* feed = static_cast<TFeed*>(userdata);
    for (auto& [client, question] : feed->ready_) {
        if (question.Ready == rdNotYet) feed->AskReady(client);
    }
    return 0;
}

int TFeed::OnWaitLimit(sd_event_source*, std::uint64_t, void* userdata) {
    auto* feed = static_cast<TFeed*>(userdata);
    if (!feed->holding_) return 0;
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", feed->options_.WaitLimit);
    feed->failure_ = "no client took the data within " + std::string(limit) + " s (--wait-limit)";
    feed->finished_ = true;
    sd_event_exit(feed->event_.get(), 1);
    return 0;
}

bool TFeed::Arm(TSdEventSource& source, std::uint64_t due, sd_event_time_handler_t handler) {
    int r;
    if (!source) {
        sd_event_source* made = nullptr;
        r = sd_event_add_time(event_.get(), &made, CLOCK_MONOTONIC, due, 1000, handler, this);
        if (r >= 0) source.reset(made);
    } else {
        r = sd_event_source_set_time(source.get(), due);
        if (r >= 0) r = sd_event_source_set_enabled(source.get(), SD_EVENT_ONESHOT);
    }
    if (r < 0) errno = -r;
    return r >= 0;
}

bool TFeed::MayGo() const {
    for (const auto& [client, items] : links_) {
        const bool wanted = options_.Wait == fwItem ? items.count(heldKey_) > 0 : !items.empty();
        if (!wanted) continue;
        auto it = ready_.find(client);
        if (it != ready_.end() && it->second.Ready == rdReady) return true;
    }
    return false;
}

void TFeed::Hold() {
    if (holding_) return;
    holding_ = true;
    if (options_.Wait == fwItem) {
        std::fprintf(stderr, "ovfeed: waiting for a client to link %s on %s\n", heldKey_.c_str(),
                     busName_.c_str());
    } else {
        std::fprintf(stderr,
                     "ovfeed: waiting for a client to link %s (OV Calc does once it runs with "
                     "this data source switched on)\n",
                     busName_.c_str());
    }
    if (options_.WaitLimit > 0) {
        const auto due = NowUsec() + static_cast<std::uint64_t>(options_.WaitLimit * 1e6);
        if (!Arm(waitLimit_, due, &TFeed::OnWaitLimit)) Failed("cannot set a timer", -errno);
    }
}

void TFeed::Release() {
    if (!holding_) return;
    holding_ = false;
    if (waitLimit_) sd_event_source_set_enabled(waitLimit_.get(), SD_EVENT_OFF);
}

void TFeed::PumpSoon() {
    if (pump_) sd_event_source_set_enabled(pump_.get(), SD_EVENT_ONESHOT);
}

bool TFeed::Failed(const std::string& what, int r) {
    if (failure_.empty()) failure_ = what + ": " + SdErrorText(r);
    finished_ = true;
    sd_event_exit(event_.get(), 1);
    return false;
}

bool TFeed::Emit(const std::string& item, const std::string& data) {
    int r = sd_bus_emit_signal(bus_.get(), path_.c_str(), events_.c_str(), ItemChangeSignal.data(),
                               "sss", options_.AppId.c_str(), item.c_str(), data.c_str());
    if (r < 0) return Failed("cannot send an item change", r);
    ++sent_;
    if (sent_ % SyncEvery == 0) {
        r = sd_bus_flush(bus_.get());
        if (r < 0) return Failed("cannot send an item change", r);
    }
    return true;
}

void TFeed::Pump() {
    if (finished_) return;
    for (int batch = 0; batch < PumpBatch; ++batch) {
        if (!haveHeld_) {
            std::string line;
            TLineSource::TTake took = lines_->Take(line);
            if (took == TLineSource::tkNone) return;  // the reader wakes the loop again
            if (took == TLineSource::tkEnd) {
                if (lines_->ReadFailed()) {
                    Failed("cannot read the input", -EIO);
                    return;
                }
                Finish();
                return;
            }
            if (!SplitLine(line, heldItem_, heldData_)) continue;
            heldKey_ = UpperKey(heldItem_);
            haveHeld_ = true;
        }
        if (options_.Wait != fwNone && !MayGo()) {
            // LinkItem and the clients' answers pump again; the rate counts from the moment
            // the line goes.
            heldForLink_ = true;
            Hold();
            return;
        }
        Release();
        if (heldForLink_) {
            // A clock that ran on while the line waited would let the lines after it out at
            // once until they caught up with the rate.
            heldForLink_ = false;
            rateBase_ = sent_;
            clockStart_ = NowUsec();
        }
        if (options_.Rate > 0) {
            // Line n after the clock's start is due at n / rate seconds.
            const std::uint64_t due =
                clockStart_ + static_cast<std::uint64_t>(std::ceil(
                                  static_cast<double>(sent_ - rateBase_) * 1e6 / options_.Rate));
            if (due > NowUsec()) {
                int r = 0;
                if (!timer_) {
                    sd_event_source* source = nullptr;
                    r = sd_event_add_time(event_.get(), &source, CLOCK_MONOTONIC, due, 1,
                                          &TFeed::OnTimer, this);
                    if (r >= 0) timer_.reset(source);
                } else {
                    r = sd_event_source_set_time(timer_.get(), due);
                    if (r >= 0) r = sd_event_source_set_enabled(timer_.get(), SD_EVENT_ONESHOT);
                }
                if (r < 0) Failed("cannot set a timer", r);
                return;
            }
        }
        if (!Emit(heldItem_, heldData_)) return;
        haveHeld_ = false;
    }
    PumpSoon();
}

void TFeed::Finish() {
    finished_ = true;
    if (options_.Shutdown) {
        int r = sd_bus_emit_signal(bus_.get(), path_.c_str(), events_.c_str(),
                                   AppShutdownSignal.data(), "s", options_.AppId.c_str());
        if (r < 0) {
            Failed("cannot send the shutdown event", r);
            return;
        }
    }
    // Everything sent has reached the bus before the count is told: the bus daemon answers a
    // call only after the messages before it.
    sd_bus_message* created = nullptr;
    int r = sd_bus_message_new_method_call(bus_.get(), &created, SdBusDaemon, SdBusDaemonPath,
                                           SdBusDaemon, "GetId");
    const TSdMessage call(created);
    std::string error;
    if (r < 0) {
        error = SdErrorText(r);
    } else if (!SdCall(bus_.get(), created, 0, error)) {
        r = -1;
    }
    if (r < 0) {
        failure_ = "cannot reach the bus at the end: " + error;
        sd_event_exit(event_.get(), 1);
        return;
    }
    std::printf("ovfeed: %lld lines sent\n", sent_);
    std::fflush(stdout);
    if (!options_.Stay) sd_event_exit(event_.get(), 0);
}

}  // namespace ov
