// Servers that stop answering in the middle of a call, with the simulator's delayed and
// held calls: the keep-alive probe times out while the event loop goes on, and the
// operator's calls (acknowledge, refresh, browse, condition state) ask "Server is not
// responding" instead of freezing the thread; Wait waits, Disconnect gives the call up.

#include "AETestSupport.h"
#include "SimNames.h"
#include "TestSupport.h"
#include "ZelkAE.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"
#include "ZelkEventCondition.h"
#include "ZelkServerCall.h"

#include <QCoreApplication>
#include <QTimer>

using namespace std::chrono_literals;
using namespace zelk::aetest;
using zelk::aesim::TScopedAESimulator;
using zelk::runtime::tZelkBusyAnswer;
using zelk::runtime::TZelkBusyCall;
using zelk::test::Lic201;
using zelk::test::PvLevel;
using zelk::test::SimProgId;
using zelk::test::WaitUntil;

namespace {

// Counts the turns of the event loop: a timer that fires only when the loop runs.
class TLoopTicks {
public:
    TLoopTicks() {
        QObject::connect(&FTimer, &QTimer::timeout, [this] { ++FTicks; });
        FTimer.start(10);
    }
    int Ticks() const { return FTicks; }

private:
    QTimer FTimer;
    int FTicks = 0;
};

// Answers the not-responding question with a script of answers (the last one repeats)
// and counts the questions and the turns of the event loop before the first.
class TScriptedQuestion {
public:
    explicit TScriptedQuestion(std::function<tZelkBusyAnswer(int Asked)> Answer)
        : FAnswer(std::move(Answer)) {
        FPrevious = zelk::runtime::SetNotRespondingHandler([this](TZelkBusyCall& call) {
            ++Asked;
            Server = call.Server();
            if (Asked == 1)
                TicksBeforeQuestion = FLoop.Ticks();
            return FAnswer(Asked);
        });
    }
    ~TScriptedQuestion() { zelk::runtime::SetNotRespondingHandler(FPrevious); }

    int Asked = 0;
    int TicksBeforeQuestion = 0;
    QString Server;

private:
    std::function<tZelkBusyAnswer(int)> FAnswer;
    zelk::runtime::TZelkNotRespondingHandler FPrevious;
    TLoopTicks FLoop;
};

// One server call made for the operator, and the simulator's method that serves it.
struct TOperatorCall {
    const char* Method;
    std::function<void(TZelkEventServer&)> Run;
};

const TOperatorCall OperatorCalls[] = {
    {"IOPCEventServer::AckCondition",
     [](TZelkEventServer& server) {
         server.AcknowledgeAllEvents(QStringLiteral("op"), QString());
     }},
    {"IOPCEventSubscriptionMgt::Refresh", [](TZelkEventServer& server) { server.Refresh(); }},
    {"IOPCEventAreaBrowser::BrowseOPCAreas",
     [](TZelkEventServer& server) { server.Browser()->ShowAreas(); }},
    {"IOPCEventServer::GetConditionState",
     [](TZelkEventServer& server) {
         EXPECT_NE(server.GetConditionState(Lic201, PvLevel), nullptr);
     }},
};

class ServerCallDeadline : public ::testing::Test {
protected:
    ServerCallDeadline() { RegisterZelkCOMLink(); }
    ~ServerCallDeadline() override {
        // An abandoned call finishes before the simulator and the leak check go.
        FSim->Faults().ReleaseHeld();
        EXPECT_TRUE(WaitUntil([] { return zelk::runtime::RunningCalls() == 0; }, 30s));
    }

    // Connects with an active LIC201 high alarm in the list (waiting for its
    // acknowledgement, unless an earlier connection acknowledged it).
    void Connect(TZelkEventServer& server) {
        FSim->Activate(Lic201, PvLevel, QStringLiteral("HI"));
        server.Connect(SimProgId, QString());
        ASSERT_TRUE(server.Active());
        ASSERT_TRUE(WaitUntil([&] {
            FSim->Pump();
            return server.Events()->Count() == 1;
        }));
    }

    zelk::testing::TScopedConnectionRegistry Registry;
    TLeakCheck Leaks;
    TScopedAESimulator FSim;
};

} // namespace

