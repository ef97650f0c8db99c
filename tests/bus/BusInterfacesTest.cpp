// The interface descriptions of dbus/ against the names and signatures the code relies on, and
// against what the running ovsetup and ovfeed export.
#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QXmlStreamReader>
#include <map>
#include <set>

#include "BusTestSupport.h"
#include "bus/BusInterfaces.h"

namespace ov::test {
namespace {

// "method GetSetupParam s>s", "signal OnItemChange sss" ...
using TMembers = std::set<std::string>;

std::map<std::string, TMembers> ParseInterfaces(const QString& xml) {
    std::map<std::string, TMembers> interfaces;
    QXmlStreamReader reader(xml);
    std::string interface, member, in, out;
    bool signal = false;
    while (!reader.atEnd()) {
        auto token = reader.readNext();
        const auto name = reader.name();
        const auto attrs = reader.attributes();
        if (token == QXmlStreamReader::StartElement) {
            if (name == QLatin1String("interface")) {
                interface = attrs.value("name").toString().toStdString();
                interfaces[interface];
            } else if (name == QLatin1String("method") || name == QLatin1String("signal")) {
                signal = name == QLatin1String("signal");
                member = attrs.value("name").toString().toStdString();
                in.clear();
                out.clear();
            } else if (name == QLatin1String("arg")) {
                const std::string type = attrs.value("type").toString().toStdString();
                (attrs.value("direction") == QLatin1String("out") ? out : in) += type;
            }
        } else if (token == QXmlStreamReader::EndElement &&
                   (name == QLatin1String("method") || name == QLatin1String("signal"))) {
            interfaces[interface].insert((signal ? "signal " : "method ") + member + " " + in +
                                         (signal ? "" : ">" + out));
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return interfaces;
}

TMembers Described(std::string_view interface) {
    auto file = InterfaceFile(interface);
    auto parsed =
        ParseInterfaces(QString::fromUtf8(file.data(), static_cast<qsizetype>(file.size())));
    EXPECT_EQ(parsed.size(), 1u) << interface;
    return parsed[std::string(interface)];
}

TEST(BusInterfaces, DescriptionsMatchTheNamesAndSignaturesTheCodeUses) {
    // OV Calc's own are checked with its automation object and its DDE service; its main
    // window's (Restore and the property ThreadStopped) here.
    std::set<std::string_view> expected{
        SetupInterface,          SetupEventsInterface,          SetupControlInterface,
        "OVCalc.IOVCalcDataCOM", "OVCalc.IOVCalcDataCOMEvents", DdeInterface,
        MainWindowInterface};
    for (const auto& source : DataSources()) {
        expected.insert(source.Interface);
        expected.insert(source.EventsInterface);
    }
    auto names = InterfaceNames();
    EXPECT_EQ(std::set<std::string_view>(names.begin(), names.end()), expected);

    EXPECT_EQ(Described(SetupInterface),
              (TMembers{"method GetGeneralSetup >av", "method GetDataServerSetup >av",
                        "method GetSetupParam s>s"}));
    TMembers events;
    for (int event = 1; event <= 5; ++event) {
        events.insert("signal " + std::string(SetupEventName(event)) +
                      (event == 5 ? " sss" : " s"));
    }
    EXPECT_EQ(Described(SetupEventsInterface), events);
    EXPECT_EQ(Described(MainWindowInterface), (TMembers{"method Restore >"}));
    EXPECT_EQ(Described(DdeInterface),
              (TMembers{"method Connect ss>u", "method Disconnect u>", "method Request uss>bay",
                        "method Poke ussay>b", "method Execute us>b", "method AdviseStart uss>b"}));
    for (const auto& source : DataSources()) {
        EXPECT_EQ(Described(source.Interface), (TMembers{"method LinkItem ss>"}));
        EXPECT_EQ(Described(source.EventsInterface),
                  (TMembers{"signal " + std::string(ItemChangeSignal) + " sss",
                            "signal " + std::string(AppShutdownSignal) + " s"}));
    }
}

// The live object's introspection, by interface.
std::map<std::string, TMembers> Introspect(std::string_view busName, std::string_view path) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        Q(busName), Q(path), "org.freedesktop.DBus.Introspectable", "Introspect");
    QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    return reply.arguments().isEmpty() ? std::map<std::string, TMembers>{}
                                       : ParseInterfaces(reply.arguments().at(0).toString());
}

TEST(BusInterfaces, RunningProgramsExportTheDescribedInterfaces) {
    auto setup = StartSetup({});
    ASSERT_TRUE(WaitForName(SetupBusName)) << setup->Err();
    auto live = Introspect(SetupBusName, SetupObjectPath);
    for (auto interface : {SetupInterface, SetupEventsInterface, SetupControlInterface}) {
        EXPECT_EQ(live[std::string(interface)], Described(interface)) << interface;
    }
    for (const auto& source : DataSources()) {
        SCOPED_TRACE(std::string(source.Option));
        TProgram feed(FeedArgs({"--as", std::string(source.Option), "--stay"}));
        ASSERT_TRUE(WaitForName(source.BusName)) << feed.Err();
        auto exported = Introspect(source.BusName, source.ObjectPath);
        EXPECT_EQ(exported[std::string(source.Interface)], Described(source.Interface));
        EXPECT_EQ(exported[std::string(source.EventsInterface)], Described(source.EventsInterface));
        feed.Process().Terminate();
        ASSERT_TRUE(WaitForName(source.BusName, false));
    }
}

}  // namespace
}  // namespace ov::test
