// Automatic reconnection of the event server against the simulated AE server: a server
// that shuts down and restarts, a computer that becomes unreachable and reachable again,
// a call that finds the server gone, and the list brought up to date afterwards.

#include "AETestSupport.h"
#include "SimNames.h"
#include "TestSupport.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"
#include "ZelkCom.h"
#include "ZelkExceptions.h"
#include "registry.h"

#include <QBuffer>

using namespace std::chrono_literals;
using namespace zelk::aetest;
using zelk::aesim::TScopedAESimulator;
using zelk::test::Lic201;
using zelk::test::Lic202;
using zelk::test::PvLevel;
using zelk::test::SimProgId;
using zelk::test::WaitUntil;

namespace {

class EventServerReconnect : public ::testing::Test {
protected:
    EventServerReconnect() {
        // Short waits, and no jitter, so that the attempts come at once.
        Server.SetAutoReconnect(true);
        Server.ReconnectBackoff().First = 20ms;
        Server.ReconnectBackoff().Max = 80ms;
        Server.ReconnectBackoff().Random = [] { return 0.0; };
        Server.OnLog = [this](TComponent*, TZelkLogMsg* log) { Log << log->Msg; };
        Server.OnConnect = [this](TComponent*) { ++Connects; };
        Server.OnDisconnect = [this](TComponent*) { ++Disconnects; };
    }

    TZelkEvent* EventOf(const QString& source) const {
        for (int i = 0; i < Server.Events()->Count(); ++i)
            if (Server.Events()->Events(i)->Source() == source)
                return Server.Events()->Events(i);
        return nullptr;
    }
    bool Logged(const QString& text) const {
        return std::any_of(Log.begin(), Log.end(),
                           [&](const QString& line) { return line.contains(text); });
    }

    zelk::testing::TScopedConnectionRegistry Registry;
    // The transport is there before the component takes it as its protocol.
    const bool Registered = [] {
        RegisterZelkCOMLink();
        return true;
    }();
    TZelkEventServer Server;
    QStringList Log;
    int Connects = 0;
    int Disconnects = 0;
};

} // namespace

TEST_F(EventServerReconnect, ShutdownReconnectsAndTheRefreshReplacesTheOldList) {
    TScopedAESimulator sim;
    Server.Connect(SimProgId, QString());
    ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
    ASSERT_TRUE(sim->Activate(Lic202, PvLevel, QStringLiteral("LO")));
    ASSERT_TRUE(WaitUntil([&] { return Server.Events()->Count() == 2; }));
    // Acknowledged while active: once it returns to normal the server no longer reports it.
    Server.AcknowledgeEvents(QStringLiteral("Tarsk"), QString(), Server.Events());
    ASSERT_TRUE(WaitUntil([&] { return EventOf(Lic201) && EventOf(Lic201)->Acknowledged(); }));
    ASSERT_TRUE(sim->FireSimpleEvent(Lic202, 100, QStringLiteral("operator note")));
    ASSERT_TRUE(WaitUntil([&] { return Server.Events()->Count() == 3; }));

    sim->Shutdown(QStringLiteral("maintenance"));
    ASSERT_TRUE(WaitUntil([&] { return !Server.Active(); }));
    EXPECT_TRUE(Server.Reconnecting());
    EXPECT_EQ(Disconnects, 1);
    // The operator keeps seeing the conditions as they were while the server is away.
    EXPECT_EQ(Server.Events()->Count(), 3);
    EXPECT_TRUE(Logged(QStringLiteral("Connection to Zelk.AESimulator.1 lost (the server shut "
                                      "down: maintenance); next attempt in")));

    // The attempts fail while the class answers nothing, and say so.
    ASSERT_TRUE(WaitUntil([&] { return Server.ReconnectAttempts() >= 2; }));
    EXPECT_TRUE(Logged(QStringLiteral("Reconnection attempt 1 to Zelk.AESimulator.1 failed")));
    EXPECT_FALSE(Server.Active());

    // Cleared during the outage: the process went on while its server was down.
    ASSERT_TRUE(sim->ReturnToNormal(Lic201, PvLevel));
    sim->Restart();
    ASSERT_TRUE(WaitUntil([&] {
        sim->Pump();
        return Server.Active() && !EventOf(Lic201) && !EventOf(QStringLiteral("")) &&
               Server.Events()->Count() == 1;
    }));
    EXPECT_FALSE(Server.Reconnecting());
    EXPECT_EQ(Connects, 2);
    EXPECT_TRUE(Logged(QStringLiteral("Reconnected to Zelk.AESimulator.1 at attempt")));
    // What the refresh reported is the condition as it is now; the old simple event and
    // the alarm that cleared are gone.
    TZelkEvent* still = EventOf(Lic202);
    ASSERT_NE(still, nullptr);
    EXPECT_TRUE(still->Active());
    EXPECT_EQ(sim->Subscriptions(), 1);

    // The new connection works as any other: its notifications come in.
    ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
    ASSERT_TRUE(WaitUntil([&] { return EventOf(Lic201) != nullptr; }));
    Server.SetActive(false);
}

