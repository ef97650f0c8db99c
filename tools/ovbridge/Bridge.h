// ovbridge's bridge: OV Calc's results from the session bus to the MQTT broker, and station
// records from the broker to OV Calc as a data source, in one sd-event loop. Results wait in a
// bounded queue while the broker cannot take them (the oldest dropped and counted when it is
// full); station records wait, bounded too, until OV Calc can take data. The bridge's state is
// a bus object (OVBridge.Bridge) that "ovbridge --status" reads.
#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "BridgeSettings.h"
#include "MqttLink.h"
#include "SourceObject.h"
#include "StationInput.h"
#include "Uuid.h"
#include "busnames/BusNames.h"
#include "sdbus/SdBus.h"

namespace ovbridge {

// The bridge's own object on the session bus, read by "ovbridge --status".
inline constexpr const char* BridgeBusName = "OVBridge.Bridge";
inline constexpr const char* BridgeObjectPath = "/Bridge";
inline constexpr const char* BridgeInterface = "OVBridge.Bridge";
// The AppID ovbridge links OV Calc's items with.
inline constexpr const char* BridgeAppID = "{A3C1D0E2-7B44-4F0A-9C6E-2D5B8F1E7A90}";

struct TBridgeOptions {
    TBridgeSettings Settings;
    const ov::TDataSource* Source = nullptr;  // the data source it plays; none: results only
    int Shard = 0;
    int Shards = 1;  // 1: every station
    std::string Engine;
    std::string ClientId;
    std::string Password;
    bool PasswordGiven = false;
    std::string Version;
};

// What the bridge has done, as the status object shows it.
struct TBridgeCounts {
    std::uint64_t ResultsIn = 0;    // result records from OV Calc
    std::uint64_t Unreadable = 0;   // of them, not read as a result (sent on PREFIX/records only)
    std::uint64_t MessagesOut = 0;  // messages the broker acknowledged
    std::uint64_t Refused = 0;      // messages the broker or the client refused
    std::uint64_t Dropped = 0;      // result records dropped from a full queue
    std::uint64_t MessagesIn = 0;   // messages on the station-record topic
    std::uint64_t Announced = 0;    // station records sent to OV Calc
    std::uint64_t Malformed = 0;    // messages of neither form, dropped
    std::uint64_t OtherShard = 0;   // station records of another shard's stations, left alone
    std::uint64_t InDropped = 0;    // station records dropped from a full hold
};

class TBridge : public IMqttEvents {
  public:
    explicit TBridge(TBridgeOptions options);
    ~TBridge() override;
    TBridge(const TBridge&) = delete;
    TBridge& operator=(const TBridge&) = delete;

    // Runs until SIGINT, SIGTERM or SIGHUP (status 0) or the session bus goes away (1); a start
    // that fails says why on standard error and answers 1.
    int Run();

  private:
    struct TOutMessage {
        std::string Topic;
        std::string Payload;
        bool Retain = false;
    };
    using TOutRecord = std::vector<TOutMessage>;
    struct THeld {
        std::string Item;  // UTF-8, as the bus carries it
        std::string Data;
    };

    bool Start(std::string& why);
    bool LinkCalc(std::string& why);
    void LinkCalcLater();
    void LoadGroups();
    bool AskNullValue(bool wait);
    void TakeNullAnswer(sd_bus_message* reply);
    bool ExportStatus(std::string& why);

    void TakeResult(std::string_view item, std::string_view data);
    void Queue(TOutRecord record);
    void PumpOut();
    void TakeStation(std::string_view topic, std::string_view payload);
    void PumpIn();
    void PumpInSoon();

    void BeginStop(int status, const std::string& why);
    void CheckStopped();
    // Ends the loop (from the loop, never inside a callback of the client library): what is
    // still queued is told, the connection closed.
    void Finish();
    void Ended();
    // Writes "ovbridge: text" to standard error.
    static void Say(const std::string& text);
    // Says text the first time key is seen (at most 1000 keys; after that, once more in all).
    void SayOnce(std::set<std::string>& said, const std::string& key, const std::string& text);

    // IMqttEvents
    void MqttConnected(bool sessionPresent) override;
    void MqttLost(const std::string& why) override;
    void MqttAcknowledged(int mid, bool refused, const std::string& reason) override;
    void MqttMessage(std::string_view topic, std::string_view payload) override;
    void MqttNote(const std::string& text) override;

    static int OnCalcItemChange(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnCalcShutdown(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnCalcOwner(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnLinkAnswer(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnLinkAgain(sd_event_source* s, std::uint64_t usec, void* self);
    static int OnSetupEvent(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnSetupOwner(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnNullAnswer(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnBusGone(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnSignal(sd_event_source* s, const struct signalfd_siginfo* info, void* self);
    static int OnPumpIn(sd_event_source* s, void* self);
    static int OnStopLimit(sd_event_source* s, std::uint64_t usec, void* self);
    static int OnFinish(sd_event_source* s, void* self);
    static int GetProperty(sd_bus* bus, const char* path, const char* interface,
                           const char* property, sd_bus_message* reply, void* self,
                           sd_bus_error* error);

    TBridgeOptions options_;
    std::string prefix_, inTopic_, statusTopic_, started_, shardText_;
    TBridgeCounts counts_;
    TUuidMaker uuids_;

    // Declared in the order they are built: they go in reverse, the loop and the bus last.
    ov::TSdEvent event_;
    ov::TSdBus bus_;
    ov::TSdSlot calcChanges_, calcShutdown_, calcOwner_, setupOwner_, setupEvents_[2], busGone_,
        statusObject_;
    ov::TSdSlot linkCalls_[2], nullCall_;
    ov::TSdEventSource stops_[3], linkAgain_, pumpIn_, stopLimit_, finish_;
    std::unique_ptr<TMqttLink> mqtt_;
    std::unique_ptr<TSourceObject> source_;

    // OV Calc
    bool calcRunning_ = false;
    bool calcLinked_ = false;
    int linkAnswers_ = 0;
    std::unordered_map<std::string, std::int32_t> groupOf_;  // "STATION.SENSOR" upper -> number
    std::optional<std::int32_t> nullValue_;                  // when the suite uses one

    // Results: records waiting for the broker; the first ones may be partly handed over.
    std::deque<TOutRecord> pending_;
    bool wasConnected_ = false;
    std::string lostSaid_;  // the last reason told for the broker's absence
    int statusMid_ = -1;    // "online": not counted among the results' messages
    int offlineMid_ = -1;   // "offline" at the end: the last message before disconnecting

    // Station records waiting for OV Calc.
    std::deque<THeld> held_;
    TInputContext input_;

    bool stopping_ = false;
    int stopStatus_ = 0;
    std::set<std::string> malformedSaid_, unreadableSaid_, placeSaid_, refusedSaid_;
    bool droppedSaid_ = false, inDroppedSaid_ = false;
};

}  // namespace ovbridge
