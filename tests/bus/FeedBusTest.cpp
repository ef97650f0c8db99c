// ovfeed on a private bus: item changes received in order with the source's AppID, for each of
// the four data sources; input from standard input; LinkItem and waiting for a link; links
// forgotten when their client leaves; who is asked whether it can take data, and the messages
// a held feed sends; the shutdown event.
#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <QDBusMessage>
#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "BusTestSupport.h"
#include "bus/BusSignalReceiver.h"
#include "sdbus/SdBus.h"

namespace ov::test {
namespace {

struct TReceived {
    std::string Member, AppID, Item, Data;
};

// Every event of source, in the order received. Taken from any sender, which on the private
// bus is the feed alone: QtDBus learns that a well-known name has a new owner only after the
// signals that its owner sends at once, and drops those when it filters by the name.
class TSourceEvents {
  public:
    explicit TSourceEvents(const TDataSource& source) {
        for (auto name : {ItemChangeSignal, AppShutdownSignal}) {
            receivers_.push_back(std::make_unique<TBusSignalReceiver>(
                QDBusConnection::sessionBus(), QString(), Q(source.ObjectPath),
                Q(source.EventsInterface), Q(name), [this](const QDBusMessage& m) {
                    TReceived r{m.member().toStdString(), {}, {}, {}};
                    const auto args = m.arguments();
                    if (args.size() > 0) r.AppID = args[0].toString().toStdString();
                    if (args.size() > 2) {
                        r.Item = args[1].toString().toStdString();
                        r.Data = args[2].toString().toStdString();
                    }
                    Received.push_back(r);
                }));
            EXPECT_TRUE(receivers_.back()->Subscribed());
        }
        // The bus daemon has the subscriptions once a signal of this process's own comes back
        // through them: a feed started after that loses nothing to a subscription still on
        // its way.
        QDBusMessage probe = QDBusMessage::createSignal(
            Q(source.ObjectPath), Q(source.EventsInterface), Q(ItemChangeSignal));
        probe << QString("probe") << QString("probe") << QString("probe");
        EXPECT_TRUE(QDBusConnection::sessionBus().send(probe));
        EXPECT_TRUE(SpinUntil([this] { return !Received.empty(); }));
        Received.clear();
    }
    std::vector<TReceived> Received;

