// ovsetup: the suite's setup server as a small stand-in. It serves the general settings, the
// data-server settings and single parameters from a settings file on the session bus, and
// sends the setup server's events when asked to (also from its own command line).
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QTimer>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "SetupService.h"
#include "bus/BusLossWatch.h"
#include "bus/SessionBus.h"
#include "busnames/BusNames.h"
#include "qttext/QtText.h"
#include "suite/SetupSettingsFile.h"
#include "util/ProgramFolders.h"
#include "util/ProgramInfo.h"

namespace {

constexpr const char* Usage =
    R"(Usage: ovsetup [SETTINGS_FILE] [--app-id APPID] [--load-delay SECONDS]
       ovsetup COMMAND...
       ovsetup --help | --version

Serves the setup server OVSetup.Applications (object /OVSetupCom, interfaces
OVSetup.IOVSetupCom, OVSetup.IOVSetupComEvents and OVSetup.Control) on the session bus
with the settings of SETTINGS_FILE. Without one it reads OVSetup.ini in the folder where OV
Calc keeps its configuration: beside the program when that folder is writable and not an
installed layout, otherwise $XDG_CONFIG_HOME/ovcalc/ (~/.config/ovcalc/); without that file
it serves the settings' defaults. A bad settings file is reported with its line, and the
server does not start. When the session bus goes away, the server says so and ends.

  --app-id APPID       the AppID its events carry (default: the setup server's own,
                       {CFD3E936-D378-4CD8-AA86-325A38C7B7E7})
  --load-delay SECONDS report the setup loaded ("SetupLoad" answers "OK") only after this
                       pause; until then every key answers "ERROR" and the settings are empty
  --help               show this text and end
  --version            show the version and end

Commands for the running server, carried out in the order given:
  --reload             read the settings file again (a bad file leaves the settings in force)
  --setup-changed      send OnSetupChanged (event 1)
  --refresh            send OnRefreshRequest (event 2)
  --shutdown           send OnShutdown (event 3); the server keeps running
  --heartbeat          send OnHeartBeat (event 4)
  --item-change ITEM DATA
                       send OnItemChange (event 5)
  --quit               end the server

The settings file:
  [General]            elements 0-36 by index or field name: 3=/data/tables or
                       TableDirectory=/data/tables, RtuEnabled=True, NullValue=-9999
  [DataServer]         elements 0-5 likewise; DatabasePassword (3) in plain text, served
                       enciphered with the suite's cipher
  [Params]             key=answer for GetSetupParam, keys without regard to letter case:
                       Sensor:RIVER1:HG,RoundOffTime=00:15:00
  Lines beginning with ";" or "#" are comments; "..." keeps the blanks of an answer.
  A relative TableDirectory counts from the settings file's folder: TableDirectory=tables
  in /srv/ov/OVSetup.ini is served as /srv/ov/tables, so OV Calc finds the rating tables
  whatever its working folder.

Exit status:
  0  the server was ended (--quit), or the commands were carried out
  1  the session bus cannot be reached or went away, a name is taken, or a command failed
     (no setup server running)
  2  a usage error, or a settings file it cannot use (the server does not start)
)";

int Fail(const std::string& message, int code = 1) {
    std::fprintf(stderr, "ovsetup: %s\n", message.c_str());
    return code;
}

int UsageError(const std::string& what) {
    return ov::UsageError("ovsetup", what);
}

struct TCommand {
    QString Method;
    QVariantList Arguments;
    std::string Option;
};

