// ovbridge's readers and writers of outside text, without a bus or a broker: JSON, times in a
// zone, result records to messages, station records from MQTT, the settings file, the ids.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <set>

#include "BridgeSettings.h"
#include "Json.h"
#include "ResultMessages.h"
#include "StationInput.h"
#include "Uuid.h"
#include "ZoneTime.h"
#include "support/ScratchFolder.h"
#include "util/TimeTag.h"

namespace ovbridge {
namespace {

using ov::MakeTimeTag;

const ov::TTimeFormats& UsFormats() {
    static const ov::TTimeFormats formats(ov::USFormatSettings());
    return formats;
}

// --- JSON ---

TEST(BridgeJson, ReadsWhatTheGrammarAllowsAndNothingElse) {
    TJsonValue v;
    std::string why;
    ASSERT_TRUE(ParseJson(
        R"( {"a": [1, -2.5e1, true, false, null], "b": "x\u00e9\ud83d\ude00\n"} )", v, why))
        << why;
    ASSERT_EQ(v.Kind, TJsonValue::jkObject);
    ASSERT_EQ(v.Members.size(), 2u);
    EXPECT_EQ(v.Members[0].Name, "a");  // the order as written
    const TJsonValue* a = v.Find("a");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->Items.size(), 5u);
    EXPECT_EQ(a->Items[1].Number, -25);
    EXPECT_TRUE(a->Items[2].Bool);
    EXPECT_EQ(a->Items[4].Kind, TJsonValue::jkNull);
    EXPECT_EQ(v.Find("b")->String, "x\xC3\xA9\xF0\x9F\x98\x80\n");

    std::string deep(33, '[');
    deep += std::string(33, ']');
    const struct {
        std::string text, why;
    } bad[] = {
        {"", "the end of the text"},
        {"{\"a\":1,\"a\":2}", "given twice"},
        {"[1,]", "no value"},
        {"01", "text after"},
        {"1.", "without digits after its point"},
        {"1e", "without digits in its exponent"},
        {"+1", "no value"},
        {"1e400", "out of range"},
        {"nan", "unknown word"},
        {"\"\\ud800\"", "lone surrogate"},
        {"\"\\udc00\"", "lone surrogate"},
        {"\"a\xff\"", "not UTF-8"},
        {"\"\xC0\xAF\"", "not UTF-8"},      // an over-long "/"
        {"\"\xED\xA0\x80\"", "not UTF-8"},  // a surrogate written out
        {"\"a\tb\"", "control character"},
        {"\"\\x\"", "unknown escape"},
        {"{\"a\" 1}", "no \":\""},
        {"{\"a\":1 \"b\":2}", "no \",\" or \"}\""},
        {"[1 2]", "no \",\" or \"]\""},
        {"\"open", "closing quote"},
        {deep, "deeper than 32"},
        {"{} {}", "text after"},
    };
    for (const auto& c : bad) {
        why.clear();
        EXPECT_FALSE(ParseJson(c.text, v, why)) << c.text;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.text << ": " << why;
    }
}

TEST(BridgeJson, WritesWhatItReadsBack) {
    std::string out;
    AppendJsonString(out, "a\"b\\c\n\x01\xC3\xA9");
    EXPECT_EQ(out, "\"a\\\"b\\\\c\\n\\u0001\xC3\xA9\"");
    const struct {
        double value;
        const char* text;
    } numbers[] = {{38.422, "38.422"}, {-9999, "-9999"}, {0.1, "0.1"},
                   {-0.0, "0"},        {1e20, "1e+20"},  {2.5e-7, "2.5e-07"}};
    for (const auto& n : numbers) {
        out.clear();
        AppendJsonNumber(out, n.value);
        EXPECT_EQ(out, n.text);
    }
    TJsonWriter w;
    w.Begin().Text("s", "x\"").Number("n", 0.1).Number("inf", 1.0 / 0.0).Null("z").Integer("i", 5);
    w.Name("o").Begin().Text("t", "u").End();
    w.End();
    EXPECT_EQ(w.Json(), R"({"s":"x\"","n":0.1,"inf":null,"z":null,"i":5,"o":{"t":"u"}})");
    TJsonValue v;
    std::string why;
    ASSERT_TRUE(ParseJson(w.Json(), v, why)) << why;
    EXPECT_EQ(v.Find("s")->String, "x\"");
    EXPECT_EQ(v.Find("o")->Find("t")->String, "u");
}