  private:
    std::vector<std::unique_ptr<TBusSignalReceiver>> receivers_;
};

TEST(FeedBus, EveryLineArrivesInOrderWithTheSourcesAppID) {
    ScratchFolder folder;
    std::string text = "# a comment, then an empty line\n\n";
    const int lines = 300;
    for (int i = 0; i < lines; ++i) {
        text += (i % 2 ? "$REALTIME" : "$TIMETAG");
        text += " 12/08/2026 20:41:05,RIVER1.HG," + std::to_string(i) + ",RIVER1.TA,12.5\r\n";
        if (i == 10) text += "   # an indented comment\n";
    }
    text += "$GOESTIMED\n";                    // an item without data
    text += "$GOESRANDOM  two blanks kept\n";  // the data begins after the first blank
    text += "ST\xC3\x9C \xC3\xBC\n";           // UTF-8 text
    text += "ST\xDC \xFC\n";                   // 8-bit text: its bytes as code points
    WriteFileText(folder / "feed.txt", text);

    for (const auto& source : DataSources()) {
        SCOPED_TRACE(std::string(source.Option));
        TSourceEvents events(source);
        TProgram feed(FeedArgs({"--as", std::string(source.Option), "--no-wait", "--shutdown",
                                (folder / "feed.txt").string()}));
        const std::size_t expected = lines + 4 + 1;
        ASSERT_EQ(feed.Wait(), 0) << feed.Err();
        EXPECT_EQ(feed.Out(), "ovfeed: " + std::to_string(lines + 4) + " lines sent\n");
        ASSERT_TRUE(SpinUntil([&] { return events.Received.size() >= expected; }))
            << events.Received.size();
        ASSERT_EQ(events.Received.size(), expected);
        for (int i = 0; i < lines; ++i) {
            const auto& r = events.Received[static_cast<std::size_t>(i)];
            ASSERT_EQ(r.Member, "OnItemChange");
            ASSERT_EQ(r.AppID, source.AppID);
            ASSERT_EQ(r.Item, i % 2 ? "$REALTIME" : "$TIMETAG");
            ASSERT_EQ(r.Data,
                      "12/08/2026 20:41:05,RIVER1.HG," + std::to_string(i) + ",RIVER1.TA,12.5");
        }
        EXPECT_EQ(events.Received[lines].Item, "$GOESTIMED");
        EXPECT_EQ(events.Received[lines].Data, "");
        EXPECT_EQ(events.Received[lines + 1].Data, " two blanks kept");
        EXPECT_EQ(events.Received[lines + 2].Item, "ST\xC3\x9C");
        EXPECT_EQ(events.Received[lines + 2].Data, "\xC3\xBC");
        EXPECT_EQ(events.Received[lines + 3].Item, "ST\xC3\x9C");  // the same text
        EXPECT_EQ(events.Received[lines + 3].Data, "\xC3\xBC");
        EXPECT_EQ(events.Received.back().Member, "OnAppShutdown");
        EXPECT_EQ(events.Received.back().AppID, source.AppID);
    }
}

TEST(FeedBus, StandardInputAtAGivenRateAndAnotherAppID) {
    ScratchFolder folder;
    WriteFileText(folder / "in.txt", "$TIMETAG 1\n$TIMETAG 2\n$TIMETAG 3\n");
    const auto& source = DataSource(dsMBRtu);
    TSourceEvents events(source);
    TProgram feed(FeedArgs({"--as", "mbrtu", "--no-wait", "--rate", "200", "--app-id", "{OTHER}"}),
                  folder / "in.txt");
    ASSERT_EQ(feed.Wait(), 0) << feed.Err();
    EXPECT_EQ(feed.Out(), "ovfeed: 3 lines sent\n");
    ASSERT_TRUE(SpinUntil([&] { return events.Received.size() >= 3; }));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(events.Received[static_cast<std::size_t>(i)].AppID, "{OTHER}");
        EXPECT_EQ(events.Received[static_cast<std::size_t>(i)].Data, std::to_string(i + 1));
    }
}

TEST(FeedBus, WaitLinkHoldsEachLineUntilItsItemIsLinked) {
    ScratchFolder folder;
    WriteFileText(folder / "feed.txt",
                  "$TIMETAG 12/08/2026 20:41:05,A.B,1\n$REALTIME 12/08/2026 20:41:06,A.B,2\n"
                  "$timetag 12/08/2026 20:41:07,A.B,3\n");
    const auto& source = DataSource(dsRtu);
    TSourceEvents events(source);
    TProgram feed(FeedArgs({"--as", "rtu", "--wait-link", (folder / "feed.txt").string()}));
    ASSERT_TRUE(WaitForName(source.BusName)) << feed.Err();

    auto link = [&](const char* item) {
        QDBusMessage call = QDBusMessage::createMethodCall(Q(source.BusName), Q(source.ObjectPath),
                                                           Q(source.Interface), "LinkItem");
        call << Q(CalcAppID) << QString(item);
        QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    };
    // Nothing goes out before a link: the feed still runs and holds its first line.
    SpinUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(events.Received.empty());
    EXPECT_EQ(feed.Wait(std::chrono::milliseconds(0)), -1);

    link("$timetag");  // linked without regard to case
    ASSERT_TRUE(SpinUntil([&] { return events.Received.size() >= 1; }));
    SpinUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(events.Received.size(), 1u);  // the $REALTIME line waits

    link("$REALTIME");
    ASSERT_EQ(feed.Wait(), 0) << feed.Err();
    ASSERT_TRUE(SpinUntil([&] { return events.Received.size() >= 3; }));
    EXPECT_EQ(events.Received[1].Item, "$REALTIME");
    EXPECT_EQ(events.Received[2].Data, "12/08/2026 20:41:07,A.B,3");
    // The feed tells who linked what.
    const std::string err = feed.Err();
    EXPECT_NE(err.find("(" + std::string(CalcAppID) + ") linked $TIMETAG"), std::string::npos)
        << err;
    EXPECT_NE(err.find("(" + std::string(CalcAppID) + ") linked $REALTIME"), std::string::npos)
        << err;
}

// The rate counts from the moment a held line goes, not from the start of the wait: lines
// held for longer than the rate's spacing must not all leave at once when the link comes.
TEST(FeedBus, WaitLinkWithARateKeepsTheRateAfterTheLink) {
    ScratchFolder folder;
    WriteFileText(folder / "feed.txt",
                  "$TIMETAG 12/08/2026 20:41:05,A.B,1\n$TIMETAG 12/08/2026 20:41:06,A.B,2\n"
                  "$TIMETAG 12/08/2026 20:41:07,A.B,3\n");
    const auto& source = DataSource(dsRtu);
    TSourceEvents events(source);
    // 5 lines per second: the third line goes 0.4 s after the first.
    TProgram feed(
        FeedArgs({"--as", "rtu", "--wait-link", "--rate", "5", (folder / "feed.txt").string()}));
    ASSERT_TRUE(WaitForName(source.BusName)) << feed.Err();
    SpinUntil([] { return false; }, std::chrono::milliseconds(1000));
    ASSERT_TRUE(events.Received.empty());

    const auto linked = std::chrono::steady_clock::now();
    QDBusMessage call = QDBusMessage::createMethodCall(Q(source.BusName), Q(source.ObjectPath),
                                                       Q(source.Interface), "LinkItem");
    call << Q(CalcAppID) << QString("$TIMETAG");
    ASSERT_EQ(QDBusConnection::sessionBus().call(call, QDBus::Block, 5000).type(),
              QDBusMessage::ReplyMessage);
    ASSERT_TRUE(SpinUntil([&] { return events.Received.size() >= 3; }));
    // A lower bound only: a slow machine makes the time longer, never shorter.
    EXPECT_GE(std::chrono::steady_clock::now() - linked, std::chrono::milliseconds(350));
    EXPECT_EQ(feed.Wait(), 0) << feed.Err();
}

// A client that leaves the bus loses its links: a line whose item only that client linked waits
// for the next link.
TEST(FeedBus, AClientLeavingTheBusLosesItsLinks) {
    ScratchFolder folder;
    WriteFileText(folder / "feed.txt", "$REALTIME 1\n$TIMETAG 2\n");
    const auto& source = DataSource(dsRtu);
    TSourceEvents events(source);
    TProgram feed(FeedArgs({"--as", "rtu", "--wait-link", (folder / "feed.txt").string()}));
    ASSERT_TRUE(WaitForName(source.BusName)) << feed.Err();

    auto link = [&](QDBusConnection connection, const char* item) {
        QDBusMessage call = QDBusMessage::createMethodCall(Q(source.BusName), Q(source.ObjectPath),
                                                           Q(source.Interface), "LinkItem");
        call << Q(CalcAppID) << QString(item);
        QDBusMessage reply = connection.call(call, QDBus::Block, 5000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    };
    const QString otherName = "feed-test-other-client";
    std::string gone;
    {
        QDBusConnection other =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, otherName);
        ASSERT_TRUE(other.isConnected());
        gone = other.baseService().toStdString();
        link(other, "$TIMETAG");
    }
    QDBusConnection::disconnectFromBus(otherName);
    // Gone at the bus daemon: the feed hears of it before the next call.
    ASSERT_TRUE(WaitForName(gone, false));

    link(QDBusConnection::sessionBus(), "$REALTIME");
    ASSERT_TRUE(SpinUntil([&] { return events.Received.size() >= 1; }));
    SpinUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(events.Received.size(), 1u);  // $TIMETAG's only client has left
    EXPECT_EQ(feed.Wait(std::chrono::milliseconds(0)), -1);

    link(QDBusConnection::sessionBus(), "$TIMETAG");
    ASSERT_EQ(feed.Wait(), 0) << feed.Err();
    ASSERT_TRUE(SpinUntil([&] { return events.Received.size() >= 2; }));
    EXPECT_EQ(events.Received[0].Data, "1");
    EXPECT_EQ(events.Received[1].Data, "2");
}

// By default a line waits for a client that linked any item of the source; --wait-limit ends
// the wait with an error.
TEST(FeedBus, LinesWaitForAClientAndTheWaitCanBeBounded) {
    ScratchFolder folder;
    WriteFileText(folder / "feed.txt", "$REALTIME 12/08/2026 20:41:05,A.B,1\n");
    const auto& source = DataSource(dsRtu);
    {
        TProgram feed(
            FeedArgs({"--as", "rtu", "--wait-limit", "0.3", (folder / "feed.txt").string()}));
        EXPECT_EQ(feed.Wait(), 1);
        EXPECT_NE(feed.Err().find("waiting for a client to link OVRtu.OVRtuCOM"), std::string::npos)
            << feed.Err();
        EXPECT_NE(feed.Err().find("no client took the data within 0.3 s"), std::string::npos)
            << feed.Err();
    }
    TSourceEvents events(source);
    TProgram feed(FeedArgs({"--as", "rtu", (folder / "feed.txt").string()}));
    ASSERT_TRUE(WaitForName(source.BusName)) << feed.Err();
    SpinUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(events.Received.empty());
    // Another item than the line's: the client counts all the same.
    QDBusMessage call = QDBusMessage::createMethodCall(Q(source.BusName), Q(source.ObjectPath),
                                                       Q(source.Interface), "LinkItem");
    call << Q(CalcAppID) << QString("$TIMETAG");
    ASSERT_EQ(QDBusConnection::sessionBus().call(call, QDBus::Block, 5000).type(),
              QDBusMessage::ReplyMessage);
    ASSERT_EQ(feed.Wait(), 0) << feed.Err();
    ASSERT_TRUE(SpinUntil([&] { return events.Received.size() >= 1; }));
    EXPECT_EQ(events.Received[0].Item, "$REALTIME");
}

// Every message that reaches the bus daemon, counted by sender and by kind and member ("call
// Get", "signal OnItemChange"): a monitor connection on a thread of its own.
class TBusMonitor {
  public:
    TBusMonitor() {
        sd_bus* bus = nullptr;
        const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (address == nullptr || sd_bus_new(&bus) < 0) return;
        bus_.reset(bus);
        if (sd_bus_set_address(bus, address) < 0 || sd_bus_set_monitor(bus, 1) < 0 ||
            sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0) {
            return;
        }
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        const int r =
            sd_bus_call_method(bus, SdBusDaemon, SdBusDaemonPath, "org.freedesktop.DBus.Monitoring",
                               "BecomeMonitor", &error, &reply, "asu", 0, 0u);
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        if (r < 0) return;
        ok_ = true;
        thread_ = std::thread([this] { Run(); });
    }
    ~TBusMonitor() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool Ok() const { return ok_; }
    int Count(const std::string& sender, const std::string& what) {
        std::lock_guard held(lock_);
        auto it = counts_.find(sender);
        if (it == counts_.end()) return 0;
        auto at = it->second.find(what);
        return at == it->second.end() ? 0 : at->second;
    }
    // The method calls sender made, whatever their member.
    int Calls(const std::string& sender) {
        std::lock_guard held(lock_);
        int calls = 0;
        for (const auto& [what, count] : counts_[sender])
            if (what.rfind("call ", 0) == 0) calls += count;
        return calls;
    }

