// The engine's INI reader/writer: parsing of section and key lines, the value encodings of the
// profile functions and the atomic replacement of the file on disk.
#include "util/IniFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <system_error>

#include "util/FloatText.h"

namespace ov {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerKey(std::string_view s) {
    std::string r(Trim(s));
    for (char& c : r) c = LowerAscii(c);
    return r;
}

bool SameName(std::string_view a, std::string_view b) {
    a = Trim(a);
    b = Trim(b);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// "[name]" (blanks allowed around it; the last "]" closes the name) gives true and the name.
bool ParseHeader(std::string_view line, std::string_view& name) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[') return false;
    const auto close = t.rfind(']');
    if (close == std::string_view::npos || close == 0) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// "key=value" gives true, the key and the value, both without the blanks around them.
// Comment lines (";") and lines without "=" or without a key are not keys.
bool ParseKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';') return false;
    const auto eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    key = Trim(t.substr(0, eq));
    if (key.empty()) return false;
    value = Trim(t.substr(eq + 1));
    return true;
}

std::string ErrnoText(int err) {
    return std::generic_category().message(err);
}

[[noreturn]] void ThrowFileError(const char* what, const fs::path& file, int err,
                                 std::string_view consequence = {}) {
    throw EIniFileError(std::string(what) + " \"" + file.string() + "\": " + ErrnoText(err) +
                        std::string(consequence));
}

constexpr std::string_view kKeptContent = "; the file keeps its previous content";

// The file a write replaces: the one a link points to, not the link.
fs::path WriteTarget(const fs::path& file) {
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        fs::path resolved = fs::weakly_canonical(file, ec);
        if (!ec) return resolved;
    }
    return file;
}

// Temporary files of target are ".<name>.tmp<pid>-<n>" in its folder.
std::string TempPrefix(const fs::path& target) {
    return "." + target.filename().string() + ".tmp";
}

// A line of the file as a finding shows it: control bytes written \xNN, at most 60 bytes.
std::string ShownLine(std::string_view line) {
    constexpr std::size_t kMost = 60;
    std::string shown;
    for (std::size_t i = 0; i < line.size() && i < kMost; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            shown += "\\x";
            shown += kHex[c >> 4];
            shown += kHex[c & 0x0F];
        } else {
            shown += static_cast<char>(c);
        }
    }
    if (line.size() > kMost) shown += "...";
    return shown;
}

void CheckSectionName(std::string_view section) {
    if (HasLineBreak(section))
        throw EIniFileError("Invalid section name \"" + std::string(Trim(section)) +
                            "\": a name cannot hold a line break");
}

void CheckKeyName(std::string_view key) {
    const std::string_view k = Trim(key);
    if (k.empty() || HasLineBreak(k) || k.find('=') != std::string_view::npos || k.front() == ';' ||
        k.front() == '[')
        throw EIniFileError("Invalid key name \"" + std::string(k) + "\"");
}

// Writes all of text to fd; false with errno set on failure.
bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::atomic<unsigned> tempCounter{0};

}  // namespace

std::vector<fs::path> RemoveAbandonedTempFiles(const fs::path& file) {
    std::vector<fs::path> removed;
    const fs::path target = WriteTarget(file);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string prefix = TempPrefix(target);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(prefix)) continue;
        // "<pid>-<n>", both plain decimal numbers.
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const auto dash = rest.find('-');
        if (dash == std::string_view::npos || dash == 0 || dash + 1 == rest.size()) continue;
        if (rest.find_first_not_of("0123456789-") != std::string_view::npos ||
            rest.find('-', dash + 1) != std::string_view::npos)
            continue;
        long pid = 0;
        const auto [ptr, pec] = std::from_chars(rest.data(), rest.data() + dash, pid);
        if (pec != std::errc() || ptr != rest.data() + dash || pid <= 0) continue;
        // A writer that still runs (also one of another user, EPERM) may be about to rename
        // its file into place.
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        std::error_code fec;
        if (!fs::is_regular_file(fs::symlink_status(it->path(), fec))) continue;
        if (fs::remove(it->path(), fec)) removed.push_back(it->path());
    }
    return removed;
}

