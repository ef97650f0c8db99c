// The program's automation object (TOVCalcCOM): what clients of OV Calc call, and the three
// events it announces. Free of any bus: a transport (the D-Bus adaptor) calls its members and
// carries its announcements through IOVCalcComEvents.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "suite/DataStore.h"

namespace ov {

// Written with LogStatus when the shutdown announcement could not be delivered.
inline constexpr std::string_view ClientNotRespondingText =
    "Error 1618: COM Client not responding OV Calc Shutdown..";

// The longest AppID and item name SetItemLink takes, in characters: an AppID is a registry
// identifier of 38 characters, an item name a "$" word or a station.sensor; what is longer
// is refused rather than kept in the store for the rest of the run.
inline constexpr std::size_t MaxLinkAppIDLength = 255;
inline constexpr std::size_t MaxLinkItemLength = 4096;

// How the object's events reach the clients. OnItemChange may be called on any thread (the
// calculation thread's Notify among them) and must not block; the others come from the
// main thread. OnAppShutdown answers false when the announcement could not be sent.
class IOVCalcComEvents {
  public:
    virtual ~IOVCalcComEvents() = default;
    virtual void OnItemChange(const std::string& appID, const std::string& item,
                              const std::string& data) = 0;
    virtual bool OnAppShutdown(const std::string& appID) = 0;
    virtual void OnHeartBeat(const std::string& appID, const std::string& timeStamp) = 0;
};

// What the object needs from the main window, called on the main thread.
class IOVCalcComHost {
  public:
    virtual ~IOVCalcComHost() = default;
    // The refresh of all parameters and connections (the refresh-parameters command).
    virtual void ResetAllParams() = 0;
    virtual void LogStatus(const std::string& text) = 0;
};

// The automation object over the program's live data store. Register it with
// store.RegisterAutomationObject so that the store's Notify announces linked items through
// it. Members other than SetItemChange are for the main thread.
class TOVCalcCOM : public IAutomationObject {
  public:
    explicit TOVCalcCOM(TOVCalcDataDatabase& store, IOVCalcComHost* host = nullptr);
    TOVCalcCOM(const TOVCalcCOM&) = delete;
    TOVCalcCOM& operator=(const TOVCalcCOM&) = delete;

    // The transport that carries the events (null: announcements do nothing). It must
    // outlive the object or be reset to null first; resetting waits for an announcement in
    // progress on another thread.
    void SetEvents(IOVCalcComEvents* events);
    // The window (null: ResetAllParams does nothing and nothing is logged).
    void SetHost(IOVCalcComHost* host);

    // Announces OnAppShutdown with the program's own AppID; appID is not used and the
    // program goes on running.
    void AppShutdown(const std::string& appID);
    // The current local date and time, "yyyy/mm/dd hh:nn:ss" with the locale's separators.
    std::string IsAlive() const;
    void ResetAllParams();

    // The items "$TIMETAG" and "$REALTIME": reading is the store's GetValue, writing its
    // SetValue followed by Notify. False when the store refused (unknown item, no
    // AutoCreate).
    bool GetTIMETAG(std::string& value);
    bool SetTIMETAG(const std::string& value);
    bool GetREALTIME(std::string& value);
    bool SetREALTIME(const std::string& value);

    // Announces OnItemChange with the three arguments unchanged; the store is not touched.
    // Any thread. False with no transport.
    bool SetItemChange(const std::string& appID, const std::string& item,
                       const std::string& data) override;
    // Links item to appID in the store (created empty if absent): from then on its changes
    // are announced. client is the bus client's connection (its unique name), whose links are
    // bounded (LinkLimits()) and end with ClientGone; empty for the
    // program's own. lrNoItem also when appID or item is longer than its limit
    // (MaxLinkAppIDLength, MaxLinkItemLength).
    TLinkResult SetItemLink(const std::string& appID, const std::string& item,
                            const std::string& client = {});
    // The client's connection has left the bus: its links end. The number of links removed.
    std::int32_t ClientGone(const std::string& client);
    TLinkLimits LinkLimits() const { return store_.LinkLimits(); }

    // The window's close: OnAppShutdown with the own AppID; a failed announcement is logged
    // as ClientNotRespondingText. False when it failed.
    bool AnnounceShutdown();
    // The heartbeat timer: OnHeartBeat with the own AppID and the current date and time.
    void HeartBeat();

  private:
    bool GetItem(std::string_view item, std::string& value);
    bool SetItem(std::string_view item, const std::string& value);

    TOVCalcDataDatabase& store_;
    mutable std::mutex eventsLock_;
    IOVCalcComEvents* events_ = nullptr;  // guarded by eventsLock_ (held during a call)
    IOVCalcComHost* host_ = nullptr;      // main thread only
};

}  // namespace ov
