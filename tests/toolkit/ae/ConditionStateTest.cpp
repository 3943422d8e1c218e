// The snapshot of one condition's state from the simulated server: what is asked, how
// the record is read, what gives no snapshot, and a snapshot outliving its connection.

#include "AETestSupport.h"
#include "TestSupport.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"
#include "ZelkEventCondition.h"
#include "opcerror.h"

using namespace zelk::aetest;

namespace {

// The COM transport and the simulated server for one test, with a leak check around
// everything the test makes.
class ConditionState : public ::testing::Test {
protected:
    ConditionState() { RegisterZelkCOMLink(); }

    zelk::testing::TScopedConnectionRegistry registry;
    TLeakCheck leaks;
    zelk::aesim::TScopedAESimulator sim;
    const QString lic201 = QStringLiteral("Plant1.TankFarm.LIC201");
    const QString pvLevel = QStringLiteral("PVLEVEL");
};

} // namespace

TEST_F(ConditionState, TheSnapshotCarriesStateSubConditionsAndTheCategorysAttributes) {
    const auto lastArguments = [&] {
        return sim->Faults().Calls("IOPCEventServer::GetConditionState").back().Arguments;
    };
    TZelkEventServer server;
    server.Connect(QStringLiteral("Zelk.AESimulator.1"), QString());

    auto idle = server.GetConditionState(lic201, pvLevel);
    ASSERT_NE(idle, nullptr);
    EXPECT_EQ(idle->State(), OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED);
    EXPECT_EQ(idle->ActiveSubCondition(), -1) << "no active sub-condition";
    EXPECT_EQ(idle->CondLastActive(), 0.0);

    ASSERT_TRUE(sim->Activate(lic201, pvLevel, QStringLiteral("LO")));
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return server.Events()->Count() == 1; }));
    TZelkEvent* event = server.Events()->Events(0);
    auto condition = event->GetConditionState();
    ASSERT_NE(condition, nullptr);
    EXPECT_EQ(lastArguments(), QStringLiteral("Source=Plant1.TankFarm.LIC201 Condition=PVLEVEL "
                                              "AttributeIds=[1,2,3,4,5,6,7,14]"));
    EXPECT_TRUE(condition->Enabled() && condition->Active() && !condition->Acknowledged());
    EXPECT_TRUE(condition->IsGoodQuality());
    EXPECT_NE(condition->CondLastActive(), 0.0);
    const TZelkEventSubConditions& subs = condition->SubConditions();
    ASSERT_EQ(subs.Count(), 4);
    EXPECT_EQ(subs.Items(2)->Name(), QStringLiteral("LO"));
    EXPECT_EQ(subs.Items(2)->Definition(), QStringLiteral("CV <= LO LIMIT"));
    EXPECT_EQ(subs.Items(2)->Description(), QStringLiteral("Level low"));
    EXPECT_EQ(subs.Items(3)->Severity(), 900);
    EXPECT_EQ(condition->ActiveSubCondition(), 2);
    TZelkEventCustomProps& props = *condition->CustomProps();
    ASSERT_EQ(props.Count(), 8);
    EXPECT_EQ(props.Names(7), QStringLiteral("LOOP DESC"));
    EXPECT_EQ(props.ValueAsString(7), QStringLiteral("Tank farm level control"));
    EXPECT_EQ(props.Errors(7), S_OK);

    event->Acknowledge(QStringLiteral("Operator"), QStringLiteral("Checked"));
    auto acked = server.GetConditionState(lic201, pvLevel);
    EXPECT_TRUE(acked->Acknowledged());
    EXPECT_EQ(acked->AcknowledgerID(), QStringLiteral("Operator"));
    EXPECT_EQ(acked->Comment(), QStringLiteral("Checked"));
    EXPECT_NE(acked->LastAckTime(), 0.0);

    // A condition listed under another category is asked with that category's
    // attributes, one never listed with none; this source has neither.
    EXPECT_NE(MessageOf([&] { server.GetConditionState(lic201, QStringLiteral("TRIP")); }),
              QStringLiteral("<no exception>"));
    EXPECT_TRUE(lastArguments().endsWith(QStringLiteral("Condition=TRIP AttributeIds=[1,2,14]")));
    EXPECT_NE(MessageOf([&] { server.GetConditionState(lic201, QStringLiteral("NOPE")); }),
              QStringLiteral("<no exception>"));
    EXPECT_TRUE(lastArguments().endsWith(QStringLiteral("Condition=NOPE AttributeIds=null")));

    // No information, no source or no name: no snapshot, no error; the last two without
    // asking the server.
    sim->Faults().InjectResult("IOPCEventServer::GetConditionState", OPC_E_NOINFO);
    EXPECT_EQ(server.GetConditionState(lic201, pvLevel), nullptr);
    const int asked = sim->Faults().CallCount("IOPCEventServer::GetConditionState");
    EXPECT_EQ(server.GetConditionState(QString(), pvLevel), nullptr);
    EXPECT_EQ(server.GetConditionState(lic201, QString()), nullptr);
    EXPECT_EQ(sim->Faults().CallCount("IOPCEventServer::GetConditionState"), asked);

    // The snapshot outlives the category cache its names came from.
    server.Disconnect();
    EXPECT_EQ(props.Names(7), QString());
    server.Connect(QStringLiteral("Zelk.AESimulator.1"), QString());
    EXPECT_EQ(props.Names(2), QStringLiteral("CV"));
    EXPECT_EQ(props.IndexOf(QStringLiteral("LOOP DESC")), 7);
    server.Disconnect();
}

// A window may keep a snapshot, or a copy of an event, across a switch of servers: once
// their event server is destroyed they answer as a disconnected one, and read no memory
// of it.
TEST_F(ConditionState, SnapshotsAndEventCopiesOutliveTheirEventServer) {
    auto server = std::make_unique<TZelkEventServer>();
    server->Connect(QStringLiteral("Zelk.AESimulator.1"), QString());
    ASSERT_TRUE(sim->Activate(lic201, pvLevel, QStringLiteral("LO")));
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return server->Events()->Count() == 1; }));
    const auto copy = std::make_unique<TZelkEvent>(*server->Events()->Events(0));
    ASSERT_FALSE(copy->CategoryName().isEmpty());
    std::unique_ptr<TZelkEventCondition> snapshot = copy->GetConditionState();
    ASSERT_NE(snapshot, nullptr);
    ASSERT_EQ(snapshot->CustomProps()->Names(2), QStringLiteral("CV"));

    server.reset();

    EXPECT_EQ(copy->OPCAEServer(), nullptr);
    EXPECT_EQ(copy->CategoryName(), QString());
    EXPECT_EQ(copy->CustomProps()->Names(0), QString());
    EXPECT_EQ(copy->GetConditionState(), nullptr);
    copy->Acknowledge(QStringLiteral("op"), QString());
    EXPECT_TRUE(snapshot->CustomProps()->CategoryLookup().expired());
    EXPECT_EQ(snapshot->CustomProps()->Names(0), QString());
    EXPECT_EQ(snapshot->CustomProps()->IndexOf(QStringLiteral("CV")), -1);
    EXPECT_FALSE(snapshot->CustomProps()->ValueAsString(2).isEmpty()) << "the values stay";
}
