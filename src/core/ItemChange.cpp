// The data line of an item change, read into the input items of one station record.
#include "core/ItemChange.h"

#include <exception>
#include <memory>
#include <utility>

#include "core/InputItems.h"
#include "busnames/BusNames.h"
#include "util/Exception.h"
#include "util/Scan.h"
#include "util/TextCompare.h"

namespace ov {

namespace {

// A pair of the data line that cannot be read as station.sensor and value.
class EDataLineError : public Exception {
  public:
    using Exception::Exception;
};

struct TPair {
    std::string Station;
    std::string Sensor;
    std::string Value;
};

bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// Reads the station.sensor,value pair at position. The station runs to the first full stop;
// in a pair without one it would run on through the following pairs, so a station holding a
// comma is refused rather than queued as a name that swallowed the pairs after it.
TPair ScanPair(std::string_view line, int& position) {
    TPair pair;
    const int start = position;
    ScanText(line, position, "%s.%P%P", {&pair.Station, &pair.Sensor, &pair.Value});
    if (pair.Station.find(',') != std::string::npos) {
        const std::string_view rest = line.substr(static_cast<std::size_t>(start - 1));
        throw EDataLineError("Data item is not STATION.SENSOR - " +
                             std::string(rest.substr(0, rest.find(','))));
    }
    return pair;
}

bool Queue(TInputStationSensorBuffer& input, std::unique_ptr<TInputItem> item, int& added,
           const TInputStationSensorBuffer::TSlotWaitProc& whileWaiting) {
    // A false Add dropped the item while the user-interface events could not be served (or
    // the waiting producer gave up); the buffer treats that as silent.
    const bool taken =
        whileWaiting ? input.Add(std::move(item), whileWaiting) : input.Add(std::move(item));
    if (!taken) return false;
    ++added;
    return true;
}

std::string ErrorText(const std::exception& e) {
    return std::string("Error 1600: ") + e.what();
}

}  // namespace

int HandleItemChange(std::string_view eventAppID, std::string_view eventItem,
                     std::string_view eventData, std::string_view ownAppID,
                     TInputStationSensorBuffer& input, const TItemChangeSignalProc& signalThread,
                     const TItemChangeLogProc& logStatus,
                     const TInputStationSensorBuffer::TSlotWaitProc& whileWaiting) {
    if (eventAppID == ownAppID) return 0;
    if (!IsDataSourceAppID(eventAppID)) return 0;
    const std::string itemName = UpperCaseAscii(eventItem);
    if (itemName != ItemGOESTimed && itemName != ItemGOESRandom && itemName != ItemTimeTag &&
        itemName != ItemRealTime)
        return 0;

    int added = 0;
    try {
        // The data is one line. Without this cut a trailing line break would be read as one
        // more pair with a station made of the break itself.
        const std::size_t lineEnd = eventData.find_first_of("\r\n");
        const std::string_view line = eventData.substr(0, lineEnd);
        std::string afterLine;
        if (lineEnd != std::string_view::npos) {
            for (char c : eventData.substr(lineEnd)) afterLine += IsLineBreak(c) ? ' ' : c;
            const std::size_t b = afterLine.find_first_not_of(' ');
            afterLine = b == std::string::npos
                            ? std::string()
                            : afterLine.substr(b, afterLine.find_last_not_of(' ') - b + 1);
        }

        int position = 1;
        TTimeTag timeTag = 0;
        if (!ScanText(line, position, "%J", {&timeTag})) return 0;
        const TPair first = ScanPair(line, position);
        const std::string_view kind = InputKindOfItemName(itemName);

        auto end = std::make_unique<TInputStationEndItem>(first.Station, timeTag, kind);
        Queue(input, std::make_unique<TInputStationBeginItem>(first.Station, timeTag, kind), added,
              whileWaiting);
        try {
            Queue(input,
                  std::make_unique<TInputSensorItem>(first.Station, timeTag, kind, first.Sensor,
                                                     first.Value),
                  added, whileWaiting);
            while (static_cast<std::size_t>(position) <= line.size()) {
                const int before = position;
                TPair pair = ScanPair(line, position);
                Queue(input,
                      std::make_unique<TInputSensorItem>(std::move(pair.Station), timeTag, kind,
                                                         std::move(pair.Sensor),
                                                         std::move(pair.Value)),
                      added, whileWaiting);
                // A scan that used nothing would read the same pair for ever.
                if (position <= before) break;
            }
        } catch (const std::exception& e) {
            logStatus(ErrorText(e));
        }
        Queue(input, std::move(end), added, whileWaiting);
        signalThread();
        if (!afterLine.empty())
            logStatus("Error 1600: Data after a line break ignored - " + afterLine);
    } catch (const std::exception& e) {
        logStatus(ErrorText(e));
    }
    return added;
}

}  // namespace ov
