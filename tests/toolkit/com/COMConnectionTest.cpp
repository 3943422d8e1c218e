// The COM connection against the simulated OPC AE server, reached through the class
// registry like any installed server, locally and on the declared computer PLANTPC.

#include "COMTestSupport.h"
#include "ExceptionMessage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <thread>

using namespace zelk::com;
using namespace zelk::test;
using namespace Qt::StringLiterals;
using zelk::aesim::TScopedAESimulator;
using zelk::aesim::TSimClassOptions;

namespace {

constexpr CLSID CLSID_Bare = ZelkGuid("7C3D9A12-5B4E-4F6A-8C1D-2E3F4A5B6C02");
const QString SimProgId = u"Zelk.AESimulator.1"_s;
const QString SimClassId = u"{5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A6F1}"_s;

TSimClassOptions Kind(bool connectionPoints, bool browse) {
    TSimClassOptions options;
    options.Capabilities.ConnectionPoints = connectionPoints;
    options.Capabilities.AnswersIOPCBrowse = browse;
    return options;
}

// A subclass that fails at the end of its activation, as one whose server lacks the
// interfaces it needs would.
class TFailingConnection : public TZelkCOMConnection {
public:
    using TZelkCOMConnection::TZelkCOMConnection;
    static ComPtr<TFailingConnection> Create(TComponent* AOwner) {
        ComPtr<TFailingConnection> connection;
        connection.Attach(new TFailingConnection(AOwner));
        return connection;
    }

protected:
    void GetInterfaces() override { throw EOPCException(u"no event server"_s); }
};

class COMConnection : public TCOMTest {
protected:
    ComPtr<TZelkCOMConnection> Connected(const QString& server, const QString& computer = {},
                                         const QString& clientName = u"Operator"_s) {
        auto connection = TZelkCOMConnection::Create(&Owner);
        connection->Connect(clientName, server, computer, {}, 0);
        return connection;
    }

    TPostRecorder Owner;
};

} // namespace

TEST_F(COMConnection, ClientConnectsByProgIdAndClassIdLocallyAndRemotely) {
    TScopedAESimulator local;
    TScopedAESimulator remote(TSimClassOptions(), u"PLANTPC"_s);
    TCOMTestClient client;
    client.SetClientName(u"Operator"_s);
    for (const QString& computer : {QString(), u"plantpc"_s, u"   "_s}) {
        zelk::aesim::TAESimulator& sim = computer == u"plantpc"_s ? *remote : *local;
        sim.Faults().ClearCalls();
        // The ProgID is resolved on this computer, the object made on the named one.
        for (const QString& name : {SimProgId, SimClassId.toLower()}) {
            client.Connect(name, computer);
            ASSERT_TRUE(client.Active());
            EXPECT_EQ(sim.ServerObjects(), 1);
            EXPECT_EQ(local->ServerObjects() + remote->ServerObjects(), 1);
            EXPECT_EQ(client.ServerTypeName(), u"DA 2 OPC Server"_s);
            EXPECT_EQ(client.LocaleId(), 0x0409);
            client.Disconnect();
            EXPECT_EQ(sim.ServerObjects(), 0);
        }
        const auto announced = sim.Faults().Calls("IOPCCommon::SetClientName");
        ASSERT_EQ(announced.size(), 2u);
        EXPECT_EQ(announced[0].Arguments, u"Name=Operator"_s);
    }
    // A blank client name is not announced.
    auto silent = Connected(SimProgId, {}, u"  "_s);
    EXPECT_EQ(local->Faults().CallCount("IOPCCommon::SetClientName"), 2);

    client.SetServerName(SimProgId);
    EXPECT_EQ(client.ServerCaption(), SimClassId);
    EXPECT_EQ(client.ServerClsId(), SimClassId);
    client.SetServerName(SimClassId.toLower());
    EXPECT_EQ(client.ServerCaption(), SimProgId);
}

