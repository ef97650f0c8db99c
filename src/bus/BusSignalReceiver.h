// A subscription to one signal of one sender on the bus, delivering each received signal to
// a function on the subscriber's thread (its event loop). The event sinks and the tests use it.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <functional>

namespace ov {

class TBusSignalReceiver : public QObject {
    Q_OBJECT

  public:
    using TCallback = std::function<void(const QDBusMessage& signal)>;

    // Subscribes to interface.name from path of service (a well-known name follows its owner;
    // empty: any sender). The subscription is in force at the bus when the constructor
    // returns (a round trip to the bus follows it), so a signal sent after that is received.
    TBusSignalReceiver(QDBusConnection connection, const QString& service, const QString& path,
                       const QString& interface, const QString& name, TCallback callback);
    // Unsubscribes.
    ~TBusSignalReceiver() override;

    TBusSignalReceiver(const TBusSignalReceiver&) = delete;
    TBusSignalReceiver& operator=(const TBusSignalReceiver&) = delete;

    // False when the subscription could not be made (no bus, a bad name).
    bool Subscribed() const { return subscribed_; }

  private Q_SLOTS:
    void Receive(const QDBusMessage& signal);

  private:
    QDBusConnection connection_;
    QString service_, path_, interface_, name_;
    TCallback callback_;
    bool subscribed_ = false;
};

// One round trip to the bus daemon on connection: every message sent on it before has been
// handled by the daemon when this returns. False when the bus did not answer within timeoutMs.
bool SyncWithBus(const QDBusConnection& connection, int timeoutMs = 3000);

}  // namespace ov
