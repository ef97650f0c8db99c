// OV Calc's DDE service on a private bus: a manager set up as the program sets it up, exported
// in the test process under OVCalc.OVCalcCOM, driven by gdbus and ovclient processes and by
// client connections of the test's own. Calls are served on the test's main thread, so every
// wait runs Qt's events.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BusTestSupport.h"
#include "bus/DdeAdaptor.h"
#include "suite/DdeManager.h"

namespace ov::test {
namespace {

using namespace std::chrono_literals;

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

// A program run to its end while this process keeps serving the bus.
TRun RunToEnd(const std::vector<std::string>& argv) {
    TProgram program(argv);
    SpinUntil([&] { return program.Process().Wait(0ms).has_value(); }, 20s);
    return {program.Wait(0ms), program.Out(), program.Err()};
}

std::vector<std::string> Gdbus(const std::string& method, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"gdbus",
                                  "call",
                                  "--session",
                                  "--dest",
                                  "OVCalc.OVCalcCOM",
                                  "--object-path",
                                  "/DDE",
                                  "--method",
                                  "OVCalc.DDEML." + method};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

std::vector<std::string> Dde(const std::vector<std::string>& args) {
    std::vector<std::string> argv{OV_OVCLIENT_PATH, "dde"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// A client connection of the test's own, named so that it can leave the bus on demand.
class Client {
  public:
    explicit Client(const QString& name)
        : name_(name), bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)) {}
    ~Client() { Leave(); }
    void Leave() {
        if (left_) return;
        // The connection closes with its last reference.
        bus_ = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(name_);
        left_ = true;
    }

    // The reply or error of member; the main thread keeps serving meanwhile.
    QDBusMessage Call(const QString& member, const QList<QVariant>& args) {
        QDBusMessage call = QDBusMessage::createMethodCall(Q(CalcBusName), Q(DdeObjectPath),
                                                           Q(DdeInterface), member);
        call.setArguments(args);
        return bus_.call(call, QDBus::BlockWithGui, 10000);
    }
    std::uint32_t Connect(const QString& topic, const QString& service = "OVCalc") {
        QDBusMessage reply = Call("Connect", {service, topic});
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).toUInt();
    }
    // "true|bytes" or "false|", or the error's name.
    std::string Request(std::uint32_t conv, const QString& item, const QString& format = "Text") {
        QDBusMessage reply = Call("Request", {QVariant::fromValue(conv), item, format});
        if (reply.type() != QDBusMessage::ReplyMessage) return reply.errorName().toStdString();
        const QByteArray data = reply.arguments().value(1).toByteArray();
        return (reply.arguments().value(0).toBool() ? "true|" : "false|") + data.toStdString();
    }
    // "true" or "false", or the error's name.
    std::string Answer(const QString& member, const QList<QVariant>& args) {
        QDBusMessage reply = Call(member, args);
        if (reply.type() != QDBusMessage::ReplyMessage) return reply.errorName().toStdString();
        return reply.arguments().value(0).toBool() ? "true" : "false";
    }

  private:
    QString name_;
    QDBusConnection bus_;
    bool left_ = false;
};

QVariant U(std::uint32_t conv) {
    return QVariant::fromValue(conv);
}

class DdeBus : public testing::Test {
  protected:
    void Start(TDDEMLLimits limits = {}) {
        dde = std::make_unique<TDDEMLManager>(limits);
        dde->AddService(CalcDdeService);
        dde->AddTopic(CalcDdeService, CalcDdeSystemTopic);
        dde->AddTopic(CalcDdeService, CalcDdeDataTopic);
        dde->AddFormat(CalcDdeService, CalcDdeSystemTopic, DdeTextFormat);
        adaptor = std::make_unique<TDdeAdaptor>(*dde, QDBusConnection::sessionBus());
        ASSERT_TRUE(adaptor->Export());
        ASSERT_TRUE(QDBusConnection::sessionBus().registerService(Q(CalcBusName)));
    }
    void SetUp() override { Start(); }
    void TearDown() override {
        QDBusConnection::sessionBus().unregisterService(Q(CalcBusName));
        adaptor.reset();
        dde.reset();
    }

