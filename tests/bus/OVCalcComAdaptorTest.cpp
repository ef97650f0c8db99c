// OV Calc's automation object on a private bus: a real store and service exported in the test
// process under OVCalc.OVCalcCOM, driven by gdbus and ovclient processes and watched from a
// second connection. Calls run on the test's main thread, so every wait runs Qt's events.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BusTestSupport.h"
#include "bus/BusInterfaces.h"
#include "bus/BusSignalReceiver.h"
#include "bus/OVCalcComAdaptor.h"

namespace ov::test {
namespace {

using namespace std::chrono_literals;

// The longest a client program (gdbus, ovclient) may take to start, do its part or end. A
// ThreadSanitizer build of ovclient, each start with its round trips to the bus and each end
// with the sanitizer's pause for its threads, takes seconds on a loaded machine (up to 4.5 s
// measured with two test processes and the builds of others running): a bound of 10 s there
// was a failure in waiting, not a fault of the program. A bound, not a pause: the test goes
// on at once when the program is there.
constexpr auto ClientLimit = 60s;

const std::string OwnID(OVCalcAppID);

class RecordingHost : public IOVCalcComHost {
  public:
    int Refreshes = 0;
    bool RefreshFails = false;
    std::vector<std::string> Lines;
    void ResetAllParams() override {
        if (RefreshFails) throw std::runtime_error("Error 1613: refresh failed");
        ++Refreshes;
    }
    void LogStatus(const std::string& text) override { Lines.push_back(text); }
};

// "yyyy/mm/dd hh:nn:ss" with any separators.
bool IsStamp(const std::string& text) {
    if (text.size() != 19 || text[10] != ' ') return false;
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u, 11u, 12u, 14u, 15u, 17u, 18u}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

// A program run to its end while this process keeps serving the bus.
TRun RunToEnd(const std::vector<std::string>& argv,
              std::chrono::milliseconds timeout = ClientLimit) {
    TProgram program(argv);
    TRun run;
    SpinUntil([&] { return program.Process().Wait(0ms).has_value(); }, timeout);
    run.Status = program.Wait(0ms);
    run.Out = program.Out();
    run.Err = program.Err();
    return run;
}

std::vector<std::string> Gdbus(const std::string& method, const std::vector<std::string>& args) {
    std::vector<std::string> argv{
        "gdbus",         "call",       "--session", "--dest", "OVCalc.OVCalcCOM",
        "--object-path", "/OVCalcCOM", "--method",  method};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

TRun CallMember(const std::string& member, const std::vector<std::string>& args = {}) {
    return RunToEnd(Gdbus("OVCalc.IOVCalcDataCOM." + member, args));
}

TRun Property(const std::string& op, const std::vector<std::string>& args) {
    return RunToEnd(Gdbus("org.freedesktop.DBus.Properties." + op, args));
}

std::vector<std::string> Client(const std::vector<std::string>& args) {
    std::vector<std::string> argv{OV_OVCLIENT_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// The signals of OVCalc.IOVCalcDataCOMEvents as another connection receives them: name and
// arguments joined by "|".
class SignalLog {
  public:
    SignalLog()
        : connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                    QStringLiteral("ovcalccom-listener"))) {
        for (auto name : {ItemChangeSignal, AppShutdownSignal, HeartBeatSignal}) {
            receivers_.push_back(std::make_unique<TBusSignalReceiver>(
                connection_, Q(CalcBusName), Q(CalcObjectPath), Q(CalcEventsInterface), Q(name),
                [this](const QDBusMessage& signal) {
                    std::string line = signal.member().toStdString();
                    for (const auto& a : signal.arguments())
                        line += "|" + a.toString().toStdString();
                    lines_.push_back(line);
                }));
            EXPECT_TRUE(receivers_.back()->Subscribed());
        }
    }
    ~SignalLog() {
        receivers_.clear();
        QDBusConnection::disconnectFromBus(QStringLiteral("ovcalccom-listener"));
    }
    const std::vector<std::string>& Lines() const { return lines_; }
    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = 10s) {
        return SpinUntil([&] { return lines_.size() >= count; }, timeout);
    }
    void Clear() { lines_.clear(); }

  private:
    QDBusConnection connection_;
    std::vector<std::unique_ptr<TBusSignalReceiver>> receivers_;
    std::vector<std::string> lines_;
};

// A client connection of its own that stays connected until it goes out of scope.
class TClient {
  public:
    explicit TClient(const char* name)
        : name_(QString::fromLatin1(name)),
          connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_)) {}
    ~TClient() { QDBusConnection::disconnectFromBus(name_); }
    // SetItemLink(appID, item): empty when it succeeded, else the error's name and message.
    std::string Link(const std::string& appID, const std::string& item) {
        QDBusMessage call = QDBusMessage::createMethodCall(Q(CalcBusName), Q(CalcObjectPath),
                                                           Q(CalcInterface), "SetItemLink");
        call.setArguments({Q(appID), Q(item)});
        const QDBusMessage reply = connection_.call(call, QDBus::BlockWithGui, 10000);
        if (reply.type() == QDBusMessage::ReplyMessage) return {};
        return (reply.errorName() + ": " + reply.errorMessage()).toStdString();
    }