fs::path FindFileNoCase(const fs::path& folder, std::string_view name) {
    const fs::path exact = folder / fs::path(std::string(name));
    std::error_code ec;
    if (fs::exists(exact, ec)) return exact;
    fs::path best;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (candidate.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i)
            same = LowerAscii(candidate[i]) == LowerAscii(name[i]);
        // Of several spellings the first in byte order, so the choice does not depend on the
        // order the folder happens to list them in.
        if (same && (best.empty() || candidate < best.filename().string()))
            best = folder / candidate;
    }
    return best.empty() ? exact : best;
}

bool ParseIniInteger(std::string_view text, std::int32_t& out) {
    const std::string_view t = Trim(text);
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        // Hexadecimal is read as the 32-bit pattern it spells: 0xFFFFFFFF is -1.
        const std::string_view digits = t.substr(2);
        std::uint64_t v = 0;
        const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, 16);
        if (ec != std::errc() || ptr != digits.data() + digits.size() || v > 0xFFFFFFFFull)
            return false;
        out = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        return true;
    }
    std::string_view digits = t;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.front() < '0' || digits.front() > '9') return false;
    std::uint64_t v = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, 10);
    if (ec != std::errc() || ptr != digits.data() + digits.size()) return false;
    if (negative ? v > 2147483648ull : v > 2147483647ull) return false;
    out = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(v)
                                             : static_cast<std::int64_t>(v));
    return true;
}

TIniFile::TIniFile(fs::path fileName) : fileName_(std::move(fileName)) {
    Load();
}

void TIniFile::Load() {
    sections_.assign(1, TSection{});
    std::string data;
    const int fd = ::open(fileName_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) ThrowFileError("Cannot read", fileName_, errno);
    } else {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR) continue;
                const int err = errno;
                ::close(fd);
                ThrowFileError("Cannot read", fileName_, err);
            }
            if (n == 0) break;
            data.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fd);
    }

    zeroByteAt_ = data.find('\0');
    std::string_view rest = data;
    bom_ = rest.starts_with("\xEF\xBB\xBF");
    if (bom_) rest.remove_prefix(3);
    const auto firstBreak = rest.find('\n');
    crlf_ = firstBreak != std::string_view::npos && firstBreak > 0 && rest[firstBreak - 1] == '\r';

    while (!rest.empty()) {
        auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string_view name;
        if (ParseHeader(line, name)) {
            sections_.push_back(TSection{std::string(line), std::string(name), {}, {}, 0});
        } else {
            sections_.back().Lines.emplace_back(line);
        }
    }
    for (TSection& s : sections_) IndexKeys(s);
    RebuildIndex();
    LinesMoved();
    modified_ = false;
}