  private:
    void Run() {
        while (!stop_) {
            sd_bus_message* m = nullptr;
            const int r = sd_bus_process(bus_.get(), &m);
            if (r < 0) return;
            if (m != nullptr) {
                const char* sender = sd_bus_message_get_sender(m);
                const char* member = sd_bus_message_get_member(m);
                const bool call = sd_bus_message_is_method_call(m, nullptr, nullptr) > 0;
                const bool signal = sd_bus_message_is_signal(m, nullptr, nullptr) > 0;
                if ((call || signal) && sender != nullptr && member != nullptr) {
                    std::lock_guard held(lock_);
                    ++counts_[sender][std::string(call ? "call " : "signal ") + member];
                }
                sd_bus_message_unref(m);
            }
            if (r == 0) sd_bus_wait(bus_.get(), 20000);
        }
    }

    TSdBus bus_;  // the monitor thread's once it runs
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex lock_;
    std::map<std::string, std::map<std::string, int>> counts_;  // guarded by lock_
};

// A client of a data source on a plain sd-bus connection, served only when the test says so,
// with a main window whose ThreadStopped property answers Stopped.
class TSdClient {
  public:
    TSdClient() {
        static const sd_bus_vtable window[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_PROPERTY("ThreadStopped", "b", &TSdClient::GetStopped, 0, 0),
            SD_BUS_VTABLE_END,
        };
        sd_bus* bus = nullptr;
        if (sd_bus_open_user(&bus) < 0) return;
        bus_.reset(bus);
        const std::string path(MainWindowPath), interface(MainWindowInterface);
        ok_ = sd_bus_add_object_vtable(bus, nullptr, path.c_str(), interface.c_str(), window,
                                       this) >= 0;
    }
    bool Ok() const { return ok_; }
    // Links item on source with appID; the feed's unique name, empty when the call failed.
    std::string Link(const TDataSource& source, std::string_view appID, const char* item) {
        const std::string name(source.BusName), path(source.ObjectPath),
            interface(source.Interface), id(appID);
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(bus_.get(), name.c_str(), path.c_str(), interface.c_str(),
                               "LinkItem", nullptr, &reply, "ss", id.c_str(), item) < 0) {
            return {};
        }
        const TSdMessage held(reply);
        const char* sender = sd_bus_message_get_sender(reply);
        return sender != nullptr ? sender : "";
    }
    // Serves the connection until done() holds or 10 s passed; done()'s last answer.
    template <class F>
    bool ServeUntil(F done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            if (sd_bus_process(bus_.get(), nullptr) == 0) sd_bus_wait(bus_.get(), 10000);
        }
        return true;
    }
    bool Stopped = false;
    int Asked = 0;  // ThreadStopped read

  private:
    static int GetStopped(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply,
                          void* self, sd_bus_error*) {
        auto* client = static_cast<TSdClient*>(self);
        ++client->Asked;
        return sd_bus_message_append(reply, "b", client->Stopped ? 1 : 0);
    }

    TSdBus bus_;
    bool ok_ = false;
};

