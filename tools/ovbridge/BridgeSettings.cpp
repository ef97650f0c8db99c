// ovbridge's settings file.
#include "BridgeSettings.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "util/IniFile.h"
#include "util/TextCodec.h"
#include "util/TextCompare.h"

namespace ovbridge {
namespace {

const std::map<std::string, std::set<std::string>>& KnownKeys() {
    static const std::map<std::string, std::set<std::string>> known = {
        {"BROKER",
         {"HOST", "PORT", "KEEPALIVE", "CLIENTID", "PROTOCOL", "USER", "PASSWORDFILE", "CAFILE",
          "CERTFILE", "KEYFILE", "RECONNECTMIN", "RECONNECTMAX"}},
        {"BRIDGE", {"ENGINE", "PREFIX", "INTOPIC", "QUEUESIZE", "HOLDSIZE", "TIMEZONE", "GROUPS"}},
        {"WIS2", {"CENTRE", "DATAPOLICY", "METADATAID", "LINK"}},
    };
    return known;
}

constexpr const char* StationsSection = "WIS2 Stations";

class TReader {
  public:
    TReader(const ov::TIniFile& ini, const std::filesystem::path& file) : ini_(ini), file_(file) {}

    std::string Text(const char* section, const char* key, const std::string& fallback) const {
        return ini_.ReadString(section, key, fallback);
    }
    bool Given(const char* section, const char* key) const {
        return ini_.ValueExists(section, key) && !Text(section, key, "").empty();
    }
    std::string Where(const char* section, const char* key) const {
        return file_.string() + ":" + std::to_string(ini_.KeyLine(section, key)) + ": ";
    }
    bool Integer(const char* section, const char* key, std::int64_t low, std::int64_t high,
                 std::int64_t& value, std::string& why) const {
        if (!Given(section, key)) return true;
        const std::string text = Text(section, key, "");
        std::int64_t v = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) {
            why = Where(section, key) + key + " takes a whole number from " + std::to_string(low) +
                  " to " + std::to_string(high) + ", not \"" + text + "\"";
            return false;
        }
        value = v;
        return true;
    }
    bool Seconds(const char* section, const char* key, double& value, std::string& why) const {
        if (!Given(section, key)) return true;
        const std::string text = Text(section, key, "");
        double v = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec != std::errc() || end != text.data() + text.size() || !(v > 0) || v > 86400) {
            why = Where(section, key) + key +
                  " takes a number of seconds above 0 and at most 86400, not \"" + text + "\"";
            return false;
        }
        value = v;
        return true;
    }
    std::filesystem::path Path(const char* section, const char* key) const {
        if (!Given(section, key)) return {};
        const std::filesystem::path path = Text(section, key, "");
        return path.is_absolute() ? path : file_.parent_path() / path;
    }

  private:
    const ov::TIniFile& ini_;
    std::filesystem::path file_;
};

// "lat,lon[,elevation]" with "." decimals.
bool ReadPlace(const std::string& text, TStationPlace& place) {
    std::vector<double> numbers;
    std::size_t at = 0;
    for (;;) {
        std::size_t comma = text.find(',', at);
        std::string field =
            text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        const std::size_t first = field.find_first_not_of(' ');
        const std::size_t last = field.find_last_not_of(' ');
        if (first == std::string::npos) return false;
        field = field.substr(first, last - first + 1);
        double v = 0;
        auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
        if (ec != std::errc() || end != field.data() + field.size() || !std::isfinite(v))
            return false;
        numbers.push_back(v);
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    if (numbers.size() < 2 || numbers.size() > 3) return false;
    if (numbers[0] < -90 || numbers[0] > 90 || numbers[1] < -180 || numbers[1] > 180) return false;
    place.Latitude = numbers[0];
    place.Longitude = numbers[1];
    if (numbers.size() == 3) place.Elevation = numbers[2];
    return true;
}

// A name that goes into a topic: UTF-8 without wildcards and without a zero byte.
bool GoodTopicPart(const std::string& text) {
    return text.find_first_of("+#") == std::string::npos && text.find('\0') == std::string::npos;
}

}  // namespace

