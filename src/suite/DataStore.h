// The live data store: a thread-safe table of named text items that the program publishes to
// the suite. The calculation thread writes every result into "$TIMETAG"; automation clients
// read and write items and link to them, and a change of a linked item is announced through
// the program's running automation object.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "busnames/BusNames.h"
#include "util/Collection.h"

namespace ov {

// The program's own application identifier (that of IOVCalcDataCOM), carried by every
// change announcement of the store.
inline constexpr std::string_view OVCalcAppID = IOVCalcDataCOMAppID;

// The two well-known items, added at start-up.
inline constexpr std::string_view TimeTagItem = "$TIMETAG";
inline constexpr std::string_view RealTimeItem = "$REALTIME";

// Table sizes: initial capacity and growth step, and the item count that starts eviction
// (128 below the collections' hard limit).
inline constexpr std::int32_t DataStoreCapacity = 512;
inline constexpr std::int32_t DataStoreGrowBy = 512;
inline constexpr std::int32_t DataStoreMaxCount = 536870783;

// The most links the store keeps for one bus client and for all of them together. The suite's
// clients follow a handful of items each; without a bound, a client linking ever new names
// would grow the store for the rest of the run.
struct TLinkLimits {
    std::int32_t PerClient = 256;
    std::int32_t InAll = 4096;
};

// What a client's link request came to.
enum TLinkResult : std::uint8_t {
    lrLinked,       // the item is linked (also when this client had linked it already)
    lrNoItem,       // no such item and AutoCreate off
    lrClientLimit,  // the client holds TLinkLimits::PerClient links
    lrStoreLimit,   // the clients hold TLinkLimits::InAll links together
};

// The question put to the user when eviction cannot make room.
inline constexpr std::string_view DataStoreFullText = "Application running out of database memory.";
inline constexpr std::string_view DataStoreFullCaption = "Memory Problem";

namespace store {

// One link: the application identifier that follows the item, and the bus client (its
// connection's unique name) that asked for it; empty for the program's own links.
struct TLink {
    std::string AppID;
    std::string Client;
};

// One item: a name (the key, never changed), its current value text, whether the value was
// ever changed, and the links that follow it (every request of the program's own appends, so
// duplicates stay).
class TDataItem {
  public:
    explicit TDataItem(std::string name, bool kept = false) : name_(std::move(name)), kept_(kept) {}

    const std::string& Name() const { return name_; }
    const std::string& Value() const { return value_; }
    bool Changed() const { return changed_; }
    // Added by AddItem (the well-known items): stays when its last link goes.
    bool Kept() const { return kept_; }
    const std::vector<TLink>& Links() const { return links_; }
    bool HasLink(std::string_view appID, std::string_view client) const;

    // Stores value; a text that differs byte by byte from the current one sets Changed for
    // good, the same text leaves it as it was.
    void SetValue(const std::string& value);
    void AddLink(std::string_view appID, std::string_view client = {}) {
        links_.push_back({std::string(appID), std::string(client)});
    }
    // Removes the links of client: how many there were.
    std::int32_t DropLinks(std::string_view client);

  private:
    std::string name_;
    std::string value_;
    bool changed_ = false;
    bool kept_ = false;
    std::vector<TLink> links_;
};

}  // namespace store

// The table proper, ordered by name with ASCII letters folded (names compare as whole
// strings: D-Bus strings carry no NUL, so none ends early). Not thread-safe: TOVDataBase
// puts its lock around every use.
class TOVDataBaseImpl : public TSortedCollection<store::TDataItem, std::string_view> {
  public:
    explicit TOVDataBaseImpl(std::int32_t capacity = DataStoreCapacity,
                             std::int32_t growBy = DataStoreGrowBy,
                             std::int32_t maxCount = DataStoreMaxCount);

    bool AutoCreate() const { return autoCreate_; }
    const std::string& DefaultValue() const { return defaultValue_; }
    std::int32_t MaxCount() const { return maxCount_; }
    void SetAutoCreate(bool enabled, std::string defaultValue);

    // The item of that name, or null; never creates.
    store::TDataItem* Find(std::string_view name) const;
    // The item of that name, created when absent and AutoCreate is on (given DefaultValue
    // through its own SetValue when applyDefault); null otherwise. No capacity check: the
    // caller runs Evict first when the table is full.
    store::TDataItem* FindOrCreate(std::string_view name, bool applyDefault);

    bool Full() const { return Count() >= maxCount_; }
    // Removes items never changed, at random positions over the whole table, until there is
    // room for 128 more, allowing 20,000 draws of changed items. False when the misses ran
    // out first (or nothing is left to remove).
    bool Evict();

    // The links of bus clients: how many one client holds, and all of them together.
    std::int32_t ClientLinks(std::string_view client) const;
    std::int32_t ClientLinks() const { return clientLinkCount_; }
    // Appends the link of client to item and counts it.
    void AddClientLink(store::TDataItem& item, std::string_view appID, std::string_view client);
    // Removes every link of client; an item left without links that was made for a link
    // (never changed, not kept) goes with them. The number of links removed.
    std::int32_t DropClientLinks(std::string_view client);

  protected:
    int Compare(const std::string_view& a, const std::string_view& b) const override;
    std::string_view ItemKey(const store::TDataItem* item) const override { return item->Name(); }

  private:
    // An item leaves the table: its client links are no longer counted.
    void Uncount(const store::TDataItem& item);

