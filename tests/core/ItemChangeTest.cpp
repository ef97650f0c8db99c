// Tests of the item-change handling: which senders and items are taken, and the exact input
// items a data line becomes, with bad time stamps, bad pairs, blanks, line breaks and hostile
// lines.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "busnames/BusNames.h"
#include "core/ItemChange.h"
#include "support/TestCalcHost.h"
#include "util/Format.h"
#include "util/TimeTag.h"

namespace ov {
namespace {

const std::string Stamp = "12/08/2026 20:41:05";

// The time tag text as the scanner expects it: the platform's separators.
std::string StampText() {
    return TimeTagText(MakeTimeTag(2026, 12, 8, 20, 41, 5));
}

using TClock = TDroppedLines::TClock;

class ItemChangeTest : public ::testing::Test {
  protected:
    test::TestCalcHost host;
    TInputStationSensorBuffer input{host};
    std::vector<std::string> log;
    int signals = 0;
    TClock::time_point now{};  // the dropped lines' clock
    TDroppedLines dropped{std::chrono::minutes(1), [this] { return now; }};

    int Handle(std::string_view appID, std::string_view item, std::string_view data,
               std::string_view ownAppID = IOVCalcDataCOMAppID) {
        return HandleItemChange(
            appID, item, data, ownAppID, input, [this] { ++signals; },
            [this](const std::string& text) { log.push_back(text); }, {}, &dropped);
    }
    int Handle(std::string_view item, std::string_view data) {
        return Handle(IOVDecodeComAppID, item, data);
    }

    // An item as "B|station|tag|kind", "S|station|sensor|value|tag|kind" or
    // "E|station|tag|kind", the tag in its "%j" text.
    static std::string Described(const TInputItem& item) {
        const std::string common = "|" + TimeTagText(item.TimeTag) + "|" + item.Kind;
        if (auto* s = dynamic_cast<const TInputSensorItem*>(&item))
            return "S|" + s->StationID + "|" + s->SensorName + "|" + s->ValueText + common;
        if (dynamic_cast<const TInputStationBeginItem*>(&item))
            return "B|" + item.StationID + common;
        if (dynamic_cast<const TInputStationEndItem*>(&item)) return "E|" + item.StationID + common;
        return "?";
    }

