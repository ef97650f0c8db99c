// ovbridge's MQTT connection on libmosquitto in the sd-event loop.
#include "MqttLink.h"

#include <mqtt_protocol.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace ovbridge {
namespace {

constexpr std::uint64_t TickUsec = 1000000;
// A persistent session lasts until the broker drops it (MQTT 5: "never expires").
constexpr int SessionNeverExpires = static_cast<int>(0xFFFFFFFFu);
// Reads in one go before the loop serves the bus again.
constexpr int ReadsPerWakeUp = 256;

std::uint64_t NowUsec() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

// libmosquitto's code (below 128) or an MQTT 5 reason code (128 and above) as text.
std::string ReasonText(int rc) {
    if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
    if (rc >= 128) return mosquitto_reason_string(rc);
    return mosquitto_strerror(rc);
}

}  // namespace

TMqttLink::TMqttLink(sd_event* event, IMqttEvents& events, TMqttOptions options)
    : event_(event), events_(events), options_(std::move(options)) {}

TMqttLink::~TMqttLink() {
    Unwatch();
    post_.reset();
    retry_.reset();
    tick_.reset();
    if (client_ != nullptr) mosquitto_destroy(client_);
}

std::string TMqttLink::ProtocolName() const {
    return v5_ ? "MQTT 5" : "MQTT 3.1.1";
}

std::string TMqttLink::BrokerName() const {
    const TBridgeSettings& s = options_.Settings;
    return (s.CAFile.empty() ? "mqtt://" : "mqtts://") + s.Host + ":" + std::to_string(s.Port);
}

void TMqttLink::UseProtocol(bool v5) {
    v5_ = v5;
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION,
                         v5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
}

