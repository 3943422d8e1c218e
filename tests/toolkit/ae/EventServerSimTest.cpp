// The event server component against the simulated AE server through the COM
// transport: ids per connection, refresh, status, filter capabilities, shutdown,
// keep-alive and the end of a connected component.

#include "AETestSupport.h"
#include "SimNames.h"
#include "TestSupport.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"

using namespace std::chrono_literals;
using namespace zelk::aetest;
using zelk::aesim::TScopedAESimulator;
using zelk::test::Lic201;
using zelk::test::Lic202;
using zelk::test::PvLevel;
using zelk::test::SimProgId;
using zelk::test::WaitUntil;

namespace {

class EventServerSim : public ::testing::Test {
protected:
    EventServerSim() { RegisterZelkCOMLink(); }
    zelk::testing::TScopedConnectionRegistry Registry;
};

TZelkEvent* EventOf(const TZelkEventServer& server, const QString& source) {
    for (int i = 0; i < server.Events()->Count(); ++i)
        if (server.Events()->Events(i)->Source() == source)
            return server.Events()->Events(i);
    return nullptr;
}

} // namespace

TEST_F(EventServerSim, IdsStartAtOneOnEveryConnectAndRefreshDrawsNewOnes) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    {
        TZelkEventServer server;
        server.Connect(SimProgId, QString());
        ASSERT_TRUE(server.Active());
        ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
        ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 1; }));
        EXPECT_EQ(server.Events()->Events(0)->ID(), 1);
        ASSERT_TRUE(sim->Activate(Lic202, PvLevel, QStringLiteral("LO")));
        ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 2; }));

        // Refresh empties the list at once; the two active conditions come back with ids
        // drawn after the ones they had.
        int begins = 0;
        int ends = 0;
        server.OnBeginUpdate = [&](TComponent*) { ++begins; };
        server.OnEndUpdate = [&](TComponent*) { ++ends; };
        server.Refresh();
        EXPECT_EQ(server.Events()->Count(), 0);
        EXPECT_EQ(begins, 1);
        EXPECT_EQ(ends, 1);
        sim->Pump();
        ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 2; }));
        EXPECT_GT(EventOf(server, Lic201)->ID(), 2);
        EXPECT_GT(EventOf(server, Lic202)->ID(), 2);

        server.Disconnect();
        EXPECT_EQ(server.Events()->Count(), 0);
        server.Connect(SimProgId, QString());
        sim->Pump();
        // The refresh at connect brings both back, numbered from 1 again.
        ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 2; }));
        std::vector<int> ids = {server.Events()->Events(0)->ID(), server.Events()->Events(1)->ID()};
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(ids, std::vector<int>({1, 2}));
    }
    EXPECT_EQ(sim->Subscriptions(), 0);
}

TEST_F(EventServerSim, StatusAndFilterCapabilitiesComeFromTheServer) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TZelkEventServer server;
    EXPECT_EQ(MessageOf([&] { server.GetStatus(); }), QStringLiteral("Not connected to server"));
    server.Connect(SimProgId, QString());
    EXPECT_TRUE(server.CanFilterByEvent() && server.CanFilterByCategory() &&
                server.CanFilterBySeverity() && server.CanFilterByArea() &&
                server.CanFilterBySource());

    const TServerStateRecord state = server.GetState();
    EXPECT_EQ(state.ServerState, OPCAE_STATUS_RUNNING);
    EXPECT_EQ(state.MajorVersion, 1);
    EXPECT_EQ(state.BuildNumber, QStringLiteral("7"));
    EXPECT_EQ(state.VendorInfo, QStringLiteral("Zelk OPC AE Simulation Server - simulated plant"));
    EXPECT_GT(state.Currenttime, 0);
    EXPECT_EQ(state.GroupCount, 0);
    EXPECT_TRUE(state.ProductName.isEmpty() && state.StatusInfo.isEmpty());
    const OPCEVENTSERVERSTATUS raw = server.GetStatus();
    EXPECT_EQ(raw.wBuildNumber, 7);
    EXPECT_EQ(raw.szVendorInfo, nullptr);

    // A failing status call raises with the OPC text; one without a record goes through
    // OnError.
    sim->Faults().InjectResult("IOPCEventServer::GetStatus", E_FAIL);
    EXPECT_NE(MessageOf([&] { server.GetStatus(); }), QStringLiteral("<no exception>"));
    sim->Faults().OmitRecord("IOPCEventServer::GetStatus");
    QString error;
    server.OnError = [&](TComponent*, const QString& text, bool& raise) {
        error = text;
        raise = false;
    };
    server.GetState();
    EXPECT_EQ(error, QStringLiteral("Not connected to server"));

    // The capabilities outlive the connection; a failing query keeps them.
    server.Disconnect();
    EXPECT_TRUE(server.CanFilterBySource());
    sim->Faults().InjectResult("IOPCEventServer::QueryAvailableFilters", E_FAIL);
    server.Connect(SimProgId, QString());
    EXPECT_TRUE(server.CanFilterByArea());
}

TEST_F(EventServerSim, ABatchQueuedBeforeADisconnectIsMergedAfterIt) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TZelkEventServer server;
    server.Connect(SimProgId, QString());
    // The simulator delivers at once; the batch waits in the component's queue.
    ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
    server.Disconnect();
    EXPECT_EQ(server.Events()->Count(), 0);
    ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 1; }));
    EXPECT_EQ(server.Events()->Events(0)->Source(), Lic201);
}

TEST_F(EventServerSim, ShutdownAndKeepAliveTimeOutEndTheConnection) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    {
        TZelkEventServer server;
        QString reason;
        server.OnServerShutdown = [&](TComponent*, const QString& text) { reason = text; };
        server.Connect(SimProgId, QString());
        ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
        ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 1; }));
        sim->Shutdown(QStringLiteral("maintenance"));
        ASSERT_TRUE(WaitUntil([&] { return !server.Active(); }));
        // The handler gets the request's code (none from COM); the text is kept apart.
        EXPECT_EQ(reason, QString());
        EXPECT_EQ(server.ServerShutdownReason(), QStringLiteral("maintenance"));
        EXPECT_EQ(server.Events()->Count(), 0);
    }
    sim->Restart();
    {
        TZelkEventServer server;
        server.SetKeepAlive(500);
        int timeouts = 0;
        server.OnTimeout = [&](TComponent*) { ++timeouts; };
        server.Connect(SimProgId, QString());
        ASSERT_TRUE(server.Active());
        sim->Faults().StopAnswering();
        ASSERT_TRUE(WaitUntil([&] { return !server.Active(); }, 5s));
        EXPECT_EQ(timeouts, 1);
        sim->Faults().ResumeAnswering();
    }
}

TEST_F(EventServerSim, DestroyingAConnectedComponentEndsItsSubscriptionsQuietly) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    int disconnects = 0;
    {
        TZelkEventServer server;
        server.OnDisconnect = [&](TComponent*) { ++disconnects; };
        server.Filter()->Add();
        server.Filter()->Add()->SetActive(false);
        server.Connect(SimProgId, QString());
        ASSERT_TRUE(server.Active());
        EXPECT_EQ(sim->Subscriptions(), 2);
        ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
        ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 1; }));
        // Left in the queue when the component goes.
        ASSERT_TRUE(sim->Activate(Lic202, PvLevel, QStringLiteral("HI")));
    }
    EXPECT_EQ(disconnects, 0);
    EXPECT_EQ(sim->Subscriptions(), 0);
}
