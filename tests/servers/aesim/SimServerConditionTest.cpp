// GetConditionState, and enabling and disabling conditions by area and by source.

#include "SimServerTestSupport.h"
#include "bstr.h"
#include "comholders.h"
#include "opcerror.h"

using namespace zelk::aesim;
using namespace zelk::aesim::servertest;

namespace {

const QString Lic201 = S("Plant1.TankFarm.LIC201");
const QString Li101 = S("Plant1.TankFarm.Tank 1.LI101");
const QString Tic301 = S("Plant1.Reactor Area.TIC301");
const QString PvLevel = S("PVLEVEL");

// Frees a state record the way a client must: every string, array and variant.
void FreeState(OPCCONDITIONSTATE* state) {
    if (!state)
        return;
    for (LPWSTR text : {state->szActiveSubCondition, state->szASCDefinition,
                        state->szASCDescription, state->szAcknowledgerID, state->szComment})
        CoTaskMemFree(text);
    for (DWORD i = 0; i < state->dwNumSCs; ++i) {
        CoTaskMemFree(state->pszSCNames[i]);
        CoTaskMemFree(state->pszSCDefinitions[i]);
        CoTaskMemFree(state->pszSCDescriptions[i]);
    }
    CoTaskMemFree(state->pszSCNames);
    CoTaskMemFree(state->pszSCDefinitions);
    CoTaskMemFree(state->pszSCDescriptions);
    CoTaskMemFree(state->pdwSCSeverities);
    for (DWORD i = 0; i < state->dwNumEventAttrs; ++i)
        VariantClear(&state->pEventAttributes[i]);
    CoTaskMemFree(state->pEventAttributes);
    CoTaskMemFree(state->pErrors);
    CoTaskMemFree(state);
}

struct TStateHolder {
    OPCCONDITIONSTATE* State = nullptr;
    ~TStateHolder() { FreeState(State); }
};

HRESULT GetState(IOPCEventServer* server, const QString& source, const QString& condition,
                 std::vector<DWORD> ids, TStateHolder& holder) {
    zelk::com::BStr sourceText(source);
    zelk::com::BStr conditionText(condition);
    return server->GetConditionState(sourceText.Get(), conditionText.Get(),
                                     static_cast<DWORD>(ids.size()), ids.data(), &holder.State);
}

HRESULT ChangeEnabled(IOPCEventServer* server, bool areas, bool enable, const QStringList& names) {
    std::vector<zelk::com::BStr> texts;
    std::vector<LPWSTR> pointers;
    for (const QString& name : names) {
        texts.emplace_back(name);
        pointers.push_back(texts.back().Get());
    }
    const DWORD count = static_cast<DWORD>(pointers.size());
    if (areas)
        return enable ? server->EnableConditionByArea(count, pointers.data())
                      : server->DisableConditionByArea(count, pointers.data());
    return enable ? server->EnableConditionBySource(count, pointers.data())
                  : server->DisableConditionBySource(count, pointers.data());
}

QString Text(LPCWSTR text) {
    return text ? zelk::com::ToQString(text) : S("<null>");
}

} // namespace

TEST(SimServerConditionState, NeverActiveConditionWithAttributes) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    TStateHolder holder;
    ASSERT_EQ(GetState(rig.Server.Get(), Lic201, PvLevel, {AttrCV, 4711, AttrAreas}, holder), S_OK);
    const OPCCONDITIONSTATE& state = *holder.State;
    EXPECT_EQ(state.wState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED);
    EXPECT_EQ(state.szActiveSubCondition, nullptr);
    EXPECT_EQ(state.szAcknowledgerID, nullptr) << "never acknowledged";
    EXPECT_EQ(state.szComment, nullptr);
    EXPECT_EQ(Ticks(state.ftCondLastActive), 0u);
    EXPECT_EQ(state.wQuality, OPC_QUALITY_GOOD);
    ASSERT_EQ(state.dwNumSCs, 4u);
    const QStringList names = {S("HI HI"), S("HI"), S("LO"), S("LO LO")};
    const DWORD severities[] = {900, 700, 700, 900};
    for (DWORD i = 0; i < 4; ++i) {
        EXPECT_EQ(Text(state.pszSCNames[i]), names[static_cast<int>(i)]);
        EXPECT_FALSE(Text(state.pszSCDefinitions[i]).isEmpty());
        EXPECT_FALSE(Text(state.pszSCDescriptions[i]).isEmpty());
        EXPECT_EQ(state.pdwSCSeverities[i], severities[i]);
    }
    ASSERT_EQ(state.dwNumEventAttrs, 3u);
    EXPECT_EQ(state.pErrors[0], S_OK);
    EXPECT_EQ(state.pEventAttributes[0].vt, VT_R8);
    EXPECT_EQ(state.pErrors[1], E_FAIL) << "unknown attribute id";
    EXPECT_EQ(state.pEventAttributes[1].vt, VT_EMPTY);
    EXPECT_EQ(state.pErrors[2], S_OK);
    EXPECT_EQ(state.pEventAttributes[2].vt, VT_ARRAY | VT_BSTR);
}

