// The event server's intake of notification batches: the handlers around each event,
// the update bracket, the auto-delete rule, and what happens when a handler raises.

#include "AETestSupport.h"
#include "TestSupport.h"

using namespace zelk::aetest;

namespace {

class EventIntake : public AETest {};

// A batch of condition events, one per entry of `states`, for sources S0, S1, …
std::unique_ptr<TZelkEventBatch> Batch(TZelkEventServer& server, const std::vector<WORD>& states,
                                       bool ackRequired = true, WORD changeMask = 0) {
    auto batch = std::make_unique<TZelkEventBatch>();
    for (std::size_t i = 0; i < states.size(); ++i) {
        TNotification n;
        n.Source = QStringLiteral("S%1").arg(i);
        n.Condition = QStringLiteral("LEVEL");
        n.NewState = states[i];
        n.AckRequired = ackRequired ? TRUE : FALSE;
        n.ChangeMask = changeMask;
        n.Time = UtcFileTime(2024, 3, 1, 12, 0, static_cast<int>(i));
        batch->Events.push_back(std::make_unique<TZelkEvent>(&server, n.Record()));
    }
    return batch;
}

void Deliver(TZelkEventServer& server, std::unique_ptr<TZelkEventBatch> batch) {
    TZelkMsg msg(MSG_EVENTS, 1, std::move(batch));
    server.HandleMsg(msg);
}

constexpr WORD Enabled = OPC_CONDITION_ENABLED;
constexpr WORD Active = OPC_CONDITION_ACTIVE;
constexpr WORD Acked = OPC_CONDITION_ACKED;

} // namespace

TEST_F(EventIntake, ABatchIsOneUpdateAndItsHandlersRunInOrder) {
    TTestEventServer server;
    QStringList trace;
    server.OnBeginUpdate = [&](TComponent*) { trace << QStringLiteral("begin"); };
    server.OnEndUpdate = [&](TComponent*) { trace << QStringLiteral("end"); };
    std::vector<int> idsSeenBeforeMerge;
    server.OnEvent = [&](TComponent* sender, TZelkEvent* event) {
        EXPECT_EQ(sender, &server);
        EXPECT_EQ(event->LastEvent(), event);
        idsSeenBeforeMerge.push_back(event->ID());
        trace << QStringLiteral("event ") + event->Source();
    };
    server.OnEventAck = [&](TComponent*, TZelkEvent* event) {
        trace << QStringLiteral("ack ") + event->Source();
    };

    Deliver(server, Batch(server, {Enabled | Active, Enabled | Active, Enabled | Active}));
    EXPECT_EQ(trace, QStringList({"begin", "event S0", "event S1", "event S2", "end"}));
    EXPECT_EQ(idsSeenBeforeMerge, std::vector<int>({1, 2, 3}));
    EXPECT_EQ(server.Events()->Count(), 3);

    // A second notification for S1 takes over the entry's ID after OnEvent has seen its
    // own; the acknowledgement handler sees the inherited one.
    trace.clear();
    idsSeenBeforeMerge.clear();
    int ackedId = 0;
    server.OnEventAck = [&](TComponent*, TZelkEvent* event) { ackedId = event->ID(); };
    auto again =
        Batch(server, {Enabled | Active, Enabled | Active | Acked}, true, OPC_CHANGE_ACK_STATE);
    again->Events.erase(again->Events.begin());
    Deliver(server, std::move(again));
    EXPECT_EQ(idsSeenBeforeMerge, std::vector<int>({5}));
    EXPECT_EQ(ackedId, 2);
    EXPECT_EQ(server.Events()->Count(), 3);
    EXPECT_EQ(server.Events()->ById(2)->Acknowledged(), true);
}

