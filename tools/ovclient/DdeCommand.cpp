// ovclient dde: connect, request, poke and execute on OV Calc's DDE service, each in a
// conversation of its own that ends before the program does.
#include "DdeCommand.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <cstdio>
#include <optional>

#include "Client.h"
#include "bus/SessionBus.h"
#include "qttext/QtText.h"
#include "suite/DdeService.h"
#include "util/ProgramInfo.h"

namespace ovclient {
namespace {

constexpr const char* DdeUsage =
    R"(Usage: ovclient dde [--service NAME] connect [TOPIC]
       ovclient dde [--service NAME] request TOPIC ITEM [--format F]
       ovclient dde [--service NAME] poke TOPIC ITEM DATA [--format F]
       ovclient dde [--service NAME] execute TOPIC COMMAND

Talks to OV Calc's DDE service (object /DDE, interface OVCalc.DDEML on the bus name
OVCalc.OVCalcCOM). Each command opens a conversation with TOPIC ("SYSTEM", "DATA" or any
other name), makes one transaction and ends the conversation.

  connect   prints the number of the conversation OV Calc accepted (TOPIC: System)
  request   prints the item's data; for example "request System Topics" lists the topics
  poke      stores DATA in the item for a later request and prints OV Calc's answer
            ("not acknowledged": OV Calc keeps the data but processes no pokes)
  execute   sends COMMAND and prints OV Calc's answer (it processes no commands)

Data of the text format is written and read as text (without the NUL byte that ends it on
the bus); data of any other format as hexadecimal digits, two per byte.

  --service NAME  the DDE service (default OVCalc)
  --format F      the clipboard format's name (default Text)
  --help          show this text

The exit status is 0 when OV Calc accepted the conversation and acknowledged the
transaction, 1 otherwise (refused, not acknowledged, no data, or an error), and 2 for a
usage error.
)";

// A usage error of the dde command: status 2, with the way to its help.
int DdeUsageError(const std::string& what) {
    return ov::UsageError("ovclient", what, "ovclient dde");
}

struct TDdeArgs {
    QString Service = QtText(ov::CalcDdeService);
    QString Format = QtText(ov::DdeTextFormat);
    bool FormatGiven = false;
    std::vector<std::string> Words;  // the command and its arguments
};

// Parses the options anywhere among the words; an error message, or nothing.
std::optional<std::string> Parse(const std::vector<std::string>& args, TDdeArgs& out) {
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsEnd && a == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && (a == "--service" || a == "--format")) {
            if (i + 1 >= args.size()) return a + " needs an argument";
            const QString value = QString::fromLocal8Bit(args[++i].c_str());
            if (a == "--service") {
                out.Service = value;
            } else {
                out.Format = value;
                out.FormatGiven = true;
            }
        } else if (!optionsEnd && a.size() > 2 && a.compare(0, 2, "--") == 0) {
            return "unknown option '" + a + "'";
        } else {
            out.Words.push_back(a);
        }
    }
    return std::nullopt;
}

bool IsText(const QString& format) {
    return format.compare(QtText(ov::DdeTextFormat), Qt::CaseInsensitive) == 0;
}

QString Hex(const QByteArray& data) {
    return QString::fromLatin1(data.toHex());
}

