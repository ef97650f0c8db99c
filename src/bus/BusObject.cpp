// Dispatch of the calls of an exported object to its handlers.
#include "bus/BusObject.h"

#include <QDBusConnectionInterface>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <future>
#include <utility>

#include "bus/BusInterfaces.h"
#include "qttext/QtText.h"

namespace ov {

TBusObject::TBusObject(std::vector<std::string_view> interfaces)
    : interfaces_(std::move(interfaces)) {}

TBusObject::~TBusObject() {
    if (path_.isEmpty()) return;
    connection_.unregisterObject(path_);
    QThread* busThread = thread();
    if (busThread == QThread::currentThread() || !busThread->isRunning()) return;
    // Unregistering does not wait for a call being answered in the bus thread when the
    // connection is already gone: a task queued behind it marks the end of that call. A
    // promise rather than a blocking queued call, so that the hand-over is one the thread
    // checker sees.
    std::promise<void> passed;
    std::future<void> done = passed.get_future();
    QMetaObject::invokeMethod(
        this, [&passed] { passed.set_value(); }, Qt::QueuedConnection);
    if (done.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        std::fprintf(stderr, "bus object %s: the bus thread did not finish its call in 5 s\n",
                     qPrintable(path_));
        // The queued task still refers to passed: it must not outlive this frame unrun.
        done.wait();
    }
}

void TBusObject::AddMethod(std::string_view interface, std::string_view member,
                           std::string_view inSignature, THandler handler) {
    methods_.push_back(
        {QtText(interface), QtText(member), QtText(inSignature), std::move(handler)});
}

bool TBusObject::Register(QDBusConnection& connection, const QString& path, bool inBusThread) {
    // QtDBus hands a call to an object of another thread as an event and waits for it, and
    // sends a reply made there through its own thread: three switches per call. The bus
    // interface object lives in QtDBus's connection thread.
    if (inBusThread && connection.interface() != nullptr) {
        moveToThread(connection.interface()->thread());
    }
    if (!connection.registerVirtualObject(path, this, QDBusConnection::SingleNode)) return false;
    connection_ = connection;
    path_ = path;
    return true;
}

bool TBusObject::ServesInterface(const QString& interface) const {
    for (auto name : interfaces_) {
        if (interface == QtText(name)) return true;
    }
    for (const auto& method : methods_) {
        if (interface == method.Interface) return true;
    }
    return false;
}

QString TBusObject::introspect(const QString&) const {
    QString xml;
    for (auto name : interfaces_) xml += InterfaceXml(name) + QLatin1Char('\n');
    return xml;
}

bool TBusObject::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    const TMethod* found = nullptr;
    for (const auto& method : methods_) {
        if (method.Member == message.member() &&
            (message.interface().isEmpty() || method.Interface == message.interface())) {
            found = &method;
            break;
        }
    }
    if (found == nullptr) {
        // A member missing from an interface this object serves is an unknown method, not an
        // unknown interface (which QtDBus would answer for a virtual object).
        if (!message.interface().isEmpty() && ServesInterface(message.interface())) {
            if (message.isReplyRequired()) {
                connection.send(message.createErrorReply(
                    QDBusError::UnknownMethod, QStringLiteral("No method \"%1\" in \"%2\"")
                                                   .arg(message.member(), message.interface())));
            }
            return true;
        }
        // Introspection, Peer and anything else unknown: QtDBus answers it.
        return false;
    }
    QDBusMessage reply;
    if (message.signature() != found->Signature) {
        reply = message.createErrorReply(
            QDBusError::InvalidArgs,
            QStringLiteral("%1 takes the arguments \"%2\", not \"%3\"")
                .arg(found->Member, found->Signature, message.signature()));
    } else {
        reply = found->Handler(message);
    }
    if (message.isReplyRequired()) connection.send(reply);
    return true;
}

}  // namespace ov
