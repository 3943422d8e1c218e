// Acknowledgement: which events go to the server with which parallel arrays, how the
// per-condition results are judged, the local acknowledgement of simple and tracking
// events with auto-delete, and a walk that survives events vanishing under it.

#include "AckBrowseSupport.h"
#include "TestSupport.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"
#include "ZelkOPCErrors.h"
#include "opcerror.h"

using namespace zelk::aetest;

namespace {

constexpr WORD Enabled = OPC_CONDITION_ENABLED;
constexpr WORD Active = OPC_CONDITION_ACTIVE;
constexpr WORD Acked = OPC_CONDITION_ACKED;
const QString Level = QStringLiteral("LEVEL");
const QString Op = QStringLiteral("op");

class EventAcknowledge : public AETest {
protected:
    EventAcknowledge() : Fake(TScriptedEventServer::Make()), Server(Fake) {
        Server.SetActive(true);
        Server.OnEventAck = [this](TComponent*, TZelkEvent* event) {
            Log << "ack " + event->Source();
        };
        Server.OnDeleteEvent = [this](TComponent*, TZelkEvent* e) {
            Log << "delete " + e->Source();
        };
        Server.OnBeginUpdate = [this](TComponent*) { ++Begins; };
        Server.OnEndUpdate = [this](TComponent*) { ++Ends; };
    }
    void Simple(const QString& source, int second, DWORD type = OPC_SIMPLE_EVENT) {
        AddEvent(Server, {source, QString(), 0, 0, second, false, type});
    }

    TLeakCheck Leaks;
    ComPtr<TScriptedEventServer> Fake;
    TAckTestServer Server;
    QStringList Log;
    int Begins = 0;
    int Ends = 0;
};

QString TextOfCode(HRESULT code) {
    return MessageOf([code] { OPCCheck(code); });
}

} // namespace

TEST_F(EventAcknowledge, OnlyConditionsWaitingForAnAcknowledgementGoToTheServerInListOrder) {
    // Presented by "Active (D)", "Time (D)": E, B, A, D (active, newest first), then C.
    AddEvent(Server, {QStringLiteral("A"), Level, Enabled | Active, 11, 5});
    TZelkEvent* b = AddEvent(Server, {QStringLiteral("B"), Level, Enabled | Active | Acked, 12, 7});
    AddEvent(Server, {QStringLiteral("C"), Level, Enabled, 13, 3});
    TZelkEvent* d = AddEvent(Server, {QStringLiteral("D"), Level, Enabled | Active, 14, 1, false});
    AddEvent(Server, {QStringLiteral("E"), QStringLiteral("DV"), Enabled | Active, 15, 9});

    Server.AcknowledgeAllEvents(Op, QString());
    ASSERT_EQ(Fake->AckCalls.size(), 1u);
    const TAckCall& call = Fake->AckCalls[0];
    EXPECT_EQ(call.Who, Op);
    EXPECT_EQ(call.Comment, QString()) << "an empty comment is an empty string, not null";
    EXPECT_EQ(call.Sources, (QStringList{"E", "A", "C"}));
    EXPECT_EQ(call.Conditions, (QStringList{"DV", "LEVEL", "LEVEL"}));
    EXPECT_EQ(call.Cookies, (std::vector<DWORD>{15, 11, 13}));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(call.ActiveTimes[i].dwLowDateTime,
                  UtcFileTime(2024, 3, 1, 12, 0, std::vector<int>{9, 5, 3}[i]).dwLowDateTime);
    EXPECT_EQ(Server.Events()->Count(), 5) << "the server reports the acknowledgement later";

    // Acknowledged already or needing no acknowledgement: the server is not asked.
    b->Acknowledge(Op, QString());
    d->Acknowledge(Op, QString());
    EXPECT_EQ(Fake->AckCalls.size(), 1u);
    Server.Events()->Events(2)->Acknowledge(Op, QStringLiteral("why"));
    ASSERT_EQ(Fake->AckCalls.size(), 2u);
    EXPECT_EQ(Fake->AckCalls[1].Sources, QStringList{"A"});
    EXPECT_EQ(Fake->AckCalls[1].Comment, QStringLiteral("why"));
}

