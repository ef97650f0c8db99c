// ovbridge's bridge between OV Calc on the session bus and the MQTT broker.
#include "Bridge.h"

#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>
#include <ctime>
#include <iterator>
#include <utility>
#include <variant>

#include "ResultMessages.h"
#include "ZoneTime.h"
#include "model/ConfigFile.h"
#include "model/StationShard.h"
#include "suite/DataStore.h"
#include "suite/SetupParams.h"
#include "util/Exception.h"
#include "util/Format.h"
#include "util/TextCodec.h"
#include "util/TextCompare.h"

namespace ovbridge {
namespace {

// Station records sent in one go before the loop serves the bus and the broker again, and
// between two flushes of the bus's write queue.
constexpr int SendBatch = 256;
constexpr std::uint64_t FlushEvery = 1024;
// How long the end waits for the broker to take what is queued, and then for "offline".
constexpr std::uint64_t StopLimitUsec = 5000000;
// Distinct keys told once each before the rest are only counted.
constexpr std::size_t MaxSaid = 1000;

std::string String(std::string_view text) {
    return std::string(text);
}

}  // namespace

TBridge::TBridge(TBridgeOptions options) : options_(std::move(options)) {}

TBridge::~TBridge() {
    // The bus objects and the connection's sources go before the loop and the bus.
    source_.reset();
    mqtt_.reset();
    finish_.reset();
    stopLimit_.reset();
    pumpIn_.reset();
    linkAgain_.reset();
    for (auto& stop : stops_) stop.reset();
    nullCall_.reset();
    for (auto& call : linkCalls_) call.reset();
    statusObject_.reset();
    busGone_.reset();
    for (auto& slot : setupEvents_) slot.reset();
    setupOwner_.reset();
    calcOwner_.reset();
    calcShutdown_.reset();
    calcChanges_.reset();
    if (bus_) sd_bus_detach_event(bus_.get());
    bus_.reset();
    event_.reset();
}

void TBridge::Say(const std::string& text) {
    std::fprintf(stderr, "ovbridge: %s\n", text.c_str());
    std::fflush(stderr);
}

void TBridge::SayOnce(std::set<std::string>& said, const std::string& key,
                      const std::string& text) {
    if (said.count(key) > 0) return;
    if (said.size() >= MaxSaid) {
        if (said.insert("").second) Say("(more of these are counted without a word)");
        return;
    }
    said.insert(key);
    Say(text);
}

int TBridge::Run() {
    std::string why;
    if (!Start(why)) {
        Say(why);
        return 1;
    }
    const int r = sd_event_loop(event_.get());
    if (r < 0) {
        Say("the event loop failed: " + ov::SdErrorText(r));
        return 1;
    }
    return r;
}

bool TBridge::Start(std::string& why) {
    const TBridgeSettings& s = options_.Settings;
    if (!SelectTimeZone(s.TimeZone, why)) return false;
    prefix_ = s.Prefix;
    inTopic_ = s.InTopic.empty() ? prefix_ + "/in/#" : s.InTopic;
    statusTopic_ = prefix_ + "/status/" + TopicLevel(options_.Engine);
    started_ = IsoLocalText(ov::NowTimeTag());
    if (options_.Shards > 1)
        shardText_ = std::to_string(options_.Shard) + "/" + std::to_string(options_.Shards);
    input_.Formats = &ov::DefaultTimeFormats();
    if (options_.Source != nullptr) input_.DefaultItem = String(options_.Source->Items[0]);

    sd_event* event = nullptr;
    int r = sd_event_new(&event);
    if (r < 0) {
        why = "cannot make an event loop: " + ov::SdErrorText(r);
        return false;
    }
    event_.reset(event);
    // SIGINT, SIGTERM and SIGHUP (a closed terminal) end the bridge in order; a write to a
    // connection the broker closed is an error of that write, not the end of the program.
    ::signal(SIGPIPE, SIG_IGN);
    static constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : stopSignals) sigaddset(&stops, signal);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    sd_event_source* source = nullptr;
    for (std::size_t i = 0; i < std::size(stopSignals) && r >= 0; ++i) {
        r = sd_event_add_signal(event, &source, stopSignals[i], &TBridge::OnSignal, this);
        if (r >= 0) stops_[i].reset(source);
    }
    if (r < 0) {
        why = "cannot watch the stop signals: " + ov::SdErrorText(r);
        return false;
    }

