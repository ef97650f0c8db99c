// ovbridge: a companion program between OV Calc on the session bus and an MQTT broker. It
// publishes every result record OV Calc announces and announces the station records that arrive
// on the broker to OV Calc as a data source; "ovbridge --status" asks a running bridge how it
// fares.
#include <mosquitto.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "Bridge.h"
#include "BridgeSettings.h"
#include "busnames/BusNames.h"
#include "sdbus/SdBus.h"
#include "util/ProgramInfo.h"

namespace {

constexpr const char* Usage =
    R"(Usage: ovbridge [--as SOURCE] [--shard K/N] [--engine NAME] SETTINGS
  or:  ovbridge --status
  or:  ovbridge --help | --version

Bridges OV Calc on the session bus and an MQTT broker (settings in the INI file SETTINGS).

Results out: ovbridge links OV Calc's items $TIMETAG and $REALTIME and publishes every result
record, with QoS 1, on these topics (PREFIX: ovcalc unless the settings say otherwise):
  PREFIX/out/STATION/SENSOR    a JSON message: {"id": UUID, "time": ISO 8601 with the zone's
                               offset, "station", "sensor", "value": a number, or null for the
                               suite's null value, "group": the group's number when known}
  PREFIX/last/STATION/SENSOR   the same, retained: a new subscriber sees every last value
  PREFIX/records               the record line, e.g. 12/08/2026 20:00:00,RIVER1.Q,38.422
A "/", "+", "#" or "%" in a station or sensor name is written %2F, %2B, %23 or %25. Results
wait in memory while the broker cannot take them, at most QueueSize records: when the queue
is full the oldest are dropped and counted.

Station records in (with --as): ovbridge subscribes to PREFIX/in/# (InTopic) with QoS 1 and
announces each message to OV Calc as the data source SOURCE does (decoder, mdecoder, rtu or
mbrtu; OV Calc must have that source switched on). A message is one station record: a data
line as a data source sends it, optionally after its item name, such as

  12/08/2026 20:00:10,RIVER1.HG,1.82,RIVER1.TA,11.8

  $TIMETAG 12/08/2026 20:45:00,MET1.TF,54.5

or the JSON form, in which null stands for the suite's null value and "item" may name the
item, such as

  {"station": "RIVER1", "time": "2026-12-08T20:00:10", "values": {"HG": 1.82, "TA": 11.8}}

A time without an offset is the zone's local time. Without an item name a record goes as the
source's first item ($GOESTIMED for the decoders, $REALTIME for the RTU pollers). A message of
neither form is counted, reported once per topic on standard error, and dropped whole. Records
wait, at most HoldSize, until OV Calc has linked the source and calculates.

Several engines on one broker: with --shard K/N the bridge takes in only the records of the
stations that fall to shard K (0 to N-1): the station's name (the record's first station),
ASCII letters in upper case, hashed with 32-bit FNV-1a (offset basis 2166136261, prime
16777619), modulo N. "ovtool check --shards N OVCalc.OVG" names the groups whose stations fall
to different shards.

