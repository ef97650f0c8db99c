// The data sources' events read and delivered on the receiver thread.
#include "bus/ItemChangeReceiver.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <future>
#include <utility>
#include <variant>

#include "sdbus/SdBus.h"
#include "util/TextCodec.h"

namespace ov {
namespace {

// The text of a basic value: a text as it is, a boolean as "true" or "false", a number in
// decimal.
struct TValueText {
    std::string operator()(std::string text) const { return text; }
    std::string operator()(bool b) const { return b ? "true" : "false"; }
    template <typename T>
    std::string operator()(T number) const {
        char text[64];
        auto [end, ec] = std::to_chars(text, text + sizeof text, number);
        return ec == std::errc() ? std::string(text, end) : std::string();
    }
};

// The next argument as text, as a receiver that takes any argument "as a string" reads it:
// a text as it is, a number in decimal, a variant by its content; anything else is empty.
// Past the last argument: empty.
// replaced (when given) counts the characters that 8-bit text cannot hold, read as "?".
std::string ReadText(sd_bus_message* m, std::size_t* replaced = nullptr) {
    char type = 0;
    const char* contents = nullptr;
    if (replaced != nullptr) *replaced = 0;
    if (sd_bus_message_peek_type(m, &type, &contents) <= 0) return {};
    if (type == 'v') {
        if (sd_bus_message_enter_container(m, 'v', contents) <= 0) {
            sd_bus_message_skip(m, nullptr);
            return {};
        }
        std::string text = ReadText(m, replaced);
        sd_bus_message_exit_container(m);
        return text;
    }
    if (type == 's') {
        const char* utf8 = nullptr;
        if (sd_bus_message_read_basic(m, 's', &utf8) <= 0) return {};
        std::string text;
        Utf8ToLatin1(utf8, text, TUtf8Policy::upReplace, replaced);
        return text;
    }
    TSdBasicValue value;
    if (!SdReadBasic(m, type, value)) {
        sd_bus_message_skip(m, nullptr);
        return {};
    }
    return std::visit(TValueText{}, std::move(value));
}

std::string MatchRule(const TDataSource& source, std::string_view member) {
    return "type='signal',sender='" + std::string(source.BusName) + "',path='" +
           std::string(source.ObjectPath) + "',interface='" + std::string(source.EventsInterface) +
           "',member='" + std::string(member) + "'";
}

}  // namespace

TItemChangeReceiver::TItemChangeReceiver(TItemChangeProc itemChange, TShutdownProc shutdown,
                                         TOwnerLostProc ownerLost)
    : itemChange_(std::move(itemChange)),
      shutdown_(std::move(shutdown)),
      ownerLost_(std::move(ownerLost)) {
    sd_bus* opened = nullptr;
    int r = sd_bus_open_user(&opened);
    if (r < 0) {
        SetError("cannot reach the session bus: " + SdErrorText(r));
        return;
    }
    TSdBus bus(opened);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        SetError("cannot make a wake-up event: " + SdErrorText(errno));
        return;
    }
    bus_ = std::move(bus);
    {
        std::lock_guard<std::mutex> guard(lock_);
        running_ = true;
    }
    thread_ = std::thread([this] { Run(); });
}

TItemChangeReceiver::~TItemChangeReceiver() {
    stopping_ = true;
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool TItemChangeReceiver::Ready() const {
    std::lock_guard<std::mutex> guard(lock_);
    return running_;
}

std::string TItemChangeReceiver::LastError() const {
    std::lock_guard<std::mutex> guard(lock_);
    return error_;
}

void TItemChangeReceiver::SetError(std::string text) {
    std::lock_guard<std::mutex> guard(lock_);
    error_ = std::move(text);
}

bool TItemChangeReceiver::Post(TCommand command) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!running_) return false;
        commands_.push_back(std::move(command));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    return true;
}

