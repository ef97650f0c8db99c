// The suite's bus on a private session bus: setup-parameter round trips from the calculation
// thread to ovsetup and ovfeed's item changes received by one subscriber, each beside the raw
// rate of a minimal call and a minimal signal on the same bus, with QtDBus and with sd-bus.
#include <benchmark/benchmark.h>
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

#include "BusWorld.h"
#include "bus/BusNameWatcher.h"
#include "bus/BusSetupQuery.h"
#include "bus/BusSignalReceiver.h"
#include "bus/DBusSetupServer.h"
#include "busnames/BusNames.h"
#include "suite/SetupServer.h"

namespace {

using namespace ov::bench;

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

template <class Subscriber>
void RawSignals(benchmark::State& state) {
    if (!Ready(state)) return;
    for (auto _ : state) {
        Subscriber subscriber(nullptr, "/Blaster", "ov.bench.Blaster");
        // Make sure the subscription is in force before sending.
        if constexpr (std::is_same_v<Subscriber, TSdBusSubscriber>) subscriber.Sync();
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

void BM_RawSignals_SdBus(benchmark::State& state) {
    RawSignals<TSdBusSubscriber>(state);
}
void BM_RawSignals_QtDBus(benchmark::State& state) {
    RawSignals<TQtSubscriber>(state);
}
BENCHMARK(BM_RawSignals_SdBus)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawSignals_QtDBus)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

template <class Subscriber>
void FeedSignals(benchmark::State& state) {
    if (!Ready(state)) return;
    const auto& source = ov::DataSource(ov::dsRtu);
    const std::string name(source.BusName), path(source.ObjectPath), events(source.EventsInterface);
    for (auto _ : state) {
        Subscriber subscriber(name.c_str(), path.c_str(), events.c_str());
        if constexpr (std::is_same_v<Subscriber, TSdBusSubscriber>) subscriber.Sync();
        ov::test::TChildProcess feed(
            {OV_OVFEED_PATH, "--as", "rtu", "--no-wait", (World().Folder / "feed.txt").string()});
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

void BM_FeedSignals_SdBus(benchmark::State& state) {
    FeedSignals<TSdBusSubscriber>(state);
}
void BM_FeedSignals_QtDBus(benchmark::State& state) {
    FeedSignals<TQtSubscriber>(state);
}
BENCHMARK(BM_FeedSignals_SdBus)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FeedSignals_QtDBus)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// ovfeed --wait-link, its lines held until a client links their item: once released, as fast as
// with --no-wait (BM_FeedSignals_SdBus), no pause or round trip per line. The client links with
// an AppID other than OV Calc's from a connection nothing serves, as a script might.
void BM_FeedSignals_WaitLink_SdBus(benchmark::State& state) {
    if (!Ready(state)) return;
    const auto& source = ov::DataSource(ov::dsRtu);
    const std::string name(source.BusName), path(source.ObjectPath), events(source.EventsInterface),
        interface(source.Interface);
    for (auto _ : state) {
        TSdBusSubscriber subscriber(name.c_str(), path.c_str(), events.c_str());
        subscriber.Sync();
        ov::test::TChildProcess feed(
            {OV_OVFEED_PATH, "--as", "rtu", "--wait-link", (World().Folder / "feed.txt").string()});
        sd_bus* client = nullptr;
        sd_bus_open_user(&client);
        // Linked once the feed owns its name.
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (sd_bus_call_method(client, name.c_str(), path.c_str(), interface.c_str(), "LinkItem",
                                  nullptr, nullptr, "ss", "{6D1F2A83-0C5B-4E8E-A7D2-9B3C41E0F5A7}",
                                  "$TIMETAG") < 0 &&
               Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        double seconds = subscriber.Wait(SignalCount);
        feed.Wait(std::chrono::seconds(30));
        sd_bus_flush_close_unref(client);
        if (subscriber.Count < SignalCount) {
            state.SkipWithError("item changes were lost or held");
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * (SignalCount - 1));
}
BENCHMARK(BM_FeedSignals_WaitLink_SdBus)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
