// Fuzz target: the DDE service model (TDDEMLManager) under a fuzzed series of transactions of
// several clients, with small limits so that every limit is reached. One transaction per line,
// its fields separated by "|":
//   C|client|service|topic       connect          D|client|conv       disconnect
//   X|client                     client gone      R|client|conv|item|format         request
//   P|client|conv|item|format|data    poke        E|client|conv|command             execute
//   A|client|conv|item|format    advise start     S|service|status    set the status
//   T|service|topic  add a topic                  F|service|topic|format  add a format
// conv is a number; "#n" is the n-th conversation opened so far.
// Every answer, every conversation number and every piece of data handed out is the one a
// plain model of the service gives (below): a conversation answers its own client only; data
// poked into an item of a topic is handed out once, to a request in its format from any
// conversation on that topic, and the system topic's items describe the service; the limits
// refuse what would pass them, and the counts of conversations, items and bytes are the
// model's after every transaction.
#include <charconv>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "FuzzSupport.h"
#include "suite/DdeManager.h"
#include "util/TextCompare.h"

namespace {

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t bar = line.find('|');
        fields.push_back(line.substr(0, bar));
        if (bar == std::string_view::npos) break;
        line.remove_prefix(bar + 1);
    }
    while (fields.size() < 6) fields.emplace_back();
    return fields;
}

// The service as a client sees it, kept the plainest way.
class TModel {
  public:
    explicit TModel(const ov::TDDEMLLimits& limits) : limits_(limits) {}

    struct TService {
        std::string Name;
        bool Enabled = true;
        std::string Topics, Formats;  // the system topic's texts, names separated by tabs
        std::optional<std::string> Status;
        bool Busy() const { return Status && ov::SameText(*Status, ov::DdeBusyStatus); }
    };
    struct TConversation {
        std::string Client;
        std::size_t Service = 0;
        std::string Topic;  // folded
    };
    struct TItem {
        std::string Format;
        std::string Data;
    };

    std::vector<TService> Services;
    std::map<std::uint32_t, TConversation> Conversations;
    std::map<std::tuple<std::size_t, std::string, std::string>, TItem> Items;
    std::size_t DataBytes = 0;

    static void Append(std::string& list, std::string_view name) {
        if (!list.empty()) list += '\t';
        list += name;
    }
    std::optional<std::size_t> Service(std::string_view name) const {
        for (std::size_t i = 0; i < Services.size(); ++i)
            if (ov::SameText(Services[i].Name, name)) return i;
        return std::nullopt;
    }
    std::size_t ClientConversations(std::string_view client) const {
        std::size_t n = 0;
        for (const auto& c : Conversations) n += c.second.Client == client;
        return n;
    }

    ov::TDDEMLAnswer Connect(std::string_view client, std::string_view service,
                             std::string_view topic, std::uint32_t& conv) {
        conv = 0;
        const auto s = service.empty() ? std::nullopt : Service(service);
        if (!s || !Services[*s].Enabled || topic.empty()) return ov::daNotProcessed;
        if (topic.size() > limits_.NameLength) return ov::daNameTooLong;
        if (ClientConversations(client) >= limits_.ConversationsPerClient ||
            Conversations.size() >= limits_.Conversations)
            return ov::daTooManyConversations;
        do {
            ++last_;
        } while (last_ == 0 || Conversations.count(last_) != 0);
        conv = last_;
        Conversations[conv] = {std::string(client), *s, ov::UpperCaseAscii(topic)};
        return ov::daAck;
    }

    // The conversation a transaction is for; null with the answer when there is none to use.
    const TConversation* For(std::string_view client, std::uint32_t conv,
                             ov::TDDEMLAnswer& answer) const {
        const auto found = Conversations.find(conv);
        if (found == Conversations.end() || found->second.Client != client) {
            answer = ov::daNoConversation;
            return nullptr;
        }
        if (Services[found->second.Service].Busy()) {
            answer = ov::daBusy;
            return nullptr;
        }
        return &found->second;
    }

    static bool SystemItem(std::string_view item) {
        for (const std::string_view name :
             {ov::DdeTopicsItem, ov::DdeSysItemsItem, ov::DdeTopicItemListItem, ov::DdeFormatsItem,
              ov::DdeStatusItem, ov::DdeHelpItem})
            if (ov::SameText(item, name)) return true;
        return false;
    }
    static bool SystemTopic(const TConversation& c) {
        return ov::SameText(c.Topic, ov::DdeSystemTopic);
    }

