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
