// An item change of a data source (decoder, RTU poller, Modbus RTU poller) turned into a
// station record on the input buffer: one begin item, one sensor item per station.sensor and
// value pair of the data line, one end item, then the calculation thread is woken.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "core/DroppedLines.h"
#include "core/InputBuffer.h"

namespace ov {

// The main window's status log (its LogStatus).
using TItemChangeLogProc = std::function<void(const std::string& text)>;
// Wakes the calculation thread; the main window's SignalThread, which does so only while a
// thread runs.
using TItemChangeSignalProc = std::function<void()>;

// The item names a data source's changes are taken from.
inline constexpr std::string_view ItemGOESTimed = "$GOESTIMED";
inline constexpr std::string_view ItemGOESRandom = "$GOESRANDOM";
inline constexpr std::string_view ItemTimeTag = "$TIMETAG";
inline constexpr std::string_view ItemRealTime = "$REALTIME";

// The status line of a data line that held characters above U+00FF: the engine's text holds one
// byte a character, so each of them reads "?" (and a value with one is not a number). data is
// the line as read, with its "?".
std::string ReplacedCharactersText(std::size_t replaced, std::string_view data);

// Skipped by the caller while ThreadStopped. Queues the record of one item change from a data
// source (not ownAppID) for one of the four items (any letter case) whose data begins with a
// time tag; bad data is logged as "Error 1600: " + text, what was queued stays and the record
// is closed. A line whose time tag cannot be read (after the last time tag, a part out of
// range or negative, other separators) queues nothing; it is counted in dropped, which tells
// it in the status list once per source and period (not told without dropped). A field without a
// full stop where STATION.SENSOR belongs is reported and skipped with what follows it up to the
// next field that can begin a pair, so the good pairs after it are queued too; the record belongs
// to the first good pair's station. Returns the number of items the buffer took. Without
// whileWaiting it runs on the main thread and a full buffer serves the user-interface events; with
// it, on any thread, and a full buffer calls it between waits (false drops the items still to
// come). An item the buffer did not take drops the rest of the record with it, its end item
// included: a record is closed only with all its items.
int HandleItemChange(std::string_view eventAppID, std::string_view eventItem,
                     std::string_view eventData, std::string_view ownAppID,
                     TInputStationSensorBuffer& input, const TItemChangeSignalProc& signalThread,
                     const TItemChangeLogProc& logStatus,
                     const TInputStationSensorBuffer::TSlotWaitProc& whileWaiting = {},
                     TDroppedLines* dropped = nullptr);

}  // namespace ov
