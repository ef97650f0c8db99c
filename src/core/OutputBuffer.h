// The output buffer: status and trace lines handed from the calculation thread to the
// program's status log, first in, first out, bounded to 64 lines.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "core/QueueHost.h"
#include "core/detail/BoundedQueue.h"

namespace ov {

// okStatus lines also go to the first panel of the window's status bar.
enum TOutputKind : std::uint8_t { okDetail = 0, okError = 1, okStatus = 2 };

// A status line shows at most this many characters of its text (the window adds how long it
// was): one value of megabytes must not freeze the window nor fill the memory with copies.
inline constexpr std::size_t StatusLineLimit = 1024;

// A line as the buffer keeps it: at most StatusLineLimit characters of its text, and the
// length the text had.
struct TOutputLine {
    std::string Text;
    TOutputKind Kind = okDetail;
    std::size_t Length = 0;
};

inline constexpr int OutputBufferSlots = 64;
// How long a writer waits for a free slot before it asks its host to drain the buffer.
inline constexpr std::chrono::milliseconds OutputSlotWait{10};
// How long a drain request may keep the writer waiting for the host.
inline constexpr std::chrono::milliseconds DrainRequestLimit{3000};

class TOutputBuffer {
  public:
    explicit TOutputBuffer(IQueueHost& host);
    ~TOutputBuffer();
    TOutputBuffer(const TOutputBuffer&) = delete;
    TOutputBuffer& operator=(const TOutputBuffer&) = delete;

    // Calculation thread. Waits for a free slot, sending the host a drain request (at most
    // 3000 ms each) every 10 ms, then appends the line, cut to StatusLineLimit characters.
    // Errors of the host pass on.
    void Add(std::string text, TOutputKind kind);
    // Main thread. Removes the head line and frees its slot.
    bool Get(TOutputLine& line);
    // The same, without the length the text had before its cut.
    bool Get(std::string& text, TOutputKind& kind);
    bool HasItems();
    int Count();
    // Drops every line, freeing one slot per line.
    void Clear();

  private:
    IQueueHost& host_;
    TBoundedQueue<TOutputLine, OutputBufferSlots> lines_;
};

}  // namespace ov
