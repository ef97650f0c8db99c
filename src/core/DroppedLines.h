// Data lines of a source that cannot be taken (their time tag cannot be read), told in the
// status list once per source and period: the first at once, the ones after it counted and
// told together when the period is over. A source sending nothing but such lines neither
// floods the status list nor loses them without a word.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

class TDroppedLines {
  public:
    using TClock = std::chrono::steady_clock;
    using TNowProc = std::function<TClock::time_point()>;

    explicit TDroppedLines(TClock::duration period = std::chrono::minutes(1),
                           TNowProc now = &TClock::now);

    // A line of source (its AppID) dropped because its time tag, timeTag (the line's text
    // before its first comma), cannot be read. The status line to show now when nothing of
    // source was told within the period; empty when the line is counted for Due. Any thread.
    std::string Drop(std::string_view source, std::string_view timeTag);
    // The status lines of the counted lines whose period is over, one per source. Any thread.
    std::vector<std::string> Due();

  private:
    struct TSource {
        TClock::time_point Told;  // when its last line was shown
        std::int64_t Held = 0;    // dropped since then
        std::string Last;         // the time tag of the last one held
    };
    static std::string Text(std::string_view source, std::int64_t count, std::string_view timeTag);

    TClock::duration period_;
    TNowProc now_;
    std::mutex lock_;
    std::map<std::string, TSource, std::less<>> sources_;  // guarded by lock_
};

}  // namespace ov
