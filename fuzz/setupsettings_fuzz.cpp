// Fuzz target: ovsetup's settings file reader on a fuzzed file, and the answers it then gives.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "suite/SetupSettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = ov::fuzz::WriteScratchFile("OVSetup.ini", ov::fuzz::AsText(data, size));
    ov::TSetupSettings settings;
    std::string error;
    if (ov::LoadSetupSettings(path, settings, error)) {
        for (const auto& [key, answer] : settings.Params)
            if (ov::SetupParamAnswer(settings, key) != answer) std::abort();
        (void)ov::SetupParamAnswer(settings, "SetupLoad");
        (void)ov::EncodeGeneralSetup(settings.General);
        (void)ov::EncodeDataServerSetup(settings.DataServer);
    } else if (error.empty()) {
        std::abort();  // a refused file always says why
    }
    return 0;
}