    ov::TDDEMLAnswer Request(std::string_view client, std::uint32_t conv, std::string_view item,
                             std::string_view format, std::string& data) {
        data.clear();
        ov::TDDEMLAnswer answer = ov::daNotProcessed;
        const TConversation* c = For(client, conv, answer);
        if (c == nullptr) return answer;
        const TService& service = Services[c->Service];
        if (SystemTopic(*c) && SystemItem(item)) {
            if (!ov::SameText(format, ov::DdeTextFormat)) return ov::daNotProcessed;
            std::optional<std::string> text;
            if (ov::SameText(item, ov::DdeTopicsItem)) text = service.Topics;
            if (ov::SameText(item, ov::DdeFormatsItem)) text = service.Formats;
            if (ov::SameText(item, ov::DdeSysItemsItem) ||
                ov::SameText(item, ov::DdeTopicItemListItem))
                text = std::string(ov::DdeStatusItem);
            if (ov::SameText(item, ov::DdeStatusItem)) text = service.Status;
            if (!text) return ov::daNotProcessed;
            data = ov::DdeTextData(*text);
            return ov::daAck;
        }
        const auto found = Items.find({c->Service, c->Topic, ov::UpperCaseAscii(item)});
        if (found == Items.end() || !ov::SameText(found->second.Format, format))
            return ov::daNotProcessed;
        data = std::move(found->second.Data);
        DataBytes -= data.size();
        Items.erase(found);
        return ov::daAck;
    }

    ov::TDDEMLAnswer Poke(std::string_view client, std::uint32_t conv, std::string_view item,
                          std::string_view format, std::string_view data) {
        ov::TDDEMLAnswer answer = ov::daNotProcessed;
        const TConversation* c = For(client, conv, answer);
        if (c == nullptr) return answer;
        if (item.empty()) return ov::daNotProcessed;
        if (item.size() > limits_.NameLength || format.size() > limits_.NameLength)
            return ov::daNameTooLong;
        if (format.empty()) return ov::daNoFormat;
        if (SystemTopic(*c) && SystemItem(item)) return ov::daNotProcessed;
        if (data.size() > limits_.ItemData) return ov::daItemTooLarge;
        const auto key = std::make_tuple(c->Service, c->Topic, ov::UpperCaseAscii(item));
        const auto old = Items.find(key);
        const std::size_t oldBytes = old == Items.end() ? 0 : old->second.Data.size();
        if (old == Items.end() && Items.size() >= limits_.Items) return ov::daStoreFull;
        if (DataBytes - oldBytes + data.size() > limits_.TotalData) return ov::daStoreFull;
        DataBytes = DataBytes - oldBytes + data.size();
        Items[key] = {std::string(format), std::string(data)};
        return ov::daNotProcessed;  // stored, and no handler processes it
    }

  private:
    ov::TDDEMLLimits limits_;
    std::uint32_t last_ = 0;
};

