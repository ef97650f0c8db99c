// The output buffer between the calculation thread and the program's status log.
#include "core/OutputBuffer.h"

#include <utility>

namespace ov {

TOutputBuffer::TOutputBuffer(IQueueHost& host) : host_(host) {}

TOutputBuffer::~TOutputBuffer() {
    Clear();
}

void TOutputBuffer::Add(std::string text, TOutputKind kind) {
    // A drain request that is not answered in time is simply sent again: the line is never
    // dropped, and a busy window costs the writer at most the limit per attempt.
    const std::size_t length = text.size();
    if (length > StatusLineLimit) {
        text.resize(StatusLineLimit);
        text.shrink_to_fit();
    }
    lines_.Push({std::move(text), kind, length}, OutputSlotWait, [this] {
        host_.RequestDrain(DrainRequestLimit);
        return true;
    });
}

bool TOutputBuffer::Get(TOutputLine& line) {
    return lines_.Pop(line);
}

bool TOutputBuffer::Get(std::string& text, TOutputKind& kind) {
    TOutputLine line;
    if (!lines_.Pop(line)) return false;
    text = std::move(line.Text);
    kind = line.Kind;
    return true;
}

bool TOutputBuffer::HasItems() {
    return !lines_.Empty();
}

int TOutputBuffer::Count() {
    return lines_.Count();
}

void TOutputBuffer::Clear() {
    lines_.Clear();
}

}  // namespace ov
