#include "ExceptionMessage.h"
#include "TestSupport.h"
#include "ZelkComn.h"
#include "ZelkServerCall.h"

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

using enum ZelkEnums::tZelkConnectionType;

using namespace std::chrono_literals;
using zelk::test::WaitUntil;

namespace {

// What the connections of one test were asked to do, in order.
struct TCallLog {
    QStringList Calls;
    bool ConnectFails = false;
    // The keep-alive probes on a thread of its own.
    std::atomic<bool> ServerAnswers{true};
    std::atomic<int> TimerProbes{0};
};

class TRecordingConnection : public TZelkIntfComponent<TRecordingConnection, IZelkConnection> {
public:
    TRecordingConnection(TComponent* owner, TCallLog& log) : TZelkIntfComponent(owner), Log(log) {}

    void Connect(const QString& clientName, const QString& server, const QString& computer,
                 const QStringList& params, int delay) override {
        Log.Calls << QStringLiteral("Connect %1|%2|%3|%4|%5")
                         .arg(clientName, server, computer)
                         .arg(params.size())
                         .arg(delay);
        if (Log.ConnectFails)
            throw EOPCServerException(QStringLiteral("Unable to connect to OPC server x"));
    }
    void Disconnect() override { Log.Calls << QStringLiteral("Disconnect"); }
    int GetLocaleId() override { return 1033; }
    bool SetOption(const QString& option, const QString& value) override {
        Log.Calls << QStringLiteral("SetOption %1=%2").arg(option, value);
        return false;
    }
    void SetLocaleId(int) override {}
    int Servertype() override { return 2; }
    TObject* GetObject() override { return this; }
    tZelkConnectionType Connectiontype() override { return coCOM; }
    bool SetClientName(const QString& name) override {
        Log.Calls << QStringLiteral("SetClientName ") + name;
        return true;
    }
    bool DoTimer() override {
        ++Log.TimerProbes;
        return Log.ServerAnswers;
    }

    TCallLog& Log;
};

class TTestClient : public TZelkClient {
public:
    explicit TTestClient(TCallLog& log) : Log(log) {}

    using TZelkClient::CheckConnected;
    bool ShutDownFromServer() const { return FShutDownFromServer; }

    ComPtr<IZelkConnection> CreateConnection() override {
        Log.Calls << QStringLiteral("CreateConnection");
        return TRecordingConnection::Create(this, Log);
    }
    void DoActivate() override {
        Log.Calls << QStringLiteral("DoActivate active=%1").arg(Active());
        TZelkClient::DoActivate();
    }
    void DoDeactivate() override {
        TZelkClient::DoDeactivate();
        if (WhileDeactivating)
            WhileDeactivating();
    }

    TCallLog& Log;
    // Runs inside the deactivation, as a release that serves the queue would.
    std::function<void()> WhileDeactivating;
};

// A log record that counts its destructions.
struct TCountedLog : TZelkLogMsg {
    explicit TCountedLog(int& destroyed) : Destroyed(destroyed) {}
    ~TCountedLog() override { ++Destroyed; }
    int& Destroyed;
};

std::unique_ptr<TIFRegisterClass> Transport(tZelkConnectionType kind) {
    auto entry = std::make_unique<TIFRegisterClass>();
    entry->Connectiontype = kind;
    entry->IFGetServerNames = [](const QString& name, QString& caption, QString& clsId) {
        caption = name.toUpper();
        clsId = QStringLiteral("{00000000-0000-0000-0000-000000000001}");
    };
    return entry;
}

// Every test runs with only the COM transport registered.
class Client : public ::testing::Test {
protected:
    Client() { RegisterConnectionType(Transport(coCOM)); }
    // A probe thread still running reads Log.
    ~Client() override {
        WaitUntil([] { return zelk::runtime::RunningCalls() == 0; }, 10s);
    }
    zelk::testing::TScopedConnectionRegistry Registry;
    TCallLog Log;
};

using zelk::test::MessageOf;

} // namespace

