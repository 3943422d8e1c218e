// The process simulation: deterministic for a seed, limits with hysteresis, and the
// real-time thread with its flood mode.

#include "SimServerTestSupport.h"
#include "TestSupport.h"

#include <set>

using namespace zelk::aesim;
using namespace zelk::aesim::servertest;

namespace {

const QString Lic201 = S("Plant1.TankFarm.LIC201");

TSimClassOptions Options(const char* clsid, std::uint32_t seed) {
    TSimClassOptions options;
    options.Clsid = CLSID_ZelkAESimulator;
    options.Clsid.Data4[7] = static_cast<std::uint8_t>(clsid[0]);
    options.ProgID = S("Zelk.AESimulator.Test.") + QLatin1Char(clsid[0]);
    options.VersionIndependentProgID.clear();
    options.Seed = seed;
    return options;
}

QStringList History(TAESimulator& sim, int steps) {
    sim.RunSteps(steps);
    QStringList history;
    for (const TSimNotification& n : sim.Notifications())
        history.append(QStringLiteral("%1|%2|%3|%4|%5|%6")
                           .arg(n.Source, n.ConditionName, n.SubconditionName,
                                QString::number(n.ChangeMask), QString::number(n.NewState),
                                n.Message));
    return history;
}

} // namespace

TEST(SimPlant, SameSeedSameHistory) {
    TSrvLeakCheck leaks;
    TScopedAESimulator first(Options("a", 7), QString(), false);
    TScopedAESimulator second(Options("b", 7), QString(), false);
    TScopedAESimulator other(Options("c", 8), QString(), false);
    const int steps = 2400; // ten simulated minutes at the default step
    const QStringList history = History(*first, steps);
    EXPECT_EQ(History(*second, steps), history);
    EXPECT_NE(History(*other, steps), history);

    // A few notifications per simulated second, of every kind.
    const double perSecond = history.size() / (steps * 0.25);
    EXPECT_GT(perSecond, 0.5);
    EXPECT_LT(perSecond, 10.0);
    int activations = 0, returns = 0, subChanges = 0, simple = 0, tracking = 0;
    std::set<DWORD> cookies;
    std::uint64_t lastTime = 0;
    for (const TSimNotification& n : first->Notifications()) {
        const std::uint64_t time = Ticks(n.Time);
        EXPECT_GT(time, lastTime) << "times strictly increase";
        EXPECT_NE(time % 10'000, 0u) << "sub-millisecond digits";
        lastTime = time;
        if (n.EventType == OPC_SIMPLE_EVENT)
            ++simple;
        if (n.EventType == OPC_TRACKING_EVENT) {
            ++tracking;
            EXPECT_EQ(n.ActorID, S("OPERATOR1"));
        }
        if (n.EventType != OPC_CONDITION_EVENT)
            continue;
        if ((n.ChangeMask & OPC_CHANGE_ACTIVE_STATE) && (n.NewState & OPC_CONDITION_ACTIVE)) {
            ++activations;
            EXPECT_TRUE(cookies.insert(n.Cookie).second) << "a new cookie per activation";
            EXPECT_EQ(Ticks(n.ActiveTime), time);
        }
        returns += (n.ChangeMask & OPC_CHANGE_ACTIVE_STATE) && !(n.NewState & OPC_CONDITION_ACTIVE);
        subChanges +=
            !(n.ChangeMask & OPC_CHANGE_ACTIVE_STATE) && (n.ChangeMask & OPC_CHANGE_SUBCONDITION);
    }
    EXPECT_GT(activations, 10);
    EXPECT_GT(returns, 10);
    EXPECT_GT(subChanges, 0);
    EXPECT_GT(simple, 0);
    EXPECT_GT(tracking, 0);
}

TEST(SimPlant, LimitsWithHysteresis) {
    TSrvLeakCheck leaks;
    TScopedAESimulator sim;
    struct TRow {
        double Value;
        QString ActiveSub; // empty: normal
    };
    // HI at 75, HI HI at 90, LO at 25, LO LO at 10; 2 of hysteresis when leaving a band.
    const std::vector<TRow> rows = {
        {50, S("")},        {75.5, S("HI")}, {73.5, S("HI")}, {72.9, S("")},   {91, S("HI HI")},
        {88.5, S("HI HI")}, {87.9, S("HI")}, {24, S("LO")},   {26.5, S("LO")}, {9, S("LO LO")},
        {11.5, S("LO LO")}, {12.5, S("LO")}, {27.5, S("")},
    };
    for (const TRow& row : rows) {
        ASSERT_TRUE(sim->SetProcessValue(Lic201, row.Value));
        const TSimConditionStateInfo state = *sim->ConditionState(Lic201, S("PVLEVEL"));
        const QString active =
            state.ActiveSubCondition < 0
                ? QString()
                : state.SubConditions[static_cast<std::size_t>(state.ActiveSubCondition)].Name;
        EXPECT_EQ(active, row.ActiveSub) << "value " << row.Value;
    }
    EXPECT_FALSE(sim->SetProcessValue(S("Plant1.TankFarm.Tank 1.P101"), 1.0)) << "no analog value";
}

TEST(SimPlant, RealTimeThreadDelivers) {
    TSrvLeakCheck leaks;
    TSrvRig rig({.Clock = TSimClockMode::RealTime, .StepIntervalMs = 2});
    EXPECT_TRUE(rig.Sim->RealTimeRunning());
    EXPECT_TRUE(zelk::test::WaitUntil([&] { return rig.Sink->Events().size() >= 5; },
                                      std::chrono::seconds(30)));
    rig.Sim->StopRealTime();
    EXPECT_FALSE(rig.Sim->RealTimeRunning());
}

TEST(SimPlant, FloodModeDelivers) {
    TSrvLeakCheck leaks;
    TSimClassOptions options;
    options.Clock = TSimClockMode::RealTime;
    options.Flood = true;
    options.FloodRate = 0;
    options.RecordNotifications = false;
    TSrvRig rig(options);
    EXPECT_TRUE(zelk::test::WaitUntil([&] { return rig.Sink->Events().size() >= 20'000; },
                                      std::chrono::seconds(60)));
    rig.Sim->StopRealTime();
    EXPECT_TRUE(rig.Sim->Notifications().empty()) << "no record kept";
    EXPECT_GE(rig.Sim->PublishedCount(), 20'000);
}

TEST(SimPlant, RealTimeSimulatorGoesWithItsLastClient) {
    const long long allocations = zelk::com::LiveTaskAllocations();
    const long long objects = zelk::com::LiveComObjects();
    TSimClassOptions options;
    options.Clock = TSimClockMode::RealTime;
    options.Flood = true;
    options.FloodRate = 0;
    ComPtr<IOPCEventServer> server;
    {
        TSrvRig rig(options);
        server = rig.Server;
        EXPECT_TRUE(zelk::test::WaitUntil([&] { return rig.Sink->Events().size() > 100; }));
    }
    // Unregistered: the client's server object alone keeps the simulator alive.
    OPCEVENTSERVERSTATUS* status = nullptr;
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
    // The simulator ends with the object, on whichever thread lets go of it last: this one,
    // or the simulator's own thread finishing a turn.
    server.Reset();
    EXPECT_TRUE(zelk::test::WaitUntil([&] {
        return zelk::com::LiveTaskAllocations() == allocations &&
               zelk::com::LiveComObjects() == objects;
    }));
}
