#include "SimSubscriptionTestSupport.h"
#include "comholders.h"
#include "opcerror.h"

#include <gtest/gtest.h>

using namespace zelk::aesim;
using namespace zelk::aesim::subtest;

namespace {

std::vector<DWORD> Returned(IOPCEventSubscriptionMgt* mgt, DWORD category) {
    zelk::com::TaskArray<DWORD> ids;
    EXPECT_EQ(mgt->GetReturnedAttributes(category, ids.PutCount(), ids.Put()), S_OK);
    return {ids.begin(), ids.end()};
}

HRESULT Select(IOPCEventSubscriptionMgt* mgt, DWORD category, std::vector<DWORD> ids) {
    return mgt->SelectReturnedAttributes(category, static_cast<DWORD>(ids.size()), ids.data());
}

struct TState {
    BOOL Active = FALSE;
    DWORD BufferTime = 0;
    DWORD MaxSize = 0;
    OPCHANDLE Handle = 0;
};

TState GetState(IOPCEventSubscriptionMgt* mgt) {
    TState s;
    EXPECT_EQ(mgt->GetState(&s.Active, &s.BufferTime, &s.MaxSize, &s.Handle), S_OK);
    return s;
}

} // namespace

TEST(SimSubscriptionAttributes, SelectedValuesArriveInTheSelectedOrder) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);

    EXPECT_EQ(Select(rig.Mgt.Get(), kLevel, {kAttrAckComment, kAttrCV}), S_OK);
    EXPECT_EQ(Returned(rig.Mgt.Get(), kLevel), (std::vector<DWORD>{kAttrAckComment, kAttrCV}));
    EXPECT_TRUE(Returned(rig.Mgt.Get(), kOperatorChange).empty());

    // Refused selections change nothing.
    EXPECT_EQ(Select(rig.Mgt.Get(), 99, {kAttrCV}), E_INVALIDARG);
    EXPECT_EQ(Select(rig.Mgt.Get(), kLevel, {kAttrCV, kAttrNewValue}), E_INVALIDARG);
    EXPECT_EQ(rig.Mgt->SelectReturnedAttributes(kLevel, 2, nullptr), E_INVALIDARG);
    EXPECT_EQ(Returned(rig.Mgt.Get(), kLevel), (std::vector<DWORD>{kAttrAckComment, kAttrCV}));
    DWORD count = 0;
    DWORD* ids = nullptr;
    EXPECT_EQ(rig.Mgt->GetReturnedAttributes(99, &count, &ids), E_INVALIDARG);
    EXPECT_EQ(rig.Mgt->GetReturnedAttributes(kLevel, nullptr, &ids), E_POINTER);

    auto level = Note("Plant2.FIC301", kLevel);
    level.Attributes.push_back(Attr(kAttrCV, 12.5));
    level.Attributes.push_back(Attr(kAttrAreas, QStringLiteral("not selected")));
    auto tracking = Note("Plant2.FIC300", kOperatorChange);
    tracking.Attributes.push_back(Attr(kAttrNewValue, 3.0));
    rig.Publish(level);
    rig.Publish(tracking);
    rig.Pump(0);

    auto calls = rig.Sink->Calls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].Events.size(), 2u);
    const auto& values = calls[0].Events[0].Attributes;
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0].Type(), VT_EMPTY) << "ACK COMMENT is not in the notification";
    ASSERT_EQ(values[1].Type(), VT_R8);
    EXPECT_EQ(values[1].Value().dblVal, 12.5);
    EXPECT_TRUE(calls[0].Events[1].Attributes.empty()) << "nothing selected for tracking";

    // Count 0 clears the category's selection.
    EXPECT_EQ(rig.Mgt->SelectReturnedAttributes(kLevel, 0, nullptr), S_OK);
    EXPECT_TRUE(Returned(rig.Mgt.Get(), kLevel).empty());
    rig.Sink->Clear();
    rig.Publish(level);
    rig.Pump(1);
    calls = rig.Sink->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].Events[0].Attributes.empty());

    EXPECT_EQ(rig.Faults.Calls("IOPCEventSubscriptionMgt::SelectReturnedAttributes")[0].Arguments,
              QStringLiteral("Category=2 Attributes=[12,10]"));
}

TEST(SimSubscriptionState, CreationRevisesWhatTheServerCannotGrant) {
    TSubLeakCheck leaks;
    {
        TSubRig rig;
        EXPECT_EQ(rig.Create(false, 250, 20, 5), S_OK);
        EXPECT_EQ(rig.RevisedBufferTime, 250u);
        EXPECT_EQ(rig.RevisedMaxSize, 20u);
        const TState s = GetState(rig.Mgt.Get());
        EXPECT_EQ(s.Active, FALSE);
        EXPECT_EQ(s.Handle, 5u);
    }
    {
        TSubRig rig;
        EXPECT_EQ(rig.Create(true, SimMaxBufferTime + 1, 0), OPC_S_INVALIDBUFFERTIME);
        EXPECT_EQ(rig.RevisedBufferTime, SimMaxBufferTime);
        EXPECT_EQ(rig.RevisedMaxSize, 0u) << "0 asks for no limit";
    }
    {
        TSubRig rig;
        EXPECT_EQ(rig.Create(true, 0, SimMaxMaxSize + 1), OPC_S_INVALIDMAXSIZE);
        EXPECT_EQ(rig.RevisedMaxSize, SimMaxMaxSize);
    }
    TSubRig rig;
    IUnknown* unknown = nullptr;
    DWORD revised = 0;
    EXPECT_EQ(CreateSimSubscription(rig.Server->GetUnknown(), *rig.Server, rig.Faults, TRUE, 0, 0,
                                    1, IID_IOPCEventSubscriptionMgt, &unknown, nullptr, &revised,
                                    nullptr),
              E_POINTER);
    EXPECT_EQ(CreateSimSubscription(rig.Server->GetUnknown(), *rig.Server, rig.Faults, TRUE, 0, 0,
                                    1, IID_IOPCEventSink, &unknown, &revised, &revised, nullptr),
              E_NOINTERFACE);
    EXPECT_EQ(unknown, nullptr);
}

