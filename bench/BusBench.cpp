// The suite's bus on a private session bus: setup-parameter round trips from the calculation
// thread to ovsetup and ovfeed's item changes received by one subscriber, each beside the raw
// rate of a minimal call and a minimal signal on the same bus, with QtDBus and with sd-bus.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <systemd/sd-bus.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "PrivateBus.h"
#include "suite/SetupServer.h"
#include "suite/dbus/BusNameWatcher.h"
#include "suite/dbus/BusNames.h"
#include "suite/dbus/BusSetupQuery.h"
#include "suite/dbus/BusSignalReceiver.h"
#include "suite/dbus/DBusSetupServer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* EchoName = "ov.bench.Echo";
constexpr const char* EchoPath = "/Echo";
constexpr const char* EchoInterface = "ov.bench.Echo";
constexpr const char* RoundOffKey = "Sensor:RIVER1:Q,RoundOffTime";
constexpr const char* DataLine = "12/08/2026 20:41:05,RIVER1.HG,3.52,RIVER1.TA,12.5";
constexpr int SignalCount = 20000;

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int Echo(sd_bus_message* m, void*, sd_bus_error*) {
    const char* s = nullptr;
    int r = sd_bus_message_read(m, "s", &s);
    return r < 0 ? r : sd_bus_reply_method_return(m, "s", s);
}

const sd_bus_vtable EchoTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Echo", "s", "s", Echo, 0),
    SD_BUS_VTABLE_END,
};

// The minimal server: Echo(s) -> s, answered by sd-bus as soon as it arrives.
void RunEchoServer() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, EchoPath, EchoInterface, EchoTable, nullptr) < 0 ||
        sd_bus_request_name(bus, EchoName, 0) < 0) {
        return;
    }
    for (;;) {
        int r = sd_bus_process(bus, nullptr);
        if (r < 0) return;
        if (r == 0) sd_bus_wait(bus, UINT64_MAX);
    }
}

// The bench process's bus world, made once: the private bus, the Qt application object,
// ovsetup with a settings file, and a minimal sd-bus server (Echo) in a process of its own.
// Left to the end of the process, which also ends the children.
struct TBusWorld {
    std::unique_ptr<ov::test::TPrivateBus> Bus;
    std::unique_ptr<QCoreApplication> App;
    std::unique_ptr<ov::test::TChildProcess> Setup;
    pid_t EchoServer = -1;
    std::filesystem::path Folder;
    std::string Error;

    TBusWorld() {
        Bus = std::make_unique<ov::test::TPrivateBus>();
        if (!Bus->Started()) {
            Error = Bus->Error();
            return;
        }
        // The minimal server is a process of its own, as ovsetup is: forked before Qt makes
        // any thread, it runs sd-bus alone.
        EchoServer = ::fork();
        if (EchoServer == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            RunEchoServer();
            ::_exit(0);
        }
        static int argc = 1;
        static char name[] = "ovbench";
        static char* argv[] = {name, nullptr};
        App = std::make_unique<QCoreApplication>(argc, argv);

        Folder = std::filesystem::temp_directory_path() / ("ovbench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(Folder);
        std::ofstream(Folder / "OVSetup.ini") << "[Params]\n" << RoundOffKey << "=00:15:00\n";
        std::ofstream lines(Folder / "feed.txt");
        for (int i = 0; i < SignalCount; ++i) lines << "$TIMETAG " << DataLine << "\n";
        lines.close();
        Setup = std::make_unique<ov::test::TChildProcess>(
            std::vector<std::string>{OV_OVSETUP_PATH, (Folder / "OVSetup.ini").string()});

        ov::TBusNameWatcher watcher;
        auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!watcher.IsRunning(Q(ov::SetupBusName)) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!watcher.IsRunning(Q(ov::SetupBusName))) Error = "ovsetup did not start";
        while (!watcher.IsRunning(EchoName) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!watcher.IsRunning(EchoName)) Error = "the minimal server did not start";
    }
};

