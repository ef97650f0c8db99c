// Reaching OV Calc on the session bus, and ovclient's error and answer output.
#include "Client.h"

#include <QDBusConnectionInterface>
#include <cstdio>

namespace ovclient {

int Fail(const std::string& message) {
    std::fprintf(stderr, "ovclient: %s\n", message.c_str());
    return 1;
}

int NotRunning() {
    return Fail("OV Calc is not running (no owner of " + std::string(ov::CalcBusName) +
                " on the session bus)");
}

void Print(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int ConnectBus(QDBusConnection& bus) {
    if (!bus.isConnected()) {
        return Fail("cannot reach the session bus: " + bus.lastError().message().toStdString());
    }
    QDBusConnectionInterface* daemon = bus.interface();
    if (daemon == nullptr || !daemon->isServiceRegistered(QtText(ov::CalcBusName)).value()) {
        return NotRunning();
    }
    return 0;
}

QDBusMessage CallObject(QDBusConnection& bus, std::string_view path, std::string_view interface,
                        const QString& member, const QList<QVariant>& arguments, int& status,
                        int timeoutMs) {
    QDBusMessage call = QDBusMessage::createMethodCall(QtText(ov::CalcBusName), QtText(path),
                                                       QtText(interface), member);
    call.setArguments(arguments);
    QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    status = 0;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
            status = NotRunning();
        } else {
            status = Fail(member.toStdString() + " failed: " + reply.errorMessage().toStdString());
        }
    }
    return reply;
}

}  // namespace ovclient
