// ovsetup's bus object.
#include "SetupService.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QTimer>
#include <cstdio>
#include <utility>

#include "bus/BusSetupValue.h"
#include "busnames/BusNames.h"
#include "qttext/QtText.h"

namespace ov {
namespace {

QDBusMessage ArrayReply(const QDBusMessage& call, const std::vector<TSetupValue>& values) {
    QVariantList list;
    SetupValuesToVariants(values, list);
    return call.createReply(QVariant(list));
}

}  // namespace

TSetupService::TSetupService(QDBusConnection connection, std::filesystem::path file,
                             TSetupSettings settings, QString appId)
    : connection_(std::move(connection)),
      file_(std::move(file)),
      settings_(std::move(settings)),
      appId_(std::move(appId)),
      object_({SetupInterface, SetupEventsInterface, SetupControlInterface}) {
    object_.AddMethod(SetupInterface, "GetGeneralSetup", "", [this](const QDBusMessage& call) {
        return ArrayReply(
            call, loaded_ ? EncodeGeneralSetup(settings_.General) : std::vector<TSetupValue>());
    });
    object_.AddMethod(SetupInterface, "GetDataServerSetup", "", [this](const QDBusMessage& call) {
        return ArrayReply(call, loaded_ ? EncodeDataServerSetup(settings_.DataServer)
                                        : std::vector<TSetupValue>());
    });
    object_.AddMethod(SetupInterface, "GetSetupParam", "s", [this](const QDBusMessage& call) {
        std::string key = EngineText(call.arguments().at(0).toString());
        std::string answer = loaded_ ? SetupParamAnswer(settings_, key) : std::string(SetupNoValue);
        return call.createReply(QtText(answer));
    });

    object_.AddMethod(SetupControlInterface, "Reload", "", [this](const QDBusMessage& call) {
        std::string error;
        if (!Reload(error)) {
            std::fprintf(stderr, "ovsetup: %s; the settings in force stay\n", error.c_str());
            return call.createErrorReply(QStringLiteral("OVSetup.Error.BadSettings"),
                                         QString::fromStdString(error));
        }
        std::fprintf(stderr, "ovsetup: settings reloaded\n");
        return call.createReply();
    });
    const std::pair<const char*, TSetupEvent> events[] = {{"SendSetupChanged", seSetupChanged},
                                                          {"SendRefresh", seRefreshRequest},
                                                          {"SendShutdown", seShutdown},
                                                          {"SendHeartBeat", seHeartBeat}};
    for (const auto& [member, event] : events) {
        object_.AddMethod(SetupControlInterface, member, "",
                          [this, event = event](const QDBusMessage& call) {
                              SendEvent(event);
                              return call.createReply();
                          });
    }
    object_.AddMethod(SetupControlInterface, "SendItemChange", "ss",
                      [this](const QDBusMessage& call) {
                          SendEvent(seItemChange, call.arguments().at(0).toString(),
                                    call.arguments().at(1).toString());
                          return call.createReply();
                      });
    object_.AddMethod(SetupControlInterface, "Quit", "", [](const QDBusMessage& call) {
        // After the reply has gone out.
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        return call.createReply();
    });
}

// The object unexports itself first (the last member), waiting for a call still being answered
// in the bus thread, while the settings it reads are still there.
TSetupService::~TSetupService() = default;

bool TSetupService::Start(std::string& error) {
    if (!object_.Register(connection_, QtText(SetupObjectPath), true)) {
        error = "cannot export " + std::string(SetupObjectPath);
        return false;
    }
    // Without queueing: a second server must not wait for the first one's name.
    auto reply = connection_.interface()->registerService(
        QtText(SetupBusName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        error = reply.isValid() ? "another setup server already owns " + std::string(SetupBusName)
                                : "cannot own " + std::string(SetupBusName) + ": " +
                                      reply.error().message().toStdString();
        connection_.unregisterObject(QtText(SetupObjectPath));
        return false;
    }
    return true;
}

bool TSetupService::Reload(std::string& error) {
    if (file_.empty()) {
        error = "there is no settings file to reload";
        return false;
    }
    TSetupSettings settings;
    if (!LoadSetupSettings(file_, settings, error)) return false;
    settings_ = std::move(settings);
    return true;
}

void TSetupService::SendEvent(TSetupEvent event, const QString& item, const QString& data) {
    QDBusMessage signal = QDBusMessage::createSignal(
        QtText(SetupObjectPath), QtText(SetupEventsInterface), QtText(SetupEventName(event)));
    signal << appId_;
    if (event == seItemChange) signal << item << data;
    connection_.send(signal);
}

}  // namespace ov
