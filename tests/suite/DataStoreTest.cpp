// Tests of the live data store: case-folded names, creation on look-up, the Changed rule,
// links and change announcements, eviction and its question to the user, and concurrent use.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "suite/DataStore.h"
#include "util/TextCompare.h"

namespace ov {
namespace {

using Call = std::tuple<std::string, std::string, std::string>;  // AppID, item, data

// An automation object that records its calls and answers as told.
class RecordingObject : public IAutomationObject {
  public:
    enum TMode { fmAnswer, fmFail, fmThrow };
    TMode Mode = fmAnswer;

    bool SetItemChange(const std::string& appID, const std::string& item,
                       const std::string& data) override {
        std::lock_guard<std::mutex> held(lock_);
        calls_.emplace_back(appID, item, data);
        if (Mode == fmThrow) throw std::runtime_error("client gone");
        return Mode == fmAnswer;
    }
    std::vector<Call> Calls() const {
        std::lock_guard<std::mutex> held(lock_);
        return calls_;
    }

  private:
    mutable std::mutex lock_;
    std::vector<Call> calls_;
};

// Runs a store operation on a thread of its own; FinishedWithin tells whether it got through
// (it cannot while the caller holds the store's lock). Joins on destruction.
class StoreProbe {
  public:
    explicit StoreProbe(const TOVDataBase& store)
        : thread_([this, &store] {
              store.Count();
              std::lock_guard<std::mutex> held(lock_);
              done_ = true;
              doneChanged_.notify_all();
          }) {}
    ~StoreProbe() { thread_.join(); }
    bool FinishedWithin(std::chrono::seconds limit) {
        std::unique_lock<std::mutex> held(lock_);
        return doneChanged_.wait_for(held, limit, [this] { return done_; });
    }