const char* AnswerName(ov::TDDEMLAnswer a) {
    static const char* const names[] = {
        "Ack",         "NotProcessed", "Busy",         "NoConversation", "TooManyConversations",
        "NameTooLong", "NoFormat",     "ItemTooLarge", "StoreFull"};
    return a < std::size(names) ? names[a] : "?";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ov::TDDEMLLimits limits;
    limits.ConversationsPerClient = 4;
    limits.Conversations = 8;
    limits.NameLength = 16;
    limits.ItemData = 64;
    limits.TotalData = 256;
    limits.Items = 8;
    ov::TDDEMLManager dde(limits);
    TModel model(limits);
    auto addService = [&](std::string_view name, bool enabled) {
        dde.AddService(name, enabled);
        model.Services.push_back({std::string(name), enabled, {}, {}, {}});
    };
    addService(ov::CalcDdeService, true);
    addService("Off", false);
    auto addTopic = [&](std::string_view service, std::string_view topic) {
        const bool added = dde.AddTopic(service, topic);
        const auto s = model.Service(service);
        if (s) TModel::Append(model.Services[*s].Topics, topic);
        return added == s.has_value();
    };
    auto addFormat = [&](std::string_view service, std::string_view topic,
                         std::string_view format) {
        const bool added = dde.AddFormat(service, topic, format);
        const auto s = model.Service(service);
        if (s && ov::SameText(topic, ov::DdeSystemTopic))
            TModel::Append(model.Services[*s].Formats, format);
        return added == s.has_value();
    };
    addTopic(ov::CalcDdeService, ov::CalcDdeSystemTopic);
    addTopic(ov::CalcDdeService, ov::CalcDdeDataTopic);
    addFormat(ov::CalcDdeService, ov::CalcDdeSystemTopic, ov::DdeTextFormat);

    std::vector<std::uint32_t> opened;
    auto conv = [&](std::string_view text) -> std::uint32_t {
        std::uint32_t n = 0;
        if (!text.empty() && text[0] == '#') {
            std::from_chars(text.data() + 1, text.data() + text.size(), n);
            return n < opened.size() ? opened[n] : 0;
        }
        std::from_chars(text.data(), text.data() + text.size(), n);
        return n;
    };
    for (const std::string_view line : ov::fuzz::Lines(ov::fuzz::AsText(data, size))) {
        const std::vector<std::string_view> f = Fields(line);
        if (f[0].size() != 1) continue;
        auto differs = [&](ov::TDDEMLAnswer got, ov::TDDEMLAnswer want) {
            return [=] {
                return "\"" + ov::fuzz::Shown(line) + "\" answered " + AnswerName(got) +
                       ", the model " + AnswerName(want);
            };
        };
        switch (f[0][0]) {
            case 'C': {
                std::uint32_t number = 0, expected = 0;
                const ov::TDDEMLAnswer a = dde.Connect(f[1], f[2], f[3], number);
                const ov::TDDEMLAnswer want = model.Connect(f[1], f[2], f[3], expected);
                ov::fuzz::Require(a == want && number == expected, differs(a, want));
                if (number != 0) opened.push_back(number);
                break;
            }
            case 'D': {
                const std::uint32_t c = conv(f[2]);
                const ov::TDDEMLAnswer a = dde.Disconnect(f[1], c);
                const auto found = model.Conversations.find(c);
                const bool mine =
                    found != model.Conversations.end() && found->second.Client == f[1];
                const ov::TDDEMLAnswer want = mine ? ov::daAck : ov::daNoConversation;
                if (mine) model.Conversations.erase(found);
                ov::fuzz::Require(a == want, differs(a, want));
                break;
            }
            case 'X': {
                const std::size_t ended = dde.DisconnectClient(f[1]);
                const std::size_t want = model.ClientConversations(f[1]);
                std::erase_if(model.Conversations,
                              [&](const auto& c) { return c.second.Client == f[1]; });
                ov::fuzz::Require(ended == want, [&] {
                    return "\"" + ov::fuzz::Shown(line) + "\" ended " + std::to_string(ended) +
                           " conversations, the model " + std::to_string(want);
                });
                break;
            }
            case 'R': {
                std::string out, expected;
                const std::uint32_t c = conv(f[2]);
                const ov::TDDEMLAnswer a = dde.Request(f[1], c, f[3], f[4], out);
                const ov::TDDEMLAnswer want = model.Request(f[1], c, f[3], f[4], expected);
                ov::fuzz::Require(a == want && out == expected, [&] {
                    return differs(a, want)() + ", data \"" + ov::fuzz::Shown(out) +
                           "\" where the model has \"" + ov::fuzz::Shown(expected) + "\"";
                });
                break;
            }
            case 'P': {
                const std::uint32_t c = conv(f[2]);
                const ov::TDDEMLAnswer a = dde.Poke(f[1], c, f[3], f[4], std::string(f[5]));
                const ov::TDDEMLAnswer want = model.Poke(f[1], c, f[3], f[4], f[5]);
                ov::fuzz::Require(a == want, differs(a, want));
                break;
            }
            case 'E':
            case 'A': {
                const std::uint32_t c = conv(f[2]);
                const ov::TDDEMLAnswer a = f[0][0] == 'E' ? dde.Execute(f[1], c, f[3])
                                                          : dde.AdviseStart(f[1], c, f[3], f[4]);
                ov::TDDEMLAnswer want = ov::daNotProcessed;
                model.For(f[1], c, want);
                ov::fuzz::Require(a == want, differs(a, want));
                break;
            }
            case 'S': {
                const bool set = dde.SetStatus(f[1], f[2]);
                const auto s = model.Service(f[1]);
                if (s) model.Services[*s].Status = std::string(f[2]);
                ov::fuzz::Require(set == s.has_value(), differs(ov::daAck, ov::daAck));
                break;
            }
            case 'T':
                ov::fuzz::Require(addTopic(f[1], f[2]), differs(ov::daAck, ov::daAck));
                break;
            case 'F':
                ov::fuzz::Require(addFormat(f[1], f[2], f[3]), differs(ov::daAck, ov::daAck));
                break;
            default:
                break;
        }
        ov::fuzz::Require(
            dde.ConversationCount() == model.Conversations.size() &&
                dde.ItemCount() == model.Items.size() && dde.DataBytes() == model.DataBytes,
            [&] {
                return "after \"" + ov::fuzz::Shown(line) + "\" the counts are " +
                       std::to_string(dde.ConversationCount()) + "/" +
                       std::to_string(dde.ItemCount()) + "/" + std::to_string(dde.DataBytes()) +
                       ", the model's " + std::to_string(model.Conversations.size()) + "/" +
                       std::to_string(model.Items.size()) + "/" + std::to_string(model.DataBytes);
            });
        ov::fuzz::Require(dde.ItemCount() <= limits.Items && dde.DataBytes() <= limits.TotalData &&
                              dde.ConversationCount() <= limits.Conversations,
                          [] { return std::string("a limit passed"); });
        for (const auto& [number, c] : model.Conversations) {
            const std::size_t n = dde.ClientConversationCount(c.Client);
            ov::fuzz::Require(n <= limits.ConversationsPerClient &&
                                  n == model.ClientConversations(c.Client) &&
                                  dde.FindConversation(c.Client, number) != nullptr,
                              [] { return std::string("a client's conversations differ"); });
        }
    }
    // Every client gone: no conversation is left.
    std::vector<std::string> clients;
    for (const auto& c : model.Conversations) clients.push_back(c.second.Client);
    for (const std::string& c : clients) (void)dde.DisconnectClient(c);
    ov::fuzz::Require(dde.ConversationCount() == 0,
                      [] { return std::string("conversations left after their clients"); });
    return 0;
}