    sd_bus* bus = nullptr;
    r = sd_bus_open_user(&bus);
    if (r < 0) {
        why = "cannot reach the session bus: " + ov::SdErrorText(r);
        return false;
    }
    bus_.reset(bus);
    r = sd_bus_attach_event(bus, event, SD_EVENT_PRIORITY_NORMAL);
    if (r < 0) {
        why = "cannot serve the session bus: " + ov::SdErrorText(r);
        return false;
    }
    // One bridge per bus, settled first: a second one must not take the first one's session on
    // the broker.
    if (!ExportStatus(why)) return false;
    sd_bus_slot* slot = nullptr;
    // The bus closing ends the bridge: told as a signal of the connection itself.
    r = sd_bus_match_signal(bus, &slot, nullptr, "/org/freedesktop/DBus/Local",
                            "org.freedesktop.DBus.Local", "Disconnected", &TBridge::OnBusGone,
                            this);
    if (r >= 0) busGone_.reset(slot);
    const std::string calcName(ov::CalcBusName), calcPath(ov::CalcObjectPath),
        calcEvents(ov::CalcEventsInterface);
    if (r >= 0) {
        r = sd_bus_match_signal(bus, &slot, calcName.c_str(), calcPath.c_str(), calcEvents.c_str(),
                                ov::ItemChangeSignal.data(), &TBridge::OnCalcItemChange, this);
    }
    if (r >= 0) {
        calcChanges_.reset(slot);
        r = sd_bus_match_signal(bus, &slot, calcName.c_str(), calcPath.c_str(), calcEvents.c_str(),
                                ov::AppShutdownSignal.data(), &TBridge::OnCalcShutdown, this);
    }
    if (r >= 0) {
        calcShutdown_.reset(slot);
        r = sd_bus_add_match(bus, &slot,
                             ov::NameOwnerChangedRule("arg0='" + calcName + "'").c_str(),
                             &TBridge::OnCalcOwner, this);
        if (r >= 0) calcOwner_.reset(slot);
    }
    // A setup server that starts (OV Calc starts one), or a changed setup, may change the null
    // value; the server owns its name only once its settings are loaded.
    const std::string setupName(ov::SetupBusName), setupPath(ov::SetupObjectPath),
        setupEvents(ov::SetupEventsInterface);
    if (r >= 0) {
        r = sd_bus_add_match(bus, &slot,
                             ov::NameOwnerChangedRule("arg0='" + setupName + "'").c_str(),
                             &TBridge::OnSetupOwner, this);
        if (r >= 0) setupOwner_.reset(slot);
    }
    for (int i = 0; i < 2 && r >= 0; ++i) {
        const std::string signal(
            ov::SetupEventName(i == 0 ? ov::seSetupChanged : ov::seRefreshRequest));
        r = sd_bus_match_signal(bus, &slot, setupName.c_str(), setupPath.c_str(),
                                setupEvents.c_str(), signal.c_str(), &TBridge::OnSetupEvent, this);
        if (r >= 0) setupEvents_[i].reset(slot);
    }
    if (r < 0) {
        why = "cannot follow OV Calc on the session bus: " + ov::SdErrorText(r);
        return false;
    }

    // OV Calc's items are linked before anything waits: its results queue for the bridge on
    // the bus from then on, also while the first connection to the broker is made.
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    r = sd_bus_call_method(bus, ov::SdBusDaemon, ov::SdBusDaemonPath, ov::SdBusDaemon,
                           "NameHasOwner", &error, &reply, "s", calcName.c_str());
    sd_bus_error_free(&error);
    const ov::TSdMessage answer(reply);
    int has = 0;
    if (r < 0 || sd_bus_message_read(reply, "b", &has) < 0) {
        why = "cannot ask the session bus for OV Calc: " + ov::SdErrorText(r);
        return false;
    }
    AskNullValue(true);
    if (has != 0) {
        calcRunning_ = true;
        LoadGroups();
        if (!LinkCalc(why)) return false;
    } else {
        LoadGroups();
        Say("OV Calc is not running: its results are taken once it starts");
    }