TEST_F(EventServerReconnect, ApplicationStopsAWaitingReconnection) {
    TScopedAESimulator sim;
    Server.Connect(SimProgId, QString());
    ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
    ASSERT_TRUE(WaitUntil([&] { return Server.Events()->Count() == 1; }));
    Server.ReconnectBackoff().First = 1h;
    sim->Shutdown(QStringLiteral("maintenance"));
    ASSERT_TRUE(WaitUntil([&] { return Server.Reconnecting(); }));

    // Nothing will bring the kept list up to date any more: it goes with the wish.
    Server.SetActive(false);
    EXPECT_FALSE(Server.Reconnecting());
    EXPECT_EQ(Server.Events()->Count(), 0);
    EXPECT_TRUE(Logged(QStringLiteral("Reconnection to Zelk.AESimulator.1 stopped")));
    sim->Restart();
    Server.ReconnectBackoff().First = 1ms;
    // A fresh connection after the stop is an ordinary one; a later loss without
    // AutoReconnect ends it for good, as it always did.
    Server.SetAutoReconnect(false);
    Server.Connect(SimProgId, QString());
    ASSERT_TRUE(Server.Active());
    sim->Shutdown(QStringLiteral("again"));
    ASSERT_TRUE(WaitUntil([&] { return !Server.Active(); }));
    EXPECT_FALSE(Server.Reconnecting());
    EXPECT_EQ(Connects, 2);
}

TEST_F(EventServerReconnect, CallThatFindsTheServerGoneReconnectsOnceItIsBack) {
    TScopedAESimulator sim;
    Server.Connect(SimProgId, QString());
    ASSERT_TRUE(Server.Active());
    sim->Faults().StopAnswering();
    // The operator's call fails as it always did; the loss is handled after it.
    try {
        Server.Refresh();
        ADD_FAILURE() << "Refresh of a crashed server succeeded";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), RPC_E_DISCONNECTED);
    }
    EXPECT_TRUE(Server.Active());
    ASSERT_TRUE(WaitUntil([&] { return !Server.Active() && Server.Reconnecting(); }));
    EXPECT_TRUE(Logged(QStringLiteral("a call failed: ")));
    sim->Restart();
    ASSERT_TRUE(WaitUntil([&] { return Server.Active(); }));
    // The objects of the crashed process answer RPC_E_DISCONNECTED; the new one works.
    EXPECT_EQ(sim->ServerObjects(), 1);
    EXPECT_NO_THROW(Server.GetStatus());
    Server.SetActive(false);
}

TEST_F(EventServerReconnect, UnreachableComputerThatBecomesReachable) {
    const QString computer = QStringLiteral("PLANTSRV7");
    zelk::com::DeclareComputer(computer);
    {
        TScopedAESimulator remote(zelk::aesim::TSimClassOptions(), computer);
        Server.SetKeepAlive(500);
        // Another computer's classes are named by their class id.
        const QString clsid = ClsidToStr(zelk::aesim::CLSID_ZelkAESimulator);
        Server.Connect(clsid, computer);
        ASSERT_TRUE(Server.Active());

        // The network goes: the probe finds no answer, and neither do the attempts.
        remote->Faults().StopAnswering();
        zelk::com::RemoveComputer(computer);
        ASSERT_TRUE(WaitUntil([&] { return Server.ReconnectAttempts() >= 2; }, 10s));
        EXPECT_TRUE(Logged(QStringLiteral("lost (the server stopped answering the keep-alive")));
        EXPECT_TRUE(Logged(
            QStringLiteral("Reconnection attempt 1 to %1 on PLANTSRV7 failed (").arg(clsid)));
        EXPECT_FALSE(Server.Active());

        // It comes back, with its server started again.
        zelk::com::DeclareComputer(computer);
        zelk::aesim::TAESimulator back = zelk::aesim::RegisterAESimulator({}, computer);
        ASSERT_TRUE(WaitUntil([&] { return Server.Active(); }, 10s));
        EXPECT_EQ(back.ServerObjects(), 1);
        Server.SetActive(false);
        remote->Faults().ResumeAnswering();
    }
    zelk::com::RemoveComputer(computer);
}

TEST_F(EventServerReconnect, StoredOnlyWhenOn) {
    QBuffer on;
    on.open(QIODevice::ReadWrite);
    Server.SaveToStream(on);
    EXPECT_TRUE(on.data().contains("AutoReconnect = True"));
    TZelkEventServer loaded;
    on.seek(0);
    loaded.LoadFromStream(on);
    EXPECT_TRUE(loaded.AutoReconnect());

    Server.SetAutoReconnect(false);
    QBuffer off;
    off.open(QIODevice::ReadWrite);
    Server.SaveToStream(off);
    EXPECT_FALSE(off.data().contains("AutoReconnect"));
}

TEST_F(EventServerReconnect, AShutdownRequestOfTheOldConnectionDoesNotEndTheNewOne) {
    TScopedAESimulator sim;
    Server.SetAutoReconnect(false);
    Server.Connect(SimProgId, QString());
    // The request is queued; before it is handled the application connects anew.
    sim->Shutdown(QStringLiteral("maintenance"));
    Server.SetActive(false);
    sim->Restart();
    Server.SetActive(true);
    ASSERT_TRUE(Server.Active());
    ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
    ASSERT_TRUE(WaitUntil([&] { return EventOf(Lic201) != nullptr; }));
    EXPECT_TRUE(Server.Active());
    EXPECT_EQ(Disconnects, 1);
    Server.SetActive(false);
}
