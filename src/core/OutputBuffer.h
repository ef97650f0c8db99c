// The output buffer: status and trace lines handed from the calculation thread to the main
// window's status list, first in, first out, bounded to 64 lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "core/BoundedQueue.h"
#include "core/QueueHost.h"

namespace ov {

// okStatus lines also go to the first panel of the window's status bar.
enum TOutputKind : std::uint8_t { okDetail = 0, okError = 1, okStatus = 2 };

inline constexpr int OutputBufferSlots = 64;
// How long a writer waits for a free slot before it asks the window to drain the buffer.
inline constexpr std::chrono::milliseconds OutputSlotWait{10};
// How long a drain request may keep the writer waiting for the window.
inline constexpr std::chrono::milliseconds DrainRequestLimit{3000};

class TOutputBuffer {
public:
    explicit TOutputBuffer(IQueueHost& host);
    ~TOutputBuffer();
    TOutputBuffer(const TOutputBuffer&) = delete;
    TOutputBuffer& operator=(const TOutputBuffer&) = delete;

    // Calculation thread. Waits for a free slot, sending the host a drain request (at most
    // 3000 ms each) every 10 ms, then appends the line. Errors of the host pass on.
    void Add(std::string text, TOutputKind kind);
    // Main thread. Removes the head line and frees its slot.
    bool Get(std::string& text, TOutputKind& kind);
    bool HasItems();
    int Count();
    // Drops every line, freeing one slot per line.
    void Clear();

private:
    IQueueHost& host_;
    TBoundedQueue<std::pair<std::string, TOutputKind>, OutputBufferSlots> lines_;
};

}  // namespace ov
