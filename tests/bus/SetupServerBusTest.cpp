// ovsetup on a private bus, asked through the engine's clients: the settings arrays with their
// element types, the single parameters, the enciphered password, queries from a second
// thread, settings answers the engine must refuse, bad settings files, reload and events.
#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <atomic>
#include <future>
#include <thread>

#include "BusTestSupport.h"
#include "bus/BusObject.h"
#include "bus/BusSetupQuery.h"
#include "bus/BusSetupValue.h"
#include "bus/BusSignalReceiver.h"
#include "bus/DBusSetupServer.h"
#include "bus/SdBusSetupServer.h"
#include "suite/Encrypt.h"
#include "suite/SetupParams.h"
#include "util/TextCodec.h"

namespace ov::test {
namespace {

// Runs work on a thread of its own (the calculation thread's place) while this thread's
// events run, so that objects served by this thread can answer it.
template <class F>
auto OnOtherThread(F work) {
    auto future = std::async(std::launch::async, std::move(work));
    SpinUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
              std::chrono::seconds(30));
    return future.get();
}

const char* const SettingsText = R"(; test settings
[General]
0=first
TableDirectory=/data/T)"
                                 "\xC3\xBC"
                                 R"(r tables
8=1234
Element10 = 42
NullValue=-5
rtuenabled=True
15=1
36=1000

[DataServer]
DatabaseAlias=OVPostgres
DatabasePassword=pw1
StorageOption=10

[Params]
Sensor:ST1:SN1,RoundOffTime=00:15:00
Station:ST1,Elevation=
Sensor:ST1:SN1,Shift="  0.5 "
)";

class SetupServerBus : public testing::Test {
  protected:
    void StartServer(const std::string& text = SettingsText) {
        WriteFileText(file_, text);
        server_ = StartSetup({file_.string()});
        ASSERT_TRUE(WaitForName(SetupBusName)) << server_->Err();
    }
    void TearDown() override {
        if (server_) {
            server_->Process().Terminate();
            WaitForName(SetupBusName, false);
        }
    }

    ScratchFolder folder_;
    std::filesystem::path file_ = folder_ / "OVSetup.ini";
    std::unique_ptr<TProgram> server_;
};

// The two clients as a thread other than the main thread makes them: QtDBus on a connection
// of the thread's own (kept in own), or sd-bus.
enum TClientKind { ckQtDBus, ckSdBus };
const char* const ClientNames[] = {"QtDBus", "sd-bus"};

std::unique_ptr<ISetupServer> MakeThreadClient(
    TClientKind kind, std::unique_ptr<TOwnBusConnection>& own,
    std::chrono::milliseconds timeout = SetupCallTimeout) {
    if (kind == ckSdBus) return std::make_unique<TSdBusSetupServer>(timeout);
    own = std::make_unique<TOwnBusConnection>();
    return std::make_unique<TDBusSetupServer>(own->Connection(), timeout);
}

