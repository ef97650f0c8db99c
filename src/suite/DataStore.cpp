// The live data store: its table of items, the locked front, eviction and the change
// announcement through the running automation object.
#include "suite/DataStore.h"

#include <exception>

#include "util/TextCompare.h"

namespace ov {

namespace store {

void TDataItem::SetValue(const std::string& value) {
    if (value != value_) changed_ = true;
    value_ = value;
}

bool TDataItem::HasLink(std::string_view appID, std::string_view client) const {
    for (const TLink& link : links_)
        if (link.AppID == appID && link.Client == client) return true;
    return false;
}

std::int32_t TDataItem::DropLinks(std::string_view client) {
    const auto before = links_.size();
    std::erase_if(links_, [&](const TLink& link) { return link.Client == client; });
    return static_cast<std::int32_t>(before - links_.size());
}

}  // namespace store

// ---- TOVDataBaseImpl ----

TOVDataBaseImpl::TOVDataBaseImpl(std::int32_t capacity, std::int32_t growBy, std::int32_t maxCount)
    : TSortedCollection(capacity, growBy), maxCount_(maxCount), random_(std::random_device{}()) {}

void TOVDataBaseImpl::SetAutoCreate(bool enabled, std::string defaultValue) {
    autoCreate_ = enabled;
    defaultValue_ = std::move(defaultValue);
}

int TOVDataBaseImpl::Compare(const std::string_view& a, const std::string_view& b) const {
    return CompareText(a, b);
}

store::TDataItem* TOVDataBaseImpl::Find(std::string_view name) const {
    std::int32_t i = 0;
    return Search(name, i) ? ItemAt(i) : nullptr;
}

store::TDataItem* TOVDataBaseImpl::FindOrCreate(std::string_view name, bool applyDefault) {
    std::int32_t i = 0;
    if (Search(name, i)) return ItemAt(i);
    if (!autoCreate_) return nullptr;
    auto item = std::make_unique<store::TDataItem>(std::string(name));
    // Through the item's own set operation, so only a non-empty default marks it changed.
    if (applyDefault) item->SetValue(defaultValue_);
    store::TDataItem* created = item.get();
    InsertAt(i, item);
    return created;
}

bool TOVDataBaseImpl::Evict() {
    constexpr std::int32_t headroom = 128;
    int misses = 20000;
    // Positions are drawn over the whole table: a 16-bit draw would never reach an item
    // beyond the first 65,536 and would spend every miss on a table full of changed ones.
    while (Count() > 0 && std::int64_t(Count()) + headroom >= maxCount_ && misses > 0) {
        std::uniform_int_distribution<std::int32_t> position(0, Count() - 1);
        const std::int32_t i = position(random_);
        if (ItemAt(i)->Changed()) {
            --misses;
        } else {
            Uncount(*ItemAt(i));
            RemoveAt(i);  // the item is destroyed here: nothing refers to it any more
        }
    }
    return std::int64_t(Count()) + headroom < maxCount_;
}

std::int32_t TOVDataBaseImpl::ClientLinks(std::string_view client) const {
    const auto it = clientLinks_.find(client);
    return it == clientLinks_.end() ? 0 : it->second;
}

void TOVDataBaseImpl::AddClientLink(store::TDataItem& item, std::string_view appID,
                                    std::string_view client) {
    item.AddLink(appID, client);
    auto it = clientLinks_.find(client);
    if (it == clientLinks_.end()) it = clientLinks_.emplace(std::string(client), 0).first;
    ++it->second;
    ++clientLinkCount_;
}

void TOVDataBaseImpl::Uncount(const store::TDataItem& item) {
    for (const store::TLink& link : item.Links()) {
        if (link.Client.empty()) continue;
        auto it = clientLinks_.find(link.Client);
        if (it == clientLinks_.end()) continue;
        --clientLinkCount_;
        if (--it->second == 0) clientLinks_.erase(it);
    }
}

std::int32_t TOVDataBaseImpl::DropClientLinks(std::string_view client) {
    const auto it = clientLinks_.find(client);
    if (client.empty() || it == clientLinks_.end()) return 0;
    std::int32_t dropped = 0;
    for (std::int32_t i = Count() - 1; i >= 0 && dropped < it->second; --i) {
        store::TDataItem* item = ItemAt(i);
        const std::int32_t n = item->DropLinks(client);
        if (n == 0) continue;
        dropped += n;
        // Made for links alone: nothing else refers to it, and a new link makes it again.
        if (item->Links().empty() && !item->Changed() && !item->Kept()) RemoveAt(i);
    }
    clientLinkCount_ -= it->second;
    clientLinks_.erase(it);
    return dropped;
}

// ---- TOVDataBase ----

TOVDataBase::TOVDataBase(std::int32_t capacity, std::int32_t growBy, std::int32_t maxCount)
    : impl_(std::make_unique<TOVDataBaseImpl>(capacity, growBy, maxCount)) {}

TOVDataBase::~TOVDataBase() = default;

void TOVDataBase::SetHost(IDataStoreHost* host) {
    std::lock_guard<std::mutex> held(lock_);
    host_ = host;
}

void TOVDataBase::SetAutoCreate(bool enabled, const std::string& defaultValue) {
    std::lock_guard<std::mutex> held(lock_);
    impl_->SetAutoCreate(enabled, defaultValue);
}

void TOVDataBase::MakeRoom(std::unique_lock<std::mutex>& held) {
    while (!impl_->Evict()) {
        // The box waits for the user (and, on this platform, for the window's thread), so
        // it is asked without the lock; whoever used the store meanwhile is seen on return.
        IDataStoreHost* host = host_;
        if (host == nullptr) return;  // no one to ask: Ignore
        held.unlock();
        const TMessageBoxAnswer answer =
            host->ShowMessageBox(std::string(DataStoreFullText), std::string(DataStoreFullCaption));
        if (answer == mrAbort) host->PostCloseRequest();
        held.lock();
        if (answer == mrIgnore) return;
    }
}

store::TDataItem* TOVDataBase::FindOrCreate(std::unique_lock<std::mutex>& held,
                                            std::string_view name) {
    if (impl_->Full()) MakeRoom(held);
    return impl_->FindOrCreate(name, true);
}

bool TOVDataBase::AddItem(std::string_view name) {
    std::lock_guard<std::mutex> held(lock_);
    try {
        std::int32_t i = 0;
        if (impl_->Search(name, i)) return true;
        auto item = std::make_unique<store::TDataItem>(std::string(name), true);
        impl_->InsertAt(i, item);
        return true;
    } catch (const std::exception&) {
        return false;  // the item was not inserted; the table is as it was
    }
}

bool TOVDataBase::ItemExists(std::string_view name) const {
    std::lock_guard<std::mutex> held(lock_);
    return impl_->Find(name) != nullptr;
}

bool TOVDataBase::SetValue(std::string_view name, const std::string& value) {
    std::unique_lock<std::mutex> held(lock_);
    store::TDataItem* item = FindOrCreate(held, name);
    if (item == nullptr) return false;
    item->SetValue(value);
    return true;
}

bool TOVDataBase::GetValue(std::string_view name, std::string& value) {
    std::unique_lock<std::mutex> held(lock_);
    store::TDataItem* item = FindOrCreate(held, name);
    if (item == nullptr) return false;
    value = item->Value();
    return true;
}

bool TOVDataBase::AddLink(std::string_view name, std::string_view appID) {
    std::unique_lock<std::mutex> held(lock_);
    store::TDataItem* item = FindOrCreate(held, name);
    if (item == nullptr) return false;
    item->AddLink(appID);
    return true;
}

TLinkResult TOVDataBase::AddClientLink(std::string_view name, std::string_view appID,
                                       std::string_view client) {
    if (client.empty()) return AddLink(name, appID) ? lrLinked : lrNoItem;
    std::unique_lock<std::mutex> held(lock_);
    // A repeated request changes nothing the client can see (an item is announced once per
    // change however many links it has), so it is kept once and counted once.
    if (const store::TDataItem* item = impl_->Find(name); item && item->HasLink(appID, client))
        return lrLinked;
    if (impl_->ClientLinks(client) >= linkLimits_.PerClient) return lrClientLimit;
    if (impl_->ClientLinks() >= linkLimits_.InAll) return lrStoreLimit;
    store::TDataItem* item = FindOrCreate(held, name);
    if (item == nullptr) return lrNoItem;
    impl_->AddClientLink(*item, appID, client);
    return lrLinked;
}

std::int32_t TOVDataBase::DropClientLinks(std::string_view client) {
    std::lock_guard<std::mutex> held(lock_);
    return impl_->DropClientLinks(client);
}

void TOVDataBase::SetLinkLimits(const TLinkLimits& limits) {
    std::lock_guard<std::mutex> held(lock_);
    linkLimits_ = limits;
}

TLinkLimits TOVDataBase::LinkLimits() const {
    std::lock_guard<std::mutex> held(lock_);
    return linkLimits_;
}

bool TOVDataBase::GetLinks(std::string_view name, std::vector<std::string>& links) const {
    std::lock_guard<std::mutex> held(lock_);
    links.clear();
    const store::TDataItem* item = impl_->Find(name);
    if (item == nullptr) return false;
    for (const store::TLink& link : item->Links()) links.push_back(link.AppID);
    return !links.empty();
}

std::int32_t TOVDataBase::Count() const {
    std::lock_guard<std::mutex> held(lock_);
    return impl_->Count();
}

bool TOVDataBase::Notify(std::string_view name) {
    std::lock_guard<std::mutex> held(lock_);
    return impl_->Find(name) != nullptr;
}

// ---- TOVCalcDataDatabase ----

void TOVCalcDataDatabase::RegisterAutomationObject(std::shared_ptr<IAutomationObject> object) {
    std::lock_guard<std::mutex> held(runningLock_);
    running_ = std::move(object);
}

void TOVCalcDataDatabase::RevokeAutomationObject(const IAutomationObject* object) {
    std::shared_ptr<IAutomationObject> revoked;  // released after the lock
    std::lock_guard<std::mutex> held(runningLock_);
    if (object == nullptr || running_.get() == object) revoked = std::move(running_);
}

std::shared_ptr<IAutomationObject> TOVCalcDataDatabase::RunningObject() const {
    std::lock_guard<std::mutex> held(runningLock_);
    return running_;
}

bool TOVCalcDataDatabase::Notify(std::string_view name) {
    if (!TOVDataBase::Notify(name)) return false;
    std::string value;
    if (!ItemExists(name) || !GetValue(name, value)) return false;
    std::vector<std::string> links;
    if (!GetLinks(name, links)) return true;  // no client follows the item
    const std::shared_ptr<IAutomationObject> running = RunningObject();
    if (!running) return false;
    try {
        return running->SetItemChange(std::string(OVCalcAppID), std::string(name), value);
    } catch (...) {
        return false;  // a failed announcement; the value stays stored
    }
}

void PublishResult(TOVDataBase& store, std::string_view item, const std::string& text) {
    store.SetValue(item, text);
    store.Notify(item);
}

}  // namespace ov