  private:
    QString name_;
    QDBusConnection connection_;
};

// The program's store and automation object, exported and owning the bus name.
class OVCalcComBus : public testing::Test {
  protected:
    void SetUp() override {
        store.SetAutoCreate(true, "");
        store.AddItem(TimeTagItem);
        store.AddItem(RealTimeItem);
        com = std::make_shared<TOVCalcCOM>(store, &host);
        store.RegisterAutomationObject(com);
        adaptor = std::make_unique<TOVCalcComAdaptor>(*com, QDBusConnection::sessionBus());
        ASSERT_TRUE(adaptor->Export());
        ASSERT_TRUE(QDBusConnection::sessionBus().registerService(Q(CalcBusName)));
        log = std::make_unique<SignalLog>();
    }
    void TearDown() override {
        log.reset();
        QDBusConnection::sessionBus().unregisterService(Q(CalcBusName));
        adaptor.reset();
        store.RevokeAutomationObject();
    }

    std::string Value(std::string_view item) {
        std::string value;
        EXPECT_TRUE(store.GetValue(item, value));
        return value;
    }

    TOVCalcDataDatabase store;
    RecordingHost host;
    std::shared_ptr<TOVCalcCOM> com;
    std::unique_ptr<TOVCalcComAdaptor> adaptor;
    std::unique_ptr<SignalLog> log;
};

TEST_F(OVCalcComBus, GdbusCallsEveryMember) {
    TRun alive = CallMember("IsAlive");
    ASSERT_EQ(alive.Status, 0) << alive.Err;
    ASSERT_EQ(alive.Out.size(), 19u + 6u) << alive.Out;  // ('...',)
    EXPECT_EQ(alive.Out.substr(0, 2) + alive.Out.substr(21), "('',)\n") << alive.Out;
    EXPECT_TRUE(IsStamp(alive.Out.substr(2, 19))) << alive.Out;

    TRun shutdown = CallMember("AppShutdown", {"{7552BE47-EFFF-47F1-8EEA-BD38F2B70761}"});
    ASSERT_EQ(shutdown.Status, 0) << shutdown.Err;
    ASSERT_TRUE(log->WaitFor(1));
    EXPECT_EQ(log->Lines()[0], "OnAppShutdown|" + OwnID);  // the own AppID, not the caller's
    EXPECT_TRUE(host.Lines.empty());

    EXPECT_EQ(CallMember("ResetAllParams").Status, 0);
    EXPECT_EQ(host.Refreshes, 1);

    // Properties: empty before a write; a write without a link is stored and announces nothing.
    TRun get = Property("Get", {"OVCalc.IOVCalcDataCOM", "TIMETAG"});
    ASSERT_EQ(get.Status, 0) << get.Err;
    EXPECT_EQ(get.Out, "(<''>,)\n");
    ASSERT_EQ(Property("Set", {"OVCalc.IOVCalcDataCOM", "TIMETAG", "<'first'>"}).Status, 0);
    EXPECT_EQ(Value(TimeTagItem), "first");

    // A link of gdbus, whose connection ends with its call, ends with it.
    TRun link = CallMember("SetItemLink", {"{CLIENT}", "$TIMETAG"});
    ASSERT_EQ(link.Status, 0) << link.Err;
    EXPECT_EQ(link.Out, "()\n");
    std::vector<std::string> links;
    EXPECT_TRUE(SpinUntil([&] { return !store.GetLinks(TimeTagItem, links); }, ClientLimit));
    // A link from a client that stays: every later write is announced with the own AppID.
    TClient client("ovcalccom-client");
    ASSERT_EQ(client.Link("{CLIENT}", "$TIMETAG"), "");
    ASSERT_EQ(Property("Set", {"OVCalc.IOVCalcDataCOM", "TIMETAG", "<'second'>"}).Status, 0);
    ASSERT_TRUE(log->WaitFor(2));
    EXPECT_EQ(log->Lines()[1], "OnItemChange|" + OwnID + "|$TIMETAG|second");

    ASSERT_EQ(Property("Set", {"OVCalc.IOVCalcDataCOM", "REALTIME", "<'live é'>"}).Status, 0);
    EXPECT_EQ(Value(RealTimeItem), "live \xE9");  // 8-bit text in the store
    TRun all = Property("GetAll", {"OVCalc.IOVCalcDataCOM"});
    ASSERT_EQ(all.Status, 0) << all.Err;
    EXPECT_NE(all.Out.find("'TIMETAG': <'second'>"), std::string::npos) << all.Out;
    EXPECT_NE(all.Out.find("'REALTIME': <'live é'>"), std::string::npos) << all.Out;

    // SetItemChange: the three arguments unchanged, the store untouched.
    ASSERT_EQ(CallMember("SetItemChange", {"{CLIENT}", "$TIMETAG", "x,y"}).Status, 0);
    ASSERT_TRUE(log->WaitFor(3));
    EXPECT_EQ(log->Lines()[2], "OnItemChange|{CLIENT}|$TIMETAG|x,y");
    EXPECT_EQ(Value(TimeTagItem), "second");
    EXPECT_EQ(log->Lines().size(), 3u);
}

