#include "SimSubscriptionTestSupport.h"
#include "opcerror.h"

#include <gtest/gtest.h>
#include <thread>

using namespace zelk::aesim;
using namespace zelk::aesim::subtest;

namespace {

QString Src(int i) {
    return QStringLiteral("Plant2.FIC%1").arg(300 + i);
}

std::vector<QStringList> CallSources(const TRecordingEventSink& sink) {
    std::vector<QStringList> calls;
    for (const auto& call : sink.Calls())
        calls.push_back(call.Sources());
    return calls;
}

} // namespace

TEST(SimSubscriptionDelivery, BufferTimeIsTheLeastTimeBetweenCalls) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(true, 1000, 0, 42), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);

    rig.Publish(Note(Src(0)));
    rig.Pump(0);
    ASSERT_EQ(rig.Sink->Calls().size(), 1u) << "the first call need not wait";

    rig.Publish(Note(Src(1)));
    rig.Pump(10);
    rig.Publish(Note(Src(2)));
    rig.Pump(999);
    EXPECT_EQ(rig.Sink->Calls().size(), 1u) << "within the buffer time";
    rig.Pump(1000);
    ASSERT_EQ(rig.Sink->Calls().size(), 2u);
    EXPECT_EQ(rig.Sink->Calls()[1].Sources(), (QStringList{Src(1), Src(2)}));
    EXPECT_EQ(rig.Sink->Calls()[1].ClientHandle, 42u);

    // Nothing queued: the due time passes without a call, and the next one goes at once.
    rig.Pump(5000);
    EXPECT_EQ(rig.Sink->Calls().size(), 2u);
    rig.Publish(Note(Src(3)));
    rig.Pump(5001);
    EXPECT_EQ(rig.Sink->Calls().size(), 3u);
    // A Pump that is late (an older time from another thread) changes nothing.
    rig.Publish(Note(Src(4)));
    rig.Pump(100);
    EXPECT_EQ(rig.Sink->Calls().size(), 3u);
    rig.Pump(6001);
    EXPECT_EQ(rig.Sink->Calls().size(), 4u);
}

TEST(SimSubscriptionDelivery, MaxSizeSplitsTheQueueFirstInFirstOut) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(true, 0, 2), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    for (int i = 0; i < 5; ++i)
        rig.Publish(Note(Src(i)));
    rig.Pump(0);
    EXPECT_EQ(CallSources(*rig.Sink),
              (std::vector<QStringList>{{Src(0), Src(1)}, {Src(2), Src(3)}, {Src(4)}}));
    for (const auto& call : rig.Sink->Calls()) {
        EXPECT_EQ(call.Refresh, FALSE);
        EXPECT_EQ(call.LastRefresh, FALSE);
    }
}

TEST(SimSubscriptionDelivery, AFullCallGoesBeforeTheBufferTimeTheRestWaits) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(true, 1000, 2), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    for (int i = 0; i < 3; ++i)
        rig.Publish(Note(Src(i)));
    rig.Pump(0);
    EXPECT_EQ(CallSources(*rig.Sink), (std::vector<QStringList>{{Src(0), Src(1)}}));

    rig.Pump(500);
    EXPECT_EQ(rig.Sink->Calls().size(), 1u) << "one waiting, less than MaxSize";
    rig.Publish(Note(Src(3)));
    rig.Pump(600);
    EXPECT_EQ(rig.Sink->Calls().size(), 2u) << "MaxSize reached";
    rig.Publish(Note(Src(4)));
    rig.Pump(1599);
    EXPECT_EQ(rig.Sink->Calls().size(), 2u);
    rig.Pump(1600);
    EXPECT_EQ(CallSources(*rig.Sink),
              (std::vector<QStringList>{{Src(0), Src(1)}, {Src(2), Src(3)}, {Src(4)}}));
}

