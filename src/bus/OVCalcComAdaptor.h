// OV Calc's automation object on the bus: TOVCalcCOM exported at /OVCalcCOM with the interface
// OVCalc.IOVCalcDataCOM (its properties through org.freedesktop.DBus.Properties), and its
// events sent as the signals of OVCalc.IOVCalcDataCOMEvents.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "bus/ClientFollower.h"
#include "busnames/BusNames.h"
#include "suite/OVCalcCom.h"

namespace ov {

class TBusObject;

// Made and used on the main thread (its event loop delivers the item changes). It installs
// itself as the service's event transport and removes itself when destroyed; the service
// must outlive it. Claiming the bus name OVCalc.OVCalcCOM is the program's business.
class TOVCalcComAdaptor : public QObject, public IOVCalcComEvents {
    Q_OBJECT

  public:
    TOVCalcComAdaptor(TOVCalcCOM& service, QDBusConnection connection, QObject* parent = nullptr);
    ~TOVCalcComAdaptor() override;
    TOVCalcComAdaptor(const TOVCalcComAdaptor&) = delete;
    TOVCalcComAdaptor& operator=(const TOVCalcComAdaptor&) = delete;

    // Exports the object at /OVCalcCOM. False when the path is taken or there is no bus.
    bool Export();

    // The bus connections that called SetItemLink and are still connected: the clients that
    // still hold the object, for the closing question.
    int ClientsHoldingObjects() const { return clients_.Count(); }

    // IOVCalcComEvents. OnItemChange may come from any thread: it is queued to this object's
    // thread, never waited for, and sent from there in the order of the calls.
    void OnItemChange(const std::string& appID, const std::string& item,
                      const std::string& data) override;
    // False when the signal could not be sent (no connection).
    bool OnAppShutdown(const std::string& appID) override;
    void OnHeartBeat(const std::string& appID, const std::string& timeStamp) override;

  Q_SIGNALS:
    // The number of clients holding the object changed.
    void ClientsChanged(int count);

  private:
    // The members of OVCalc.IOVCalcDataCOM, and TIMETAG and REALTIME as its properties.
    void AddMethods();
    void AddProperties();
    bool SendSignal(const QString& name, const QList<QVariant>& arguments);

    TOVCalcCOM& service_;
    QDBusConnection connection_;
    std::unique_ptr<TBusObject> object_;
    TClientFollower clients_;  // their links end when they leave
    bool exported_ = false;
};

}  // namespace ov