int RunCommands(const std::vector<TCommand>& commands) {
    QDBusConnection bus = ov::StartedSessionBus();
    if (!bus.isConnected())
        return Fail("cannot reach the session bus: " + bus.lastError().message().toStdString());
    for (const auto& command : commands) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            ov::QtText(ov::SetupBusName), ov::QtText(ov::SetupObjectPath),
            ov::QtText(ov::SetupControlInterface), command.Method);
        call.setArguments(command.Arguments);
        call.setAutoStartService(false);
        QDBusMessage reply =
            bus.call(call, QDBus::Block, static_cast<int>(ov::SetupCallTimeout.count()));
        if (reply.type() == QDBusMessage::ReplyMessage) continue;
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            return Fail("no setup server is running (" + std::string(ov::SetupBusName) +
                        " has no owner)");
        }
        return Fail(command.Option + ": " + reply.errorMessage().toStdString());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);

    std::vector<TCommand> commands;
    std::string fileArg;
    QString appId = ov::QtText(ov::SetupAppID);
    double loadDelay = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto needs = [&](std::size_t count) { return i + count < args.size(); };
        auto missing = [&](std::size_t count) {
            return UsageError(a + " needs " + (count == 1 ? "an argument" : "two arguments"));
        };
        if (a == "--help" || a == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (a == "--version") {
            std::fputs(ov::VersionText("ovsetup").c_str(), stdout);
            return 0;
        } else if (a == "--reload") {
            commands.push_back({"Reload", {}, a});
        } else if (a == "--setup-changed") {
            commands.push_back({"SendSetupChanged", {}, a});
        } else if (a == "--refresh") {
            commands.push_back({"SendRefresh", {}, a});
        } else if (a == "--shutdown") {
            commands.push_back({"SendShutdown", {}, a});
        } else if (a == "--heartbeat") {
            commands.push_back({"SendHeartBeat", {}, a});
        } else if (a == "--item-change") {
            if (!needs(2)) return missing(2);
            commands.push_back(
                {"SendItemChange",
                 {QString::fromUtf8(args[i + 1].c_str()), QString::fromUtf8(args[i + 2].c_str())},
                 a});
            i += 2;
        } else if (a == "--quit") {
            commands.push_back({"Quit", {}, a});
        } else if (a == "--app-id") {
            if (!needs(1)) return missing(1);
            appId = QString::fromUtf8(args[++i].c_str());
        } else if (a == "--load-delay") {
            if (!needs(1)) return missing(1);
            const std::string& text = args[++i];
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), loadDelay);
            if (ec != std::errc() || end != text.data() + text.size() || loadDelay < 0 ||
                loadDelay > 3600) {
                return UsageError("--load-delay takes a number of seconds from 0 to 3600, not \"" +
                                  text + "\"");
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("unknown option '" + a + "'");
        } else if (fileArg.empty()) {
            fileArg = a;
        } else {
            return UsageError("one settings file only, not also '" + a + "'");
        }
    }

    if (!commands.empty()) {
        if (!fileArg.empty())
            return UsageError("commands for a running server take no settings file");
        return RunCommands(commands);
    }

    std::filesystem::path file = fileArg;
    ov::TSetupSettings settings;
    if (fileArg.empty()) {
        file =
            ov::ConfigFolder(QCoreApplication::applicationDirPath().toStdString()) / "OVSetup.ini";
    }
    std::string error;
    if (fileArg.empty() && !std::filesystem::exists(file)) {
        std::fprintf(stderr, "ovsetup: no settings file %s; serving the defaults\n",
                     file.string().c_str());
    } else if (!ov::LoadSetupSettings(file, settings, error)) {
        std::fprintf(stderr, "ovsetup: %s\n", error.c_str());
        return Fail("the setup server does not start", 2);
    }

    QDBusConnection bus = ov::StartedSessionBus();
    if (!bus.isConnected()) {
        return Fail("cannot reach the session bus: " + bus.lastError().message().toStdString());
    }
    ov::TSetupService service(bus, file, std::move(settings), appId);
    // Loaded before the name is owned: the connection delivers at once, so a call can come in
    // before the event loop runs and must not find the settings still unloaded.
    if (loadDelay > 0) {
        QTimer::singleShot(static_cast<int>(loadDelay * 1000), &app,
                           [&service] { service.MarkLoaded(); });
    } else {
        service.MarkLoaded();
    }
    if (!service.Start(error)) return Fail(error);
    std::fprintf(stderr, "ovsetup: serving %s as %s\n", file.string().c_str(),
                 std::string(ov::SetupBusName).c_str());
    // Without the bus nobody can reach the server any more.
    ov::TBusLossWatch busWatch(bus);
    QObject::connect(&busWatch, &ov::TBusLossWatch::Lost, &app, [&app] {
        std::fprintf(stderr, "ovsetup: the session bus has gone away; the setup server ends\n");
        app.exit(1);
    });
    return app.exec();
}
