// ovtool replay: archived data lines run through OV Calc's calculations again, without a bus;
// the records on standard output, the status lines and a summary on standard error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "OvTool.h"
#include "busnames/BusNames.h"
#include "model/CalcGroups.h"
#include "model/ConfigFile.h"
#include "suite/SetupSettingsFile.h"
#include "thread/Replay.h"
#include "util/ProgramFolders.h"
#include "util/TextCodec.h"

namespace ovtool {

namespace {

constexpr const char* Command = "replay";
constexpr std::size_t ReadBlock = 1 << 20;

// The folder of this program, where OV Calc's portable layout keeps its files beside it.
std::filesystem::path ProgramFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path(ec) : exe.parent_path();
}

// The data source a --as name stands for: ovfeed's names, and the EUMETSAT decoder and the
// Modbus RTU poller by theirs.
const ov::TDataSource* SourceNamed(const std::string& name) {
    if (name == "eumetsat") return &ov::DataSource(ov::dsMDecoder);
    if (name == "modbus") return &ov::DataSource(ov::dsMBRtu);
    return ov::FindDataSource(name);
}

bool IsAscii(std::string_view text) {
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0x80) != 0) return false;
    return true;
}

// Standard error: the status lines (UTF-8, as OV Calc writes them there) and the progress
// line, which a terminal shows in place; a status line takes its place first.
class TErrorOutput {
  public:
    explicit TErrorOutput(bool terminal) : terminal_(terminal) {}

    void Line(std::string_view engineText, std::size_t length) {
        ClearProgress();
        std::string text =
            IsAscii(engineText) ? std::string(engineText) : ov::Latin1ToUtf8(engineText);
        // A line cut to its first characters says how long it was, as the status list does.
        if (length > engineText.size())
            text += "\u2026 (" + std::to_string(length) + " characters)";
        text += '\n';
        std::fwrite(text.data(), 1, text.size(), stderr);
    }
    void Progress(const std::string& text) {
        if (terminal_) {
            std::fprintf(stderr, "\r%s\033[K", text.c_str());
            shown_ = true;
        } else {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
        std::fflush(stderr);
    }
    void ClearProgress() {
        if (!shown_) return;
        std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

  private:
    const bool terminal_;
    bool shown_ = false;
};

// How far the reading has come, for the progress line: bytes of the files (compressed bytes of
// a .gz), when their sizes are known, and lines.
struct TReadProgress {
    std::atomic<std::int64_t> Lines{0};
    std::atomic<std::int64_t> Bytes{0};
    std::int64_t Total = -1;  // -1: not known (standard input, a pipe)
};

// One input: a file, a .gz file or standard input, read in blocks.
class TInputFile {
  public:
    explicit TInputFile(std::string name) : name_(std::move(name)) {}
    ~TInputFile() {
        if (gz_ != nullptr) gzclose(gz_);
        if (fd_ > 0) ::close(fd_);
    }
    TInputFile(const TInputFile&) = delete;
    TInputFile& operator=(const TInputFile&) = delete;

    const std::string& Name() const { return name_; }
    bool Compressed() const { return gz_ != nullptr; }

    // False with error when it cannot be opened.
    bool Open(std::string& error) {
        if (name_ == "-") {
            fd_ = 0;
            return true;
        }
        const bool gz = name_.size() > 3 && name_.compare(name_.size() - 3, 3, ".gz") == 0;
        fd_ = ::open(name_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            error = std::strerror(errno);
            return false;
        }
        if (gz) {
            gz_ = gzdopen(fd_, "rb");
            if (gz_ == nullptr) {
                error = "out of memory";
                return false;
            }
            fd_ = -1;  // the gz file owns it now
            gzbuffer(gz_, 256 * 1024);
        }
        return true;
    }

    // Up to size bytes into buffer: the count, 0 at the end, -1 with error on a fault
    // (truncated: the compressed data ends before its end).
    long Read(char* buffer, std::size_t size, std::string& error, bool& truncated) {
        truncated = false;
        if (gz_ != nullptr) {
            const int n = gzread(gz_, buffer, static_cast<unsigned>(size));
            if (n > 0) return n;
            // Compressed data cut short reads to its end without -1: only the error says so.
            int code = Z_OK;
            const char* message = gzerror(gz_, &code);
            if (n == 0 && code == Z_OK) return 0;
            truncated = code == Z_BUF_ERROR;
            error = code == Z_ERRNO ? std::strerror(errno) : message;
            return -1;
        }
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, size);
            if (n >= 0) return static_cast<long>(n);
            if (errno == EINTR) continue;
            error = std::strerror(errno);
            return -1;
        }
    }

