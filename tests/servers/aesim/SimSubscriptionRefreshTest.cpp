#include "SimSubscriptionTestSupport.h"
#include "opcerror.h"

#include <gtest/gtest.h>

using namespace zelk::aesim;
using namespace zelk::aesim::subtest;

namespace {

// Five active or unacknowledged conditions, as the server's snapshot gives them.
std::vector<TSimNotification> Conditions() {
    std::vector<TSimNotification> conditions;
    for (const char* source : {"Plant1.TankFarm.LIC201", "Plant1.TankFarm.Tank 1.LI101",
                               "Plant1.TankFarm.Tank 1.LI102", "Plant2.FIC300", "Plant2.FIC301"}) {
        auto n = Note(source, kLevel, 700);
        n.ConditionName = "PVLEVEL";
        n.SubconditionName = "HI";
        n.NewState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
        conditions.push_back(n);
    }
    return conditions;
}

struct TFlags {
    DWORD Count;
    BOOL Refresh;
    BOOL Last;
    bool operator==(const TFlags&) const = default;
};

std::vector<TFlags> Flags(const TRecordingEventSink& sink) {
    std::vector<TFlags> flags;
    for (const auto& call : sink.Calls())
        flags.push_back({call.Count, call.Refresh, call.LastRefresh});
    return flags;
}

void PrintTo(const TFlags& f, std::ostream* os) {
    *os << '{' << f.Count << ',' << f.Refresh << ',' << f.Last << '}';
}

} // namespace

