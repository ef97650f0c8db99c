// OV Calc end to end, with real processes on the bench world's private bus: ovfeed's lines
// through ovcalc's engine to the OnItemChange result events received here. (a) lines that set
// off no group, then one that does, timed until its result arrives; (b) one calculation (and
// one RoundOffTime query) per line; the latency from an item change to its result at 1000
// lines per second; the peak resident size of ovcalc under a flood of 10^5 lines. The raw
// signal and setup-query rates of the same run stand beside the figures as counters.
//
// Every phase has its lines waiting in an ovfeed started with --wait-link before ovcalc (a
// source must run when OV Calc connects it), under an item OV Calc does not link on that
// source; a phase starts when this process links that item. The rtu source carries (a) under
// $GOESTIMED and then the flood under $GOESRANDOM, the decoder (b) under $REALTIME, the Modbus
// RTU poller the paced latency lines under $GOESTIMED. The links carry an AppID of this
// process's own, not OV Calc's, so the feeds do not ask it whether it can take data: its control
// connection is not served while it waits for the results, and a question there would hold each
// phase for sd-bus's call time-out (25 s) before the first line went.
#include <benchmark/benchmark.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

#include "BusWorld.h"
#include "bus/BusNameWatcher.h"
#include "bus/BusSetupQuery.h"
#include "bus/OVCalcComAdaptor.h"
#include "busnames/BusNames.h"