// Only OV Calc (its AppID on the link) is asked whether it can take data: another client that
// links and does not serve its connection meanwhile gets the lines at once, where a question
// would have held them until sd-bus's call time-out. OV Calc's answer holds the lines while its
// calculation thread is stopped. Whoever links, the held feed's lines go without a call per line.
TEST(FeedBus, OnlyOVCalcIsAskedWhetherItCanTakeDataAndNoLineCostsACall) {
    constexpr int Lines = 1000;
    ScratchFolder folder;
    std::string text;
    for (int i = 0; i < Lines; ++i)
        text += "$TIMETAG 12/08/2026 20:41:05,A.B," + std::to_string(i) + "\n";
    WriteFileText(folder / "feed.txt", text);
    const auto& source = DataSource(dsRtu);
    const std::string otherAppID = "{6D1F2A83-0C5B-4E8E-A7D2-9B3C41E0F5A7}";

    struct TCase {
        const char* What;
        std::string AppID;
        bool StoppedFirst;  // OV Calc's thread is stopped when first asked
    } cases[] = {
        {"another program, never served", otherAppID, false},
        {"OV Calc, calculating", std::string(CalcAppID), false},
        {"OV Calc, its thread stopped at first", std::string(CalcAppID), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TBusMonitor monitor;
        ASSERT_TRUE(monitor.Ok());
        TSdClient client;
        ASSERT_TRUE(client.Ok());
        client.Stopped = c.StoppedFirst;
        TProgram feed(FeedArgs({"--as", "rtu", "--wait-link", (folder / "feed.txt").string()}));
        ASSERT_TRUE(WaitForName(source.BusName)) << feed.Err();
        const std::string name = client.Link(source, c.AppID, "$TIMETAG");
        ASSERT_FALSE(name.empty());
        auto sent = [&] { return monitor.Count(name, "signal OnItemChange"); };

        if (c.AppID != CalcAppID) {
            // Nothing serves the client: the lines go all the same, and it was not asked.
            ASSERT_TRUE(SpinUntil([&] { return sent() == Lines; })) << sent();
            EXPECT_EQ(monitor.Count(name, "call Get"), 0);
        } else {
            // Unanswered, the question holds the lines.
            SpinUntil([] { return false; }, std::chrono::milliseconds(300));
            EXPECT_EQ(sent(), 0);
            if (c.StoppedFirst) {
                // Asked again while the thread is stopped, and still held.
                ASSERT_TRUE(client.ServeUntil([&] { return client.Asked >= 2; }));
                EXPECT_EQ(sent(), 0);
                client.Stopped = false;
            }
            ASSERT_TRUE(client.ServeUntil([&] { return sent() == Lines; })) << sent();
            EXPECT_EQ(monitor.Count(name, "call Get"), client.Asked);
        }
        EXPECT_EQ(feed.Wait(), 0) << feed.Err();
        // Its start and end (Hello, AddMatch, RequestName; GetId before the count is told)
        // and the questions, with room to spare: a handful of calls, not one per line.
        constexpr int StartAndEnd = 8;
        EXPECT_LE(monitor.Calls(name) - client.Asked, StartAndEnd) << monitor.Calls(name);
    }
}

TEST(FeedBus, BadCommandLinesAndATakenNameAreRefused) {
    // A usage error ends with status 2 and the way to the help, a file that cannot be read
    // with status 1.
    struct TCase {
        std::vector<std::string> Args;
        std::string Says;
        int Status = 2;
    } cases[] = {
        {{}, "--as is required"},
        {{"--as", "radio"}, "--as takes decoder, mdecoder, rtu or mbrtu"},
        {{"--as", "rtu", "--rate", "0"}, "--rate takes a number"},
        {{"--as", "rtu", "--rate", "fast"}, "--rate takes a number"},
        {{"--as", "rtu", "/no/such/file"}, "cannot read /no/such/file", 1},
        {{"--as", "decoder", "/"}, "cannot read /: a folder", 1},
        {{"--as", "rtu", "--bogus"}, "ovfeed: unknown option '--bogus'\nTry 'ovfeed --help'.\n"},
        {{"--as", "rtu", "--wait-limit", "0"}, "--wait-limit takes a number of seconds"},
        {{"--as", "rtu", "--wait-link", "--no-wait"}, "exclude each other"},
        {{"--as", "rtu", "a.txt", "b.txt"}, "one input file only"},
    };
    for (const auto& c : cases) {
        TProgram feed(FeedArgs(c.Args));
        EXPECT_EQ(feed.Wait(), c.Status) << c.Says;
        EXPECT_NE(feed.Err().find(c.Says), std::string::npos) << feed.Err();
        if (c.Status == 2) {
            EXPECT_NE(feed.Err().find("Try 'ovfeed --help'."), std::string::npos) << feed.Err();
        }
    }
    ScratchFolder folder;
    WriteFileText(folder / "one.txt", "$TIMETAG 1\n");
    TProgram first(FeedArgs({"--as", "decoder", "--stay", (folder / "one.txt").string()}));
    ASSERT_TRUE(WaitForName(DataSource(dsDecoder).BusName));
    TProgram second(FeedArgs({"--as", "decoder", (folder / "one.txt").string()}));
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(second.Err().find("OVDecode.OVDecodeCom is already owned"), std::string::npos)
        << second.Err();
    // --stay keeps the first one serving after its last line.
    EXPECT_EQ(first.Wait(std::chrono::milliseconds(200)), -1);
}

}  // namespace
}  // namespace ov::test