// --- Times in the settings' zone ---

TEST(BridgeZoneTime, WritesTheZonesOffsetOfThatDay) {
    std::string why;
    const struct {
        const char* zone;
        ov::TTimeTag tag;
        const char* local;
        const char* utc;
    } cases[] = {
        {"Europe/Berlin", MakeTimeTag(2026, 12, 8, 20, 0, 0), "2026-12-08T20:00:00+01:00",
         "2026-12-08T19:00:00Z"},
        {"Europe/Berlin", MakeTimeTag(2026, 7, 1, 12, 0, 0), "2026-07-01T12:00:00+02:00",
         "2026-07-01T10:00:00Z"},
        {"UTC", MakeTimeTag(2026, 12, 8, 20, 0, 0), "2026-12-08T20:00:00+00:00",
         "2026-12-08T20:00:00Z"},
        {"America/New_York", MakeTimeTag(2026, 1, 15, 6, 30, 5), "2026-01-15T06:30:05-05:00",
         "2026-01-15T11:30:05Z"},
        {"Asia/Kolkata", MakeTimeTag(2026, 12, 8, 20, 0, 0), "2026-12-08T20:00:00+05:30",
         "2026-12-08T14:30:00Z"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SelectTimeZone(c.zone, why)) << why;
        EXPECT_EQ(IsoLocalText(c.tag), c.local) << c.zone;
        std::time_t instant;
        long offset;
        LocalInstant(c.tag, instant, offset);
        EXPECT_EQ(IsoUtcText(instant), c.utc) << c.zone;
    }
    for (const char* zone : {"Mars/Olympus", "../../etc/passwd", "/etc/localtime", "Europe"}) {
        why.clear();
        EXPECT_FALSE(SelectTimeZone(zone, why)) << zone;
        EXPECT_NE(why.find("no time zone"), std::string::npos) << why;
    }
}

TEST(BridgeZoneTime, ReadsIso8601IntoTheZonesWallClock) {
    std::string why;
    ASSERT_TRUE(SelectTimeZone("Europe/Berlin", why)) << why;
    const ov::TTimeTag local = MakeTimeTag(2026, 12, 8, 20, 0, 10);
    const struct {
        const char* text;
        ov::TTimeTag tag;
    } good[] = {
        {"2026-12-08T20:00:10", local},
        {"2026-12-08 20:00:10", local},
        {"2026-12-08T19:00:10Z", local},
        {"2026-12-08T21:00:10+02:00", local},
        {"2026-12-08T21:00:10+0200", local},
        {"2026-12-08T14:00:10-05", local},
        {"2026-12-08T20:00:10.999", local},  // the fraction is dropped
        {"2026-12-08T20:00", MakeTimeTag(2026, 12, 8, 20, 0, 0)},
        {"2026-07-01T10:00:00Z", MakeTimeTag(2026, 7, 1, 12, 0, 0)},
        {"2024-02-29T00:00:00", MakeTimeTag(2024, 2, 29, 0, 0, 0)},
        {"2053-01-18T03:14:07", 2147483647},
    };
    for (const auto& c : good) {
        ov::TTimeTag tag = 0;
        EXPECT_TRUE(TagFromIsoText(c.text, tag, why)) << c.text << ": " << why;
        EXPECT_EQ(tag, c.tag) << c.text;
    }
    for (const char* text :
         {"", "2026-12-08", "2026-13-01T00:00:00", "2026-02-29T00:00:00", "2026-12-08T24:00:00",
          "2026-12-08T20:60:00", "2026-12-08T20:00:61", "2026/12/08T20:00:00",
          "2026-12-08T20:00:00+25:00", "2026-12-08T20:00:00+01:0", "2026-12-08T20:00:00x",
          "2026-12-08T20:00:00.", "12/08/2026 20:00:00", "1984-12-31T23:59:59",
          "2053-01-18T03:14:08", " 2026-12-08T20:00:00"}) {
        ov::TTimeTag tag = 0;
        why.clear();
        EXPECT_FALSE(TagFromIsoText(text, tag, why)) << text;
        EXPECT_FALSE(why.empty()) << text;
    }
}

// --- Results to messages ---