TEST_F(COMConnection, FailuresLeaveTheConnectionInactive) {
    TScopedAESimulator local;
    auto connection = TZelkCOMConnection::Create(&Owner);
    auto connect = [&](const QString& server, const QString& computer = {}) {
        return MessageOf([&] { connection->Connect({}, server, computer, {}, 0); });
    };
    EXPECT_EQ(connect({}), u"Server name not found in registry or empty"_s);
    EXPECT_EQ(connect(u"No.Such.Server"_s), u"Server name not found in registry or empty"_s);
    EXPECT_EQ(connect(u"{7c3d9a12-5b4e-4f6a-8c1d-2e3f4a5b6c09}"_s),
              u"Class not registered, ClassID: {7C3D9A12-5B4E-4F6A-8C1D-2E3F4A5B6C09}"_s);
    try {
        connection->Connect({}, SimProgId, u"NOWHERE"_s, {}, 0);
        FAIL() << "no exception";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(static_cast<std::uint32_t>(e.ErrorCode()), 0x800706BAu);
        EXPECT_EQ(e.Message(), u"The RPC server is unavailable"_s);
    }
    // A remote failure carries the system text alone.
    EXPECT_EQ(connect(SimProgId, u"PLANTPC"_s), u"Class not registered"_s);

    // A factory that answers success without an object.
    ClassRegistration empty = BareClass(CLSID_Bare, u"Zelk.TestEmpty.1"_s);
    empty.Factory = MakeClassFactory(TCreateInstance([](REFIID, void**) { return S_OK; }));
    ScopedClassRegistration emptyClass(empty);
    EXPECT_EQ(connect(u"Zelk.TestEmpty.1"_s),
              u"Unable to connect to OPC server Zelk.TestEmpty.1"_s);

    EXPECT_FALSE(connection->Active());
    EXPECT_EQ(local->ServerObjects(), 0);
    EXPECT_THROW(connection->CheckConnected(), EOPCServerException);
    EXPECT_EQ(MessageOf([&] { connection->GetLocaleId(); }), u"Not connected to server"_s);
}

TEST_F(COMConnection, ServertypeFollowsTheInterfacesTheServerOffers) {
    {
        TScopedAESimulator oldest(Kind(false, false));
        auto connection = Connected(SimProgId);
        EXPECT_TRUE(connection->Active());
        EXPECT_EQ(connection->Servertype(), 1);
        EXPECT_EQ(oldest->Faults().CallCount("IOPCCommon::SetClientName"), 1);
    }
    {
        TScopedAESimulator newest(Kind(true, true));
        EXPECT_EQ(Connected(SimProgId)->Servertype(), 3);
    }
    // An object without IOPCCommon is connected all the same.
    ScopedClassRegistration bare(BareClass(CLSID_Bare, u"Zelk.TestBare.1"_s));
    auto connection = Connected(u"Zelk.TestBare.1"_s);
    EXPECT_TRUE(connection->Active());
    EXPECT_EQ(connection->Servertype(), 1);
    EXPECT_FALSE(connection->GetCommonIF());
    EXPECT_EQ(MessageOf([&] { connection->GetLocaleId(); }), u"Not connected to server"_s);
    EXPECT_FALSE(connection->SetClientName(u"x"_s));
    connection->SetLocaleId(0x0407);
}

TEST_F(COMConnection, CommonInterfaceCallsReachTheServer) {
    TScopedAESimulator sim;
    auto connection = Connected(SimProgId);
    sim->Faults().ClearCalls();
    EXPECT_FALSE(connection->SetClientName(u"  "_s));
    EXPECT_TRUE(connection->SetClientName(u"Shift 2"_s));
    sim->Faults().InjectResult("IOPCCommon::SetClientName", S_FALSE);
    EXPECT_FALSE(connection->SetClientName(u"Shift 3"_s));
    EXPECT_EQ(sim->Faults().CallCount("IOPCCommon::SetClientName"), 1);
    connection->SetLocaleId(0x0407);
    EXPECT_EQ(connection->GetLocaleId(), 0x0407);
    connection->SetLocaleId(0x7777); // refused by the server, silently
    EXPECT_EQ(connection->GetLocaleId(), 0x0407);
    sim->Faults().InjectResult("IOPCCommon::GetLocaleID", static_cast<HRESULT>(0xC0040001));
    EXPECT_EQ(MessageOf([&] { connection->GetLocaleId(); }),
              u"E_INVALIDHANDLE The value of the handle is invalid."_s);

    EXPECT_FALSE(connection->SetOption(u"LOGLEVEL"_s, u"3"_s));
    EXPECT_TRUE(connection->DoTimer());
    EXPECT_EQ(connection->Connectiontype(), tZelkConnectionType::coCOM);
    EXPECT_EQ(connection->GetObject(), static_cast<TObject*>(connection.Get()));
    EXPECT_NO_THROW(connection->CheckConnected());
}

