// An object exported on the bus whose methods are plain functions, and whose introspection
// data are the interface descriptions of dbus/. The suite's stand-in servers are made of it.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <string_view>
#include <vector>

namespace ov {

class TBusObject : public QDBusVirtualObject {
  public:
    // Answers a call: the reply (call.createReply(...)) or an error (call.createErrorReply).
    using THandler = std::function<QDBusMessage(const QDBusMessage& call)>;

    // Introspection names the interfaces in this order: their methods and signals as
    // described in dbus/<interface>.xml.
    explicit TBusObject(std::vector<std::string_view> interfaces);
    // Unexports the object, and when its handlers run in QtDBus's thread, waits until that
    // thread is done with a call it may still be in: a connection already lost does not.
    ~TBusObject() override;
    TBusObject(const TBusObject&) = delete;
    TBusObject& operator=(const TBusObject&) = delete;

    // Serves interface.member for calls whose arguments have inSignature ("" none, "s", "ss").
    // A call with other arguments gets the error InvalidArgs; a call that names no interface
    // finds its member in any interface. A member missing from a served interface gets
    // UnknownMethod; QtDBus answers introspection and other interfaces.
    void AddMethod(std::string_view interface, std::string_view member,
                   std::string_view inSignature, THandler handler);

    // Exports the object at path on connection (a single node). False when the path is taken.
    // With inBusThread the object moves to the thread where QtDBus reads the connection, and
    // its handlers run there: a call then costs no switch between threads, but the handlers
    // must guard whatever they share with other threads.
    bool Register(QDBusConnection& connection, const QString& path, bool inBusThread = false);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

  private:
    // Whether interface is one of the described ones or has a method here.
    bool ServesInterface(const QString& interface) const;

    struct TMethod {
        QString Interface;
        QString Member;
        QString Signature;
        THandler Handler;
    };
    std::vector<std::string_view> interfaces_;
    std::vector<TMethod> methods_;
    // Where Register exported the object; no connection until then.
    QDBusConnection connection_{QString()};
    QString path_;
};

}  // namespace ov
