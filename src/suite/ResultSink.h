// Where the calculation thread hands its result records. The engine defines the sink, so that
// a result goes from the thread straight into the live data store (TResultPublisher in
// suite/DataStore.h) without passing through the program's controller.
#pragma once

#include <string>
#include <string_view>

namespace ov {

class IResultSink {
  public:
    virtual ~IResultSink() = default;
    // Called on the calculation thread for every result record; the outcome is not examined.
    virtual void PublishResult(std::string_view item, const std::string& text) = 0;
};

}  // namespace ov
