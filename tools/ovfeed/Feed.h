// ovfeed's bus side: a data source's name and object (LinkItem), and its item-change events
// sent for the input lines at a given rate or as fast as the bus takes them.
#pragma once

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QString>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "LineSource.h"
#include "suite/dbus/BusNames.h"
#include "suite/dbus/BusObject.h"

class QDBusServiceWatcher;
class QTimer;

namespace ov {

struct TFeedOptions {
    const TDataSource* Source = nullptr;
    double Rate = 0;        // lines per second; 0: as fast as possible
    bool WaitLink = false;  // hold a line until some client has linked its item
    bool Shutdown = false;  // send OnAppShutdown after the last line
    bool Stay = false;      // keep serving after the last line
    QString AppId;          // carried by the events
};

class TFeed {
  public:
    TFeed(QDBusConnection connection, TFeedOptions options);
    ~TFeed();

    // Owns the source's bus name and exports its object; false with error when taken.
    bool Start(std::string& error);
    // Starts reading lines and sends them from the event loop; quits the application at the
    // end unless Stay.
    void Run(std::unique_ptr<TLineSource> lines);
    // Goes on with the lines (the source's notification, posted to the event loop).
    void Resume() { Pump(); }

  private:
    void Pump();
    void Finish();
    bool Linked(const QString& item) const;
    void Emit(const QString& item, const QString& data);
    void ClientGone(const QString& client);

    QDBusConnection connection_;
    TFeedOptions options_;
    std::unique_ptr<TLineSource> lines_;
    TBusObject object_;
    QString path_, events_;
    std::unique_ptr<QDBusServiceWatcher> clients_;
    std::unique_ptr<QTimer> timer_;
    // Links by client (its unique bus name): the AppID it gave and the items, upper case.
    std::map<QString, std::set<QString>> links_;
    std::map<QString, QString> linkAppIds_;
    bool haveHeld_ = false;  // held_ waits for a link of its item
    bool heldForLink_ = false;  // the held line has waited for a link: the rate restarts
    QString heldItem_, heldData_;
    bool finished_ = false;
    long long sent_ = 0;
    QElapsedTimer clock_;
    long long rateBase_ = 0;  // lines already sent when the clock last restarted
};

}  // namespace ov