TEST_F(ServerCallDeadline, HungKeepAliveProbeTimesOutWhileTheEventLoopGoesOn) {
    TZelkEventServer server;
    server.SetKeepAlive(2000);
    int timeouts = 0;
    int disconnects = 0;
    server.OnTimeout = [&](TComponent*) { ++timeouts; };
    server.OnDisconnect = [&](TComponent*) { ++disconnects; };
    FSim->Faults().HoldCalls("IOPCEventServer::GetStatus");
    server.Connect(SimProgId, QString());
    ASSERT_TRUE(server.Active());
    // The first probe, one keep-alive period after connecting, hangs.
    ASSERT_TRUE(WaitUntil([&] { return FSim->Faults().WaitingCalls() == 1; }, 10s));
    TLoopTicks loop;
    ASSERT_TRUE(WaitUntil([&] { return disconnects == 1; }, 30s));
    EXPECT_EQ(timeouts, 1);
    EXPECT_FALSE(server.Active());
    // The probe hangs on its own thread: this thread's loop went round meanwhile (a loop
    // frozen in the probe would not have served its timer once).
    EXPECT_GE(loop.Ticks(), 5);

    // Let go, the abandoned probe finishes on its thread; its late answer changes nothing.
    FSim->Faults().ReleaseHeld();
    ASSERT_TRUE(WaitUntil([] { return zelk::runtime::RunningCalls() == 0; }, 30s));
    QCoreApplication::processEvents();
    EXPECT_EQ(timeouts, 1);
    EXPECT_EQ(disconnects, 1);
}

TEST_F(ServerCallDeadline, SlowOperatorCallsAskAndWaitForTheAnswer) {
    TZelkEventServer server;
    Connect(server);
    for (const TOperatorCall& call : OperatorCalls) {
        SCOPED_TRACE(call.Method);
        TScriptedQuestion question([](int) { return tZelkBusyAnswer::Wait; });
        FSim->Faults().InjectDelay(call.Method, 5s, 1);
        const int before = FSim->Faults().CallCount(call.Method);
        call.Run(server);
        // The call returned with its result after the operator chose to wait.
        EXPECT_EQ(FSim->Faults().CallCount(call.Method), before + 1);
        EXPECT_GE(question.Asked, 1);
        EXPECT_EQ(question.Server, SimProgId);
        EXPECT_GE(question.TicksBeforeQuestion, 5) << "the event loop ran while the call hung";
        EXPECT_TRUE(server.Active());
    }
    EXPECT_TRUE((FSim->ConditionState(Lic201, PvLevel)->State & OPC_CONDITION_ACKED) != 0);
}

TEST_F(ServerCallDeadline, HungOperatorCallIsAskedAgainUntilItReturns) {
    TZelkEventServer server;
    Connect(server);
    FSim->Faults().HoldCalls("IOPCEventServer::AckCondition");
    // Wait, and at the second question the server answers again.
    TScriptedQuestion question([&](int asked) {
        if (asked == 2)
            FSim->Faults().ReleaseHeld();
        return tZelkBusyAnswer::Wait;
    });
    server.AcknowledgeAllEvents(QStringLiteral("op"), QStringLiteral("late"));
    EXPECT_EQ(question.Asked, 2);
    EXPECT_TRUE(server.Active());
    EXPECT_TRUE((FSim->ConditionState(Lic201, PvLevel)->State & OPC_CONDITION_ACKED) != 0);
}

TEST_F(ServerCallDeadline, HungOperatorCallsGivenUpDisconnectAndFinishHarmlessly) {
    for (const TOperatorCall& call : OperatorCalls) {
        SCOPED_TRACE(call.Method);
        TZelkEventServer server;
        Connect(server);
        int disconnects = 0;
        server.OnDisconnect = [&](TComponent*) { ++disconnects; };
        FSim->Faults().HoldCalls(call.Method);
        TScriptedQuestion question([](int) { return tZelkBusyAnswer::Disconnect; });
        EXPECT_THROW(call.Run(server), EOPCNotResponding);
        EXPECT_EQ(question.Asked, 1);
        // The disconnect follows once the operation has unwound.
        ASSERT_TRUE(WaitUntil([&] { return !server.Active(); }));
        EXPECT_EQ(disconnects, 1);

        // The server answers at last: the late result goes nowhere.
        FSim->Faults().ReleaseHeld();
        ASSERT_TRUE(WaitUntil([] { return zelk::runtime::RunningCalls() == 0; }, 30s));
        QCoreApplication::processEvents();
        EXPECT_EQ(disconnects, 1);
        EXPECT_EQ(server.Events()->Count(), 0);
        FSim->Faults().ClearInjections();
    }
}

TEST_F(ServerCallDeadline, WithoutAQuestionAHungCallIsWaitedFor) {
    // Headless programs install no question: the call is waited for as long as it takes.
    const zelk::runtime::TZelkNotRespondingHandler previous =
        zelk::runtime::SetNotRespondingHandler({});
    TZelkEventServer server;
    Connect(server);
    FSim->Faults().HoldCalls("IOPCEventServer::GetConditionState");
    QTimer::singleShot(2500ms, [&] { FSim->Faults().ReleaseHeld(); });
    EXPECT_NE(server.GetConditionState(Lic201, PvLevel), nullptr);
    EXPECT_TRUE(server.Active());
    zelk::runtime::SetNotRespondingHandler(previous);
}
