// The items of the input buffer: a station record arrives as one begin item, one sensor item
// per value and one end item, each carrying the kind letter of the suite item that brought it.
#pragma once

#include <string>
#include <string_view>

#include "util/TimeTag.h"

namespace ov {

// Kind letters: current values ("$REALTIME", "$CURRENT"), time-tagged values ("$TIMETAG"),
// satellite random and self-timed transmissions ("$GOESRANDOM", "$GOESTIMED"), and any other
// item name.
inline constexpr std::string_view KindCurrent = "C";
inline constexpr std::string_view KindTimeTagged = "T";
inline constexpr std::string_view KindGOESRandom = "R";
inline constexpr std::string_view KindGOESTimed = "S";
inline constexpr std::string_view KindUnknown = "?";

// The kind letter of a suite data item name, compared without regard to case.
std::string_view InputKindOfItemName(std::string_view itemName);

class TInputItem {
  public:
    TInputItem(std::string stationID, TTimeTag timeTag, std::string_view kind);
    virtual ~TInputItem() = default;

    std::string StationID;  // the record's station (a sensor item: its own station)
    TTimeTag TimeTag = 0;
    std::string Kind;  // one letter, see above
};

// Opens a station record.
class TInputStationBeginItem : public TInputItem {
  public:
    using TInputItem::TInputItem;
};

// One sensor value of a record, as text with a full stop as decimal separator.
class TInputSensorItem : public TInputItem {
  public:
    TInputSensorItem(std::string stationID, TTimeTag timeTag, std::string_view kind,
                     std::string sensorName, std::string valueText);

    std::string SensorName;
    std::string ValueText;
};

// Closes a station record.
class TInputStationEndItem : public TInputItem {
  public:
    using TInputItem::TInputItem;
};

}  // namespace ov
