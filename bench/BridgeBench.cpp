// OV Calc and an MQTT broker through ovbridge, with real processes: ovcalc on the bench world's
// private bus, a mosquitto of the bench's own on a free loopback port, ovfeed and ovbridge.
// (a) Results out: Lines results per second arriving at an MQTT subscriber through the bridge,
// against the end-to-end rate without it (ovfeed -> ovcalc -> a bus subscriber) in the same run
// (target: at least 80 %). (b) Data in: Lines station records published to the broker and
// calculated (the result at a bus subscriber), against ovfeed feeding the same lines.
//
// Every line sets off one calculation (satellite mode, one RoundOffTime query each). The
// direct phase's lines wait in an ovfeed started with --wait-link before ovcalc, under an item
// OV Calc does not link on the RTU poller ($GOESTIMED); the bridge phase's under another
// ($GOESRANDOM); each phase starts when this process links its item. The bridge plays the
// Modbus RTU poller (--as mbrtu) and is started after the direct phase, so that phase runs
// without it.
#include <benchmark/benchmark.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "BusWorld.h"
#include "bus/BusNameWatcher.h"
#include "busnames/BusNames.h"

namespace {

using namespace ov::bench;
using namespace std::chrono_literals;

constexpr int Lines = 20000;
constexpr const char* BenchAppID = "{0E5C8A31-6B2D-4F77-9A41-3C8D2E6F1B05}";

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::string TimeTag(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "12/%02d/2026 %02d:%02d:%02d", 8 + i / 86400, i % 86400 / 3600,
                  i % 3600 / 60, i % 60);
    return text;
}

// The station of a record "time tag,STATION.SENSOR,value".
std::string_view StationOf(std::string_view record) {
    const std::size_t a = record.find(',');
    if (a == std::string_view::npos) return {};
    const std::size_t dot = record.find('.', a + 1);
    return dot == std::string_view::npos ? std::string_view() : record.substr(a + 1, dot - a - 1);
}

// The CPU seconds (user and system) a process has used so far; 0 when it cannot be read.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t close = text.rfind(')');  // the name may hold blanks
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::strtod(field.c_str(), nullptr);
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

template <class F>
bool WaitFor(F done, Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Arrivals counted by station: how many, and when the last came.
class TArrivals {
  public:
    void Note(std::string_view station) {
        const auto now = Clock::now();
        std::lock_guard<std::mutex> held(lock_);
        TCount& c = counts_[std::string(station)];
        ++c.Count;
        c.Last = now;
    }
    // Waits until count arrivals of station came; the time of the last.
    bool Wait(const std::string& station, int count, Clock::duration limit,
              Clock::time_point& last) {
        return WaitFor(
            [&] {
                std::lock_guard<std::mutex> held(lock_);
                const TCount& c = counts_[station];
                last = c.Last;
                return c.Count >= count;
            },
            limit);
    }
    int Count(const std::string& station) {
        std::lock_guard<std::mutex> held(lock_);
        return counts_[station].Count;
    }

  private:
    struct TCount {
        int Count = 0;
        Clock::time_point Last;
    };
    std::mutex lock_;
    std::map<std::string, TCount> counts_;  // guarded by lock_
};

// OV Calc's result events on the bus, on an sd-bus connection and thread of their own.
class TBusResults : public TArrivals {
  public:
    TBusResults() {
        if (sd_bus_open_user(&bus_) < 0) return;
        const std::string name(ov::CalcBusName), path(ov::CalcObjectPath),
            events(ov::CalcEventsInterface);
        if (sd_bus_match_signal(bus_, nullptr, name.c_str(), path.c_str(), events.c_str(),
                                "OnItemChange", &OnResult, this) < 0)
            return;
        ok_ = true;
        thread_ = std::thread([this] {
            while (!stop_) {
                const int r = sd_bus_process(bus_, nullptr);
                if (r < 0) break;
                if (r == 0) sd_bus_wait(bus_, 100000);
            }
        });
    }
    ~TBusResults() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        sd_bus_flush_close_unref(bus_);
    }
    bool Ok() const { return ok_; }

  private:
    static int OnResult(sd_bus_message* m, void* self, sd_bus_error*) {
        const char *appId = nullptr, *item = nullptr, *data = nullptr;
        if (sd_bus_message_read(m, "sss", &appId, &item, &data) >= 0)
            static_cast<TBusResults*>(self)->Note(StationOf(data));
        return 0;
    }
    sd_bus* bus_ = nullptr;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A libmosquitto client on its own thread: subscribes (QoS 1) and counts the records that
// arrive, or publishes.
class TMqttClient : public TArrivals {
  public:
    TMqttClient(const char* id, int port) {
        client_ = mosquitto_new(id, true, this);
        if (client_ == nullptr) return;
        mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
        mosquitto_max_inflight_messages_set(client_, 1000);
        mosquitto_message_callback_set(client_, &OnMessage);
        mosquitto_publish_callback_set(client_, &OnPublish);
        mosquitto_subscribe_callback_set(client_, &OnSubscribe);
        ok_ = mosquitto_connect(client_, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
              mosquitto_loop_start(client_) == MOSQ_ERR_SUCCESS;
    }
    ~TMqttClient() {
        if (client_ == nullptr) return;
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }
    bool Ok() const { return ok_; }
    bool Subscribe(const char* topic) {
        return mosquitto_subscribe(client_, nullptr, topic, 1) == MOSQ_ERR_SUCCESS &&
               WaitFor([this] { return subscribed_.load(); }, 10s);
    }
    bool Publish(const std::string& topic, const std::string& payload) {
        return mosquitto_publish(client_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                 payload.data(), 1, false) == MOSQ_ERR_SUCCESS;
    }
    int Acknowledged() const { return acknowledged_; }

  private:
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
        static_cast<TMqttClient*>(self)->Note(StationOf(std::string_view(
            static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen))));
    }
    static void OnPublish(mosquitto*, void* self, int) {
        ++static_cast<TMqttClient*>(self)->acknowledged_;
    }
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*) {
        static_cast<TMqttClient*>(self)->subscribed_ = true;
    }
    mosquitto* client_ = nullptr;
    bool ok_ = false;
    std::atomic<bool> subscribed_{false};
    std::atomic<int> acknowledged_{0};
};

