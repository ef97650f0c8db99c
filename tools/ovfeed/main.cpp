// ovfeed: a data source of the suite as a small stand-in. It owns the bus name of the decoder,
// the EUMETSAT decoder, the RTU poller or the Modbus RTU poller, serves LinkItem and sends an
// item change for every input line.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Feed.h"
#include "LineSource.h"
#include "busnames/BusNames.h"
#include "util/ProgramInfo.h"

namespace {

constexpr const char* Usage =
    R"(Usage: ovfeed --as decoder|mdecoder|rtu|mbrtu [--rate LINES_PER_SECOND]
              [--wait-link | --no-wait] [--wait-limit SECONDS] [--shutdown] [--stay]
              [--app-id APPID] [FILE]
       ovfeed --help | --version

Owns the chosen data source's bus name and object on the session bus, serves LinkItem(AppID,
Item) and sends OnItemChange(AppID, Item, Data) for every line of FILE (standard input when
there is none): the item name, a blank, the data text, for example
  $TIMETAG 12/08/2026 20:41:05,RIVER1.HG,3.52,RIVER1.TA,12.5
Empty lines and lines beginning with "#" are skipped; a zero byte, which the bus cannot
carry, is sent as "?". At the end it prints how many lines it
sent and ends.

It ends with status 1 and says why on standard error when the session bus goes away (its
daemon ended), whether it is sending, waiting for a client or staying (--stay), and when a
line has waited longer than --wait-limit.

The lines wait for a client: nothing is sent until a client has linked an item of this data
source (OV Calc links its items when it connects the source) and can take data (OV Calc,
known by the AppID of its links, is asked whether its calculation thread runs; any other
client can at once), so that no line is lost whichever program starts first. Waiting is noted
on standard error.

  --as SOURCE      decoder   OVDecode.OVDecodeCom    /OVDecodeCom   OVDecode.IOVDecodeCom
                   mdecoder  OVMDecode.OVMDecodeCom  /OVMDecodeCom  OVDecode.IOVDecodeCom
                   rtu       OVRtu.OVRtuCOM          /OVRtuCOM      OVRtu.IOVRtuDataCOM
                   mbrtu     OVMBRtu.OVMBRTUCOM      /OVMBRTUCOM    OVMBRtu.IOVMBRTUDataCOM
  --rate N         N lines per second (default: as fast as the bus takes them)
  --wait-link      hold each line until a client that can take data has linked its item
  --no-wait        send at once, whether anybody listens or not
  --wait-limit S   give up (status 1) when a line has waited S seconds for a client
  --shutdown       send OnAppShutdown (event 2) after the last line
  --stay           keep serving after the last line, until interrupted
  --app-id APPID   the AppID the events carry (default: the source's interface's)
  --help           show this text and end
  --version        show the version and end

Exit status:
  0  every line was sent
  1  FILE cannot be read, the bus name is taken, the session bus failed or went away, or a
     line waited longer than --wait-limit
  2  a usage error: an unknown option, a missing or bad argument
)";

int Fail(const std::string& message) {
    std::fprintf(stderr, "ovfeed: %s\n", message.c_str());
    return 1;
}

int UsageError(const std::string& what) {
    return ov::UsageError("ovfeed", what);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);

    ov::TFeedOptions options;
    std::string file;
    bool appIdGiven = false;
    bool waitGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (a == "--version") {
            std::fputs(ov::VersionText("ovfeed").c_str(), stdout);
            return 0;
        }
        const bool takesValue =
            a == "--as" || a == "--rate" || a == "--app-id" || a == "--wait-limit";
        if (takesValue && i + 1 >= args.size()) return UsageError(a + " needs an argument");
        if (a == "--as") {
            options.Source = ov::FindDataSource(args[++i]);
            if (options.Source == nullptr) {
                return UsageError("--as takes decoder, mdecoder, rtu or mbrtu, not \"" + args[i] +
                                  "\"");
            }
        } else if (a == "--rate") {
            const std::string& text = args[++i];
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), options.Rate);
            if (ec != std::errc() || end != text.data() + text.size() || !(options.Rate > 0) ||
                options.Rate > 1e7) {
                return UsageError("--rate takes a number of lines per second above 0, not \"" +
                                  text + "\"");
            }
        } else if (a == "--app-id") {
            options.AppId = args[++i];
            appIdGiven = true;
        } else if (a == "--wait-limit") {
            const std::string& text = args[++i];
            auto [end, ec] =
                std::from_chars(text.data(), text.data() + text.size(), options.WaitLimit);
            if (ec != std::errc() || end != text.data() + text.size() || !(options.WaitLimit > 0) ||
                options.WaitLimit > 1e6) {
                return UsageError("--wait-limit takes a number of seconds above 0, not \"" + text +
                                  "\"");
            }
        } else if (a == "--wait-link" || a == "--no-wait") {
            const ov::TFeedWait wait = a == "--wait-link" ? ov::fwItem : ov::fwNone;
            if (waitGiven && options.Wait != wait) {
                return UsageError("--wait-link and --no-wait exclude each other");
            }
            options.Wait = wait;
            waitGiven = true;
        } else if (a == "--shutdown") {
            options.Shutdown = true;
        } else if (a == "--stay") {
            options.Stay = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("unknown option '" + a + "'");
        } else if (file.empty()) {
            file = a;
        } else {
            return UsageError("one input file only, not also '" + a + "'");
        }
    }
    if (options.Source == nullptr) return UsageError("--as is required");
    if (!appIdGiven) {
        options.AppId = std::string(options.Source->AppID);
    }

    std::unique_ptr<std::istream> owned;
    if (!file.empty()) {
        // A folder opens like a file on Linux and then reads as if it were empty.
        std::error_code ec;
        if (std::filesystem::is_directory(file, ec))
            return Fail("cannot read " + file + ": a folder");
        owned = std::make_unique<std::ifstream>(file, std::ios::binary);
        if (!*owned) return Fail("cannot read " + file);
    }
    std::istream& in = owned ? *owned : std::cin;

    ov::TFeed feed(options);
    std::string error;
    if (!feed.Start(error)) return Fail(error);
    if (!feed.Run(std::make_unique<ov::TLineSource>(std::move(owned), in, [&feed] { feed.Wake(); }),
                  error)) {
        // The input may still be open, its reading thread blocked in it: end without waiting.
        Fail(error);
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(1);
    }
    return 0;
}
