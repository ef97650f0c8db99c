// ovclient: a command-line client of OV Calc on the session bus. Of its automation object it
// follows items (each change's data line printed as it arrives), reads and writes the items
// "$TIMETAG" and "$REALTIME", asks whether OV Calc is alive and asks it to refresh; with "dde"
// it talks to OV Calc's DDE service.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "Client.h"
#include "DdeCommand.h"
#include "bus/BusLossWatch.h"
#include "bus/BusSignalReceiver.h"
#include "bus/SessionBus.h"
#include "busnames/BusNames.h"
#include "suite/DataStore.h"
#include "util/ProgramInfo.h"

namespace {

using namespace ovclient;

constexpr const char* Usage =
    R"(Usage: ovclient COMMAND [ARGUMENTS]

A client of OV Calc on the session bus (bus name OVCalc.OVCalcCOM): of its automation object
(object /OVCalcCOM, interface OVCalc.IOVCalcDataCOM) and of its DDE service (object /DDE,
interface OVCalc.DDEML).

Commands:
  watch [--count N] [--wait SECONDS] [--app-id APPID] [ITEM ...]
                        follow items (default $TIMETAG) and print each change's data line
  get TIMETAG|REALTIME  print the item's value
  set TIMETAG|REALTIME VALUE
                        store VALUE in the item and announce it to the clients that follow it
  alive                 print OV Calc's current date and time (IsAlive)
  reset                 ask OV Calc to refresh all parameters and connections (ResetAllParams)
  dde connect [TOPIC]   open a conversation with the DDE service and print its number
  dde request TOPIC ITEM [--format F]
                        print an item's data
  dde poke TOPIC ITEM DATA [--format F]
                        store DATA in an item
  dde execute TOPIC COMMAND
                        send a command

"ovclient COMMAND --help" describes a command; "ovclient --version" shows the version.

Exit status:
  0  success
  1  an error, among them OV Calc not running or a call that failed
  2  a usage error: an unknown command or option, a missing or bad argument
)";

constexpr const char* WatchUsage =
    R"(Usage: ovclient watch [--count N] [--wait SECONDS] [--app-id APPID] [ITEM ...]

Follows the items named (default: $TIMETAG, where OV Calc publishes every result record) and
prints the data of each of their changes on a line of its own as it arrives, for example
  12/08/2026 20:41:05,RIVER1.FLOW,12.75
It subscribes to OnItemChange first and then calls SetItemLink(APPID, ITEM) for each item, so
no change after the link is missed. Only changes of the items named are printed (their names
compared without regard to letter case, as OV Calc compares them); changes of other items,
which other clients may announce with SetItemChange, are left out.

It ends with status 0 after N lines (--count), on SIGINT or SIGTERM, or when OV Calc ends.
OV Calc's shutdown announcement (OnAppShutdown) is noted on standard error. When the session
bus goes away (its daemon ended), while it waits for OV Calc or follows the items, it says so
on standard error and ends with status 1.

  --count N       end after N lines (N at least 1)
  --wait SECONDS  when OV Calc is not running yet, wait up to SECONDS for it to start
  --app-id APPID  the AppID given to SetItemLink (default: ovclient's own,
                  {3C1E6F0B-52A4-4D8E-9F27-6B0D8A41C5E3})
  --help          show this text

The exit status is 0 when the watch ended as said above, 1 on an error (OV Calc not running,
the subscription or the link failed) and 2 for a usage error.
)";

constexpr const char* GetUsage =
    R"(Usage: ovclient get TIMETAG|REALTIME

Prints the value of the item "$TIMETAG" or "$REALTIME" (the property of the same name; empty
before anything was written).
)";

constexpr const char* SetUsage =
    R"(Usage: ovclient set TIMETAG|REALTIME VALUE

Stores VALUE in the item "$TIMETAG" or "$REALTIME" (the property of the same name). OV Calc
announces it with OnItemChange when some client follows the item.
)";

constexpr const char* AliveUsage =
    R"(Usage: ovclient alive

Prints OV Calc's answer to IsAlive: its current date and time, "yyyy/mm/dd hh:nn:ss".
)";

constexpr const char* ResetUsage =
    R"(Usage: ovclient reset

Calls ResetAllParams: OV Calc refreshes all parameters and connections, as its refresh command
does, and answers when it is done.
)";

constexpr const char* ClientAppID = "{3C1E6F0B-52A4-4D8E-9F27-6B0D8A41C5E3}";
// The refresh waits for the setup server (up to about 21 s).
constexpr int ResetTimeoutMs = 120000;

