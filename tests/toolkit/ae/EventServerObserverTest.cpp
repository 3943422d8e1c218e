// Observers of an event server: every batch before the merge beside the application's
// own handler, the operator's actions with their results, and a list of observers that
// stays sound when observers fail or leave in the middle of a call.

#include "AETestSupport.h"
#include "SimNames.h"
#include "TestSupport.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"

#include <stdexcept>

using namespace std::chrono_literals;
using namespace zelk::aetest;
using zelk::test::Lic201;
using zelk::test::Lic202;
using zelk::test::PvLevel;
using zelk::test::SimProgId;
using zelk::test::WaitUntil;

namespace {

struct TRecorder : IZelkEventServerObserver {
    QStringList Calls;
    QStringList Sources;
    std::vector<TZelkAckResult> Results;
    std::function<void()> During;
    bool Throw = false;

    void Note(const QString& call) {
        Calls << call;
        if (During)
            During();
        if (Throw)
            throw std::runtime_error("observer failed");
    }
    void EventsReceived(TZelkEventServer*,
                        const std::vector<std::unique_ptr<TZelkEvent>>& Events) override {
        for (const auto& event : Events)
            Sources << event->Source();
        Note(QStringLiteral("events"));
    }
    void Acknowledged(TZelkEventServer*, const QString& Who, const QString&,
                      const std::vector<TZelkAckResult>& Results) override {
        this->Results = Results;
        Note(QStringLiteral("ack ") + Who);
    }
    void Refreshed(TZelkEventServer*) override { Note(QStringLiteral("refresh")); }
    void Connected(TZelkEventServer*) override { Note(QStringLiteral("connect")); }
    void Disconnected(TZelkEventServer*) override { Note(QStringLiteral("disconnect")); }
    void ServerShutdown(TZelkEventServer*, const QString& Reason) override {
        Note(QStringLiteral("shutdown ") + Reason);
    }
    void ServerDestroyed(TZelkEventServer*) override { Note(QStringLiteral("destroyed")); }
};

class EventServerObserver : public ::testing::Test {
protected:
    EventServerObserver() { RegisterZelkCOMLink(); }
    zelk::testing::TScopedConnectionRegistry Registry;
};

} // namespace

TEST_F(EventServerObserver, ObserversSeeEveryBatchBesideTheApplicationsHandler) {
    TLeakCheck leaks;
    zelk::aesim::TScopedAESimulator sim;
    TRecorder first;
    TRecorder failing;
    failing.Throw = true;
    QStringList handled;
    {
        TZelkEventServer server;
        server.OnEvent = [&](TComponent*, TZelkEvent* event) { handled << event->Source(); };
        server.AddObserver(&failing);
        server.AddObserver(&first);
        server.AddObserver(&first); // once is enough
        server.Connect(SimProgId, QString());
        ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
        ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 1; }));
        ASSERT_TRUE(sim->Activate(Lic202, PvLevel, QStringLiteral("LO")));
        ASSERT_TRUE(sim->ReturnToNormal(Lic202, PvLevel));
        ASSERT_TRUE(WaitUntil([&] { return handled.size() == 3; }));
        EXPECT_EQ(first.Sources, handled) << "an observer failing first disturbs nothing";
        EXPECT_EQ(failing.Sources, handled);

        sim->Shutdown(QStringLiteral("maintenance"));
        ASSERT_TRUE(WaitUntil([&] { return !server.Active(); }));
    }
    EXPECT_EQ(first.Calls.first(), QStringLiteral("connect"));
    EXPECT_EQ(first.Calls.mid(first.Calls.size() - 3),
              (QStringList{QStringLiteral("shutdown maintenance"), QStringLiteral("disconnect"),
                           QStringLiteral("destroyed")}));
}

TEST_F(EventServerObserver, AcknowledgementsReachObserversWithEachConditionsAnswer) {
    TLeakCheck leaks;
    zelk::aesim::TScopedAESimulator sim;
    TRecorder recorder;
    TZelkEventServer server;
    server.AddObserver(&recorder);
    server.Connect(SimProgId, QString());
    ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
    ASSERT_TRUE(sim->Activate(Lic202, PvLevel, QStringLiteral("HI")));
    ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 2; }));

    server.AcknowledgeAllEvents(QStringLiteral("OPERATOR1"), QStringLiteral("both"));
    ASSERT_EQ(recorder.Results.size(), 2u);
    EXPECT_TRUE(recorder.Calls.contains(QStringLiteral("ack OPERATOR1")));
    for (const TZelkAckResult& result : recorder.Results) {
        EXPECT_EQ(result.Result, S_OK);
        EXPECT_EQ(result.Condition, PvLevel);
    }
    ASSERT_TRUE(sim->ReturnToNormal(Lic201, PvLevel));
    ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
    ASSERT_TRUE(WaitUntil([&] {
        for (int i = 0; i < server.Events()->Count(); ++i)
            if (server.Events()->Events(i)->Source() == Lic201 &&
                server.Events()->Events(i)->Active() && !server.Events()->Events(i)->Acknowledged())
                return true;
        return false;
    }));
    // A call the server refuses as a whole is reported too, before it raises.
    sim->Faults().InjectResult("IOPCEventServer::AckCondition", E_FAIL, 1);
    recorder.Results.clear();
    EXPECT_THROW(server.AcknowledgeAllEvents(QStringLiteral("OPERATOR2"), QString()), Exception);
    ASSERT_FALSE(recorder.Results.empty());
    EXPECT_EQ(recorder.Results[0].Result, E_FAIL);
    server.RemoveObserver(&recorder);
}

TEST(EventServerObservers, ObserversMayLeaveOrJoinInTheMiddleOfACall) {
    zelk::ae::TEventServerObservers observers;
    TRecorder a;
    TRecorder b;
    TRecorder c;
    observers.Add(&a);
    observers.Add(&b);
    // a removes b (not called any more) and itself, and adds c (called from the next call).
    a.During = [&] {
        observers.Remove(&b);
        observers.Remove(&a);
        observers.Add(&c);
    };
    observers.Refreshed(nullptr);
    EXPECT_EQ(a.Calls.size(), 1);
    EXPECT_TRUE(b.Calls.isEmpty());
    EXPECT_TRUE(c.Calls.isEmpty());
    observers.Refreshed(nullptr);
    EXPECT_EQ(a.Calls.size(), 1);
    EXPECT_EQ(c.Calls.size(), 1);
    observers.Remove(&c);
    EXPECT_TRUE(observers.Empty());
}
