// ovbridge's settings file (INI, UTF-8): the broker and how to reach it, the topics, the queue
// bounds, the time zone, the groups file, and the WIS2 notifications. The broker's password is
// never in it: it comes from a file the settings name or from the environment.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ResultMessages.h"

namespace ovbridge {

enum TProtocolChoice {
    pcAuto,  // MQTT 5, and 3.1.1 when the broker refuses 5
    pcV5,
    pcV311,
};

struct TBridgeSettings {
    // [Broker]
    std::string Host = "localhost";
    int Port = 1883;
    int KeepAlive = 30;    // seconds
    std::string ClientId;  // default "ovbridge-ENGINE"
    TProtocolChoice Protocol = pcAuto;
    std::string User;
    std::filesystem::path PasswordFile;  // else the environment's OVBRIDGE_PASSWORD
    std::filesystem::path CAFile;        // TLS when set
    std::filesystem::path CertFile;      // client certificate
    std::filesystem::path KeyFile;       // its key
    double ReconnectMin = 1;             // seconds: the first wait after a failed connection
    double ReconnectMax = 60;            // the wait doubles up to this

    // [Bridge]
    std::string Engine;  // default: the host name
    std::string Prefix = "ovcalc";
    std::string InTopic;             // default PREFIX/in/#
    std::int64_t QueueSize = 10000;  // result records held while the broker cannot take them
    std::int64_t HoldSize = 10000;   // station records held while OV Calc cannot take them
    std::string TimeZone;            // IANA name; empty: the machine's
    std::filesystem::path Groups;    // OV Calc's configuration file, for the results' group

    TWis2Settings Wis2;
};

// The environment variable the broker's password is taken from when no PasswordFile is named.
inline constexpr const char* PasswordVariable = "OVBRIDGE_PASSWORD";

// Reads file into settings; relative paths in it count from the file's folder. False with why
// (naming the line) for a file that cannot be read, is no UTF-8, holds a value out of range or a
// Password key. warnings gets one line per key the file gives that ovbridge does not know.
bool LoadBridgeSettings(const std::filesystem::path& file, TBridgeSettings& settings,
                        std::vector<std::string>& warnings, std::string& why);

// The broker's password: the first line of PasswordFile, else OVBRIDGE_PASSWORD, else none
// (empty, false). False with why when the file cannot be read. warning says when the file can
// be read by others than its owner.
bool ReadBrokerPassword(const TBridgeSettings& settings, std::string& password, bool& given,
                        std::string& warning, std::string& why);

}  // namespace ovbridge