TEST(SimServerConditionState, FollowsActivationAcknowledgementAndReturn) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    ASSERT_TRUE(rig.Sim->Activate(Lic201, PvLevel, S("HI")));
    const TSimConditionStateInfo info = *rig.Sim->ConditionState(Lic201, PvLevel);
    HRESULT item = E_FAIL;
    ASSERT_EQ(AckOne(rig.Server.Get(), S("OPERATOR3"), S("on it"), Lic201, PvLevel, info.ActiveTime,
                     info.Cookie, &item),
              S_OK);
    {
        TStateHolder holder;
        ASSERT_EQ(GetState(rig.Server.Get(), Lic201, PvLevel, {AttrAckComment}, holder), S_OK);
        const OPCCONDITIONSTATE& state = *holder.State;
        EXPECT_EQ(state.wState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE | OPC_CONDITION_ACKED);
        EXPECT_EQ(Text(state.szActiveSubCondition), S("HI"));
        EXPECT_EQ(Text(state.szASCDefinition), Text(state.pszSCDefinitions[1]));
        EXPECT_EQ(Text(state.szASCDescription), Text(state.pszSCDescriptions[1]));
        EXPECT_EQ(state.dwASCSeverity, 700u);
        EXPECT_EQ(Text(state.szAcknowledgerID), S("OPERATOR3"));
        EXPECT_EQ(Text(state.szComment), S("on it"));
        EXPECT_EQ(Ticks(state.ftCondLastActive), Ticks(info.ActiveTime));
        EXPECT_EQ(Ticks(state.ftSubCondLastActive), Ticks(info.ActiveTime));
        EXPECT_GT(Ticks(state.ftLastAckTime), Ticks(info.ActiveTime));
        EXPECT_EQ(Ticks(state.ftCondLastInactive), 0u);
        ASSERT_EQ(state.pEventAttributes[0].vt, VT_BSTR);
        EXPECT_EQ(zelk::com::BStrToQString(state.pEventAttributes[0].bstrVal), S("on it"));
    }
    ASSERT_TRUE(rig.Sim->ReturnToNormal(Lic201, PvLevel));
    TStateHolder holder;
    ASSERT_EQ(GetState(rig.Server.Get(), Lic201, PvLevel, {}, holder), S_OK);
    EXPECT_EQ(holder.State->wState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED);
    EXPECT_EQ(holder.State->szActiveSubCondition, nullptr);
    EXPECT_GT(Ticks(holder.State->ftCondLastInactive), Ticks(info.ActiveTime));
    EXPECT_EQ(Text(holder.State->szAcknowledgerID), S("OPERATOR3")) << "kept after return";
}

TEST(SimServerConditionState, RejectsBadArguments) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    TStateHolder holder;
    EXPECT_EQ(GetState(rig.Server.Get(), S("Plant1.TankFarm.LIC999"), PvLevel, {}, holder),
              E_INVALIDARG);
    EXPECT_EQ(GetState(rig.Server.Get(), Lic201, S("TRIP"), {}, holder), E_INVALIDARG);
    EXPECT_EQ(holder.State, nullptr);
    zelk::com::BStr source(Lic201);
    zelk::com::BStr condition(PvLevel);
    EXPECT_EQ(rig.Server->GetConditionState(source.Get(), condition.Get(), 0, nullptr, nullptr),
              E_POINTER);
    EXPECT_EQ(
        rig.Server->GetConditionState(source.Get(), condition.Get(), 2, nullptr, &holder.State),
        E_INVALIDARG);
    EXPECT_EQ(rig.Server->GetConditionState(nullptr, condition.Get(), 0, nullptr, &holder.State),
              E_INVALIDARG);
}