TEST(BridgeResults, ReadsRecordsAsOvCalcWritesThem) {
    TResultRecord r;
    ASSERT_TRUE(ReadResultRecord("12/08/2026 20:00:00,RIVER1.Q,38.422", UsFormats(), r));
    EXPECT_EQ(r.Tag, MakeTimeTag(2026, 12, 8, 20, 0, 0));
    EXPECT_EQ(r.Station, "RIVER1");
    EXPECT_EQ(r.Sensor, "Q");
    EXPECT_EQ(r.Value, 38.422);
    // A locale with "," as the decimal separator and "." between the date's parts: the value
    // is all that follows STATION.SENSOR.
    ov::TFormatSettings comma;
    comma.DecimalSeparator = ',';
    comma.DateSeparator = '.';
    const ov::TTimeFormats commaFormats(comma);
    ASSERT_TRUE(ReadResultRecord("12.08.2026 20:00:00,RIVER1.Q,38,422", commaFormats, r));
    EXPECT_EQ(r.Value, 38.422);
    EXPECT_EQ(r.Tag, MakeTimeTag(2026, 12, 8, 20, 0, 0));
    // A sensor name may hold a full stop; a value that is no number is kept as text.
    ASSERT_TRUE(ReadResultRecord("12/08/2026 20:00:00,RAIN1.PC.MM,n/a", UsFormats(), r));
    EXPECT_EQ(r.Sensor, "PC.MM");
    EXPECT_FALSE(r.Value.has_value());
    EXPECT_EQ(r.ValueText, "n/a");
    for (const char* bad : {"", "hello", "12/08/2026 20:00:00", "12/08/2026 20:00:00,RIVER1Q,1",
                            "12/08/2026 20:00:00,.Q,1", ",RIVER1.Q,1", "12/08/2026,RIVER1.Q,1"}) {
        EXPECT_FALSE(ReadResultRecord(bad, UsFormats(), r)) << bad;
    }
}

TEST(BridgeResults, TopicLevelsAreNeverWildcardsOrSeveralLevels) {
    EXPECT_EQ(TopicLevel("RIVER1"), "RIVER1");
    EXPECT_EQ(TopicLevel("a/b+c#d%e"), "a%2Fb%2Bc%23d%25e");
    EXPECT_EQ(TopicLevel(std::string("x\0y", 3)), "x%00y");
    EXPECT_EQ(TopicLevel("R\xC3\x96HR"), "R\xC3\x96HR");  // UTF-8 as it stands
}

TEST(BridgeResults, ResultAndStatusMessages) {
    TResultMessage m;
    m.Id = "0b7e2e4c-7e53-4a4f-9d2c-1c0a8b3e5f60";
    m.Time = "2026-12-08T20:00:00+01:00";
    m.Station = "RIVER1";
    m.Sensor = "Q";
    m.Value = 38.422;
    m.Group = 1;
    EXPECT_EQ(ResultJson(m),
              R"({"id":"0b7e2e4c-7e53-4a4f-9d2c-1c0a8b3e5f60","time":"2026-12-08T20:00:00+01:00",)"
              R"("station":"RIVER1","sensor":"Q","value":38.422,"group":1})");
    m.Value.reset();
    m.Group.reset();
    m.Station = "R\"1";
    EXPECT_EQ(ResultJson(m),
              R"({"id":"0b7e2e4c-7e53-4a4f-9d2c-1c0a8b3e5f60","time":"2026-12-08T20:00:00+01:00",)"
              R"("station":"R\"1","sensor":"Q","value":null})");
    EXPECT_EQ(StatusJson(true, "e1", "1.0.0", "2026-12-08T20:00:00+01:00", "0/2"),
              R"({"state":"online","engine":"e1","version":"1.0.0",)"
              R"("started":"2026-12-08T20:00:00+01:00","shard":"0/2"})");
    EXPECT_EQ(StatusJson(false, "e1", "", "", ""), R"({"state":"offline","engine":"e1"})");
    EXPECT_EQ(StatusJson(true, "e1", "1.0.0", "", "", 15),
              R"({"state":"online","engine":"e1","version":"1.0.0","dropped":15})");
}

