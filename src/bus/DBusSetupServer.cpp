// Setup-server calls over QtDBus.
#include "bus/DBusSetupServer.h"

#include <QDBusError>
#include <atomic>
#include <utility>

#include "bus/BusSetupValue.h"
#include "qttext/QtText.h"

namespace ov {

TDBusSetupServer::TDBusSetupServer(QDBusConnection connection, std::chrono::milliseconds timeout)
    : connection_(std::move(connection)), timeoutMs_(static_cast<int>(timeout.count())) {}

bool TDBusSetupServer::Call(const char* method, const QVariantList& arguments,
                            QDBusMessage& reply) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(QtText(SetupBusName), QtText(SetupObjectPath),
                                       QtText(SetupInterface), QLatin1String(method));
    call.setArguments(arguments);
    // A server that is not running is an answer, not something to start.
    call.setAutoStartService(false);
    reply = connection_.call(call, QDBus::Block, timeoutMs_);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        // The message goes on as engine text (an exception's, shown in the status list).
        lastError_ =
            reply.type() == QDBusMessage::ErrorMessage
                ? EngineText(reply.errorName() + QLatin1String(": ") + reply.errorMessage())
                : std::string("no reply");
        return false;
    }
    lastError_.clear();
    return true;
}

bool TDBusSetupServer::GetArray(const char* method, std::vector<TSetupValue>& values) {
    QDBusMessage reply;
    if (!Call(method, {}, reply)) return false;
    if (reply.arguments().size() != 1 || !ArgumentToSetupValues(reply.arguments().at(0), values)) {
        lastError_ = std::string(method) + " answered \"" + reply.signature().toStdString() +
                     "\" with an element the settings cannot hold, not an array of values";
        return false;
    }
    return true;
}

bool TDBusSetupServer::GetGeneralSetup(std::vector<TSetupValue>& values) {
    return GetArray("GetGeneralSetup", values);
}

bool TDBusSetupServer::GetDataServerSetup(std::vector<TSetupValue>& values) {
    return GetArray("GetDataServerSetup", values);
}

bool TDBusSetupServer::GetSetupParam(const std::string& key, std::string& value) {
    if (key.find('\0') != std::string::npos) {
        lastError_ = "a key cannot hold a zero byte";
        return false;
    }
    QDBusMessage reply;
    if (!Call("GetSetupParam", {QtText(key)}, reply)) return false;
    if (reply.signature() != QLatin1String("s")) {
        lastError_ =
            "GetSetupParam answered \"" + reply.signature().toStdString() + "\", not a text";
        return false;
    }
    value = EngineText(reply.arguments().at(0).toString());
    return true;
}

TOwnBusConnection::TOwnBusConnection()
    : name_([] {
          static std::atomic<unsigned> counter{0};
          return QStringLiteral("ov-own-bus-%1").arg(counter++);
      }()),
      connection_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_)) {}

TOwnBusConnection::~TOwnBusConnection() {
    QDBusConnection::disconnectFromBus(name_);
}

}  // namespace ov