bool TMqttLink::Configure(std::string& why) {
    const TBridgeSettings& s = options_.Settings;
    mosquitto_connect_v5_callback_set(client_, &TMqttLink::OnConnect);
    mosquitto_disconnect_v5_callback_set(client_, &TMqttLink::OnDisconnect);
    mosquitto_publish_v5_callback_set(client_, &TMqttLink::OnPublish);
    mosquitto_message_v5_callback_set(client_, &TMqttLink::OnMessage);
    mosquitto_subscribe_v5_callback_set(client_, &TMqttLink::OnSubscribe);
    mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
    // Packets are only queued when handed over, not written at once: the loop writes them after
    // each wake-up in one go (WriteOut), so that a burst of results leaves in few TCP segments.
    mosquitto_threaded_set(client_, true);
    mosquitto_max_inflight_messages_set(client_, static_cast<unsigned>(MaxInFlight));
    UseProtocol(v5_);

    int rc = mosquitto_will_set(client_, options_.WillTopic.c_str(),
                                static_cast<int>(options_.WillPayload.size()),
                                options_.WillPayload.data(), 1, true);
    if (rc != MOSQ_ERR_SUCCESS) {
        why = "cannot set the last will on " + options_.WillTopic + ": " + ReasonText(rc);
        return false;
    }
    if (!s.User.empty() || options_.PasswordGiven) {
        if (s.User.empty()) {
            why = "a broker password needs a User in [Broker]";
            return false;
        }
        rc = mosquitto_username_pw_set(
            client_, s.User.c_str(), options_.PasswordGiven ? options_.Password.c_str() : nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            why = "cannot use the user name \"" + s.User + "\": " + ReasonText(rc);
            return false;
        }
    }
    if (!s.CAFile.empty()) {
        const std::string ca = s.CAFile.string(), cert = s.CertFile.string(),
                          key = s.KeyFile.string();
        rc = mosquitto_tls_set(client_, ca.c_str(), nullptr, cert.empty() ? nullptr : cert.c_str(),
                               key.empty() ? nullptr : key.c_str(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            why = "cannot use TLS with CAFile " + ca +
                  (cert.empty() ? "" : ", CertFile " + cert + " and KeyFile " + key) + ": " +
                  (rc == MOSQ_ERR_INVAL ? "a file cannot be read" : ReasonText(rc));
            return false;
        }
    }
    return true;
}

bool TMqttLink::Start(std::string& why) {
    client_ = mosquitto_new(options_.ClientId.c_str(), false, this);
    if (client_ == nullptr) {
        why = "cannot make an MQTT client with the id \"" + options_.ClientId +
              "\": " + std::strerror(errno);
        return false;
    }
    v5_ = options_.Settings.Protocol != pcV311;
    if (!Configure(why)) return false;

    sd_event_source* source = nullptr;
    int r = sd_event_add_time_relative(event_, &source, CLOCK_MONOTONIC, TickUsec, 100000,
                                       &TMqttLink::OnTick, this);
    if (r >= 0) {
        tick_.reset(source);
        r = sd_event_source_set_enabled(source, SD_EVENT_ON);
    }
    if (r >= 0) r = sd_event_add_post(event_, &source, &TMqttLink::OnPost, this);
    if (r < 0) {
        why = "cannot watch the MQTT connection: " + ov::SdErrorText(r);
        return false;
    }
    post_.reset(source);
    Attempt();
    return true;
}

void TMqttLink::Attempt() {
    const TBridgeSettings& s = options_.Settings;
    state_ = stConnecting;
    refusal_.clear();
    attemptAt_ = NowUsec();
    int rc;
    if (fallBack_) {
        // The client keeps MQTT 5's connection properties, which 3.1.1 refuses: a client made
        // anew (nothing was handed to it, since it never connected) connects with 3.1.1.
        fallBack_ = false;
        started_ = false;
        std::string why;
        rc = mosquitto_reinitialise(client_, options_.ClientId.c_str(), false, this);
        if (rc != MOSQ_ERR_SUCCESS || !Configure(why)) {
            Lost("cannot make the MQTT client anew: " + (why.empty() ? ReasonText(rc) : why));
            return;
        }
    }
    if (started_) {
        rc = mosquitto_reconnect_async(client_);
    } else if (v5_) {
        // The session's expiry can only be given with the first connection, which waits for
        // the TCP connection; the client keeps it for every later attempt.
        mosquitto_property* properties = nullptr;
        mosquitto_property_add_int32(&properties, MQTT_PROP_SESSION_EXPIRY_INTERVAL,
                                     SessionNeverExpires);
        rc = mosquitto_connect_bind_v5(client_, s.Host.c_str(), s.Port, s.KeepAlive, nullptr,
                                       properties);
        mosquitto_property_free_all(&properties);
    } else {
        rc = mosquitto_connect_async(client_, s.Host.c_str(), s.Port, s.KeepAlive);
    }
    started_ = true;
    if (rc != MOSQ_ERR_SUCCESS) {
        Lost("cannot connect to " + BrokerName() + ": " + ReasonText(rc));
        return;
    }
    Watch();
}

void TMqttLink::Watch() {
    if (client_ == nullptr) return;
    const int fd = mosquitto_socket(client_);
    if (fd < 0) {
        Unwatch();
        return;
    }
    const std::uint32_t wanted = EPOLLIN | (mosquitto_want_write(client_) ? EPOLLOUT : 0u);
    if (fd != socket_ || !socketSource_) {
        Unwatch();
        sd_event_source* source = nullptr;
        const int r = sd_event_add_io(event_, &source, fd, wanted, &TMqttLink::OnSocket, this);
        if (r < 0) {
            events_.MqttNote("cannot watch the broker's socket: " + ov::SdErrorText(r));
            return;
        }
        socketSource_.reset(source);
        socket_ = fd;
        watched_ = wanted;
        return;
    }
    if (wanted != watched_ && sd_event_source_set_io_events(socketSource_.get(), wanted) >= 0)
        watched_ = wanted;
}

void TMqttLink::Unwatch() {
    socketSource_.reset();
    socket_ = -1;
    watched_ = 0;
}

void TMqttLink::Lost(const std::string& why) {
    if (state_ == stStopped || state_ == stWaiting) return;
    Unwatch();
    const bool wasConnected = state_ == stConnected;
    state_ = stWaiting;
    const TBridgeSettings& s = options_.Settings;
    wait_ = wasConnected || wait_ <= 0 ? s.ReconnectMin : std::min(s.ReconnectMax, wait_ * 2);
    const auto due = NowUsec() + static_cast<std::uint64_t>(wait_ * 1e6);
    int r;
    if (!retry_) {
        sd_event_source* source = nullptr;
        r = sd_event_add_time(event_, &source, CLOCK_MONOTONIC, due, 10000, &TMqttLink::OnRetry,
                              this);
        if (r >= 0) retry_.reset(source);
    } else {
        r = sd_event_source_set_time(retry_.get(), due);
        if (r >= 0) r = sd_event_source_set_enabled(retry_.get(), SD_EVENT_ONESHOT);
    }
    if (r < 0) events_.MqttNote("cannot plan the next connection attempt: " + ov::SdErrorText(r));
    events_.MqttLost(why);
}

void TMqttLink::OnConnect(mosquitto*, void* self, int rc, int flags, const mosquitto_property*) {
    auto* link = static_cast<TMqttLink*>(self);
    if (rc != 0) {
        // The broker refused; the connection's end follows and is told with this reason.
        const bool protocol =
            rc == CONNACK_REFUSED_PROTOCOL_VERSION || rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION;
        if (protocol && link->v5_ && link->options_.Settings.Protocol == pcAuto &&
            !link->everConnected_) {
            link->v5Refused_ = true;
        }
        link->refusal_ =
            "the broker refused the connection: " +
            std::string(rc >= 128 ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc));
        return;
    }
    link->state_ = stConnected;
    link->wait_ = 0;
    link->everConnected_ = true;
    link->events_.MqttConnected((flags & 1) != 0);
}