    TMqttOptions mqtt;
    mqtt.Settings = s;
    mqtt.ClientId = options_.ClientId;
    mqtt.Password = options_.Password;
    mqtt.PasswordGiven = options_.PasswordGiven;
    mqtt.WillTopic = statusTopic_;
    mqtt.WillPayload = StatusJson(false, options_.Engine, "", "", shardText_);
    mqtt_ = std::make_unique<TMqttLink>(event, *this, std::move(mqtt));
    if (!mqtt_->Start(why)) return false;

    r = sd_event_add_defer(event, &source, &TBridge::OnPumpIn, this);
    if (r >= 0) {
        pumpIn_.reset(source);
        r = sd_event_source_set_enabled(source, SD_EVENT_OFF);
    }
    if (r < 0) {
        why = "cannot start: " + ov::SdErrorText(r);
        return false;
    }
    if (options_.Source != nullptr) {
        source_ =
            std::make_unique<TSourceObject>(bus, event, *options_.Source, [this] { PumpInSoon(); });
        if (!source_->Export(why) || !source_->Own(why)) return false;
    }
    return true;
}

// --- OV Calc ---

bool TBridge::LinkCalc(std::string& why) {
    calcLinked_ = false;
    linkAnswers_ = 0;
    const std::string name(ov::CalcBusName), path(ov::CalcObjectPath), interface(ov::CalcInterface);
    const std::string items[2] = {String(ov::TimeTagItem), String(ov::RealTimeItem)};
    for (int i = 0; i < 2; ++i) {
        sd_bus_slot* slot = nullptr;
        const int r = sd_bus_call_method_async(
            bus_.get(), &slot, name.c_str(), path.c_str(), interface.c_str(), "SetItemLink",
            &TBridge::OnLinkAnswer, this, "ss", BridgeAppID, items[i].c_str());
        if (r < 0) {
            why = "cannot link OV Calc's items: " + ov::SdErrorText(r);
            return false;
        }
        linkCalls_[i].reset(slot);
    }
    return true;
}

int TBridge::OnLinkAnswer(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* bridge = static_cast<TBridge*>(self);
    if (sd_bus_message_is_method_error(m, nullptr)) {
        const sd_bus_error* e = sd_bus_message_get_error(m);
        Say(std::string("OV Calc did not link its results: ") +
            (e != nullptr && e->message != nullptr ? e->message : "no answer") + "; asking again");
        for (auto& call : bridge->linkCalls_) call.reset();
        bridge->LinkCalcLater();
        return 0;
    }
    if (++bridge->linkAnswers_ == 2) {
        bridge->calcLinked_ = true;
        for (auto& call : bridge->linkCalls_) call.reset();
        Say("following OV Calc's results ($TIMETAG, $REALTIME)");
    }
    return 0;
}

void TBridge::LinkCalcLater() {
    int r;
    if (!linkAgain_) {
        sd_event_source* source = nullptr;
        r = sd_event_add_time_relative(event_.get(), &source, CLOCK_MONOTONIC, 1000000, 100000,
                                       &TBridge::OnLinkAgain, this);
        if (r >= 0) linkAgain_.reset(source);
    } else {
        r = sd_event_source_set_time_relative(linkAgain_.get(), 1000000);
        if (r >= 0) r = sd_event_source_set_enabled(linkAgain_.get(), SD_EVENT_ONESHOT);
    }
    if (r < 0) Say("cannot set a timer: " + ov::SdErrorText(r));
}

int TBridge::OnLinkAgain(sd_event_source*, std::uint64_t, void* self) {
    auto* bridge = static_cast<TBridge*>(self);
    std::string why;
    if (bridge->calcRunning_ && !bridge->calcLinked_ && !bridge->LinkCalc(why)) Say(why);
    return 0;
}

