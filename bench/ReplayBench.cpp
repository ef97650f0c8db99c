// ovtool replay of a generated archive, run as a user runs it: 10^3 stations reporting every
// quarter hour, two in three with current values ($REALTIME), one in three by satellite
// ($GOESTIMED); a rating-table group with the gauge shift (an attribute) and a RoundOffTime per
// station, a unit conversion for every station, and 100 multiple-station groups: 2.1
// calculations a line.
//
// BM_Replay/N (N lines): lines/s, the process's processor time per calculation (cpu_ns/calc)
// against muparser's evaluation of the same equations parsed once (muparser_ns/calc, the mix
// of the archive's calculations, a rating table as a function calling the same table, the
// shift as a variable): x_muparser, target under 10; peak_MB, the process's peak resident
// size, about the same at 10^6 and 10^7 lines.
// BM_Replay_EndToEnd (with the bus programs built): a prefix of the same archive fed by ovfeed
// through a private bus to a running OV Calc (end_to_end_lines/s, first to last result), and the
// whole archive replayed right after it: x_end_to_end, target at least 20.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "calc/RatingTables.h"
#include "util/TimeTag.h"

#ifdef OV_HAVE_MUPARSER
#include <muParser.h>
#endif

#ifdef OV_OVCALC_PATH
#include <systemd/sd-bus.h>

#include <atomic>
#include <mutex>

#include "PrivateBus.h"
#include "busnames/BusNames.h"
#endif

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int Stations = 1000;
constexpr int Tables = 10;
constexpr int MultiGroups = 100;
// Calculations a line: the table group and the conversion of its station, and every tenth
// station's rain the trigger of a multiple-station group.
constexpr double CalcsPerLine = 2.1;
constexpr double MuparserTarget = 10;
constexpr double EndToEndTarget = 20;
constexpr long EndToEndLines = 20000;

std::string Verdict(bool met, const std::string& target) {
    return (met ? "met: " : "MISSED: ") + target;
}

// The date-time text of a time tag as the C locale writes it (the replay runs under LC_ALL=C).
std::string TagText(ov::TTimeTag tag) {
    int y, mo, d, h, mi, s;
    ov::DecodeTimeTag(tag, y, mo, d, h, mi, s);
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", mo, d, y, h, mi, s);
    return text;
}

std::string StationName(int s) {
    char name[16];
    std::snprintf(name, sizeof name, "ST%04d", s);
    return name;
}

void Group(std::ofstream& out, int index, const std::string& function, const std::string& station,
           const std::string& sensor, bool multi, const std::string& names,
           const std::string& values, const std::string& similar, int trigger) {
    out << "[CalcGroup:" << index << "]\nCGIndex=" << index << "\nFuncName=" << function
        << "\nEnabled=1\nMultiStations=" << (multi ? 1 : 0)
        << "\nFilter=\nOutputStation=" << station << "\nOutputSensor=" << sensor
        << "\nVariablesName=" << (multi ? "" : names)
        << "\nVariablesValue=" << (multi ? "" : values) << "\nSimilarStations=" << similar
        << "\nMultiVariablesName=" << (multi ? names : "")
        << "\nMultiVariablesValue=" << (multi ? values : "")
        << "\nMultiVariablesTrigger=" << trigger << "\n\n";
}