TEST_F(Client, KeepAliveIsZeroOrAtLeast500) {
    TTestClient client(Log);
    const std::pair<int, int> cases[] = {{100, 500}, {-5, 500}, {0, 0}, {500, 500}, {501, 501}};
    for (auto [written, stored] : cases) {
        client.SetKeepAlive(written);
        EXPECT_EQ(client.KeepAlive(), stored) << written;
    }
}

TEST_F(Client, ProtocolFollowsTheServerNameScheme) {
    TTestClient client(Log);
    EXPECT_EQ(client.Protocol(), coCOM);
    client.SetServerName(QStringLiteral("https://host/opc"));
    client.DetectProtocol();
    EXPECT_EQ(client.Protocol(), coCOM);

    client.SetServerName(QStringLiteral("OPC.TCP://Host:4840"));
    EXPECT_EQ(MessageOf([&] { client.SetActive(true); }),
              QStringLiteral("Protocol not supported (add ZelkUALink in uses clause)"));
    EXPECT_EQ(client.Protocol(), coUA);
    EXPECT_FALSE(client.Active());
    EXPECT_TRUE(Log.Calls.isEmpty());

    client.SetServerName(QStringLiteral("http://host/opc"));
    client.DetectProtocol();
    EXPECT_EQ(client.Protocol(), coXML);
}

TEST_F(Client, ActivationPassesOptionsThenConnectsThenNotifies) {
    TTestClient client(Log);
    client.SetServerName(QStringLiteral("Sim.1"));
    client.SetClientName(QStringLiteral("op"));
    client.OnConnect = [&](TComponent* sender) {
        EXPECT_EQ(sender, &client);
        Log.Calls << QStringLiteral("OnConnect active=%1").arg(client.Active());
    };
    client.SetActive(true);
    EXPECT_EQ(Log.Calls,
              (QStringList{
                  QStringLiteral("CreateConnection"), QStringLiteral("SetOption LOGLEVEL=0"),
                  QStringLiteral("SetOption USESYNC=1"), QStringLiteral("Connect op|Sim.1||12|0"),
                  QStringLiteral("OnConnect active=1"), QStringLiteral("DoActivate active=1")}));
    // Already active: nothing happens.
    client.SetActive(true);
    EXPECT_EQ(Log.Calls.size(), 6);

    // A new client name goes straight to the server; so does a new log level.
    client.SetClientName(QStringLiteral("other"));
    client.SetLogLevel(3);
    EXPECT_EQ(Log.Calls.mid(6), (QStringList{QStringLiteral("SetClientName other"),
                                             QStringLiteral("SetOption LOGLEVEL=3")}));
    EXPECT_EQ(client.ServerTypeName(), QStringLiteral("DA 2 OPC Server"));
    EXPECT_TRUE(client.Version2());
    EXPECT_EQ(client.LocaleId(), 1033);

    // Changing the server deactivates without reactivating.
    int disconnects = 0;
    client.OnDisconnect = [&](TComponent*) { ++disconnects; };
    client.SetServerName(QStringLiteral("Sim.2"));
    EXPECT_FALSE(client.Active());
    EXPECT_EQ(disconnects, 1);
    EXPECT_EQ(Log.Calls.last(), QStringLiteral("Disconnect"));
}

TEST_F(Client, FailedConnectLeavesTheComponentInactive) {
    TTestClient client(Log);
    Log.ConnectFails = true;
    bool connected = false;
    client.OnConnect = [&](TComponent*) { connected = true; };
    EXPECT_EQ(MessageOf([&] { client.SetActive(true); }),
              QStringLiteral("Unable to connect to OPC server x"));
    EXPECT_FALSE(client.Active());
    EXPECT_FALSE(connected);
    EXPECT_TRUE(client.CheckConnected()); // the unconnected connection object is kept
}