TEST_F(SetupServerBus, SettingsArraysKeepElementTypesAndDecode) {
    StartServer();
    for (TClientKind kind : {ckQtDBus, ckSdBus}) {
        SCOPED_TRACE(ClientNames[kind]);
        auto result = OnOtherThread([&] {
            std::unique_ptr<TOwnBusConnection> own;
            auto client = MakeThreadClient(kind, own);
            std::vector<TSetupValue> general, dataServer;
            bool ok = client->GetGeneralSetup(general) && client->GetDataServerSetup(dataServer);
            TGeneralSetup g;
            TDataServerSetup d;
            bool loaded = LoadGeneralSetup(client.get(), g) && LoadDataServerSetup(client.get(), d);
            return std::make_tuple(ok, general, dataServer, loaded, g, d);
        });
        auto& [ok, general, dataServer, loaded, g, d] = result;
        ASSERT_TRUE(ok);
        ASSERT_EQ(general.size(), 37u);
        ASSERT_EQ(dataServer.size(), 6u);
        EXPECT_TRUE(std::holds_alternative<std::string>(general[0]));
        EXPECT_TRUE(std::holds_alternative<bool>(general[7]));
        EXPECT_TRUE(std::holds_alternative<std::uint16_t>(general[8]));
        EXPECT_TRUE(std::holds_alternative<std::int32_t>(general[10]));
        EXPECT_TRUE(std::holds_alternative<std::uint8_t>(dataServer[4]));
        EXPECT_TRUE(std::holds_alternative<std::int32_t>(dataServer[5]));

        ASSERT_TRUE(loaded);
        EXPECT_EQ(g.Element0, "first");
        EXPECT_EQ(g.TableDirectory, "/data/T\xFCr tables");  // 8-bit text, as the engine holds it
        EXPECT_EQ(g.Element4, "LOG\\");                      // not in the file: the default
        EXPECT_EQ(g.Element8, 1234);
        EXPECT_EQ(g.Element10, 42);
        EXPECT_EQ(g.NullValue, -5);
        EXPECT_TRUE(g.RtuEnabled);
        EXPECT_TRUE(g.DecoderEnabled);
        EXPECT_FALSE(g.MBRtuEnabled);
        EXPECT_EQ(g.Element36, 1000);
        EXPECT_EQ(d.DatabaseAlias, "OVPostgres");
        EXPECT_EQ(d.DatabaseUser, "aa");
        EXPECT_EQ(d.StorageOption, soPostgres);
        // The password travels enciphered and comes back through the suite's cipher.
        EXPECT_NE(d.DatabasePassword, "pw1");
        EXPECT_EQ(DecodeLogin(d.DatabasePassword), "pw1");
    }
}

TEST_F(SetupServerBus, PasswordsWithEveryByteValueSurviveTheBus) {
    // Enciphered passwords hold bytes 0x80-0xFF, which travel as code points U+0080-U+00FF.
    const std::string password = "\xE9t\xE9-2026!";  // "été-2026!" in 8-bit text
    std::string field;
    ASSERT_TRUE(EncodeLogin(password, "", field));
    ASSERT_EQ(field.find('\0'), std::string::npos);
    StartServer("[DataServer]\nDatabasePassword=" + Latin1ToUtf8(password) + "\n");
    TDataServerSetup d;
    ASSERT_TRUE(OnOtherThread([&] {
        TSdBusSetupServer client;
        return LoadDataServerSetup(&client, d);
    }));
    EXPECT_EQ(d.DatabasePassword, field);
    EXPECT_EQ(DecodeLogin(d.DatabasePassword), password);
}

TEST_F(SetupServerBus, SetupParamsAnswerKeysWithoutRegardToCase) {
    StartServer();
    struct TCase {
        const char* Key;
        bool Found;
        const char* Value;
    } cases[] = {
        {"Sensor:ST1:SN1,RoundOffTime", true, "00:15:00"},
        {"SENSOR:st1:sn1,roundofftime", true, "00:15:00"},
        {"Station:ST1,Elevation", true, ""},       // an empty answer is a value
        {"Sensor:ST1:SN1,Shift", true, "  0.5 "},  // quotes keep the blanks
        {"SetupLoad", true, "OK"},
        {"setupload", true, "OK"},
        {"Sensor:ST1:SN1,Offset", false, "unchanged"},  // "ERROR": no value
        {"", false, "unchanged"},
    };
    TDBusSetupServer mainClient;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Key);
        std::string value = "unchanged";
        EXPECT_EQ(QuerySetup(&mainClient, c.Key, value), c.Found);
        EXPECT_EQ(value, c.Value);
        std::string raw;
        ASSERT_TRUE(mainClient.GetSetupParam(c.Key, raw));
        if (!c.Found) {
            EXPECT_EQ(raw, "ERROR");
        }

        auto [found, threadValue] = OnOtherThread([&] {
            TSdBusSetupServer client;
            std::string v = "unchanged";
            bool f = QuerySetup(&client, c.Key, v);
            return std::make_pair(f, v);
        });
        EXPECT_EQ(found, c.Found);
        EXPECT_EQ(threadValue, c.Value);
    }
}