    // Every queued item, taken out, as Described.
    std::vector<std::string> Taken() {
        std::vector<std::string> out;
        std::unique_ptr<TInputItem> item;
        while (input.Get(item)) out.push_back(Described(*item));
        return out;
    }
};

TEST_F(ItemChangeTest, SendersAndItemsThatAreTaken) {
    struct Case {
        std::string appID;
        std::string item;
        const char* kind;  // nullptr: nothing is queued
    };
    const std::string decode(IOVDecodeComAppID);
    const Case cases[] = {
        {decode, "$GOESTIMED", "S"},
        {std::string(IOVRtuDataCOMAppID), "$REALTIME", "C"},
        {std::string(IOVMBRTUDataCOMAppID), "$TIMETAG", "T"},
        {decode, "$GOESRANDOM", "R"},
        {decode, "$goestimed", "S"},  // the item name is upper-cased first
        {decode, "$TimeTag", "T"},
        // Senders: this program, the setup server, anything not exactly a source's AppID.
        {std::string(IOVCalcDataCOMAppID), "$REALTIME", nullptr},
        {std::string(IOVSetupComAppID), "$REALTIME", nullptr},
        {"{c75f696c-07a5-422e-be99-3afcb281c367}", "$REALTIME", nullptr},
        {"C75F696C-07A5-422E-BE99-3AFCB281C367", "$REALTIME", nullptr},
        {decode + " ", "$REALTIME", nullptr},
        {"", "$REALTIME", nullptr},
        // Items: only the four names, exactly.
        {decode, "$CURRENT", nullptr},
        {decode, "REALTIME", nullptr},
        {decode, "$REALTIME ", nullptr},
        {decode, "$TIMETAGS", nullptr},
        {decode, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.appID + " " + c.item);
        signals = 0;
        const int added = Handle(c.appID, c.item, Stamp + ",RIVER1.HG,3.52");
        const std::vector<std::string> items = Taken();
        if (c.kind == nullptr) {
            EXPECT_EQ(added, 0);
            EXPECT_TRUE(items.empty());
            EXPECT_EQ(signals, 0);
        } else {
            const std::string k = std::string("|") + StampText() + "|" + c.kind;
            EXPECT_EQ(added, 3);
            EXPECT_EQ(items, (std::vector<std::string>{"B|RIVER1" + k, "S|RIVER1|HG|3.52" + k,
                                                       "E|RIVER1" + k}));
            EXPECT_EQ(signals, 1);
        }
    }
    EXPECT_TRUE(log.empty());
}

TEST_F(ItemChangeTest, ItsOwnAppIDIsRefusedEvenWhenItIsASourcesOne) {
    EXPECT_EQ(Handle(IOVRtuDataCOMAppID, "$REALTIME", Stamp + ",A.B,1", IOVRtuDataCOMAppID), 0);
    EXPECT_EQ(Handle(IOVDecodeComAppID, "$REALTIME", Stamp + ",A.B,1", IOVRtuDataCOMAppID), 3);
}

TEST_F(ItemChangeTest, MultiStationLineIsOneRecordOfTheFirstStation) {
    EXPECT_EQ(Handle("$REALTIME", Stamp + ",RIVER1.HG,3.52,RIVER2.HG,1.25,river1.TA,12.5"), 5);
    const std::string k = "|" + StampText() + "|C";
    EXPECT_EQ(Taken(), (std::vector<std::string>{
                           "B|RIVER1" + k,
                           "S|RIVER1|HG|3.52" + k,
                           "S|RIVER2|HG|1.25" + k,  // each value with its own station
                           "S|river1|TA|12.5" + k,  // names as written
                           "E|RIVER1" + k,
                       }));
    EXPECT_EQ(signals, 1);
    EXPECT_TRUE(log.empty());
}

TEST_F(ItemChangeTest, DataLinesAndTheirItems) {
    const std::string k = "|" + StampText() + "|S";
    struct Case {
        std::string data;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        // A time tag alone: a record with an empty station and one empty sensor item.
        {Stamp, {"B|" + k, "S|||" + k, "E|" + k}},
        {Stamp + ",", {"B|" + k, "S|||" + k, "E|" + k}},
        // Text after the seconds, up to the comma, is skipped.
        {Stamp + " UTC,RIVER1.HG,1", {"B|RIVER1" + k, "S|RIVER1|HG|1" + k, "E|RIVER1" + k}},
        // Blanks are part of the fields.
        {Stamp + ",RIVER 1. HG , 3.52 ",
         {"B|RIVER 1" + k, "S|RIVER 1| HG | 3.52 " + k, "E|RIVER 1" + k}},
        // A sensor name may hold full stops; a value may be anything up to the comma.
        {Stamp + ",R.A.B,x,R.C,", {"B|R" + k, "S|R|A.B|x" + k, "S|R|C|" + k, "E|R" + k}},
        // A pair without a value at the end.
        {Stamp + ",R.A,1,R.B", {"B|R" + k, "S|R|A|1" + k, "S|R|B|" + k, "E|R" + k}},
        // A zero byte is part of its field, never its end.
        {Stamp + ",R.A,5" + std::string(1, '\0') + "0,R.B,2",
         {"B|R" + k, "S|R|A|5" + std::string(1, '\0') + "0" + k, "S|R|B|2" + k, "E|R" + k}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        EXPECT_EQ(Handle("$GOESTIMED", c.data), static_cast<int>(c.items.size()));
        EXPECT_EQ(Taken(), c.items);
    }
    EXPECT_TRUE(log.empty());
}

TEST_F(ItemChangeTest, BadTimeStampQueuesNothing) {
    for (const std::string& data : {
             std::string("12-08-2026 20:41:05,RIVER1.HG,1"),
             std::string("12/08/2026 20.41.05,RIVER1.HG,1"),
             std::string(" 12/08/2026 20:41:05,RIVER1.HG,1"),  // no blank before a number
             std::string("12/08/2026,RIVER1.HG,1"),
             std::string("12/08/2026  20:41:05,RIVER1.HG,1"),
             std::string("RIVER1.HG,1"),
             std::string(""),
             std::string("\r\n"),
             std::string("12/08/70000 20:41:05,RIVER1.HG,1"),
             // After the last time tag, 01/18/2053 03:14:07: such a tag would wrap.
             std::string("01/18/2053 03:14:08,RIVER1.HG,1"),
             std::string("01/19/2053 00:00:00,RIVER1.HG,1"),
             std::string("99/99/9999 99:99:99,RIVER1.HG,1"),
             // Negative parts.
             std::string("-1/08/2026 20:41:05,RIVER1.HG,1"),
             std::string("12/08/2026 20:-41:05,RIVER1.HG,1"),
             std::string("12/31/65535 23:59:59,RIVER1.HG,1"),
         }) {
        SCOPED_TRACE(data);
        EXPECT_EQ(Handle("$REALTIME", data), 0);
        EXPECT_TRUE(Taken().empty());
    }
    EXPECT_EQ(signals, 0);
    // Dropped, but said: the first line at once, the others of the minute when it is over.
    EXPECT_EQ(log, std::vector<std::string>{
                       "Error 1600: 1 line of OV Decode dropped: time tag cannot be read - "
                       "12-08-2026 20:41:05"});
    EXPECT_TRUE(dropped.Due().empty());
    now += std::chrono::minutes(1);
    EXPECT_EQ(dropped.Due(),
              std::vector<std::string>{"Error 1600: 14 lines of OV Decode dropped: time tag "
                                       "cannot be read - 12/31/65535 23:59:59"});
    EXPECT_TRUE(dropped.Due().empty());
}

// Each source's dropped lines are told once per period: a source's first at once, the next
// ones together when the period is over, another source on its own count.
TEST(DroppedLines, ToldOncePerSourceAndPeriod) {
    TClock::time_point now{};
    TDroppedLines dropped(std::chrono::seconds(60), [&] { return now; });
    const std::string rtu(IOVRtuDataCOMAppID), mbrtu(IOVMBRTUDataCOMAppID);
    const std::string told = "Error 1600: 1 line of RO Did dropped: time tag cannot be read - A";
    EXPECT_EQ(dropped.Drop(rtu, "A"), told);
    now += std::chrono::seconds(10);
    EXPECT_EQ(dropped.Drop(rtu, "B"), "");
    EXPECT_EQ(dropped.Drop(mbrtu, "C"),
              "Error 1600: 1 line of ZE DEZav dropped: time tag cannot be read - C");
    EXPECT_EQ(dropped.Drop("{OTHER}", "D"),
              "Error 1600: 1 line of {OTHER} dropped: time tag cannot be read - D");
    EXPECT_EQ(dropped.Drop(rtu, "E"), "");
    now += std::chrono::seconds(49);
    EXPECT_TRUE(dropped.Due().empty());
    now += std::chrono::seconds(1);
    EXPECT_EQ(dropped.Due(), std::vector<std::string>{
                                 "Error 1600: 2 lines of RO Did dropped: time tag cannot be read "
                                 "- E"});
    // Told at 60 s: the next line waits for 120 s; one after a quiet period is told at once.
    now += std::chrono::seconds(30);
    EXPECT_EQ(dropped.Drop(rtu, "F"), "");
    now += std::chrono::seconds(30);
    EXPECT_EQ(dropped.Drop(rtu, "G"),
              "Error 1600: 2 lines of RO Did dropped: time tag cannot be read - G");
    now += std::chrono::minutes(5);
    EXPECT_TRUE(dropped.Due().empty());
    EXPECT_EQ(dropped.Drop(rtu, "H"), told.substr(0, told.size() - 1) + "H");
}

std::string Repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}
// first, times the elements of part, last (first and last only when not empty).
std::vector<std::string> Repeated(const std::vector<std::string>& part, int times,
                                  const std::string& first, const std::string& last) {
    std::vector<std::string> out;
    if (!first.empty()) out.push_back(first);
    for (int i = 0; i < times; ++i) out.insert(out.end(), part.begin(), part.end());
    if (!last.empty()) out.push_back(last);
    return out;
}

// A field without a full stop where STATION.SENSOR belongs is reported once; reading goes on
// at the next field that holds a full stop and is not a number, so every good pair is queued.
TEST_F(ItemChangeTest, MalformedPairsAreReportedAndTheGoodOnesKept) {
    const std::string k = "|" + StampText() + "|C";
    const std::string bad = "Error 1600: Data item is not STATION.SENSOR - ";
    struct Case {
        std::string pairs;  // after the time tag and its comma
        std::vector<std::string> items;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        // In the middle: the pair's value goes with it, the next pairs are kept.
        {"OAKFORD.HS,1.75,NOSENSOR,OAKFORD.WT,13.1,ELMWOOD.WT,10.9",
         {"B|OAKFORD" + k, "S|OAKFORD|HS|1.75" + k, "S|OAKFORD|WT|13.1" + k,
          "S|ELMWOOD|WT|10.9" + k, "E|OAKFORD" + k},
         {bad + "NOSENSOR"}},
        // A broken pair's number value is no station.sensor and is skipped as well.
        {"OAKFORD.HS,1.75,NOSENSOR,1.8,OAKFORD.WT,13.1",
         {"B|OAKFORD" + k, "S|OAKFORD|HS|1.75" + k, "S|OAKFORD|WT|13.1" + k, "E|OAKFORD" + k},
         {bad + "NOSENSOR"}},
        {"OAKFORD.HS,1.75,NOSENSOR,-2.5E3,x,OAKFORD.WT,13.1",
         {"B|OAKFORD" + k, "S|OAKFORD|HS|1.75" + k, "S|OAKFORD|WT|13.1" + k, "E|OAKFORD" + k},
         {bad + "NOSENSOR"}},
        // An empty field is no station.sensor either.
        {"RIVER1.HG,3.52,,RIVER1.TA,12.5",
         {"B|RIVER1" + k, "S|RIVER1|HG|3.52" + k, "S|RIVER1|TA|12.5" + k, "E|RIVER1" + k},
         {bad}},
        // First: the record belongs to the station of the first good pair.
        {"NOSENSOR,3.52,RIVER1.TA,12.5,RIVER2.HG,1",
         {"B|RIVER1" + k, "S|RIVER1|TA|12.5" + k, "S|RIVER2|HG|1" + k, "E|RIVER1" + k},
         {bad + "NOSENSOR"}},
        // Last: reported the same way, the pairs before it kept.
        {"RIVER1.HG,3.52,RIVER1.TA,12.5,JUNKPAIR",
         {"B|RIVER1" + k, "S|RIVER1|HG|3.52" + k, "S|RIVER1|TA|12.5" + k, "E|RIVER1" + k},
         {bad + "JUNKPAIR"}},
        // Each broken pair is reported once.
        {"A,1,B,2,R.X,1,C,R.Y,2",
         {"B|R" + k, "S|R|X|1" + k, "S|R|Y|2" + k, "E|R" + k},
         {bad + "A", bad + "C"}},
        // Nothing good at all: no record.
        {"HG,3.52", {}, {bad + "HG"}},
        // Ten are reported one by one, the rest counted.
        {"R.A,1" + Repeated(",X,R.A,1", 12),
         Repeated(std::vector<std::string>{"S|R|A|1" + k}, 13, "B|R" + k, "E|R" + k),
         Repeated(std::vector<std::string>{bad + "X"}, 10, "",
                  "Error 1600: Data items not STATION.SENSOR - 2 more in the line")},
        {",", {}, {bad}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pairs);
        log.clear();
        signals = 0;
        EXPECT_EQ(Handle("$REALTIME", Stamp + "," + c.pairs), static_cast<int>(c.items.size()));
        EXPECT_EQ(Taken(), c.items);
        EXPECT_EQ(log, c.log);
        // No begin item queued, no end item either: it would set off the station's groups.
        EXPECT_EQ(signals, c.items.empty() ? 0 : 1);
    }
}

TEST_F(ItemChangeTest, LineBreaksEndTheDataLine) {
    const std::string k = "|" + StampText() + "|T";
    const std::vector<std::string> one{"B|RIVER1" + k, "S|RIVER1|HG|3.52" + k, "E|RIVER1" + k};
    for (const std::string& data :
         {Stamp + ",RIVER1.HG,3.52\r\n", Stamp + ",RIVER1.HG,3.52\n", Stamp + ",RIVER1.HG,3.52\r",
          Stamp + ",RIVER1.HG,3.52\r\n\r\n"}) {
        EXPECT_EQ(Handle("$TIMETAG", data), 3);
        EXPECT_EQ(Taken(), one);
    }
    EXPECT_TRUE(log.empty());

    // A time tag and a line break: the empty pair of a bare time tag, nothing made of the break.
    EXPECT_EQ(Handle("$TIMETAG", Stamp + "\r\n"), 3);
    EXPECT_EQ(Taken(), (std::vector<std::string>{"B|" + k, "S|||" + k, "E|" + k}));
    EXPECT_TRUE(log.empty());

    // What follows a line break is not part of the line, and the user is told.
    EXPECT_EQ(Handle("$TIMETAG", Stamp + ",RIVER1.HG,3.52\r\nRIVER2.HG,1\n"), 3);
    EXPECT_EQ(Taken(), one);
    EXPECT_EQ(
        log,
        (std::vector<std::string>{"Error 1600: Data after a line break ignored - RIVER2.HG,1"}));
}

TEST_F(ItemChangeTest, HostileLinesEndAndStayBounded) {
    const std::string lines[] = {
        Stamp + ",.,.,.",
        Stamp + ",..........",
        Stamp + "," + std::string(5000, '.'),
        Stamp + "," + std::string(5000, ','),
        Stamp + ",A.B,1," + std::string(3000, 'x'),
        Stamp + ",A.,,.,,.,",
        Stamp + ",A.B" + std::string(100, '\0') + ",1",
        Stamp + std::string(1, '\0') + ",A.B,1",
        Stamp + ",A.B,1,\x80\xff.\x01,2",
    };
    for (const std::string& data : lines) {
        SCOPED_TRACE(data.substr(0, 60));
        const int added = Handle("$GOESRANDOM", data);
        // Every pair uses at least one character of the line.
        EXPECT_LE(added, static_cast<int>(data.size()) + 2);
        const std::vector<std::string> items = Taken();
        EXPECT_EQ(static_cast<int>(items.size()), added);
        if (!items.empty()) {
            EXPECT_EQ(items.front()[0], 'B');
            EXPECT_EQ(items.back()[0], 'E');
        }
    }
}

// A producer that gives up on a full buffer (the thread stopped, the events failed) drops the
// rest of its record, the end item with it, even when a slot comes free meanwhile: an end item
// sets off the station's calculation, which would take the values the record lost from older
// data. The waits: the thread takes an item ("c") or the producer gives up ("x").
TEST_F(ItemChangeTest, ARecordCutShortOnAFullBufferIsNeverClosed) {
    const std::string data = Stamp + ",A.B,1,A.C,2,A.D,3";
    const std::string k = "|" + StampText() + "|C";
    struct Case {
        const char* waits;
        bool mainThread;  // waits by serving the events, whose failure gives up
        std::vector<std::string> items;
    };
    const Case cases[] = {
        // Room made in time: the whole record.
        {"cccc", false, {"B|A" + k, "S|A|B|1" + k, "S|A|C|2" + k, "S|A|D|3" + k, "E|A" + k}},
        // Given up at A.D: what came before stays, nothing after it is queued, though the
        // thread takes an item at the next wait.
        {"cxc", false, {"B|A" + k, "S|A|B|1" + k, "S|A|C|2" + k}},
        {"cxc", true, {"B|A" + k, "S|A|B|1" + k, "S|A|C|2" + k}},
        {"xcc", false, {"B|A" + k, "S|A|B|1" + k}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.waits) + (c.mainThread ? " on the main thread" : ""));
        TInputStationSensorBuffer small(host, 2, std::chrono::milliseconds(0));
        std::vector<std::string> items;
        std::string_view waits = c.waits;
        auto wait = [&] {
            const char step = waits.empty() ? 'x' : waits.front();
            if (!waits.empty()) waits.remove_prefix(1);
            if (step != 'c') return false;
            std::unique_ptr<TInputItem> item;
            if (small.Get(item)) items.push_back(Described(*item));
            return true;
        };
        int added = 0;
        if (c.mainThread) {
            host.OnProcessUiEvents = [&] {
                if (!wait()) throw std::runtime_error("events failed");
            };
            added = HandleItemChange(
                IOVDecodeComAppID, "$REALTIME", data, IOVCalcDataCOMAppID, small, [] {},
                [](const std::string&) {});
            host.OnProcessUiEvents = nullptr;
        } else {
            added = HandleItemChange(
                IOVDecodeComAppID, "$REALTIME", data, IOVCalcDataCOMAppID, small, [] {},
                [](const std::string&) {}, wait);
        }
        std::unique_ptr<TInputItem> item;
        while (small.Get(item)) items.push_back(Described(*item));
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(added, static_cast<int>(c.items.size()));
    }
}

TEST_F(ItemChangeTest, AnErrorWhileClosingTheRecordIsLogged) {
    const int added = HandleItemChange(
        IOVDecodeComAppID, "$REALTIME", Stamp + ",RIVER1.HG,1", IOVCalcDataCOMAppID, input,
        [] { throw std::runtime_error("wake event lost"); },
        [this](const std::string& text) { log.push_back(text); });
    EXPECT_EQ(added, 3);  // the end item was queued before the signal failed
    EXPECT_EQ(Taken().size(), 3u);
    EXPECT_EQ(log, (std::vector<std::string>{"Error 1600: wake event lost"}));
}

}  // namespace
}  // namespace ov