TEST_F(Client, CheckConnectedReportsThroughOnErrorButAlwaysRaises) {
    TTestClient client(Log);
    QString seen;
    client.OnError = [&](TComponent*, const QString& text, bool& raise) {
        seen = text;
        raise = false;
    };
    EXPECT_EQ(MessageOf([&] { client.CheckConnected(); }),
              QStringLiteral("Not connected to server"));
    EXPECT_EQ(seen, QStringLiteral("Not connected to server"));
    EXPECT_EQ(MessageOf([&] { client.LocaleId(); }), QStringLiteral("Not connected to server"));
}

TEST_F(Client, ServerShutdownEndsTheConnectionAndSilencesItUntilTheNextActivation) {
    TTestClient client(Log);
    QStringList events;
    client.OnServerShutdown = [&](TComponent*, const QString& reason) {
        events << QStringLiteral("shutdown '%1' active=%2").arg(reason).arg(client.Active());
    };
    client.OnDisconnect = [&](TComponent*) { events << QStringLiteral("disconnect"); };
    client.OnLog = [&](TComponent*, TZelkLogMsg*) { events << QStringLiteral("log"); };
    client.SetActive(true);

    client.PostMsg(MSG_SERVER_SHUTDOWN, 0, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return events.size() == 2; }));
    EXPECT_EQ(events,
              (QStringList{QStringLiteral("shutdown '' active=1"), QStringLiteral("disconnect")}));
    EXPECT_FALSE(client.Active());
    EXPECT_TRUE(client.ShutDownFromServer());

    // A second request and a log record are dropped; the record is still destroyed.
    int destroyed = 0;
    client.PostMsg(MSG_SERVER_SHUTDOWN, 0, nullptr);
    client.PostMsg(MSG_LOG, 0, std::make_unique<TCountedLog>(destroyed));
    ASSERT_TRUE(WaitUntil([&] { return destroyed == 1; }));
    EXPECT_EQ(events.size(), 2);

    // After the next activation log records reach OnLog again, and are destroyed after it.
    client.SetActive(true);
    EXPECT_FALSE(client.ShutDownFromServer());
    client.PostMsg(MSG_LOG, 0, std::make_unique<TCountedLog>(destroyed));
    ASSERT_TRUE(WaitUntil([&] { return destroyed == 2; }));
    EXPECT_EQ(events.last(), QStringLiteral("log"));
}

TEST_F(Client, ARequestOfAConnectionTheApplicationEndsIsNotALoss) {
    TTestClient client(Log);
    client.SetAutoReconnect(true);
    QStringList events;
    client.OnServerShutdown = [&](TComponent*, const QString&) {
        events << QStringLiteral("shutdown");
    };
    client.OnDisconnect = [&](TComponent*) { events << QStringLiteral("disconnect"); };
    client.OnLog = [&](TComponent*, TZelkLogMsg* log) { events << log->Msg; };

    // Handled while the application disconnects.
    client.SetActive(true);
    client.WhileDeactivating = [&] {
        client.PostMsg(MSG_SERVER_SHUTDOWN, 0, nullptr);
        client.DrainQueue();
    };
    client.SetActive(false);
    EXPECT_EQ(events, QStringList{QStringLiteral("disconnect")});
    EXPECT_FALSE(client.ShutDownFromServer());

    // Still queued when the application disconnects, and handled after.
    client.WhileDeactivating = nullptr;
    client.SetActive(true);
    client.HoldMessages();
    client.PostMsg(MSG_SERVER_SHUTDOWN, 0, nullptr);
    client.SetActive(false);
    client.ReleaseMessages();
    auto marker = std::make_unique<TZelkLogMsg>();
    marker->Msg = QStringLiteral("after");
    client.PostMsg(MSG_LOG, 0, std::move(marker));
    ASSERT_TRUE(WaitUntil([&] { return events.last() == QStringLiteral("after"); }));
    EXPECT_EQ(events, (QStringList{QStringLiteral("disconnect"), QStringLiteral("disconnect"),
                                   QStringLiteral("after")}));
    client.SetActive(true);
    EXPECT_TRUE(client.Active());
}

