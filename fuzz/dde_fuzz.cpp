// Fuzz target: the DDE service model (TDDEMLManager) under a fuzzed series of transactions of
// several clients, with small limits so that every limit is reached. One transaction per line,
// its fields separated by "|":
//   C|client|service|topic       connect          D|client|conv       disconnect
//   X|client                     client gone      R|client|conv|item|format         request
//   P|client|conv|item|format|data    poke        E|client|conv|command             execute
//   A|client|conv|item|format    advise start     S|service|status    set the status
//   T|service|topic  add a topic                  F|service|topic|format  add a format
// conv is a number; "#n" is the n-th conversation opened so far. After every transaction the
// manager's counts stay within its limits and its clients' conversations add up to its count.
#include <charconv>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "suite/DdeManager.h"

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
    dde.AddService(ov::CalcDdeService);
    dde.AddTopic(ov::CalcDdeService, ov::CalcDdeSystemTopic);
    dde.AddTopic(ov::CalcDdeService, ov::CalcDdeDataTopic);
    dde.AddFormat(ov::CalcDdeService, ov::CalcDdeSystemTopic, ov::DdeTextFormat);
    dde.AddService("Off", false);

    std::vector<std::uint32_t> opened;
    // The clients that ever opened a conversation: only they can hold one.
    std::set<std::string, std::less<>> clients;
    auto conv = [&](std::string_view text) -> std::uint32_t {
        std::uint32_t n = 0;
        if (!text.empty() && text[0] == '#') {
            std::from_chars(text.data() + 1, text.data() + text.size(), n);
            return n < opened.size() ? opened[n] : 0;
        }
        std::from_chars(text.data(), text.data() + text.size(), n);
        return n;
    };
    for (std::string_view line : ov::fuzz::Lines(ov::fuzz::AsText(data, size))) {
        const std::vector<std::string_view> f = Fields(line);
        if (f[0].size() != 1) continue;
        std::string out;
        switch (f[0][0]) {
            case 'C': {
                std::uint32_t number = 0;
                const ov::TDDEMLAnswer a = dde.Connect(f[1], f[2], f[3], number);
                if ((a == ov::daAck) != (number != 0)) std::abort();
                if (number != 0) {
                    opened.push_back(number);
                    clients.emplace(f[1]);
                }
                break;
            }
            case 'D':
                (void)dde.Disconnect(f[1], conv(f[2]));
                break;
            case 'X':
                (void)dde.DisconnectClient(f[1]);
                break;
            case 'R': {
                const ov::TDDEMLAnswer a = dde.Request(f[1], conv(f[2]), f[3], f[4], out);
                if (a != ov::daAck && !out.empty()) std::abort();
                break;
            }
            case 'P': {
                const std::uint32_t c = conv(f[2]);
                const std::string poked(f[5]);
                const ov::TDDEMLAnswer a = dde.Poke(f[1], c, f[3], f[4], poked);
                if (a == ov::daNotProcessed && !f[3].empty() && !f[4].empty()) {
                    // Stored unless it is one of the system topic's own items: handed out once.
                    const ov::TDDEMLConversation* cv = dde.FindConversation(f[1], c);
                    if (cv != nullptr && !cv->Topic->IsSystem()) {
                        std::string back;
                        if (dde.Request(f[1], c, f[3], f[4], back) != ov::daAck || back != poked)
                            std::abort();
                    }
                }
                break;
            }
            case 'E':
                (void)dde.Execute(f[1], conv(f[2]), f[3]);
                break;
            case 'A':
                (void)dde.AdviseStart(f[1], conv(f[2]), f[3], f[4]);
                break;
            case 'S':
                (void)dde.SetStatus(f[1], f[2]);
                break;
            case 'T':
                (void)dde.AddTopic(f[1], f[2]);
                break;
            case 'F':
                (void)dde.AddFormat(f[1], f[2], f[3]);
                break;
            default:
                break;
        }
        if (dde.ItemCount() > limits.Items || dde.DataBytes() > limits.TotalData ||
            dde.ConversationCount() > limits.Conversations)
            std::abort();
        std::size_t sum = 0;
        for (const std::string& c : clients) {
            const std::size_t n = dde.ClientConversationCount(c);
            if (n > limits.ConversationsPerClient) std::abort();
            sum += n;
        }
        if (sum != dde.ConversationCount()) std::abort();
    }
    for (const std::string& c : clients) (void)dde.DisconnectClient(c);
    if (dde.ConversationCount() != 0) std::abort();
    return 0;
}
