// What the input and output buffers need from the program that owns them: waking the
// calculation thread, draining the output buffer on the main thread, and serving the user
// interface while a producer waits. The calculation thread's host extends it.
#pragma once

#include <chrono>

namespace ov {

class IQueueHost {
  public:
    virtual ~IQueueHost() = default;

    // Sets the wake event, but only while a calculation thread runs.
    virtual void SignalThread() = 0;

    // Called on the calculation thread when the output buffer is full: has the main thread
    // drain the output buffer and waits at most limit for it. True when it was done in time.
    // Called on the main thread itself, it drains at once.
    virtual bool RequestDrain(std::chrono::milliseconds limit) = 0;

    // Called on the main thread by a producer waiting for a free input slot: processes the
    // pending user-interface events once. An error raised here drops the waiting item.
    virtual void ProcessUiEvents() = 0;
};

}  // namespace ov
