// The data line of an item change, read into the input items of one station record.
#include "core/ItemChange.h"

#include <exception>
#include <memory>
#include <utility>

#include "busnames/BusNames.h"
#include "core/InputItems.h"
#include "util/FloatText.h"
#include "util/Scan.h"
#include "util/TextCompare.h"

namespace ov {

namespace {

struct TPair {
    std::string Station;
    std::string Sensor;
    std::string Value;
};

bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// The field that begins at the 1-based position: the text up to the next comma.
std::string_view FieldAt(std::string_view line, int position) {
    const auto start = static_cast<std::size_t>(position - 1);
    if (start >= line.size()) return {};
    const std::string_view rest = line.substr(start);
    return rest.substr(0, rest.find(','));
}

// The position of the field after the one that begins at position.
int NextField(std::string_view line, int position) {
    const std::size_t comma = line.find(',', static_cast<std::size_t>(position - 1));
    return comma == std::string_view::npos ? static_cast<int>(line.size()) + 1
                                           : static_cast<int>(comma) + 2;
}

// A field that can begin a pair: it holds a full stop and is not a number (a value such as
// 1.8 holds one too).
bool CanBeginPair(std::string_view field) {
    double number = 0;
    return field.find('.') != std::string_view::npos && !TryDotTextToFloat(field, number);
}

// The broken pairs of one line reported one by one; the rest are counted in one more line,
// so that a hostile line cannot flood the status list.
constexpr int kMostBrokenPairsReported = 10;

// Reads the next station.sensor,value pair from position on. A field where STATION.SENSOR
// belongs that has no full stop is reported once; reading goes on at the next field that can
// begin a pair, so that the value of the broken pair is skipped with it and no good pair
// after it is lost. False when the line holds no further pair. broken counts the reports.
bool NextPair(std::string_view line, int& position, TPair& pair,
              const TItemChangeLogProc& logStatus, int& broken) {
    while (static_cast<std::size_t>(position) <= line.size()) {
        const std::string_view field = FieldAt(line, position);
        if (field.find('.') != std::string_view::npos) {
            // The station runs to the field's first full stop, the sensor to the comma.
            pair = TPair{};
            ScanText(line, position, "%s.%P%P", {&pair.Station, &pair.Sensor, &pair.Value});
            return true;
        }
        if (++broken <= kMostBrokenPairsReported)
            logStatus("Error 1600: Data item is not STATION.SENSOR - " + std::string(field));
        do {
            position = NextField(line, position);
        } while (static_cast<std::size_t>(position) <= line.size() &&
                 !CanBeginPair(FieldAt(line, position)));
    }
    return false;
}

// The items of one record on their way into the buffer. A false Add dropped the item while the
// user-interface events could not be served, or the waiting producer gave up (the thread
// stopped, the receiver ends); the buffer treats that as silent. From then on nothing more of
// the record is queued, its end least of all: an end item closes the record and sets off the
// station's calculation, which would then take the values the record lost from older data.
class TRecordQueue {
  public:
    TRecordQueue(TInputStationSensorBuffer& input,
                 const TInputStationSensorBuffer::TSlotWaitProc& whileWaiting)
        : input_(input), whileWaiting_(whileWaiting) {}

    void Queue(std::unique_ptr<TInputItem> item) {
        if (cut_) return;
        const bool taken = whileWaiting_ ? input_.Add(std::move(item), whileWaiting_)
                                         : input_.Add(std::move(item));
        if (taken)
            ++added_;
        else
            cut_ = true;
    }
    int Added() const { return added_; }
    bool Cut() const { return cut_; }

  private:
    TInputStationSensorBuffer& input_;
    const TInputStationSensorBuffer::TSlotWaitProc& whileWaiting_;
    int added_ = 0;
    bool cut_ = false;  // an item was dropped: the rest of the record goes too
};

std::string ErrorText(const std::exception& e) {
    return std::string("Error 1600: ") + e.what();
}

}  // namespace

std::string ReplacedCharactersText(std::size_t replaced, std::string_view data) {
    return "Error 1600: " + std::to_string(replaced) +
           (replaced == 1 ? " character" : " characters") +
           " above U+00FF in a data line read as \"?\" - " + std::string(data);
}

int HandleItemChange(std::string_view eventAppID, std::string_view eventItem,
                     std::string_view eventData, std::string_view ownAppID,
                     TInputStationSensorBuffer& input, const TItemChangeSignalProc& signalThread,
                     const TItemChangeLogProc& logStatus,
                     const TInputStationSensorBuffer::TSlotWaitProc& whileWaiting,
                     TDroppedLines* dropped) {
    if (eventAppID == ownAppID) return 0;
    if (!IsDataSourceAppID(eventAppID)) return 0;
    const std::string itemName = UpperCaseAscii(eventItem);
    if (itemName != ItemGOESTimed && itemName != ItemGOESRandom && itemName != ItemTimeTag &&
        itemName != ItemRealTime)
        return 0;

    TRecordQueue record(input, whileWaiting);
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
        if (!ScanText(line, position, "%J", {&timeTag})) {
            // Without its time a record cannot be filed: the line is dropped, but not unsaid.
            if (dropped != nullptr) {
                const std::string told = dropped->Drop(eventAppID, FieldAt(line, 1));
                if (!told.empty()) logStatus(told);
            }
            return 0;
        }
        // A time tag with nothing after it is a record of one empty pair, as ever; otherwise
        // the record belongs to the station of the first good pair.
        TPair first;
        int broken = 0;
        if (static_cast<std::size_t>(position) <= line.size() &&
            !NextPair(line, position, first, logStatus, broken))
            return 0;
        const std::string_view kind = InputKindOfItemName(itemName);

        auto end = std::make_unique<TInputStationEndItem>(first.Station, timeTag, kind);
        record.Queue(std::make_unique<TInputStationBeginItem>(first.Station, timeTag, kind));
        try {
            record.Queue(std::make_unique<TInputSensorItem>(first.Station, timeTag, kind,
                                                            first.Sensor, first.Value));
            TPair pair;
            while (!record.Cut()) {
                const int before = position;
                if (!NextPair(line, position, pair, logStatus, broken)) break;
                record.Queue(std::make_unique<TInputSensorItem>(std::move(pair.Station), timeTag,
                                                                kind, std::move(pair.Sensor),
                                                                std::move(pair.Value)));
                // A scan that used nothing would read the same pair for ever.
                if (position <= before) break;
            }
        } catch (const std::exception& e) {
            logStatus(ErrorText(e));
        }
        record.Queue(std::move(end));
        if (broken > kMostBrokenPairsReported)
            logStatus("Error 1600: Data items not STATION.SENSOR - " +
                      std::to_string(broken - kMostBrokenPairsReported) + " more in the line");
        signalThread();
        if (!afterLine.empty())
            logStatus("Error 1600: Data after a line break ignored - " + afterLine);
    } catch (const std::exception& e) {
        logStatus(ErrorText(e));
    }
    return record.Added();
}

}  // namespace ov