// "TIMETAG" or "REALTIME" in any letter case as the property's name; empty for another text.
QString PropertyName(const std::string& text) {
    const QString name = QString::fromLocal8Bit(text.c_str()).toUpper();
    if (name == QLatin1String("TIMETAG") || name == QLatin1String("REALTIME")) return name;
    return {};
}

bool WantsHelp(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") return true;
    }
    return false;
}

// A usage error of the watch command: status 2, with the way to its help.
int WatchUsageError(const std::string& what) {
    return ov::UsageError("ovclient", what, "ovclient watch");
}

// SIGINT and SIGTERM end the watch through the event loop.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}

// Serves events until OV Calc owns its bus name or seconds have passed. False when the
// session bus went away meanwhile.
bool WaitForOVCalc(QDBusConnection& bus, long long seconds) {
    if (!bus.isConnected() || bus.interface() == nullptr) return true;  // ConnectBus says why
    QDBusServiceWatcher started(QtText(ov::CalcBusName), bus,
                                QDBusServiceWatcher::WatchForRegistration);
    QEventLoop wait;
    QObject::connect(&started, &QDBusServiceWatcher::serviceRegistered, &wait, &QEventLoop::quit);
    QTimer::singleShot(static_cast<int>(seconds * 1000), &wait, &QEventLoop::quit);
    // A bus that goes away says nothing of its own: the watch notices it closed.
    ov::TBusLossWatch lost(bus);
    QObject::connect(&lost, &ov::TBusLossWatch::Lost, &wait, &QEventLoop::quit);
    // Asked after the watch is set up: a start in between is not missed.
    if (bus.interface()->isServiceRegistered(QtText(ov::CalcBusName)).value()) return true;
    wait.exec();
    return bus.isConnected();
}

int BusGone() {
    return Fail("the session bus has gone away");
}

int Watch(QCoreApplication& app, const std::vector<std::string>& args) {
    long long count = 0;
    long long waitSeconds = 0;
    QString appID = QLatin1String(ClientAppID);
    std::vector<QString> items;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--count" || a == "--app-id" || a == "--wait") && i + 1 >= args.size()) {
            return WatchUsageError(a + " needs an argument");
        }
        if (a == "--count") {
            const std::string& text = args[++i];
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
            if (ec != std::errc() || end != text.data() + text.size() || count < 1) {
                return WatchUsageError("--count takes a whole number of lines above 0, not \"" +
                                       text + "\"");
            }
        } else if (a == "--wait") {
            const std::string& text = args[++i];
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), waitSeconds);
            if (ec != std::errc() || end != text.data() + text.size() || waitSeconds < 1) {
                return WatchUsageError("--wait takes a whole number of seconds above 0, not \"" +
                                       text + "\"");
            }
        } else if (a == "--app-id") {
            appID = QString::fromLocal8Bit(args[++i].c_str());
        } else if (a.size() > 1 && a[0] == '-') {
            return WatchUsageError("unknown option '" + a + "'");
        } else if (a.empty()) {
            return WatchUsageError("an item name cannot be empty");
        } else {
            items.push_back(QString::fromLocal8Bit(a.c_str()));
        }
    }
    if (items.empty()) items.push_back(QtText(ov::TimeTagItem));

    QDBusConnection bus = ov::StartedSessionBus();
    if (waitSeconds > 0 && !WaitForOVCalc(bus, waitSeconds)) return BusGone();
    if (int status = ConnectBus(bus)) return status;

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return Fail("cannot make a pipe");
    QSocketNotifier interrupted(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupted, &QSocketNotifier::activated, &app, [&app] { app.exit(0); });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    // OV Calc ending ends the watch: nothing more can arrive.
    QDBusServiceWatcher ended(QtText(ov::CalcBusName), bus,
                              QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(&ended, &QDBusServiceWatcher::serviceUnregistered, &app, [&app, &bus] {
        // A closed connection is the bus gone, not OV Calc ended: the loss watch says so.
        if (!bus.isConnected()) return;
        std::fprintf(stderr, "ovclient: OV Calc has ended\n");
        app.exit(0);
    });

    // Nothing can arrive any more once the bus is gone; QtDBus keeps the closed connection
    // without a word, so the watch looks at it.
    ov::TBusLossWatch busWatch(bus);
    QObject::connect(&busWatch, &ov::TBusLossWatch::Lost, &app, [&app] { app.exit(BusGone()); });

    long long printed = 0;
    ov::TBusSignalReceiver receiver(
        bus, QtText(ov::CalcBusName), QtText(ov::CalcObjectPath), QtText(ov::CalcEventsInterface),
        QtText(ov::ItemChangeSignal), [&](const QDBusMessage& signal) {
            const QList<QVariant> args = signal.arguments();
            if (args.size() != 3 || (count > 0 && printed >= count)) return;
            const QString item = args.at(1).toString();
            bool watched = false;
            for (const auto& name : items) {
                // Letter case folded for ASCII letters only, as OV Calc's store compares.
                if (name.size() == item.size() &&
                    QString::compare(name, item, Qt::CaseInsensitive) == 0) {
                    watched = true;
                    break;
                }
            }
            if (!watched) return;
            Print(args.at(2).toString());
            if (count > 0 && ++printed >= count) app.exit(0);
        });
    if (!receiver.Subscribed()) {
        return Fail("cannot subscribe to OnItemChange: " + bus.lastError().message().toStdString());
    }
    // The shutdown announcement, which comes before OV Calc ends, is told on standard error.
    ov::TBusSignalReceiver shutdown(
        bus, QtText(ov::CalcBusName), QtText(ov::CalcObjectPath), QtText(ov::CalcEventsInterface),
        QtText(ov::AppShutdownSignal), [](const QDBusMessage&) {
            std::fprintf(stderr, "ovclient: OV Calc announced its shutdown\n");
        });
    for (const auto& item : items) {
        int status = 0;
        Call(bus, ov::CalcInterface, QStringLiteral("SetItemLink"), {appID, item}, status);
        if (status != 0) return status;
    }
    return app.exec();
}

