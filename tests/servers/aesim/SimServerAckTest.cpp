// The condition state machine as a client sees it: the notification sequence of one
// alarm, and the results of AckCondition.

#include "SimServerTestSupport.h"
#include "bstr.h"
#include "comholders.h"
#include "opcerror.h"

#include <set>

using namespace zelk::aesim;
using namespace zelk::aesim::servertest;

namespace {

const QString Lic201 = S("Plant1.TankFarm.LIC201");
const QString PvLevel = S("PVLEVEL");

// The one event the last change delivered.
TRecordedEvent OnlyEvent(TRecordingEventSink& sink) {
    std::vector<TRecordedEvent> events = sink.Take();
    EXPECT_EQ(events.size(), 1u);
    return events.empty() ? TRecordedEvent() : events.front();
}

} // namespace

TEST(SimServerAck, NotificationSequenceOfOneAlarm) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    const WORD enabled = OPC_CONDITION_ENABLED;
    const WORD active = OPC_CONDITION_ACTIVE;
    const WORD acked = OPC_CONDITION_ACKED;

    // Activation: a new cookie, the active time is the event's time.
    ASSERT_TRUE(rig.Sim->Activate(Lic201, PvLevel, S("HI")));
    const TRecordedEvent activation = OnlyEvent(*rig.Sink);
    EXPECT_EQ(activation.ChangeMask, OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_SEVERITY |
                                         OPC_CHANGE_SUBCONDITION | OPC_CHANGE_MESSAGE);
    EXPECT_EQ(activation.NewState, enabled | active);
    EXPECT_EQ(activation.ClientHandle, 7u);
    EXPECT_EQ(activation.Source, Lic201);
    EXPECT_EQ(activation.Condition, PvLevel);
    EXPECT_EQ(activation.SubCondition, S("HI"));
    EXPECT_EQ(activation.Severity, 700u);
    EXPECT_EQ(activation.EventType, OPC_CONDITION_EVENT);
    EXPECT_TRUE(activation.AckRequired);
    EXPECT_NE(activation.Cookie, 0u);
    EXPECT_EQ(Ticks(activation.ActiveTime), Ticks(activation.Time));
    EXPECT_NE(Ticks(activation.ActiveTime) % 10'000, 0u) << "sub-millisecond digits expected";
    EXPECT_TRUE(activation.Actor.isEmpty());

    // A worse sub-condition: a new active time, the same cookie.
    ASSERT_TRUE(rig.Sim->ChangeSubCondition(Lic201, PvLevel, S("HI HI")));
    const TRecordedEvent worse = OnlyEvent(*rig.Sink);
    EXPECT_EQ(worse.ChangeMask, OPC_CHANGE_SEVERITY | OPC_CHANGE_SUBCONDITION | OPC_CHANGE_MESSAGE);
    EXPECT_EQ(worse.NewState, enabled | active);
    EXPECT_EQ(worse.SubCondition, S("HI HI"));
    EXPECT_EQ(worse.Severity, 900u);
    EXPECT_EQ(worse.Cookie, activation.Cookie);
    EXPECT_GT(Ticks(worse.ActiveTime), Ticks(activation.ActiveTime));

    // Acknowledged from a second client connection: the first client hears of it.
    ComPtr<IOPCEventServer> otherClient = rig.Connect();
    HRESULT item = E_FAIL;
    EXPECT_EQ(AckOne(otherClient.Get(), S("OPERATOR7"), S("seen"), Lic201, PvLevel,
                     worse.ActiveTime, worse.Cookie, &item),
              S_OK);
    EXPECT_EQ(item, S_OK);
    const TRecordedEvent ack = OnlyEvent(*rig.Sink);
    EXPECT_EQ(ack.ChangeMask, OPC_CHANGE_ACK_STATE | OPC_CHANGE_ATTRIBUTE) << "ACK COMMENT set";
    EXPECT_EQ(ack.NewState, enabled | active | acked);
    EXPECT_EQ(ack.Actor, S("OPERATOR7"));
    EXPECT_EQ(Ticks(ack.ActiveTime), Ticks(worse.ActiveTime));
    EXPECT_EQ(ack.Cookie, worse.Cookie);
    EXPECT_FALSE(ack.AckRequired);
    EXPECT_GT(Ticks(ack.Time), Ticks(worse.Time));

    // Return to normal: inactive and acknowledged is the condition's last report.
    ASSERT_TRUE(rig.Sim->ReturnToNormal(Lic201, PvLevel));
    const TRecordedEvent normal = OnlyEvent(*rig.Sink);
    EXPECT_EQ(normal.ChangeMask, OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_MESSAGE);
    EXPECT_EQ(normal.NewState, enabled | acked);
    EXPECT_FALSE(normal.AckRequired);
    EXPECT_EQ(normal.Cookie, worse.Cookie);

    // Acknowledging again changes nothing and sends nothing.
    EXPECT_EQ(AckOne(rig.Server.Get(), S("OPERATOR7"), S(""), Lic201, PvLevel, worse.ActiveTime,
                     worse.Cookie, &item),
              S_FALSE);
    EXPECT_EQ(item, OPC_S_ALREADYACKED);
    EXPECT_TRUE(rig.Sink->Take().empty());

    // A second activation that returns to normal before anyone acknowledged it.
    ASSERT_TRUE(rig.Sim->Activate(Lic201, PvLevel, S("LO")));
    const TRecordedEvent second = OnlyEvent(*rig.Sink);
    EXPECT_NE(second.Cookie, activation.Cookie) << "cookies are unique per activation";
    EXPECT_NE(second.Cookie, 0u);
    EXPECT_EQ(second.ChangeMask, OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_SEVERITY |
                                     OPC_CHANGE_SUBCONDITION | OPC_CHANGE_MESSAGE |
                                     OPC_CHANGE_ATTRIBUTE)
        << "the ACK COMMENT of the earlier activation is cleared";
    ASSERT_TRUE(rig.Sim->ReturnToNormal(Lic201, PvLevel));
    const TRecordedEvent unackedNormal = OnlyEvent(*rig.Sink);
    EXPECT_EQ(unackedNormal.NewState, enabled);
    EXPECT_TRUE(unackedNormal.AckRequired);
    EXPECT_EQ(AckOne(rig.Server.Get(), S("OPERATOR1"), S(""), Lic201, PvLevel, second.ActiveTime,
                     second.Cookie, &item),
              S_OK);
    const TRecordedEvent lastAck = OnlyEvent(*rig.Sink);
    EXPECT_EQ(lastAck.ChangeMask, OPC_CHANGE_ACK_STATE);
    EXPECT_EQ(lastAck.NewState, enabled | acked);
    EXPECT_EQ(lastAck.Actor, S("OPERATOR1"));
}