// The bench's folder: the configuration, the settings, the rating tables and the archives.
class TReplayWorld {
  public:
    TReplayWorld() {
        Folder = fs::temp_directory_path() / ("ovbench-replay-" + std::to_string(::getpid()));
        fs::create_directories(Folder / "tables");
        for (int t = 0; t < Tables; ++t) {
            std::ofstream table(Folder / "tables" / ("RATING" + std::to_string(t) + ".TBL"));
            table << "LOGLOG\r\n";
            for (int i = 1; i <= 100; ++i)
                table << i * 0.05 << "," << (i * 0.05) * (i * 0.05) * (10 + t) << "\r\n";
        }
        std::ofstream setup(Folder / "OVSetup.ini");
        setup << "[General]\nTableDirectory=tables\nRtuEnabled=True\nUseNullValue=True\n"
                 "NullValue=-9999\nNullOnMissing=True\n\n[DataServer]\nStorageOption=10\n\n"
                 "[Params]\n";
        for (int s = 0; s < Stations; ++s) {
            setup << "Sensor:" << StationName(s) << ":HG,Shift=0.0" << s % 10 << "\n";
            setup << "Sensor:" << StationName(s) << ":Q,RoundOffTime=00:15:00\n";
        }
        std::ofstream config(Folder / "OVCalc.OVG");
        const int groups = Tables + 1 + MultiGroups;
        config << "[Calc]\nLogDetail=1\nGroupNames=";
        for (int i = 1; i <= groups; ++i) config << (i > 1 ? "," : "") << "CalcGroup:" << i;
        config << "\n\n";
        int index = 1;
        for (int t = 0; t < Tables; ++t) {
            std::string similar;
            for (int s = t * 100 + 1; s < t * 100 + 100; ++s)
                similar += (similar.empty() ? "" : ",") + StationName(s);
            Group(config, index++,
                  "ROUND(TABLE(RATING" + std::to_string(t) + ", H + SHIFT(H)) * 1000) / 1000",
                  StationName(t * 100), "Q", false, "H", "HG", similar, -1);
        }
        std::string all;
        for (int s = 1; s < Stations; ++s) all += (all.empty() ? "" : ",") + StationName(s);
        Group(config, index++, "(T - 32) * 5 / 9", StationName(0), "TC", false, "T", "TA", all, -1);
        for (int m = 0; m < MultiGroups; ++m) {
            const int k = m * 10;
            Group(
                config, index++, "(A + B + C) / 3", "BASIN" + std::to_string(m), "PC", true,
                "A,B,C",
                StationName(k) + ".PC," + StationName(k + 1) + ".PC," + StationName(k + 2) + ".PC",
                "", 2);
        }
    }
    ~TReplayWorld() {
        std::error_code ec;
        fs::remove_all(Folder, ec);
    }

    // The first lines of the archive, written once.
    fs::path Archive(long lines) {
        const fs::path file = Folder / ("archive-" + std::to_string(lines) + ".txt");
        if (fs::exists(file)) return file;
        std::FILE* out = std::fopen(file.c_str(), "w");
        const ov::TTimeTag base = ov::MakeTimeTag(2026, 8, 1, 0, 0, 0);
        for (long i = 0; i < lines; ++i) {
            const long round = i / Stations;
            const int s = static_cast<int>(i % Stations);
            const auto tag = static_cast<ov::TTimeTag>(base + round * 900 + s / 4);
            std::fprintf(out, "%s %s,ST%04d.HG,%.2f,ST%04d.TA,%ld.5,ST%04d.PC,0.%ld\n",
                         s % 3 == 0 ? "$GOESTIMED" : "$REALTIME", TagText(tag).c_str(), s,
                         0.5 + static_cast<double>((round * 7 + s) % 40) / 10, s,
                         50 + (round + s) % 30, s, (round * s) % 9);
        }
        std::fclose(out);
        return file;
    }

    fs::path Folder;
};

TReplayWorld& ReplayWorld() {
    static TReplayWorld world;
    return world;
}

struct TReplayRun {
    bool Ok = false;
    double Seconds = 0;
    double CpuSeconds = 0;
    double PeakMB = 0;
    long Lines = 0;
    long Records = 0;
    long Errors = 0;
    std::string Summary;
};