int TBridge::OnCalcOwner(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* bridge = static_cast<TBridge*>(self);
    const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &oldOwner, &newOwner) < 0) return 0;
    if (*newOwner != '\0') {
        // A new OV Calc knows no links: the bridge links again, and reads the groups and the
        // null value it may have been started with.
        bridge->calcRunning_ = true;
        bridge->LoadGroups();
        bridge->AskNullValue(false);
        std::string why;
        if (!bridge->LinkCalc(why)) Say(why);
    } else {
        bridge->calcRunning_ = false;
        bridge->calcLinked_ = false;
        for (auto& call : bridge->linkCalls_) call.reset();
        Say("OV Calc has ended: its results are taken again once it starts");
    }
    return 0;
}

int TBridge::OnCalcShutdown(sd_bus_message*, void*, sd_bus_error*) {
    Say("OV Calc announced its shutdown");
    return 0;
}

int TBridge::OnCalcItemChange(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* bridge = static_cast<TBridge*>(self);
    const char *appId = nullptr, *item = nullptr, *data = nullptr;
    if (sd_bus_message_read(m, "sss", &appId, &item, &data) < 0) return 0;
    // OV Calc's own announcements of the two items: the results (and what clients store in
    // them); other clients' SetItemChange calls carry their own AppID.
    if (appId != ov::CalcAppID) return 0;
    if (!ov::SameText(item, ov::TimeTagItem) && !ov::SameText(item, ov::RealTimeItem)) return 0;
    bridge->TakeResult(item, data);
    return 0;
}

int TBridge::OnSetupOwner(sd_bus_message* m, void* self, sd_bus_error*) {
    const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &oldOwner, &newOwner) >= 0 && *newOwner != '\0')
        static_cast<TBridge*>(self)->AskNullValue(false);
    return 0;
}

int TBridge::OnSetupEvent(sd_bus_message*, void* self, sd_bus_error*) {
    static_cast<TBridge*>(self)->AskNullValue(false);
    return 0;
}

void TBridge::LoadGroups() {
    groupOf_.clear();
    const std::filesystem::path& file = options_.Settings.Groups;
    if (file.empty()) return;
    std::string firstError;
    ov::TConfigFile config([&firstError](const std::string& line) {
        if (firstError.empty() && line.rfind("Error", 0) == 0) firstError = line;
    });
    ov::TConfigSettings settings;
    ov::TCalcGroups groups;
    try {
        config.OpenConfigFile(file);
        config.ReadConfig(settings, groups);
    } catch (const ov::Exception& e) {
        Say("cannot read the groups of " + file.string() + " (" + e.what() +
            "): results go out without their group");
        return;
    }
    if (!firstError.empty()) Say(file.string() + ": " + firstError);
    for (std::int32_t i = 0; i < groups.Count(); ++i) {
        const ov::TCalcGroupItem& g = *groups.Items(i);
        if (!g.Enabled) continue;
        // A group applied to a similar station writes to that station; two groups computing
        // one sensor: its results name no group.
        std::vector<std::string> stations{g.OutputStation};
        if (!g.MultiStations) {
            stations.insert(stations.end(), g.SimilarStations.begin(), g.SimilarStations.end());
        }
        for (const std::string& station : stations) {
            const std::string key = ov::UpperCaseAscii(station + "." + g.OutputSensor);
            auto [it, added] = groupOf_.emplace(key, g.CGIndex);
            if (!added && it->second != g.CGIndex) it->second = -1;
        }
    }
}

bool TBridge::AskNullValue(bool wait) {
    const std::string name(ov::SetupBusName), path(ov::SetupObjectPath),
        interface(ov::SetupInterface);
    sd_bus_message* made = nullptr;
    int r = sd_bus_message_new_method_call(bus_.get(), &made, name.c_str(), path.c_str(),
                                           interface.c_str(), "GetGeneralSetup");
    const ov::TSdMessage call(made);
    if (r >= 0) r = sd_bus_message_set_auto_start(made, 0);
    if (r < 0) return false;
    const auto timeout = static_cast<std::uint64_t>(ov::SetupCallTimeout.count()) * 1000u;
    if (wait) {
        std::string why;
        const ov::TSdMessage reply = ov::SdCall(bus_.get(), made, timeout, why);
        if (!reply) {
            Say("the setup server did not give its settings (" + why +
                "): the null value is not known until it does");
            return false;
        }
        TakeNullAnswer(reply.get());
        return true;
    }
    sd_bus_slot* slot = nullptr;
    r = sd_bus_call_async(bus_.get(), &slot, made, &TBridge::OnNullAnswer, this, timeout);
    if (r < 0) return false;
    nullCall_.reset(slot);
    return true;
}