bool TItemChangeReceiver::Subscribe(const TDataSource& source, std::chrono::milliseconds timeout) {
    const std::size_t kind = static_cast<std::size_t>(source.Kind);
    const unsigned generation = ++lastGeneration_;
    // In force before the bus knows the rule, so that nothing it routes here is turned away.
    active_[kind] = generation;
    auto done = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = done->get_future();
    bool ok = false;
    if (!Post([this, source, generation, timeout, done] {
            done->set_value(AddMatches(source, generation, timeout));
        })) {
        SetError("the data sources' bus connection is closed");
    } else if (answer.wait_for(timeout) != std::future_status::ready) {
        SetError("the receiver did not subscribe in time");
    } else {
        ok = answer.get();
    }
    if (!ok) {
        unsigned expected = generation;
        active_[kind].compare_exchange_strong(expected, 0);
        Post([this] { Prune(); });
    }
    return ok;
}

void TItemChangeReceiver::Unsubscribe(TDataSourceKind kind) {
    active_[static_cast<std::size_t>(kind)] = 0;
    Post([this] { Prune(); });
}

bool TItemChangeReceiver::AddMatches(const TDataSource& source, unsigned generation,
                                     std::chrono::milliseconds timeout) {
    Prune();
    if (!AddMatch(source, generation, mrItemChange, MatchRule(source, ItemChangeSignal)) ||
        !AddMatch(source, generation, mrShutdown, MatchRule(source, AppShutdownSignal))) {
        return false;  // the caller's failure prunes what was added
    }
    // The owner's changes are followed before it is asked for: no change falls between.
    const std::string name(source.BusName);
    if (!AddMatch(source, generation, mrOwner, NameOwnerChangedRule("arg0='" + name + "'"))) {
        return false;
    }
    sd_bus_message* created = nullptr;
    int r = sd_bus_message_new_method_call(bus_.get(), &created, SdBusDaemon, SdBusDaemonPath,
                                           SdBusDaemon, "GetNameOwner");
    const TSdMessage call(created);
    if (r >= 0) r = sd_bus_message_append(created, "s", name.c_str());
    std::string error = r < 0 ? SdErrorText(r) : std::string();
    TSdMessage reply;
    if (r >= 0) {
        const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
        reply = SdCall(bus_.get(), created, static_cast<std::uint64_t>(usec), error);
    }
    const char* owner = nullptr;
    if (!reply || sd_bus_message_read(reply.get(), "s", &owner) <= 0 || owner == nullptr) {
        SetError(name + " has no owner: " + error);
        return false;
    }
    matches_.back()->SourceOwner = owner;
    return true;
}

bool TItemChangeReceiver::AddMatch(const TDataSource& source, unsigned generation, TMatchRole role,
                                   const std::string& rule) {
    auto match = std::make_unique<TMatch>(TMatch{this, source.Kind, generation, role, {}, {}});
    // Synchronous: when it returns the bus routes the matching signals here.
    sd_bus_message_handler_t handler = [](sd_bus_message* message, void* userdata,
                                          sd_bus_error*) -> int {
        auto* signal = static_cast<TMatch*>(userdata);
        if (signal->Role == mrOwner) {
            signal->Receiver->DeliverOwnerChange(*signal, message);
        } else {
            signal->Receiver->Deliver(*signal, message);
        }
        return 0;
    };
    sd_bus_slot* slot = nullptr;
    const int r = sd_bus_add_match(bus_.get(), &slot, rule.c_str(), handler, match.get());
    if (r < 0) {
        SetError("cannot subscribe to " + std::string(source.BusName) + ": " + SdErrorText(r));
        return false;
    }
    match->Slot.reset(slot);
    matches_.push_back(std::move(match));
    return true;
}

void TItemChangeReceiver::Prune() {
    // A match cannot go while its own signal is being delivered; the main loop does it after.
    if (delivering_) {
        pruneWanted_ = true;
        return;
    }
    pruneWanted_ = false;
    std::erase_if(matches_, [this](const std::unique_ptr<TMatch>& match) {
        return match->Generation != active_[static_cast<std::size_t>(match->Kind)];
    });
}