void TIniFile::RebuildIndex() {
    index_.clear();
    for (std::size_t i = 1; i < sections_.size(); ++i)
        index_.try_emplace(LowerKey(sections_[i].Name), i);
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view section) const {
    const auto it = index_.find(LowerKey(section));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

TIniFile::TSection* TIniFile::FindSection(std::string_view section) {
    const auto it = index_.find(LowerKey(section));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

std::size_t TIniFile::FindKey(const TSection& s, std::string_view key) {
    const auto it = s.Keys.find(LowerKey(key));
    return it == s.Keys.end() ? std::string::npos : it->second;
}

void TIniFile::IndexKeys(TSection& s) {
    s.Keys.clear();
    s.AfterLastKey = 0;
    for (std::size_t i = 0; i < s.Lines.size(); ++i) {
        std::string_view k, v;
        if (!ParseKeyLine(s.Lines[i], k, v)) continue;
        s.Keys.try_emplace(LowerKey(k), i);
        s.AfterLastKey = i + 1;
    }
}

std::size_t TIniFile::HeaderLine(std::size_t i) const {
    if (headerLines_.size() != sections_.size() + 1) {
        headerLines_.assign(1, 1);
        for (std::size_t k = 0; k < sections_.size(); ++k)
            headerLines_.push_back(headerLines_.back() + sections_[k].Lines.size() +
                                   (k > 0 ? 1 : 0));
    }
    return headerLines_[std::min(i, sections_.size())];
}

std::size_t TIniFile::SectionLine(std::string_view section) const {
    const auto it = index_.find(LowerKey(section));
    return it == index_.end() ? 0 : HeaderLine(it->second);
}

std::size_t TIniFile::KeyLine(std::string_view section, std::string_view key) const {
    const auto it = index_.find(LowerKey(section));
    if (it == index_.end()) return 0;
    const std::size_t line = FindKey(sections_[it->second], key);
    return line == std::string::npos ? 0 : HeaderLine(it->second) + 1 + line;
}

std::vector<TIniFinding> TIniFile::Findings() const {
    std::vector<TIniFinding> found;
    if (zeroByteAt_ != std::string::npos)
        found.push_back(
            {0, "is not a text file (a zero byte at offset " + std::to_string(zeroByteAt_) + ")"});
    std::size_t line = 1;  // of the header of sections_[i] (of its first line for i == 0)
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const TSection& s = sections_[i];
        const std::size_t header = line;
        line += s.Lines.size() + (i > 0 ? 1 : 0);
        if (i > 0) {
            const std::size_t first = index_.at(LowerKey(s.Name));
            if (first != i) {
                // Reads see only the first section of a name: none of this one's lines.
                found.push_back({header, "section [" + s.Name + "] appears again (first on line " +
                                             std::to_string(HeaderLine(first)) +
                                             "); only the first is read"});
                continue;
            }
        }
        std::unordered_map<std::string, std::size_t> keys;  // lower-case key -> its first line
        std::size_t at = header + (i > 0 ? 1 : 0);
        for (const std::string& raw : s.Lines) {
            const std::size_t here = at++;
            const std::string_view t = Trim(raw);
            if (t.empty() || t.front() == ';' || t.front() == '#') continue;
            std::string_view k, v;
            if (!ParseKeyLine(raw, k, v)) {
                found.push_back({here, "\"" + ShownLine(t) +
                                           "\" is no [section], key=value line or ; comment, and "
                                           "is not read"});
            } else if (i == 0) {
                found.push_back({here, "\"" + ShownLine(t) +
                                           "\" stands before the first [section] and is not read"});
            } else if (const auto [it, added] = keys.try_emplace(LowerKey(k), here); !added) {
                found.push_back({here, std::string(k) + " appears again in [" + s.Name +
                                           "] (first on line " + std::to_string(it->second) +
                                           "); only the first is read"});
            }
        }
    }
    return found;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    const TSection* s = FindSection(section);
    if (s) {
        const std::size_t line = FindKey(*s, key);
        if (line != std::string::npos) {
            std::string_view k, v;
            ParseKeyLine(s->Lines[line], k, v);
            return std::string(v);
        }
    }
    return std::string(defaultValue);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int32_t defaultValue) const {
    std::int32_t v = 0;
    return ParseIniInteger(ReadString(section, key, ""), v) ? v : defaultValue;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(std::string_view section, std::string_view key, double defaultValue,
                           const TFormatSettings& fs) const {
    const std::string text = ReadString(section, key, "");
    double v = defaultValue;
    if (text.empty() || !TryTextToFloat(text, v, fs.DecimalSeparator)) return defaultValue;
    return v;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    CheckSectionName(section);
    CheckKeyName(key);
    std::string oneLine(value);
    for (char& c : oneLine)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';

    TSection* s = FindSection(section);
    if (!s) {
        // A new section goes at the end of the file, after a blank line.
        TSection& last = sections_.back();
        const bool fileEmpty = sections_.size() == 1 && last.Lines.empty();
        const std::string& lastLine = last.Lines.empty() ? last.Header : last.Lines.back();
        if (!fileEmpty && !Trim(lastLine).empty()) last.Lines.emplace_back();
        sections_.push_back(
            TSection{"[" + std::string(section) + "]", std::string(Trim(section)), {}, {}, 0});
        index_.try_emplace(LowerKey(section), sections_.size() - 1);
        s = &sections_.back();
        LinesMoved();
    }

    const std::size_t line = FindKey(*s, key);
    if (line != std::string::npos) {
        // Keep the key as it is spelt in the file; only the value changes.
        std::string_view k, v;
        ParseKeyLine(s->Lines[line], k, v);
        std::string newLine = std::string(k) + "=" + oneLine;
        if (s->Lines[line] != newLine) {
            s->Lines[line] = std::move(newLine);
            modified_ = true;
        }
        return;
    }
    // A new key goes after the last key of its section, before the blank lines and comments
    // that separate it from the next one; no key line moves.
    const std::size_t insertAt = s->AfterLastKey;
    s->Lines.insert(s->Lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                    std::string(Trim(key)) + "=" + oneLine);
    s->Keys.try_emplace(LowerKey(key), insertAt);
    s->AfterLastKey = insertAt + 1;
    LinesMoved();
    modified_ = true;
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteFloat(std::string_view section, std::string_view key, double value,
                          const TFormatSettings& fs) {
    WriteString(section, key, FloatToText(value, fs));
}

bool TIniFile::SectionExists(std::string_view section) const {
    return FindSection(section) != nullptr;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    const TSection* s = FindSection(section);
    return s && FindKey(*s, key) != std::string::npos;
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> names;
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        // Only the first section of a name is the one reads see.
        const auto it = index_.find(LowerKey(sections_[i].Name));
        if (it != index_.end() && it->second == i) names.push_back(sections_[i].Name);
    }
    return names;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
    std::vector<std::string> keys;
    const TSection* s = FindSection(section);
    if (!s) return keys;
    for (std::size_t i = 0; i < s->Lines.size(); ++i) {
        std::string_view k, v;
        // A key's first line only, in the spelling found there.
        if (ParseKeyLine(s->Lines[i], k, v) && FindKey(*s, k) == i) keys.emplace_back(k);
    }
    return keys;
}

void TIniFile::EraseSection(std::string_view section) {
    bool erased = false;
    for (std::size_t i = sections_.size(); i-- > 1;) {
        if (SameName(sections_[i].Name, section)) {
            sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(i));
            erased = true;
        }
    }
    if (erased) {
        RebuildIndex();
        LinesMoved();
        modified_ = true;
    }
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key) {
    TSection* s = FindSection(section);
    if (!s) return;
    const std::size_t line = FindKey(*s, key);
    if (line == std::string::npos) return;
    s->Lines.erase(s->Lines.begin() + static_cast<std::ptrdiff_t>(line));
    IndexKeys(*s);  // the lines after it moved up, and a later key of that name may now be read
    LinesMoved();
    modified_ = true;
}

std::string TIniFile::Text() const {
    std::string text;
    if (bom_) text = "\xEF\xBB\xBF";
    // The reader takes one CR before each LF as part of the line end, so a line that ends in
    // a CR of its own is ended with CR LF even in an LF file: it reads back whole.
    auto append = [&](const std::string& line) {
        text += line;
        text += crlf_ || (!line.empty() && line.back() == '\r') ? "\r\n" : "\n";
    };
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        if (i > 0) append(sections_[i].Header);
        for (const std::string& line : sections_[i].Lines) append(line);
    }
    return text;
}

void TIniFile::UpdateFile() {
    if (!modified_) return;

    // Replace the file a link points to, not the link.
    const fs::path target = WriteTarget(fileName_);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string text = Text();

    // The temporary file lives in the same folder, so the rename is atomic.
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder / (TempPrefix(target) + std::to_string(::getpid()) + "-" +
                         std::to_string(tempCounter.fetch_add(1)));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) ThrowFileError("Cannot write", fileName_, errno, kKeptContent);

    // The new file keeps the old one's permissions and owner.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        if (::fchmod(fd, old.st_mode & 07777) != 0) {
            // Best effort: the content matters more than the mode.
        }
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Only the owner or root may keep a foreign owner; the writer's own is fine.
        }
    }

    int err = 0;
    if (!WriteAll(fd, text) || ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        ThrowFileError("Cannot write", fileName_, err, kKeptContent);
    }

    // Make the rename itself durable.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    modified_ = false;
}

}  // namespace ov