TEST_F(EventAcknowledge, EveryPerConditionResultIsJudgedAndTheFirstFailureRaises) {
    for (int i = 1; i <= 3; ++i)
        AddEvent(Server, {QStringLiteral("T%1").arg(i), Level, Enabled | Active, DWORD(i), 10 - i});
    const auto acknowledge = [this] { Server.AcknowledgeAllEvents(Op, QString()); };
    Fake->AckResult = S_FALSE;
    Fake->AckErrors = {OPC_S_ALREADYACKED, S_OK, OPC_S_ALREADYACKED};
    EXPECT_EQ(MessageOf(acknowledge), QStringLiteral("<no exception>"));
    // A failure must not hide behind a later success code that is not 0.
    Fake->AckErrors = {OPC_E_INVALIDTIME, S_OK, OPC_S_ALREADYACKED};
    EXPECT_EQ(MessageOf(acknowledge), TextOfCode(OPC_E_INVALIDTIME));
    Fake->AckErrors = {E_INVALIDARG, S_OK, OPC_E_INVALIDTIME};
    EXPECT_EQ(MessageOf(acknowledge), TextOfCode(E_INVALIDARG));
    Fake->AckErrors.clear();
    Fake->AckResult = E_FAIL;
    EXPECT_EQ(MessageOf(acknowledge), TextOfCode(E_FAIL));
}

TEST_F(EventAcknowledge, SimpleAndTrackingEventsAreAcknowledgedHereAndAutoDeleted) {
    Simple(QStringLiteral("S2"), 9);
    Simple(QStringLiteral("T1"), 8, OPC_TRACKING_EVENT);
    AddEvent(Server, {QStringLiteral("C1"), Level, Enabled | Active, 7, 7});
    AddEvent(Server, {QStringLiteral("D1"), Level, Active, 6, 6}); // disabled, active
    AddEvent(Server, {QStringLiteral("I1"), Level, Enabled, 5, 5});
    Simple(QStringLiteral("S1"), 1);
    Begins = Ends = 0;

    // In key order; each handed to OnEventAck before it goes, all in one bracket.
    Server.AcknowledgeNotActiveEvents(Op, QString());
    EXPECT_EQ(Log,
              (QStringList{"ack S1", "delete S1", "ack S2", "delete S2", "ack T1", "delete T1"}));
    EXPECT_EQ(SourcesOf(*Server.Events()), (QStringList{"C1", "D1", "I1"}));
    ASSERT_EQ(Fake->AckCalls.size(), 1u);
    EXPECT_EQ(Fake->AckCalls[0].Sources, QStringList{"I1"});
    EXPECT_EQ(Begins, 1);
    EXPECT_EQ(Ends, 1);

    // All of them: the disabled condition is acknowledged here but stays while active;
    // each local acknowledgement is a bracket of its own.
    Log.clear();
    Begins = Ends = 0;
    Simple(QStringLiteral("S3"), 2);
    Server.AcknowledgeAllEvents(Op, QString());
    EXPECT_EQ(Log, (QStringList{"ack D1", "ack S3", "delete S3"}));
    EXPECT_EQ(Fake->AckCalls.back().Sources, (QStringList{"C1", "I1"}));
    EXPECT_EQ(Begins, 3); // one of them the Simple() above
    EXPECT_EQ(Ends, 3);
}

TEST_F(EventAcknowledge, ACopyIsAcknowledgedButStaysItsHoldersToDestroy) {
    // A detail panel holds a copy of a listed simple event; acknowledging the copy with
    // auto-delete on must not destroy what the panel owns, nor the listed original.
    Simple(QStringLiteral("S1"), 1);
    TZelkEvent* listed = Server.Events()->Events(0);
    auto copy = std::make_unique<TZelkEvent>(*listed);
    copy->Acknowledge(Op, QString());
    EXPECT_EQ(Log, QStringList{"ack S1"}) << "no delete: the copy is in no list";
    EXPECT_EQ(copy->Source(), QStringLiteral("S1"));
    ASSERT_EQ(Server.Events()->Count(), 1);
    EXPECT_EQ(Server.Events()->Events(0), listed);

    // A referring list of listed events and the copy: each acknowledged once, only the
    // listed one deleted.
    Log.clear();
    TZelkEventRefs refs;
    refs.AddEvent(listed);
    refs.AddEvent(copy.get());
    Server.AcknowledgeEvents(Op, QString(), refs);
    EXPECT_EQ(Log, (QStringList{"ack S1", "delete S1", "ack S1"}));
    EXPECT_EQ(Server.Events()->Count(), 0);
    EXPECT_TRUE(Fake->AckCalls.empty());
}

