// Reading ovsetup's settings file.
#include "suite/SetupSettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <sstream>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "busnames/BusNames.h"
#include "suite/Encrypt.h"
#include "util/TextCodec.h"

namespace ov {
namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::string_view Trim(std::string_view text) {
    const char* blanks = " \t";
    std::size_t begin = text.find_first_not_of(blanks);
    if (begin == std::string_view::npos) return {};
    std::size_t end = text.find_last_not_of(blanks);
    return text.substr(begin, end - begin + 1);
}

// What the element's type accepts, for the error message.
std::string TypeText(const TSetupValue& sample) {
    switch (sample.index()) {
        case 2:
            return "a boolean (True, False or a number, 0 being false)";
        case 3:
            return "a whole number from 0 to 255";
        case 5:
            return "a whole number from 0 to 65535";
        case 6:
            return "a whole number from -2147483648 to 2147483647";
        default:
            return "a text";
    }
}

// "0 (None), 1 (PCBASE), ... 10 (POSTGRES)".
std::string StorageOptionList() {
    std::string list;
    for (int option = 0; !StorageOptionName(static_cast<std::uint8_t>(option)).empty(); ++option) {
        if (option > 0) list += ", ";
        list += std::to_string(option) + " (" +
                std::string(StorageOptionName(static_cast<std::uint8_t>(option))) + ")";
    }
    return list;
}

// One record's elements: by index or name, with their type samples and the line each was
// given on (0: not yet).
struct TRecordTable {
    bool General;  // TGeneralSetup, else TDataServerSetup
    const char* Section;
    int Count;
    std::string_view (*NameOf)(int);
    int (*IndexOf)(std::string_view);
    std::string_view Example;
    std::vector<TSetupValue> Samples;
    std::vector<int> Lines;
};

int ElementIndex(const TRecordTable& table, std::string_view key) {
    int index = -1;
    auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), index);
    if (ec == std::errc() && end == key.data() + key.size()) {
        return index >= 0 && index < table.Count ? index : -1;
    }
    return table.IndexOf(key);
}

enum TSection { scNone, scGeneral, scDataServer, scParams };

// Where a line stops being UTF-8: the byte's place in the line (from 1) and its value.
std::string NotUtf8Text(std::string_view line, std::size_t at) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X",
                  static_cast<unsigned>(static_cast<unsigned char>(line[at])));
    return "the file is not valid UTF-8: byte " + std::to_string(at + 1) + " of the line (" + hex +
           ") is not part of a UTF-8 character; a settings file is UTF-8 text";
}

// The whole content of file, or false and why not ("cannot be read: ..."). A folder in the
// file's place is said so: reading one fails only at the first read, with a less clear error.
bool ReadWholeFile(const std::filesystem::path& file, std::string& text, std::string& why) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        why = "is a folder, not a settings file";
        return false;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::string("cannot be read: ") + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

class TReader {
  public:
    TReader(const std::filesystem::path& file, TSetupSettings& settings)
        : file_(file), settings_(settings) {}