TEST(BridgeResults, Wis2NotificationHasEveryField) {
    TWis2Settings settings;
    settings.Enabled = true;
    settings.Centre = "xx-ov-hydro";
    settings.DataPolicy = "core";
    settings.MetadataId = "urn:wmo:md:xx-ov-hydro:results";
    settings.Link = "https://example.org/last/{station}/{sensor}";
    TStationPlace place;
    place.Latitude = 47.37;
    place.Longitude = 8.54;
    place.Elevation = 312.5;
    const std::string topic = Wis2Topic(settings, "RIVER1", "Q/1");
    EXPECT_EQ(topic, "origin/a/wis2/xx-ov-hydro/data/core/hydrology/experimental/RIVER1/Q%2F1");
    const std::string content = R"({"value":38.422})";
    const std::string text = Wis2Message(settings, place, "id-1", topic, 1796900000, 1796896800,
                                         "RIVER1", "Q/1", content);
    TJsonValue v;
    std::string why;
    ASSERT_TRUE(ParseJson(text, v, why)) << why << "\n" << text;
    EXPECT_EQ(v.Find("id")->String, "id-1");
    EXPECT_EQ(v.Find("type")->String, "Feature");
    ASSERT_EQ(v.Find("conformsTo")->Items.size(), 1u);
    EXPECT_EQ(v.Find("conformsTo")->Items[0].String, "http://wis.wmo.int/spec/wnm/1/conf/core");
    const TJsonValue* geometry = v.Find("geometry");
    EXPECT_EQ(geometry->Find("type")->String, "Point");
    const auto& xyz = geometry->Find("coordinates")->Items;
    ASSERT_EQ(xyz.size(), 3u);
    EXPECT_EQ(xyz[0].Number, 8.54);  // longitude first
    EXPECT_EQ(xyz[1].Number, 47.37);
    EXPECT_EQ(xyz[2].Number, 312.5);
    const TJsonValue* p = v.Find("properties");
    EXPECT_EQ(p->Find("pubtime")->String, IsoUtcText(1796900000));
    EXPECT_EQ(p->Find("datetime")->String, IsoUtcText(1796896800));
    EXPECT_EQ(p->Find("metadata_id")->String, settings.MetadataId);
    std::string compact = IsoUtcText(1796896800);  // the result's time without "-" and ":"
    std::erase(compact, '-');
    std::erase(compact, ':');
    EXPECT_EQ(p->Find("data_id")->String,
              "xx-ov-hydro/data/core/hydrology/experimental/RIVER1/Q%2F1/" + compact);
    const TJsonValue* body = p->Find("content");
    EXPECT_EQ(body->Find("encoding")->String, "utf-8");
    EXPECT_EQ(body->Find("value")->String, content);
    EXPECT_EQ(body->Find("size")->Number, static_cast<double>(content.size()));
    const auto& links = v.Find("links")->Items;
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].Find("href")->String, "https://example.org/last/RIVER1/Q%2F1");
    EXPECT_EQ(links[0].Find("rel")->String, "canonical");
}

// --- Station records in ---