TEST_F(COMConnection, ShutdownRequestPostsOnceAndSkipsTheUnadvise) {
    TScopedAESimulator sim;
    {
        auto connection = Connected(SimProgId);
        sim->Shutdown(u"maintenance"_s);
        // The payload carries the reason text.
        EXPECT_EQ(Owner.Posted(), QStringList{u"1025 0 object"_s});
    }
    sim->Restart();

    // The same request through the server's shutdown point while the server still
    // answers: the disconnect leaves the advice alone, and the detached sink ignores a
    // second request.
    auto connection = Connected(SimProgId);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(connection->OPCServer().As(&container), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);
    SendShutdown(point.Get());
    EXPECT_EQ(Owner.Posted().size(), 2);
    connection->Disconnect();
    EXPECT_EQ(AdvisedSinks(point.Get()), 1) << "Unadvise was called at a server going away";
    SendShutdown(point.Get());
    EXPECT_EQ(Owner.Posted().size(), 2);
}

TEST_F(COMConnection, ClientComponentHearsTheShutdownAsMessage1025) {
    TScopedAESimulator sim;
    TCOMTestClient client;
    QStringList events;
    client.OnServerShutdown = [&](TComponent*, const QString& reason) {
        events << u"shutdown '%1'"_s.arg(reason);
    };
    client.OnDisconnect = [&](TComponent*) { events << u"disconnect"_s; };
    client.Connect(SimProgId, {});
    sim->Shutdown(u"maintenance"_s);
    ASSERT_TRUE(WaitUntil([&] { return !client.Active(); }));
    EXPECT_EQ(events, (QStringList{u"shutdown ''"_s, u"disconnect"_s}));
    EXPECT_EQ(client.ServerShutdownReason(), u"maintenance"_s);
}

TEST_F(COMConnection, ReleasedAfterAFailedActivationItLetsTheServerGo) {
    TScopedAESimulator sim;
    auto connection = TFailingConnection::Create(&Owner);
    EXPECT_EQ(MessageOf([&] { connection->Connect({}, SimProgId, {}, {}, 0); }),
              u"no event server"_s);
    EXPECT_TRUE(connection->Active());
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(connection->OPCServer().As(&container), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);
    EXPECT_EQ(AdvisedSinks(point.Get()), 1);
    connection.Reset();
    EXPECT_EQ(AdvisedSinks(point.Get()), 0);
    point.Reset();
    container.Reset();
    EXPECT_EQ(sim->ServerObjects(), 0);
}

TEST_F(COMConnection, SharedServerIsFetchedPerThreadFromTheInterfaceTable) {
    TScopedAESimulator sim;
    COMMultiThread = true;
    struct TRestore {
        ~TRestore() { COMMultiThread = false; }
    } restore;
    const std::size_t entries = GlobalInterfaceTableEntries();
    auto connection = Connected(SimProgId);
    EXPECT_EQ(GlobalInterfaceTableEntries(), entries + 1);
    const ComPtr<IUnknown> here = connection->OPCServer();
    IUnknown* there = nullptr;
    std::thread([&] { there = connection->OPCServer().Get(); }).join();
    EXPECT_EQ(there, here.Get());
    connection->Disconnect();
    EXPECT_EQ(GlobalInterfaceTableEntries(), entries);
}