void TItemChangeReceiver::DeliverOwnerChange(TMatch& match, sd_bus_message* message) {
    if (match.Reported || match.Generation != active_[static_cast<std::size_t>(match.Kind)]) {
        return;
    }
    const char* name = nullptr;
    const char* oldOwner = nullptr;
    const char* newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) <= 0) return;
    // A change of an earlier owner (still on its way when this subscription was made) is not
    // this one's end.
    if (match.SourceOwner != oldOwner) return;
    match.Reported = true;
    delivering_ = true;
    try {
        if (ownerLost_) ownerLost_(match.Kind);
    } catch (...) {
        std::fprintf(stderr, "OV Calc: the end of %s was not handled\n",
                     std::string(DataSource(match.Kind).BusName).c_str());
    }
    delivering_ = false;
}

void TItemChangeReceiver::Deliver(TMatch& match, sd_bus_message* message) {
    // A signal sent to this connection alone is not one the bus routed by the subscription's
    // sender, so anyone could have sent it.
    if (sd_bus_message_get_destination(message) != nullptr) return;
    if (match.Generation != active_[static_cast<std::size_t>(match.Kind)]) return;
    delivering_ = true;
    try {
        const std::string appID = ReadText(message);
        if (match.Role == mrShutdown) {
            if (shutdown_) shutdown_(match.Kind, appID);
        } else {
            const std::string item = ReadText(message);
            std::size_t replaced = 0;
            const std::string data = ReadText(message, &replaced);
            if (itemChange_) itemChange_(match.Kind, appID, item, data, replaced);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "OV Calc: an event of %s was not handled: %s\n",
                     std::string(DataSource(match.Kind).BusName).c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "OV Calc: an event of %s was not handled\n",
                     std::string(DataSource(match.Kind).BusName).c_str());
    }
    delivering_ = false;
}

namespace {
// The receiver whose thread this is.
thread_local TItemChangeReceiver* CurrentReceiver = nullptr;
}  // namespace

bool TItemChangeReceiver::ServeWhileWaiting() {
    TItemChangeReceiver* self = CurrentReceiver;
    if (self == nullptr) return true;
    if (self->stopping_) return false;
    self->RunCommands();
    return !self->stopping_;
}

void TItemChangeReceiver::RunCommands() {
    std::deque<TCommand> commands;
    {
        std::lock_guard<std::mutex> guard(lock_);
        commands.swap(commands_);
    }
    for (auto& command : commands) command();
}

void TItemChangeReceiver::WaitForBus() {
    sd_bus* bus = bus_.get();
    pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0},
                     {wakeFd_, POLLIN, 0}};
    int timeoutMs = -1;
    std::uint64_t until = 0;
    if (sd_bus_get_timeout(bus, &until) > 0 && until != UINT64_MAX) {
        // The bus's time-outs are on the monotonic clock, as steady_clock is.
        const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
        const auto nowUs = static_cast<std::uint64_t>(now);
        timeoutMs = until <= nowUs ? 0 : static_cast<int>((until - nowUs + 999) / 1000);
    }
    if (::poll(fds, 2, timeoutMs) > 0 && (fds[1].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] ssize_t n = ::read(wakeFd_, &count, sizeof count);
    }
}

void TItemChangeReceiver::Run() {
    CurrentReceiver = this;
    while (!stopping_) {
        RunCommands();
        if (pruneWanted_) Prune();
        const int r = sd_bus_process(bus_.get(), nullptr);
        if (r < 0) {
            SetError("the bus connection was lost: " + SdErrorText(r));
            std::fprintf(stderr, "OV Calc: the data sources' bus connection was lost: %s\n",
                         SdErrorText(r).c_str());
            break;
        }
        if (r == 0) WaitForBus();
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        running_ = false;
    }
    // Commands that came too late still answer (a Subscribe waiting on one fails at once).
    RunCommands();
    matches_.clear();
    bus_.reset();
}

}  // namespace ov
