// The automation object's calls answered on the bus, its events sent as signals, and the
// clients that linked items followed until their connections end.
#include "bus/OVCalcComAdaptor.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QMetaObject>
#include <QVariantMap>
#include <exception>
#include <utility>

#include "bus/BusObject.h"
#include "busnames/BusNames.h"
#include "qttext/QtText.h"

namespace ov {
namespace {

constexpr std::string_view PropertiesInterface = "org.freedesktop.DBus.Properties";

QDBusMessage Failed(const QDBusMessage& call, const QString& text) {
    return call.createErrorReply(QDBusError::Failed, text);
}

// A member's error goes back to the caller as a failed call with the error's text; nothing
// is logged and the object goes on serving.
TBusObject::THandler Guarded(TBusObject::THandler handler) {
    return [handler = std::move(handler)](const QDBusMessage& call) {
        try {
            return handler(call);
        } catch (const std::exception& error) {
            return Failed(call, QtText(error.what()));
        } catch (...) {
            return Failed(call, QStringLiteral("Unexpected error"));
        }
    };
}

// Argument index of call as 8-bit text, or the refusal that the caller sends back: OV Calc's
// text holds characters up to U+00FF only, and storing "?" for the others would hand a client
// back something else than it set.
bool TextArgument(const QDBusMessage& call, int index, const QString& what, std::string& text,
                  QDBusMessage& refusal) {
    QString refused;
    if (ExactEngineText(call.arguments().at(index).toString(), text, refused)) return true;
    refusal = call.createErrorReply(
        QDBusError::InvalidArgs,
        QStringLiteral("%1 holds %2: OV Calc's text holds characters up to U+00FF only")
            .arg(what, refused));
    return false;
}

// A text longer than limit characters, refused with what it is.
bool TooLong(const std::string& text, std::size_t limit, const QString& what,
             const QDBusMessage& call, QDBusMessage& refusal) {
    if (text.size() <= limit) return false;
    refusal = call.createErrorReply(QDBusError::InvalidArgs,
                                    QStringLiteral("%1 is %2 characters long; at most %3 are taken")
                                        .arg(what)
                                        .arg(text.size())
                                        .arg(limit));
    return true;
}

}  // namespace

TOVCalcComAdaptor::TOVCalcComAdaptor(TOVCalcCOM& service, QDBusConnection connection,
                                     QObject* parent)
    : QObject(parent),
      service_(service),
      connection_(std::move(connection)),
      object_(std::make_unique<TBusObject>(
          std::vector<std::string_view>{CalcInterface, CalcEventsInterface})),
      clients_(connection_, [this](const QString& client, bool followed) {
          // Its links end with it, as its DDE conversations do.
          service_.ClientGone(client.toStdString());
          if (followed) Q_EMIT ClientsChanged(ClientsHoldingObjects());
      }) {
    AddMethods();
    AddProperties();
    service_.SetEvents(this);
}

void TOVCalcComAdaptor::AddMethods() {
    auto add = [this](std::string_view member, std::string_view signature,
                      TBusObject::THandler handler) {
        object_->AddMethod(CalcInterface, member, signature, Guarded(std::move(handler)));
    };
    add("AppShutdown", "s", [this](const QDBusMessage& call) {
        std::string appID;
        QDBusMessage refusal;
        if (!TextArgument(call, 0, QStringLiteral("The AppID"), appID, refusal)) return refusal;
        service_.AppShutdown(appID);
        return call.createReply();
    });
    add("IsAlive", "",
        [this](const QDBusMessage& call) { return call.createReply(QtText(service_.IsAlive())); });
    add("ResetAllParams", "", [this](const QDBusMessage& call) {
        service_.ResetAllParams();
        return call.createReply();
    });
    add("SetItemChange", "sss", [this](const QDBusMessage& call) {
        std::string appID, item, data;
        QDBusMessage refusal;
        if (!TextArgument(call, 0, QStringLiteral("The AppID"), appID, refusal) ||
            !TextArgument(call, 1, QStringLiteral("The item name"), item, refusal) ||
            !TextArgument(call, 2, QStringLiteral("The data"), data, refusal)) {
            return refusal;
        }
        service_.SetItemChange(appID, item, data);
        return call.createReply();
    });
    add("SetItemLink", "ss", [this](const QDBusMessage& call) {
        std::string appID, item;
        QDBusMessage refusal;
        if (!TextArgument(call, 0, QStringLiteral("The AppID"), appID, refusal) ||
            !TextArgument(call, 1, QStringLiteral("The item name"), item, refusal) ||
            TooLong(appID, MaxLinkAppIDLength, QStringLiteral("The AppID"), call, refusal) ||
            TooLong(item, MaxLinkItemLength, QStringLiteral("The item name"), call, refusal)) {
            return refusal;
        }
        // The link belongs to the caller's connection and ends with it.
        const QString client = call.service();
        switch (service_.SetItemLink(appID, item, client.toStdString())) {
            case lrLinked:
                break;
            case lrClientLimit:
                return call.createErrorReply(
                    QDBusError::LimitsExceeded,
                    QStringLiteral("The item \"%1\" cannot be linked: this connection holds %2 "
                                   "links, the most one client may hold")
                        .arg(QtText(item))
                        .arg(service_.LinkLimits().PerClient));
            case lrStoreLimit:
                return call.createErrorReply(
                    QDBusError::LimitsExceeded,
                    QStringLiteral("The item \"%1\" cannot be linked: the clients hold %2 links, "
                                   "the most OV Calc keeps")
                        .arg(QtText(item))
                        .arg(service_.LinkLimits().InAll));
            default:
                return Failed(
                    call, QStringLiteral("The item \"%1\" cannot be linked.").arg(QtText(item)));
        }
        if (clients_.Follow(client)) Q_EMIT ClientsChanged(ClientsHoldingObjects());
        return call.createReply();
    });
}

// The two items as properties.
void TOVCalcComAdaptor::AddProperties() {
    auto add = [this](std::string_view member, std::string_view signature,
                      TBusObject::THandler handler) {
        object_->AddMethod(PropertiesInterface, member, signature, Guarded(std::move(handler)));
    };
    auto unknownProperty = [](const QDBusMessage& call, const QString& interface,
                              const QString& name) {
        if (interface != QtText(CalcInterface)) {
            return call.createErrorReply(QDBusError::UnknownInterface,
                                         QStringLiteral("No interface \"%1\" here").arg(interface));
        }
        return call.createErrorReply(QDBusError::UnknownProperty,
                                     QStringLiteral("No property \"%1\"").arg(name));
    };
    add("Get", "ss", [this, unknownProperty](const QDBusMessage& call) {
        const QString interface = call.arguments().at(0).toString();
        const QString name = call.arguments().at(1).toString();
        std::string value;
        bool found = interface == QtText(CalcInterface);
        bool ok = false;
        if (found && name == QLatin1String("TIMETAG")) {
            ok = service_.GetTIMETAG(value);
        } else if (found && name == QLatin1String("REALTIME")) {
            ok = service_.GetREALTIME(value);
        } else {
            return unknownProperty(call, interface, name);
        }
        if (!ok) return Failed(call, QStringLiteral("%1 cannot be read.").arg(name));
        return call.createReply(QVariant::fromValue(QDBusVariant(QtText(value))));
    });
    add("Set", "ssv", [this, unknownProperty](const QDBusMessage& call) {
        const QString interface = call.arguments().at(0).toString();
        const QString name = call.arguments().at(1).toString();
        const bool timeTag = name == QLatin1String("TIMETAG");
        if (interface != QtText(CalcInterface) || (!timeTag && name != QLatin1String("REALTIME"))) {
            return unknownProperty(call, interface, name);
        }
        const QVariant value = call.arguments().at(2).value<QDBusVariant>().variant();
        if (value.metaType().id() != QMetaType::QString) {
            return call.createErrorReply(QDBusError::InvalidArgs,
                                         QStringLiteral("%1 takes a string").arg(name));
        }
        std::string text;
        QString refused;
        if (!ExactEngineText(value.toString(), text, refused)) {
            return call.createErrorReply(
                QDBusError::InvalidArgs,
                QStringLiteral("The value for %1 holds %2: OV Calc's text holds characters up to "
                               "U+00FF only")
                    .arg(name, refused));
        }
        bool ok = timeTag ? service_.SetTIMETAG(text) : service_.SetREALTIME(text);
        if (!ok) return Failed(call, QStringLiteral("%1 cannot be written.").arg(name));
        return call.createReply();
    });
    add("GetAll", "s", [this, unknownProperty](const QDBusMessage& call) {
        const QString interface = call.arguments().at(0).toString();
        if (interface != QtText(CalcInterface)) return unknownProperty(call, interface, QString());
        std::string timeTag, realTime;
        if (!service_.GetTIMETAG(timeTag) || !service_.GetREALTIME(realTime)) {
            return Failed(call, QStringLiteral("The properties cannot be read."));
        }
        QVariantMap all;
        all.insert(QStringLiteral("TIMETAG"), QtText(timeTag));
        all.insert(QStringLiteral("REALTIME"), QtText(realTime));
        return call.createReply(QVariant::fromValue(all));
    });
}

TOVCalcComAdaptor::~TOVCalcComAdaptor() {
    // Waits for an announcement in progress on the calculation thread; item changes queued
    // to this object and not yet sent are dropped with it.
    service_.SetEvents(nullptr);
    if (exported_) connection_.unregisterObject(QtText(CalcObjectPath));
}

bool TOVCalcComAdaptor::Export() {
    if (exported_) return true;
    if (!connection_.isConnected()) return false;
    exported_ = object_->Register(connection_, QtText(CalcObjectPath));
    return exported_;
}

void TOVCalcComAdaptor::OnItemChange(const std::string& appID, const std::string& item,
                                     const std::string& data) {
    QList<QVariant> arguments{QtText(appID), QtText(item), QtText(data)};
    QMetaObject::invokeMethod(
        this, [this, arguments] { SendSignal(QtText(ItemChangeSignal), arguments); },
        Qt::QueuedConnection);
}

bool TOVCalcComAdaptor::OnAppShutdown(const std::string& appID) {
    return SendSignal(QtText(AppShutdownSignal), {QtText(appID)});
}

void TOVCalcComAdaptor::OnHeartBeat(const std::string& appID, const std::string& timeStamp) {
    SendSignal(QtText(HeartBeatSignal), {QtText(appID), QtText(timeStamp)});
}

bool TOVCalcComAdaptor::SendSignal(const QString& name, const QList<QVariant>& arguments) {
    QDBusMessage signal =
        QDBusMessage::createSignal(QtText(CalcObjectPath), QtText(CalcEventsInterface), name);
    signal.setArguments(arguments);
    return connection_.send(signal);
}

}  // namespace ov