int TBridge::OnNullAnswer(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* bridge = static_cast<TBridge*>(self);
    if (!sd_bus_message_is_method_error(m, nullptr)) bridge->TakeNullAnswer(m);
    bridge->nullCall_.reset();
    return 0;
}

void TBridge::TakeNullAnswer(sd_bus_message* reply) {
    std::vector<ov::TSdBasicValue> basic;
    if (!ov::SdReadVariantArray(reply, "sbynqiuxtd", basic)) return;
    std::vector<ov::TSetupValue> values;
    for (auto& element : basic) {
        std::visit(
            [&values](auto& v) {
                values.emplace_back(std::in_place_type<std::decay_t<decltype(v)>>, std::move(v));
            },
            element);
    }
    ov::TGeneralSetup setup;
    if (!ov::DecodeGeneralSetup(values, setup)) return;
    if (setup.UseNullValue) {
        nullValue_ = setup.NullValue;
    } else {
        nullValue_.reset();
    }
}

// --- Results out ---

void TBridge::TakeResult(std::string_view item, std::string_view data) {
    if (stopping_) return;
    ++counts_.ResultsIn;
    std::string record;
    ov::Utf8ToLatin1(data, record, ov::TUtf8Policy::upReplace);
    TOutRecord out;
    TResultRecord result;
    if (ReadResultRecord(record, ov::DefaultTimeFormats(), result)) {
        TResultMessage message;
        message.Id = uuids_.Next();
        message.Time = IsoLocalText(result.Tag);
        message.Station = ov::Latin1ToUtf8(result.Station);
        message.Sensor = ov::Latin1ToUtf8(result.Sensor);
        if (result.Value && !(nullValue_ && *result.Value == *nullValue_))
            message.Value = result.Value;
        const auto group = groupOf_.find(ov::UpperCaseAscii(result.Station + "." + result.Sensor));
        if (group != groupOf_.end() && group->second >= 0) message.Group = group->second;
        std::string json = ResultJson(message);
        const std::string levels = TopicLevel(message.Station) + "/" + TopicLevel(message.Sensor);
        const TWis2Settings& wis2 = options_.Settings.Wis2;
        if (wis2.Enabled) {
            const auto place = wis2.Stations.find(ov::UpperCaseAscii(result.Station));
            if (place == wis2.Stations.end()) {
                SayOnce(placeSaid_, ov::UpperCaseAscii(result.Station),
                        "no place for station " + message.Station +
                            " in [WIS2 Stations]: its results go out without WIS2 "
                            "notifications");
            } else {
                std::time_t instant;
                long offset;
                LocalInstant(result.Tag, instant, offset);
                const std::string topic = Wis2Topic(wis2, message.Station, message.Sensor);
                out.push_back(
                    {topic,
                     Wis2Message(wis2, place->second, uuids_.Next(), topic, std::time(nullptr),
                                 instant, message.Station, message.Sensor, json),
                     false});
            }
        }
        out.push_back({prefix_ + "/out/" + levels, json, false});
        out.push_back({prefix_ + "/last/" + levels, std::move(json), true});
    } else {
        ++counts_.Unreadable;
        SayOnce(unreadableSaid_, "",
                "a change of " + std::string(item) + " is no result record (\"" +
                    std::string(data.substr(0, 80)) + "\"): it goes out on " + prefix_ +
                    "/records only");
    }
    out.push_back({prefix_ + "/records", std::string(data), false});
    Queue(std::move(out));
}

void TBridge::Queue(TOutRecord record) {
    pending_.push_back(std::move(record));
    if (static_cast<std::int64_t>(pending_.size()) > options_.Settings.QueueSize) {
        pending_.pop_front();
        ++counts_.Dropped;
        if (!droppedSaid_) {
            droppedSaid_ = true;
            Say("the queue of results is full (QueueSize " +
                std::to_string(options_.Settings.QueueSize) +
                "): the oldest are dropped and counted (ovbridge --status)");
        }
    }
    PumpOut();
}