int GetOrSet(const std::vector<std::string>& args, bool set) {
    const char* help = set ? "ovclient set" : "ovclient get";
    if (args.size() != (set ? 2u : 1u)) {
        return ov::UsageError(
            "ovclient",
            set ? "set takes TIMETAG or REALTIME and a value" : "get takes TIMETAG or REALTIME",
            help);
    }
    const QString name = PropertyName(args[0]);
    if (name.isEmpty()) {
        return ov::UsageError("ovclient",
                              "the property is TIMETAG or REALTIME, not \"" + args[0] + "\"", help);
    }
    QDBusConnection bus = ov::StartedSessionBus();
    if (int status = ConnectBus(bus)) return status;
    int status = 0;
    if (set) {
        const QVariant value =
            QVariant::fromValue(QDBusVariant(QString::fromLocal8Bit(args[1].c_str())));
        Call(bus, "org.freedesktop.DBus.Properties", QStringLiteral("Set"),
             {QtText(ov::CalcInterface), name, value}, status);
        return status;
    }
    QDBusMessage reply = Call(bus, "org.freedesktop.DBus.Properties", QStringLiteral("Get"),
                              {QtText(ov::CalcInterface), name}, status);
    if (status != 0) return status;
    if (reply.arguments().size() != 1) return Fail("Get answered no value");
    Print(reply.arguments().at(0).value<QDBusVariant>().variant().toString());
    return 0;
}

int Simple(const std::vector<std::string>& args, const QString& member) {
    if (!args.empty()) {
        const bool reset = member == QLatin1String("ResetAllParams");
        return ov::UsageError("ovclient", "unexpected argument \"" + args[0] + "\"",
                              reset ? "ovclient reset" : "ovclient alive");
    }
    QDBusConnection bus = ov::StartedSessionBus();
    if (int status = ConnectBus(bus)) return status;
    int status = 0;
    const bool reset = member == QLatin1String("ResetAllParams");
    QDBusMessage reply =
        Call(bus, ov::CalcInterface, member, {}, status, reset ? ResetTimeoutMs : CallTimeoutMs);
    if (status != 0) return status;
    if (!reset) {
        if (reply.arguments().size() != 1) return Fail("IsAlive answered no time");
        Print(reply.arguments().at(0).toString());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return ov::UsageError("ovclient", "a command is needed");
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::fputs(ov::VersionText("ovclient").c_str(), stdout);
        return 0;
    }
    struct TCommand {
        const char* Name;
        const char* Help;
    };
    static const TCommand commands[] = {{"watch", WatchUsage},
                                        {"get", GetUsage},
                                        {"set", SetUsage},
                                        {"alive", AliveUsage},
                                        {"reset", ResetUsage}};
    for (const auto& c : commands) {
        if (command == c.Name && WantsHelp(args)) {
            std::fputs(c.Help, stdout);
            return 0;
        }
    }
    if (command == "watch") return Watch(app, args);
    if (command == "get") return GetOrSet(args, false);
    if (command == "set") return GetOrSet(args, true);
    if (command == "alive") return Simple(args, QStringLiteral("IsAlive"));
    if (command == "reset") return Simple(args, QStringLiteral("ResetAllParams"));
    if (command == "dde") return RunDde(args);
    if (command.size() > 1 && command[0] == '-')
        return ov::UsageError("ovclient", "unknown option '" + command + "'");
    return ov::UsageError("ovclient", "unknown command \"" + command + "\"");
}