bool LoadBridgeSettings(const std::filesystem::path& file, TBridgeSettings& settings,
                        std::vector<std::string>& warnings, std::string& why) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        why = "cannot read the settings file " + file.string() + ": no such file";
        return false;
    }
    std::unique_ptr<ov::TIniFile> loaded;
    try {
        loaded = std::make_unique<ov::TIniFile>(file);
    } catch (const ov::EIniFileError& e) {
        why = e.what();
        return false;
    }
    const ov::TIniFile& ini = *loaded;
    const std::string text = ini.Text();
    if (!ov::IsBusUtf8(text)) {
        why = file.string() + " is not UTF-8 text";
        return false;
    }
    for (const auto& finding : ini.Findings()) {
        warnings.push_back(file.string() + ":" + std::to_string(finding.Line) + ": " +
                           finding.Text);
    }
    for (const std::string& section : ini.ReadSections()) {
        const std::string upper = ov::UpperCaseAscii(section);
        if (ov::SameText(section, StationsSection)) continue;
        const auto known = KnownKeys().find(upper);
        for (const std::string& key : ini.ReadSection(section)) {
            if (ov::SameText(key, "Password")) {
                why = file.string() + ":" + std::to_string(ini.KeyLine(section, key)) +
                      ": the broker's password does not belong in the settings: name a "
                      "PasswordFile or set " +
                      PasswordVariable;
                return false;
            }
            if (known == KnownKeys().end()) {
                warnings.push_back(file.string() + ":" + std::to_string(ini.SectionLine(section)) +
                                   ": unknown section [" + section + "] (ignored)");
                break;
            }
            if (known->second.count(ov::UpperCaseAscii(key)) == 0) {
                warnings.push_back(file.string() + ":" + std::to_string(ini.KeyLine(section, key)) +
                                   ": unknown key " + key + " in [" + section + "] (ignored)");
            }
        }
    }

    TReader r(ini, file);
    TBridgeSettings s;
    s.Host = r.Text("Broker", "Host", s.Host);
    if (s.Host.empty()) {
        why = r.Where("Broker", "Host") + "Host is empty";
        return false;
    }
    std::int64_t number = s.Port;
    if (!r.Integer("Broker", "Port", 1, 65535, number, why)) return false;
    s.Port = static_cast<int>(number);
    number = s.KeepAlive;
    if (!r.Integer("Broker", "KeepAlive", 5, 65535, number, why)) return false;
    s.KeepAlive = static_cast<int>(number);
    s.ClientId = r.Text("Broker", "ClientId", "");
    const std::string protocol = r.Text("Broker", "Protocol", "auto");
    if (ov::SameText(protocol, "auto")) {
        s.Protocol = pcAuto;
    } else if (protocol == "5" || protocol == "5.0") {
        s.Protocol = pcV5;
    } else if (protocol == "3.1.1") {
        s.Protocol = pcV311;
    } else {
        why = r.Where("Broker", "Protocol") + "Protocol takes auto, 5 or 3.1.1, not \"" + protocol +
              "\"";
        return false;
    }
    s.User = r.Text("Broker", "User", "");
    s.PasswordFile = r.Path("Broker", "PasswordFile");
    s.CAFile = r.Path("Broker", "CAFile");
    s.CertFile = r.Path("Broker", "CertFile");
    s.KeyFile = r.Path("Broker", "KeyFile");
    if (s.CertFile.empty() != s.KeyFile.empty()) {
        why = file.string() +
              ": CertFile and KeyFile go together (the client's certificate "
              "and its key)";
        return false;
    }
    if (!s.CertFile.empty() && s.CAFile.empty()) {
        why = file.string() + ": a client certificate needs TLS: name the broker's CAFile";
        return false;
    }
    if (!r.Seconds("Broker", "ReconnectMin", s.ReconnectMin, why) ||
        !r.Seconds("Broker", "ReconnectMax", s.ReconnectMax, why))
        return false;
    if (s.ReconnectMax < s.ReconnectMin) s.ReconnectMax = s.ReconnectMin;

    s.Engine = r.Text("Bridge", "Engine", "");
    s.Prefix = r.Text("Bridge", "Prefix", s.Prefix);
    s.InTopic = r.Text("Bridge", "InTopic", "");
    if (s.Prefix.empty() || !GoodTopicPart(s.Prefix)) {
        why = r.Where("Bridge", "Prefix") + "Prefix must be a topic without + and # (\"ovcalc\")";
        return false;
    }
    if (!r.Integer("Bridge", "QueueSize", 1, 100000000, s.QueueSize, why) ||
        !r.Integer("Bridge", "HoldSize", 1, 100000000, s.HoldSize, why))
        return false;
    s.TimeZone = r.Text("Bridge", "TimeZone", "");
    s.Groups = r.Path("Bridge", "Groups");

    TWis2Settings& w = s.Wis2;
    w.Centre = r.Text("WIS2", "Centre", "");
    w.DataPolicy = r.Text("WIS2", "DataPolicy", "core");
    w.MetadataId = r.Text("WIS2", "MetadataId", "");
    w.Link = r.Text("WIS2", "Link", "");
    w.Enabled = !w.Centre.empty();
    if (w.Enabled) {
        if (!GoodTopicPart(w.Centre) || w.Centre.find('/') != std::string::npos) {
            why = r.Where("WIS2", "Centre") + "Centre must be one topic level";
            return false;
        }
        if (w.DataPolicy != "core" && w.DataPolicy != "recommended") {
            why = r.Where("WIS2", "DataPolicy") + "DataPolicy takes core or recommended, not \"" +
                  w.DataPolicy + "\"";
            return false;
        }
        if (w.MetadataId.empty()) {
            why = file.string() + ": WIS2 notifications need the MetadataId of their dataset";
            return false;
        }
        for (const std::string& station : ini.ReadSection(StationsSection)) {
            TStationPlace place;
            const std::string value = ini.ReadString(StationsSection, station, "");
            if (!ReadPlace(value, place)) {
                why = file.string() + ":" + std::to_string(ini.KeyLine(StationsSection, station)) +
                      ": " + station + " takes latitude,longitude[,elevation], not \"" + value +
                      "\"";
                return false;
            }
            std::string name;
            ov::Utf8ToLatin1(station, name, ov::TUtf8Policy::upReplace);
            w.Stations[ov::UpperCaseAscii(name)] = place;
        }
    }
    settings = std::move(s);
    return true;
}

bool ReadBrokerPassword(const TBridgeSettings& settings, std::string& password, bool& given,
                        std::string& warning, std::string& why) {
    password.clear();
    given = false;
    if (!settings.PasswordFile.empty()) {
        std::ifstream in(settings.PasswordFile, std::ios::binary);
        if (!in) {
            why = "cannot read the password file " + settings.PasswordFile.string();
            return false;
        }
        std::getline(in, password);
        if (!password.empty() && password.back() == '\r') password.pop_back();
        struct stat info {};
        if (::stat(settings.PasswordFile.c_str(), &info) == 0 && (info.st_mode & 077) != 0) {
            warning = "the password file " + settings.PasswordFile.string() +
                      " can be read by others (chmod 600 it)";
        }
        given = true;
        return true;
    }
    if (const char* env = std::getenv(PasswordVariable); env != nullptr) {
        password = env;
        given = true;
    }
    return true;
}

}  // namespace ovbridge