void TBridge::PumpOut() {
    while (!pending_.empty() && mqtt_ && mqtt_->Connected() && mqtt_->InFlight() < MaxInFlight) {
        TOutRecord& record = pending_.front();
        std::size_t handed = 0;
        for (; handed < record.size(); ++handed) {
            const TOutMessage& message = record[handed];
            int mid = 0;
            std::string why;
            const auto result =
                mqtt_->Publish(message.Topic, message.Payload, message.Retain, mid, why);
            if (result == TMqttLink::pbNotNow) break;
            if (result == TMqttLink::pbRefused) {
                ++counts_.Refused;
                SayOnce(refusedSaid_, message.Topic,
                        "cannot send on " + message.Topic + ": " + why + " (dropped)");
            }
        }
        if (handed < record.size()) {
            record.erase(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(handed));
            return;
        }
        pending_.pop_front();
    }
}

// --- Station records in ---

void TBridge::TakeStation(std::string_view topic, std::string_view payload) {
    bool ours = false;
    if (mosquitto_topic_matches_sub(inTopic_.c_str(), std::string(topic).c_str(), &ours) !=
            MOSQ_ERR_SUCCESS ||
        !ours)
        return;  // a subscription of an earlier run that the session kept
    ++counts_.MessagesIn;
    input_.NullValue = nullValue_;
    TStationMessage message;
    std::string why;
    if (!ReadStationMessage(payload, input_, message, why)) {
        ++counts_.Malformed;
        SayOnce(malformedSaid_, std::string(topic),
                "malformed message on " + std::string(topic) + " dropped: " + why +
                    " (further ones on this topic are counted without a word)");
        return;
    }
    if (options_.Shards > 1 &&
        ov::StationShard(message.Station, options_.Shards) != options_.Shard) {
        ++counts_.OtherShard;
        return;
    }
    held_.push_back({message.Item, ov::Latin1ToUtf8(message.Data)});
    if (static_cast<std::int64_t>(held_.size()) > options_.Settings.HoldSize) {
        held_.pop_front();
        ++counts_.InDropped;
        if (!inDroppedSaid_) {
            inDroppedSaid_ = true;
            Say("too many station records wait for OV Calc (HoldSize " +
                std::to_string(options_.Settings.HoldSize) +
                "): the oldest are dropped and counted (ovbridge --status)");
        }
    }
    PumpIn();
}

void TBridge::PumpIn() {
    if (!source_ || held_.empty()) return;
    if (!source_->MayGo()) return;  // the source's ready call pumps again
    for (int sent = 0; !held_.empty(); ++sent) {
        if (sent == SendBatch) {
            PumpInSoon();
            return;
        }
        std::string why;
        if (!source_->Emit(held_.front().Item, held_.front().Data, why)) {
            Say(why);
            PumpInSoon();
            return;
        }
        held_.pop_front();
        if (++counts_.Announced % FlushEvery == 0) sd_bus_flush(bus_.get());
    }
}

void TBridge::PumpInSoon() {
    if (pumpIn_) sd_event_source_set_enabled(pumpIn_.get(), SD_EVENT_ONESHOT);
}

int TBridge::OnPumpIn(sd_event_source*, void* self) {
    static_cast<TBridge*>(self)->PumpIn();
    return 0;
}

// --- The broker ---

void TBridge::MqttConnected(bool sessionPresent) {
    Say((wasConnected_ ? "connected again to " : "connected to ") + mqtt_->BrokerName() + " (" +
        mqtt_->ProtocolName() + (sessionPresent ? ", session kept" : "") + ")");
    wasConnected_ = true;
    lostSaid_.clear();
    if (stopping_) {
        CheckStopped();
        return;
    }
    // Subscribed before "online": the broker takes the packets in order, so a record published
    // after "online" was seen reaches the bridge.
    int mid = 0;
    std::string why;
    if (options_.Source != nullptr && !mqtt_->Subscribe(inTopic_, why)) Say(why);
    if (mqtt_->Publish(statusTopic_,
                       StatusJson(true, options_.Engine, options_.Version, started_, shardText_,
                                  counts_.Dropped),
                       true, mid, why) == TMqttLink::pbRefused) {
        Say("cannot send the status on " + statusTopic_ + ": " + why);
    } else {
        statusMid_ = mid;
    }
    PumpOut();
}

