// Fuzz target: a data source's item change (HandleItemChange) on a fuzzed data line, into an
// input buffer with room for all of it and into a small one that fills up.
// Input: the item name on the first line ($TIMETAG, $REALTIME, $GOESTIMED, $GOESRANDOM or
// anything else), the data line on the second, and on an optional third line the small
// buffer: its slots (a number, 1 to 64) and then what the producer does each time it finds the
// buffer full, one letter a time: "c" the calculation thread takes the oldest item, "w" it waits
// once more, anything else (or the end of the letters) it gives up, as a stopped thread makes it.
// A third line beginning with "m" waits as the main thread does (serving the user-interface
// events, which fail where the letters give up).
// Into the large buffer every record is whole: a begin item, the sensor items of its time tag,
// an end item. Into the small one no record is half-queued: the items taken are those of the
// large buffer's record from its start, and its end is among them only when all of the record
// is; a producer that never gave up queued all of it.
#include <charconv>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "busnames/BusNames.h"
#include "core/InputBuffer.h"
#include "core/ItemChange.h"
#include "util/Exception.h"

namespace {

using ov::TInputStationSensorBuffer;

bool IsBegin(const ov::TInputItem& item) {
    return dynamic_cast<const ov::TInputStationBeginItem*>(&item) != nullptr;
}
bool IsEnd(const ov::TInputItem& item) {
    return dynamic_cast<const ov::TInputStationEndItem*>(&item) != nullptr;
}

// The producer's turns at a full buffer, as the input's letters say.
struct TScript {
    std::string_view Steps;
    std::size_t Next = 0;
    bool GaveUp = false;
    TInputStationSensorBuffer* Buffer = nullptr;
    std::vector<std::unique_ptr<ov::TInputItem>>* Taken = nullptr;

    // False to give up.
    bool Turn() {
        const char step = Next < Steps.size() ? Steps[Next++] : 'x';
        if (step == 'c') {
            std::unique_ptr<ov::TInputItem> item;
            if (Buffer->Get(item)) Taken->push_back(std::move(item));
            return true;
        }
        if (step == 'w') return true;
        GaveUp = true;
        return false;
    }
};

class TFuzzHost : public ov::IQueueHost {
  public:
    void SignalThread() override {}
    bool RequestDrain(std::chrono::milliseconds) override { return true; }
    void ProcessUiEvents() override {
        if (Script != nullptr && !Script->Turn()) throw ov::Exception("the events failed");
    }
    TScript* Script = nullptr;
};

// An item as the checks compare it.
std::string Described(const ov::TInputItem& item) {
    std::string kind = "?";
    std::string sensor;
    if (IsBegin(item)) kind = "B";
    if (IsEnd(item)) kind = "E";
    if (auto* s = dynamic_cast<const ov::TInputSensorItem*>(&item)) {
        kind = "S";
        sensor = "|" + s->SensorName + "|" + s->ValueText;
    }
    return kind + "|" + item.StationID + sensor + "|" + std::to_string(item.TimeTag) + "|" +
           item.Kind;
}

std::vector<std::unique_ptr<ov::TInputItem>> Drained(ov::TInputStationSensorBuffer& input) {
    std::vector<std::unique_ptr<ov::TInputItem>> items;
    std::unique_ptr<ov::TInputItem> item;
    while (input.Get(item)) items.push_back(std::move(item));
    return items;
}

std::string Listed(const std::vector<std::unique_ptr<ov::TInputItem>>& items) {
    std::string out;
    for (const auto& item : items) out += ov::fuzz::Shown(Described(*item)) + "; ";
    return out;
}

// One whole record: a begin item, sensor items of its time tag, an end item; or nothing.
void CheckWhole(const std::vector<std::unique_ptr<ov::TInputItem>>& items) {
    if (items.empty()) return;
    auto failed = [&] { return "not one whole record: " + Listed(items); };
    ov::fuzz::Require(items.size() >= 2 && IsBegin(*items.front()) && IsEnd(*items.back()), failed);
    for (std::size_t i = 1; i + 1 < items.size(); ++i)
        ov::fuzz::Require(dynamic_cast<const ov::TInputSensorItem*>(items[i].get()) != nullptr &&
                              items[i]->TimeTag == items.front()->TimeTag,
                          failed);
    ov::fuzz::Require(items.back()->TimeTag == items.front()->TimeTag, failed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest;
    const std::string_view item = ov::fuzz::FirstLine(ov::fuzz::AsText(data, size), rest);
    std::string_view after;
    const std::string_view line = ov::fuzz::FirstLine(rest, after);
    std::string_view script = ov::fuzz::FirstLine(after, after);

    // Room for all of it: the record as it is meant.
    TFuzzHost host;
    TInputStationSensorBuffer large(host);
    const int taken = ov::HandleItemChange(
        ov::IOVDecodeComAppID, item, line, ov::IOVCalcDataCOMAppID, large, [] {},
        [](const std::string&) {}, [] { return false; });
    ov::fuzz::Require(taken == large.Count(), [&] {
        return std::to_string(taken) + " items said taken, " + std::to_string(large.Count()) +
               " in the buffer";
    });
    const std::vector<std::unique_ptr<ov::TInputItem>> whole = Drained(large);
    CheckWhole(whole);
    if (script.empty()) return 0;

    // A small buffer that fills up.
    const bool mainThread = script.front() == 'm';
    if (mainThread) script.remove_prefix(1);
    int slots = 0;
    const auto [end, ec] = std::from_chars(script.data(), script.data() + script.size(), slots);
    if (ec != std::errc() || slots < 1 || slots > 64) return 0;
    TFuzzHost smallHost;
    TInputStationSensorBuffer small(smallHost, slots, std::chrono::milliseconds(0));
    std::vector<std::unique_ptr<ov::TInputItem>> got;
    TScript turns{std::string_view(end, script.data() + script.size() - end), 0, false, &small,
                  &got};
    int added = 0;
    if (mainThread) {
        smallHost.Script = &turns;
        added = ov::HandleItemChange(
            ov::IOVDecodeComAppID, item, line, ov::IOVCalcDataCOMAppID, small, [] {},
            [](const std::string&) {});
    } else {
        added = ov::HandleItemChange(
            ov::IOVDecodeComAppID, item, line, ov::IOVCalcDataCOMAppID, small, [] {},
            [](const std::string&) {}, [&turns] { return turns.Turn(); });
    }
    for (auto& left : Drained(small)) got.push_back(std::move(left));

    auto failed = [&](const char* what) {
        return [&, what] {
            return std::string(what) + ": " + Listed(got) + " where the record is " + Listed(whole);
        };
    };
    ov::fuzz::Require(added == static_cast<int>(got.size()), failed("a count that is not taken"));
    ov::fuzz::Require(got.size() <= whole.size(), failed("more than the record"));
    for (std::size_t i = 0; i < got.size(); ++i)
        ov::fuzz::Require(Described(*got[i]) == Described(*whole[i]),
                          failed("not the record from its start"));
    if (!turns.GaveUp) ov::fuzz::Require(got.size() == whole.size(), failed("a record cut short"));
    if (!got.empty() && IsEnd(*got.back()))
        ov::fuzz::Require(got.size() == whole.size(), failed("a record closed without all of it"));
    return 0;
}