TEST(SimSubscriptionState, NullMeansUnchangedAndTheClientHandleIsAlwaysApplied) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(false, 100, 10, 1), S_OK);

    DWORD revisedBufferTime = 0;
    DWORD revisedMaxSize = 0;
    const BOOL active = -1; // how many clients write TRUE
    EXPECT_EQ(rig.SetState(&active, nullptr, nullptr, 7, &revisedBufferTime, &revisedMaxSize),
              S_OK);
    EXPECT_EQ(revisedBufferTime, 100u);
    EXPECT_EQ(revisedMaxSize, 10u);
    TState s = GetState(rig.Mgt.Get());
    EXPECT_EQ(s.Active, TRUE);
    EXPECT_EQ(s.BufferTime, 100u);
    EXPECT_EQ(s.MaxSize, 10u);
    EXPECT_EQ(s.Handle, 7u);

    const DWORD bufferTime = 500;
    EXPECT_EQ(rig.SetState(nullptr, &bufferTime, nullptr, 0), S_OK);
    s = GetState(rig.Mgt.Get());
    EXPECT_EQ(s.Active, TRUE);
    EXPECT_EQ(s.BufferTime, 500u);
    EXPECT_EQ(s.MaxSize, 10u);
    EXPECT_EQ(s.Handle, 0u) << "the handle is applied even when it is 0";

    const DWORD maxSize = SimMaxMaxSize * 2;
    EXPECT_EQ(rig.SetState(nullptr, nullptr, &maxSize, 9, &revisedBufferTime, &revisedMaxSize),
              OPC_S_INVALIDMAXSIZE);
    EXPECT_EQ(revisedBufferTime, 500u);
    EXPECT_EQ(revisedMaxSize, SimMaxMaxSize);
    const DWORD longTime = SimMaxBufferTime + 5;
    EXPECT_EQ(rig.SetState(nullptr, &longTime, nullptr, 9, &revisedBufferTime, &revisedMaxSize),
              OPC_S_INVALIDBUFFERTIME);
    EXPECT_EQ(revisedBufferTime, SimMaxBufferTime);

    BOOL b = FALSE;
    DWORD d = 0;
    EXPECT_EQ(rig.Mgt->SetState(nullptr, nullptr, nullptr, 1, nullptr, &d), E_POINTER);
    EXPECT_EQ(rig.Mgt->GetState(&b, &d, nullptr, &d), E_POINTER);

    const auto calls = rig.Faults.Calls("IOPCEventSubscriptionMgt::SetState");
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].Arguments,
              QStringLiteral("Active=-1 BufferTime=null MaxSize=null ClientHandle=7"));
    EXPECT_EQ(calls[1].Arguments,
              QStringLiteral("Active=null BufferTime=500 MaxSize=null ClientHandle=0"));
}

TEST(SimSubscriptionState, AnInactiveSubscriptionQueuesNothing) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(false), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    rig.Publish(Note("Plant2.FIC300"));
    ASSERT_EQ(rig.SetActive(true), S_OK);
    rig.Pump(0);
    EXPECT_TRUE(rig.Sink->Calls().empty()) << "published while inactive";

    rig.Publish(Note("Plant2.FIC301"));
    ASSERT_EQ(rig.SetActive(false), S_OK);
    ASSERT_EQ(rig.SetActive(true), S_OK);
    rig.Pump(1);
    EXPECT_TRUE(rig.Sink->Calls().empty()) << "queued notifications go with deactivation";

    rig.Publish(Note("Plant1.Boiler.TIC7"));
    rig.Pump(2);
    EXPECT_EQ(rig.Sink->Sources(), QStringList{"Plant1.Boiler.TIC7"});
}

TEST(SimSubscriptionState, InjectedFaultsAndShutdownAnswerInsteadOfTheWork) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(false), S_OK);
    rig.Faults.InjectResult("IOPCEventSubscriptionMgt::SetFilter", E_OUTOFMEMORY);
    EXPECT_EQ(rig.SetFilter(OPC_SIMPLE_EVENT, {}, 1, 1000), E_OUTOFMEMORY);
    EXPECT_EQ(GetState(rig.Mgt.Get()).Active, FALSE);
    EXPECT_EQ(rig.SetFilter(OPC_SIMPLE_EVENT, {}, 1, 1000), S_OK) << "injected once";

    rig.Channel->Disconnect();
    BOOL b = FALSE;
    DWORD d = 0;
    EXPECT_EQ(rig.Mgt->GetState(&b, &d, &d, &d), RPC_E_DISCONNECTED);
    EXPECT_EQ(rig.SetFilter(7, {}, 1, 1000), RPC_E_DISCONNECTED);
    EXPECT_EQ(rig.Mgt->Refresh(1), RPC_E_DISCONNECTED);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(rig.Mgt->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IOPCEventSink, point.Put()), RPC_E_DISCONNECTED);
    EXPECT_FALSE(point);
}