TEST(SimServerEnable, AreaAboveASourceDisablesIt) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    TAESimulator& sim = *rig.Sim;
    ASSERT_TRUE(sim.Activate(Li101, PvLevel, S("LO")));
    rig.Sink->Take();

    ASSERT_EQ(ChangeEnabled(rig.Server.Get(), true, false, {S("Plant1.TankFarm")}), S_OK);
    EXPECT_FALSE(sim.SourceEnabled(Li101)) << "in a sub-area of the disabled area";
    EXPECT_FALSE(sim.SourceEnabled(Lic201));
    EXPECT_TRUE(sim.SourceEnabled(Tic301));
    // One ENABLE_STATE report per condition of the area; the active one also goes inactive.
    const std::vector<TRecordedEvent> disabled = rig.Sink->Take();
    int conditionsInArea = 0;
    for (const TSimSourceDef& source : sim.Plant().Sources)
        if (source.Area.startsWith(S("Plant1.TankFarm")))
            conditionsInArea += static_cast<int>(source.Conditions.size());
    EXPECT_EQ(static_cast<int>(disabled.size()), conditionsInArea);
    for (const TRecordedEvent& event : disabled) {
        EXPECT_TRUE(event.ChangeMask & OPC_CHANGE_ENABLE_STATE);
        EXPECT_EQ(event.NewState & OPC_CONDITION_ENABLED, 0);
        if (event.Source == Li101) {
            EXPECT_TRUE(event.ChangeMask & OPC_CHANGE_ACTIVE_STATE);
            EXPECT_EQ(event.NewState, OPC_CONDITION_ACKED);
        }
    }

    // A disabled condition sends nothing, is not refreshed and cannot be acknowledged.
    EXPECT_FALSE(sim.Activate(Lic201, PvLevel));
    EXPECT_TRUE(sim.SetProcessValue(Lic201, 80.0));
    EXPECT_TRUE(rig.Sink->Take().empty());
    ASSERT_TRUE(sim.Activate(Tic301, PvLevel));
    rig.Sink->Take();
    ASSERT_EQ(rig.Subscription->Refresh(1), S_OK);
    sim.Pump();
    std::vector<TRecordedEvent> refreshed = rig.Sink->Take();
    ASSERT_EQ(refreshed.size(), 1u);
    EXPECT_EQ(refreshed[0].Source, Tic301);
    EXPECT_TRUE(refreshed[0].Refresh);
    const TSimConditionStateInfo li101 = *sim.ConditionState(Li101, PvLevel);
    HRESULT item = S_OK;
    EXPECT_EQ(AckOne(rig.Server.Get(), S("OP"), S(""), Li101, PvLevel, li101.ActiveTime,
                     li101.Cookie, &item),
              S_FALSE);
    EXPECT_EQ(item, E_INVALIDARG);

    // Enabling the source alone is not enough while its area stays disabled.
    ASSERT_EQ(ChangeEnabled(rig.Server.Get(), false, true, {Lic201}), S_OK);
    EXPECT_FALSE(sim.SourceEnabled(Lic201));
    EXPECT_TRUE(rig.Sink->Take().empty());

    // Enabling the area brings the conditions back, evaluated against their values now.
    ASSERT_EQ(ChangeEnabled(rig.Server.Get(), true, true, {S("Plant1.TankFarm")}), S_OK);
    EXPECT_TRUE(sim.SourceEnabled(Lic201));
    const std::vector<TRecordedEvent> enabled = rig.Sink->Take();
    // 80 % is above the HI limit and 30 above the set point: both alarms of LIC201.
    EXPECT_EQ(static_cast<int>(enabled.size()), conditionsInArea + 2);
    QStringList alarms;
    for (const TRecordedEvent& event : enabled) {
        if (event.ChangeMask & OPC_CHANGE_ENABLE_STATE) {
            EXPECT_EQ(event.NewState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED);
        } else {
            alarms.append(event.Source + u' ' + event.SubCondition);
        }
    }
    EXPECT_EQ(alarms, QStringList({Lic201 + S(" HI"), Lic201 + S(" DV HI")}))
        << "the value set while disabled raises the alarms on enabling";
}

TEST(SimServerEnable, BySourceAndBadNames) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    ASSERT_EQ(ChangeEnabled(rig.Server.Get(), false, false, {Tic301}), S_OK);
    TStateHolder holder;
    ASSERT_EQ(GetState(rig.Server.Get(), Tic301, PvLevel, {}, holder), S_OK);
    EXPECT_EQ(holder.State->wState & OPC_CONDITION_ENABLED, 0);
    rig.Sink->Take();

    // A list with one unknown name changes nothing at all.
    EXPECT_EQ(ChangeEnabled(rig.Server.Get(), false, true, {Tic301, S("Plant1.Nowhere.X1")}),
              E_INVALIDARG);
    EXPECT_FALSE(rig.Sim->SourceEnabled(Tic301));
    EXPECT_EQ(ChangeEnabled(rig.Server.Get(), true, false, {S("Plant1.Nowhere")}), E_INVALIDARG);
    EXPECT_EQ(ChangeEnabled(rig.Server.Get(), true, false, {}), E_INVALIDARG);
    EXPECT_EQ(rig.Server->DisableConditionByArea(1, nullptr), E_INVALIDARG);
    LPWSTR nullName[] = {nullptr};
    EXPECT_EQ(rig.Server->EnableConditionBySource(1, nullName), E_INVALIDARG);
    EXPECT_TRUE(rig.Sink->Take().empty());

    ASSERT_EQ(ChangeEnabled(rig.Server.Get(), false, true, {Tic301}), S_OK);
    EXPECT_TRUE(rig.Sim->SourceEnabled(Tic301));
    const std::vector<TSimCall> calls =
        rig.Sim->Faults().Calls("IOPCEventServer::EnableConditionBySource");
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().Arguments, S("Names=[Plant1.Reactor Area.TIC301]"));
}
