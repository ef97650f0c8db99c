// The automation object's members over the live data store, and its announcements.
#include "suite/OVCalcCom.h"

#include "util/TimeTag.h"

namespace ov {

TOVCalcCOM::TOVCalcCOM(TOVCalcDataDatabase& store, IOVCalcComHost* host)
    : store_(store), host_(host) {}

void TOVCalcCOM::SetEvents(IOVCalcComEvents* events) {
    std::lock_guard<std::mutex> held(eventsLock_);
    events_ = events;
}

void TOVCalcCOM::SetHost(IOVCalcComHost* host) {
    host_ = host;
}

void TOVCalcCOM::AppShutdown(const std::string&) {
    AnnounceShutdown();
}

std::string TOVCalcCOM::IsAlive() const {
    return CurrentDateTimeText();
}

void TOVCalcCOM::ResetAllParams() {
    if (host_ != nullptr) host_->ResetAllParams();
}

bool TOVCalcCOM::GetItem(std::string_view item, std::string& value) {
    return store_.GetValue(item, value);
}

bool TOVCalcCOM::SetItem(std::string_view item, const std::string& value) {
    if (!store_.SetValue(item, value)) return false;
    // The value is stored whether or not the announcement reaches anyone.
    store_.Notify(item);
    return true;
}

bool TOVCalcCOM::GetTIMETAG(std::string& value) {
    return GetItem(TimeTagItem, value);
}
bool TOVCalcCOM::SetTIMETAG(const std::string& value) {
    return SetItem(TimeTagItem, value);
}
bool TOVCalcCOM::GetREALTIME(std::string& value) {
    return GetItem(RealTimeItem, value);
}
bool TOVCalcCOM::SetREALTIME(const std::string& value) {
    return SetItem(RealTimeItem, value);
}

bool TOVCalcCOM::SetItemChange(const std::string& appID, const std::string& item,
                               const std::string& data) {
    std::lock_guard<std::mutex> held(eventsLock_);
    if (events_ == nullptr) return false;
    events_->OnItemChange(appID, item, data);
    return true;
}

TLinkResult TOVCalcCOM::SetItemLink(const std::string& appID, const std::string& item,
                                    const std::string& client) {
    if (appID.size() > MaxLinkAppIDLength || item.size() > MaxLinkItemLength) return lrNoItem;
    return store_.AddClientLink(item, appID, client);
}

std::int32_t TOVCalcCOM::ClientGone(const std::string& client) {
    return store_.DropClientLinks(client);
}

bool TOVCalcCOM::AnnounceShutdown() {
    bool sent = true;
    {
        std::lock_guard<std::mutex> held(eventsLock_);
        // With no transport no client is connected: nothing to announce, nothing failed.
        if (events_ != nullptr) sent = events_->OnAppShutdown(std::string(OVCalcAppID));
    }
    if (!sent && host_ != nullptr) host_->LogStatus(std::string(ClientNotRespondingText));
    return sent;
}

void TOVCalcCOM::HeartBeat() {
    std::lock_guard<std::mutex> held(eventsLock_);
    if (events_ != nullptr) events_->OnHeartBeat(std::string(OVCalcAppID), CurrentDateTimeText());
}

}  // namespace ov
