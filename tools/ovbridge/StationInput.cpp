// Station records from MQTT to data lines.
#include "StationInput.h"

#include <vector>

#include "Json.h"
#include "ZoneTime.h"
#include "util/FloatText.h"
#include "util/Scan.h"
#include "util/TextCodec.h"
#include "util/TextCompare.h"

namespace ovbridge {
namespace {

// The payload as 8-bit text: UTF-8 converted (a character above U+00FF refused), other bytes
// as they stand; a zero byte refused, since a bus text cannot carry it.
bool EngineText(std::string_view payload, std::string& text, std::string& why) {
    if (payload.find('\0') != std::string_view::npos) {
        why = "a zero byte";
        return false;
    }
    if (ov::IsBusUtf8(payload)) {
        if (!ov::Utf8ToLatin1(payload, text, ov::TUtf8Policy::upStrict)) {
            why = "a character OV Calc's 8-bit text cannot hold (above U+00FF)";
            return false;
        }
    } else {
        text.assign(payload);
    }
    return true;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// A station name of a pair: not empty, and neither "." nor "," nor a line break in it.
bool GoodStation(std::string_view station) {
    return !station.empty() && station.find_first_of(".,\r\n") == std::string_view::npos;
}

// A sensor name: not empty, no "," and no line break ("." may follow the first one).
bool GoodSensor(std::string_view sensor) {
    return !sensor.empty() && sensor.find_first_of(",\r\n") == std::string_view::npos;
}

bool ReadDataLine(std::string text, const TInputContext& context, TStationMessage& message,
                  std::string& why) {
    // One line: its end may come with the message.
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
        text.resize(text.size() - 2);
    } else if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    if (HasLineBreak(text)) {
        why = "more than one line";
        return false;
    }
    std::string data = text;
    message.Item = context.DefaultItem;
    if (!text.empty() && text[0] == '$') {
        const std::size_t blank = text.find(' ');
        if (blank == std::string::npos || !DataItemName(text.substr(0, blank), message.Item)) {
            why = "\"" + text.substr(0, blank == std::string::npos ? 32 : blank) +
                  "\" is none of the items $GOESTIMED, $GOESRANDOM, $TIMETAG and $REALTIME";
            return false;
        }
        data = text.substr(blank + 1);
    }
    std::int32_t tag = 0;
    int position = 1;
    if (!ov::ScanText(data, position, "%J", {&tag}, *context.Formats)) {
        why = "no time tag at its start (month/day/year hours:minutes:seconds)";
        return false;
    }
    // The scanner has taken the comma after the time tag; the pairs follow.
    const std::size_t start = static_cast<std::size_t>(position - 1);
    if (start > data.size() || start == 0 || data[start - 1] != ',') {
        why = "no station.sensor and value after the time tag";
        return false;
    }
    // The scanner passes over whatever follows the seconds up to the comma; such text is
    // refused rather than silently dropped.
    const ov::TFormatSettings& fs = context.Formats->Settings;
    for (std::size_t i = 0; i + 1 < start; ++i) {
        const char c = data[i];
        if (!(c >= '0' && c <= '9') && c != ' ' && c != fs.DateSeparator && c != fs.TimeSeparator) {
            why = "\"" + data.substr(0, start - 1) + "\" is no time tag";
            return false;
        }
    }
    std::vector<std::string_view> fields;
    std::string_view rest(data);
    rest.remove_prefix(start);
    for (;;) {
        const std::size_t comma = rest.find(',');
        fields.push_back(rest.substr(0, comma));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    if (fields.size() % 2 != 0) {
        why = "a station.sensor without its value";
        return false;
    }
    for (std::size_t i = 0; i < fields.size(); i += 2) {
        const std::string_view pair = fields[i];
        const std::size_t dot = pair.find('.');
        if (dot == std::string_view::npos || !GoodStation(pair.substr(0, dot)) ||
            !GoodSensor(pair.substr(dot + 1))) {
            why = "\"" + std::string(pair.substr(0, 64)) + "\" is no STATION.SENSOR";
            return false;
        }
        double value = 0;
        if (!ov::TryDotTextToFloat(fields[i + 1], value)) {
            why = "the value \"" + std::string(fields[i + 1].substr(0, 64)) + "\" of " +
                  std::string(pair) + " is no number";
            return false;
        }
        if (i == 0) message.Station = std::string(pair.substr(0, dot));
    }
    message.Data = std::move(data);
    return true;
}

bool ReadJson(std::string_view payload, const TInputContext& context, TStationMessage& message,
              std::string& why) {
    TJsonValue root;
    if (!ParseJson(payload, root, why)) {
        why = "no JSON: " + why;
        return false;
    }
    if (root.Kind != TJsonValue::jkObject) {
        why = "JSON that is no object";
        return false;
    }
    const TJsonValue* station = root.Find("station");
    const TJsonValue* time = root.Find("time");
    const TJsonValue* values = root.Find("values");
    const TJsonValue* item = root.Find("item");
    if (station == nullptr || station->Kind != TJsonValue::jkString) {
        why = "no \"station\" text";
        return false;
    }
    if (time == nullptr || time->Kind != TJsonValue::jkString) {
        why = "no \"time\" text";
        return false;
    }
    if (values == nullptr || values->Kind != TJsonValue::jkObject || values->Members.empty()) {
        why = "no \"values\" object with a sensor in it";
        return false;
    }
    message.Item = context.DefaultItem;
    if (item != nullptr &&
        (item->Kind != TJsonValue::jkString || !DataItemName(item->String, message.Item))) {
        why = "an \"item\" that is none of $GOESTIMED, $GOESRANDOM, $TIMETAG and $REALTIME";
        return false;
    }
    std::string name;
    if (!EngineText(station->String, name, why) || !GoodStation(name)) {
        why = "the station \"" + station->String.substr(0, 64) + "\" cannot be a station name";
        return false;
    }
    ov::TTimeTag tag = 0;
    if (!TagFromIsoText(time->String, tag, why)) return false;

    std::string data = ov::TimeTagText(tag, *context.Formats);
    for (const auto& [sensorName, value] : values->Members) {
        std::string sensor;
        if (!EngineText(sensorName, sensor, why) || !GoodSensor(sensor)) {
            why = "the sensor \"" + sensorName.substr(0, 64) + "\" cannot be a sensor name";
            return false;
        }
        std::string text;
        if (value.Kind == TJsonValue::jkNumber) {
            text = ov::FloatToText(value.Number, '.');
        } else if (value.Kind == TJsonValue::jkNull && context.NullValue) {
            text = std::to_string(*context.NullValue);
        } else if (value.Kind == TJsonValue::jkNull) {
            why = "null for " + sensorName + ", but the suite's null value is not known";
            return false;
        } else {
            why = "the value of " + sensorName.substr(0, 64) + " is neither a number nor null";
            return false;
        }
        data += ',';
        data += name;
        data += '.';
        data += sensor;
        data += ',';
        data += text;
    }
    message.Station = std::move(name);
    message.Data = std::move(data);
    return true;
}

}  // namespace

bool DataItemName(std::string_view text, std::string& item) {
    static constexpr std::string_view items[] = {"$GOESTIMED", "$GOESRANDOM", "$TIMETAG",
                                                 "$REALTIME"};
    for (std::string_view known : items) {
        if (ov::SameText(text, known)) {
            item = std::string(known);
            return true;
        }
    }
    return false;
}

bool ReadStationMessage(std::string_view payload, const TInputContext& context,
                        TStationMessage& message, std::string& why) {
    message = TStationMessage();
    if (payload.size() > MaxStationMessage) {
        why = "longer than " + std::to_string(MaxStationMessage) + " bytes";
        return false;
    }
    const std::size_t first = payload.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        why = "an empty message";
        return false;
    }
    if (payload[first] == '{') return ReadJson(payload, context, message, why);
    std::string text;
    if (!EngineText(payload, text, why)) return false;
    return ReadDataLine(std::move(text), context, message, why);
}

}  // namespace ovbridge
