// The setup server's single-value query as the engine's parts see it: a key such as
// "SENSOR:RIVER1:HG,SHIFT" and its answer.
#pragma once

#include <string>

#include "util/Exception.h"

namespace ov {

// Raised by a query that cannot be answered for now although the server has the value (it is
// being started again): a calculation that needs the answer ends with this error instead of
// going on as if there were no value.
class ESetupUnavailable : public Exception {
  public:
    using Exception::Exception;
};

class ISetupQuery {
  public:
    virtual ~ISetupQuery() = default;
    // The setup server's value for key; false when there is none (the answer "ERROR", a failed
    // call, or no server running). An empty answer is a value. May raise ESetupUnavailable.
    virtual bool QuerySetup(const std::string& key, std::string& value) = 0;
};

}  // namespace ov
