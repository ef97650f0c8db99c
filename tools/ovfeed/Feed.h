// ovfeed's bus side: a data source's name and object (LinkItem), and its item-change events
// sent for the input lines at a given rate or as fast as the bus takes them. It runs on sd-bus
// in an sd-event loop of its own: a sender with no toolkit between it and the socket.
#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "LineSource.h"
#include "busnames/BusNames.h"
#include "sdbus/SdBus.h"

namespace ov {

// Which client a line waits for before it goes.
enum TFeedWait {
    fwClient,  // a client that linked some item of this source and can take data
    fwItem,    // a client that linked the line's item and can take data (--wait-link)
    fwNone,    // nobody: lines go at once (--no-wait)
};

struct TFeedOptions {
    const TDataSource* Source = nullptr;
    double Rate = 0;            // lines per second; 0: as fast as possible
    TFeedWait Wait = fwClient;  // what a line waits for
    double WaitLimit = 0;       // seconds a line may wait before the feed gives up; 0: no limit
    bool Shutdown = false;      // send OnAppShutdown after the last line
    bool Stay = false;          // keep serving after the last line
    std::string AppId;          // carried by the events, UTF-8
};

class TFeed {
  public:
    explicit TFeed(TFeedOptions options);
    ~TFeed();
    TFeed(const TFeed&) = delete;
    TFeed& operator=(const TFeed&) = delete;

    // Connects to the session bus, exports the source's object and owns its bus name; false
    // with error when the bus cannot be reached or the name is taken.
    bool Start(std::string& error);
    // Reads the lines and sends them from the event loop until the last one (for ever with
    // Stay). False with error when the bus failed or went away: the input may then still be
    // open, and the reading thread blocked in it.
    bool Run(std::unique_ptr<TLineSource> lines, std::string& error);
    // Wakes the loop for the lines; called on the reading thread (the source's notification).
    void Wake();

  private:
    static int OnLinkItem(sd_bus_message* call, void* feed, sd_bus_error* error);
    static int OnNameOwnerChanged(sd_bus_message* signal, void* feed, sd_bus_error* error);
    static int OnWake(sd_event_source* source, int fd, std::uint32_t events, void* feed);
    static int OnTimer(sd_event_source* source, std::uint64_t usec, void* feed);
    static int OnPump(sd_event_source* source, void* feed);
    static int OnReadyAnswer(sd_bus_message* reply, void* question, sd_bus_error* error);
    static int OnAskAgain(sd_event_source* source, std::uint64_t usec, void* feed);
    static int OnWaitLimit(sd_event_source* source, std::uint64_t usec, void* feed);

    void Pump();
    void PumpSoon();
    void Finish();
    // Whether the held line may go: a client that can take data linked what it waits for.
    bool MayGo() const;
    // Notes that client linked an item with appId: OV Calc is asked whether it can take data,
    // any other client can at once.
    void Linked(const std::string& client, std::string_view appId);
    // Asks client whether it can take data (an OV Calc whose calculation thread runs).
    void AskReady(const std::string& client);
    void Answered(const std::string& client, bool ready);
    // A held line starts or stops waiting: the note on standard error and the time limit.
    void Hold();
    void Release();
    bool Arm(TSdEventSource& source, std::uint64_t due, sd_event_time_handler_t handler);
    bool Emit(const std::string& item, const std::string& data);
    bool Failed(const std::string& what, int r);

    TFeedOptions options_;
    std::string busName_, path_, interface_, events_;
    // Declared in the order they are built: they go in reverse, the loop and the bus last.
    TSdEvent event_;
    TSdBus bus_;
    TSdSlot object_, eventsObject_, clientsGone_;
    TSdEventSource wake_, timer_, pump_;
    int wakeFd_ = -1;  // an eventfd, owned by wake_ once that exists
    std::unique_ptr<TLineSource> lines_;
    // Links by client (its unique bus name): the items it linked, upper case, UTF-8.
    std::map<std::string, std::set<std::string>> links_;
    // Whether a linked client can take data, by client: OV Calc is asked after each of its
    // links (linking anew, as at a refresh, it may have stopped calculating meanwhile); any
    // other client can from its first link.
    enum TReady { rdAsking, rdNotYet, rdReady };
    struct TQuestion {
        TFeed* Feed = nullptr;
        std::string Client;
        TReady Ready = rdAsking;
        TSdSlot Call;  // the Get on its way
    };
    std::map<std::string, TQuestion> ready_;
    TSdEventSource askAgain_, waitLimit_;
    bool holding_ = false;      // the held line waits for a client (noted on standard error)
    bool haveHeld_ = false;     // the held line waits (for a client or for its time)
    bool heldForLink_ = false;  // the held line has waited for a link: the rate restarts
    std::string heldItem_, heldKey_, heldData_;
    bool finished_ = false;
    std::string failure_;  // why the loop ended early
    long long sent_ = 0;
    std::uint64_t clockStart_ = 0;  // CLOCK_MONOTONIC microseconds at the rate's start
    long long rateBase_ = 0;        // lines already sent when the clock last restarted
};

}  // namespace ov