    bool Read(std::string& error) {
        std::string text;
        std::string why;
        if (!ReadWholeFile(file_, text, why)) return Fail(error, 0, why);
        // Said before any line is read: a line message would show the binary bytes, cut
        // short at the zero byte by whatever prints it.
        if (const std::size_t zero = text.find('\0'); zero != std::string::npos) {
            return Fail(error, 0,
                        "is not a text file (a zero byte at offset " + std::to_string(zero) + ")");
        }
        if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
        std::istringstream lines(text);
        std::string line;
        int number = 0;
        while (std::getline(lines, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            // Said as what it is, before the line is read: a byte that is no UTF-8 is no
            // character at all, above U+00FF or not.
            if (const std::size_t at = InvalidUtf8At(line); at != std::string::npos)
                return Fail(error, number, NotUtf8Text(line, at));
            std::string message;
            if (!ReadLine(line, number, message)) return Fail(error, number, message);
        }
        return true;
    }

  private:
    bool Fail(std::string& error, int line, const std::string& message) {
        error = file_.string();
        if (line > 0) error += ":" + std::to_string(line);
        error += ": " + message;
        return false;
    }

    bool ReadLine(const std::string& raw, int number, std::string& message) {
        std::string_view line = Trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') return true;
        if (line[0] == '[') {
            if (line.back() != ']') {
                message = "a section header must end with \"]\"";
                return false;
            }
            std::string name = Lower(Trim(line.substr(1, line.size() - 2)));
            if (name == "general") {
                section_ = scGeneral;
            } else if (name == "dataserver") {
                section_ = scDataServer;
            } else if (name == "params") {
                section_ = scParams;
            } else {
                message = "unknown section " + std::string(line) +
                          "; the sections are [General], [DataServer] and [Params]";
                return false;
            }
            return true;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            message = "\"" + std::string(line) + "\" is not of the form key=value";
            return false;
        }
        std::string_view key = Trim(line.substr(0, equals));
        std::string_view value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (key.empty()) {
            message = "a setting without a key";
            return false;
        }
        if (section_ == scNone) {
            message = "the setting " + std::string(key) + " stands before the first section";
            return false;
        }
        std::string text;
        if (!Utf8ToLatin1(value, text, TUtf8Policy::upStrict)) {
            message = "the value of " + std::string(key) +
                      " holds characters that 8-bit text cannot hold (UTF-8 text of "
                      "U+0001-U+00FF only)";
            return false;
        }
        if (text.find('\0') != std::string::npos) {
            message = "the value of " + std::string(key) + " holds a zero byte";
            return false;
        }
        if (section_ == scParams) return ReadParam(key, text, number, message);
        return ReadElement(section_ == scGeneral ? general_ : dataServer_, key, text, number,
                           message);
    }

    bool ReadParam(std::string_view key, const std::string& text, int number,
                   std::string& message) {
        std::string folded;
        if (!Utf8ToLatin1(key, folded, TUtf8Policy::upStrict) ||
            folded.find('\0') != std::string::npos) {
            message = "the key " + std::string(key) + " holds characters a key cannot hold";
            return false;
        }
        folded = Lower(folded);
        auto [it, added] = paramLines_.emplace(folded, number);
        if (!added) {
            message = "the key " + std::string(key) + " is given twice (first on line " +
                      std::to_string(it->second) + ")";
            return false;
        }
        settings_.Params[folded] = text;
        return true;
    }

    bool ReadElement(TRecordTable& table, std::string_view key, const std::string& text, int number,
                     std::string& message) {
        int index = ElementIndex(table, key);
        if (index < 0) {
            message = "unknown element " + std::string(key) + " in [" + table.Section +
                      "]: an index from 0 to " + std::to_string(table.Count - 1) +
                      " or a field name such as " + std::string(table.Example);
            return false;
        }
        std::string name(table.NameOf(index));
        std::string label = name + " (element " + std::to_string(index) + ")";
        int& first = table.Lines[static_cast<std::size_t>(index)];
        if (first != 0) {
            message = label + " is given twice (first on line " + std::to_string(first) + ")";
            return false;
        }
        first = number;
        if (table.General) {
            if (!SetGeneralElement(settings_.General, index, text)) {
                message = label + " takes " +
                          TypeText(table.Samples[static_cast<std::size_t>(index)]) + ", not \"" +
                          Latin1ToUtf8(text) + "\"";
                return false;
            }
            return true;
        }
        if (index == DataServerElementIndex("DatabasePassword")) {
            return SetPassword(text, label, message);
        }
        if (!SetDataServerElement(settings_.DataServer, index, text)) {
            message = label + " takes " + TypeText(table.Samples[static_cast<std::size_t>(index)]) +
                      ", not \"" + Latin1ToUtf8(text) + "\"";
            return false;
        }
        // OV Calc takes a value outside the defined options for no database at all, and
        // then never calculates: say so here rather than serve it.
        if (index == DataServerElementIndex("StorageOption") &&
            StorageOptionName(settings_.DataServer.StorageOption).empty()) {
            message = label + " takes one of the storage options " + StorageOptionList() +
                      ", not \"" + Latin1ToUtf8(text) + "\"";
            return false;
        }
        return true;
    }

    // The password is served enciphered. The bus cannot carry a zero byte in a text, and the
    // enciphered bytes up to the ":" are fixed by the password itself, so such a password
    // is refused rather than sent cut short.
    bool SetPassword(const std::string& password, const std::string& label, std::string& message) {
        if (password.empty()) {
            settings_.DataServer.DatabasePassword.clear();
            return true;
        }
        std::string field;
        if (!EncodeLogin(password, "", field)) {
            message = label + ": a password cannot hold \":\" and has at most " +
                      std::to_string(LoginFieldLength - 1) + " characters";
            return false;
        }
        if (field.find('\0') != std::string::npos) {
            message = label +
                      ": the enciphered form of this password holds a zero byte, which the bus "
                      "cannot carry in a text; choose another password";
            return false;
        }
        settings_.DataServer.DatabasePassword = field;
        return true;
    }

    const std::filesystem::path& file_;
    TSetupSettings& settings_;
    TSection section_ = scNone;
    TRecordTable general_{true,
                          "General",
                          GeneralSetupCount,
                          &GeneralElementName,
                          &GeneralElementIndex,
                          "TableDirectory",
                          EncodeGeneralSetup(TGeneralSetup{}),
                          std::vector<int>(GeneralSetupCount, 0)};
    TRecordTable dataServer_{false,
                             "DataServer",
                             DataServerSetupCount,
                             &DataServerElementName,
                             &DataServerElementIndex,
                             "DatabaseAlias",
                             EncodeDataServerSetup(TDataServerSetup{}),
                             std::vector<int>(DataServerSetupCount, 0)};
    std::map<std::string, int> paramLines_;
};

}  // namespace

bool LoadSetupSettings(const std::filesystem::path& file, TSetupSettings& settings,
                       std::string& error) {
    TSetupSettings loaded;
    TReader reader(file, loaded);
    try {
        if (!reader.Read(error)) return false;
    } catch (const std::exception& e) {
        // Whatever else goes wrong is a file that was not loaded, never the end of the server
        // (a reload runs inside the bus's event handling).
        error = file.string() + ": cannot be read: " + e.what();
        return false;
    }
    // A relative table folder counts from the settings file's folder, not from the working
    // folder of whoever reads the tables: served as an absolute path, the settings work from
    // wherever OV Calc was started.
    std::string& tables = loaded.General.TableDirectory;
    if (!tables.empty() && tables.front() != '/' && tables.front() != '\\') {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::absolute(file, ec).parent_path();
        if (!ec) {
            std::string relative = tables;
            std::replace(relative.begin(), relative.end(), '\\', '/');
            tables = (folder / relative).lexically_normal().string();
        }
    }
    settings = std::move(loaded);
    return true;
}

std::string SetupParamAnswer(const TSetupSettings& settings, const std::string& key) {
    std::string folded;
    return std::string(SetupParamAnswer(settings, key, folded));
}

std::string_view SetupParamAnswer(const TSetupSettings& settings, std::string_view key,
                                  std::string& folded) {
    folded.assign(key);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    auto it = settings.Params.find(folded);
    if (it != settings.Params.end()) return it->second;
    if (folded == Lower(SetupLoadKey)) return SetupLoadedAnswer;
    return SetupNoValue;
}

}  // namespace ov