TEST(BridgeStationInput, TakesEitherFormWholeOrNotAtAll) {
    std::string why;
    ASSERT_TRUE(SelectTimeZone("Europe/Berlin", why)) << why;
    TInputContext context;
    context.Formats = &UsFormats();
    context.DefaultItem = "$REALTIME";
    context.NullValue = -9999;
    const std::string line = "12/08/2026 20:00:10,RIVER1.HG,1.82,RIVER1.TA,11.8";
    const struct {
        std::string payload, item, data, station;
    } good[] = {
        {line, "$REALTIME", line, "RIVER1"},
        {line + "\r\n", "$REALTIME", line, "RIVER1"},
        {"$timetag 12/08/2026 20:45:00,MET1.TF,54.5", "$TIMETAG",
         "12/08/2026 20:45:00,MET1.TF,54.5", "MET1"},
        {"12/8/2026 20:0:10,RIVER1.HG, 1.82 ,RAIN1.PC,0.12", "$REALTIME",
         "12/8/2026 20:0:10,RIVER1.HG, 1.82 ,RAIN1.PC,0.12", "RIVER1"},
        {"12/08/2026 20:00:10,R\xD6HR.HG,1", "$REALTIME", "12/08/2026 20:00:10,R\xD6HR.HG,1",
         "R\xD6HR"},  // 8-bit text, not UTF-8
        {"12/08/2026 20:00:10,R\xC3\x96HR.HG,1", "$REALTIME", "12/08/2026 20:00:10,R\xD6HR.HG,1",
         "R\xD6HR"},  // UTF-8
        {R"({"station": "RIVER1", "time": "2026-12-08T20:00:10", "values": {"HG": 1.82, "TA": 11.8}})",
         "$REALTIME", line, "RIVER1"},
        {R"({"values": {"HG": null}, "time": "2026-12-08T19:00:10Z", "station": "RIVER1",
            "item": "$goestimed", "note": "ignored"})",
         "$GOESTIMED", "12/08/2026 20:00:10,RIVER1.HG,-9999", "RIVER1"},
        {R"({"station": "R\u00d6HR", "time": "2026-12-08T20:00:10", "values": {"HG": 1e3}})",
         "$REALTIME", "12/08/2026 20:00:10,R\xD6HR.HG,1000", "R\xD6HR"},
    };
    for (const auto& c : good) {
        TStationMessage message;
        ASSERT_TRUE(ReadStationMessage(c.payload, context, message, why))
            << c.payload << ": " << why;
        EXPECT_EQ(message.Item, c.item) << c.payload;
        EXPECT_EQ(message.Data, c.data) << c.payload;
        EXPECT_EQ(message.Station, c.station) << c.payload;
    }

    const struct {
        std::string payload, why;
    } bad[] = {
        {"", "empty"},
        {"hello", "no time tag"},
        {"12/08/2026 20:00:10", "no station.sensor"},
        {"12/08/2026 20:00:10,", "without its value"},
        {"12/08/2026 20:00:10,RIVER1.HG", "without its value"},
        {"12/08/2026 20:00:10,RIVER1HG,1", "no STATION.SENSOR"},
        {"12/08/2026 20:00:10,.HG,1", "no STATION.SENSOR"},
        {"12/08/2026 20:00:10,RIVER1.,1", "no STATION.SENSOR"},
        {"12/08/2026 20:00:10,RIVER1.HG,1.82,RIVER1.TA,abc", "is no number"},
        {"12/08/2026 20:00:10,RIVER1.HG,", "is no number"},
        {"12/08/2026 20:00:10xyz,RIVER1.HG,1", "is no time tag"},
        {"12-08-2026 20:00:10,RIVER1.HG,1", "no time tag"},
        {"$FOO 12/08/2026 20:00:10,RIVER1.HG,1", "none of the items"},
        {"$TIMETAG", "none of the items"},
        {line + "\n" + line, "more than one line"},
        {std::string("12/08/2026 20:00:10,RIVER1.HG,1\0", 32), "zero byte"},
        {"12/08/2026 20:00:10,RIVER\xF0\x9F\x98\x80.HG,1", "cannot hold"},
        {std::string(MaxStationMessage + 1, ' '), "longer than"},
        {"{\"station\": ", "no JSON"},
        {"[1]", "no time tag"},
        {R"({"time": "2026-12-08T20:00:10", "values": {"HG": 1}})", "no \"station\""},
        {R"({"station": 7, "time": "2026-12-08T20:00:10", "values": {"HG": 1}})", "no \"station\""},
        {R"({"station": "RIVER1", "values": {"HG": 1}})", "no \"time\""},
        {R"({"station": "RIVER1", "time": "2026-12-08T20:00:10", "values": {}})", "no \"values\""},
        {R"({"station": "RIVER1", "time": "2026-12-08T20:00:10", "values": [1]})", "no \"values\""},
        {R"({"station": "RIVER1", "time": "2026-12-08T20:00:10", "values": {"HG": "1.82"}})",
         "neither a number nor null"},
        {R"({"station": "RIVER.1", "time": "2026-12-08T20:00:10", "values": {"HG": 1}})",
         "cannot be a station name"},
        {R"({"station": "", "time": "2026-12-08T20:00:10", "values": {"HG": 1}})",
         "cannot be a station name"},
        {R"({"station": "R1", "time": "2026-12-08T20:00:10", "values": {"H,G": 1}})",
         "cannot be a sensor name"},
        {R"({"station": "R1", "time": "2026-12-08T20:00:10", "values": {"": 1}})",
         "cannot be a sensor name"},
        {R"({"station": "R\ud83d\ude00", "time": "2026-12-08T20:00:10", "values": {"H": 1}})",
         "cannot be a station name"},
        {R"({"station": "R1", "time": "yesterday", "values": {"HG": 1}})", "no ISO 8601"},
        {R"({"station": "R1", "time": "1980-01-01T00:00:00", "values": {"HG": 1}})",
         "outside the time tags"},
        {R"({"station": "R1", "time": "2026-12-08T20:00:10", "values": {"HG": 1}, "item": "$X"})",
         "\"item\""},
    };
    for (const auto& c : bad) {
        TStationMessage message;
        why.clear();
        EXPECT_FALSE(ReadStationMessage(c.payload, context, message, why)) << c.payload;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.payload << ": " << why;
        EXPECT_TRUE(message.Data.empty()) << c.payload;
    }
    // null without a null value known: nothing to announce.
    context.NullValue.reset();
    TStationMessage message;
    EXPECT_FALSE(ReadStationMessage(
        R"({"station": "R1", "time": "2026-12-08T20:00:10", "values": {"HG": null}})", context,
        message, why));
    EXPECT_NE(why.find("null value is not known"), std::string::npos) << why;
}

