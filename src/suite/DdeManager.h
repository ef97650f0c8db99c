// The program's DDE service manager (TDDEMLManager): its services, the conversations of its
// clients and the server's answer to every transaction. Free of any bus: a transport (the
// D-Bus adaptor) hands in each client's transactions under the client's own name and ends a
// client's conversations when the client goes away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "suite/DdeService.h"

namespace ov {

// What clients may make the manager hold. Names are at most as long as the platform's atoms.
struct TDDEMLLimits {
    std::size_t ConversationsPerClient = 64;
    std::size_t Conversations = 4096;   // of all clients together
    std::size_t NameLength = 255;       // topic, item and format names, in bytes
    std::size_t ItemData = 1u << 20;    // bytes of data in one item
    std::size_t TotalData = 16u << 20;  // bytes of data in all items together
    std::size_t Items = 4096;           // items holding data, all topics together
};

// The answer to a transaction.
enum TDDEMLAnswer : std::uint8_t {
    daAck,           // done: connected, data handed out, acknowledged
    daNotProcessed,  // refused, not processed, or no data
    daBusy,          // the service is busy
    // Errors: the transaction was not carried out.
    daNoConversation,        // the client holds no conversation of that number
    daTooManyConversations,  // the client's (or all clients') limit is reached
    daNameTooLong,           // a topic, item or format name longer than the limit
    daNoFormat,              // an empty format name
    daItemTooLarge,          // more data than one item may hold
    daStoreFull,             // no room left for the data or for another item
};

// A conversation: the client that opened it, bound to a service and a topic.
struct TDDEMLConversation {
    std::uint32_t Number = 0;
    std::string Client;
    TDDEMLService* Service = nullptr;
    TDDEMLTopic* Topic = nullptr;
};

// The server side of the DDE management: services with their topics, conversations by number,
// and the standard server behaviour with no handlers assigned. A client is named by an opaque
// text (its bus connection); a conversation answers only to the client that opened it. Not
// thread-safe: the program uses it on the main thread only.
class TDDEMLManager {
  public:
    explicit TDDEMLManager(TDDEMLLimits limits = {});
    TDDEMLManager(const TDDEMLManager&) = delete;
    TDDEMLManager& operator=(const TDDEMLManager&) = delete;
    ~TDDEMLManager();

    const TDDEMLLimits& Limits() const { return limits_; }

    // Adds a service (its system topic made with it).
    TDDEMLService& AddService(std::string_view name, bool enabled = true);
    // The name of the service at index of the list; empty past its end.
    std::string_view ServiceName(std::size_t index) const;
    // The service of that name, enabled or not; null when there is none.
    TDDEMLService* FindService(std::string_view name) const;

    // Appends topic to the "Topics" text of service's system topic; the topic exists from
    // then on. False when there is no such service.
    bool AddTopic(std::string_view service, std::string_view topic);
    // The system topic: appends format to its "Formats" text; another topic: adds format to
    // it. False when there is no such service.
    bool AddFormat(std::string_view service, std::string_view topic, std::string_view format);
    // Sets the "Status" text of service's system topic ("BUSY": the service is busy).
    bool SetStatus(std::string_view service, std::string_view text);

    // Opens a conversation of client with topic of service: daAck and its number in conv (never
    // 0); daNotProcessed (conv 0) for an empty or unknown service or an empty topic; an error
    // for a topic name over the limit or a client at its limit. Any other topic is accepted
    // and made when absent.
    TDDEMLAnswer Connect(std::string_view client, std::string_view service, std::string_view topic,
                         std::uint32_t& conv);
    // Ends client's conversation conv: daAck, or daNoConversation.
    TDDEMLAnswer Disconnect(std::string_view client, std::uint32_t conv);
    // Ends every conversation of client (it has gone away): how many there were.
    std::size_t DisconnectClient(std::string_view client);

    // Request of item in format: daAck with the data, or daNotProcessed with none. The system
    // topic's own items answer their texts in the text format; any other item hands its data
    // out once, in the format it was poked in.
    TDDEMLAnswer Request(std::string_view client, std::uint32_t conv, std::string_view item,
                         std::string_view format, std::string& data);
    // Poke: stores data in item of the conversation's topic, made when absent, and answers
    // daNotProcessed (no handler processes it) or an error when nothing was stored because of
    // a limit. An empty item name, or one of the system topic's own items, stores nothing.
    TDDEMLAnswer Poke(std::string_view client, std::uint32_t conv, std::string_view item,
                      std::string_view format, std::string data);
    // Execute and advise start: never processed (daNotProcessed), unless busy or no
    // conversation.
    TDDEMLAnswer Execute(std::string_view client, std::uint32_t conv, std::string_view command);
    TDDEMLAnswer AdviseStart(std::string_view client, std::uint32_t conv, std::string_view item,
                             std::string_view format);

    // State, for the transport and the tests.
    std::size_t ConversationCount() const { return conversations_.size(); }
    std::size_t ClientConversationCount(std::string_view client) const;
    const TDDEMLConversation* FindConversation(std::string_view client, std::uint32_t conv) const;
    std::size_t ItemCount() const { return itemCount_; }
    std::size_t DataBytes() const { return dataBytes_; }

  private:
    TDDEMLConversation* Find(std::string_view client, std::uint32_t conv);
    // The conversation for a transaction: null with the error in answer.
    TDDEMLConversation* ForTransaction(std::string_view client, std::uint32_t conv,
                                       TDDEMLAnswer& answer);
    std::uint32_t NextNumber();

    TDDEMLLimits limits_;
    std::vector<std::unique_ptr<TDDEMLService>> services_;
    std::map<std::uint32_t, TDDEMLConversation> conversations_;
    std::map<std::string, std::size_t, std::less<>> clientConversations_;
    std::uint32_t lastNumber_ = 0;
    std::size_t itemCount_ = 0;  // items holding data, all services and topics
    std::size_t dataBytes_ = 0;  // their data
};

}  // namespace ov