Health: a retained message on PREFIX/status/ENGINE says {"state": "online"} with the version,
the start time and (when results were lost from a full queue) their number, "dropped"; and
{"state": "offline"} when the bridge ends or (the connection's last will) when its connection
is lost. The session is persistent: the broker keeps the QoS 1
records for the bridge's client id while it is away. MQTT 5 is used unless the broker refuses
it, then MQTT 3.1.1. A lost connection is made again after ReconnectMin seconds, the wait
doubling up to ReconnectMax.

  --as SOURCE     take station records in and announce them as SOURCE:
                  decoder, mdecoder, rtu or mbrtu (the bus name of that data source)
  --shard K/N     take in only the stations of shard K of N
  --engine NAME   the engine's name (default: [Bridge] Engine, else the host name): the
                  status topic's last level and the default client id "ovbridge-NAME"
  --status        print how the bridge on this session bus fares: connected or not, messages
                  in and out, queued, dropped
  --help          show this text
  --version       show the version

SETTINGS (UTF-8 INI; relative paths count from its folder):
  [Broker]  Host (localhost), Port (1883), KeepAlive (30 s), ClientId (ovbridge-ENGINE),
            Protocol (auto, 5 or 3.1.1), User, PasswordFile (its first line is the password),
            CAFile (TLS with this CA), CertFile and KeyFile (the client's certificate),
            ReconnectMin (1 s), ReconnectMax (60 s)
  [Bridge]  Engine, Prefix (ovcalc), InTopic (PREFIX/in/#), QueueSize (10000), HoldSize
            (10000), TimeZone (an IANA name; default the machine's), Groups (OV Calc's
            configuration file, for the results' group numbers)
  [WIS2]    Centre, DataPolicy (core or recommended), MetadataId, Link ({station} and
            {sensor} replaced): with Centre set, every result of a station placed in
            [WIS2 Stations] also goes out as a WIS2 notification (QoS 1, not retained) on
            origin/a/wis2/CENTRE/data/POLICY/hydrology/experimental/STATION/SENSOR
  [WIS2 Stations]  STATION=LATITUDE,LONGITUDE[,ELEVATION] in degrees and metres
The broker's password is never given on the command line or in SETTINGS: it is the first
line of PasswordFile, else the environment variable OVBRIDGE_PASSWORD.

Exit status: 0 after SIGINT, SIGTERM or SIGHUP (what is queued is sent for up to 5 s, then
"offline"); 1 when the bridge cannot start or the session bus goes away; 2 for a usage error.
With --status: 0 when a bridge answered, 1 when none runs.
)";

int UsageError(const std::string& what) {
    return ov::UsageError("ovbridge", what);
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "ovbridge: %s\n", what.c_str());
    return 1;
}

bool ParseShard(const std::string& text, int& shard, int& shards) {
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos) return false;
    const char* begin = text.data();
    const char* middle = begin + slash;
    const char* end = begin + text.size();
    auto [a, ea] = std::from_chars(begin, middle, shard);
    auto [b, eb] = std::from_chars(middle + 1, end, shards);
    return ea == std::errc() && a == middle && eb == std::errc() && b == end && shards >= 1 &&
           shards <= 1024 && shard >= 0 && shard < shards;
}

// The text of a property of the running bridge (sd-bus hands the reply with its variant
// entered); false when it cannot be read.
bool Property(sd_bus* bus, const char* name, char type, std::string& text) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const char signature[2] = {type, '\0'};
    int r = sd_bus_get_property(bus, ovbridge::BridgeBusName, ovbridge::BridgeObjectPath,
                                ovbridge::BridgeInterface, name, &error, &reply, signature);
    sd_bus_error_free(&error);
    const ov::TSdMessage answer(reply);
    if (r < 0) return false;
    if (type == 's') {
        const char* s = nullptr;
        if (sd_bus_message_read(reply, "s", &s) < 0) return false;
        text = s;
    } else if (type == 'b') {
        int b = 0;
        if (sd_bus_message_read(reply, "b", &b) < 0) return false;
        text = b != 0 ? "yes" : "no";
    } else {
        std::uint64_t t = 0;
        if (sd_bus_message_read(reply, "t", &t) < 0) return false;
        text = std::to_string(t);
    }
    return true;
}

