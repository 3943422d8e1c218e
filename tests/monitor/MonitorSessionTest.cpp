// The streaming session in this process, against a simulated server the test drives:
// the endings that a child process cannot easily be brought to.

#include "MonitorSession.h"

#include "TestSupport.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"

#include <QTemporaryFile>
#include <QTimer>
#include <gtest/gtest.h>

using namespace zelk::monitor;

namespace {

class MonitorSession : public ::testing::Test {
protected:
    MonitorSession() { RegisterZelkCOMLink(); }

    QByteArray Written() {
        FFile.seek(0);
        return FFile.readAll();
    }

    QTemporaryFile FFile;
    const int FHandle = [this] {
        EXPECT_TRUE(FFile.open());
        return FFile.handle();
    }();
    TMonitorOutput FOutput{FHandle};
    zelk::aesim::TScopedAESimulator FSimulator;
};

} // namespace

TEST_F(MonitorSession, AServerThatStopsAnsweringEndsTheRunAfterTheKeepAlive) {
    TMonitorOptions options;
    options.KeepAlive = 500;
    TMonitorSession session(options, FOutput, &*FSimulator);
    // Once connected and streaming, the server goes silent as a crashed one would.
    QTimer::singleShot(0, &session, [this] {
        FSimulator->Activate(QStringLiteral("Plant1.TankFarm.LIC201"), QStringLiteral("PVLEVEL"),
                             QStringLiteral("HI"));
        FSimulator->AdvanceClock(1000);
        FSimulator->Faults().StopAnswering();
    });
    EXPECT_EQ(session.Run(), ExitConnectionLost);
    EXPECT_EQ(session.ErrorText(),
              QStringLiteral("connection lost: the server stopped answering the keep-alive probe"));
    EXPECT_TRUE(Written().contains("Plant1.TankFarm.LIC201")) << "written before the loss";
}

TEST_F(MonitorSession, TheSessionUnadvisesEverythingItAdvised) {
    TMonitorOptions options;
    options.DurationMs = 50;
    options.HasFilter = true;
    options.Sources = {QStringLiteral("Plant1.TankFarm.LIC201")};
    {
        TMonitorSession session(options, FOutput, &*FSimulator);
        QTimer::singleShot(0, &session, [this] {
            FSimulator->Activate(QStringLiteral("Plant1.TankFarm.LIC202"),
                                 QStringLiteral("PVLEVEL"));
            FSimulator->Activate(QStringLiteral("Plant1.TankFarm.LIC201"),
                                 QStringLiteral("PVLEVEL"));
            FSimulator->AdvanceClock(1000);
        });
        EXPECT_EQ(session.Run(), ExitOk) << session.ErrorText().toStdString();
        EXPECT_EQ(session.Notifications(), 1) << "the source filter holds back LIC202";
    }
    EXPECT_TRUE(zelk::test::WaitUntil([&] { return FSimulator->ServerObjects() == 0; }))
        << "the server object is released";
    EXPECT_EQ(FSimulator->Subscriptions(), 0);
    const QByteArray written = Written();
    EXPECT_TRUE(written.contains("Plant1.TankFarm.LIC201"));
    EXPECT_FALSE(written.contains("LIC202"));
}

TEST_F(MonitorSession, WithReconnectALostServerIsToldAndTheStreamGoesOnAfterItsRestart) {
    TMonitorOptions options;
    options.Reconnect = true;
    TMonitorSession session(options, FOutput, &*FSimulator);
    QStringList notices;
    session.OnNotice = [&](const QString& text) { notices << text; };
    QTimer::singleShot(0, &session, [this] {
        FSimulator->Activate(QStringLiteral("Plant1.TankFarm.LIC201"), QStringLiteral("PVLEVEL"),
                             QStringLiteral("HI"));
        FSimulator->AdvanceClock(1000);
        FSimulator->Shutdown(QStringLiteral("maintenance"));
    });
    // Once the loss is told, the server comes back; the reconnection's refresh brings the
    // active alarm again, and a new one follows.
    QTimer watch;
    bool restarted = false;
    QObject::connect(&watch, &QTimer::timeout, &session, [&] {
        if (!restarted && notices.size() == 1) {
            restarted = true;
            FSimulator->Restart();
        }
        FSimulator->Pump();
        if (notices.size() == 2 && Written().count("LIC201") >= 2) {
            FSimulator->Activate(QStringLiteral("Plant1.TankFarm.LIC202"),
                                 QStringLiteral("PVLEVEL"), QStringLiteral("LO"));
            FSimulator->AdvanceClock(1000);
        }
        if (Written().contains("LIC202"))
            session.Stop();
    });
    watch.start(10);
    QTimer::singleShot(std::chrono::seconds(30), &session, [&] { session.Stop(); });
    EXPECT_EQ(session.Run(), ExitOk) << session.ErrorText().toStdString();
    EXPECT_EQ(notices.value(0), QStringLiteral("connection lost: the server shut down: "
                                               "maintenance; reconnecting"));
    EXPECT_EQ(notices.value(1), QStringLiteral("reconnected to Zelk.AESimulator.1 (attempt 1)"));
    EXPECT_TRUE(Written().contains("LIC202")) << "the stream goes on after the reconnection";
}