TEST_F(OVCalcComBus, BadCallsGetErrorsAndChangeNothing) {
    struct TCase {
        std::vector<std::string> Argv;
        std::string ErrorPart;
    };
    const std::vector<TCase> cases{
        {Gdbus("org.freedesktop.DBus.Properties.Get", {"OVCalc.IOVCalcDataCOM", "Timetag"}),
         "UnknownProperty"},
        {Gdbus("org.freedesktop.DBus.Properties.Get", {"OVCalc.Other", "TIMETAG"}),
         "UnknownInterface"},
        {Gdbus("org.freedesktop.DBus.Properties.Set", {"OVCalc.IOVCalcDataCOM", "TIMETAG", "<42>"}),
         "InvalidArgs"},
        {Gdbus("OVCalc.IOVCalcDataCOM.SetItemLink", {"{CLIENT}"}), "InvalidArgs"},
        {Gdbus("OVCalc.IOVCalcDataCOM.SetItemChange", {"a", "b"}), "InvalidArgs"},
        // A member the interface does not have: the method is unknown, not the interface.
        {Gdbus("OVCalc.IOVCalcDataCOM.NoSuchMember", {}), "UnknownMethod"},
        {Gdbus("org.freedesktop.DBus.Properties.Forget", {}), "UnknownMethod"},
        // Over-long names are not kept for the rest of the run.
        {Gdbus("OVCalc.IOVCalcDataCOM.SetItemLink", {std::string(256, 'A'), "$TIMETAG"}),
         "The AppID is 256 characters long; at most 255 are taken"},
        {Gdbus("OVCalc.IOVCalcDataCOM.SetItemLink", {"{CLIENT}", std::string(4097, 'I')}),
         "The item name is 4097 characters long; at most 4096 are taken"},
        // Text the engine's 8-bit characters cannot hold is refused, not stored as "?".
        {Gdbus("org.freedesktop.DBus.Properties.Set",
               {"OVCalc.IOVCalcDataCOM", "TIMETAG", "<'A€B😀C'>"}),
         "The value for TIMETAG holds \"€\" (U+20AC)"},
        {Gdbus("OVCalc.IOVCalcDataCOM.SetItemLink", {"{CLIENT}", "STATION.H😀"}),
         "The item name holds \"😀\" (U+1F600)"},
        {Gdbus("OVCalc.IOVCalcDataCOM.SetItemChange", {"{CLIENT}", "$TIMETAG", "x€"}),
         "The data holds \"€\" (U+20AC)"},
    };
    for (const auto& c : cases) {
        TRun run = RunToEnd(c.Argv);
        EXPECT_NE(run.Status, 0) << c.Argv[8];
        EXPECT_NE(run.Err.find(c.ErrorPart), std::string::npos) << c.Argv[8] << ": " << run.Err;
    }
    // An error inside a member fails that call with its text; the object goes on serving.
    host.RefreshFails = true;
    TRun reset = CallMember("ResetAllParams");
    EXPECT_NE(reset.Status, 0);
    EXPECT_NE(reset.Err.find("Error 1613: refresh failed"), std::string::npos) << reset.Err;
    EXPECT_EQ(CallMember("IsAlive").Status, 0);
    EXPECT_TRUE(host.Lines.empty());

    EXPECT_EQ(Value(TimeTagItem), "");
    EXPECT_EQ(adaptor->ClientsHoldingObjects(), 0);
    SpinUntil([] { return false; }, 200ms);
    EXPECT_TRUE(log->Lines().empty());
}