TEST_F(Client, ShutdownReasonIsDecimalForCOMAndDollarHexForUA) {
    RegisterConnectionType(Transport(coUA));
    TTestClient client(Log);
    QString reason;
    client.OnServerShutdown = [&](TComponent*, const QString& text) { reason = text; };
    client.SetActive(true);
    client.PostMsg(MSG_SERVER_SHUTDOWN, 255, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !client.Active(); }));
    EXPECT_EQ(reason, QStringLiteral("255"));

    client.SetProtocol(coUA);
    client.SetActive(true);
    client.PostMsg(MSG_SERVER_SHUTDOWN, 255, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return !client.Active(); }));
    EXPECT_EQ(reason, QStringLiteral("$FF"));
}

TEST_F(Client, LostServerTimesOutOnceWithOnTimeout) {
    TTestClient client(Log);
    client.SetKeepAlive(500);
    int timeouts = 0;
    int disconnects = 0;
    client.OnTimeout = [&](TComponent*) { ++timeouts; };
    client.OnDisconnect = [&](TComponent*) { ++disconnects; };
    client.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return Log.TimerProbes >= 1; }));
    EXPECT_EQ(Log.TimerProbes.load(), 1); // the server answered
    Log.ServerAnswers = false;
    ASSERT_TRUE(WaitUntil([&] { return disconnects == 1; }));
    EXPECT_EQ(timeouts, 1);
    EXPECT_TRUE(client.ShutDownFromServer());
    const int probes = Log.TimerProbes;
    EXPECT_FALSE(WaitUntil([&] { return Log.TimerProbes > probes; }, 1200ms));
}

TEST_F(Client, LostServerWithoutOnTimeoutStillDeactivates) {
    TTestClient client(Log);
    client.SetKeepAlive(500);
    Log.ServerAnswers = false;
    int disconnects = 0;
    client.OnDisconnect = [&](TComponent*) { ++disconnects; };
    client.SetActive(true);
    ASSERT_TRUE(WaitUntil([&] { return disconnects == 1; }));
    EXPECT_FALSE(client.Active());
    EXPECT_FALSE(client.ShutDownFromServer());
}

TEST_F(Client, SetParamPrefixesByProtocolAndIgnoresEmptyValues) {
    RegisterConnectionType(Transport(coUA));
    TTestClient client(Log);
    const QStringList initial = client.Params();
    ASSERT_EQ(initial.size(), 12);

    client.SetParam(QStringLiteral("user"), QString());
    EXPECT_EQ(client.Params(), initial);

    client.SetParam(QStringLiteral("user"), QStringLiteral("x"));
    EXPECT_EQ(client.Params().size(), 13);
    EXPECT_EQ(client.Params().last(), QStringLiteral("user=x"));

    client.SetProtocol(coUA);
    client.SetParam(QStringLiteral("user"), QStringLiteral("y"));
    EXPECT_EQ(client.Params().size(), 13);
    EXPECT_TRUE(client.Params().contains(QStringLiteral("ua-user=y")));
}

