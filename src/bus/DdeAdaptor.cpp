// The DDE service's calls answered on the bus: arguments and answers converted, the manager's
// refusals turned into the interface's errors, and clients followed until they leave.
#include "bus/DdeAdaptor.h"

#include <QByteArray>
#include <QDBusMessage>
#include <exception>
#include <string>
#include <utility>

#include "bus/BusObject.h"
#include "busnames/BusNames.h"
#include "qttext/QtText.h"
#include "suite/DdeManager.h"

namespace ov {
namespace {

// A client is named by its connection's unique name (plain ASCII).
std::string ClientName(const QDBusMessage& call) {
    return call.service().toStdString();
}

std::uint32_t Conv(const QDBusMessage& call) {
    return call.arguments().at(0).toUInt();
}

std::string Bytes(const QVariant& argument) {
    const QByteArray bytes = argument.toByteArray();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// The error for an answer that is one, else an empty message.
QDBusMessage ErrorFor(const QDBusMessage& call, TDDEMLAnswer answer, const TDDEMLLimits& limits) {
    auto error = [&call](std::string_view name, const QString& text) {
        return call.createErrorReply(QtText(name), text);
    };
    switch (answer) {
        case daAck:
        case daNotProcessed:
            break;
        case daBusy:
            return error(DdeBusyError, QStringLiteral("The service is busy."));
        case daNoConversation:
            return error(DdeNoConversationError,
                         QStringLiteral("This connection has no conversation %1.").arg(Conv(call)));
        case daTooManyConversations:
            return error(DdeTooManyConversationsError,
                         QStringLiteral("Too many conversations: at most %1 per connection and %2 "
                                        "in all.")
                             .arg(limits.ConversationsPerClient)
                             .arg(limits.Conversations));
        case daNameTooLong:
            return error(DdeNameTooLongError,
                         QStringLiteral("A topic, item or format name is longer than %1 bytes.")
                             .arg(limits.NameLength));
        case daNoFormat:
            return error(DdeNoFormatError, QStringLiteral("The format name is empty."));
        case daItemTooLarge:
            return error(
                DdeDataTooLargeError,
                QStringLiteral("An item holds at most %1 bytes of data.").arg(limits.ItemData));
        case daStoreFull:
            return error(DdeStoreFullError,
                         QStringLiteral("No room for more item data: at most %1 items and %2 bytes "
                                        "are held until requested.")
                             .arg(limits.Items)
                             .arg(limits.TotalData));
    }
    return {};
}

// A member's error goes back to the caller as a failed call; the service goes on.
TBusObject::THandler Guarded(TBusObject::THandler handler) {
    return [handler = std::move(handler)](const QDBusMessage& call) {
        try {
            return handler(call);
        } catch (const std::exception& error) {
            return call.createErrorReply(QDBusError::Failed, QtText(error.what()));
        } catch (...) {
            return call.createErrorReply(QDBusError::Failed, QStringLiteral("Unexpected error"));
        }
    };
}

}  // namespace

TDdeAdaptor::TDdeAdaptor(TDDEMLManager& manager, QDBusConnection connection, QObject* parent)
    : QObject(parent),
      manager_(manager),
      connection_(std::move(connection)),
      object_(std::make_unique<TBusObject>(std::vector<std::string_view>{DdeInterface})),
      clients_(connection_, [this](const QString& client, bool) {
          manager_.DisconnectClient(client.toStdString());
      }) {
    // Answers with ack as the reply's boolean, or the error the answer stands for.
    auto answered = [this](const QDBusMessage& call, TDDEMLAnswer answer) {
        QDBusMessage error = ErrorFor(call, answer, manager_.Limits());
        if (error.type() == QDBusMessage::ErrorMessage) return error;
        return call.createReply(answer == daAck);
    };
    auto add = [this](std::string_view member, std::string_view signature,
                      TBusObject::THandler handler) {
        object_->AddMethod(DdeInterface, member, signature, Guarded(std::move(handler)));
    };
    add("Connect", "ss", [this](const QDBusMessage& call) {
        const QList<QVariant> args = call.arguments();
        std::uint32_t conv = 0;
        const TDDEMLAnswer answer =
            manager_.Connect(ClientName(call), EngineText(args.at(0).toString()),
                             EngineText(args.at(1).toString()), conv);
        QDBusMessage error = ErrorFor(call, answer, manager_.Limits());
        if (error.type() == QDBusMessage::ErrorMessage) return error;
        if (conv != 0) clients_.Follow(call.service());
        return call.createReply(conv);
    });
    add("Disconnect", "u", [this](const QDBusMessage& call) {
        const TDDEMLAnswer answer = manager_.Disconnect(ClientName(call), Conv(call));
        QDBusMessage error = ErrorFor(call, answer, manager_.Limits());
        if (error.type() == QDBusMessage::ErrorMessage) return error;
        if (manager_.ClientConversationCount(ClientName(call)) == 0)
            clients_.Unfollow(call.service());
        return call.createReply();
    });
    add("Request", "uss", [this](const QDBusMessage& call) {
        const QList<QVariant> args = call.arguments();
        std::string data;
        const TDDEMLAnswer answer =
            manager_.Request(ClientName(call), Conv(call), EngineText(args.at(1).toString()),
                             EngineText(args.at(2).toString()), data);
        QDBusMessage error = ErrorFor(call, answer, manager_.Limits());
        if (error.type() == QDBusMessage::ErrorMessage) return error;
        const QByteArray bytes(data.data(), static_cast<qsizetype>(data.size()));
        return call.createReply(QList<QVariant>{answer == daAck, bytes});
    });
    add("Poke", "ussay", [this, answered](const QDBusMessage& call) {
        const QList<QVariant> args = call.arguments();
        return answered(
            call, manager_.Poke(ClientName(call), Conv(call), EngineText(args.at(1).toString()),
                                EngineText(args.at(2).toString()), Bytes(args.at(3))));
    });
    add("Execute", "us", [this, answered](const QDBusMessage& call) {
        return answered(call, manager_.Execute(ClientName(call), Conv(call),
                                               EngineText(call.arguments().at(1).toString())));
    });
    add("AdviseStart", "uss", [this, answered](const QDBusMessage& call) {
        const QList<QVariant> args = call.arguments();
        return answered(call, manager_.AdviseStart(ClientName(call), Conv(call),
                                                   EngineText(args.at(1).toString()),
                                                   EngineText(args.at(2).toString())));
    });
}

TDdeAdaptor::~TDdeAdaptor() {
    if (exported_) connection_.unregisterObject(QtText(DdeObjectPath));
}

bool TDdeAdaptor::Export() {
    if (exported_) return true;
    if (!connection_.isConnected()) return false;
    exported_ = object_->Register(connection_, QtText(DdeObjectPath));
    return exported_;
}

}  // namespace ov
