// ovbridge's messages for results.
#include "ResultMessages.h"

#include "Json.h"
#include "ZoneTime.h"
#include "util/FloatText.h"
#include "util/Scan.h"

namespace ovbridge {
namespace {

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

std::string CompactUtc(std::time_t instant) {
    std::string text = IsoUtcText(instant);  // 2026-12-08T19:00:00Z
    std::string compact;
    for (char c : text) {
        if (c != '-' && c != ':') compact += c;
    }
    return compact;  // 20261208T190000Z
}

}  // namespace

bool ReadResultRecord(std::string_view record, const ov::TTimeFormats& tf, TResultRecord& result) {
    result = TResultRecord();
    int position = 1;
    std::int32_t tag = 0;
    if (!ov::ScanText(record, position, "%J", {&tag}, tf)) return false;
    const std::size_t start = static_cast<std::size_t>(position - 1);
    if (start == 0 || start > record.size() || record[start - 1] != ',') return false;
    std::string_view rest = record.substr(start);
    const std::size_t dot = rest.find('.');
    const std::size_t comma = rest.find(',');
    if (dot == std::string_view::npos || comma == std::string_view::npos || dot > comma || dot == 0)
        return false;
    result.Tag = tag;
    result.Station = std::string(rest.substr(0, dot));
    result.Sensor = std::string(rest.substr(dot + 1, comma - dot - 1));
    result.ValueText = std::string(rest.substr(comma + 1));
    double value = 0;
    if (ov::TryTextToFloat(result.ValueText, value, tf.Settings.DecimalSeparator))
        result.Value = value;
    return true;
}

std::string TopicLevel(std::string_view name) {
    std::string level;
    level.reserve(name.size());
    for (char c : name) {
        switch (c) {
            case '%':
                level += "%25";
                break;
            case '/':
                level += "%2F";
                break;
            case '+':
                level += "%2B";
                break;
            case '#':
                level += "%23";
                break;
            case '\0':
                level += "%00";
                break;
            default:
                level += c;
        }
    }
    return level;
}

std::string ResultJson(const TResultMessage& message) {
    TJsonWriter json;
    json.Begin()
        .Text("id", message.Id)
        .Text("time", message.Time)
        .Text("station", message.Station)
        .Text("sensor", message.Sensor);
    if (message.Value) {
        json.Number("value", *message.Value);
    } else {
        json.Null("value");
    }
    if (message.Group) json.Integer("group", *message.Group);
    return json.End().Take();
}

std::string Wis2Topic(const TWis2Settings& settings, std::string_view station,
                      std::string_view sensor) {
    return "origin/a/wis2/" + TopicLevel(settings.Centre) + "/data/" +
           TopicLevel(settings.DataPolicy) + "/hydrology/experimental/" + TopicLevel(station) +
           "/" + TopicLevel(sensor);
}

std::string Wis2Message(const TWis2Settings& settings, const TStationPlace& place,
                        std::string_view id, std::string_view topic, std::time_t published,
                        std::time_t instant, std::string_view station, std::string_view sensor,
                        std::string_view content) {
    std::string coordinates = "[";
    AppendJsonNumber(coordinates, place.Longitude);
    coordinates += ',';
    AppendJsonNumber(coordinates, place.Latitude);
    if (place.Elevation) {
        coordinates += ',';
        AppendJsonNumber(coordinates, *place.Elevation);
    }
    coordinates += ']';

    // The data's own id: the topic after "origin/a/wis2/" and the result's time.
    std::string dataId(topic);
    const std::string_view origin = "origin/a/wis2/";
    if (dataId.rfind(origin, 0) == 0) dataId.erase(0, origin.size());
    dataId += '/';
    dataId += CompactUtc(instant);

    std::string link = settings.Link;
    ReplaceAll(link, "{station}", TopicLevel(station));
    ReplaceAll(link, "{sensor}", TopicLevel(sensor));

    TJsonWriter geometry;
    geometry.Begin().Text("type", "Point").Raw("coordinates", coordinates).End();
    TJsonWriter body;
    body.Begin()
        .Text("encoding", "utf-8")
        .Text("value", content)
        .Integer("size", static_cast<long long>(content.size()))
        .End();
    TJsonWriter properties;
    properties.Begin()
        .Text("data_id", dataId)
        .Text("metadata_id", settings.MetadataId)
        .Text("pubtime", IsoUtcText(published))
        .Text("datetime", IsoUtcText(instant))
        .Raw("content", body.Json())
        .End();
    TJsonWriter linkJson;
    linkJson.Begin()
        .Text("href", link)
        .Text("rel", "canonical")
        .Text("type", "application/json")
        .End();

    TJsonWriter json;
    json.Begin()
        .Text("id", id)
        .Raw("conformsTo", "[\"http://wis.wmo.int/spec/wnm/1/conf/core\"]")
        .Text("type", "Feature")
        .Raw("geometry", geometry.Json())
        .Raw("properties", properties.Json())
        .Raw("links", "[" + linkJson.Json() + "]")
        .End();
    return json.Take();
}

std::string StatusJson(bool online, std::string_view engine, std::string_view version,
                       std::string_view started, std::string_view shard, std::uint64_t dropped) {
    TJsonWriter json;
    json.Begin().Text("state", online ? "online" : "offline").Text("engine", engine);
    if (!version.empty()) json.Text("version", version);
    if (!started.empty()) json.Text("started", started);
    if (!shard.empty()) json.Text("shard", shard);
    if (dropped > 0) json.Integer("dropped", static_cast<long long>(dropped));
    return json.End().Take();
}

}  // namespace ovbridge