TEST_F(EventAcknowledge, TheWalkVisitsEachEventOnceWhateverHandlersDoToTheList) {
    for (int i = 1; i <= 6; ++i)
        Simple(QStringLiteral("S%1").arg(i), 10 - i); // presented S1 … S6
    // The first acknowledgement deletes S3 and S5 behind the walk's back and reverses the
    // order, so the list's positions no longer match the walk's.
    Server.SetAutoDelete(false);
    Server.OnEventAck = [this](TComponent*, TZelkEvent* event) {
        Log << "ack " + event->Source();
        if (event->Source() != QStringLiteral("S1"))
            return;
        for (int i = Server.Events()->Count() - 1; i >= 0; --i)
            if (QStringList{"S3", "S5"}.contains(Server.Events()->Events(i)->Source()))
                Server.DeleteEvent(Server.Events()->Events(i));
        Server.SetEventlistSort({QStringLiteral("Time")});
    };
    Server.AcknowledgeAllEvents(Op, QString());
    EXPECT_EQ(Log, (QStringList{"ack S1", "delete S5", "delete S3", "ack S2", "ack S4", "ack S6"}));

    // With auto-delete the event after a deleted one is still visited. A handler that
    // raises ends the walk before the server call, and the brackets close.
    Server.SetAutoDelete(true);
    AddEvent(Server, {QStringLiteral("C"), Level, Enabled | Active, 1, 30});
    Server.OnEventAck = [this](TComponent*, TZelkEvent* event) {
        Log << "ack " + event->Source();
        if (event->Source() == QStringLiteral("S1"))
            throw Exception(QStringLiteral("handler failed"));
    };
    Log.clear();
    Begins = Ends = 0;
    EXPECT_EQ(MessageOf([&] { Server.AcknowledgeAllEvents(Op, QString()); }),
              QStringLiteral("handler failed"));
    EXPECT_EQ(Log, (QStringList{"ack S6", "delete S6", "ack S4", "delete S4", "ack S2", "delete S2",
                                "ack S1"}));
    EXPECT_EQ(SourcesOf(*Server.Events()), (QStringList{"S1", "C"}));
    EXPECT_TRUE(Fake->AckCalls.empty());
    EXPECT_EQ(Begins, Ends);

    // Without a connection: the exception of the connection check, the bracket closed.
    Server.SetActive(false);
    Begins = Ends = 0;
    EXPECT_EQ(MessageOf([&] { Server.AcknowledgeNotActiveEvents(Op, QString()); }),
              QStringLiteral("Not connected to server"));
    EXPECT_EQ(Begins, 1);
    EXPECT_EQ(Ends, 1);
    std::unique_ptr<TZelkEvent> orphan(NewEvent(&Server, QStringLiteral("X"), Level));
    orphan->Acknowledge(Op, QString()); // an inactive server: nothing happens
}

TEST(EventAcknowledgeSim, TheServerReceivesTheArraysAndReportsTheAcknowledgement) {
    zelk::testing::TScopedConnectionRegistry registry;
    RegisterZelkCOMLink();
    TLeakCheck leaks;
    zelk::aesim::TScopedAESimulator sim;
    const QString lic201 = QStringLiteral("Plant1.TankFarm.LIC201");
    const QString lic202 = QStringLiteral("Plant1.TankFarm.LIC202");
    const QString pvLevel = QStringLiteral("PVLEVEL");
    TZelkEventServer server;
    int acks = 0;
    server.OnEventAck = [&](TComponent*, TZelkEvent*) { ++acks; };
    server.Connect(QStringLiteral("Zelk.AESimulator.1"), QString());
    ASSERT_TRUE(sim->Activate(lic201, pvLevel, QStringLiteral("HI")));
    ASSERT_TRUE(sim->Activate(lic202, pvLevel, QStringLiteral("LO")));
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return server.Events()->Count() == 2; }));

    QStringList sources, times, cookies;
    for (int i = 0; i < 2; ++i) {
        const TZelkEvent* event = server.Events()->Events(i);
        const FILETIME& time = event->RawActiveTime();
        sources << event->Source();
        times << QStringLiteral("%1")
                     .arg(quint64(time.dwHighDateTime) << 32 | time.dwLowDateTime, 16, 16,
                          QLatin1Char('0'))
                     .toUpper();
        cookies << QString::number(event->Cookie());
    }
    server.AcknowledgeAllEvents(QStringLiteral("Operator"), QStringLiteral("Checked"));
    const auto calls = sim->Faults().Calls("IOPCEventServer::AckCondition");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Arguments,
              QStringLiteral("Count=2 Acknowledger=Operator Comment=Checked Sources=[%1] "
                             "Conditions=[PVLEVEL,PVLEVEL] ActiveTimes=[%2] Cookies=[%3]")
                  .arg(sources.join(u','), times.join(u','), cookies.join(u',')));

    // Again before the server's report has arrived: "already acknowledged" is no error.
    server.Events()->Events(0)->Acknowledge(QStringLiteral("Operator"), QString());
    ASSERT_TRUE(zelk::test::WaitUntil([&] {
        return acks == 2 && server.Events()->Events(0)->Acknowledged() &&
               server.Events()->Events(1)->Acknowledged();
    }));
    server.AcknowledgeAllEvents(QStringLiteral("Operator"), QString());
    EXPECT_EQ(sim->Faults().CallCount("IOPCEventServer::AckCondition"), 2);
    server.Disconnect();
}