TEST_F(OVCalcComBus, IntrospectionShowsTheDescribedInterfaces) {
    TRun xml = RunToEnd({"gdbus", "introspect", "--session", "--xml", "--dest", "OVCalc.OVCalcCOM",
                         "--object-path", "/OVCalcCOM"});
    ASSERT_EQ(xml.Status, 0) << xml.Err;
    for (const char* part :
         {"<interface name=\"OVCalc.IOVCalcDataCOM\">", "<method name=\"SetItemLink\">",
          "<property name=\"TIMETAG\" type=\"s\" access=\"readwrite\"/>",
          "<interface name=\"OVCalc.IOVCalcDataCOMEvents\">", "<signal name=\"OnHeartBeat\">"}) {
        EXPECT_NE(xml.Out.find(part), std::string::npos) << part << "\n" << xml.Out;
    }
}

TEST_F(OVCalcComBus, OvclientCommands) {
    TRun alive = RunToEnd(Client({"alive"}));
    ASSERT_EQ(alive.Status, 0) << alive.Err;
    EXPECT_EQ(alive.Out.size(), 20u) << alive.Out;
    EXPECT_TRUE(IsStamp(alive.Out.substr(0, 19))) << alive.Out;

    TRun get = RunToEnd(Client({"get", "TIMETAG"}));
    ASSERT_EQ(get.Status, 0) << get.Err;
    EXPECT_EQ(get.Out, "\n");
    ASSERT_EQ(RunToEnd(Client({"set", "realtime", "01/02/2026 10:00:00,A.B,1"})).Status, 0);
    EXPECT_EQ(Value(RealTimeItem), "01/02/2026 10:00:00,A.B,1");
    EXPECT_EQ(RunToEnd(Client({"get", "REALTIME"})).Out, "01/02/2026 10:00:00,A.B,1\n");

    EXPECT_EQ(RunToEnd(Client({"reset"})).Status, 0);
    EXPECT_EQ(host.Refreshes, 1);

    // Watching: only the items named are printed, and --count ends it.
    TProgram watch(Client({"watch", "--count", "2", "$TimeTag"}));
    ASSERT_TRUE(SpinUntil([&] { return adaptor->ClientsHoldingObjects() == 1; }, ClientLimit))
        << watch.Err();
    ASSERT_TRUE(com->SetREALTIME("not watched"));  // not linked: no announcement at all
    com->SetItemChange(OwnID, "$GOESTIMED", "other item");
    ASSERT_TRUE(com->SetTIMETAG("r1"));
    ASSERT_TRUE(com->SetTIMETAG("r2"));
    ASSERT_TRUE(com->SetTIMETAG("r3"));
    ASSERT_TRUE(SpinUntil([&] { return watch.Process().Wait(0ms).has_value(); }, ClientLimit))
        << watch.Err();
    EXPECT_EQ(watch.Wait(0ms), 0) << watch.Err();
    EXPECT_EQ(watch.Out(), "r1\nr2\n");
    EXPECT_TRUE(SpinUntil([&] { return adaptor->ClientsHoldingObjects() == 0; }, ClientLimit));
}