TEST(SimServerAck, SimpleAndTrackingEventsCarryNoConditionState) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    ASSERT_TRUE(rig.Sim->FireSimpleEvent(S("Plant1.PLC1"), CatSystemMessage, S("Hello"), 150));
    ASSERT_TRUE(rig.Sim->FireTrackingEvent(Lic201, S("OPERATOR1"), S("SP 50 to 55"), 50, 55));
    EXPECT_FALSE(rig.Sim->FireSimpleEvent(S("Plant1.PLC1"), CatLevel, S("not simple"), 150));
    const std::vector<TRecordedEvent> events = rig.Sink->Take();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].EventType, OPC_SIMPLE_EVENT);
    EXPECT_EQ(events[0].Category, CatSystemMessage);
    EXPECT_EQ(events[1].EventType, OPC_TRACKING_EVENT);
    EXPECT_EQ(events[1].Actor, S("OPERATOR1"));
    for (const TRecordedEvent& event : events) {
        EXPECT_EQ(event.ChangeMask, 0);
        EXPECT_EQ(event.NewState, 0);
        EXPECT_TRUE(event.Condition.isEmpty());
        EXPECT_TRUE(event.SubCondition.isEmpty());
        EXPECT_EQ(event.Cookie, 0u);
        EXPECT_EQ(Ticks(event.ActiveTime), 0u);
        EXPECT_FALSE(event.AckRequired);
    }
}