TEST_F(SetupServerBus, QuerySetupFromTheMainThreadAndASecondThread) {
    StartServer();
    TBusSetupQuery query;
    std::string value;
    ASSERT_TRUE(query.QuerySetup("Sensor:ST1:SN1,RoundOffTime", value));
    EXPECT_EQ(value, "00:15:00");

    auto thread = [&](const std::string& key) {
        return OnOtherThread([&] {
            EXPECT_TRUE(query.AttachThread());
            std::string v = "none";
            bool found = query.QuerySetup(key, v);
            std::string error = static_cast<TSdBusSetupServer&>(query.Server()).LastError();
            // The thread's connection lasts for its further queries until detached.
            std::string again;
            bool foundAgain = query.QuerySetup(key, again);
            query.DetachThread();
            return std::make_tuple(found, v, foundAgain && again == v, error);
        });
    };
    auto [found, v, stable, error] = thread("sensor:st1:sn1,roundofftime");
    EXPECT_TRUE(found);
    EXPECT_EQ(v, "00:15:00");
    EXPECT_TRUE(stable);

    // Without a setup server the calculation thread's query is not made at all.
    ASSERT_EQ(RunSetupCommand({"--quit"}), 0);
    ASSERT_TRUE(WaitForName(SetupBusName, false));
    server_.reset();
    auto [foundNone, vNone, stableNone, errorNone] = thread("Sensor:ST1:SN1,RoundOffTime");
    EXPECT_FALSE(foundNone);
    EXPECT_EQ(vNone, "none");
    EXPECT_EQ(errorNone, "the setup server is not running");
    EXPECT_FALSE(query.QuerySetup("SetupLoad", value));  // main thread: the call fails

    // A thread's connection follows the server coming back.
    std::atomic<int> step{0};
    std::thread calc([&] {
        TSdBusSetupServer client;
        EXPECT_FALSE(client.ServerRunning());
        step = 1;
        while (step != 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!client.ServerRunning() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::string answer;
        EXPECT_TRUE(QuerySetup(&client, "SetupLoad", answer));
        EXPECT_EQ(answer, "OK");
    });
    while (step != 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    StartServer();
    step = 2;
    calc.join();
}

// A setup server of the test's own, answering what ovsetup never would. The test's main thread
// serves it while the clients call from other threads.
class FakeSetupBus : public testing::Test {
  protected:
    void SetUp() override {
        object_.AddMethod(SetupInterface, "GetGeneralSetup", "",
                          [this](const QDBusMessage& call) { return call.createReply(general_); });
        object_.AddMethod(
            SetupInterface, "GetDataServerSetup", "",
            [this](const QDBusMessage& call) { return call.createReply(dataServer_); });
        object_.AddMethod(SetupInterface, "GetSetupParam", "s",
                          [](const QDBusMessage& call) { return call.createReply(QString("x")); });
        ASSERT_TRUE(object_.Register(own_.Connection(), Q(SetupObjectPath)));
        ASSERT_TRUE(own_.Connection().registerService(Q(SetupBusName)));
        general_ = Array(EncodeGeneralSetup(TGeneralSetup{}));
        dataServer_ = Array(EncodeDataServerSetup(TDataServerSetup{}));
    }
    void TearDown() override {
        own_.Connection().unregisterService(Q(SetupBusName));
        own_.Connection().unregisterObject(Q(SetupObjectPath));
    }

    static QVariant Array(const std::vector<TSetupValue>& values) {
        QVariantList list;
        EXPECT_TRUE(SetupValuesToVariants(values, list));
        return list;
    }

    // Loads the general settings (or the data-server settings) through client kind into a
    // record that differs from the defaults; whether it loaded, and whether the record then
    // holds the defaults.
    std::pair<bool, bool> Load(TClientKind kind, bool general) {
        return OnOtherThread([&] {
            std::unique_ptr<TOwnBusConnection> own;
            auto client = MakeThreadClient(kind, own);
            if (general) {
                TGeneralSetup record;
                record.NullValue = 1;
                record.Element36 = 0;
                bool loaded = LoadGeneralSetup(client.get(), record);
                record.Element36 = 0;  // the default is the current time tag
                TGeneralSetup defaults;
                defaults.Element36 = 0;
                return std::make_pair(loaded, record == defaults);
            }
            TDataServerSetup record;
            record.DatabaseAlias = "other";
            record.Element5 = 0;
            bool loaded = LoadDataServerSetup(client.get(), record);
            record.Element5 = 0;
            TDataServerSetup defaults;
            defaults.Element5 = 0;
            return std::make_pair(loaded, record == defaults);
        });
    }

    TOwnBusConnection own_;
    TBusObject object_{{SetupInterface}};
    QVariant general_;
    QVariant dataServer_;
};

TEST_F(FakeSetupBus, AnswersTheSettingsCannotUseLeaveTheDefaults) {
    const auto good = EncodeGeneralSetup(TGeneralSetup{});
    auto badType = good;
    badType[26] = std::string("many");  // text where the null value's number belongs
    const auto ds = EncodeDataServerSetup(TDataServerSetup{});
    struct TCase {
        const char* Name;
        bool General;
        QVariant Answer;
        bool Loads;
    } cases[] = {
        {"37 elements", true, Array(good), true},
        {"36 elements: refused as a whole", true,
         Array(std::vector<TSetupValue>(good.begin(), good.end() - 1)), false},
        {"an empty array: a null answer", true, Array({}), false},
        {"an element of the wrong type", true, Array(badType), false},
        {"no array of values", true, QVariant(QStringList{"a", "b"}), false},
        {"6 data-server elements", false, Array(ds), true},
        {"5 data-server elements", false, Array(std::vector<TSetupValue>(ds.begin(), ds.end() - 1)),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        (c.General ? general_ : dataServer_) = c.Answer;
        for (TClientKind kind : {ckQtDBus, ckSdBus}) {
            SCOPED_TRACE(ClientNames[kind]);
            auto [loaded, defaults] = Load(kind, c.General);
            EXPECT_EQ(loaded, c.Loads);
            EXPECT_TRUE(defaults);  // the good answers hold the defaults too
        }
    }
}

TEST_F(FakeSetupBus, ACallThatTimesOutHasFailed) {
    // This thread does not serve its object while the clients wait: no answer comes.
    for (TClientKind kind : {ckQtDBus, ckSdBus}) {
        SCOPED_TRACE(ClientNames[kind]);
        std::thread calc([kind] {
            std::unique_ptr<TOwnBusConnection> own;
            auto client = MakeThreadClient(kind, own, std::chrono::milliseconds(300));
            std::string value = "unchanged";
            EXPECT_FALSE(QuerySetup(client.get(), "SetupLoad", value));
            EXPECT_EQ(value, "unchanged");
        });
        calc.join();
    }
}

TEST_F(SetupServerBus, BadSettingsFilesAreRefusedWithTheirLine) {
    // A password whose enciphered form holds a zero byte, which no bus text can carry.
    std::string zeroPassword;
    for (int a = 33; a < 127 && zeroPassword.empty(); ++a) {
        for (int b = 33; b < 127 && zeroPassword.empty(); ++b) {
            std::string candidate{static_cast<char>(a), static_cast<char>(b)};
            std::string field;
            if (candidate.find(':') == std::string::npos && EncodeLogin(candidate, "", field) &&
                field.find('\0') != std::string::npos) {
                zeroPassword = candidate;
            }
        }
    }
    ASSERT_FALSE(zeroPassword.empty());

    struct TCase {
        std::string Text;
        int Line;
        std::string Says;
    } cases[] = {
        {"[General]\nRtuEnabled=True\n[Genral]\n", 3, "unknown section [Genral]"},
        {"[General]\n\nTableDirectory\n", 3, "is not of the form key=value"},
        {"RtuEnabled=True\n", 1, "before the first section"},
        {"[General]\n37=x\n", 2, "unknown element 37"},
        {"[General]\nNoSuchField=x\n", 2, "unknown element NoSuchField"},
        {"; c\n[General]\nRtuEnabled=perhaps\n", 3, "RtuEnabled (element 14) takes a boolean"},
        {"[General]\n8=70000\n", 2, "Element8 (element 8) takes a whole number from 0 to 65535"},
        {"[General]\nNullValue=1.5\n", 2, "NullValue (element 26) takes a whole number"},
        {"[General]\n14=1\nrtuenabled=0\n", 3, "given twice (first on line 2)"},
        {"[DataServer]\nStorageOption=256\n", 2,
         "StorageOption (element 4) takes a whole number from 0 to 255"},
        {"[DataServer]\nStorageOption=99\n", 2,
         "StorageOption (element 4) takes one of the storage options 0 (None), 1 (PCBASE), "
         "2 (ORACLE), 3 (LOGGER), 4 (ACCESS), 5 (EXCEL), 6 (XML), 7 (SQLSERVER), 8 (HDB), "
         "9 (INSQL), 10 (POSTGRES), not \"99\""},
        {"[DataServer]\nStorageOption=11\n", 2, "not \"11\""},
        {"[DataServer]\nDatabasePassword=a:b\n", 2, "cannot hold \":\""},
        {"[DataServer]\nDatabasePassword=" + zeroPassword + "\n", 2, "zero byte"},
        {"[General]\nTableDirectory=/data/\xE2\x82\xAC\n", 2, "8-bit text cannot hold"},
        // Bytes that are no UTF-8 at all: said so, with the byte's place in its line.
        {"[General]\nTableDirectory=/data/\xFF\xFE\n", 2,
         "the file is not valid UTF-8: byte 22 of the line (0xFF) is not part of a UTF-8 "
         "character"},
        {"; caf\xE9 (8-bit text)\n[General]\n", 1, "not valid UTF-8: byte 6 of the line (0xE9)"},
        {"[General]\r\nTableDirectory=\xC3(\r\n", 2, "not valid UTF-8: byte 16 of the line (0xC3)"},
        {"[Params]\nA=1\na=2\n", 3, "the key a is given twice"},
        {"[Params\n", 1, "must end with \"]\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        WriteFileText(file_, c.Text);
        auto program = StartSetup({file_.string()});
        EXPECT_EQ(program->Wait(), 2);
        const std::string err = program->Err();
        EXPECT_NE(err.find(file_.string() + ":" + std::to_string(c.Line) + ": "), std::string::npos)
            << err;
        EXPECT_NE(err.find(c.Says), std::string::npos) << err;
        EXPECT_NE(err.find("does not start"), std::string::npos) << err;
    }
    // A missing file named on the command line is a bad file too, and so are a folder and
    // a binary file (said whole, not cut at its first zero byte).
    struct TFileCase {
        std::filesystem::path File;
        std::string Says;
    } fileCases[] = {
        {folder_ / "missing.ini", "missing.ini: cannot be read"},
        {folder_ / "folder.ini", "folder.ini: is a folder, not a settings file"},
        {folder_ / "binary.ini", "binary.ini: is not a text file (a zero byte at offset 5)"},
    };
    std::filesystem::create_directory(folder_ / "folder.ini");
    WriteFileText(folder_ / "binary.ini", std::string("[Gen\x01\0\xff]\n14=1\n", 14));
    for (const auto& c : fileCases) {
        SCOPED_TRACE(c.File.string());
        auto program = StartSetup({c.File.string()});
        EXPECT_EQ(program->Wait(), 2);
        EXPECT_NE(program->Err().find(c.Says), std::string::npos) << program->Err();
        EXPECT_NE(program->Err().find("does not start"), std::string::npos) << program->Err();
    }
    TBusNameWatcher watcher;
    EXPECT_FALSE(watcher.IsRunning(Q(SetupBusName)));
}

TEST_F(SetupServerBus, ReloadTakesTheNewFileAndKeepsTheOldOneOnAFault) {
    StartServer();
    TDBusSetupServer client;
    std::string value;
    WriteFileText(file_, "[Params]\nSensor:ST1:SN1,RoundOffTime=01:00:00\n");
    ASSERT_EQ(RunSetupCommand({"--reload"}), 0);
    ASSERT_TRUE(QuerySetup(&client, "Sensor:ST1:SN1,RoundOffTime", value));
    EXPECT_EQ(value, "01:00:00");

    WriteFileText(file_, "[Params]\nSensor:ST1:SN1,RoundOffTime=00:30:00\n[Oops]\n");
    std::string err;
    EXPECT_EQ(RunSetupCommand({"--reload"}, &err), 1);
    EXPECT_NE(err.find(file_.string() + ":3: unknown section [Oops]"), std::string::npos) << err;
    ASSERT_TRUE(QuerySetup(&client, "Sensor:ST1:SN1,RoundOffTime", value));
    EXPECT_EQ(value, "01:00:00");

    // The settings file became a folder: refused like any bad file, and the server goes on.
    std::filesystem::remove(file_);
    std::filesystem::create_directory(file_);
    EXPECT_EQ(RunSetupCommand({"--reload"}, &err), 1);
    EXPECT_NE(err.find(file_.string() + ": is a folder, not a settings file"), std::string::npos)
        << err;
    ASSERT_TRUE(QuerySetup(&client, "Sensor:ST1:SN1,RoundOffTime", value));
    EXPECT_EQ(value, "01:00:00");
    EXPECT_FALSE(server_->Process().Wait(std::chrono::milliseconds(0)).has_value());
}

TEST_F(SetupServerBus, EventsAreSentOnRequestAndShutdownLeavesTheServerRunning) {
    StartServer();
    std::vector<std::string> received;
    std::vector<std::unique_ptr<TBusSignalReceiver>> receivers;
    for (int event = 1; event <= 5; ++event) {
        receivers.push_back(std::make_unique<TBusSignalReceiver>(
            QDBusConnection::sessionBus(), Q(SetupBusName), Q(SetupObjectPath),
            Q(SetupEventsInterface), Q(SetupEventName(event)), [&](const QDBusMessage& m) {
                std::string line = m.member().toStdString();
                for (const auto& a : m.arguments()) line += " " + a.toString().toStdString();
                received.push_back(line);
            }));
        ASSERT_TRUE(receivers.back()->Subscribed());
    }
    ASSERT_EQ(RunSetupCommand({"--setup-changed", "--refresh", "--heartbeat", "--item-change",
                               "$TIMETAG", "12/08/2026 20:41:05,ST1.SN1,1.5", "--shutdown"}),
              0);
    const std::string id(SetupAppID);
    std::vector<std::string> expected{
        "OnSetupChanged " + id, "OnRefreshRequest " + id, "OnHeartBeat " + id,
        "OnItemChange " + id + " $TIMETAG 12/08/2026 20:41:05,ST1.SN1,1.5", "OnShutdown " + id};
    EXPECT_TRUE(SpinUntil([&] { return received.size() >= expected.size(); }));
    EXPECT_EQ(received, expected);
    TBusNameWatcher watcher;
    EXPECT_TRUE(watcher.IsRunning(Q(SetupBusName)));

    ASSERT_EQ(RunSetupCommand({"--quit"}), 0);
    EXPECT_EQ(server_->Wait(), 0);
}

TEST_F(SetupServerBus, ASecondServerDoesNotStartAndCommandsNeedARunningOne) {
    std::string err;
    EXPECT_EQ(RunSetupCommand({"--refresh"}, &err), 1);
    EXPECT_NE(err.find("no setup server is running"), std::string::npos) << err;

    StartServer();
    auto second = StartSetup({file_.string()});
    EXPECT_EQ(second->Wait(), 1);
    EXPECT_NE(second->Err().find("already owns OVSetup.Applications"), std::string::npos)
        << second->Err();
    std::string value;
    TDBusSetupServer client;
    EXPECT_TRUE(QuerySetup(&client, "SetupLoad", value));
}

TEST_F(SetupServerBus, SetupLoadAnswersOkOnlyOnceLoaded) {
    WriteFileText(file_, SettingsText);
    server_ = StartSetup({file_.string(), "--load-delay", "3"});
    ASSERT_TRUE(WaitForName(SetupBusName)) << server_->Err();
    TDBusSetupServer client;
    std::string value;
    std::vector<TSetupValue> general{std::string("x")};
    // Asked at once, the server is still loading.
    EXPECT_FALSE(QuerySetup(&client, "SetupLoad", value));
    EXPECT_TRUE(client.GetGeneralSetup(general));
    EXPECT_TRUE(general.empty());
    EXPECT_TRUE(SpinUntil([&] { return QuerySetup(&client, "SetupLoad", value); }));
    EXPECT_EQ(value, "OK");
}

}  // namespace
}  // namespace ov::test