    bool autoCreate_ = false;
    std::string defaultValue_;
    std::int32_t maxCount_;
    std::minstd_rand random_;                                       // eviction positions
    std::map<std::string, std::int32_t, std::less<>> clientLinks_;  // links by client
    std::int32_t clientLinkCount_ = 0;
};

enum TMessageBoxAnswer : std::uint8_t { mrAbort = 0, mrRetry = 1, mrIgnore = 2 };

// What the store needs from the program's window when it runs out of room. Called on the
// thread of the store operation, without the store's lock; the window shows the box on its
// own thread. A store without a host acts as if Ignore were answered.
class IDataStoreHost {
  public:
    virtual ~IDataStoreHost() = default;
    // A modal box with the buttons Abort, Retry and Ignore.
    virtual TMessageBoxAnswer ShowMessageBox(const std::string& text,
                                             const std::string& caption) = 0;
    // Asks the application to close, without waiting for it.
    virtual void PostCloseRequest() = 0;
};

// The thread-safe store: every operation takes the one lock for its duration (released also
// when it fails with an exception). Names are compared with ASCII letters folded.
class TOVDataBase {
  public:
    explicit TOVDataBase(std::int32_t capacity = DataStoreCapacity,
                         std::int32_t growBy = DataStoreGrowBy,
                         std::int32_t maxCount = DataStoreMaxCount);
    virtual ~TOVDataBase();
    // The bounds of AddClientLink (TLinkLimits' defaults unless set).
    void SetLinkLimits(const TLinkLimits& limits);
    TLinkLimits LinkLimits() const;
    TOVDataBase(const TOVDataBase&) = delete;
    TOVDataBase& operator=(const TOVDataBase&) = delete;

    // The host asked when eviction cannot make room; null (the default) answers Ignore. It
    // must outlive the store or be reset to null first.
    void SetHost(IDataStoreHost* host);

    // Whether a look-up of an unknown name creates the item, and the value it then gets.
    void SetAutoCreate(bool enabled, const std::string& defaultValue);

    // Adds an item with an empty value; an existing name stays as it is (still true). False
    // only when the insertion failed. No capacity check.
    bool AddItem(std::string_view name);
    // Whether the item exists; never creates.
    bool ItemExists(std::string_view name) const;
    // Finds or creates the item and stores value. False only for an unknown name with
    // AutoCreate off.
    bool SetValue(std::string_view name, const std::string& value);
    // Finds or creates the item and hands back its value (value untouched on false). False
    // only for an unknown name with AutoCreate off.
    bool GetValue(std::string_view name, std::string& value);
    // Finds or creates the item and appends appID to its links. False only for an unknown
    // name with AutoCreate off. The program's own link, not bounded.
    bool AddLink(std::string_view name, std::string_view appID);
    // A bus client's link (client: its connection's unique name), bounded by limits: the
    // item is found or created and linked, unless the client already linked it with appID
    // (nothing is added) or a limit is reached (nothing is created). An empty client is
    // the program's own: AddLink.
    TLinkResult AddClientLink(std::string_view name, std::string_view appID,
                              std::string_view client);
    // The client's connection has left the bus: its links go, and the items made for them
    // alone. The number of links removed.
    std::int32_t DropClientLinks(std::string_view client);
    // The item's links (none if absent), never creating. True when it has at least one.
    bool GetLinks(std::string_view name, std::vector<std::string>& links) const;
    std::int32_t Count() const;

    // Announces the item's current value. Here only: true when the item exists; nothing is
    // announced.
    virtual bool Notify(std::string_view name);

  private:
    // Finds or creates under the held lock, making room first when the table is full.
    store::TDataItem* FindOrCreate(std::unique_lock<std::mutex>& held, std::string_view name);
    // Evicts; when that fails, asks the host with the lock released, then Abort (after the
    // close request) and Retry evict again and Ignore goes on.
    void MakeRoom(std::unique_lock<std::mutex>& held);

    mutable std::mutex lock_;
    std::unique_ptr<TOVDataBaseImpl> impl_;  // guarded by lock_
    IDataStoreHost* host_ = nullptr;         // guarded by lock_
    TLinkLimits linkLimits_;                 // guarded by lock_
};

// The program's running automation object as the store sees it. SetItemChange announces
// the item's data to every connected client; false or an exception means the call failed.
class IAutomationObject {
  public:
    virtual ~IAutomationObject() = default;
    virtual bool SetItemChange(const std::string& appID, const std::string& item,
                               const std::string& data) = 0;
};

// The program's store: Notify announces a linked item's value through the running
// automation object. The store keeps a registered object alive through a call in progress.
class TOVCalcDataDatabase : public TOVDataBase {
  public:
    using TOVDataBase::TOVDataBase;

    // The running automation object: registering replaces the one before; revoking clears
    // the slot only if object is the one registered (null clears it in any case).
    void RegisterAutomationObject(std::shared_ptr<IAutomationObject> object);
    void RevokeAutomationObject(const IAutomationObject* object = nullptr);

    // False for an unknown item (not created), with no running automation object, or when
    // the call fails; true for an item without links (nothing announced) or an announcement
    // made. Each step takes the store's lock on its own; the call is made without it.
    bool Notify(std::string_view name) override;

  private:
    std::shared_ptr<IAutomationObject> RunningObject() const;

    mutable std::mutex runningLock_;
    std::shared_ptr<IAutomationObject> running_;  // guarded by runningLock_
};

// Publishing a result: SetValue(item, text), then Notify(item); the outcome is not examined.
// The host's PublishResult, called on the calculation thread, comes here.
void PublishResult(TOVDataBase& store, std::string_view item, const std::string& text);

}  // namespace ov