TEST(OVCalcComClient, ReportsOVCalcNotRunningAndBadArguments) {
    // OV Calc not running is an error of status 1; usage errors end with status 2 and the way
    // to the help.
    struct TCase {
        std::vector<std::string> Args;
        std::string Err;
        int Status = 2;
    };
    const std::string notRunning =
        "ovclient: OV Calc is not running (no owner of OVCalc.OVCalcCOM on the session bus)\n";
    const std::vector<TCase> cases{
        {{"alive"}, notRunning, 1},
        {{"watch"}, notRunning, 1},
        {{"get", "TIMETAG"}, notRunning, 1},
        {{"set", "TIMETAG", "x"}, notRunning, 1},
        {{"reset"}, notRunning, 1},
        {{"get", "OTHER"},
         "ovclient: the property is TIMETAG or REALTIME, not \"OTHER\"\n"
         "Try 'ovclient get --help'.\n"},
        {{"watch", "--count", "0"},
         "ovclient: --count takes a whole number of lines above 0, not \"0\"\n"
         "Try 'ovclient watch --help'.\n"},
        {{"alive", "now"}, "ovclient: unexpected argument \"now\"\nTry 'ovclient alive --help'.\n"},
        {{"frobnicate"}, "ovclient: unknown command \"frobnicate\"\nTry 'ovclient --help'.\n"},
        {{"--frobnicate"}, "ovclient: unknown option '--frobnicate'\nTry 'ovclient --help'.\n"},
        {{}, "ovclient: a command is needed\nTry 'ovclient --help'.\n"},
    };
    for (const auto& c : cases) {
        TRun run = RunToEnd(Client(c.Args));
        EXPECT_EQ(run.Status, c.Status) << c.Err;
        EXPECT_EQ(run.Err, c.Err);
    }
    for (const char* command : {"watch", "get", "set", "alive", "reset"}) {
        TRun help = RunToEnd(Client({command, "--help"}));
        EXPECT_EQ(help.Status, 0);
        EXPECT_EQ(help.Out.rfind(std::string("Usage: ovclient ") + command, 0), 0u) << help.Out;
    }
    EXPECT_EQ(RunToEnd(Client({"--help"})).Status, 0);
}

// The calculation thread's Notify posts and goes on: it finishes without the main thread
// running its events, and the changes reach the bus afterwards, in order.
TEST_F(OVCalcComBus, NotifyFromAnotherThreadIsQueuedToTheMainThread) {
    ASSERT_EQ(com->SetItemLink("{CLIENT}", std::string(TimeTagItem)), lrLinked);
    std::atomic<bool> done{false};
    std::thread calc([&] {
        for (int i = 0; i < 100; ++i) PublishResult(store, TimeTagItem, "r" + std::to_string(i));
        done = true;
    });
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!done && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(done);
    calc.join();
    ASSERT_TRUE(log->WaitFor(100));
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(log->Lines()[i], "OnItemChange|" + OwnID + "|$TIMETAG|r" + std::to_string(i));
    }
}

TEST_F(OVCalcComBus, TwoWatchersReceiveEveryEventAndClientsAreCountedWhileConnected) {
    TProgram first(Client({"watch", "--count", "3"}));
    TProgram second(Client({"watch", "--app-id", "{SECOND}", "$TIMETAG", "$REALTIME"}));
    // Both connected, and the second's last link made.
    ASSERT_TRUE(SpinUntil(
        [&] {
            std::vector<std::string> links;
            return adaptor->ClientsHoldingObjects() == 2 && store.GetLinks(RealTimeItem, links);
        },
        ClientLimit))
        << adaptor->ClientsHoldingObjects() << " clients; " << first.Err() << second.Err();
    std::thread calc([&] {
        for (const char* r : {"a", "b", "c"}) PublishResult(store, TimeTagItem, r);
    });
    calc.join();
    ASSERT_TRUE(com->SetREALTIME("d"));
    ASSERT_TRUE(SpinUntil([&] { return first.Process().Wait(0ms).has_value(); }, ClientLimit))
        << first.Err();
    EXPECT_EQ(first.Wait(0ms), 0);
    EXPECT_EQ(first.Out(), "a\nb\nc\n");
    ASSERT_TRUE(SpinUntil([&] { return second.Out() == "a\nb\nc\nd\n"; }, ClientLimit))
        << second.Out() << second.Err();
    EXPECT_TRUE(SpinUntil([&] { return adaptor->ClientsHoldingObjects() == 1; }, ClientLimit));

    // SIGTERM ends a watch cleanly, and its connection no longer counts.
    ::kill(second.Process().Pid(), SIGTERM);
    ASSERT_TRUE(SpinUntil([&] { return second.Process().Wait(0ms).has_value(); }, ClientLimit))
        << second.Err();
    EXPECT_EQ(second.Wait(0ms), 0) << second.Err();
    EXPECT_TRUE(SpinUntil([&] { return adaptor->ClientsHoldingObjects() == 0; }, ClientLimit));
    // The links ended with their clients; the well-known items stay.
    std::vector<std::string> links;
    EXPECT_FALSE(store.GetLinks(TimeTagItem, links));
    EXPECT_FALSE(store.GetLinks(RealTimeItem, links));
    EXPECT_TRUE(store.ItemExists(RealTimeItem));
}

