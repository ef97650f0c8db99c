// OV Calc's DDE service on the bus: the manager's transactions as the methods of the interface
// OVCalc.DDEML at /DDE, each client named by its bus connection, and the conversations of a
// connection ended when it leaves the bus.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <memory>
#include <string_view>

#include "bus/ClientFollower.h"

namespace ov {

class TBusObject;
class TDDEMLManager;

// The errors of a transaction that was not carried out.
inline constexpr std::string_view DdeNoConversationError = "OVCalc.DDEML.Error.NoConversation";
inline constexpr std::string_view DdeBusyError = "OVCalc.DDEML.Error.Busy";
inline constexpr std::string_view DdeTooManyConversationsError =
    "OVCalc.DDEML.Error.TooManyConversations";
inline constexpr std::string_view DdeNameTooLongError = "OVCalc.DDEML.Error.NameTooLong";
inline constexpr std::string_view DdeNoFormatError = "OVCalc.DDEML.Error.NoFormat";
inline constexpr std::string_view DdeDataTooLargeError = "OVCalc.DDEML.Error.DataTooLarge";
inline constexpr std::string_view DdeStoreFullError = "OVCalc.DDEML.Error.StoreFull";

// Made and used on the main thread, whose event loop serves the calls; the manager must
// outlive it. Claiming the bus name is the program's business.
class TDdeAdaptor : public QObject {
  public:
    TDdeAdaptor(TDDEMLManager& manager, QDBusConnection connection, QObject* parent = nullptr);
    ~TDdeAdaptor() override;
    TDdeAdaptor(const TDdeAdaptor&) = delete;
    TDdeAdaptor& operator=(const TDdeAdaptor&) = delete;

    // Exports the object at /DDE. False when the path is taken or there is no bus.
    bool Export();

    // The connections holding conversations, followed until they leave the bus.
    int FollowedClients() const { return clients_.Count(); }

  private:
    TDDEMLManager& manager_;
    QDBusConnection connection_;
    std::unique_ptr<TBusObject> object_;
    TClientFollower clients_;  // their conversations end when they leave
    bool exported_ = false;
};

}  // namespace ov