// Hexadecimal digits, two per byte, as bytes; nothing for another text.
std::optional<QByteArray> FromHex(const std::string& text) {
    if (text.size() % 2 != 0) return std::nullopt;
    for (char c : text) {
        const bool digit =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!digit) return std::nullopt;
    }
    return QByteArray::fromHex(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

QByteArray TextData(const std::string& argument) {
    const std::string text =
        ov::DdeTextData(ov::EngineText(QString::fromLocal8Bit(argument.c_str())));
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QString DataAsText(const QByteArray& data) {
    const std::string_view bytes(data.constData(), static_cast<std::size_t>(data.size()));
    return ov::QtText(ov::DdeDataText(bytes));
}

class TConversation {
  public:
    explicit TConversation(QDBusConnection& bus) : bus_(bus) {}
    ~TConversation() {
        if (conv_ == 0) return;
        int status = 0;
        CallObject(bus_, ov::DdeObjectPath, ov::DdeInterface, QStringLiteral("Disconnect"),
                   {QVariant::fromValue(conv_)}, status);
    }
    TConversation(const TConversation&) = delete;
    TConversation& operator=(const TConversation&) = delete;

    // 0 when it opened the conversation, else the exit status of the error reported.
    int Open(const QString& service, const QString& topic) {
        int status = 0;
        QDBusMessage reply = Call("Connect", {service, topic}, status);
        if (status != 0) return status;
        if (reply.arguments().size() != 1) return Fail("Connect answered no conversation");
        conv_ = reply.arguments().at(0).toUInt();
        if (conv_ == 0) {
            return Fail("the service \"" + service.toStdString() +
                        "\" refused a conversation with the topic \"" + topic.toStdString() + "\"");
        }
        return 0;
    }
    std::uint32_t Number() const { return conv_; }

    // Calls member with the conversation's number before arguments.
    QDBusMessage Transact(const char* member, QList<QVariant> arguments, int& status) {
        arguments.prepend(QVariant::fromValue(conv_));
        return Call(member, arguments, status);
    }

  private:
    QDBusMessage Call(const char* member, const QList<QVariant>& arguments, int& status) {
        return CallObject(bus_, ov::DdeObjectPath, ov::DdeInterface, QString::fromLatin1(member),
                          arguments, status);
    }

    QDBusConnection& bus_;
    std::uint32_t conv_ = 0;
};

// Prints a poke's or execute's answer: the exit status.
int Acknowledgement(const QDBusMessage& reply) {
    if (reply.arguments().size() != 1) return Fail("the answer has no acknowledgement");
    const bool acknowledged = reply.arguments().at(0).toBool();
    Print(acknowledged ? QStringLiteral("acknowledged") : QStringLiteral("not acknowledged"));
    return acknowledged ? 0 : 1;
}

}  // namespace

int RunDde(const std::vector<std::string>& args) {
    for (const auto& a : args) {
        if (a == "--") break;
        if (a == "--help" || a == "-h") {
            std::fputs(DdeUsage, stdout);
            return 0;
        }
    }
    TDdeArgs parsed;
    if (auto error = Parse(args, parsed)) return DdeUsageError(*error);
    const std::vector<std::string>& words = parsed.Words;
    if (words.empty()) return DdeUsageError("dde needs a command");
    const std::string& command = words[0];
    struct TShape {
        const char* Name;
        std::size_t MinArgs, MaxArgs;
        bool Format;
    };
    static const TShape shapes[] = {{"connect", 0, 1, false},
                                    {"request", 2, 2, true},
                                    {"poke", 3, 3, true},
                                    {"execute", 2, 2, false}};
    const TShape* shape = nullptr;
    for (const auto& s : shapes) {
        if (command == s.Name) shape = &s;
    }
    if (shape == nullptr) return DdeUsageError("unknown dde command \"" + command + "\"");
    const std::size_t count = words.size() - 1;
    if (count < shape->MinArgs || count > shape->MaxArgs ||
        (parsed.FormatGiven && !shape->Format)) {
        return DdeUsageError("wrong arguments for dde " + command);
    }
    auto word = [&words](std::size_t i) { return QString::fromLocal8Bit(words[i].c_str()); };

    QByteArray pokeData;
    if (command == "poke") {
        if (IsText(parsed.Format)) {
            pokeData = TextData(words[3]);
        } else if (auto bytes = FromHex(words[3])) {
            pokeData = *bytes;
        } else {
            return DdeUsageError("data of the format \"" + parsed.Format.toStdString() +
                                 "\" is written as hexadecimal digits, two per byte, not \"" +
                                 words[3] + "\"");
        }
    }

    QDBusConnection bus = ov::StartedSessionBus();
    if (int status = ConnectBus(bus)) return status;
    TConversation conversation(bus);
    const QString topic = count >= 1 ? word(1) : QtText(ov::DdeSystemTopic);
    if (int status = conversation.Open(parsed.Service, topic)) return status;

    int status = 0;
    if (command == "connect") {
        Print(QString::number(conversation.Number()));
        return 0;
    }
    if (command == "request") {
        QDBusMessage reply = conversation.Transact("Request", {word(2), parsed.Format}, status);
        if (status != 0) return status;
        const QList<QVariant> answer = reply.arguments();
        if (answer.size() != 2) return Fail("Request answered no data");
        if (!answer.at(0).toBool()) {
            return Fail("no data: the request of \"" + words[2] + "\" was not acknowledged");
        }
        const QByteArray data = answer.at(1).toByteArray();
        Print(IsText(parsed.Format) ? DataAsText(data) : Hex(data));
        return 0;
    }
    if (command == "poke") {
        QDBusMessage reply =
            conversation.Transact("Poke", {word(2), parsed.Format, pokeData}, status);
        return status != 0 ? status : Acknowledgement(reply);
    }
    QDBusMessage reply = conversation.Transact("Execute", {word(2)}, status);
    return status != 0 ? status : Acknowledgement(reply);
}

}  // namespace ovclient
