// ovbridge's connection to the MQTT broker: libmosquitto's client served from the program's own
// sd-event loop (the client's socket watched there, a one-second timer for its keep-alive),
// connected with a persistent session (QoS 1 messages survive a lost connection on both sides),
// MQTT 5 unless the broker refuses it, and connected again after a loss with a growing wait.
#pragma once

#include <mosquitto.h>
#include <systemd/sd-event.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "BridgeSettings.h"
#include "sdbus/SdBus.h"

namespace ovbridge {

// What the connection tells its owner, always from the event loop.
class IMqttEvents {
  public:
    virtual ~IMqttEvents() = default;
    // The broker accepted the connection; sessionPresent: it kept the session from before.
    virtual void MqttConnected(bool sessionPresent) = 0;
    // The connection ended (or an attempt failed) for the reason given; a new attempt follows.
    virtual void MqttLost(const std::string& why) = 0;
    // The broker acknowledged a message handed over with Publish; refused: it said it did not
    // take it (MQTT 5 reason code 0x80 and above), with its reason.
    virtual void MqttAcknowledged(int mid, bool refused, const std::string& reason) = 0;
    virtual void MqttMessage(std::string_view topic, std::string_view payload) = 0;
    // Something to tell the user (a refused subscription, a protocol fallback).
    virtual void MqttNote(const std::string& text) = 0;
};

struct TMqttOptions {
    TBridgeSettings Settings;
    std::string ClientId;
    std::string Password;  // when PasswordGiven
    bool PasswordGiven = false;
    std::string WillTopic;    // the engine's status topic
    std::string WillPayload;  // "offline"
};

// Messages the client may have unacknowledged at once (a broker may allow fewer); more wait
// with their owner.
inline constexpr long long MaxInFlight = 1000;

class TMqttLink {
  public:
    TMqttLink(sd_event* event, IMqttEvents& events, TMqttOptions options);
    ~TMqttLink();
    TMqttLink(const TMqttLink&) = delete;
    TMqttLink& operator=(const TMqttLink&) = delete;

    // Makes the client and makes the first connection attempt, which waits for the TCP
    // connection (MQTT 5's session expiry can only be given that way); a failed attempt is
    // retried from the loop. False with why for settings the client refuses (a TLS file that
    // cannot be read, a bad client id).
    bool Start(std::string& why);
    // Whether the broker has accepted the connection and it has not been lost since.
    bool Connected() const { return state_ == stConnected; }
    // "MQTT 5" or "MQTT 3.1.1": the protocol of the connection (or of the next attempt).
    std::string ProtocolName() const;
    std::string BrokerName() const;  // "mqtts://host:port" or "mqtt://host:port"

    enum TPublish {
        pbHanded,   // the client has it and sends it (again after a lost connection)
        pbNotNow,   // not connected: keep it
        pbRefused,  // the client can never send it (a topic or size it refuses): why says so
    };
    // Hands a QoS 1 message to the client; mid identifies its acknowledgement.
    TPublish Publish(const std::string& topic, std::string_view payload, bool retain, int& mid,
                     std::string& why);
    bool Subscribe(const std::string& filter, std::string& why);

    // Ends the connection cleanly (the broker then sends no last will), for the program's end.
    void Disconnect();
    // Messages handed over and not yet acknowledged (the client sends them again after a lost
    // connection).
    long long InFlight() const { return inFlight_; }

  private:
    enum TState { stIdle, stConnecting, stConnected, stWaiting, stStopped };

    static void OnConnect(mosquitto* m, void* self, int rc, int flags, const mosquitto_property*);
    static void OnDisconnect(mosquitto* m, void* self, int rc, const mosquitto_property*);
    static void OnPublish(mosquitto* m, void* self, int mid, int reason, const mosquitto_property*);
    static void OnMessage(mosquitto* m, void* self, const mosquitto_message* message,
                          const mosquitto_property*);
    static void OnSubscribe(mosquitto* m, void* self, int mid, int count, const int* granted,
                            const mosquitto_property*);
    static int OnSocket(sd_event_source* source, int fd, std::uint32_t events, void* self);
    static int OnTick(sd_event_source* source, std::uint64_t usec, void* self);
    static int OnRetry(sd_event_source* source, std::uint64_t usec, void* self);
    static int OnPost(sd_event_source* source, void* self);

    // After every attempt or loop call: watch the client's socket (again when it changed) for
    // reading, and for writing while the client has something to write.
    void Watch();
    void Unwatch();
    // Writes what the client has queued, in as few TCP segments as the kernel can.
    void WriteOut();
    // The connection is gone (rc: libmosquitto's code, or a CONNACK refusal): say so once per
    // outage and plan the next attempt.
    void Lost(const std::string& why);
    void Attempt();
    // The client's callbacks, options, last will, credentials, TLS and protocol (v5_).
    bool Configure(std::string& why);
    void UseProtocol(bool v5);

    sd_event* event_;
    IMqttEvents& events_;
    TMqttOptions options_;
    mosquitto* client_ = nullptr;
    TState state_ = stIdle;
    bool v5_ = true;               // the protocol of the current or next attempt
    bool v5Refused_ = false;       // the broker refused MQTT 5 (auto falls back to 3.1.1)
    bool everConnected_ = false;   // on this protocol: then a failure is no protocol refusal
    bool started_ = false;         // the first attempt was made (later ones reconnect)
    bool fallBack_ = false;        // the next attempt is the first with MQTT 3.1.1
    std::string refusal_;          // why the broker refused the last attempt (its CONNACK)
    std::uint64_t attemptAt_ = 0;  // CLOCK_MONOTONIC microseconds of the current attempt
    bool lostSaid_ = false;        // this outage was told
    double wait_ = 0;              // seconds before the next attempt
    int socket_ = -1;
    std::uint32_t watched_ = 0;
    long long inFlight_ = 0;
    ov::TSdEventSource socketSource_, tick_, retry_, post_;
};

}  // namespace ovbridge