// --- Settings ---

TEST(BridgeSettingsFile, ReadsEveryKeyAndRefusesWhatCannotBeRight) {
    ov::test::ScratchFolder folder;
    const auto file = folder / "ovbridge.ini";
    ov::test::WriteFileText(file, R"(; a bridge
[Broker]
Host=broker.example
Port=8883
KeepAlive=10
ClientId=c1
Protocol=3.1.1
User=ov
PasswordFile=secret.txt
CAFile=/etc/ca.pem
CertFile=client.pem
KeyFile=client.key
ReconnectMin=0.5
ReconnectMax=30
Colour=blue
[Bridge]
Engine=e1
Prefix=net/ovcalc
QueueSize=5
HoldSize=7
TimeZone=Europe/Berlin
Groups=OVCalc.OVG
[WIS2]
Centre=xx-ov
DataPolicy=recommended
MetadataId=urn:x
[WIS2 Stations]
RIVER1=47.37, 8.54, 312.5
river2=-33.9,151.2
)");
    TBridgeSettings s;
    std::vector<std::string> warnings;
    std::string why;
    ASSERT_TRUE(LoadBridgeSettings(file, s, warnings, why)) << why;
    EXPECT_EQ(s.Host, "broker.example");
    EXPECT_EQ(s.Port, 8883);
    EXPECT_EQ(s.KeepAlive, 10);
    EXPECT_EQ(s.ClientId, "c1");
    EXPECT_EQ(s.Protocol, pcV311);
    EXPECT_EQ(s.PasswordFile, folder.Path() / "secret.txt");
    EXPECT_EQ(s.CAFile, "/etc/ca.pem");
    EXPECT_EQ(s.KeyFile, folder.Path() / "client.key");
    EXPECT_EQ(s.ReconnectMin, 0.5);
    EXPECT_EQ(s.Prefix, "net/ovcalc");
    EXPECT_EQ(s.QueueSize, 5);
    EXPECT_EQ(s.HoldSize, 7);
    EXPECT_EQ(s.Groups, folder.Path() / "OVCalc.OVG");
    EXPECT_TRUE(s.Wis2.Enabled);
    EXPECT_EQ(s.Wis2.DataPolicy, "recommended");
    ASSERT_EQ(s.Wis2.Stations.count("RIVER2"), 1u);
    EXPECT_EQ(s.Wis2.Stations.at("RIVER2").Longitude, 151.2);
    EXPECT_FALSE(s.Wis2.Stations.at("RIVER2").Elevation.has_value());
    EXPECT_EQ(*s.Wis2.Stations.at("RIVER1").Elevation, 312.5);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("ovbridge.ini:15: unknown key Colour in [Broker]"),
              std::string::npos)
        << warnings[0];

    // The defaults.
    ov::test::WriteFileText(file, "");
    warnings.clear();
    ASSERT_TRUE(LoadBridgeSettings(file, s, warnings, why)) << why;
    EXPECT_EQ(s.Host, "localhost");
    EXPECT_EQ(s.Port, 1883);
    EXPECT_EQ(s.Protocol, pcAuto);
    EXPECT_EQ(s.Prefix, "ovcalc");
    EXPECT_EQ(s.QueueSize, 10000);
    EXPECT_FALSE(s.Wis2.Enabled);

    const struct {
        std::string text, why;
    } bad[] = {
        {"[Broker]\nPassword=secret\n", "ovbridge.ini:2: the broker's password does not belong"},
        {"[Broker]\nPort=0\n", "ovbridge.ini:2: Port takes a whole number from 1 to 65535"},
        {"[Broker]\nPort=1883x\n", "Port takes a whole number"},
        {"[Broker]\nKeepAlive=1\n", "KeepAlive takes a whole number from 5"},
        {"[Broker]\nProtocol=4\n", "Protocol takes auto, 5 or 3.1.1"},
        {"[Broker]\nCertFile=c.pem\n", "CertFile and KeyFile go together"},
        {"[Broker]\nCertFile=c.pem\nKeyFile=k.pem\n", "needs TLS"},
        {"[Broker]\nReconnectMin=0\n", "ReconnectMin takes a number of seconds above 0"},
        {"[Bridge]\nQueueSize=0\n", "QueueSize takes a whole number from 1"},
        {"[Bridge]\nPrefix=a/#\n", "Prefix must be a topic without + and #"},
        {"[WIS2]\nCentre=xx\n", "need the MetadataId"},
        {"[WIS2]\nCentre=xx\nMetadataId=m\nDataPolicy=open\n", "DataPolicy takes core or"},
        {"[WIS2]\nCentre=xx\nMetadataId=m\n[WIS2 Stations]\nR1=95,0\n",
         "ovbridge.ini:5: R1 takes latitude,longitude[,elevation]"},
        {"[WIS2]\nCentre=xx\nMetadataId=m\n[WIS2 Stations]\nR1=1\n", "R1 takes latitude"},
        {"[Bridge]\nEngine=caf\xE9\n", "is not UTF-8 text"},
    };
    for (const auto& c : bad) {
        ov::test::WriteFileText(file, c.text);
        why.clear();
        EXPECT_FALSE(LoadBridgeSettings(file, s, warnings, why)) << c.text;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.text << ": " << why;
    }
    why.clear();
    EXPECT_FALSE(LoadBridgeSettings(folder / "none.ini", s, warnings, why));
    EXPECT_NE(why.find("no such file"), std::string::npos) << why;
}

