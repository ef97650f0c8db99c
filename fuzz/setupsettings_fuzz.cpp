// Fuzz target: ovsetup's settings file reader on a fuzzed file, and the answers it then gives.
// A file read is what ovsetup serves: each parameter answered as read, both records sent and
// decoded again as they are, and the file written back from them (support/SetupSettingsText.h)
// reads as the same settings. A file refused says why in the reader's own words, with the
// file's name and the line (one of the file's) where it has one, in UTF-8: never the text of an
// error the reader did not foresee ("cannot be read" is only for a file that cannot be read).
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "suite/SetupSettingsFile.h"
#include "support/SetupSettingsText.h"
#include "util/TextCodec.h"

namespace {

void CheckRefusal(const std::string& path, std::string_view text, const std::string& error) {
    auto failed = [&] { return "the refusal \"" + ov::fuzz::Shown(error) + "\""; };
    ov::fuzz::Require(
        error.starts_with(path + ":") && ov::InvalidUtf8At(error) == std::string::npos, failed);
    std::string_view message = std::string_view(error).substr(path.size() + 1);
    if (!message.empty() && message.front() >= '1' && message.front() <= '9') {
        std::size_t line = 0;
        while (!message.empty() && message.front() >= '0' && message.front() <= '9') {
            line = line * 10 + static_cast<std::size_t>(message.front() - '0');
            message.remove_prefix(1);
        }
        std::size_t lines = 0;
        for (const char c : text) lines += c == '\n';
        if (!text.empty() && text.back() != '\n') ++lines;
        ov::fuzz::Require(line <= lines && message.starts_with(":"), failed);
        message.remove_prefix(1);
    }
    ov::fuzz::Require(message.starts_with(" ") && message.size() > 1, failed);
    ov::fuzz::Require(!message.substr(1).starts_with("cannot be read"), failed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = ov::fuzz::AsText(data, size);
    const auto path = ov::fuzz::WriteScratchFile("OVSetup.ini", text);
    ov::TSetupSettings settings;
    std::string error;
    if (!ov::LoadSetupSettings(path, settings, error)) {
        CheckRefusal(path.string(), text, error);
        return 0;
    }
    for (const auto& param : settings.Params)
        ov::fuzz::Require(ov::SetupParamAnswer(settings, param.first) == param.second, [&] {
            return "the parameter " + ov::fuzz::Shown(param.first) + " is answered otherwise";
        });
    (void)ov::SetupParamAnswer(settings, "SetupLoad");

    // What is sent decodes as what was read.
    ov::TGeneralSetup general;
    ov::TDataServerSetup dataServer;
    ov::fuzz::Require(ov::DecodeGeneralSetup(ov::EncodeGeneralSetup(settings.General), general) &&
                          general == settings.General,
                      [] { return std::string("the general settings decode otherwise"); });
    ov::fuzz::Require(
        ov::DecodeDataServerSetup(ov::EncodeDataServerSetup(settings.DataServer), dataServer) &&
            dataServer == settings.DataServer,
        [] { return std::string("the data-server settings decode otherwise"); });

    // Written back, it reads as the same settings.
    const std::string written = ov::test::SetupSettingsText(settings);
    const auto again = ov::fuzz::WriteScratchFile("OVSetupAgain.ini", written);
    ov::TSetupSettings reread;
    std::string why;
    ov::fuzz::Require(ov::LoadSetupSettings(again, reread, why), [&] {
        return "the settings written back as \"" + ov::fuzz::Shown(written) +
               "\" are refused: " + why;
    });
    ov::fuzz::Require(reread.General == settings.General &&
                          reread.DataServer == settings.DataServer &&
                          reread.Params == settings.Params,
                      [&] {
                          return "the settings written back as \"" + ov::fuzz::Shown(written) +
                                 "\" read otherwise";
                      });
    return 0;
}