int Status() {
    sd_bus* opened = nullptr;
    int r = sd_bus_open_user(&opened);
    if (r < 0) return Fail("cannot reach the session bus: " + ov::SdErrorText(r));
    const ov::TSdBus bus(opened);
    struct TLine {
        const char* Label;
        const char* Property;
        char Type;
    };
    static const TLine lines[] = {
        {"version", "Version", 's'},
        {"engine", "Engine", 's'},
        {"shard", "Shard", 's'},
        {"started", "Started", 's'},
        {"broker", "Broker", 's'},
        {"connected", "Connected", 'b'},
        {"protocol", "Protocol", 's'},
        {"OV Calc linked", "CalcLinked", 'b'},
        {"results in", "ResultsIn", 't'},
        {"unreadable results", "Unreadable", 't'},
        {"messages out", "MessagesOut", 't'},
        {"queued", "Queued", 't'},
        {"in flight", "InFlight", 't'},
        {"dropped", "Dropped", 't'},
        {"refused", "Refused", 't'},
        {"data source", "Source", 's'},
        {"OV Calc takes data", "SourceTaken", 'b'},
        {"messages in", "MessagesIn", 't'},
        {"announced", "Announced", 't'},
        {"held", "Held", 't'},
        {"malformed", "Malformed", 't'},
        {"other shards", "OtherShard", 't'},
        {"dropped in", "InDropped", 't'},
    };
    std::string out;
    for (const TLine& line : lines) {
        std::string text;
        if (!Property(bus.get(), line.Property, line.Type, text)) {
            if (&line == &lines[0]) {
                return Fail(std::string("no ovbridge runs on this session bus (") +
                            ovbridge::BridgeBusName + " has no owner)");
            }
            return Fail(std::string("the bridge did not tell its ") + line.Label);
        }
        if (text.empty() && (line.Type == 's') && &line != &lines[0]) text = "-";
        out += std::string(line.Label) + ": " + text + "\n";
    }
    std::fputs(out.c_str(), stdout);
    return 0;
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string file, engine, source;
    int shard = 0, shards = 1;
    bool status = false, shardGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (a == "--version") {
            int major = 0, minor = 0, revision = 0;
            mosquitto_lib_version(&major, &minor, &revision);
            std::fputs(ov::VersionText("ovbridge").c_str(), stdout);
            std::printf("MQTT client: libmosquitto %d.%d.%d\n", major, minor, revision);
            return 0;
        }
        const bool takesValue = a == "--as" || a == "--shard" || a == "--engine";
        if (takesValue && i + 1 >= args.size()) return UsageError(a + " needs a value");
        if (a == "--as") {
            source = args[++i];
            if (ov::FindDataSource(source) == nullptr) {
                return UsageError("--as takes decoder, mdecoder, rtu or mbrtu, not \"" + source +
                                  "\"");
            }
        } else if (a == "--shard") {
            if (!ParseShard(args[++i], shard, shards)) {
                return UsageError("--shard takes K/N with 0 <= K < N <= 1024, not \"" + args[i] +
                                  "\"");
            }
            shardGiven = true;
        } else if (a == "--engine") {
            engine = args[++i];
            if (engine.empty()) return UsageError("--engine takes a name, not an empty text");
        } else if (a == "--status") {
            status = true;
        } else if (a.rfind("--password", 0) == 0) {
            return UsageError(
                "a password is never given on the command line: name a "
                "PasswordFile in the settings or set OVBRIDGE_PASSWORD");
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("unknown option '" + a + "'");
        } else if (file.empty()) {
            file = a;
        } else {
            return UsageError("one settings file only, not also \"" + a + "\"");
        }
    }
    if (status) {
        if (!file.empty() || !source.empty() || shardGiven || !engine.empty())
            return UsageError("--status takes nothing else");
        return Status();
    }
    if (file.empty()) return UsageError("the settings file is missing");

    ovbridge::TBridgeOptions options;
    std::vector<std::string> warnings;
    std::string why;
    if (!ovbridge::LoadBridgeSettings(file, options.Settings, warnings, why)) return Fail(why);
    for (const auto& warning : warnings) std::fprintf(stderr, "ovbridge: %s\n", warning.c_str());
    std::string warning;
    if (!ovbridge::ReadBrokerPassword(options.Settings, options.Password, options.PasswordGiven,
                                      warning, why))
        return Fail(why);
    if (!warning.empty()) std::fprintf(stderr, "ovbridge: %s\n", warning.c_str());
    options.Source = source.empty() ? nullptr : ov::FindDataSource(source);
    options.Shard = shard;
    options.Shards = shards;
    options.Engine = !engine.empty()                    ? engine
                     : !options.Settings.Engine.empty() ? options.Settings.Engine
                                                        : HostName();
    options.ClientId = options.Settings.ClientId.empty() ? "ovbridge-" + options.Engine
                                                         : options.Settings.ClientId;
    options.Version = std::string(ov::ProgramVersion());

    mosquitto_lib_init();
    int result = 0;
    {
        ovbridge::TBridge bridge(std::move(options));
        result = bridge.Run();
    }
    mosquitto_lib_cleanup();
    return result;
}