    // The bytes of the file read so far (compressed bytes of a .gz).
    std::int64_t Position() const {
        if (gz_ != nullptr) return static_cast<std::int64_t>(gzoffset(gz_));
        return -1;
    }

  private:
    std::string name_;
    int fd_ = -1;
    gzFile gz_ = nullptr;
};

// The longest line kept: a data line of 16 MiB holds some 500 000 values. A longer one (a file
// that is not an archive at all) is said and skipped, so that the memory stays bounded.
constexpr std::size_t MaxLineBytes = 16 << 20;

// Feeds every line of file to the replay; faults are said in their place. False when the
// replay needs no more lines.
bool ReplayFile(TInputFile& file, ov::TReplay& replay, TReadProgress& progress,
                bool flushEachRead) {
    std::vector<char> buffer(ReadBlock);
    std::string carry;     // the start of a line whose end has not been read yet
    bool tooLong = false;  // the line being read is longer than MaxLineBytes: skipped
    std::int64_t lineNumber = 0, plainBytes = 0;
    const std::int64_t before = progress.Bytes.load();
    auto place = [&] { return file.Name() + ":" + std::to_string(lineNumber) + ": "; };
    // One line read to its end (the last one may have no line feed).
    auto line = [&](std::string_view text) {
        ++lineNumber;
        ++progress.Lines;
        if (!tooLong) return replay.Feed(text, file.Name(), lineNumber);
        tooLong = false;
        return replay.InputFault(place() + "a line longer than " +
                                 std::to_string(MaxLineBytes >> 20) + " MiB is not a data line");
    };
    for (;;) {
        std::string error;
        bool truncated = false;
        const long n = file.Read(buffer.data(), buffer.size(), error, truncated);
        if (n < 0) {
            // What was read of the last line is not a line: it may end in the middle of a value.
            ++lineNumber;
            return replay.InputFault(
                place() +
                (truncated
                     ? "the compressed data ends early: the rest of the file is lost"
                     : "cannot be read further (" + error + "): the rest of the file is lost"));
        }
        if (n == 0) break;
        const char* data = buffer.data();
        const char* end = data + n;
        while (data < end) {
            const char* feed = static_cast<const char*>(std::memchr(data, '\n', end - data));
            if (feed == nullptr) {
                if (!tooLong) carry.append(data, end);
                if (carry.size() > MaxLineBytes) {
                    tooLong = true;
                    std::string().swap(carry);
                }
                break;
            }
            bool more;
            if (carry.empty()) {
                more = line(std::string_view(data, feed - data));
            } else {
                carry.append(data, feed);
                more = line(carry);
                carry.clear();
            }
            if (!more) return false;
            data = feed + 1;
        }
        plainBytes += n;
        const std::int64_t position = file.Position();
        progress.Bytes = before + (position >= 0 ? position : plainBytes);
        if (flushEachRead) replay.Flush();
    }
    if (!carry.empty() || tooLong) return line(carry);
    return true;
}

std::string Rate(double lines, double seconds) {
    return std::to_string(static_cast<long long>(seconds > 0 ? lines / seconds : 0));
}