void TBridge::MqttLost(const std::string& why) {
    if (stopping_) {
        Finish();
        return;
    }
    // Each reason once per outage: a broker that stays away is not told every few seconds.
    if (why != lostSaid_) {
        lostSaid_ = why;
        Say(why + "; trying again (results wait in the queue)");
    }
}

void TBridge::MqttAcknowledged(int mid, bool refused, const std::string& reason) {
    if (stopping_ && mid == offlineMid_) {
        Finish();
        return;
    }
    if (mid == statusMid_) {
        statusMid_ = -1;
    } else if (refused) {
        ++counts_.Refused;
        SayOnce(refusedSaid_, reason, "the broker refused a message: " + reason);
    } else {
        ++counts_.MessagesOut;
    }
    PumpOut();
    if (stopping_) CheckStopped();
}

void TBridge::MqttMessage(std::string_view topic, std::string_view payload) {
    // Also while the bridge ends: the client has acknowledged the message to the broker.
    TakeStation(topic, payload);
}

void TBridge::MqttNote(const std::string& text) {
    Say(text);
}

// --- The end ---

int TBridge::OnSignal(sd_event_source*, const struct signalfd_siginfo*, void* self) {
    static_cast<TBridge*>(self)->BeginStop(0, "");
    return 0;
}

int TBridge::OnBusGone(sd_bus_message*, void* self, sd_bus_error*) {
    static_cast<TBridge*>(self)->BeginStop(1, "the session bus has gone away");
    return 0;
}

int TBridge::OnStopLimit(sd_event_source*, std::uint64_t, void* self) {
    static_cast<TBridge*>(self)->Finish();
    return 0;
}

void TBridge::BeginStop(int status, const std::string& why) {
    if (stopping_) return;
    stopping_ = true;
    stopStatus_ = status;
    if (!why.empty()) Say(why);
    sd_event_source* source = nullptr;
    if (sd_event_add_time_relative(event_.get(), &source, CLOCK_MONOTONIC, StopLimitUsec, 100000,
                                   &TBridge::OnStopLimit, this) >= 0) {
        stopLimit_.reset(source);
    }
    CheckStopped();
}

void TBridge::CheckStopped() {
    if (!stopping_ || offlineMid_ >= 0) return;
    if (!mqtt_ || !mqtt_->Connected()) {
        Finish();
        return;
    }
    PumpOut();
    if (!pending_.empty() || mqtt_->InFlight() > 0) return;  // acknowledgements call again
    // The clean end sends no last will: "offline" is said here.
    int mid = 0;
    std::string why;
    if (mqtt_->Publish(statusTopic_, StatusJson(false, options_.Engine, "", "", shardText_), true,
                       mid, why) != TMqttLink::pbHanded) {
        Finish();
        return;
    }
    offlineMid_ = mid;
}

void TBridge::Finish() {
    // Often called from within the client library's callbacks, which must have returned
    // before the connection ends: the end comes from the loop.
    if (finish_ || !event_) return;
    sd_event_source* source = nullptr;
    const int r = sd_event_add_defer(event_.get(), &source, &TBridge::OnFinish, this);
    if (r < 0) {
        Say("cannot end in order: " + ov::SdErrorText(r));
        sd_event_exit(event_.get(), stopStatus_);
        return;
    }
    finish_.reset(source);
}

int TBridge::OnFinish(sd_event_source*, void* self) {
    auto* bridge = static_cast<TBridge*>(self);
    bridge->Ended();
    return 0;
}

void TBridge::Ended() {
    const long long inFlight = mqtt_ ? mqtt_->InFlight() - (offlineMid_ >= 0 ? 1 : 0) : 0;
    if (!pending_.empty() || inFlight > 0) {
        Say(std::to_string(pending_.size()) + " result records not delivered, " +
            std::to_string(inFlight > 0 ? inFlight : 0) + " messages not acknowledged");
    }
    // Station records taken from the broker meanwhile were announced while OV Calc took data;
    // what no one took is said. The source closes as a data source of the suite does.
    if (!held_.empty()) {
        Say(std::to_string(held_.size()) + " station records not announced (OV Calc took no data)");
    }
    if (source_ && stopStatus_ == 0) source_->EmitShutdown();
    if (mqtt_) mqtt_->Disconnect();
    sd_event_exit(event_.get(), stopStatus_);
}