namespace {

using namespace ov::bench;
using namespace std::chrono_literals;

constexpr int NoGroupLines = 50000;  // (a), followed by the one line that sets off a group
constexpr int CalcLines = 20000;     // (b)
constexpr int LatencyLines = 5000;   // at LatencyRate lines per second
constexpr int LatencyRate = 1000;
constexpr int FloodLines = 100000;
// Groups of other stations that no line sets off: the indexes are not trivially small.
constexpr int IdleGroups = 100;
constexpr const char* BenchAppID = "{6D1F2A83-0C5B-4E8E-A7D2-9B3C41E0F5A7}";

// The targets: each figure's verdict is the benchmark's label.
constexpr double NoGroupTarget = 50;    // % of the raw signal rate
constexpr double CalcTarget = 70;       // % of the raw setup-query rate
constexpr double LatencyP99Target = 5;  // ms
constexpr double RateKeptTarget = 95;   // % of LatencyRate delivered: the feed keeps its rate

std::string Verdict(bool met, const std::string& target) {
    return (met ? "met: " : "MISSED: ") + target;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// "12/08/2026 hh:nn:ss" (one day later after 86400 s): a distinct time tag for line i.
std::string TimeTag(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "12/%02d/2026 %02d:%02d:%02d", 8 + i / 86400, i % 86400 / 3600,
                  i % 3600 / 60, i % 60);
    return text;
}

// The station.sensor and the value of a data text "time tag,STATION.SENSOR,value".
bool SplitRecord(std::string_view data, std::string_view& key, long& value) {
    const std::size_t a = data.find(',');
    if (a == std::string_view::npos) return false;
    const std::size_t b = data.find(',', a + 1);
    if (b == std::string_view::npos) return false;
    key = data.substr(a + 1, b - a - 1);
    double v = 0;
    auto [end, ec] = std::from_chars(data.data() + b + 1, data.data() + data.size(), v);
    if (ec != std::errc()) return false;
    value = static_cast<long>(v < 0 ? v - 0.5 : v + 0.5);
    return true;
}

// A field of /proc/PID/status in kB ("VmHWM", "VmRSS"); -1 when it cannot be read.
long StatusKB(pid_t pid, std::string_view field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size(), field) == 0 && line.size() > field.size() &&
            line[field.size()] == ':') {
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

// --- The raw rates of this run: minimal signals, setup queries, ovfeed alone ---

struct TRawRates {
    double Signals = 0;    // minimal signals per second, sd-bus sender to sd-bus subscriber
    double QtSignals = 0;  // the same to a QtDBus subscriber, which is how ovcalc receives
    double Queries = 0;    // RoundOffTime queries per second from a thread, over sd-bus
    double Feed = 0;       // ovfeed's item changes per second, to an sd-bus subscriber
};

// Minimal signals from SignalCount sends, the better of two runs.
template <class Subscriber>
double RawSignalRate() {
    double best = 0;
    for (int run = 0; run < 2; ++run) {
        Subscriber subscriber(nullptr, "/Blaster", "ov.bench.Blaster");
        if constexpr (std::is_same_v<Subscriber, TSdBusSubscriber>) subscriber.Sync();
        std::thread sender([] { Blast(SignalCount); });
        const double seconds = subscriber.Wait(SignalCount);
        sender.join();
        if (subscriber.Count == SignalCount && seconds > 0)
            best = std::max(best, (SignalCount - 1) / seconds);
    }
    return best;
}

double RawQueryRate() {
    // The query object belongs to a main thread; this thread plays the calculation thread.
    std::unique_ptr<ov::TBusSetupQuery> query;
    std::thread([&] { query = std::make_unique<ov::TBusSetupQuery>(); }).join();
    query->AttachThread();
    std::string value;
    double best = 0;
    for (int run = 0; run < 2; ++run) {
        constexpr int n = 4000;
        const auto start = Clock::now();
        int answered = 0;
        for (int i = 0; i < n; ++i)
            answered += query->QuerySetup("Sensor:CALC:Q,RoundOffTime", value);
        const double seconds = Seconds(Clock::now() - start);
        if (answered == n) best = std::max(best, n / seconds);
    }
    query->DetachThread();
    return best;
}

// ovfeed as the EUMETSAT decoder, the one source OV Calc does not connect here.
double RawFeedRate() {
    const auto& source = ov::DataSource(ov::dsMDecoder);
    const std::string name(source.BusName), path(source.ObjectPath), events(source.EventsInterface);
    TSdBusSubscriber subscriber(name.c_str(), path.c_str(), events.c_str());
    subscriber.Sync();
    ov::test::TChildProcess feed(
        {OV_OVFEED_PATH, "--as", "mdecoder", "--no-wait", (World().Folder / "feed.txt").string()});
    const double seconds = subscriber.Wait(SignalCount);
    feed.Wait(30s);
    return subscriber.Count == SignalCount && seconds > 0 ? (SignalCount - 1) / seconds : 0;
}

// The raw rates just before a phase (OV Calc idle), beside its figures: on a shared machine
// rates measured minutes apart are not comparable.
TRawRates MeasureRaw(benchmark::State& state) {
    TRawRates raw;
    raw.Signals = RawSignalRate<TSdBusSubscriber>();
    raw.QtSignals = RawSignalRate<TQtSubscriber>();
    raw.Queries = RawQueryRate();
    raw.Feed = RawFeedRate();
    state.counters["raw_signals/s"] = raw.Signals;
    state.counters["raw_qt_signals/s"] = raw.QtSignals;
    state.counters["raw_queries/s"] = raw.Queries;
    state.counters["ovfeed_alone/s"] = raw.Feed;
    return raw;
}

// --- The receiving side: OV Calc's results and the latency source's item changes ---

// An sd-bus connection on a thread of its own that notes the arrival of every result event of
// OV Calc (counted by output station.sensor, the LAT.Q ones timed by their value) and of every
// item change of the latency source (timed by value: the moment ovfeed sent it, within one
// hop of the bus).
class TListener {
  public:
    TListener() : resultTimes_(LatencyLines), sentTimes_(LatencyLines) {
        if (sd_bus_open_user(&bus_) < 0) return;
        const auto& lat = ov::DataSource(ov::dsMBRtu);
        const std::string calc(ov::CalcBusName), calcPath(ov::CalcObjectPath),
            calcEvents(ov::CalcEventsInterface), latName(lat.BusName), latPath(lat.ObjectPath),
            latEvents(lat.EventsInterface);
        if (sd_bus_match_signal(bus_, nullptr, calc.c_str(), calcPath.c_str(), calcEvents.c_str(),
                                "OnItemChange", &OnResult, this) < 0 ||
            sd_bus_match_signal(bus_, nullptr, latName.c_str(), latPath.c_str(), latEvents.c_str(),
                                "OnItemChange", &OnSent, this) < 0) {
            return;
        }
        sd_bus_message* reply = nullptr;  // the matches are in force once the daemon answered
        sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetId", nullptr, &reply, "");
        sd_bus_message_unref(reply);
        ok_ = true;
        thread_ = std::thread([this] { Run(); });
    }
    ~TListener() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        sd_bus_flush_close_unref(bus_);
    }
    TListener(const TListener&) = delete;
    TListener& operator=(const TListener&) = delete;

    bool Ok() const { return ok_; }

    // Waits until count results of key arrived or the time is up; the arrival of the last one.
    bool WaitResults(const std::string& key, int count, Clock::duration limit,
                     Clock::time_point& last) {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            {
                std::lock_guard<std::mutex> held(lock_);
                auto it = results_.find(key);
                if (it != results_.end() && it->second.Count >= count) {
                    last = it->second.Last;
                    return true;
                }
            }
            if (Clock::now() >= deadline) return false;
            // The arrival times are the listener's: polling here only decides when to look.
            std::this_thread::sleep_for(2ms);
        }
    }
    int Results(const std::string& key) {
        std::lock_guard<std::mutex> held(lock_);
        auto it = results_.find(key);
        return it == results_.end() ? 0 : it->second.Count;
    }
    // The latency lines' send and result times by value (time_point{} when none arrived).
    void LatencyTimes(std::vector<Clock::time_point>& sent,
                      std::vector<Clock::time_point>& result) {
        std::lock_guard<std::mutex> held(lock_);
        sent = sentTimes_;
        result = resultTimes_;
    }

  private:
    struct TCount {
        int Count = 0;
        Clock::time_point Last;
    };

    static bool Data(sd_bus_message* m, std::string_view& data) {
        const char *appID = nullptr, *item = nullptr, *text = nullptr;
        if (sd_bus_message_read(m, "sss", &appID, &item, &text) < 0) return false;
        data = text;
        return true;
    }
    static int OnResult(sd_bus_message* m, void* self, sd_bus_error*) {
        const auto now = Clock::now();
        auto* l = static_cast<TListener*>(self);
        std::string_view data, key;
        long value = 0;
        if (!Data(m, data) || !SplitRecord(data, key, value)) return 0;
        std::lock_guard<std::mutex> held(l->lock_);
        TCount& c = l->results_[std::string(key)];
        ++c.Count;
        c.Last = now;
        if (key == "LAT.Q" && value >= 0 && value < LatencyLines) l->resultTimes_[value] = now;
        return 0;
    }
    static int OnSent(sd_bus_message* m, void* self, sd_bus_error*) {
        const auto now = Clock::now();
        auto* l = static_cast<TListener*>(self);
        std::string_view data, key;
        long value = 0;
        if (!Data(m, data) || !SplitRecord(data, key, value)) return 0;
        std::lock_guard<std::mutex> held(l->lock_);
        if (value >= 0 && value < LatencyLines) l->sentTimes_[value] = now;
        return 0;
    }
    void Run() {
        while (!stop_) {
            int r = sd_bus_process(bus_, nullptr);
            if (r < 0) break;
            if (r == 0) sd_bus_wait(bus_, 100000);
        }
    }

    sd_bus* bus_ = nullptr;  // the listener thread's once it runs
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex lock_;
    std::map<std::string, TCount> results_;       // guarded by lock_
    std::vector<Clock::time_point> resultTimes_;  // guarded by lock_
    std::vector<Clock::time_point> sentTimes_;    // guarded by lock_
};