TBusWorld& World() {
    static auto* world = new TBusWorld;  // lives to the end of the process
    return *world;
}

bool Ready(benchmark::State& state) {
    if (!World().Error.empty()) {
        state.SkipWithError(World().Error.c_str());
        return false;
    }
    return true;
}

// --- Minimal calls: Echo(s) -> s to the sd-bus server ---

void BM_RawCall_SdBus(benchmark::State& state) {
    if (!Ready(state)) return;
    sd_bus* bus = nullptr;
    sd_bus_open_user(&bus);
    for (auto _ : state) {
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        if (sd_bus_call_method(bus, EchoName, EchoPath, EchoInterface, "Echo", &error, &reply, "s",
                               RoundOffKey) < 0) {
            state.SkipWithError("Echo failed");
            sd_bus_error_free(&error);
            break;
        }
        sd_bus_message_unref(reply);
    }
    sd_bus_flush_close_unref(bus);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawCall_SdBus)->UseRealTime();

void BM_RawCall_QtDBus(benchmark::State& state) {
    if (!Ready(state)) return;
    ov::TOwnBusConnection own;
    QDBusMessage call = QDBusMessage::createMethodCall(EchoName, EchoPath, EchoInterface, "Echo");
    call << QString(RoundOffKey);
    for (auto _ : state) {
        QDBusMessage reply = own.Connection().call(call, QDBus::Block, 3000);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            state.SkipWithError("Echo failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawCall_QtDBus)->UseRealTime();

// --- QuerySetup of the RoundOffTime key to ovsetup, from a thread other than the main one ---

void BM_QuerySetup_SdBus(benchmark::State& state) {
    if (!Ready(state)) return;
    // The query object belongs to a main thread; this thread plays the calculation thread.
    std::unique_ptr<ov::TBusSetupQuery> query;
    std::thread([&] { query = std::make_unique<ov::TBusSetupQuery>(); }).join();
    query->AttachThread();
    std::string value;
    for (auto _ : state) {
        if (!query->QuerySetup(RoundOffKey, value)) {
            state.SkipWithError("QuerySetup failed");
            break;
        }
    }
    query->DetachThread();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuerySetup_SdBus)->UseRealTime();

void BM_QuerySetup_QtDBus(benchmark::State& state) {
    if (!Ready(state)) return;
    ov::TOwnBusConnection own;  // the thread's own connection
    ov::TDBusSetupServer server(own.Connection());
    ov::TSetupServerQuery query(&server);
    std::string value;
    for (auto _ : state) {
        if (!query.QuerySetup(RoundOffKey, value)) {
            state.SkipWithError("QuerySetup failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QuerySetup_QtDBus)->UseRealTime();

// --- Signals: SignalCount item changes received by one subscriber, timed from the first to
// the last received ---

// The receiving side of one library: Wait(n) receives until n signals came or 30 s passed
// and answers the seconds between the first and the last.
struct TSdBusSubscriber {
    sd_bus* Bus = nullptr;
    int Count = 0;
    Clock::time_point First, Last;

    TSdBusSubscriber(const char* sender, const char* path, const char* interface) {
        sd_bus_open_user(&Bus);
        sd_bus_match_signal(Bus, nullptr, sender, path, interface, "OnItemChange", &Handle, this);
    }
    ~TSdBusSubscriber() { sd_bus_flush_close_unref(Bus); }
    static int Handle(sd_bus_message*, void* self, sd_bus_error*) {
        auto* s = static_cast<TSdBusSubscriber*>(self);
        s->Last = Clock::now();
        if (s->Count++ == 0) s->First = s->Last;
        return 0;
    }
    double Wait(int n) {
        auto deadline = Clock::now() + std::chrono::seconds(30);
        while (Count < n && Clock::now() < deadline) {
            int r = sd_bus_process(Bus, nullptr);
            if (r < 0) break;
            if (r == 0) sd_bus_wait(Bus, 100000);
        }
        return std::chrono::duration<double>(Last - First).count();
    }
};

struct TQtSubscriber {
    int Count = 0;
    Clock::time_point First, Last;
    ov::TBusSignalReceiver Receiver;

    TQtSubscriber(const char* sender, const char* path, const char* interface)
        : Receiver(QDBusConnection::sessionBus(), sender, path, interface, "OnItemChange",
                   [this](const QDBusMessage&) {
                       Last = Clock::now();
                       if (Count++ == 0) First = Last;
                   }) {}
    double Wait(int n) {
        auto deadline = Clock::now() + std::chrono::seconds(30);
        while (Count < n && Clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        }
        return std::chrono::duration<double>(Last - First).count();
    }
};

// A minimal sender: SignalCount signals OnItemChange(AppID, Item, Data) from an sd-bus
// connection as fast as it can write them.
void Blast(int n) {
    sd_bus* bus = nullptr;
    sd_bus_open_user(&bus);
    sd_bus_request_name(bus, "ov.bench.Blaster", 0);
    for (int i = 0; i < n; ++i) {
        sd_bus_emit_signal(bus, "/Blaster", "ov.bench.Blaster", "OnItemChange", "sss",
                           "{7552BE47-EFFF-47F1-8EEA-BD38F2B70761}", "$TIMETAG", DataLine);
        if (i % 256 == 255) sd_bus_flush(bus);
    }
    sd_bus_flush(bus);
    sd_bus_flush_close_unref(bus);
}

template <class Subscriber>
void RawSignals(benchmark::State& state) {
    if (!Ready(state)) return;
    for (auto _ : state) {
        Subscriber subscriber(nullptr, "/Blaster", "ov.bench.Blaster");
        if constexpr (std::is_same_v<Subscriber, TSdBusSubscriber>) {
            // Make sure the subscription is in force before sending.
            sd_bus_message* reply = nullptr;
            sd_bus_call_method(subscriber.Bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetId", nullptr, &reply, "");
            sd_bus_message_unref(reply);
        }
        std::thread sender([] { Blast(SignalCount); });
        double seconds = subscriber.Wait(SignalCount);
        sender.join();
        if (subscriber.Count < SignalCount) {
            state.SkipWithError("signals were lost");
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * (SignalCount - 1));
}

void BM_RawSignals_SdBus(benchmark::State& state) { RawSignals<TSdBusSubscriber>(state); }
void BM_RawSignals_QtDBus(benchmark::State& state) { RawSignals<TQtSubscriber>(state); }
BENCHMARK(BM_RawSignals_SdBus)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawSignals_QtDBus)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

template <class Subscriber>
void FeedSignals(benchmark::State& state) {
    if (!Ready(state)) return;
    const auto& source = ov::DataSource(ov::dsRtu);
    const std::string name(source.BusName), path(source.ObjectPath), events(source.EventsInterface);
    for (auto _ : state) {
        Subscriber subscriber(name.c_str(), path.c_str(), events.c_str());
        if constexpr (std::is_same_v<Subscriber, TSdBusSubscriber>) {
            sd_bus_message* reply = nullptr;
            sd_bus_call_method(subscriber.Bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetId", nullptr, &reply, "");
            sd_bus_message_unref(reply);
        }
        ov::test::TChildProcess feed({OV_OVFEED_PATH, "--as", "rtu",
                                      (World().Folder / "feed.txt").string()});
        double seconds = subscriber.Wait(SignalCount);
        feed.Wait(std::chrono::seconds(30));
        if (subscriber.Count < SignalCount) {
            state.SkipWithError("item changes were lost");
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * (SignalCount - 1));
}

void BM_FeedSignals_SdBus(benchmark::State& state) { FeedSignals<TSdBusSubscriber>(state); }
void BM_FeedSignals_QtDBus(benchmark::State& state) { FeedSignals<TQtSubscriber>(state); }
BENCHMARK(BM_FeedSignals_SdBus)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FeedSignals_QtDBus)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
