// The DDE server's transactions: connections bound to a service and topic, the system topic's
// items, pokes kept until a request hands them out, and the limits on what clients may store.
#include "suite/DdeManager.h"

#include "util/TextCompare.h"

namespace ov {
namespace {

// The system topic's own items, answered from the service's texts and never stored by pokes.
bool IsSystemItem(std::string_view item) {
    for (auto name : {DdeTopicsItem, DdeSysItemsItem, DdeTopicItemListItem, DdeFormatsItem,
                      DdeStatusItem, DdeHelpItem}) {
        if (SameText(item, name)) return true;
    }
    return false;
}

}  // namespace

TDDEMLManager::TDDEMLManager(TDDEMLLimits limits) : limits_(limits) {}

TDDEMLManager::~TDDEMLManager() = default;

TDDEMLService& TDDEMLManager::AddService(std::string_view name, bool enabled) {
    services_.push_back(std::make_unique<TDDEMLService>(std::string(name), enabled));
    return *services_.back();
}

std::string_view TDDEMLManager::ServiceName(std::size_t index) const {
    return index < services_.size() ? std::string_view(services_[index]->Name())
                                    : std::string_view();
}

TDDEMLService* TDDEMLManager::FindService(std::string_view name) const {
    for (const auto& service : services_) {
        if (SameText(service->Name(), name)) return service.get();
    }
    return nullptr;
}

bool TDDEMLManager::AddTopic(std::string_view service, std::string_view topic) {
    TDDEMLService* found = FindService(service);
    if (found == nullptr) return false;
    found->AppendTopic(topic);
    found->Topic(topic, true);
    return true;
}

bool TDDEMLManager::AddFormat(std::string_view service, std::string_view topic,
                              std::string_view format) {
    TDDEMLService* found = FindService(service);
    if (found == nullptr) return false;
    TDDEMLTopic& target = found->Topic(topic, true);
    if (target.IsSystem()) {
        found->AppendFormat(format);
    } else {
        target.AddFormat(format);
    }
    return true;
}

bool TDDEMLManager::SetStatus(std::string_view service, std::string_view text) {
    TDDEMLService* found = FindService(service);
    if (found == nullptr) return false;
    found->SetStatus(text);
    return true;
}

TDDEMLAnswer TDDEMLManager::Connect(std::string_view client, std::string_view service,
                                    std::string_view topic, std::uint32_t& conv) {
    conv = 0;
    TDDEMLService* target = service.empty() ? nullptr : FindService(service);
    if (target == nullptr || !target->Enabled() || topic.empty()) return daNotProcessed;
    // Every new topic name would be kept while in use: its length is bounded like an item's.
    if (topic.size() > limits_.NameLength) return daNameTooLong;
    if (ClientConversationCount(client) >= limits_.ConversationsPerClient ||
        conversations_.size() >= limits_.Conversations) {
        return daTooManyConversations;
    }
    TDDEMLTopic& bound = target->Topic(topic, false);
    ++bound.Conversations;
    conv = NextNumber();
    conversations_.emplace(conv, TDDEMLConversation{conv, std::string(client), target, &bound});
    auto counted = clientConversations_.find(client);
    if (counted == clientConversations_.end()) {
        clientConversations_.emplace(std::string(client), 1);
    } else {
        ++counted->second;
    }
    return daAck;
}

std::uint32_t TDDEMLManager::NextNumber() {
    // Numbers go up and wrap around, skipping 0 and those in use: a number just ended is not
    // handed out again at once. The limits keep free numbers plentiful.
    do {
        ++lastNumber_;
    } while (lastNumber_ == 0 || conversations_.count(lastNumber_) != 0);
    return lastNumber_;
}

TDDEMLAnswer TDDEMLManager::Disconnect(std::string_view client, std::uint32_t conv) {
    TDDEMLConversation* conversation = Find(client, conv);
    if (conversation == nullptr) return daNoConversation;
    TDDEMLService& service = *conversation->Service;
    TDDEMLTopic& topic = *conversation->Topic;
    auto counted = clientConversations_.find(client);
    if (counted != clientConversations_.end() && --counted->second == 0) {
        clientConversations_.erase(counted);
    }
    conversations_.erase(conv);
    --topic.Conversations;
    service.ReleaseTopic(topic);
    return daAck;
}

std::size_t TDDEMLManager::DisconnectClient(std::string_view client) {
    std::vector<std::uint32_t> numbers;
    for (const auto& [number, conversation] : conversations_) {
        if (conversation.Client == client) numbers.push_back(number);
    }
    for (std::uint32_t number : numbers) Disconnect(client, number);
    return numbers.size();
}

std::size_t TDDEMLManager::ClientConversationCount(std::string_view client) const {
    auto counted = clientConversations_.find(client);
    return counted == clientConversations_.end() ? 0 : counted->second;
}

const TDDEMLConversation* TDDEMLManager::FindConversation(std::string_view client,
                                                          std::uint32_t conv) const {
    auto found = conversations_.find(conv);
    if (found == conversations_.end() || found->second.Client != client) return nullptr;
    return &found->second;
}

TDDEMLConversation* TDDEMLManager::Find(std::string_view client, std::uint32_t conv) {
    return const_cast<TDDEMLConversation*>(FindConversation(client, conv));
}

TDDEMLConversation* TDDEMLManager::ForTransaction(std::string_view client, std::uint32_t conv,
                                                  TDDEMLAnswer& answer) {
    TDDEMLConversation* conversation = Find(client, conv);
    if (conversation == nullptr) {
        answer = daNoConversation;
    } else if (conversation->Service->Busy()) {
        answer = daBusy;
        conversation = nullptr;
    }
    return conversation;
}

TDDEMLAnswer TDDEMLManager::Request(std::string_view client, std::uint32_t conv,
                                    std::string_view item, std::string_view format,
                                    std::string& data) {
    data.clear();
    TDDEMLAnswer answer = daNotProcessed;
    TDDEMLConversation* conversation = ForTransaction(client, conv, answer);
    if (conversation == nullptr) return answer;
    TDDEMLService& service = *conversation->Service;
    if (conversation->Topic->IsSystem() && IsSystemItem(item)) {
        // The service's descriptions are text, answered every time.
        if (!SameText(format, DdeTextFormat)) return daNotProcessed;
        if (SameText(item, DdeTopicsItem)) {
            data = DdeTextData(service.TopicsText());
        } else if (SameText(item, DdeFormatsItem)) {
            data = DdeTextData(service.FormatsText());
        } else if (SameText(item, DdeSysItemsItem) || SameText(item, DdeTopicItemListItem)) {
            // No system-item handlers: "Status" is the only item listed.
            data = DdeTextData(DdeStatusItem);
        } else if (SameText(item, DdeStatusItem) && service.Status() != nullptr) {
            data = DdeTextData(*service.Status());
        } else {
            return daNotProcessed;
        }
        return daAck;
    }
    TDDEMLItem* stored = conversation->Topic->FindItem(item);
    if (stored == nullptr || !SameText(stored->Format(), format)) return daNotProcessed;
    // The server keeps no item data: what is handed out is gone.
    dataBytes_ -= stored->Data().size();
    --itemCount_;
    data = stored->TakeData();
    conversation->Topic->RemoveItem(item);
    return daAck;
}

TDDEMLAnswer TDDEMLManager::Poke(std::string_view client, std::uint32_t conv, std::string_view item,
                                 std::string_view format, std::string data) {
    TDDEMLAnswer answer = daNotProcessed;
    TDDEMLConversation* conversation = ForTransaction(client, conv, answer);
    if (conversation == nullptr) return answer;
    if (item.empty()) return daNotProcessed;
    if (item.size() > limits_.NameLength || format.size() > limits_.NameLength) {
        return daNameTooLong;
    }
    if (format.empty()) return daNoFormat;
    // A client may not rewrite the service's descriptions, nor make the service busy for
    // everyone with no way back.
    TDDEMLTopic& topic = *conversation->Topic;
    if (topic.IsSystem() && IsSystemItem(item)) return daNotProcessed;
    if (data.size() > limits_.ItemData) return daItemTooLarge;
    const TDDEMLItem* old = topic.FindItem(item);
    const std::size_t oldBytes = old != nullptr ? old->Data().size() : 0;
    if (old == nullptr && itemCount_ >= limits_.Items) return daStoreFull;
    if (dataBytes_ - oldBytes + data.size() > limits_.TotalData) return daStoreFull;
    if (old == nullptr) ++itemCount_;
    dataBytes_ = dataBytes_ - oldBytes + data.size();
    topic.SetItem(item, std::string(format), std::move(data));
    // Stored, but no poke handler processes it.
    return daNotProcessed;
}

TDDEMLAnswer TDDEMLManager::Execute(std::string_view client, std::uint32_t conv, std::string_view) {
    TDDEMLAnswer answer = daNotProcessed;
    ForTransaction(client, conv, answer);
    return answer;
}

TDDEMLAnswer TDDEMLManager::AdviseStart(std::string_view client, std::uint32_t conv,
                                        std::string_view, std::string_view) {
    TDDEMLAnswer answer = daNotProcessed;
    ForTransaction(client, conv, answer);
    return answer;
}

}  // namespace ov