// --- The scene: three held ovfeeds, ovcalc, the listener ---

enum TPhase { phNoGroup, phCalc, phLatency, phFlood, PhaseCount };

class TEndToEnd {
  public:
    TEndToEnd() {
        folder_ = World().Folder / "e2e";
        std::filesystem::create_directories(folder_);
        const auto calc = folder_ / "ovcalc";
        std::filesystem::copy_file(OV_OVCALC_PATH, calc,
                                   std::filesystem::copy_options::overwrite_existing);
        WriteConfig();
        WriteLines();

        // OV Calc reads the time tags with the C locale's separators. Its instance locks go to
        // a runtime folder of its own: the automation server's lock is one per runtime folder,
        // and another OV Calc on this machine would otherwise keep this one off the bus.
        ::setenv("LC_ALL", "C", 1);
        std::filesystem::create_directories(folder_ / "runtime");
        std::filesystem::permissions(folder_ / "runtime", std::filesystem::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", (folder_ / "runtime").c_str(), 1);
        feeds_.push_back(Feed("rtu", "rtu.txt", false));
        feeds_.push_back(Feed("decoder", "decoder.txt", false));
        feeds_.push_back(Feed("mbrtu", "mbrtu.txt", true));
        ov::TBusNameWatcher watcher;
        for (auto kind : {ov::dsRtu, ov::dsDecoder, ov::dsMBRtu}) {
            if (!WaitFor([&] { return watcher.IsRunning(Q(ov::DataSource(kind).BusName)); }, 20s)) {
                Error = "ovfeed did not start as " + std::string(ov::DataSource(kind).Option);
                return;
            }
        }
        listener_ = std::make_unique<TListener>();
        if (!listener_->Ok()) {
            Error = "cannot listen on the bus";
            return;
        }
        if (sd_bus_open_user(&control_) < 0) {
            Error = "cannot open the control connection";
            return;
        }
        calc_ = std::make_unique<ov::test::TChildProcess>(
            std::vector<std::string>{calc.string(), "-platform", "offscreen"},
            folder_ / "ovcalc.out", folder_ / "ovcalc.log");
        if (!WaitFor([&] { return LogHas("Calculation thread started."); }, 60s)) {
            Error = "ovcalc did not start its calculation thread (see " +
                    (folder_ / "ovcalc.log").string() + ")";
            return;
        }
        // OV Calc announces a result to its clients once somebody follows $TIMETAG.
        if (!WaitFor([&] { return watcher.IsRunning(Q(ov::CalcBusName)); }, 20s)) {
            Error = "ovcalc did not take its bus name";
            return;
        }
        if (!Call(ov::CalcBusName, ov::CalcObjectPath, ov::CalcInterface, "SetItemLink",
                  "$TIMETAG")) {
            Error = "SetItemLink failed: " + callError_;
        }
    }
    ~TEndToEnd() { End(); }
    TEndToEnd(const TEndToEnd&) = delete;
    TEndToEnd& operator=(const TEndToEnd&) = delete;

    // Lets a phase's lines go: links item on the source.
    bool Release(ov::TDataSourceKind kind, const char* item) {
        const auto& s = ov::DataSource(kind);
        return Call(s.BusName, s.ObjectPath, s.Interface, "LinkItem", item);
    }
    // Once per run; false (with the state skipped) when it ran before or the scene failed.
    bool Begin(benchmark::State& state, TPhase phase) {
        if (!Error.empty()) {
            state.SkipWithError(Error.c_str());
            return false;
        }
        if (done_[phase]) {
            state.SkipWithError("the phase's lines were sent already (one run per process)");
            return false;
        }
        done_[phase] = true;
        return true;
    }
    // After the last phase the scene ends, which frees the sources' bus names.
    void Finished() {
        if (std::all_of(std::begin(done_), std::end(done_), [](bool d) { return d; })) End();
    }
    pid_t CalcPid() const { return calc_ ? calc_->Pid() : -1; }
    TListener& Listener() { return *listener_; }
    std::string Error;

  private:
    template <class F>
    static bool WaitFor(F done, Clock::duration limit) {
        const auto deadline = Clock::now() + limit;
        while (!done()) {
            if (Clock::now() >= deadline) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
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
        callError_ = error.message != nullptr ? error.message : "";
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        return r >= 0;
    }
    std::unique_ptr<ov::test::TChildProcess> Feed(const char* as, const char* file, bool paced) {
        std::vector<std::string> argv{OV_OVFEED_PATH, "--as", as, "--wait-link"};
        if (paced) {
            argv.push_back("--rate");
            argv.push_back(std::to_string(LatencyRate));
        }
        argv.push_back((folder_ / file).string());
        return std::make_unique<ov::test::TChildProcess>(argv, std::filesystem::path{},
                                                         folder_ / (std::string(as) + ".log"));
    }
    static void Group(std::ofstream& out, int index, const std::string& function,
                      const std::string& station, const std::string& sensor, bool multi,
                      const std::string& variable, const std::string& value) {
        out << "[CalcGroup:" << index << "]\nCGIndex=" << index << "\nFuncName=" << function
            << "\nEnabled=1\nMultiStations=" << (multi ? 1 : 0)
            << "\nFilter=\nOutputStation=" << station << "\nOutputSensor=" << sensor
            << "\nVariablesName=" << (multi ? "" : variable)
            << "\nVariablesValue=" << (multi ? "" : value)
            << "\nSimilarStations=\nMultiVariablesName=" << (multi ? variable : "")
            << "\nMultiVariablesValue=" << (multi ? value : "")
            << "\nMultiVariablesTrigger=" << (multi ? 0 : -1) << "\n\n";
    }
    void WriteConfig() {
        std::ofstream out(folder_ / "OVCalc.OVG");
        const int count = 4 + IdleGroups;
        out << "[Calc]\nLogDetail=1\nScheduleDelay=0.0000231481481481481\nGroupNames=";
        for (int i = 1; i <= count; ++i) out << (i > 1 ? "," : "") << "CalcGroup:" << i;
        out << "\n\n";
        Group(out, 1, "T", "BENCH", "OUT", true, "T", "BENCH.TRIG");
        Group(out, 2, "H", "CALC", "Q", false, "H", "HG");
        Group(out, 3, "H", "LAT", "Q", false, "H", "HG");
        Group(out, 4, "H", "FLOOD", "Q", false, "H", "HG");
        for (int i = 1; i <= IdleGroups; ++i)
            Group(out, 4 + i, "H * 2 + 1", "S" + std::to_string(i), "Q", false, "H", "HG");
    }
    void WriteLines() {
        std::ofstream rtu(folder_ / "rtu.txt");
        for (int i = 0; i < NoGroupLines; ++i)
            rtu << "$GOESTIMED " << TimeTag(i) << ",IDLE.XX," << i % 100 << ".5\n";
        rtu << "$GOESTIMED " << TimeTag(NoGroupLines) << ",BENCH.TRIG,42\n";
        for (int i = 0; i < FloodLines; ++i)
            rtu << "$GOESRANDOM " << TimeTag(i) << ",FLOOD.HG," << i % 1000 << ".25\n";
        std::ofstream decoder(folder_ / "decoder.txt");
        for (int i = 0; i < CalcLines; ++i)
            decoder << "$REALTIME " << TimeTag(i) << ",CALC.HG," << i % 1000 << ".25\n";
        std::ofstream mbrtu(folder_ / "mbrtu.txt");
        for (int i = 0; i < LatencyLines; ++i)
            mbrtu << "$GOESTIMED " << TimeTag(i) << ",LAT.HG," << i << "\n";
    }
    void End() {
        calc_.reset();
        feeds_.clear();
        listener_.reset();
        if (control_ != nullptr) control_ = sd_bus_flush_close_unref(control_);
        std::error_code ec;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
    }

    std::filesystem::path folder_;
    std::vector<std::unique_ptr<ov::test::TChildProcess>> feeds_;
    std::unique_ptr<TListener> listener_;
    std::unique_ptr<ov::test::TChildProcess> calc_;
    sd_bus* control_ = nullptr;  // the links' connection: they hold while it is open
    std::string callError_;      // the last failed call's message
    bool done_[PhaseCount] = {};
};

TEndToEnd& Scene() {
    static TEndToEnd scene;  // made by the first end-to-end benchmark, on the main thread
    return scene;
}

bool SceneReady(benchmark::State& state, TPhase phase) {
    return Ready(state) && Scene().Begin(state, phase);
}

// (a) NoGroupLines lines that set off no group, then one that does: lines per second until
// its result arrives, against the raw signal rate (target: at least 50 %).
void BM_EndToEnd_NoGroupLines(benchmark::State& state) {
    if (!SceneReady(state, phNoGroup)) return;
    TEndToEnd& scene = Scene();
    const TRawRates raw = MeasureRaw(state);
    constexpr int lines = NoGroupLines + 1;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        Clock::time_point last;
        if (!scene.Release(ov::dsRtu, "$GOESTIMED") ||
            !scene.Listener().WaitResults("BENCH.OUT", 1, 60s, last)) {
            state.SkipWithError("the group's result did not arrive");
            break;
        }
        seconds = Seconds(last - start);
        state.SetIterationTime(seconds);
    }
    if (seconds > 0) {
        state.SetItemsProcessed(lines);
        state.counters["lines/s"] = lines / seconds;
        state.counters["%_of_raw_signals"] = 100 * lines / seconds / raw.Signals;
        state.counters["%_of_raw_qt_signals"] = 100 * lines / seconds / raw.QtSignals;
        state.SetLabel(Verdict(100 * lines / seconds / raw.Signals >= NoGroupTarget,
                               "lines/s >= 50 % of raw_signals/s"));
    }
    scene.Finished();
}
BENCHMARK(BM_EndToEnd_NoGroupLines)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// (b) One calculation per line, each with its RoundOffTime query: calculations per second,
// against the raw setup-query rate (target: at least 70 %).
void BM_EndToEnd_CalcPerLine(benchmark::State& state) {
    if (!SceneReady(state, phCalc)) return;
    TEndToEnd& scene = Scene();
    const TRawRates raw = MeasureRaw(state);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        Clock::time_point last;
        if (!scene.Release(ov::dsDecoder, "$REALTIME") ||
            !scene.Listener().WaitResults("CALC.Q", CalcLines, 90s, last)) {
            state.SkipWithError(
                ("only " + std::to_string(scene.Listener().Results("CALC.Q")) + " results arrived")
                    .c_str());
            break;
        }
        seconds = Seconds(last - start);
        state.SetIterationTime(seconds);
    }
    if (seconds > 0) {
        state.SetItemsProcessed(CalcLines);
        state.counters["lines/s"] = CalcLines / seconds;
        state.counters["%_of_raw_queries"] = 100 * CalcLines / seconds / raw.Queries;
        state.SetLabel(Verdict(100 * CalcLines / seconds / raw.Queries >= CalcTarget,
                               "lines/s >= 70 % of raw_queries/s"));
    }
    scene.Finished();
}
BENCHMARK(BM_EndToEnd_CalcPerLine)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Latency from the item change (as this process receives ovfeed's signal) to the result event,
// one calculation per line at LatencyRate lines per second (target: p99 under 5 ms).
void BM_EndToEnd_Latency1000(benchmark::State& state) {
    if (!SceneReady(state, phLatency)) return;
    TEndToEnd& scene = Scene();
    MeasureRaw(state);
    std::vector<double> ms;
    int lost = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        Clock::time_point last;
        const bool all =
            scene.Release(ov::dsMBRtu, "$GOESTIMED") &&
            scene.Listener().WaitResults(
                "LAT.Q", LatencyLines, std::chrono::seconds(LatencyLines / LatencyRate + 30), last);
        std::vector<Clock::time_point> sent, result;
        scene.Listener().LatencyTimes(sent, result);
        for (int i = 0; i < LatencyLines; ++i) {
            if (sent[i] == Clock::time_point{} || result[i] == Clock::time_point{}) {
                ++lost;
                continue;
            }
            ms.push_back(1000 * Seconds(result[i] - sent[i]));
        }
        if (!all || ms.empty()) {
            state.SkipWithError(("only " + std::to_string(ms.size()) + " of " +
                                 std::to_string(LatencyLines) + " results arrived")
                                    .c_str());
            break;
        }
        seconds = Seconds(last - start);
        state.SetIterationTime(seconds);
    }
    if (!ms.empty() && seconds > 0) {
        std::sort(ms.begin(), ms.end());
        auto at = [&](double q) {
            return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * ms.size()))];
        };
        state.counters["p50_ms"] = at(0.50);
        state.counters["p99_ms"] = at(0.99);
        state.counters["max_ms"] = ms.back();
        state.counters["lines/s"] = LatencyLines / seconds;
        state.counters["lost"] = lost;
        const bool rateKept = LatencyLines / seconds >= LatencyRate * RateKeptTarget / 100;
        state.SetLabel(Verdict(at(0.99) < LatencyP99Target && rateKept && lost == 0,
                               "p99_ms < 5 at 1000 lines/s, none lost"));
    }
    scene.Finished();
}
BENCHMARK(BM_EndToEnd_Latency1000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// A flood of FloodLines lines, one calculation each, as fast as ovfeed sends them: ovcalc's
// peak resident size (VmHWM) before and after, and the lines per second.
void BM_EndToEnd_Flood(benchmark::State& state) {
    if (!SceneReady(state, phFlood)) return;
    TEndToEnd& scene = Scene();
    MeasureRaw(state);
    double seconds = 0;
    long before = 0, peak = 0;
    for (auto _ : state) {
        Clock::time_point last;
        // The flood's lines wait behind those of (a) on the same source.
        if (scene.Listener().Results("BENCH.OUT") == 0 &&
            (!scene.Release(ov::dsRtu, "$GOESTIMED") ||
             !scene.Listener().WaitResults("BENCH.OUT", 1, 60s, last))) {
            state.SkipWithError("the lines before the flood did not pass");
            break;
        }
        before = StatusKB(scene.CalcPid(), "VmHWM");
        const auto start = Clock::now();
        if (!scene.Release(ov::dsRtu, "$GOESRANDOM") ||
            !scene.Listener().WaitResults("FLOOD.Q", FloodLines, 90s, last)) {
            state.SkipWithError(
                ("only " + std::to_string(scene.Listener().Results("FLOOD.Q")) + " results arrived")
                    .c_str());
            break;
        }
        seconds = Seconds(last - start);
        peak = StatusKB(scene.CalcPid(), "VmHWM");
        state.SetIterationTime(seconds);
    }
    if (seconds > 0) {
        state.SetItemsProcessed(FloodLines);
        state.counters["lines/s"] = FloodLines / seconds;
        state.counters["VmHWM_before_MB"] = before / 1024.0;
        state.counters["VmHWM_after_MB"] = peak / 1024.0;
        state.SetLabel("VmHWM_after_MB: ovcalc's peak resident size after the flood");
    }
    scene.Finished();
}
BENCHMARK(BM_EndToEnd_Flood)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
