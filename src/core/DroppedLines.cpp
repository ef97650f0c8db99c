// Counting the dropped data lines of each source and telling them once per period.
#include "core/DroppedLines.h"

#include <utility>

#include "busnames/BusNames.h"

namespace ov {
namespace {

// The source's name as the status list names it elsewhere; its AppID for another sender.
std::string SourceName(std::string_view appID) {
    if (appID == IOVDecodeComAppID) return "OV Decode";
    if (appID == IOVRtuDataCOMAppID) return "RO Did";
    if (appID == IOVMBRTUDataCOMAppID) return "ZE DEZav";
    return std::string(appID);
}

}  // namespace

TDroppedLines::TDroppedLines(TClock::duration period, TNowProc now)
    : period_(period), now_(std::move(now)) {}

std::string TDroppedLines::Text(std::string_view source, std::int64_t count,
                                std::string_view timeTag) {
    return "Error 1600: " + std::to_string(count) + (count == 1 ? " line of " : " lines of ") +
           SourceName(source) + " dropped: time tag cannot be read - " + std::string(timeTag);
}

std::string TDroppedLines::Drop(std::string_view source, std::string_view timeTag) {
    const TClock::time_point now = now_();
    std::lock_guard<std::mutex> held(lock_);
    auto it = sources_.find(source);
    if (it == sources_.end()) {
        sources_.emplace(std::string(source), TSource{now, 0, {}});
        return Text(source, 1, timeTag);
    }
    TSource& s = it->second;
    if (now - s.Told < period_) {
        ++s.Held;
        s.Last = timeTag;
        return {};
    }
    const std::int64_t count = s.Held + 1;
    s = TSource{now, 0, {}};
    return Text(source, count, timeTag);
}

std::vector<std::string> TDroppedLines::Due() {
    const TClock::time_point now = now_();
    std::vector<std::string> lines;
    std::lock_guard<std::mutex> held(lock_);
    for (auto& [source, s] : sources_) {
        if (s.Held == 0 || now - s.Told < period_) continue;
        lines.push_back(Text(source, s.Held, s.Last));
        s = TSource{now, 0, {}};
    }
    return lines;
}

}  // namespace ov