TEST(SimServerAck, PerItemResultsOfOneCall) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    TAESimulator& sim = *rig.Sim;
    const QString lic202 = S("Plant1.TankFarm.LIC202");
    const QString fic203 = S("Plant1.TankFarm.FIC203"); // needs no acknowledgement
    const QString p101 = S("Plant1.TankFarm.Tank 1.P101");
    ASSERT_TRUE(sim.Activate(Lic201, PvLevel, S("HI")));
    ASSERT_TRUE(sim.Activate(lic202, PvLevel));
    ASSERT_TRUE(sim.Activate(fic203, S("DVLEVEL")));
    ASSERT_TRUE(sim.Activate(p101, S("CFN")));
    const TSimConditionStateInfo lic201 = *sim.ConditionState(Lic201, PvLevel);
    const TSimConditionStateInfo p101Cfn = *sim.ConditionState(p101, S("CFN"));
    HRESULT item = E_FAIL;
    const TSimConditionStateInfo before202 = *sim.ConditionState(lic202, PvLevel);
    ASSERT_EQ(AckOne(rig.Server.Get(), S("OP"), S(""), lic202, PvLevel, before202.ActiveTime,
                     before202.Cookie, &item),
              S_OK);
    const TSimConditionStateInfo lic202Acked = *sim.ConditionState(lic202, PvLevel);
    const TSimConditionStateInfo fic = *sim.ConditionState(fic203, S("DVLEVEL"));
    ASSERT_TRUE(sim.SetSourceEnabled(p101, false));

    FILETIME offByOne = lic201.ActiveTime;
    offByOne.dwLowDateTime += 1;
    FILETIME lic202Late = lic202Acked.ActiveTime;
    lic202Late.dwLowDateTime += 5;
    FILETIME whole = lic201.ActiveTime;
    whole.dwLowDateTime -= whole.dwLowDateTime % 10'000; // what a millisecond clock keeps
    struct TRow {
        QString Source;
        QString Condition;
        FILETIME ActiveTime;
        DWORD Cookie;
        HRESULT Expected;
    };
    const std::vector<TRow> rows = {
        {S("Plant1.Nowhere"), PvLevel, lic201.ActiveTime, lic201.Cookie, E_INVALIDARG},
        {Lic201, S("NOPE"), lic201.ActiveTime, lic201.Cookie, E_INVALIDARG},
        {Lic201, S("TRIP"), lic201.ActiveTime, lic201.Cookie, E_INVALIDARG},
        {Lic201, PvLevel, lic201.ActiveTime, lic201.Cookie + 1000, E_INVALIDARG},
        {Lic201, PvLevel, lic201.ActiveTime, 0, E_INVALIDARG},
        {Lic201, PvLevel, offByOne, lic201.Cookie, OPC_E_INVALIDTIME},
        {Lic201, PvLevel, whole, lic201.Cookie, OPC_E_INVALIDTIME},
        {Lic201, PvLevel, lic201.ActiveTime, lic201.Cookie, S_OK},
        {lic202, PvLevel, lic202Acked.ActiveTime, lic202Acked.Cookie, OPC_S_ALREADYACKED},
        {lic202, PvLevel, lic202Late, lic202Acked.Cookie, OPC_E_INVALIDTIME},
        {fic203, S("DVLEVEL"), fic.ActiveTime, fic.Cookie, OPC_S_ALREADYACKED},
        {p101, S("CFN"), p101Cfn.ActiveTime, p101Cfn.Cookie, E_INVALIDARG},
    };
    std::vector<zelk::com::BStr> texts;
    std::vector<LPWSTR> sources;
    std::vector<LPWSTR> conditions;
    std::vector<FILETIME> times;
    std::vector<DWORD> cookies;
    texts.reserve(rows.size() * 2);
    for (const TRow& row : rows) {
        texts.emplace_back(row.Source);
        sources.push_back(texts.back().Get());
        texts.emplace_back(row.Condition);
        conditions.push_back(texts.back().Get());
        times.push_back(row.ActiveTime);
        cookies.push_back(row.Cookie);
    }
    sources.push_back(nullptr); // a null name in the caller's array
    conditions.push_back(conditions.front());
    times.push_back(lic201.ActiveTime);
    cookies.push_back(lic201.Cookie);
    zelk::com::BStr who(S("OPERATOR2"));
    zelk::com::BStr comment(S("shift check"));
    sim.Faults().ClearCalls();
    zelk::com::TaskMem<HRESULT> errors;
    EXPECT_EQ(rig.Server->AckCondition(static_cast<DWORD>(sources.size()), who.Get(), comment.Get(),
                                       sources.data(), conditions.data(), times.data(),
                                       cookies.data(), errors.Put()),
              S_FALSE);
    ASSERT_TRUE(errors);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(errors[i], rows[i].Expected) << "row " << i;
    EXPECT_EQ(errors[rows.size()], E_INVALIDARG);

    // The record keeps the parallel arrays as they came.
    const std::vector<TSimCall> calls = sim.Faults().Calls("IOPCEventServer::AckCondition");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].Arguments.startsWith(
        S("Count=13 Acknowledger=OPERATOR2 Comment=shift check Sources=[Plant1.Nowhere,")));
    EXPECT_TRUE(calls[0].Arguments.contains(QString::number(lic201.Cookie + 1000)));
}