// A free loopback port: the kernel's choice, given back for mosquitto to take.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) ::close(fd);
    return port;
}

bool Connectable(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

class TBridgeScene {
  public:
    TBridgeScene() {
        mosquitto_lib_init();
        folder_ = World().Folder / "bridge";
        std::filesystem::create_directories(folder_ / "runtime");
        std::filesystem::permissions(folder_ / "runtime", std::filesystem::perms::owner_all);
        ::setenv("LC_ALL", "C", 1);
        ::setenv("XDG_RUNTIME_DIR", (folder_ / "runtime").c_str(), 1);
        std::filesystem::copy_file(OV_OVCALC_PATH, folder_ / "ovcalc",
                                   std::filesystem::copy_options::overwrite_existing);
        WriteFiles();

        for (int attempt = 0; attempt < 20 && broker_ == nullptr; ++attempt) {
            port_ = FreePort();
            std::ofstream(folder_ / "mosquitto.conf")
                << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n"
                << "max_queued_messages 0\nmax_inflight_messages 0\n";
            auto broker = std::make_unique<ov::test::TChildProcess>(
                std::vector<std::string>{"mosquitto", "-c", (folder_ / "mosquitto.conf").string()},
                folder_ / "mosquitto.out", folder_ / "mosquitto.err");
            if (WaitFor([&] { return Connectable(port_) || broker->Wait(0ms).has_value(); }, 10s) &&
                !broker->Wait(0ms)) {
                broker_ = std::move(broker);
            }
        }
        if (!broker_) {
            Error = "mosquitto did not start (is it installed? scripts/install-deps.sh)";
            return;
        }
        std::ofstream(folder_ / "ovbridge.ini") << "[Broker]\nHost=127.0.0.1\nPort=" << port_
                                                << "\n[Bridge]\nEngine=bench\nQueueSize=100000\n";

        feed_ = std::make_unique<ov::test::TChildProcess>(
            std::vector<std::string>{OV_OVFEED_PATH, "--as", "rtu", "--wait-link",
                                     (folder_ / "rtu.txt").string()},
            std::filesystem::path{}, folder_ / "rtu.log");
        ov::TBusNameWatcher watcher;
        if (!WaitFor([&] { return watcher.IsRunning(Q(ov::DataSource(ov::dsRtu).BusName)); },
                     20s)) {
            Error = "ovfeed did not start";
            return;
        }
        results_ = std::make_unique<TBusResults>();
        if (!results_->Ok() || sd_bus_open_user(&control_) < 0) {
            Error = "cannot listen on the bus";
            return;
        }
        calc_ = std::make_unique<ov::test::TChildProcess>(
            std::vector<std::string>{(folder_ / "ovcalc").string(), "-platform", "offscreen"},
            folder_ / "ovcalc.out", folder_ / "ovcalc.log");
        if (!WaitFor([&] { return LogHas("Calculation thread started."); }, 60s) ||
            !WaitFor([&] { return watcher.IsRunning(Q(ov::CalcBusName)); }, 20s)) {
            Error = "ovcalc did not start (see " + (folder_ / "ovcalc.log").string() + ")";
            return;
        }
        if (!Call(ov::CalcBusName, ov::CalcObjectPath, ov::CalcInterface, "SetItemLink",
                  "$TIMETAG")) {
            Error = "SetItemLink failed";
        }
    }
    ~TBridgeScene() { End(); }
    TBridgeScene(const TBridgeScene&) = delete;
    TBridgeScene& operator=(const TBridgeScene&) = delete;

    // Lets a phase's lines go: links item on the RTU poller's ovfeed.
    bool Release(const char* item) {
        const auto& s = ov::DataSource(ov::dsRtu);
        return Call(s.BusName, s.ObjectPath, s.Interface, "LinkItem", item);
    }
    bool StartBridge() {
        bridge_ = std::make_unique<ov::test::TChildProcess>(
            std::vector<std::string>{OV_OVBRIDGE_PATH, "--as", "mbrtu",
                                     (folder_ / "ovbridge.ini").string()},
            std::filesystem::path{}, folder_ / "ovbridge.log");
        return WaitFor([&] { return BridgeSays("CalcLinked") && BridgeSays("Connected"); }, 20s);
    }
    // Whether the bridge's status property (a boolean) is true.
    bool BridgeSays(const char* property) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        int value = 0;
        const int r = sd_bus_get_property_trivial(control_, "OVBridge.Bridge", "/Bridge",
                                                  "OVBridge.Bridge", property, &error, 'b', &value);
        sd_bus_error_free(&error);
        return r >= 0 && value != 0;
    }
    // Ends the scene after the last benchmark that uses it.
    void Done() {
        if (++done_ == 2) End();
    }
    TBusResults& Results() { return *results_; }
    pid_t CalcPid() const { return calc_ ? calc_->Pid() : -1; }
    pid_t BridgePid() const { return bridge_ ? bridge_->Pid() : -1; }
    pid_t BrokerPid() const { return broker_ ? broker_->Pid() : -1; }
    int Port() const { return port_; }
    std::string Error;
    double DirectRate = 0;  // phase (a)'s lines per second: ovfeed to OV Calc to the bus

  private:
    bool LogHas(std::string_view text) const {
        std::ifstream log(folder_ / "ovcalc.log");
        std::string line;
        while (std::getline(log, line))
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    bool Call(std::string_view name, std::string_view path, std::string_view interface,
              const char* member, const char* item) {
        const std::string n(name), p(path), i(interface);
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        const int r = sd_bus_call_method(control_, n.c_str(), p.c_str(), i.c_str(), member, &error,
                                         &reply, "ss", BenchAppID, item);
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        return r >= 0;
    }
    void WriteFiles() {
        std::ofstream config(folder_ / "OVCalc.OVG");
        config << "[Calc]\nLogDetail=1\nGroupNames=G1,G2,G3\n";
        int index = 0;
        for (const char* station : {"RAW", "VIA", "IN"}) {
            ++index;
            config << "[G" << index << "]\nCGIndex=" << index
                   << "\nFuncName=H * 2 + 1\nEnabled=1\nMultiStations=0\nOutputStation=" << station
                   << "\nOutputSensor=Q\nVariablesName=H\nVariablesValue=HG\n";
        }
        std::ofstream rtu(folder_ / "rtu.txt");
        for (int i = 0; i < Lines; ++i)
            rtu << "$GOESTIMED " << TimeTag(i) << ",RAW.HG," << i % 1000 << ".25\n";
        for (int i = 0; i < Lines; ++i)
            rtu << "$GOESRANDOM " << TimeTag(i) << ",VIA.HG," << i % 1000 << ".25\n";
    }
    void End() {
        bridge_.reset();
        calc_.reset();
        feed_.reset();
        results_.reset();
        broker_.reset();
        if (control_ != nullptr) control_ = sd_bus_flush_close_unref(control_);
        std::error_code ec;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
    }

    std::filesystem::path folder_;
    int port_ = 0;
    std::unique_ptr<ov::test::TChildProcess> broker_, feed_, calc_, bridge_;
    std::unique_ptr<TBusResults> results_;
    sd_bus* control_ = nullptr;
    int done_ = 0;
};

TBridgeScene& Scene() {
    static TBridgeScene scene;  // made by the first bridge benchmark, on the main thread
    return scene;
}

bool SceneReady(benchmark::State& state) {
    if (!Ready(state)) return false;
    if (!Scene().Error.empty()) {
        state.SkipWithError(Scene().Error.c_str());
        return false;
    }
    return true;
}

// (a) Results out: the direct rate, then the rate through the bridge to an MQTT subscriber.
void BM_Bridge_ResultsOut(benchmark::State& state) {
    if (!SceneReady(state)) return;
    TBridgeScene& scene = Scene();
    double direct = 0, bridged = 0, busWithBridge = 0;
    double calcDirect = 0, calcBridged = 0, bridgeCpu = 0, brokerCpu = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        Clock::time_point last;
        double calcBefore = CpuSeconds(scene.CalcPid());
        if (!scene.Release("$GOESTIMED") || !scene.Results().Wait("RAW", Lines, 120s, last)) {
            state.SkipWithError(("direct: only " + std::to_string(scene.Results().Count("RAW")) +
                                 " results arrived")
                                    .c_str());
            break;
        }
        direct = Lines / Seconds(last - start);
        scene.DirectRate = direct;
        calcDirect = CpuSeconds(scene.CalcPid()) - calcBefore;

        TMqttClient subscriber("bench-subscriber", scene.Port());
        if (!subscriber.Ok() || !subscriber.Subscribe("ovcalc/records") || !scene.StartBridge()) {
            state.SkipWithError("the bridge or the subscriber did not start");
            break;
        }
        calcBefore = CpuSeconds(scene.CalcPid());
        const double bridgeBefore = CpuSeconds(scene.BridgePid());
        const double brokerBefore = CpuSeconds(scene.BrokerPid());
        start = Clock::now();
        Clock::time_point busLast;
        if (!scene.Release("$GOESRANDOM") || !subscriber.Wait("VIA", Lines, 120s, last) ||
            !scene.Results().Wait("VIA", Lines, 10s, busLast)) {
            state.SkipWithError(("through the bridge: only " +
                                 std::to_string(subscriber.Count("VIA")) + " results arrived")
                                    .c_str());
            break;
        }
        bridged = Lines / Seconds(last - start);
        busWithBridge = Lines / Seconds(busLast - start);
        calcBridged = CpuSeconds(scene.CalcPid()) - calcBefore;
        bridgeCpu = CpuSeconds(scene.BridgePid()) - bridgeBefore;
        brokerCpu = CpuSeconds(scene.BrokerPid()) - brokerBefore;
        state.SetIterationTime(Seconds(last - start));
    }
    if (bridged > 0) {
        state.SetItemsProcessed(Lines);
        state.counters["direct/s"] = direct;
        state.counters["via_bridge/s"] = bridged;
        state.counters["%_of_direct"] = 100 * bridged / direct;
        state.counters["bus_with_bridge/s"] = busWithBridge;
        // CPU microseconds per result: ovcalc without and with the bridge, the bridge, the
        // broker (which also delivers the subscriber's messages).
        state.counters["ovcalc_us"] = 1e6 * calcDirect / Lines;
        state.counters["ovcalc_bridged_us"] = 1e6 * calcBridged / Lines;
        state.counters["ovbridge_us"] = 1e6 * bridgeCpu / Lines;
        state.counters["mosquitto_us"] = 1e6 * brokerCpu / Lines;
        state.SetLabel(std::string(100 * bridged / direct >= 80 ? "met" : "MISSED") +
                       ": via_bridge/s >= 80 % of direct/s");
    }
    scene.Done();
}
BENCHMARK(BM_Bridge_ResultsOut)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// (b) Data in: station records published to the broker, through the bridge (the Modbus RTU
// poller for OV Calc) and calculated, against ovfeed's lines of phase (a).
void BM_Bridge_DataIn(benchmark::State& state) {
    if (!SceneReady(state)) return;
    TBridgeScene& scene = Scene();
    double rate = 0;
    for (auto _ : state) {
        // OV Calc connects a source that appeared after its start within its 30 s reconnect.
        if (scene.DirectRate <= 0 ||
            !WaitFor([&] { return scene.BridgeSays("SourceTaken"); }, 45s)) {
            state.SkipWithError(
                "OV Calc did not take the bridge as a data source (run "
                "BM_Bridge_ResultsOut first)");
            break;
        }
        TMqttClient publisher("bench-publisher", scene.Port());
        if (!publisher.Ok()) {
            state.SkipWithError("the publisher did not connect");
            break;
        }
        const auto start = Clock::now();
        for (int i = 0; i < Lines; ++i) {
            publisher.Publish("ovcalc/in/IN", "$GOESTIMED " + TimeTag(i) + ",IN.HG," +
                                                  std::to_string(i % 1000) + ".25");
        }
        Clock::time_point last;
        if (!scene.Results().Wait("IN", Lines, 120s, last)) {
            state.SkipWithError(
                ("only " + std::to_string(scene.Results().Count("IN")) + " results arrived")
                    .c_str());
            break;
        }
        WaitFor([&] { return publisher.Acknowledged() >= Lines; }, 10s);
        rate = Lines / Seconds(last - start);
        state.SetIterationTime(Seconds(last - start));
    }
    if (rate > 0) {
        state.SetItemsProcessed(Lines);
        state.counters["mqtt_in/s"] = rate;
        state.counters["ovfeed_in/s"] = scene.DirectRate;
        state.counters["%_of_ovfeed"] = 100 * rate / scene.DirectRate;
    }
    scene.Done();
}
BENCHMARK(BM_Bridge_DataIn)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
