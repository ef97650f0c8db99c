// The data source that ovbridge plays for OV Calc (as ovfeed --as does): the source's bus name
// and object, LinkItem, the clients that linked an item and whether each can take data (OV
// Calc: its calculation thread runs), and the item changes sent to them. On the bridge's sd-bus
// connection, in its event loop.
#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "busnames/BusNames.h"
#include "sdbus/SdBus.h"

namespace ovbridge {

class TSourceObject {
  public:
    // ready is called (from the loop) whenever a client that can take data may have appeared.
    TSourceObject(sd_bus* bus, sd_event* event, const ov::TDataSource& source,
                  std::function<void()> ready);
    ~TSourceObject();
    TSourceObject(const TSourceObject&) = delete;
    TSourceObject& operator=(const TSourceObject&) = delete;

    // Exports the object and watches clients leaving; Own then takes the bus name. False with
    // why (the name taken by another program, for example).
    bool Export(std::string& why);
    bool Own(std::string& why);

    // Whether some client linked an item of this source and can take data.
    bool MayGo() const;
    // Sends OnItemChange(AppID, item, data), both UTF-8. False with why when the bus refused.
    bool Emit(const std::string& item, const std::string& data, std::string& why);
    // Sends OnAppShutdown(AppID): the source closes.
    void EmitShutdown();
    const ov::TDataSource& Source() const { return source_; }

  private:
    static int OnLinkItem(sd_bus_message* call, void* self, sd_bus_error* error);
    static int OnNameOwnerChanged(sd_bus_message* signal, void* self, sd_bus_error* error);
    static int OnReadyAnswer(sd_bus_message* reply, void* question, sd_bus_error* error);
    static int OnAskAgain(sd_event_source* source, std::uint64_t usec, void* self);

    void Linked(const std::string& client, std::string_view appId);
    void AskReady(const std::string& client);
    void Answered(const std::string& client, bool ready);

    sd_bus* bus_;
    sd_event* event_;
    const ov::TDataSource& source_;
    std::function<void()> ready_;
    std::string busName_, path_, interface_, events_, appId_;
    ov::TSdSlot object_, eventsObject_, clientsGone_;
    // Items linked by client (its unique bus name), upper case.
    std::map<std::string, std::set<std::string>> links_;
    enum TReady { rdAsking, rdNotYet, rdReady };
    struct TQuestion {
        TSourceObject* Owner = nullptr;
        std::string Client;
        TReady Ready = rdAsking;
        ov::TSdSlot Call;
    };
    std::map<std::string, TQuestion> questions_;
    ov::TSdEventSource askAgain_;
};

}  // namespace ovbridge
