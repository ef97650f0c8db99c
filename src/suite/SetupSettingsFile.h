// ovsetup's settings file: the general and data-server settings and the single parameters
// that the stand-in setup server hands out, read from an INI file with line-exact errors.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

#include "suite/SetupParams.h"

namespace ov {

// What ovsetup serves. Texts are 8-bit (Latin-1), as the engine holds them.
struct TSetupSettings {
    TGeneralSetup General;
    TDataServerSetup DataServer;  // DatabasePassword enciphered, ready to be sent
    // key in ASCII lower case -> answer; looked up at every setup query of a replay
    std::unordered_map<std::string, std::string> Params;
};

// Reads file: [General] and [DataServer] name their elements by index or field name
// (letter case ignored), [Params] holds key=answer lines; ";" and "#" begin comments, and an
// answer in double quotes keeps its blanks. Elements not given keep the record's defaults.
// The password (DataServer element 3) is written in plain text and enciphered here. A
// relative TableDirectory (General element 3) counts from file's folder and is made absolute.
// False on the first fault, with error naming the file and line ("OVSetup.ini:7: ...").
bool LoadSetupSettings(const std::filesystem::path& file, TSetupSettings& settings,
                       std::string& error);

// The answer for key (letter case ignored): the [Params] entry; "SetupLoad" answers "OK"
// unless the file gives it; any other key "ERROR".
std::string SetupParamAnswer(const TSetupSettings& settings, const std::string& key);
// The same without a copy, for a caller that asks often: valid while settings is; folded is
// the caller's buffer for the key's folding.
std::string_view SetupParamAnswer(const TSetupSettings& settings, std::string_view key,
                                  std::string& folded);

}  // namespace ov