  private:
    std::mutex lock_;
    std::condition_variable doneChanged_;
    bool done_ = false;
    std::thread thread_;  // last: started once the rest is ready
};

// The store as the main window prepares it at start-up.
void StartUp(TOVDataBase& store) {
    store.SetAutoCreate(true, "");
    ASSERT_TRUE(store.AddItem(TimeTagItem));
    ASSERT_TRUE(store.AddItem(RealTimeItem));
}

std::string Name(const char* prefix, int i) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%06d", prefix, i);
    return text;
}

// ---- names ----

TEST(DataStoreNames, AsciiLettersFoldOtherBytesDoNot) {
    struct Case {
        const char* stored;
        const char* asked;
        bool same;
    };
    const Case cases[] = {
        {"$TIMETAG", "$timetag", true},
        {"$TIMETAG", "$TimeTag", true},
        {"St1.Sn1", "ST1.SN1", true},
        {"$TIMETAG", "$TIMETAG ", false},
        {"$TIMETAG", "$TIMETA", false},
        {"\xC9TAT", "\xE9TAT", false},  // Latin-1 É and é: not ASCII letters
        {"A[", "a{", false},            // '[' and '{' are not letters either
    };
    for (const Case& c : cases) {
        TOVDataBase store;
        StartUp(store);
        ASSERT_TRUE(store.SetValue(c.stored, "v"));
        const std::int32_t before = store.Count();
        EXPECT_EQ(store.ItemExists(c.asked), c.same) << c.stored << " / " << c.asked;
        std::string value;
        ASSERT_TRUE(store.GetValue(c.asked, value));
        EXPECT_EQ(value, c.same ? "v" : "") << c.asked;
        EXPECT_EQ(store.Count(), before + (c.same ? 0 : 1)) << c.asked;
    }
}

TEST(DataStoreNames, TheFirstSpellingStaysAndTheOrderFoldsLetters) {
    TOVDataBaseImpl table;
    table.SetAutoCreate(true, "");
    for (const char* name : {"b", "$TimeTag", "A", "c", "$TIMETAG", "a", "B"})
        ASSERT_NE(table.FindOrCreate(name, true), nullptr);
    ASSERT_EQ(table.Count(), 4);
    const char* expected[] = {"$TimeTag", "A", "b", "c"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(table.ItemAt(i)->Name(), expected[i]);
}

// ---- creation ----

TEST(DataStoreCreation, StartUpAndAddItemKeepAnExistingItem) {
    TOVDataBase store;
    StartUp(store);
    EXPECT_EQ(store.Count(), 2);
    ASSERT_TRUE(store.SetValue("$timetag", "01/02/2024 10:00:00,ST1.SN1,1.5"));
    EXPECT_TRUE(store.AddItem("$TIMETAG"));
    std::string value;
    ASSERT_TRUE(store.GetValue(TimeTagItem, value));
    EXPECT_EQ(value, "01/02/2024 10:00:00,ST1.SN1,1.5");
    EXPECT_EQ(store.Count(), 2);
}

TEST(DataStoreCreation, LookUpsCreateQueriesDoNot) {
    TOVDataBase store;
    StartUp(store);

    EXPECT_FALSE(store.ItemExists("NEVER"));
    std::vector<std::string> links{"stale"};
    EXPECT_FALSE(store.GetLinks("NEVER", links));
    EXPECT_TRUE(links.empty());
    EXPECT_FALSE(store.Notify("NEVER"));
    EXPECT_EQ(store.Count(), 2);

    std::string value = "untouched";
    EXPECT_TRUE(store.GetValue("NEW1", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(store.AddLink("NEW2", OVCalcAppID));
    EXPECT_TRUE(store.SetValue("NEW3", "x"));
    EXPECT_EQ(store.Count(), 5);
    EXPECT_TRUE(store.ItemExists("new1"));
    EXPECT_TRUE(store.Notify("new1"));
}

TEST(DataStoreCreation, WithoutAutoCreateOnlyAddItemCreates) {
    TOVDataBase store;  // AutoCreate is off after construction
    std::string value = "untouched";
    EXPECT_FALSE(store.SetValue("X", "1"));
    EXPECT_FALSE(store.GetValue("X", value));
    EXPECT_EQ(value, "untouched");
    EXPECT_FALSE(store.AddLink("X", OVCalcAppID));
    EXPECT_EQ(store.Count(), 0);

    ASSERT_TRUE(store.AddItem("X"));
    EXPECT_TRUE(store.SetValue("x", "1"));
    EXPECT_TRUE(store.GetValue("X", value));
    EXPECT_EQ(value, "1");
    EXPECT_EQ(store.Count(), 1);
}

TEST(DataStoreCreation, TheDefaultValueGoesToItemsCreatedByLookUpsOnly) {
    TOVDataBase store;
    store.SetAutoCreate(true, "n/a");
    ASSERT_TRUE(store.AddItem("ADDED"));
    std::string value;
    ASSERT_TRUE(store.GetValue("ADDED", value));
    EXPECT_EQ(value, "");
    ASSERT_TRUE(store.GetValue("LOOKED", value));
    EXPECT_EQ(value, "n/a");
}

// ---- the Changed rule ----

TEST(DataStoreChanged, SetOnlyByADifferentTextAndNeverReset) {
    store::TDataItem item("$TIMETAG");
    EXPECT_FALSE(item.Changed());
    item.SetValue("");
    EXPECT_FALSE(item.Changed());  // same (empty) text
    item.SetValue("a");
    EXPECT_TRUE(item.Changed());
    item.SetValue("");
    EXPECT_EQ(item.Value(), "");
    EXPECT_TRUE(item.Changed());  // for good

    store::TDataItem other("X");
    other.SetValue("");
    other.SetValue("");
    EXPECT_FALSE(other.Changed());
    store::TDataItem cased("Y");
    cased.SetValue("abc");
    EXPECT_TRUE(cased.Changed());
}

TEST(DataStoreChanged, AnItemCreatedByALookUpIsChangedOnlyByANonEmptyDefault) {
    TOVDataBaseImpl table;
    table.SetAutoCreate(true, "");
    EXPECT_FALSE(table.FindOrCreate("A", true)->Changed());
    table.SetAutoCreate(true, "0");
    EXPECT_TRUE(table.FindOrCreate("B", true)->Changed());
    store::TDataItem* plain = table.FindOrCreate("C", false);
    EXPECT_FALSE(plain->Changed());
    EXPECT_EQ(plain->Value(), "");
    EXPECT_EQ(table.FindOrCreate("a", true)->Value(), "");  // found: the default is not applied
}

// ---- links and announcements ----

class DataStoreNotify : public ::testing::Test {
  protected:
    void SetUp() override {
        StartUp(store);
        store.RegisterAutomationObject(object);
    }
    TOVCalcDataDatabase store;
    std::shared_ptr<RecordingObject> object = std::make_shared<RecordingObject>();
};

TEST_F(DataStoreNotify, DuplicateLinksStayButAnnounceOnce) {
    const std::string client = "{C75F696C-07A5-422E-BE99-3AFCB281C367}";
    ASSERT_TRUE(store.AddLink("$timetag", client));
    ASSERT_TRUE(store.AddLink("$TIMETAG", client));
    std::vector<std::string> links;
    ASSERT_TRUE(store.GetLinks(TimeTagItem, links));
    EXPECT_EQ(links, (std::vector<std::string>{client, client}));

    ASSERT_TRUE(store.SetValue(TimeTagItem, "rec1"));
    EXPECT_TRUE(store.Notify(TimeTagItem));
    EXPECT_EQ(object->Calls(), (std::vector<Call>{{std::string(OVCalcAppID), "$TIMETAG", "rec1"}}));
}

TEST_F(DataStoreNotify, AnItemWithoutLinksIsStoredAndNotAnnounced) {
    PublishResult(store, TimeTagItem, "rec1");
    EXPECT_TRUE(store.Notify(TimeTagItem));
    EXPECT_TRUE(object->Calls().empty());
    std::string value;
    ASSERT_TRUE(store.GetValue(TimeTagItem, value));
    EXPECT_EQ(value, "rec1");
}

TEST_F(DataStoreNotify, WithoutARunningObjectOrWithAFailingOneNotifyIsFalse) {
    ASSERT_TRUE(store.AddLink(RealTimeItem, OVCalcAppID));

    store.RevokeAutomationObject(object.get());
    ASSERT_TRUE(store.SetValue(RealTimeItem, "r1"));
    EXPECT_FALSE(store.Notify(RealTimeItem));
    std::string value;
    ASSERT_TRUE(store.GetValue(RealTimeItem, value));
    EXPECT_EQ(value, "r1");

    store.RegisterAutomationObject(object);
    for (auto mode : {RecordingObject::fmFail, RecordingObject::fmThrow}) {
        object->Mode = mode;
        EXPECT_FALSE(store.Notify(RealTimeItem)) << mode;
    }
    EXPECT_EQ(object->Calls().size(), 2u);
    object->Mode = RecordingObject::fmAnswer;
    EXPECT_TRUE(store.Notify("$realtime"));
    EXPECT_EQ(std::get<1>(object->Calls().back()), "$realtime");  // the name as asked
}

TEST_F(DataStoreNotify, RevokingAnotherObjectKeepsTheRunningOne) {
    ASSERT_TRUE(store.AddLink(TimeTagItem, OVCalcAppID));
    RecordingObject stranger;
    store.RevokeAutomationObject(&stranger);
    EXPECT_TRUE(store.Notify(TimeTagItem));

    auto successor = std::make_shared<RecordingObject>();
    store.RegisterAutomationObject(successor);
    store.RevokeAutomationObject(object.get());  // late revoke of the replaced object
    EXPECT_TRUE(store.Notify(TimeTagItem));
    EXPECT_EQ(object->Calls().size(), 1u);
    EXPECT_EQ(successor->Calls().size(), 1u);

    store.RevokeAutomationObject();
    EXPECT_FALSE(store.Notify(TimeTagItem));
}

TEST_F(DataStoreNotify, TheObjectIsCalledWithoutTheStoreLockAndOutlivesItsRevocation) {
    // An object that uses the store and revokes itself while it is being called: the call
    // must neither block the store nor lose its object.
    class SelfRevoking : public IAutomationObject {
      public:
        explicit SelfRevoking(TOVCalcDataDatabase& store) : store_(store) {}
        bool SetItemChange(const std::string&, const std::string&, const std::string&) override {
            store_.RevokeAutomationObject(this);
            probe_ = std::make_unique<StoreProbe>(store_);  // joined when the object goes
            StoreUsable = probe_->FinishedWithin(std::chrono::seconds(10));
            return true;
        }
        bool StoreUsable = false;

      private:
        TOVCalcDataDatabase& store_;
        std::unique_ptr<StoreProbe> probe_;
    };
    auto self = std::make_shared<SelfRevoking>(store);
    std::weak_ptr<SelfRevoking> watch = self;
    store.RegisterAutomationObject(self);
    ASSERT_TRUE(store.AddLink(TimeTagItem, OVCalcAppID));
    ASSERT_TRUE(store.Notify(TimeTagItem));
    EXPECT_TRUE(self->StoreUsable);
    self.reset();
    EXPECT_TRUE(watch.expired());             // the store let go of it once the call was over
    EXPECT_FALSE(store.Notify(TimeTagItem));  // revoked
}

// ---- eviction ----

// A window that answers the box from a script and records what it was asked.
class ScriptedHost : public IDataStoreHost {
  public:
    ScriptedHost(const TOVDataBase& store, std::vector<TMessageBoxAnswer> answers)
        : store_(store), answers_(std::move(answers)) {}
    TMessageBoxAnswer ShowMessageBox(const std::string& text, const std::string& caption) override {
        Texts.push_back(text + "|" + caption);
        // Kept until the host goes, so that a probe blocked by a held lock ends after it.
        probes_.push_back(std::make_unique<StoreProbe>(store_));
        if (!probes_.back()->FinishedWithin(std::chrono::seconds(10))) ++AskedUnderLock;
        return Texts.size() <= answers_.size() ? answers_[Texts.size() - 1] : mrIgnore;
    }
    void PostCloseRequest() override { Closes.push_back(Texts.size()); }

    std::vector<std::string> Texts;
    std::vector<std::size_t> Closes;  // the number of boxes shown at each close request
    int AskedUnderLock = 0;

  private:
    const TOVDataBase& store_;
    std::vector<TMessageBoxAnswer> answers_;
    std::vector<std::unique_ptr<StoreProbe>> probes_;
};

TEST(DataStoreEviction, AFullStoreDropsUnchangedItemsOnlyUntilThereIsRoom) {
    constexpr std::int32_t maxCount = 300;
    TOVDataBase store(512, 512, maxCount);
    store.SetAutoCreate(true, "");
    ScriptedHost host(store, {});
    store.SetHost(&host);
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(store.SetValue(Name("KEEP", i), "v"));
    for (int i = 0; i < maxCount - 50; ++i) ASSERT_TRUE(store.AddItem(Name("DROP", i)));
    ASSERT_EQ(store.Count(), maxCount);
    EXPECT_TRUE(store.AddItem("BEYOND"));         // AddItem makes no room
    EXPECT_TRUE(store.ItemExists("KEEP000000"));  // nor does a query
    EXPECT_EQ(store.Count(), maxCount + 1);

    ASSERT_TRUE(store.SetValue("NEW", "n"));
    EXPECT_EQ(store.Count(), maxCount - 128);  // room for 128 more, then NEW
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(store.ItemExists(Name("KEEP", i))) << i;
    EXPECT_TRUE(store.ItemExists("NEW"));
    EXPECT_TRUE(host.Texts.empty());
}

TEST(DataStoreEviction, ItemsBeyondTheFirst65536AreReached) {
    // The first 65,536 positions hold changed items; only the ones after them can go.
    constexpr std::int32_t maxCount = 70000;
    TOVDataBase store(512, 4096, maxCount);
    store.SetAutoCreate(true, "");
    ScriptedHost host(store, {});
    store.SetHost(&host);
    for (int i = 0; i < 65536; ++i) ASSERT_TRUE(store.SetValue(Name("A", i), "v"));
    for (int i = 65536; i < maxCount; ++i) ASSERT_TRUE(store.AddItem(Name("B", i)));
    ASSERT_EQ(store.Count(), maxCount);

    ASSERT_TRUE(store.SetValue("C", "c"));
    EXPECT_TRUE(host.Texts.empty());
    EXPECT_EQ(store.Count(), maxCount - 128);
    int kept = 0;
    for (int i = 0; i < 65536; ++i) kept += store.ItemExists(Name("A", i));
    EXPECT_EQ(kept, 65536);
}

TEST(DataStoreEviction, WhenOnlyChangedItemsAreLeftTheUserIsAskedWithoutTheLock) {
    struct Case {
        std::vector<TMessageBoxAnswer> answers;
        std::size_t boxes;
        std::vector<std::size_t> closes;
    };
    const Case cases[] = {
        {{mrIgnore}, 1, {}},
        {{mrRetry, mrIgnore}, 2, {}},
        {{mrAbort, mrRetry, mrIgnore}, 3, {1}},
    };
    for (const Case& c : cases) {
        constexpr std::int32_t maxCount = 200;
        TOVDataBase store(512, 512, maxCount);
        store.SetAutoCreate(true, "");
        for (int i = 0; i < maxCount; ++i) ASSERT_TRUE(store.SetValue(Name("K", i), "v"));
        ScriptedHost host(store, c.answers);
        store.SetHost(&host);

        std::string value = "untouched";
        ASSERT_TRUE(store.GetValue("NEW", value));  // Ignore: inserted anyway
        EXPECT_EQ(value, "");
        EXPECT_EQ(store.Count(), maxCount + 1);
        ASSERT_EQ(host.Texts.size(), c.boxes);
        EXPECT_EQ(host.Texts[0], "Application running out of database memory.|Memory Problem");
        EXPECT_EQ(host.Closes, c.closes);
        EXPECT_EQ(host.AskedUnderLock, 0);
    }
}

TEST(DataStoreEviction, WithoutAHostTheStoreGoesOnAsIfIgnored) {
    TOVDataBase store(512, 512, 150);
    store.SetAutoCreate(true, "");
    for (int i = 0; i < 150; ++i) ASSERT_TRUE(store.AddLink(Name("K", i), OVCalcAppID));
    for (int i = 0; i < 150; ++i) ASSERT_TRUE(store.SetValue(Name("K", i), "v"));
    EXPECT_TRUE(store.AddLink("NEW", OVCalcAppID));
    EXPECT_EQ(store.Count(), 151);
}

// ---- links of bus clients ----

// A client's links: bounded per client and in all (a refused link creates nothing), a repeated
// request kept once, and gone with the client, the items made for them alone with them.
TEST(DataStoreClientLinks, BoundedAndDroppedWithTheClient) {
    TOVDataBase store;
    StartUp(store);
    store.SetLinkLimits({.PerClient = 3, .InAll = 5});
    const std::string id = "{APP}";
    const struct {
        const char* Client;
        const char* Item;
        TLinkResult Result;
    } cases[] = {
        {":1.1", "$TIMETAG", lrLinked}, {":1.1", "A", lrLinked},
        {":1.1", "a", lrLinked},  // the same item and AppID again: kept once, counted once
        {":1.1", "B", lrLinked},        {":1.1", "C", lrClientLimit},
        {":1.2", "C", lrLinked},        {":1.2", "D", lrLinked},
        {":1.3", "E", lrStoreLimit},    {":1.3", "$REALTIME", lrStoreLimit},
    };
    for (const auto& c : cases)
        EXPECT_EQ(store.AddClientLink(c.Item, id, c.Client), c.Result) << c.Client << " " << c.Item;
    EXPECT_FALSE(store.ItemExists("E"));
    EXPECT_EQ(store.Count(), 2 + 4);
    std::vector<std::string> links;
    ASSERT_TRUE(store.GetLinks("A", links));
    EXPECT_EQ(links, std::vector<std::string>{id});
    // The program's own links are not a client's: not bounded, and they stay.
    EXPECT_TRUE(store.AddLink("B", "{OWN}"));

    EXPECT_EQ(store.DropClientLinks(":1.1"), 3);
    EXPECT_FALSE(store.ItemExists("A"));  // made for that client's link alone
    ASSERT_TRUE(store.GetLinks("B", links));
    EXPECT_EQ(links, std::vector<std::string>{"{OWN}"});
    EXPECT_TRUE(store.ItemExists(TimeTagItem));  // a well-known item stays, unlinked
    EXPECT_FALSE(store.GetLinks(TimeTagItem, links));
    EXPECT_EQ(store.DropClientLinks(":1.1"), 0);
    EXPECT_EQ(store.Count(), 2 + 3);

    // The room is free again; an item whose value changed stays when its last link goes.
    EXPECT_EQ(store.AddClientLink("E", id, ":1.3"), lrLinked);
    EXPECT_EQ(store.AddClientLink("F", id, ":1.4"), lrLinked);
    ASSERT_TRUE(store.SetValue("F", "v"));
    EXPECT_EQ(store.AddClientLink("G", id, ":1.4"), lrLinked);
    EXPECT_EQ(store.AddClientLink("H", id, ":1.5"), lrStoreLimit);
    EXPECT_EQ(store.DropClientLinks(":1.4"), 2);
    EXPECT_FALSE(store.ItemExists("G"));
    EXPECT_TRUE(store.ItemExists("F"));
    EXPECT_FALSE(store.GetLinks("F", links));
}

// ---- concurrency ----

TEST(DataStoreThreads, WritersNotifiersAndRegistrationsRunTogether) {
    TOVCalcDataDatabase store;
    StartUp(store);
    auto object = std::make_shared<RecordingObject>();
    ASSERT_TRUE(store.AddLink(TimeTagItem, OVCalcAppID));
    constexpr int rounds = 2000;

    std::atomic<bool> stop{false};
    std::thread registrar([&] {
        while (!stop) {
            store.RegisterAutomationObject(object);
            store.RevokeAutomationObject(object.get());
        }
        store.RegisterAutomationObject(object);
    });
    auto writer = [&](const char* item, const char* prefix) {
        for (int i = 0; i < rounds; ++i) {
            PublishResult(store, item, Name(prefix, i));
            store.AddLink(Name(prefix, i % 50), OVCalcAppID);
            std::string value;
            store.GetValue(Name(prefix, i % 50), value);
        }
    };
    std::thread calc(writer, "$TIMETAG", "calc");
    std::thread client(writer, "$timetag", "client");
    calc.join();
    client.join();
    stop = true;
    registrar.join();

    std::string last;
    ASSERT_TRUE(store.GetValue(TimeTagItem, last));
    EXPECT_TRUE(last == Name("calc", rounds - 1) || last == Name("client", rounds - 1)) << last;
    EXPECT_EQ(store.Count(), 2 + 50 + 50);
    std::vector<std::string> links;
    ASSERT_TRUE(store.GetLinks("calc000000", links));
    EXPECT_EQ(links.size(), std::size_t(rounds / 50));
    for (const Call& call : object->Calls()) {
        EXPECT_EQ(std::get<0>(call), OVCalcAppID);
        EXPECT_TRUE(SameText(std::get<1>(call), TimeTagItem)) << std::get<1>(call);
    }
    ASSERT_TRUE(store.Notify(TimeTagItem));  // registered again at the end
}

}  // namespace
}  // namespace ov