double CpuOf(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// ovtool replay of archive as a process: its time, processor time and peak resident size.
TReplayRun RunReplay(const fs::path& archive) {
    TReplayRun run;
    TReplayWorld& w = ReplayWorld();
    const std::string err = (w.Folder / "replay.err").string();
    std::vector<std::string> argv{OV_OVTOOL_PATH,  "replay",
                                  "--config",      (w.Folder / "OVCalc.OVG").string(),
                                  "--setup",       (w.Folder / "OVSetup.ini").string(),
                                  "--as",          "rtu",
                                  "--no-progress", archive.string()};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::setenv("LC_ALL", "C", 1);
    pid_t pid = -1;
    const auto start = Clock::now();
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid) return run;
    run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.CpuSeconds = CpuOf(usage);
    run.PeakMB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    std::ifstream in(err);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("ovtool replay: ", 0) == 0) run.Summary = line;
    std::sscanf(run.Summary.c_str(), "ovtool replay: %ld lines read, %ld records, %ld", &run.Lines,
                &run.Records, &run.Errors);
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && run.Records > 0;
    return run;
}

// Processor time of the calling thread, in nanoseconds.
double ThreadNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

#ifdef OV_HAVE_MUPARSER
// The rating table a muparser function stands for: the same table through the same cache.
struct TMuTable {
    ov::rating::TTables* Tables;
    std::string Name;
};
double MuTable(void* table, double x) {
    auto* t = static_cast<TMuTable*>(table);
    return t->Tables->TableValue(t->Name, x);
}
double MuRound(double x) {
    return std::round(x);
}

// muparser's nanoseconds per calculation of the archive's mix, each equation parsed once: the
// median of rounds of (table + conversion + 0.1 multiple-station) / 2.1.
double MuparserNsPerCalculation() {
    TReplayWorld& w = ReplayWorld();
    ov::rating::TTables tables([&w] { return (w.Folder / "tables").string(); });
    TMuTable table{&tables, "RATING3"};
    double h = 2.5, shift = 0.03, t = 61.5, a = 0.1, b = 0.4, c = 0.7;
    mu::Parser rating, conversion, multi;
    rating.DefineFunUserData("rating", MuTable, &table);
    rating.DefineFun("round", MuRound);
    rating.DefineVar("H", &h);
    rating.DefineVar("shift", &shift);
    rating.SetExpr("round(rating(H + shift) * 1000) / 1000");
    conversion.DefineVar("T", &t);
    conversion.SetExpr("(T - 32) * 5 / 9");
    multi.DefineVar("A", &a);
    multi.DefineVar("B", &b);
    multi.DefineVar("C", &c);
    multi.SetExpr("(A + B + C) / 3");
    constexpr int Rounds = 15, Calls = 20000;
    std::vector<double> ns;
    for (int r = 0; r < Rounds; ++r) {
        const double start = ThreadNs();
        for (int i = 0; i < Calls; ++i) {
            h = 0.5 + (i % 40) * 0.1;  // the stages of the archive
            benchmark::DoNotOptimize(rating.Eval());
            benchmark::DoNotOptimize(conversion.Eval());
            if (i % 10 == 0) benchmark::DoNotOptimize(multi.Eval());
        }
        ns.push_back((ThreadNs() - start) / (Calls * CalcsPerLine));
    }
    std::nth_element(ns.begin(), ns.begin() + Rounds / 2, ns.end());
    return ns[Rounds / 2];
}
#endif

void Report(benchmark::State& state, const TReplayRun& run) {
    state.counters["lines/s"] = static_cast<double>(run.Lines) / run.Seconds;
    state.counters["calcs/s"] = static_cast<double>(run.Records) / run.Seconds;
    state.counters["cpu_ns/calc"] = run.CpuSeconds * 1e9 / static_cast<double>(run.Records);
    state.counters["wall_ns/calc"] = run.Seconds * 1e9 / static_cast<double>(run.Records);
    state.counters["peak_MB"] = run.PeakMB;
}