TEST(BridgeSettingsFile, ThePasswordComesFromItsFileOrTheEnvironment) {
    ov::test::ScratchFolder folder;
    TBridgeSettings s;
    std::string password, warning, why;
    bool given = true;
    ::unsetenv(PasswordVariable);
    ASSERT_TRUE(ReadBrokerPassword(s, password, given, warning, why));
    EXPECT_FALSE(given);
    ::setenv(PasswordVariable, "from-env", 1);
    ASSERT_TRUE(ReadBrokerPassword(s, password, given, warning, why));
    EXPECT_TRUE(given);
    EXPECT_EQ(password, "from-env");
    s.PasswordFile = folder / "secret";
    ov::test::WriteFileText(s.PasswordFile, "from-file\r\nsecond line\n");
    ::chmod(s.PasswordFile.c_str(), 0600);
    ASSERT_TRUE(ReadBrokerPassword(s, password, given, warning, why));
    EXPECT_EQ(password, "from-file");  // the file wins; its first line only
    EXPECT_TRUE(warning.empty()) << warning;
    ::chmod(s.PasswordFile.c_str(), 0644);
    ASSERT_TRUE(ReadBrokerPassword(s, password, given, warning, why));
    EXPECT_NE(warning.find("can be read by others"), std::string::npos) << warning;
    s.PasswordFile = folder / "missing";
    EXPECT_FALSE(ReadBrokerPassword(s, password, given, warning, why));
    EXPECT_NE(why.find("cannot read the password file"), std::string::npos) << why;
    ::unsetenv(PasswordVariable);
}

// xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx, lower-case hex digits, y one of 8, 9, a, b.
bool Version4Form(const std::string& id) {
    if (id.size() != 36) return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const char c = id[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return id[14] == '4' && std::string_view("89ab").find(id[19]) != std::string_view::npos;
}

TEST(BridgeUuid, RandomVersion4IdsNeverRepeat) {
    TUuidMaker a, b;
    EXPECT_FALSE(Version4Form("0b7e2e4c-7e53-3a4f-9d2c-1c0a8b3e5f60"));  // version 3
    EXPECT_FALSE(Version4Form("0b7e2e4c-7e53-4a4f-cd2c-1c0a8b3e5f60"));  // variant 110
    std::set<std::string> seen;
    for (int i = 0; i < 5000; ++i) {
        for (TUuidMaker* maker : {&a, &b}) {
            const std::string id = maker->Next();
            EXPECT_TRUE(Version4Form(id)) << id;
            EXPECT_TRUE(seen.insert(id).second) << id;
        }
    }
}

}  // namespace
}  // namespace ovbridge