TEST(SimSubscriptionDelivery, RecordsCarryTheNotificationAndNoNullText) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    TSimNotification n = Note("Plant1.TankFarm.LIC201", kLevel, 700, "Level high");
    n.ChangeMask = OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_SEVERITY;
    n.NewState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
    n.Time = {0x12345678, 0x01DA0000};
    n.ActiveTime = {0x12345677, 0x01DA0000};
    n.ConditionName = "PVLEVEL";
    n.SubconditionName = "HI";
    n.Quality = OPC_QUALITY_GOOD;
    n.AckRequired = true;
    n.Cookie = 77;
    rig.Publish(n);
    rig.Publish(Note("Plant1.Boiler.TIC7", kSystemMessage, 100)); // empty names and actor
    rig.Pump(0);

    const auto calls = rig.Sink->Calls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].Count, 2u);
    const TRecordedEvent& e = calls[0].Events[0];
    EXPECT_EQ(e.Source, QStringLiteral("Plant1.TankFarm.LIC201"));
    EXPECT_EQ(e.Message, QStringLiteral("Level high"));
    EXPECT_EQ(e.ChangeMask, OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_SEVERITY);
    EXPECT_EQ(e.NewState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE);
    EXPECT_EQ(e.Time.dwLowDateTime, 0x12345678u);
    EXPECT_EQ(e.ActiveTime.dwLowDateTime, 0x12345677u);
    EXPECT_EQ(e.ActiveTime.dwHighDateTime, 0x01DA0000u);
    EXPECT_EQ(e.EventType, OPC_CONDITION_EVENT);
    EXPECT_EQ(e.Category, kLevel);
    EXPECT_EQ(e.Severity, 700u);
    EXPECT_EQ(e.Condition, QStringLiteral("PVLEVEL"));
    EXPECT_EQ(e.SubCondition, QStringLiteral("HI"));
    EXPECT_EQ(e.Quality, OPC_QUALITY_GOOD);
    EXPECT_EQ(e.AckRequired, TRUE);
    EXPECT_EQ(e.Cookie, 77u);
    EXPECT_FALSE(e.NullText);
    EXPECT_FALSE(calls[0].Events[1].NullText) << "empty names are empty strings, not null";
    EXPECT_EQ(calls[0].Events[1].Condition, QString());
}

TEST(SimSubscriptionDelivery, ASecondSinkIsRefused) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    EXPECT_NE(rig.Cookie, 0u);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(rig.Mgt->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IID_IOPCEventSink, point.Put()), S_OK);
    ComPtr<IConnectionPoint> shutdown;
    EXPECT_EQ(container->FindConnectionPoint(IID_IOPCShutdown, shutdown.Put()),
              CONNECT_E_NOCONNECTION);

    auto second = TRecordingEventSink::Create();
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(second->GetUnknown(), &cookie), CONNECT_E_ADVISELIMIT);
    // Once the first has gone, another may come.
    EXPECT_EQ(point->Unadvise(rig.Cookie), S_OK);
    EXPECT_EQ(point->Advise(second->GetUnknown(), &cookie), S_OK);
    rig.Publish(Note(Src(0)));
    rig.Pump(0);
    EXPECT_TRUE(rig.Sink->Calls().empty());
    EXPECT_EQ(second->Calls().size(), 1u);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

TEST(SimSubscriptionDelivery, AFailedCallDropsThatBatchOnly) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(true, 0, 1), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    rig.Sink->Result = E_FAIL;
    rig.Publish(Note(Src(0)));
    rig.Pump(0);
    rig.Sink->Result = S_OK;
    rig.Publish(Note(Src(1)));
    rig.Pump(1);
    rig.Pump(2);
    EXPECT_EQ(CallSources(*rig.Sink), (std::vector<QStringList>{{Src(0)}, {Src(1)}}))
        << "the failed batch is not sent again";

    // Without a sink, a due batch is dropped too: it does not wait for the next sink.
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(rig.Mgt->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IID_IOPCEventSink, point.Put()), S_OK);
    ASSERT_EQ(point->Unadvise(rig.Cookie), S_OK);
    rig.Publish(Note(Src(2)));
    rig.Pump(3);
    ASSERT_EQ(rig.Advise(), S_OK);
    rig.Pump(4);
    EXPECT_EQ(rig.Sink->Calls().size(), 2u);
}