    std::unique_ptr<TDDEMLManager> dde;
    std::unique_ptr<TDdeAdaptor> adaptor;
};

TEST_F(DdeBus, ConnectsToAnyTopicOfOVCalcOnly) {
    struct Case {
        std::string Service, Topic;
        bool Accepted;
    };
    const std::vector<Case> cases{
        {"OVCalc", "DATA", true}, {"OVCalc", "SYSTEM", true}, {"ovcalc", "Any topic", true},
        {"OVCalc", "", false},    {"Excel", "DATA", false},   {"", "DATA", false},
    };
    for (const auto& c : cases) {
        TRun run = RunToEnd(Gdbus("Connect", {c.Service, c.Topic}));
        ASSERT_EQ(run.Status, 0) << c.Topic << ": " << run.Err;
        EXPECT_EQ(run.Out == "(uint32 0,)\n", !c.Accepted)
            << c.Service << "|" << c.Topic << ": " << run.Out;
    }
    // Each gdbus left the bus with its conversation open: none is left over.
    EXPECT_TRUE(SpinUntil([&] { return dde->ConversationCount() == 0; }));
    EXPECT_TRUE(SpinUntil([&] { return adaptor->FollowedClients() == 0; }));

    TRun connect = RunToEnd(Dde({"connect", "DATA"}));
    EXPECT_EQ(connect.Status, 0) << connect.Err;
    EXPECT_NE(connect.Out, "0\n");
    TRun refused = RunToEnd(Dde({"--service", "Excel", "connect", "DATA"}));
    EXPECT_EQ(refused.Status, 1);
    EXPECT_EQ(refused.Err,
              "ovclient: the service \"Excel\" refused a conversation with the topic \"DATA\"\n");
}

TEST_F(DdeBus, SystemTopicListsTheTopicsAndFormatsAsText) {
    Client client("dde-system");
    const std::uint32_t conv = client.Connect("System");
    ASSERT_NE(conv, 0u);
    EXPECT_EQ(client.Request(conv, "Topics"), std::string("true|SYSTEM\tDATA\0", 17));
    EXPECT_EQ(client.Request(conv, "Formats"), std::string("true|Text\0", 10));
    EXPECT_EQ(client.Request(conv, "Help"), "false|");

    TRun topics = RunToEnd(Dde({"request", "System", "Topics"}));
    EXPECT_EQ(topics.Status, 0) << topics.Err;
    EXPECT_EQ(topics.Out, "SYSTEM\tDATA\n");
}

TEST_F(DdeBus, PokeIsNotAcknowledgedAndItsDataIsRequestedOnce) {
    TRun poke = RunToEnd(Dde({"poke", "DATA", "RIVER1.HG", "3.52"}));
    EXPECT_EQ(poke.Status, 1);
    EXPECT_EQ(poke.Out, "not acknowledged\n");
    TRun first = RunToEnd(Dde({"request", "DATA", "river1.hg"}));
    EXPECT_EQ(first.Status, 0) << first.Err;
    EXPECT_EQ(first.Out, "3.52\n");
    TRun second = RunToEnd(Dde({"request", "DATA", "RIVER1.HG"}));
    EXPECT_EQ(second.Status, 1);
    EXPECT_EQ(second.Out, "");
    EXPECT_EQ(second.Err, "ovclient: no data: the request of \"RIVER1.HG\" was not acknowledged\n");

    // Another format travels as hexadecimal digits; a request in the text format gets nothing.
    EXPECT_EQ(RunToEnd(Dde({"poke", "DATA", "Raw", "00ff0a", "--format", "Custom"})).Status, 1);
    EXPECT_EQ(RunToEnd(Dde({"request", "DATA", "Raw"})).Status, 1);
    EXPECT_EQ(RunToEnd(Dde({"request", "DATA", "Raw", "--format", "CUSTOM"})).Out, "00ff0a\n");

    TRun execute = RunToEnd(Dde({"execute", "DATA", "[ADD(RIVER1)]"}));
    EXPECT_EQ(execute.Status, 1);
    EXPECT_EQ(execute.Out, "not acknowledged\n");
}

TEST_F(DdeBus, AdviseStartIsRefusedForAnyItem) {
    Client client("dde-advise");
    const std::uint32_t data = client.Connect("DATA");
    const std::uint32_t system = client.Connect("SYSTEM");
    client.Answer("Poke", {U(data), "Level", "Text", QByteArray("1", 2)});
    const std::vector<std::pair<std::uint32_t, QString>> items{
        {data, "Level"}, {data, "Unknown"}, {data, ""}, {system, "Topics"}, {system, "Status"}};
    for (const auto& [conv, item] : items) {
        EXPECT_EQ(client.Answer("AdviseStart", {U(conv), item, "Text"}), "false")
            << item.toStdString();
    }
    EXPECT_EQ(client.Request(data, "Level"), std::string("true|1\0", 7));  // still there
}

TEST_F(DdeBus, AnotherClientCannotUseAConversationsNumber) {
    Client owner("dde-owner");
    const std::uint32_t conv = owner.Connect("DATA");
    ASSERT_NE(conv, 0u);
    owner.Answer("Poke", {U(conv), "Level", "Text", QByteArray("7", 2)});
    const std::string number = std::to_string(conv);
    const std::vector<std::vector<std::string>> calls{
        Gdbus("Request", {number, "Level", "Text"}),
        Gdbus("Poke", {number, "Level", "Text", "b'8'"}),
        Gdbus("Execute", {number, "ADD"}),
        Gdbus("AdviseStart", {number, "Level", "Text"}),
        Gdbus("Disconnect", {number}),
    };
    for (const auto& call : calls) {
        TRun run = RunToEnd(call);
        EXPECT_NE(run.Status, 0) << call[8];
        EXPECT_NE(run.Err.find("OVCalc.DDEML.Error.NoConversation: This connection has no "
                               "conversation " +
                               number + "."),
                  std::string::npos)
            << call[8] << ": " << run.Err;
    }
    // The owner's conversation and data are untouched.
    EXPECT_EQ(owner.Request(conv, "Level"), std::string("true|7\0", 7));
    EXPECT_EQ(owner.Call("Disconnect", {U(conv)}).type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(owner.Request(conv, "Level"), std::string(DdeNoConversationError));
    EXPECT_EQ(adaptor->FollowedClients(), 0);
}

TEST_F(DdeBus, AClientLeavingTheBusEndsItsConversations) {
    Client leaving("dde-leaving");
    Client staying("dde-staying");
    for (const char* topic : {"DATA", "SYSTEM", "Private"}) ASSERT_NE(leaving.Connect(topic), 0u);
    const std::uint32_t kept = staying.Connect("DATA");
    EXPECT_EQ(dde->ConversationCount(), 4u);
    EXPECT_EQ(adaptor->FollowedClients(), 2);

    leaving.Leave();
    EXPECT_TRUE(SpinUntil([&] { return dde->ConversationCount() == 1; }));
    EXPECT_EQ(adaptor->FollowedClients(), 1);
    EXPECT_EQ(dde->FindService(CalcDdeService)->FindTopic("Private"), nullptr);
    EXPECT_EQ(staying.Answer("Execute", {U(kept), "UPDATE"}), "false");
}

TEST_F(DdeBus, LimitsAndBusyAreClearErrors) {
    TearDown();
    TDDEMLLimits limits;
    limits.ConversationsPerClient = 2;
    limits.NameLength = 8;
    limits.ItemData = 4;
    limits.TotalData = 6;
    Start(limits);
    Client client("dde-limits");
    const std::uint32_t conv = client.Connect("DATA");
    struct Case {
        QString Member;
        QList<QVariant> Args;
        std::string_view Error;
    };
    const std::vector<Case> cases{
        {"Connect", {"OVCalc", "TopicName"}, DdeNameTooLongError},
        {"Poke", {U(conv), "ItemName9", "Text", QByteArray("1")}, DdeNameTooLongError},
        {"Poke", {U(conv), "Item", "", QByteArray("1")}, DdeNoFormatError},
        {"Poke", {U(conv), "Item", "Text", QByteArray("12345")}, DdeDataTooLargeError},
        {"Poke", {U(conv), "Item", "Text", QByteArray("1234")}, ""},
        {"Poke", {U(conv), "Item2", "Text", QByteArray("123")}, DdeStoreFullError},
        {"Connect", {"OVCalc", "Topic2"}, ""},
        {"Connect", {"OVCalc", "Topic3"}, DdeTooManyConversationsError},
    };
    for (const auto& c : cases) {
        QDBusMessage reply = client.Call(c.Member, c.Args);
        if (c.Error.empty()) {
            EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
                << reply.errorMessage().toStdString();
        } else {
            EXPECT_EQ(reply.errorName().toStdString(), c.Error);
            EXPECT_FALSE(reply.errorMessage().isEmpty());
        }
    }
    dde->SetStatus(CalcDdeService, "BUSY");
    EXPECT_EQ(client.Request(conv, "Item"), std::string(DdeBusyError));
    EXPECT_EQ(client.Answer("Poke", {U(conv), "Item", "Text", QByteArray("1")}),
              std::string(DdeBusyError));
    TRun busy = RunToEnd(Dde({"request", "DATA", "Item"}));
    EXPECT_EQ(busy.Status, 1);
    EXPECT_EQ(busy.Err, "ovclient: Request failed: The service is busy.\n");
}

TEST(DdeClient, BadArgumentsAndHelp) {
    // Usage errors end with status 2 and the way to the command's help; OV Calc not running
    // is an error of status 1.
    struct Case {
        std::vector<std::string> Args;
        std::string Err;
        int Status = 2;
    };
    const std::string tryHelp = "\nTry 'ovclient dde --help'.\n";
    const std::vector<Case> cases{
        {{}, "ovclient: dde needs a command" + tryHelp},
        {{"listen"}, "ovclient: unknown dde command \"listen\"" + tryHelp},
        {{"request", "DATA"}, "ovclient: wrong arguments for dde request" + tryHelp},
        {{"execute", "DATA", "X", "--format", "Text"},
         "ovclient: wrong arguments for dde execute" + tryHelp},
        {{"poke", "DATA", "X", "0g", "--format", "Bin"},
         "ovclient: data of the format \"Bin\" is written as hexadecimal digits, two per byte, "
         "not \"0g\"" +
             tryHelp},
        {{"request", "DATA", "X", "--format"}, "ovclient: --format needs an argument" + tryHelp},
        {{"connect", "--bogus"}, "ovclient: unknown option '--bogus'" + tryHelp},
        {{"connect"},
         "ovclient: OV Calc is not running (no owner of OVCalc.OVCalcCOM on the session bus)\n",
         1},
    };
    for (const auto& c : cases) {
        TRun run = RunToEnd(Dde(c.Args));
        EXPECT_EQ(run.Status, c.Status) << run.Err;
        EXPECT_EQ(run.Err, c.Err);
    }
    TRun help = RunToEnd(Dde({"request", "--help"}));
    EXPECT_EQ(help.Status, 0);
    EXPECT_EQ(help.Out.rfind("Usage: ovclient dde", 0), 0u) << help.Out;
}

}  // namespace
}  // namespace ov::test