std::string Count(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

const std::string& ReplayCommandUsage() {
    static const std::string usage =
        "Usage: ovtool replay [--config OVCALC.OVG] [--setup SETTINGS]\n"
        "                     [--as decoder|eumetsat|rtu|modbus] [--from TIME] [--to TIME]\n"
        "                     [--progress | --no-progress] [--keep-going | --no-keep-going]\n"
        "                     FILE...\n\n"
        "Runs archived data lines through OV Calc's calculations again, in this process and\n"
        "without a bus, and prints the result records that OV Calc would publish, in the same\n"
        "order, one per line on standard output.\n\n"
        "Each FILE holds data lines as ovfeed sends them: the item name, a blank, the data\n"
        "text, e.g.\n"
        "  $TIMETAG 12/08/2026 20:41:05,RIVER1.HG,3.52,RIVER1.TA,12.5\n"
        "Empty lines and lines beginning with \"#\" are skipped. \"-\" reads standard input; a\n"
        "FILE whose name ends in \".gz\" is read as gzip-compressed. The files are read in the\n"
        "order given.\n\n"
        "  --config FILE   OV Calc's configuration file: the groups, the log detail and the\n"
        "                  schedule delay (default: the OVCalc.OVG that an OV Calc beside this\n"
        "                  program reads)\n"
        "  --setup FILE    the setup server's settings file as ovsetup serves it: the general\n"
        "                  settings (null value, rating-table folder, a relative one counting\n"
        "                  from the file's folder), the attributes and RoundOffTime answers\n"
        "                  (default: the OVSetup.ini that an ovsetup beside this program reads)\n"
        "  --as SOURCE     the data source the lines come from: decoder (the default),\n"
        "                  eumetsat, rtu or modbus (also ovfeed's mdecoder and mbrtu). As in\n"
        "                  OV Calc, a line's item decides how it is calculated: $REALTIME at\n"
        "                  once, $TIMETAG after the schedule delay, $GOESTIMED and $GOESRANDOM\n"
        "                  on the groups' trigger sensors\n"
        "  --from TIME     replay only the lines whose time tag is TIME or later\n"
        "  --to TIME       replay only the lines whose time tag is TIME or earlier; TIME is a\n"
        "                  time tag (a whole number) or a date-time text month/day/year\n"
        "                  hours:minutes:seconds with the locale's separators\n"
        "  --progress      show the share of the input read and the rate on standard error\n"
        "                  (the default when standard error is a terminal); --no-progress:\n"
        "                  never\n"
        "  --keep-going    go on after an error (the default); --no-keep-going: stop at the\n"
        "                  first error, after the line that had it\n\n"
        "Time is the data's: the calculations take the latest time tag read for the current\n"
        "time, so a $TIMETAG record is calculated once the data has moved on by the schedule\n"
        "delay (or after the last line), and the value cache keeps a value for three hours of\n"
        "the data's time.\n\n"
        "Standard error shows OV Calc's status lines at the configured log detail, each line\n"
        "that cannot be replayed (\"FILE:LINE: ...\") and at the end a summary: lines read,\n"
        "records, errors, the time taken and the lines per second.\n\n"
        "Exit status: 0 when every line was calculated without an error; 1 when a calculation\n"
        "failed (an error line of the calculations, as OV Calc counts them); 2 for a usage\n"
        "error, a file that cannot be read or a line that is not a data line.\n";
    return usage;
}

int ReplayCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string configFile, setupFile, sourceName = "decoder";
    std::optional<bool> progressWanted;
    bool keepGoing = true;
    ov::TReplayOptions options;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a == "-" || a.empty() || a[0] != '-') {
            files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help") {
            out << ReplayCommandUsage();
            return 0;
        }
        std::string name = a, value;
        bool inlineValue = false;
        if (const auto eq = a.find('='); eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        const bool takesValue = name == "--config" || name == "--setup" || name == "--as" ||
                                name == "--from" || name == "--to";
        if (takesValue && !inlineValue) {
            if (i + 1 >= args.size())
                return UsageError(err, Command, "option " + name + " needs a value");
            value = args[++i];
        }
        if (name == "--config") {
            configFile = value;
        } else if (name == "--setup") {
            setupFile = value;
        } else if (name == "--as") {
            if (SourceNamed(value) == nullptr)
                return UsageError(
                    err, Command,
                    "--as takes decoder, eumetsat, rtu or modbus, not \"" + value + "\"");
            sourceName = value;
        } else if (name == "--from" || name == "--to") {
            std::int32_t tag = 0;
            if (!ReadTimeArgument(value, tag))
                return UsageError(
                    err, Command,
                    name + " takes a time tag (" + TimeArgumentForm() + "), not \"" + value + "\"");
            (name == "--from" ? options.From : options.To) = tag;
        } else if (a == "--progress" || a == "--no-progress") {
            progressWanted = a == "--progress";
        } else if (a == "--keep-going" || a == "--no-keep-going") {
            keepGoing = a == "--keep-going";
        } else {
            return UsageError(err, Command, "unknown option '" + a + "'");
        }
    }
    if (files.empty())
        return UsageError(err, Command, "no input file given (\"-\" for standard input)");
    if (options.From && options.To && *options.From > *options.To)
        return UsageError(err, Command, "--from lies after --to: no line could be replayed");

    const std::filesystem::path folder = ov::ConfigFolder(ProgramFolder());
    const std::filesystem::path config =
        configFile.empty() ? folder / ov::TConfigFile::FileName : std::filesystem::path(configFile);
    const std::filesystem::path setup =
        setupFile.empty() ? folder / "OVSetup.ini" : std::filesystem::path(setupFile);

    // The settings and the groups, as the setup server and OV Calc read them.
    std::string error;
    if (!ov::LoadSetupSettings(setup, options.Setup, error)) {
        err << "ovtool replay: " << error << "\n";
        return 2;
    }
    if (!std::filesystem::is_regular_file(config)) {
        err << "ovtool replay: " << config.string() << " is not a file\n";
        return 2;
    }
    std::vector<std::string> configLines;
    ov::TConfigFile configReader([&](const std::string& line) {
        // "Startup parameters loaded." says only that OV Calc has started.
        if (line.rfind("Error", 0) == 0) configLines.push_back(line);
    });
    ov::TCalcGroups groups;
    try {
        configReader.OpenConfigFile(config);
    } catch (const std::exception& e) {
        err << "ovtool replay: " << e.what() << "\n";
        return 2;
    }
    configReader.ReadConfig(options.Config, groups);
    options.SourceAppID = std::string(SourceNamed(sourceName)->AppID);
    options.KeepGoing = keepGoing;

    out.flush();
    err.flush();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const bool showProgress = progressWanted.value_or(terminal);
    TErrorOutput errors(terminal);
    for (const std::string& line : configLines) errors.Line(line, line.size());

    // The records go out in large writes; to a terminal line by line.
    static std::vector<char> outBuffer(1 << 20);
    if (::isatty(STDOUT_FILENO) == 1) {
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
    } else {
        std::setvbuf(stdout, outBuffer.data(), _IOFBF, outBuffer.size());
    }

    TReadProgress read;
    std::int64_t total = 0;
    for (const std::string& file : files) {
        struct stat st {};
        if (file == "-" || ::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
            total = -1;
            break;
        }
        total += st.st_size;
    }
    read.Total = total;
    const auto started = std::chrono::steady_clock::now();
    auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };

    ov::TReplay replay(
        groups, std::move(options),
        [](const std::string& record) {
            if (IsAscii(record)) {
                std::fwrite(record.data(), 1, record.size(), stdout);
            } else {
                const std::string text = ov::Latin1ToUtf8(record);
                std::fwrite(text.data(), 1, text.size(), stdout);
            }
            std::fputc('\n', stdout);
        },
        [&](const ov::TOutputLine& line) { errors.Line(line.Text, line.Length); },
        [&] {
            if (!showProgress) return;
            const double s = seconds();
            std::string text = "ovtool replay: ";
            if (read.Total > 0)
                text += std::to_string(100 * read.Bytes.load() / read.Total) + " % of the input, ";
            text += Count(read.Lines.load(), "line", "lines") + ", " +
                    Rate(static_cast<double>(read.Lines.load()), s) + " lines/s";
            errors.Progress(text);
        });
    replay.Start();
    for (const std::string& name : files) {
        TInputFile file(name);
        bool more;
        if (!file.Open(error)) {
            more = replay.InputFault(name + ": cannot be read (" + error + ")");
        } else {
            struct stat st {};
            const bool regular =
                name != "-" && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
            more = ReplayFile(file, replay, read, !regular);
        }
        if (!more) break;
    }
    replay.Finish();
    const double elapsed = seconds();
    errors.ClearProgress();

    std::fflush(stdout);
    const bool written = std::ferror(stdout) == 0;
    const ov::TReplay::TCounts counts = replay.Counts();
    std::string summary = "ovtool replay: " + Count(read.Lines.load(), "line", "lines") +
                          " read, " + Count(counts.Records, "record", "records") + ", " +
                          Count(counts.CalcErrors, "calculation error", "calculation errors") +
                          ", " + Count(counts.InputErrors, "input error", "input errors");
    if (counts.OutOfRange > 0)
        summary += ", " + Count(counts.OutOfRange, "line", "lines") + " outside --from/--to";
    char time[32];
    std::snprintf(time, sizeof time, "%.2f s", elapsed);
    summary += std::string(", ") + time + ", " +
               Rate(static_cast<double>(read.Lines.load()), elapsed) + " lines/s";
    std::fprintf(stderr, "%s\n", summary.c_str());
    if (!written) {
        std::fprintf(stderr,
                     "ovtool replay: the records could not all be written to standard output\n");
        return 2;
    }
    if (counts.InputErrors > 0) return 2;
    return counts.CalcErrors > 0 ? 1 : 0;
}

}  // namespace ovtool
