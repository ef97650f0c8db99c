// The bus benchmarks' shared world: one private session bus per bench process with the Qt
// application object, ovsetup serving the bench settings and a minimal sd-bus server (Echo),
// plus the raw measuring tools (a minimal signal sender, an sd-bus and a QtDBus subscriber). One
// world for the whole process: a second private bus would take over DBUS_SESSION_BUS_ADDRESS.
#pragma once

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/prctl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "PrivateBus.h"
#include "bus/BusNameWatcher.h"
#include "bus/BusSignalReceiver.h"
#include "busnames/BusNames.h"
#include "qttext/QtText.h"

namespace ov::bench {

using Clock = std::chrono::steady_clock;

inline constexpr const char* EchoName = "ov.bench.Echo";
inline constexpr const char* EchoPath = "/Echo";
inline constexpr const char* EchoInterface = "ov.bench.Echo";
inline constexpr const char* RoundOffKey = "Sensor:RIVER1:Q,RoundOffTime";
inline constexpr const char* DataLine = "12/08/2026 20:41:05,RIVER1.HG,3.52,RIVER1.TA,12.5";
inline constexpr int SignalCount = 20000;

// The settings ovsetup serves: the RoundOffTime answers the round trips ask for, and the
// general and data-server settings OV Calc needs in the end-to-end benchmark (the RTU poller,
// the decoder and the Modbus RTU poller connected; a storage that starts the calculation).
inline constexpr const char* BenchSetupSettings = R"([General]
RtuEnabled=True
DecoderEnabled=True
UseEumetsatDecoder=False
MBRtuEnabled=True
UseNullValue=False

[DataServer]
StorageOption=10

[Params]
Sensor:RIVER1:Q,RoundOffTime=00:15:00
Sensor:CALC:Q,RoundOffTime=00:01:00
Sensor:LAT:Q,RoundOffTime=00:01:00
Sensor:FLOOD:Q,RoundOffTime=00:01:00
Sensor:BENCH:OUT,RoundOffTime=00:01:00
)";

// Bus names and texts as the program converts them (qttext/QtText.h).
inline QString Q(std::string_view text) {
    return QtText(text);
}

inline int Echo(sd_bus_message* m, void*, sd_bus_error*) {
    const char* s = nullptr;
    int r = sd_bus_message_read(m, "s", &s);
    return r < 0 ? r : sd_bus_reply_method_return(m, "s", s);
}

// The minimal server: Echo(s) -> s, answered by sd-bus as soon as it arrives.
inline void RunEchoServer() {
    static const sd_bus_vtable echoTable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Echo", "s", "s", Echo, 0),
        SD_BUS_VTABLE_END,
    };
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, EchoPath, EchoInterface, echoTable, nullptr) < 0 ||
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
        std::ofstream(Folder / "OVSetup.ini") << BenchSetupSettings;
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

inline TBusWorld& World() {
    static auto* world = new TBusWorld;  // lives to the end of the process
    // Its folder goes at the end of the process, after everything made later that used it.
    static const struct TFolderRemover {
        ~TFolderRemover() {
            std::error_code ec;
            if (!World().Folder.empty()) std::filesystem::remove_all(World().Folder, ec);
        }
    } remover;
    return *world;
}

inline bool Ready(benchmark::State& state) {
    if (!World().Error.empty()) {
        state.SkipWithError(World().Error.c_str());
        return false;
    }
    return true;
}

// The receiving side of sd-bus: Wait(n) receives until n signals came or 30 s passed and
// answers the seconds between the first and the last.
struct TSdBusSubscriber {
    sd_bus* Bus = nullptr;
    int Count = 0;
    Clock::time_point First, Last;

    TSdBusSubscriber(const char* sender, const char* path, const char* interface) {
        sd_bus_open_user(&Bus);
        sd_bus_match_signal(Bus, nullptr, sender, path, interface, "OnItemChange", &Handle, this);
    }
    ~TSdBusSubscriber() { sd_bus_flush_close_unref(Bus); }
    TSdBusSubscriber(const TSdBusSubscriber&) = delete;
    TSdBusSubscriber& operator=(const TSdBusSubscriber&) = delete;
    static int Handle(sd_bus_message*, void* self, sd_bus_error*) {
        auto* s = static_cast<TSdBusSubscriber*>(self);
        s->Last = Clock::now();
        if (s->Count++ == 0) s->First = s->Last;
        return 0;
    }
    // A round trip to the bus daemon: the subscription is in force once it has answered.
    void Sync() {
        sd_bus_message* reply = nullptr;
        sd_bus_call_method(Bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetId", nullptr, &reply, "");
        sd_bus_message_unref(reply);
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

// The receiving side of QtDBus, as TSdBusSubscriber is of sd-bus: Wait(n) receives until n
// signals came or 30 s passed and answers the seconds between the first and the last.
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

// A minimal sender: n signals OnItemChange(AppID, Item, Data) from an sd-bus connection as
// fast as it can write them.
inline void Blast(int n) {
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

}  // namespace ov::bench
