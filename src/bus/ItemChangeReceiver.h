// The data sources' events (item changes and shutdowns) read on a thread of their own, over a
// bus connection of their own (sd-bus). While a delivery waits for a free input slot nothing
// more is read, so a flood of item changes waits in the bus daemon's queue for this program
// instead of piling up in it. Each source's events arrive in the order it sent them, and the
// end of the program that sent them (its bus name losing that owner) after the last of them.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "busnames/BusNames.h"
#include "sdbus/SdBus.h"

namespace ov {

class TItemChangeReceiver {
  public:
    // Receiver thread: an item change (AppID, item, data) of kind's source; replaced counts
    // the characters of data above U+00FF, which 8-bit text cannot hold and reads as "?".
    using TItemChangeProc =
        std::function<void(TDataSourceKind kind, const std::string& appID, const std::string& item,
                           const std::string& data, std::size_t replaced)>;
    // Receiver thread: kind's source announced its shutdown; every item change it sent before
    // has been delivered.
    using TShutdownProc = std::function<void(TDataSourceKind kind, const std::string& appID)>;
    // Receiver thread: the program that kind's subscription was made with has left the bus
    // (ended, crashed, killed, or replaced by another owner of the name), with or without its
    // shutdown event; every item change it sent before has been delivered. Once per
    // subscription.
    using TOwnerLostProc = std::function<void(TDataSourceKind kind)>;

    // Connects to the session bus and starts the thread; Ready() tells whether it connected.
    TItemChangeReceiver(TItemChangeProc itemChange, TShutdownProc shutdown,
                        TOwnerLostProc ownerLost = {});
    // Stops the thread (a delivery waiting for an input slot gives up) and disconnects.
    ~TItemChangeReceiver();
    TItemChangeReceiver(const TItemChangeReceiver&) = delete;
    TItemChangeReceiver& operator=(const TItemChangeReceiver&) = delete;

    // False when the bus could not be reached or the connection was lost; LastError says why.
    bool Ready() const;
    std::string LastError() const;

    // Not on the receiver thread. Subscribes to source's events and to the end of the
    // program that owns its bus name now, replacing an earlier subscription of its kind; on
    // true the subscription is in force at the bus, so an event sent after that is delivered.
    // False also when the name has no owner. Waits at most timeout.
    bool Subscribe(const TDataSource& source, std::chrono::milliseconds timeout);
    // Any thread. No event of kind is delivered once this returns, except one whose delivery
    // has already begun.
    void Unsubscribe(TDataSourceKind kind);

    // On a receiver thread, while a delivery waits for an input slot: serves Subscribe calls
    // meanwhile; false once that receiver is stopping, and the wait is to be given up. On any
    // other thread it does nothing and answers true.
    static bool ServeWhileWaiting();

  private:
    enum TMatchRole { mrItemChange, mrShutdown, mrOwner };
    struct TMatch {
        TItemChangeReceiver* Receiver;
        TDataSourceKind Kind;
        unsigned Generation;
        TMatchRole Role;
        TSdSlot Slot;
        std::string SourceOwner;  // mrOwner: the unique name that owned the source's name
        bool Reported = false;    // mrOwner: its loss was delivered
    };
    using TCommand = std::function<void()>;

    void Run();
    bool Post(TCommand command);
    void RunCommands();
    bool AddMatches(const TDataSource& source, unsigned generation,
                    std::chrono::milliseconds timeout);
    bool AddMatch(const TDataSource& source, unsigned generation, TMatchRole role,
                  const std::string& rule);
    void Prune();
    void Deliver(TMatch& match, sd_bus_message* message);
    void DeliverOwnerChange(TMatch& match, sd_bus_message* message);
    void WaitForBus();
    void SetError(std::string text);

    TItemChangeProc itemChange_;
    TShutdownProc shutdown_;
    TOwnerLostProc ownerLost_;

    // Receiver thread only.
    TSdBus bus_;
    std::vector<std::unique_ptr<TMatch>> matches_;
    bool delivering_ = false;
    bool pruneWanted_ = false;

    // The subscription in force per kind (0: none); a match of another generation is stale.
    std::array<std::atomic<unsigned>, 4> active_{};
    std::atomic<unsigned> lastGeneration_{0};
    std::atomic<bool> stopping_{false};
    int wakeFd_ = -1;  // eventfd: commands are waiting, or the thread is to stop

    mutable std::mutex lock_;
    std::deque<TCommand> commands_;  // guarded by lock_
    bool running_ = false;           // guarded by lock_; the thread takes commands
    std::string error_;              // guarded by lock_
    std::thread thread_;
};

}  // namespace ov
