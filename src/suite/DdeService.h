// The data of the program's DDE service: services, their topics and the items that clients
// poke, each item's data tagged with the name of its clipboard format. Names of services,
// topics, items and formats are compared without regard to the case of ASCII letters.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

// The program's service and the topics it offers.
inline constexpr std::string_view CalcDdeService = "OVCalc";
inline constexpr std::string_view CalcDdeSystemTopic = "SYSTEM";
inline constexpr std::string_view CalcDdeDataTopic = "DATA";

// Every service's system topic and the items describing the service.
inline constexpr std::string_view DdeSystemTopic = "System";
inline constexpr std::string_view DdeTopicsItem = "Topics";
inline constexpr std::string_view DdeSysItemsItem = "SysItems";
inline constexpr std::string_view DdeTopicItemListItem = "TopicItemList";
inline constexpr std::string_view DdeFormatsItem = "Formats";
inline constexpr std::string_view DdeStatusItem = "Status";
inline constexpr std::string_view DdeHelpItem = "Help";

// The text clipboard format: 8-bit text ending with a NUL byte.
inline constexpr std::string_view DdeTextFormat = "Text";
// The "Status" text that makes a service busy (any letter case).
inline constexpr std::string_view DdeBusyStatus = "BUSY";

// text as data of the text format (the text and a NUL byte).
std::string DdeTextData(std::string_view text);
// Data of the text format as text: the bytes before the first NUL.
std::string_view DdeDataText(std::string_view data);

// Orders names with ASCII letters folded.
struct TDdeNameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

// An item of a topic: data a client poked, in the format it named.
class TDDEMLItem {
  public:
    TDDEMLItem(std::string name, std::string format, std::string data)
        : name_(std::move(name)), format_(std::move(format)), data_(std::move(data)) {}

    const std::string& Name() const { return name_; }
    const std::string& Format() const { return format_; }
    const std::string& Data() const { return data_; }
    // Takes the data out of the item, leaving it empty.
    std::string TakeData() { return std::move(data_); }

  private:
    std::string name_;
    std::string format_;
    std::string data_;
};

// A topic of a service with its items. The topics the program adds stay for the whole run; one
// made by a client's connect goes when nothing uses it any more (the manager decides).
class TDDEMLTopic {
  public:
    TDDEMLTopic(std::string name, bool kept) : name_(std::move(name)), kept_(kept) {}

    const std::string& Name() const { return name_; }
    bool Kept() const { return kept_; }
    void Keep() { kept_ = true; }
    // Whether this is the service's system topic ("System" in any letter case).
    bool IsSystem() const;

    TDDEMLItem* FindItem(std::string_view name) const;
    // Stores data in the item of that name, made when absent (the old data replaced).
    void SetItem(std::string_view name, std::string format, std::string data);
    void RemoveItem(std::string_view name);
    std::size_t ItemCount() const { return items_.size(); }

    // The formats the program added to the topic.
    const std::vector<std::string>& Formats() const { return formats_; }
    void AddFormat(std::string_view format) { formats_.emplace_back(format); }

    // The conversations bound to the topic (kept by the manager).
    int Conversations = 0;

  private:
    std::string name_;
    bool kept_;
    std::map<std::string, std::unique_ptr<TDDEMLItem>, TDdeNameLess> items_;
    std::vector<std::string> formats_;
};

// A service: its name, whether it is offered, its topics (the system topic always among them)
// and the texts of the system topic's items.
class TDDEMLService {
  public:
    TDDEMLService(std::string name, bool enabled);

    const std::string& Name() const { return name_; }
    bool Enabled() const { return enabled_; }

    TDDEMLTopic* FindTopic(std::string_view name) const;
    // The topic of that name, made when absent; kept says whether it stays for the whole run
    // (an existing topic becomes kept, never the other way).
    TDDEMLTopic& Topic(std::string_view name, bool kept);
    // Removes a topic that is not kept, holds no items and has no conversations.
    void ReleaseTopic(TDDEMLTopic& topic);
    std::size_t TopicCount() const { return topics_.size(); }

    // The system topic's texts: "Topics" and "Formats" grow by name, the first alone and each
    // further one after a tab; "Status" is the service's state ("BUSY": busy) and, like
    // "Help", is absent until the program sets it.
    const std::string& TopicsText() const { return topicsText_; }
    const std::string& FormatsText() const { return formatsText_; }
    void AppendTopic(std::string_view topic) { Append(topicsText_, topic); }
    void AppendFormat(std::string_view format) { Append(formatsText_, format); }
    const std::string* Status() const { return hasStatus_ ? &status_ : nullptr; }
    void SetStatus(std::string_view text);
    bool Busy() const;

  private:
    static void Append(std::string& list, std::string_view name);

    std::string name_;
    bool enabled_;
    std::map<std::string, std::unique_ptr<TDDEMLTopic>, TDdeNameLess> topics_;
    std::string topicsText_;
    std::string formatsText_;
    std::string status_;
    bool hasStatus_ = false;
};

}  // namespace ov
