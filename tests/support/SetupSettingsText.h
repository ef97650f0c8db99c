// A settings file of ovsetup written from what it serves: every element of both records by its
// field name, the password in plain text, every parameter, each value in double quotes (which
// keep its blanks) and in UTF-8. Read by LoadSetupSettings from any folder it gives the same
// settings back: the reference that the reader's round trip is checked against.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "suite/Encrypt.h"
#include "suite/SetupParams.h"
#include "suite/SetupSettingsFile.h"
#include "suite/SetupValue.h"
#include "util/TextCodec.h"

namespace ov::test {

inline std::string SetupSettingsText(const TSetupSettings& settings) {
    std::string text;
    auto line = [&text](std::string_view key, std::string_view latin1Value) {
        text += Latin1ToUtf8(key);
        text += "=\"";
        text += Latin1ToUtf8(latin1Value);
        text += "\"\n";
    };
    text += "[General]\n";
    const std::vector<TSetupValue> general = EncodeGeneralSetup(settings.General);
    for (int i = 0; i < GeneralSetupCount; ++i)
        line(GeneralElementName(i), SetupValueToText(general[static_cast<std::size_t>(i)]));
    text += "[DataServer]\n";
    const std::vector<TSetupValue> dataServer = EncodeDataServerSetup(settings.DataServer);
    const int password = DataServerElementIndex("DatabasePassword");
    for (int i = 0; i < DataServerSetupCount; ++i) {
        line(DataServerElementName(i),
             i == password ? DecodeLogin(settings.DataServer.DatabasePassword)
                           : SetupValueToText(dataServer[static_cast<std::size_t>(i)]));
    }
    text += "[Params]\n";
    for (const auto& [key, answer] : settings.Params) line(key, answer);
    return text;
}

}  // namespace ov::test
