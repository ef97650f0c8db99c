// Tests of the automation object over a live data store: the time answer, the shutdown and
// heartbeat announcements with the program's own AppID, the two items as properties with and
// without links, links creating items, and the transport being swapped while another thread
// announces.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "suite/OVCalcCom.h"

namespace ov {
namespace {

using Event = std::tuple<std::string, std::string, std::string, std::string>;  // name, args

class RecordingEvents : public IOVCalcComEvents {
  public:
    bool ShutdownSent = true;

    void OnItemChange(const std::string& appID, const std::string& item,
                      const std::string& data) override {
        Record({"OnItemChange", appID, item, data});
    }
    bool OnAppShutdown(const std::string& appID) override {
        Record({"OnAppShutdown", appID, "", ""});
        return ShutdownSent;
    }
    void OnHeartBeat(const std::string& appID, const std::string& timeStamp) override {
        Record({"OnHeartBeat", appID, timeStamp, ""});
    }
    void Clear() {
        std::lock_guard<std::mutex> held(lock_);
        events_.clear();
    }
    std::vector<Event> Events() const {
        std::lock_guard<std::mutex> held(lock_);
        return events_;
    }

  private:
    void Record(Event event) {
        std::lock_guard<std::mutex> held(lock_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex lock_;
    std::vector<Event> events_;
};

class RecordingHost : public IOVCalcComHost {
  public:
    int Refreshes = 0;
    std::vector<std::string> Lines;
    void ResetAllParams() override { ++Refreshes; }
    void LogStatus(const std::string& text) override { Lines.push_back(text); }
};

const std::string OwnID(OVCalcAppID);
const std::string ClientID = "{7552BE47-EFFF-47F1-8EEA-BD38F2B70761}";

// The store as the program makes it at start-up, with the object registered and recording.
class OVCalcComTest : public testing::Test {
  protected:
    OVCalcComTest() {
        store.SetAutoCreate(true, "");
        store.AddItem(TimeTagItem);
        store.AddItem(RealTimeItem);
        com = std::make_shared<TOVCalcCOM>(store, &host);
        com->SetEvents(&events);
        store.RegisterAutomationObject(com);
    }
    ~OVCalcComTest() override { store.RevokeAutomationObject(); }

    TOVCalcDataDatabase store;
    RecordingHost host;
    RecordingEvents events;
    std::shared_ptr<TOVCalcCOM> com;
};

bool IsDigits(const std::string& text, std::size_t from, std::size_t count) {
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// yyyy?mm?dd hh?nn?ss: the separators are the locale's.
void ExpectStamp(const std::string& text) {
    ASSERT_EQ(text.size(), 19u) << text;
    EXPECT_TRUE(IsDigits(text, 0, 4) && IsDigits(text, 5, 2) && IsDigits(text, 8, 2) &&
                IsDigits(text, 11, 2) && IsDigits(text, 14, 2) && IsDigits(text, 17, 2))
        << text;
    EXPECT_EQ(text[10], ' ');
    EXPECT_EQ(text.substr(0, 2), "20") << text;
}

TEST_F(OVCalcComTest, IsAliveAndHeartBeatAnswerTheCurrentDateAndTime) {
    ExpectStamp(com->IsAlive());
    com->HeartBeat();
    auto sent = events.Events();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(std::get<0>(sent[0]), "OnHeartBeat");
    EXPECT_EQ(std::get<1>(sent[0]), OwnID);
    ExpectStamp(std::get<2>(sent[0]));
}

TEST_F(OVCalcComTest, AppShutdownAnnouncesTheOwnAppIDAndShutsNothingDown) {
    com->AppShutdown(ClientID);
    EXPECT_EQ(events.Events(), (std::vector<Event>{{"OnAppShutdown", OwnID, "", ""}}));
    EXPECT_TRUE(host.Lines.empty());
    EXPECT_EQ(host.Refreshes, 0);
    // Still serving.
    EXPECT_TRUE(com->SetTIMETAG("x"));
}

TEST_F(OVCalcComTest, AFailedShutdownAnnouncementIsLoggedAs1618) {
    events.ShutdownSent = false;
    EXPECT_FALSE(com->AnnounceShutdown());
    com->AppShutdown(ClientID);
    EXPECT_EQ(host.Lines, (std::vector<std::string>(
                              2, "Error 1618: COM Client not responding OV Calc Shutdown..")));
    events.ShutdownSent = true;
    EXPECT_TRUE(com->AnnounceShutdown());
    EXPECT_EQ(host.Lines.size(), 2u);
}

TEST_F(OVCalcComTest, WithoutTransportAnnouncementsDoNothingAndFailNothing) {
    com->SetEvents(nullptr);
    EXPECT_TRUE(com->AnnounceShutdown());
    com->HeartBeat();
    EXPECT_FALSE(com->SetItemChange(OwnID, "$TIMETAG", "x"));
    EXPECT_TRUE(host.Lines.empty());
    EXPECT_TRUE(events.Events().empty());
}

TEST_F(OVCalcComTest, ResetAllParamsRunsTheWindowsRefresh) {
    com->ResetAllParams();
    EXPECT_EQ(host.Refreshes, 1);
    com->SetHost(nullptr);
    com->ResetAllParams();  // no window: nothing happens
    EXPECT_EQ(host.Refreshes, 1);
}

TEST_F(OVCalcComTest, SetItemChangeAnnouncesItsArgumentsUnchangedAndLeavesTheStore) {
    EXPECT_TRUE(com->SetItemChange(ClientID, "$timetag", "01/02/2024 10:00:00,A.B,1.5"));
    EXPECT_EQ(events.Events(), (std::vector<Event>{{"OnItemChange", ClientID, "$timetag",
                                                    "01/02/2024 10:00:00,A.B,1.5"}}));
    std::string value = "unset";
    EXPECT_TRUE(com->GetTIMETAG(value));
    EXPECT_EQ(value, "");
}

TEST_F(OVCalcComTest, ItemWritesAreAnnouncedOnlyOnceLinked) {
    // Before any write both items read empty; a write without a link stores silently.
    for (bool timeTag : {true, false}) {
        SCOPED_TRACE(timeTag ? "TIMETAG" : "REALTIME");
        auto get = [&](std::string& v) {
            return timeTag ? com->GetTIMETAG(v) : com->GetREALTIME(v);
        };
        auto set = [&](const std::string& v) {
            return timeTag ? com->SetTIMETAG(v) : com->SetREALTIME(v);
        };
        const std::string item(timeTag ? TimeTagItem : RealTimeItem);
        std::string value = "unset";
        ASSERT_TRUE(get(value));
        EXPECT_EQ(value, "");
        ASSERT_TRUE(set("first"));
        ASSERT_TRUE(get(value));
        EXPECT_EQ(value, "first");
        EXPECT_TRUE(events.Events().empty());

        // One link from any client: every later write is announced with the own AppID.
        ASSERT_EQ(com->SetItemLink(ClientID, item), lrLinked);
        ASSERT_TRUE(set("second"));
        ASSERT_TRUE(set("second"));
        EXPECT_EQ(events.Events(), (std::vector<Event>{{"OnItemChange", OwnID, item, "second"},
                                                       {"OnItemChange", OwnID, item, "second"}}));
        events.Clear();
    }
}

TEST_F(OVCalcComTest, SetItemLinkOfANewItemCreatesItEmpty) {
    EXPECT_FALSE(store.ItemExists("$GOESTIMED"));
    ASSERT_EQ(com->SetItemLink(ClientID, "$GOESTIMED"), lrLinked);
    EXPECT_TRUE(store.ItemExists("$GOESTIMED"));
    std::vector<std::string> links;
    EXPECT_TRUE(store.GetLinks("$goestimed", links));
    EXPECT_EQ(links, std::vector<std::string>{ClientID});
    std::string value = "unset";
    ASSERT_TRUE(store.GetValue("$GOESTIMED", value));
    EXPECT_EQ(value, "");
    // A result published into a linked item is announced like a client's write.
    PublishResult(store, "$GOESTIMED", "r");
    EXPECT_EQ(events.Events(), (std::vector<Event>{{"OnItemChange", OwnID, "$GOESTIMED", "r"}}));
}

TEST_F(OVCalcComTest, StoreWithoutAutoCreateRefusesUnknownItems) {
    TOVCalcDataDatabase bare;
    TOVCalcCOM object(bare);
    std::string value;
    EXPECT_FALSE(object.GetTIMETAG(value));
    EXPECT_FALSE(object.SetREALTIME("x"));
    EXPECT_EQ(object.SetItemLink(ClientID, "$NEW"), lrNoItem);
}

// The calculation thread announces while the main thread takes the transport away: every
// announcement reaches the transport that was set when it was made, none reaches it after.
TEST_F(OVCalcComTest, RemovingTheTransportWaitsForAnAnnouncementInProgress) {
    ASSERT_EQ(com->SetItemLink(ClientID, std::string(TimeTagItem)), lrLinked);
    std::atomic<bool> stop{false};
    std::atomic<int> published{0};
    std::thread calc([&] {
        while (!stop) {
            PublishResult(store, TimeTagItem, "v");
            ++published;
        }
    });
    while (published < 100) std::this_thread::yield();
    com->SetEvents(nullptr);
    const std::size_t afterRemoval = events.Events().size();
    while (published < 200) std::this_thread::yield();
    stop = true;
    calc.join();
    EXPECT_GT(afterRemoval, 0u);
    EXPECT_EQ(events.Events().size(), afterRemoval);
}

}  // namespace
}  // namespace ov