// --- The status object ---

bool TBridge::ExportStatus(std::string& why) {
    static const sd_bus_vtable vtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("Version", "s", &TBridge::GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Engine", "s", &TBridge::GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Shard", "s", &TBridge::GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Started", "s", &TBridge::GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Broker", "s", &TBridge::GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("Protocol", "s", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("Connected", "b", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("CalcLinked", "b", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("Source", "s", &TBridge::GetProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
        SD_BUS_PROPERTY("SourceTaken", "b", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("ResultsIn", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("Unreadable", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("MessagesOut", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("Queued", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("InFlight", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("Dropped", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("Refused", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("MessagesIn", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("Announced", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("Held", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("Malformed", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("OtherShard", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_PROPERTY("InDropped", "t", &TBridge::GetProperty, 0, 0),
        SD_BUS_VTABLE_END,
    };
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_add_object_vtable(bus_.get(), &slot, BridgeObjectPath, BridgeInterface, vtable,
                                     this);
    if (r < 0) {
        why = std::string("cannot export ") + BridgeObjectPath + ": " + ov::SdErrorText(r);
        return false;
    }
    statusObject_.reset(slot);
    r = sd_bus_request_name(bus_.get(), BridgeBusName, 0);
    if (r == -EEXIST) {
        why = std::string("another ovbridge serves this session bus (") + BridgeBusName +
              " is owned)";
        return false;
    }
    if (r < 0) {
        why = std::string("cannot own ") + BridgeBusName + ": " + ov::SdErrorText(r);
        return false;
    }
    return true;
}

int TBridge::GetProperty(sd_bus*, const char*, const char*, const char* property,
                         sd_bus_message* reply, void* self, sd_bus_error*) {
    auto* b = static_cast<TBridge*>(self);
    const std::string p(property);
    const TBridgeCounts& c = b->counts_;
    auto text = [reply](const std::string& value) {
        return sd_bus_message_append(reply, "s", value.c_str());
    };
    auto flag = [reply](bool value) { return sd_bus_message_append(reply, "b", value ? 1 : 0); };
    auto count = [reply](std::uint64_t value) { return sd_bus_message_append(reply, "t", value); };
    if (p == "Version") return text(b->options_.Version);
    if (p == "Engine") return text(b->options_.Engine);
    if (p == "Shard") return text(b->shardText_);
    if (p == "Started") return text(b->started_);
    if (p == "Broker") return text(b->mqtt_ ? b->mqtt_->BrokerName() : "");
    if (p == "Protocol") return text(b->mqtt_ ? b->mqtt_->ProtocolName() : "");
    if (p == "Connected") return flag(b->mqtt_ && b->mqtt_->Connected());
    if (p == "CalcLinked") return flag(b->calcLinked_);
    if (p == "Source")
        return text(b->options_.Source != nullptr ? String(b->options_.Source->Option) : "");
    if (p == "SourceTaken") return flag(b->source_ && b->source_->MayGo());
    if (p == "ResultsIn") return count(c.ResultsIn);
    if (p == "Unreadable") return count(c.Unreadable);
    if (p == "MessagesOut") return count(c.MessagesOut);
    if (p == "Queued") return count(b->pending_.size());
    if (p == "InFlight")
        return count(b->mqtt_ ? static_cast<std::uint64_t>(b->mqtt_->InFlight()) : 0);
    if (p == "Dropped") return count(c.Dropped);
    if (p == "Refused") return count(c.Refused);
    if (p == "MessagesIn") return count(c.MessagesIn);
    if (p == "Announced") return count(c.Announced);
    if (p == "Held") return count(b->held_.size());
    if (p == "Malformed") return count(c.Malformed);
    if (p == "OtherShard") return count(c.OtherShard);
    if (p == "InDropped") return count(c.InDropped);
    return -ENOENT;
}

}  // namespace ovbridge