void TMqttLink::OnDisconnect(mosquitto*, void* self, int rc, const mosquitto_property*) {
    auto* link = static_cast<TMqttLink*>(self);
    if (link->state_ == stStopped) return;
    // An MQTT 5 attempt that the broker ends without an answer (a 3.1.1 broker's answer cannot
    // be read as 5's), or refuses for its protocol version, is taken as the broker not
    // offering MQTT 5.
    if (link->state_ == stConnecting && link->v5_ && link->refusal_.empty() &&
        link->options_.Settings.Protocol == pcAuto && !link->everConnected_ &&
        (rc == MOSQ_ERR_PROTOCOL || rc == MOSQ_ERR_MALFORMED_PACKET || rc == MOSQ_ERR_CONN_LOST)) {
        link->v5Refused_ = true;
    }
    std::string why;
    if (!link->refusal_.empty()) {
        why = link->refusal_;
    } else if (rc == MQTT_RC_SESSION_TAKEN_OVER) {
        why =
            "another client with the id \"" + link->options_.ClientId + "\" took the session over";
    } else if (link->state_ == stConnected) {
        why = "the connection to " + link->BrokerName() + " was lost: " + ReasonText(rc);
    } else {
        why = "cannot connect to " + link->BrokerName() + ": " + ReasonText(rc);
    }
    if (link->v5Refused_ && link->v5_) {
        link->v5_ = false;
        link->fallBack_ = true;
        why += " (the broker does not offer MQTT 5: MQTT 3.1.1 next)";
    }
    link->Lost(why);
}

void TMqttLink::OnPublish(mosquitto*, void* self, int mid, int reason, const mosquitto_property*) {
    auto* link = static_cast<TMqttLink*>(self);
    if (link->inFlight_ > 0) --link->inFlight_;
    const bool refused = reason >= 0x80;
    link->events_.MqttAcknowledged(mid, refused, refused ? mosquitto_reason_string(reason) : "");
}

void TMqttLink::OnMessage(mosquitto*, void* self, const mosquitto_message* message,
                          const mosquitto_property*) {
    auto* link = static_cast<TMqttLink*>(self);
    link->events_.MqttMessage(
        message->topic,
        std::string_view(
            static_cast<const char*>(message->payload),
            message->payloadlen > 0 ? static_cast<std::size_t>(message->payloadlen) : 0));
}

void TMqttLink::OnSubscribe(mosquitto*, void* self, int, int count, const int* granted,
                            const mosquitto_property*) {
    auto* link = static_cast<TMqttLink*>(self);
    for (int i = 0; i < count; ++i) {
        if (granted[i] >= 0x80) {
            link->events_.MqttNote("the broker refused the subscription: " +
                                   std::string(mosquitto_reason_string(granted[i])));
        } else if (granted[i] < 1) {
            link->events_.MqttNote(
                "the broker granted the subscription with QoS 0 only: "
                "station records may be lost while ovbridge is away");
        }
    }
}

