// ovclient dde: conversations with OV Calc's DDE service, one per command.
#pragma once

#include <string>
#include <vector>

namespace ovclient {

// Runs "ovclient dde ARGUMENTS...": the exit status.
int RunDde(const std::vector<std::string>& args);

}  // namespace ovclient