TEST(SimSubscriptionRefresh, ChunksOfMaxSizeWithTheLastFlagOnTheLastOnly) {
    TSubLeakCheck leaks;
    TSubRig rig;
    rig.Server->Snapshot = Conditions();
    ASSERT_EQ(rig.Create(true, 1000, 2, 9), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    ASSERT_EQ(rig.Mgt->Refresh(rig.Cookie), S_OK);
    EXPECT_TRUE(rig.Sink->Calls().empty()) << "the calls follow on the server's next step";
    rig.Pump(0);
    EXPECT_EQ(Flags(*rig.Sink),
              (std::vector<TFlags>{{2, TRUE, FALSE}, {2, TRUE, FALSE}, {1, TRUE, TRUE}}));
    EXPECT_EQ(rig.Sink->Sources(true),
              (QStringList{"Plant1.TankFarm.LIC201", "Plant1.TankFarm.Tank 1.LI101",
                           "Plant1.TankFarm.Tank 1.LI102", "Plant2.FIC300", "Plant2.FIC301"}));
    for (const auto& call : rig.Sink->Calls())
        EXPECT_EQ(call.ClientHandle, 9u);

    // The filter applies to a refresh too; one call when everything fits.
    rig.Sink->Clear();
    ASSERT_EQ(rig.SetFilter(7, {}, 1, 1000, {"Plant1.TankFarm.Tank 1"}), S_OK);
    ASSERT_EQ(rig.Mgt->Refresh(rig.Cookie), S_OK);
    rig.Pump(1);
    EXPECT_EQ(Flags(*rig.Sink), (std::vector<TFlags>{{2, TRUE, TRUE}}));
    EXPECT_EQ(rig.Faults.Calls("IOPCEventSubscriptionMgt::Refresh")[0].Arguments,
              QStringLiteral("Connection=%1").arg(rig.Cookie));
}

TEST(SimSubscriptionRefresh, NoMatchingConditionGivesOneEmptyLastCall) {
    TSubLeakCheck leaks;
    TSubRig rig;
    rig.Server->Snapshot = Conditions();
    ASSERT_EQ(rig.Create(true, 0, 2), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    ASSERT_EQ(rig.SetFilter(OPC_SIMPLE_EVENT, {}, 1, 1000), S_OK);
    ASSERT_EQ(rig.Mgt->Refresh(rig.Cookie), S_OK);
    rig.Pump(0);
    EXPECT_EQ(Flags(*rig.Sink), (std::vector<TFlags>{{0, TRUE, TRUE}}));
    EXPECT_TRUE(rig.Sink->Calls()[0].NullArray);
}

TEST(SimSubscriptionRefresh, BusyWhileOneRunsUntilItsLastCallReturned) {
    TSubLeakCheck leaks;
    TSubRig rig;
    rig.Server->Snapshot = Conditions();
    ASSERT_EQ(rig.Create(true, 0, 2), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    ASSERT_EQ(rig.Mgt->Refresh(rig.Cookie), S_OK);
    EXPECT_EQ(rig.Mgt->Refresh(rig.Cookie), OPC_E_BUSY);

    std::vector<HRESULT> fromSink;
    IOPCEventSubscriptionMgt* mgt = rig.Mgt.Get(); // not counted: the rig holds it
    rig.Sink->OnCall = [&](const TRecordedCall&) { fromSink.push_back(mgt->Refresh(rig.Cookie)); };
    rig.Pump(0);
    rig.Sink->OnCall = nullptr;
    EXPECT_EQ(fromSink, (std::vector<HRESULT>{OPC_E_BUSY, OPC_E_BUSY, OPC_E_BUSY}));

    EXPECT_EQ(rig.Mgt->Refresh(rig.Cookie), S_OK) << "the last call has returned";
    rig.Pump(1);
    EXPECT_EQ(rig.Sink->Calls().size(), 6u);
}

TEST(SimSubscriptionRefresh, AnInactiveSubscriptionIsRefreshedToo) {
    TSubLeakCheck leaks;
    TSubRig rig;
    rig.Server->Snapshot = Conditions();
    ASSERT_EQ(rig.Create(false), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    rig.Publish(Note("Plant1.Boiler.TIC7"));
    ASSERT_EQ(rig.Mgt->Refresh(rig.Cookie), S_OK);
    rig.Pump(0);
    EXPECT_EQ(Flags(*rig.Sink), (std::vector<TFlags>{{5, TRUE, TRUE}}));
    EXPECT_TRUE(rig.Sink->Sources(false).isEmpty());
}

TEST(SimSubscriptionRefresh, RefreshAndRealTimeNotificationsNeverShareACall) {
    TSubLeakCheck leaks;
    TSubRig rig;
    rig.Server->Snapshot = Conditions();
    ASSERT_EQ(rig.Create(true, 0, 4), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    rig.Publish(Note("Plant1.Boiler.TIC7"));
    ASSERT_EQ(rig.Mgt->Refresh(rig.Cookie), S_OK);
    rig.Publish(Note("Plant2.FIC300", kSystemMessage));
    rig.Pump(0);
    const auto calls = rig.Sink->Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(Flags(*rig.Sink),
              (std::vector<TFlags>{{4, TRUE, FALSE}, {1, TRUE, TRUE}, {2, FALSE, FALSE}}));
    EXPECT_EQ(calls[2].Sources(), (QStringList{"Plant1.Boiler.TIC7", "Plant2.FIC300"}));
}

TEST(SimSubscriptionRefresh, CancelLeavesOneEmptyLastCall) {
    TSubLeakCheck leaks;
    TSubRig rig;
    rig.Server->Snapshot = Conditions();
    ASSERT_EQ(rig.Create(true, 0, 1), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    EXPECT_EQ(rig.Mgt->CancelRefresh(rig.Cookie), E_FAIL) << "no refresh runs";

    ASSERT_EQ(rig.Mgt->Refresh(rig.Cookie), S_OK);
    EXPECT_EQ(rig.Mgt->CancelRefresh(rig.Cookie + 1), E_INVALIDARG);
    EXPECT_EQ(rig.Mgt->CancelRefresh(rig.Cookie), S_OK);
    rig.Pump(0);
    EXPECT_EQ(Flags(*rig.Sink), (std::vector<TFlags>{{0, TRUE, TRUE}}));

    // Cancelled from the sink during the first call: the rest is replaced.
    rig.Sink->Clear();
    IOPCEventSubscriptionMgt* mgt = rig.Mgt.Get(); // not counted: the rig holds it
    rig.Sink->OnCall = [&](const TRecordedCall& call) {
        if (call.Count == 1) {
            EXPECT_EQ(mgt->CancelRefresh(rig.Cookie), S_OK);
        }
    };
    ASSERT_EQ(rig.Mgt->Refresh(rig.Cookie), S_OK);
    rig.Pump(1);
    rig.Sink->OnCall = nullptr;
    EXPECT_EQ(Flags(*rig.Sink), (std::vector<TFlags>{{1, TRUE, FALSE}, {0, TRUE, TRUE}}));
    EXPECT_EQ(rig.Mgt->CancelRefresh(rig.Cookie), E_FAIL);
}

TEST(SimSubscriptionRefresh, RefusedWithoutTheSinksConnectionOrWhereNotImplemented) {
    TSubLeakCheck leaks;
    TSubRig rig;
    rig.Server->Snapshot = Conditions();
    ASSERT_EQ(rig.Create(), S_OK);
    EXPECT_EQ(rig.Mgt->Refresh(1), E_INVALIDARG) << "no sink advised";
    ASSERT_EQ(rig.Advise(), S_OK);
    EXPECT_EQ(rig.Mgt->Refresh(0), E_INVALIDARG);
    EXPECT_EQ(rig.Mgt->Refresh(rig.Cookie + 1), E_INVALIDARG);
    rig.Server->NoRefresh = true;
    EXPECT_EQ(rig.Mgt->Refresh(rig.Cookie), E_NOTIMPL);
    EXPECT_EQ(rig.Mgt->CancelRefresh(rig.Cookie), E_NOTIMPL);
    rig.Pump(0);
    EXPECT_TRUE(rig.Sink->Calls().empty());
}