void BM_Replay(benchmark::State& state) {
    const long lines = state.range(0);
    const fs::path archive = ReplayWorld().Archive(lines);
    TReplayRun run;
    double muNs = 0;
    for (auto _ : state) {
#ifdef OV_HAVE_MUPARSER
        muNs = MuparserNsPerCalculation();
#endif
        run = RunReplay(archive);
        if (!run.Ok) {
            state.SkipWithError(("the replay failed: " + run.Summary).c_str());
            return;
        }
        state.SetIterationTime(run.Seconds);
    }
    Report(state, run);
    state.counters["records"] = static_cast<double>(run.Records);
    if (muNs > 0) {
        const double x = run.CpuSeconds * 1e9 / static_cast<double>(run.Records) / muNs;
        state.counters["muparser_ns/calc"] = muNs;
        state.counters["x_muparser"] = x;
        state.SetLabel(Verdict(x < MuparserTarget, "cpu_ns/calc under 10 x muparser_ns/calc"));
    }
    if (run.Errors > 0) state.SetLabel("calculation errors: " + run.Summary);
}
BENCHMARK(BM_Replay)->Arg(1000000)->Arg(10000000)->UseManualTime()->Iterations(1)->Unit(
    benchmark::kSecond);

#ifdef OV_OVCALC_PATH
// A session bus daemon and the programs on it, none of which touches this process's bus: the
// address goes to the children only.
class TPrivateScene {
  public:
    TPrivateScene() {
        folder_ = ReplayWorld().Folder / "live";
        fs::create_directories(folder_ / "runtime");
        fs::permissions(folder_ / "runtime", fs::perms::owner_all);
        for (const char* program : {OV_OVCALC_PATH, OV_OVSETUP_PATH})
            fs::copy_file(program, folder_ / fs::path(program).filename(),
                          fs::copy_options::overwrite_existing);
        fs::copy_file(ReplayWorld().Folder / "OVCalc.OVG", folder_ / "OVCalc.OVG",
                      fs::copy_options::overwrite_existing);
        fs::copy_file(ReplayWorld().Folder / "OVSetup.ini", folder_ / "OVSetup.ini",
                      fs::copy_options::overwrite_existing);
        fs::create_directory_symlink(ReplayWorld().Folder / "tables", folder_ / "tables");

        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            Error = "cannot make a pipe";
            return;
        }
        daemon_ = std::make_unique<ov::test::TChildProcess>(
            std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nosyslog",
                                     "--print-address"},
            fds[1]);
        ::close(fds[1]);
        std::string line;
        char buffer[512];
        ssize_t n;
        while (line.find('\n') == std::string::npos && (n = ::read(fds[0], buffer, 512)) > 0)
            line.append(buffer, static_cast<std::size_t>(n));
        ::close(fds[0]);
        if (line.find('\n') == std::string::npos) {
            Error = "dbus-daemon did not start";
            return;
        }
        address_ = line.substr(0, line.find('\n'));
    }
    ~TPrivateScene() {
        feed_.reset();
        if (calc_) {
            Program({(folder_ / "ovsetup").string(), "--quit"}, "quit.err")
                ->Wait(std::chrono::seconds(5));
            calc_.reset();
        }
        if (bus_ != nullptr) sd_bus_flush_close_unref(bus_);
        daemon_.reset();
    }
    TPrivateScene(const TPrivateScene&) = delete;
    TPrivateScene& operator=(const TPrivateScene&) = delete;

    std::unique_ptr<ov::test::TChildProcess> Program(std::vector<std::string> argv,
                                                     const std::string& err) {
        std::vector<std::string> env{"env", "DBUS_SESSION_BUS_ADDRESS=" + address_,
                                     "XDG_RUNTIME_DIR=" + (folder_ / "runtime").string(),
                                     "LC_ALL=C", "QT_QPA_PLATFORM=offscreen"};
        env.insert(env.end(), argv.begin(), argv.end());
        return std::make_unique<ov::test::TChildProcess>(env, fs::path{}, folder_ / err);
    }

    // Starts OV Calc and links its results on a connection of this scene's own.
    bool StartCalc() {
        calc_ = Program({(folder_ / "ovcalc").string(), "-platform", "offscreen"}, "ovcalc.err");
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        while (!LogHas("Calculation thread started.")) {
            if (Clock::now() > deadline) {
                Error = "ovcalc did not start its calculation thread";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (sd_bus_new(&bus_) < 0 || sd_bus_set_address(bus_, address_.c_str()) < 0 ||
            sd_bus_set_bus_client(bus_, 1) < 0 || sd_bus_start(bus_) < 0) {
            Error = "cannot connect to the private bus";
            return false;
        }
        const std::string name(ov::CalcBusName), path(ov::CalcObjectPath),
            interface(ov::CalcInterface), events(ov::CalcEventsInterface);
        sd_bus_match_signal(bus_, nullptr, name.c_str(), path.c_str(), events.c_str(),
                            "OnItemChange", &OnResult, this);
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        const int r = sd_bus_call_method(bus_, name.c_str(), path.c_str(), interface.c_str(),
                                         "SetItemLink", &error, &reply, "ss",
                                         "{6D1F2A83-0C5B-4E8E-A7D2-9B3C41E0F5A8}", "$TIMETAG");
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        if (r < 0) Error = "SetItemLink failed";
        return r >= 0;
    }
    // Feeds file as the RTU poller and waits for count results: seconds from the first to the
    // last, 0 when they did not all come.
    double Feed(const fs::path& file, long count) {
        feed_ = Program({OV_OVFEED_PATH, "--as", "rtu", file.string()}, "ovfeed.err");
        const auto deadline = Clock::now() + std::chrono::seconds(300);
        while (results_ < count && Clock::now() < deadline) {
            const int r = sd_bus_process(bus_, nullptr);
            if (r < 0) break;
            if (r == 0) sd_bus_wait(bus_, 100000);
        }
        if (results_ < count) return 0;
        return std::chrono::duration<double>(last_ - first_).count();
    }
    long Results() const { return results_; }
    std::string Error;

  private:
    static int OnResult(sd_bus_message*, void* self, sd_bus_error*) {
        auto* scene = static_cast<TPrivateScene*>(self);
        scene->last_ = Clock::now();
        if (scene->results_++ == 0) scene->first_ = scene->last_;
        return 0;
    }
    bool LogHas(const std::string& text) const {
        std::ifstream log(folder_ / "ovcalc.err");
        std::string line;
        while (std::getline(log, line))
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    fs::path folder_;
    std::string address_;
    std::unique_ptr<ov::test::TChildProcess> daemon_, calc_, feed_;
    sd_bus* bus_ = nullptr;
    long results_ = 0;
    Clock::time_point first_, last_;
};

void BM_Replay_EndToEnd(benchmark::State& state) {
    const fs::path prefix = ReplayWorld().Archive(EndToEndLines);
    const fs::path archive = ReplayWorld().Archive(1000000);
    // The prefix's records, as OV Calc must publish them.
    const TReplayRun expected = RunReplay(prefix);
    if (!expected.Ok) {
        state.SkipWithError(("the replay of the prefix failed: " + expected.Summary).c_str());
        return;
    }
    double liveSeconds = 0;
    TReplayRun run;
    for (auto _ : state) {
        TPrivateScene scene;
        if (!scene.Error.empty() || !scene.StartCalc()) {
            state.SkipWithError(scene.Error.c_str());
            return;
        }
        liveSeconds = scene.Feed(prefix, expected.Records);
        if (liveSeconds <= 0) {
            state.SkipWithError(("only " + std::to_string(scene.Results()) + " of " +
                                 std::to_string(expected.Records) + " results arrived live")
                                    .c_str());
            return;
        }
        run = RunReplay(archive);
        if (!run.Ok) {
            state.SkipWithError(("the replay failed: " + run.Summary).c_str());
            return;
        }
        state.SetIterationTime(liveSeconds);
    }
    const double live = static_cast<double>(EndToEndLines) / liveSeconds;
    const double replay = static_cast<double>(run.Lines) / run.Seconds;
    state.counters["end_to_end_lines/s"] = live;
    state.counters["replay_lines/s"] = replay;
    state.counters["x_end_to_end"] = replay / live;
    state.SetLabel(Verdict(replay / live >= EndToEndTarget,
                           "replay_lines/s at least 20 x end_to_end_lines/s"));
}
BENCHMARK(BM_Replay_EndToEnd)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
#endif

}  // namespace