int TMqttLink::OnSocket(sd_event_source*, int fd, std::uint32_t events, void* self) {
    auto* link = static_cast<TMqttLink*>(self);
    int rc = MOSQ_ERR_SUCCESS;
    if ((events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0) {
        // A read takes one packet; the acknowledgements of a burst come many at a time. A read
        // that found nothing more answers success and leaves EAGAIN behind (an early stop
        // costs only a wake-up: the socket is watched level-triggered).
        for (int i = 0; i < ReadsPerWakeUp && link->socket_ == fd; ++i) {
            errno = 0;
            rc = mosquitto_loop_read(link->client_, 1);
            if (rc != MOSQ_ERR_SUCCESS) break;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        }
    }
    // A TLS handshake that fails after the first attempt's call (the broker's certificate
    // refused) closes the socket without the client's disconnect callback: told here.
    if ((link->state_ == stConnecting || link->state_ == stConnected) &&
        mosquitto_socket(link->client_) < 0) {
        link->Lost((link->state_ == stConnected
                        ? "the connection to " + link->BrokerName() + " was lost: "
                        : "cannot connect to " + link->BrokerName() + ": ") +
                   ReasonText(rc != MOSQ_ERR_SUCCESS ? rc : MOSQ_ERR_CONN_LOST));
        return 0;
    }
    if (link->socket_ == fd && (events & EPOLLOUT) != 0) link->WriteOut();
    // Connected, what the reads' callbacks queued is written by the post source right after,
    // which watches for writing only what is left then.
    if (link->state_ == stConnecting) link->Watch();
    return 0;
}

int TMqttLink::OnTick(sd_event_source* source, std::uint64_t, void* self) {
    auto* link = static_cast<TMqttLink*>(self);
    if (link->state_ == stConnecting || link->state_ == stConnected) {
        mosquitto_loop_misc(link->client_);
        // A broker that takes the TCP connection but never answers is given up on after the
        // keep-alive time.
        if (link->state_ == stConnecting &&
            NowUsec() - link->attemptAt_ >
                static_cast<std::uint64_t>(link->options_.Settings.KeepAlive) * 1000000u) {
            link->Unwatch();
            link->refusal_ = "no answer from " + link->BrokerName() + " within " +
                             std::to_string(link->options_.Settings.KeepAlive) + " s";
            // Ends the socket; the loss is told by OnDisconnect or here.
            mosquitto_disconnect(link->client_);
            link->Lost(link->refusal_);
        } else if (link->state_ == stConnecting || link->state_ == stConnected) {
            link->Watch();
        }
    }
    sd_event_source_set_time_relative(source, TickUsec);
    return 0;
}

int TMqttLink::OnRetry(sd_event_source*, std::uint64_t, void* self) {
    auto* link = static_cast<TMqttLink*>(self);
    if (link->state_ == stWaiting) link->Attempt();
    return 0;
}

int TMqttLink::OnPost(sd_event_source*, void* self) {
    auto* link = static_cast<TMqttLink*>(self);
    // What was handed over during this wake-up is queued in the client: written now.
    if (link->state_ == stConnected && mosquitto_want_write(link->client_)) link->WriteOut();
    if (link->state_ == stConnected) link->Watch();
    return 0;
}

void TMqttLink::WriteOut() {
    // Corked, the packets written here go out together when it is taken off.
    const int on = 1, off = 0;
    const bool corked =
        socket_ >= 0 && ::setsockopt(socket_, IPPROTO_TCP, TCP_CORK, &on, sizeof on) == 0;
    mosquitto_loop_write(client_, 1);
    if (corked) ::setsockopt(socket_, IPPROTO_TCP, TCP_CORK, &off, sizeof off);
}

TMqttLink::TPublish TMqttLink::Publish(const std::string& topic, std::string_view payload,
                                       bool retain, int& mid, std::string& why) {
    if (state_ != stConnected) return pbNotNow;
    const int rc = mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                     payload.data(), 1, retain);
    // A QoS 1 message is in the client's queue once it passed the checks, also when writing it
    // found the connection gone: the client sends it after the next connection.
    if (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST ||
        rc == MOSQ_ERR_ERRNO) {
        ++inFlight_;
        return pbHanded;
    }
    why = ReasonText(rc);
    return pbRefused;
}

bool TMqttLink::Subscribe(const std::string& filter, std::string& why) {
    const int rc = mosquitto_subscribe(client_, nullptr, filter.c_str(), 1);
    if (rc != MOSQ_ERR_SUCCESS) {
        why = "cannot subscribe to " + filter + ": " + ReasonText(rc);
        return false;
    }
    return true;
}

void TMqttLink::Disconnect() {
    if (client_ == nullptr) return;
    const bool connected = state_ == stConnected;
    state_ = stStopped;
    if (connected) {
        mosquitto_disconnect(client_);
        // The DISCONNECT packet goes out before the socket closes.
        for (int i = 0; i < 10 && mosquitto_want_write(client_); ++i)
            mosquitto_loop_write(client_, 1);
    }
    Unwatch();
}

}  // namespace ovbridge