TEST(SimServerAck, CallLevelArguments) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    ASSERT_TRUE(rig.Sim->Activate(Lic201, PvLevel));
    TSimConditionStateInfo state = *rig.Sim->ConditionState(Lic201, PvLevel);
    zelk::com::BStr source(Lic201);
    zelk::com::BStr condition(PvLevel);
    zelk::com::BStr who(S("OP"));
    zelk::com::BStr empty(S(""));
    LPWSTR sources[] = {source.Get()};
    LPWSTR conditions[] = {condition.Get()};
    HRESULT* errors = nullptr;
    auto ack = [&](DWORD count, LPWSTR acknowledger, LPWSTR* s, LPWSTR* c, FILETIME* t, DWORD* k,
                   HRESULT** out) {
        return rig.Server->AckCondition(count, acknowledger, nullptr, s, c, t, k, out);
    };
    EXPECT_EQ(ack(0, who.Get(), sources, conditions, &state.ActiveTime, &state.Cookie, &errors),
              E_INVALIDARG);
    EXPECT_EQ(ack(1, empty.Get(), sources, conditions, &state.ActiveTime, &state.Cookie, &errors),
              E_INVALIDARG);
    EXPECT_EQ(ack(1, nullptr, sources, conditions, &state.ActiveTime, &state.Cookie, &errors),
              E_INVALIDARG);
    EXPECT_EQ(ack(1, who.Get(), nullptr, conditions, &state.ActiveTime, &state.Cookie, &errors),
              E_INVALIDARG);
    EXPECT_EQ(ack(1, who.Get(), sources, conditions, nullptr, &state.Cookie, &errors),
              E_INVALIDARG);
    EXPECT_EQ(ack(1, who.Get(), sources, conditions, &state.ActiveTime, nullptr, &errors),
              E_INVALIDARG);
    EXPECT_EQ(errors, nullptr);
    EXPECT_EQ(ack(1, who.Get(), sources, conditions, &state.ActiveTime, &state.Cookie, nullptr),
              E_POINTER);
    EXPECT_TRUE(rig.Sim->ConditionState(Lic201, PvLevel)->AckRequired) << "nothing acknowledged";
    // A null comment is an empty one.
    EXPECT_EQ(ack(1, who.Get(), sources, conditions, &state.ActiveTime, &state.Cookie, &errors),
              S_OK);
    ASSERT_NE(errors, nullptr);
    EXPECT_EQ(errors[0], S_OK);
    CoTaskMemFree(errors);
}
