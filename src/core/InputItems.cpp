// The input items and the kind letters of the suite's data item names.
#include "core/InputItems.h"

#include <utility>

namespace ov {

namespace {

bool SameTextAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

std::string_view InputKindOfItemName(std::string_view itemName) {
    if (SameTextAscii(itemName, "$REALTIME") || SameTextAscii(itemName, "$CURRENT"))
        return KindCurrent;
    if (SameTextAscii(itemName, "$TIMETAG")) return KindTimeTagged;
    if (SameTextAscii(itemName, "$GOESRANDOM")) return KindGOESRandom;
    if (SameTextAscii(itemName, "$GOESTIMED")) return KindGOESTimed;
    return KindUnknown;
}

TInputItem::TInputItem(std::string stationID, TTimeTag timeTag, std::string_view kind)
    : StationID(std::move(stationID)), TimeTag(timeTag), Kind(kind) {}

TInputSensorItem::TInputSensorItem(std::string stationID, TTimeTag timeTag, std::string_view kind,
                                   std::string sensorName, std::string valueText)
    : TInputItem(std::move(stationID), timeTag, kind),
      SensorName(std::move(sensorName)),
      ValueText(std::move(valueText)) {}

}  // namespace ov