TEST(SimSubscriptionDelivery, ASinkMayCallBackIntoItsSubscription) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(true, 0, 1), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    IOPCEventSubscriptionMgt* mgt = rig.Mgt.Get(); // not counted: the rig holds it
    int calls = 0;
    rig.Sink->OnCall = [&](const TRecordedCall&) {
        ++calls;
        BOOL active = TRUE;
        DWORD revisedBufferTime = 0;
        DWORD revisedMaxSize = 0;
        EXPECT_EQ(mgt->SetState(&active, nullptr, nullptr, 100 + calls, &revisedBufferTime,
                                &revisedMaxSize),
                  S_OK);
        rig.Channel->Pump(calls); // a server step inside the sink: left to the running Pump
        EXPECT_EQ(rig.Sink->Overlapped.load(), false);
    };
    for (int i = 0; i < 3; ++i)
        rig.Publish(Note(Src(i)));
    rig.Pump(0);
    const auto received = rig.Sink->Calls();
    ASSERT_EQ(received.size(), 3u);
    // Each call carries the handle set by the call before it.
    EXPECT_EQ(received[0].ClientHandle, 1u);
    EXPECT_EQ(received[1].ClientHandle, 101u);
    EXPECT_EQ(received[2].ClientHandle, 102u);

    // A sink that deactivates its subscription stops what is still queued.
    rig.Sink->Clear();
    rig.Sink->OnCall = [&](const TRecordedCall&) {
        BOOL inactive = FALSE;
        DWORD revised = 0;
        mgt->SetState(&inactive, nullptr, nullptr, 1, &revised, &revised);
    };
    for (int i = 0; i < 3; ++i)
        rig.Publish(Note(Src(i)));
    rig.Pump(10);
    EXPECT_EQ(rig.Sink->Calls().size(), 1u);
    rig.Sink->OnCall = nullptr;
}

TEST(SimSubscriptionDelivery, PumpsFromTwoThreadsNeverOverlapAndKeepTheOrder) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(true, 0, 1), S_OK);
    ASSERT_EQ(rig.Advise(), S_OK);
    // Another thread pumps while a call is in the sink: it leaves the work to the running
    // Pump instead of making a second call at the same time.
    bool pumpedMeanwhile = false;
    rig.Sink->OnCall = [&](const TRecordedCall&) {
        if (!std::exchange(pumpedMeanwhile, true))
            std::thread([&] { rig.Pump(1); }).join();
    };
    for (int i = 0; i < 3; ++i)
        rig.Publish(Note(Src(i)));
    rig.Pump(0);
    rig.Sink->OnCall = nullptr;
    EXPECT_FALSE(rig.Sink->Overlapped.load());
    EXPECT_EQ(rig.Sink->Sources(), (QStringList{Src(0), Src(1), Src(2)}));

    // Many Pumps from two threads while the plant publishes.
    rig.Sink->Clear();
    const DWORD maxSize = 3;
    ASSERT_EQ(rig.SetState(nullptr, nullptr, &maxSize, 1), S_OK);
    constexpr int kCount = 3000;
    std::atomic<bool> publishing{true};
    std::thread plant([&] {
        for (int i = 0; i < kCount; ++i) {
            rig.Publish(Note(QStringLiteral("Plant2.FIC%1").arg(i)));
            rig.Pump(i);
        }
        publishing = false;
    });
    std::thread test([&] {
        for (TSimMillis t = 0; publishing; ++t)
            rig.Pump(t);
    });
    plant.join();
    test.join();
    rig.Pump(kCount);

    EXPECT_FALSE(rig.Sink->Overlapped.load());
    const QStringList sources = rig.Sink->Sources();
    ASSERT_EQ(sources.size(), kCount);
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(sources[i], QStringLiteral("Plant2.FIC%1").arg(i));
    for (const auto& call : rig.Sink->Calls())
        EXPECT_LE(call.Count, 3u);
}

TEST(SimSubscriptionDelivery, DisconnectReleasesASinkThatHoldsItsSubscription) {
    TSubLeakCheck leaks;
    TSubRig rig;
    ASSERT_EQ(rig.Create(), S_OK);
    {
        // Like a client's sink: it holds the subscription while the point holds the sink,
        // and nothing else holds either.
        auto sink = TRecordingEventSink::Create();
        sink->OnCall = [held = rig.Mgt](const TRecordedCall&) {};
        ComPtr<IConnectionPointContainer> container;
        ASSERT_EQ(rig.Mgt->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()),
                  S_OK);
        ComPtr<IConnectionPoint> point;
        ASSERT_EQ(container->FindConnectionPoint(IID_IOPCEventSink, point.Put()), S_OK);
        DWORD cookie = 0;
        ASSERT_EQ(point->Advise(sink->GetUnknown(), &cookie), S_OK);
    }
    rig.Mgt.Reset();
    rig.Publish(Note(Src(0)));

    // The server still holds the channel; the subscription goes while the sink is dropped.
    const long long before = zelk::com::LiveComObjects();
    rig.Channel->Disconnect();
    EXPECT_EQ(zelk::com::LiveComObjects(), before - 2) << "sink and subscription";
    rig.Pump(0);
    rig.Publish(Note(Src(1)));
    rig.Pump(1);
    std::weak_ptr<ISimChannel> channel = rig.Channel;
    rig.Channel.reset();
    EXPECT_TRUE(channel.expired());
}