TEST_F(EventIntake, AutoDeleteKeepsWhatIsActiveOrWaitsForAnAcknowledgement) {
    struct TCase {
        WORD State;
        bool AckRequired;
        bool Kept;
    };
    const std::vector<TCase> cases = {
        {Enabled | Active, true, true},
        {Enabled | Active | Acked, true, true},
        {Enabled | Active, false, true},
        {Enabled, true, true},
        {Enabled, false, false},
        {Enabled | Acked, true, false},
        {Active, true, true},
        {Acked, false, true},
        {0, false, true},
    };
    for (const TCase& c : cases) {
        for (bool autoDelete : {true, false}) {
            TTestEventServer server;
            server.SetAutoDelete(autoDelete);
            QStringList trace;
            server.OnEvent = [&](TComponent*, TZelkEvent*) { trace << QStringLiteral("event"); };
            server.OnEventAck = [&](TComponent*, TZelkEvent*) { trace << QStringLiteral("ack"); };
            server.OnDeleteEvent = [&](TComponent*, TZelkEvent*) {
                trace << QStringLiteral("delete");
            };
            server.OnEndUpdate = [&](TComponent* sender) {
                trace << QStringLiteral("end %1").arg(
                    static_cast<TZelkEventServer*>(sender)->Events()->Count());
            };
            Deliver(server, Batch(server, {c.State}, c.AckRequired, OPC_CHANGE_ACK_STATE));
            const bool kept = c.Kept || !autoDelete;
            SCOPED_TRACE(testing::Message() << "state " << c.State << " ackRequired "
                                            << c.AckRequired << " autoDelete " << autoDelete);
            EXPECT_EQ(server.Events()->Count(), kept ? 1 : 0);
            if (kept)
                EXPECT_EQ(trace, QStringList({"event", "ack", "end 1"}));
            else
                EXPECT_EQ(trace, QStringList({"event", "ack", "delete", "end 0"}));
        }
    }
}

TEST_F(EventIntake, AHandlerThatRaisesEndsTheBatchAndClosesTheBracket) {
    TTestEventServer server;
    int begins = 0;
    int ends = 0;
    server.OnBeginUpdate = [&](TComponent*) { ++begins; };
    server.OnEndUpdate = [&](TComponent*) { ++ends; };
    server.OnEvent = [&](TComponent*, TZelkEvent* event) {
        if (event->Source() == QStringLiteral("S1"))
            throw EOPCException(QStringLiteral("handler failed"));
    };
    // S1 and S2 are never merged: they go with the batch (ASan sees a leak otherwise).
    EXPECT_EQ(
        MessageOf([&] {
            Deliver(server, Batch(server, {Enabled | Active, Enabled | Active, Enabled | Active}));
        }),
        QStringLiteral("handler failed"));
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    ASSERT_EQ(server.Events()->Count(), 1);
    EXPECT_EQ(server.Events()->Events(0)->Source(), QStringLiteral("S0"));

    // The next batch is merged normally, inside a fresh bracket.
    server.OnEvent = nullptr;
    Deliver(server, Batch(server, {Enabled | Active, Enabled | Active}));
    EXPECT_EQ(server.Events()->Count(), 2);
    EXPECT_EQ(begins, 2);
    EXPECT_EQ(ends, 2);
}

TEST_F(EventIntake, AnAcknowledgementHandlerMayDeleteTheEventItSees) {
    TTestEventServer server;
    int deleted = 0;
    server.OnDeleteEvent = [&](TComponent*, TZelkEvent*) { ++deleted; };
    server.OnEventAck = [&](TComponent*, TZelkEvent* event) { server.DeleteEvent(event); };
    // Acknowledged and inactive: auto-delete would otherwise delete it a second time.
    Deliver(server,
            Batch(server, {Enabled | Acked, Enabled | Active | Acked}, true, OPC_CHANGE_ACK_STATE));
    EXPECT_EQ(deleted, 2);
    EXPECT_EQ(server.Events()->Count(), 0);
}

TEST_F(EventIntake, BatchesArriveThroughTheQueueAndOtherPayloadsAreIgnored) {
    TTestEventServer server;
    server.PostMsg(MSG_EVENTS, 7, Batch(server, {Enabled | Active}));
    server.PostMsg(MSG_EVENTS, 7, std::make_unique<TZelkLogMsg>());
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return server.Events()->Count() == 1; }));
    EXPECT_EQ(server.Events()->Events(0)->ID(), 1);

    // Nothing merged survives the component; the filter collection is empty and the
    // filter capabilities unknown before any connect.
    EXPECT_EQ(server.Filter()->Count(), 0);
    EXPECT_FALSE(server.CanFilterByEvent() || server.CanFilterByCategory() ||
                 server.CanFilterBySeverity() || server.CanFilterByArea() ||
                 server.CanFilterBySource());
    EXPECT_EQ(server.Version(), QStringLiteral("5.28"));
    EXPECT_EQ(server.Protocol(), tZelkConnectionType::coCOM);
    EXPECT_TRUE(server.AutoDelete());
    EXPECT_EQ(server.EventlistSort(), QStringList({"Active (D)", "Time (D)"}));
}
