// Tests of the DDE service manager without a bus: connections, the system topic's items, pokes
// handed out once, the refused transactions, the busy rule, conversations owned by their
// client, topics made and dropped on demand, and the limits on what clients may store.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "suite/DdeManager.h"

namespace ov {

void PrintTo(TDDEMLAnswer answer, std::ostream* out) {
    *out << static_cast<int>(answer);
}

namespace {

const std::string A = ":1.10";
const std::string B = ":1.11";

// The service as the main window sets it up.
void SetUpAsTheProgram(TDDEMLManager& dde) {
    dde.AddService(CalcDdeService);
    dde.AddTopic(CalcDdeService, CalcDdeSystemTopic);
    dde.AddTopic(CalcDdeService, CalcDdeDataTopic);
    dde.AddFormat(CalcDdeService, CalcDdeSystemTopic, DdeTextFormat);
}

std::uint32_t Open(TDDEMLManager& dde, const std::string& client, const std::string& topic) {
    std::uint32_t conv = 0;
    EXPECT_EQ(dde.Connect(client, CalcDdeService, topic, conv), daAck) << topic;
    return conv;
}

TEST(DdeManager, ConnectAcceptsAnyTopicOfTheServiceAndRefusesEmptyOrUnknownNames) {
    TDDEMLManager dde;
    SetUpAsTheProgram(dde);
    dde.AddService("Off", false);
    struct Case {
        std::string Service, Topic;
        TDDEMLAnswer Answer;
    };
    const std::vector<Case> cases{
        {"OVCalc", "DATA", daAck},
        {"OVCalc", "SYSTEM", daAck},
        {"ovcalc", "system", daAck},
        {"OVCalc", "Anything else", daAck},
        {"OVCalc", std::string(255, 'T'), daAck},
        {"OVCalc", "", daNotProcessed},
        {"", "DATA", daNotProcessed},
        {"OVCalc2", "DATA", daNotProcessed},
        {"Off", "DATA", daNotProcessed},  // a service not enabled is not offered
        {"OVCalc", std::string(256, 'T'), daNameTooLong},
    };
    std::vector<std::uint32_t> numbers;
    for (const auto& c : cases) {
        std::uint32_t conv = 77;
        EXPECT_EQ(dde.Connect(A, c.Service, c.Topic, conv), c.Answer)
            << c.Service << "|" << c.Topic;
        if (c.Answer == daAck) {
            EXPECT_NE(conv, 0u);
            for (auto n : numbers) EXPECT_NE(conv, n);
            numbers.push_back(conv);
        } else {
            EXPECT_EQ(conv, 0u);
        }
    }
    EXPECT_EQ(dde.ConversationCount(), numbers.size());
    EXPECT_EQ(dde.ServiceName(0), "OVCalc");
    EXPECT_EQ(dde.ServiceName(2), "");
}

TEST(DdeManager, SystemTopicDescribesTheServiceEveryTime) {
    TDDEMLManager dde;
    SetUpAsTheProgram(dde);
    const std::uint32_t system = Open(dde, A, "System");
    const std::uint32_t data = Open(dde, A, "DATA");
    struct Case {
        std::uint32_t Conv;
        std::string Item, Format;
        TDDEMLAnswer Answer;
        std::string Data;
    };
    const std::vector<Case> cases{
        {system, "Topics", "Text", daAck, std::string("SYSTEM\tDATA\0", 12)},
        {system, "TOPICS", "text", daAck, std::string("SYSTEM\tDATA\0", 12)},  // again
        {system, "Formats", "Text", daAck, std::string("Text\0", 5)},
        {system, "SysItems", "Text", daAck, std::string("Status\0", 7)},
        {system, "TopicItemList", "Text", daAck, std::string("Status\0", 7)},
        {system, "Status", "Text", daNotProcessed, ""},
        {system, "Help", "Text", daNotProcessed, ""},
        {system, "Topics", "Bitmap", daNotProcessed, ""},
        {system, "Other", "Text", daNotProcessed, ""},
        {data, "Topics", "Text", daNotProcessed, ""},
        {data, "TopicItemList", "Text", daNotProcessed, ""},
        {data, "Formats", "Text", daNotProcessed, ""},
    };
    for (const auto& c : cases) {
        std::string answer = "stale";
        EXPECT_EQ(dde.Request(A, c.Conv, c.Item, c.Format, answer), c.Answer) << c.Item;
        EXPECT_EQ(answer, c.Data) << c.Item;
    }
    EXPECT_EQ(DdeDataText(std::string("SYSTEM\tDATA\0", 12)), "SYSTEM\tDATA");
}

TEST(DdeManager, PokedDataIsHandedOutOnceInItsOwnFormat) {
    TDDEMLManager dde;
    SetUpAsTheProgram(dde);
    const std::uint32_t a = Open(dde, A, "DATA");
    const std::uint32_t b = Open(dde, B, "data");
    const std::uint32_t other = Open(dde, B, "Other");
    std::string data;

    EXPECT_EQ(dde.Poke(A, a, "Level", "Text", DdeTextData("3.52")), daNotProcessed);
    EXPECT_EQ(dde.Request(B, other, "Level", "Text", data), daNotProcessed);  // another topic
    EXPECT_EQ(dde.Request(B, b, "Level", "Bitmap", data), daNotProcessed);    // kept
    EXPECT_EQ(dde.Request(B, b, "LEVEL", "TEXT", data), daAck);
    EXPECT_EQ(data, DdeTextData("3.52"));
    EXPECT_EQ(dde.Request(A, a, "Level", "Text", data), daNotProcessed);
    EXPECT_EQ(data, "");
    EXPECT_EQ(dde.ItemCount(), 0u);
    EXPECT_EQ(dde.DataBytes(), 0u);

    // A later poke replaces the earlier data, format and all; empty data is data too.
    dde.Poke(A, a, "Raw", "Text", "old");
    dde.Poke(A, a, "raw", "Custom", std::string("\x01\x00\xff", 3));
    EXPECT_EQ(dde.DataBytes(), 3u);
    EXPECT_EQ(dde.Request(A, a, "Raw", "Text", data), daNotProcessed);
    EXPECT_EQ(dde.Request(A, a, "Raw", "custom", data), daAck);
    EXPECT_EQ(data, std::string("\x01\x00\xff", 3));
    dde.Poke(A, a, "Empty", "Text", "");
    EXPECT_EQ(dde.Request(A, a, "Empty", "Text", data), daAck);
    EXPECT_EQ(data, "");

    // Nothing is stored under an empty name, nor over the system topic's own items; other
    // items of the system topic are stored as anywhere else.
    EXPECT_EQ(dde.Poke(A, a, "", "Text", "x"), daNotProcessed);
    const std::uint32_t system = Open(dde, A, "SYSTEM");
    EXPECT_EQ(dde.Poke(A, system, "Topics", "Text", DdeTextData("X")), daNotProcessed);
    EXPECT_EQ(dde.Poke(A, system, "status", "Text", DdeTextData("BUSY")), daNotProcessed);
    EXPECT_EQ(dde.ItemCount(), 0u);
    EXPECT_EQ(dde.Request(A, system, "Topics", "Text", data), daAck);
    EXPECT_EQ(data, DdeTextData("SYSTEM\tDATA"));
    EXPECT_EQ(dde.Poke(A, system, "Note", "Text", "n"), daNotProcessed);
    EXPECT_EQ(dde.Request(A, system, "Note", "Text", data), daAck);
    EXPECT_EQ(data, "n");
}

TEST(DdeManager, ExecuteAndAdviseStartAreNeverProcessed) {
    TDDEMLManager dde;
    SetUpAsTheProgram(dde);
    const std::uint32_t conv = Open(dde, A, "DATA");
    for (const char* command : {"ADD", "DEL", "DELALL", "UPDATE", "[ADD(x)]", ""}) {
        EXPECT_EQ(dde.Execute(A, conv, command), daNotProcessed) << command;
    }
    dde.Poke(A, conv, "Level", "Text", "1");
    for (const char* item : {"Level", "Topics", "Unknown", ""}) {
        EXPECT_EQ(dde.AdviseStart(A, conv, item, "Text"), daNotProcessed) << item;
    }
}

TEST(DdeManager, BusyStatusAnswersEveryTransactionButConnectAsBusy) {
    TDDEMLManager dde;
    SetUpAsTheProgram(dde);
    const std::uint32_t conv = Open(dde, A, "DATA");
    const std::uint32_t system = Open(dde, A, "System");
    std::string data;
    ASSERT_TRUE(dde.SetStatus("ovcalc", "Busy"));
    EXPECT_EQ(dde.Request(A, conv, "Level", "Text", data), daBusy);
    EXPECT_EQ(dde.Request(A, system, "Topics", "Text", data), daBusy);
    EXPECT_EQ(dde.Poke(A, conv, "Level", "Text", "1"), daBusy);
    EXPECT_EQ(dde.Execute(A, conv, "ADD"), daBusy);
    EXPECT_EQ(dde.AdviseStart(A, conv, "Level", "Text"), daBusy);
    EXPECT_EQ(dde.ItemCount(), 0u);
    Open(dde, B, "DATA");

    ASSERT_TRUE(dde.SetStatus("OVCalc", "Ready"));
    EXPECT_EQ(dde.Request(A, system, "Status", "Text", data), daAck);
    EXPECT_EQ(data, DdeTextData("Ready"));
    EXPECT_EQ(dde.Poke(A, conv, "Level", "Text", "1"), daNotProcessed);
    EXPECT_EQ(dde.ItemCount(), 1u);
    EXPECT_FALSE(dde.SetStatus("Nobody", "BUSY"));
}

TEST(DdeManager, AConversationAnswersOnlyToItsClientAndEndsWithIt) {
    TDDEMLManager dde;
    SetUpAsTheProgram(dde);
    const std::uint32_t a1 = Open(dde, A, "DATA");
    const std::uint32_t a2 = Open(dde, A, "System");
    const std::uint32_t b1 = Open(dde, B, "DATA");
    dde.Poke(A, a1, "Level", "Text", "1");
    std::string data;

    // B using A's numbers finds nothing, as for a number never handed out.
    for (std::uint32_t conv : {a1, a2, 0u, 999u}) {
        EXPECT_EQ(dde.Request(B, conv, "Level", "Text", data), daNoConversation) << conv;
        EXPECT_EQ(dde.Poke(B, conv, "Level", "Text", "2"), daNoConversation) << conv;
        EXPECT_EQ(dde.Execute(B, conv, "ADD"), daNoConversation) << conv;
        EXPECT_EQ(dde.AdviseStart(B, conv, "Level", "Text"), daNoConversation) << conv;
        EXPECT_EQ(dde.Disconnect(B, conv), daNoConversation) << conv;
    }
    EXPECT_EQ(dde.ClientConversationCount(A), 2u);
    EXPECT_EQ(dde.DataBytes(), 1u);  // B's pokes stored nothing

    // A goes away: its conversations end, B's stays, the poked data stays for B.
    EXPECT_EQ(dde.DisconnectClient(A), 2u);
    EXPECT_EQ(dde.DisconnectClient(A), 0u);
    EXPECT_EQ(dde.ConversationCount(), 1u);
    EXPECT_EQ(dde.Request(A, a1, "Level", "Text", data), daNoConversation);
    EXPECT_EQ(dde.Request(B, b1, "Level", "Text", data), daAck);
    EXPECT_EQ(dde.Disconnect(B, b1), daAck);
    EXPECT_EQ(dde.Disconnect(B, b1), daNoConversation);

    // Numbers are not handed out again at once.
    EXPECT_GT(Open(dde, A, "DATA"), b1);
}

TEST(DdeManager, TopicsMadeByClientsGoWhenNothingUsesThem) {
    TDDEMLManager dde;
    SetUpAsTheProgram(dde);
    TDDEMLService& service = *dde.FindService(CalcDdeService);
    const std::size_t program = service.TopicCount();  // System, DATA (SYSTEM is System)
    EXPECT_EQ(program, 2u);

    const std::uint32_t x1 = Open(dde, A, "Scratch");
    const std::uint32_t x2 = Open(dde, B, "SCRATCH");
    EXPECT_EQ(service.TopicCount(), program + 1);
    dde.Poke(A, x1, "Item", "Text", "v");
    dde.Disconnect(A, x1);
    dde.Disconnect(B, x2);
    EXPECT_NE(service.FindTopic("scratch"), nullptr);  // it holds data

    const std::uint32_t x3 = Open(dde, A, "Scratch");
    std::string data;
    EXPECT_EQ(dde.Request(A, x3, "Item", "Text", data), daAck);
    dde.Disconnect(A, x3);
    EXPECT_EQ(service.FindTopic("Scratch"), nullptr);

    dde.Disconnect(A, Open(dde, A, "DATA"));
    EXPECT_NE(service.FindTopic("DATA"), nullptr);  // the program's topics stay
}

TEST(DdeManager, LimitsRefuseWhatWouldGrowWithoutBound) {
    TDDEMLLimits limits;
    limits.ConversationsPerClient = 2;
    limits.Conversations = 3;
    limits.NameLength = 8;
    limits.ItemData = 4;
    limits.TotalData = 6;
    limits.Items = 3;
    TDDEMLManager dde(limits);
    SetUpAsTheProgram(dde);
    const std::uint32_t a = Open(dde, A, "DATA");
    Open(dde, A, "DATA");
    std::uint32_t conv = 0;
    EXPECT_EQ(dde.Connect(A, "OVCalc", "DATA", conv), daTooManyConversations);
    const std::uint32_t b = Open(dde, B, "DATA");
    EXPECT_EQ(dde.Connect("third", "OVCalc", "DATA", conv), daTooManyConversations);
    EXPECT_EQ(conv, 0u);

    struct Case {
        std::string Item, Format, Data;
        TDDEMLAnswer Answer;
    };
    const std::vector<Case> pokes{
        {"ItemName", "Text", "1234", daNotProcessed},  // at the limits: stored
        {"ItemName9", "Text", "1", daNameTooLong},
        {"Item", "Format__9", "1", daNameTooLong},
        {"Item", "", "1", daNoFormat},
        {"Big", "Text", "12345", daItemTooLarge},
        {"Two", "Text", "12", daNotProcessed},        // total 6
        {"Three", "Text", "1", daStoreFull},          // total would be 7
        {"ItemName", "Text", "123", daNotProcessed},  // a replacement counts its difference
        {"Three", "Text", "", daNotProcessed},        // the third item
        {"Four", "Text", "", daStoreFull},            // a fourth item
    };
    for (const auto& p : pokes) {
        EXPECT_EQ(dde.Poke(A, a, p.Item, p.Format, p.Data), p.Answer) << p.Item << "|" << p.Format;
    }
    EXPECT_EQ(dde.ItemCount(), 3u);
    EXPECT_EQ(dde.DataBytes(), 5u);

    // Handing data out makes room again.
    std::string data;
    EXPECT_EQ(dde.Request(B, b, "ItemName", "Text", data), daAck);
    EXPECT_EQ(dde.Poke(B, b, "Four", "Text", "1234"), daNotProcessed);
    EXPECT_EQ(dde.Disconnect(A, a), daAck);
    EXPECT_EQ(dde.Connect(A, "OVCalc", "DATA", conv), daAck);
}

}  // namespace
}  // namespace ov
