// The setup server's single-value query as the engine's parts see it: a key such as
// "SENSOR:RIVER1:HG,SHIFT" and its answer.
#pragma once

#include <string>

namespace ov {

class ISetupQuery {
public:
    virtual ~ISetupQuery() = default;
    // The setup server's value for key; false when there is none (the answer "ERROR", a failed
    // call, or no server running). An empty answer is a value.
    virtual bool QuerySetup(const std::string& key, std::string& value) = 0;
};

}  // namespace ov