// SetItemLink with ever new names is bounded per client and in all, the refusal naming the
// bound; a client's links, and the items made for them alone, end with its connection.
TEST_F(OVCalcComBus, LinksAreBoundedAndEndWithTheirClient) {
    store.SetLinkLimits({.PerClient = 2, .InAll = 3});
    auto first = std::make_unique<TClient>("ovcalccom-first");
    TClient second("ovcalccom-second");
    EXPECT_EQ(first->Link("{A}", "ST1.H"), "");
    EXPECT_EQ(first->Link("{A}", "st1.h"), "");  // the same link again: no room taken
    EXPECT_EQ(first->Link("{A}", "ST2.H"), "");
    EXPECT_EQ(first->Link("{A}", "ST3.H"),
              "org.freedesktop.DBus.Error.LimitsExceeded: The item \"ST3.H\" cannot be linked: "
              "this connection holds 2 links, the most one client may hold");
    EXPECT_EQ(second.Link("{B}", "$TIMETAG"), "");
    EXPECT_EQ(second.Link("{B}", "ST4.H"),
              "org.freedesktop.DBus.Error.LimitsExceeded: The item \"ST4.H\" cannot be linked: "
              "the clients hold 3 links, the most OV Calc keeps");
    EXPECT_FALSE(store.ItemExists("ST3.H"));
    EXPECT_FALSE(store.ItemExists("ST4.H"));
    EXPECT_EQ(adaptor->ClientsHoldingObjects(), 2);

    first.reset();
    ASSERT_TRUE(SpinUntil([&] { return adaptor->ClientsHoldingObjects() == 1; }, ClientLimit));
    EXPECT_FALSE(store.ItemExists("ST1.H"));
    EXPECT_FALSE(store.ItemExists("ST2.H"));
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(second.Link("{B}", "ST4.H"), "");
    std::vector<std::string> links;
    ASSERT_TRUE(store.GetLinks(TimeTagItem, links));
    EXPECT_EQ(links, std::vector<std::string>{"{B}"});
}

TEST_F(OVCalcComBus, HeartBeatCarriesTheOwnAppIDAndTheTime) {
    com->HeartBeat();
    ASSERT_TRUE(log->WaitFor(1));
    const std::string prefix = "OnHeartBeat|" + OwnID + "|";
    EXPECT_EQ(log->Lines()[0].substr(0, prefix.size()), prefix);
    EXPECT_TRUE(IsStamp(log->Lines()[0].substr(prefix.size()))) << log->Lines()[0];
}

TEST_F(OVCalcComBus, WatchEndsWhenOVCalcEnds) {
    TProgram watch(Client({"watch"}));
    ASSERT_TRUE(SpinUntil([&] { return adaptor->ClientsHoldingObjects() == 1; }, ClientLimit))
        << watch.Err();
    QDBusConnection::sessionBus().unregisterService(Q(CalcBusName));
    ASSERT_TRUE(SpinUntil([&] { return watch.Process().Wait(0ms).has_value(); }, ClientLimit))
        << watch.Err();
    EXPECT_EQ(watch.Wait(0ms), 0);
    EXPECT_EQ(watch.Err(), "ovclient: OV Calc has ended\n");
}

// A shutdown announcement that cannot be sent is reported as error 1618.
TEST(OVCalcComAdaptor, AnnouncingTheShutdownWithoutABusLogs1618) {
    TOVCalcDataDatabase store;
    store.SetAutoCreate(true, "");
    RecordingHost host;
    TOVCalcCOM com(store, &host);
    QDBusConnection broken = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("broken"));
    ASSERT_FALSE(broken.isConnected());
    {
        TOVCalcComAdaptor adaptor(com, broken);
        EXPECT_FALSE(adaptor.Export());
        EXPECT_FALSE(com.AnnounceShutdown());
        EXPECT_EQ(host.Lines, std::vector<std::string>{
                                  "Error 1618: COM Client not responding OV Calc Shutdown.."});
    }
    // The adaptor gone, the service has no transport and announces nothing.
    EXPECT_FALSE(com.SetItemChange(OwnID, "$TIMETAG", "x"));
    QDBusConnection::disconnectFromBus(QStringLiteral("broken"));
}

}  // namespace
}  // namespace ov::test
