// Services, topics and items of the DDE service, and the text format's data.
#include "suite/DdeService.h"

#include "util/TextCompare.h"

namespace ov {

std::string DdeTextData(std::string_view text) {
    std::string data(text);
    data.push_back('\0');
    return data;
}

std::string_view DdeDataText(std::string_view data) {
    return data.substr(0, data.find('\0'));
}

bool TDdeNameLess::operator()(std::string_view a, std::string_view b) const {
    return CompareText(a, b) < 0;
}

bool TDDEMLTopic::IsSystem() const {
    return SameText(name_, DdeSystemTopic);
}

TDDEMLItem* TDDEMLTopic::FindItem(std::string_view name) const {
    auto found = items_.find(name);
    return found == items_.end() ? nullptr : found->second.get();
}

void TDDEMLTopic::SetItem(std::string_view name, std::string format, std::string data) {
    auto found = items_.find(name);
    if (found != items_.end()) {
        // The item keeps the name it was made with.
        found->second =
            std::make_unique<TDDEMLItem>(found->second->Name(), std::move(format), std::move(data));
        return;
    }
    std::string key(name);
    items_.emplace(key, std::make_unique<TDDEMLItem>(key, std::move(format), std::move(data)));
}

void TDDEMLTopic::RemoveItem(std::string_view name) {
    auto found = items_.find(name);
    if (found != items_.end()) items_.erase(found);
}

TDDEMLService::TDDEMLService(std::string name, bool enabled)
    : name_(std::move(name)), enabled_(enabled) {
    Topic(DdeSystemTopic, true);
}

TDDEMLTopic* TDDEMLService::FindTopic(std::string_view name) const {
    auto found = topics_.find(name);
    return found == topics_.end() ? nullptr : found->second.get();
}

TDDEMLTopic& TDDEMLService::Topic(std::string_view name, bool kept) {
    if (TDDEMLTopic* topic = FindTopic(name)) {
        if (kept) topic->Keep();
        return *topic;
    }
    std::string key(name);
    auto made = std::make_unique<TDDEMLTopic>(key, kept);
    TDDEMLTopic& topic = *made;
    topics_.emplace(std::move(key), std::move(made));
    return topic;
}

void TDDEMLService::ReleaseTopic(TDDEMLTopic& topic) {
    if (topic.Kept() || topic.ItemCount() > 0 || topic.Conversations > 0) return;
    topics_.erase(topic.Name());
}

void TDDEMLService::SetStatus(std::string_view text) {
    status_ = text;
    hasStatus_ = true;
}

bool TDDEMLService::Busy() const {
    return hasStatus_ && SameText(status_, DdeBusyStatus);
}

void TDDEMLService::Append(std::string& list, std::string_view name) {
    if (!list.empty()) list.push_back('\t');
    list.append(name);
}

}  // namespace ov