TEST_F(Client, ServerCaptionAndClassIdComeFromTheTransport) {
    TTestClient client(Log);
    client.SetServerName(QStringLiteral("sim.1"));
    client.SetServerCaption(QStringLiteral("stale"));
    EXPECT_EQ(client.ServerCaption(), QStringLiteral("SIM.1"));
    EXPECT_EQ(client.ServerClsId(), QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
}

TEST_F(Client, SettingsSavedWhileActiveConnectAfterLoading) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("client.txt"));
    {
        TTestClient stored(Log);
        stored.SetName(QStringLiteral("Client1"));
        stored.SetServerName(QStringLiteral("Sim.1"));
        stored.SetKeepAlive(2000);
        stored.SetActive(true);
        stored.SaveToFile(path);
    }
    Log.Calls.clear();
    TTestClient loaded(Log);
    loaded.LoadFromFile(path);
    EXPECT_TRUE(loaded.Active());
    EXPECT_EQ(loaded.ServerName(), QStringLiteral("Sim.1"));
    EXPECT_EQ(loaded.KeepAlive(), 2000);
    EXPECT_EQ(loaded.Version(), QStringLiteral("unknown"));
    EXPECT_TRUE(Log.Calls.contains(QStringLiteral("Connect |Sim.1||12|0")));
}

TEST_F(Client, ShortStoredFileLoads) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("short.txt"));
    TTestClient stored(Log);
    stored.SaveToFile(path);
    ASSERT_LT(QFile(path).size(), 299);
    TTestClient loaded(Log);
    EXPECT_NO_THROW(loaded.LoadFromFile(path));
}

TEST_F(Client, BadStoredFilesRaiseAndLeaveTheComponentUnchanged) {
    QTemporaryDir dir;
    auto write = [&](const char* name, const QByteArray& content) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    };
    TTestClient client(Log);
    client.SetServerName(QStringLiteral("Keep.1"));
    client.SetKeepAlive(1000);

    EXPECT_THROW(client.LoadFromFile(dir.filePath(QStringLiteral("missing.txt"))), EFOpenError);
    EXPECT_EQ(MessageOf([&] { client.LoadFromFile(write("empty.txt", {})); }),
              QStringLiteral("Wrong file format"));
    EXPECT_EQ(
        MessageOf([&] { client.LoadFromFile(write("binary.bin", QByteArray(4000, '\xff'))); }),
        QStringLiteral("Wrong file format"));
    EXPECT_EQ(MessageOf([&] {
                  client.LoadFromFile(write("other.txt", "object X: TOtherThing\n  A = 1\nend\n"));
              }),
              QStringLiteral("Wrong file format"));
    // Names the class, but is another one (a longer name), or is broken inside.
    EXPECT_THROW(client.LoadFromFile(write("longer.txt", "object X: TZelkClientX\nend\n")),
                 EReadError);
    EXPECT_THROW(
        client.LoadFromFile(write("unknown.txt", "object X: TZelkClient\n  ServerName = 'New.1'\n"
                                                 "  Bogus = 1\nend\n")),
        EReadError);
    EXPECT_THROW(client.LoadFromFile(
                     write("type.txt", "object X: TZelkClient\n  KeepAlive = 'many'\nend\n")),
                 EReadError);
    QByteArray huge = "object X: TZelkClient\n";
    huge.append(QByteArray(10 * 1024 * 1024, '('));
    EXPECT_THROW(client.LoadFromFile(write("huge.txt", huge)), EReadError);

    EXPECT_EQ(client.ServerName(), QStringLiteral("Keep.1"));
    EXPECT_EQ(client.KeepAlive(), 1000);
    EXPECT_FALSE(client.Active());
    EXPECT_TRUE(Log.Calls.isEmpty());
}

TEST_F(Client, DestroyingAnActiveComponentDisconnectsSilently) {
    int disconnects = 0;
    {
        TTestClient client(Log);
        client.OnDisconnect = [&](TComponent*) { ++disconnects; };
        client.SetActive(true);
    }
    EXPECT_EQ(disconnects, 0);
    EXPECT_EQ(Log.Calls.last(), QStringLiteral("Disconnect"));
}

TEST(ClientWithoutTransport, ConstructionRaises) {
    zelk::testing::TScopedConnectionRegistry empty;
    try {
        TZelkClient client;
        FAIL() << "constructed without a transport";
    } catch (const EOPCException& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("No default connection registered")));
    }
}
