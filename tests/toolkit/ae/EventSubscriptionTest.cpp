// Filters and their subscriptions against the simulated AE server, reached through the
// COM transport: what is sent when, what arrives, and that nothing is left behind.

#include "SubscriptionTestSupport.h"

#include <memory>

using enum ZelkAEEnums::TZelkEventtype;

using namespace zelk::aetest;
using zelk::aesim::TScopedAESimulator;
using zelk::aesim::TSimClassOptions;
using zelk::test::WaitUntil;

namespace {

constexpr std::string_view SetState = "IOPCEventSubscriptionMgt::SetState";
constexpr std::string_view SetFilter = "IOPCEventSubscriptionMgt::SetFilter";
constexpr std::string_view Select = "IOPCEventSubscriptionMgt::SelectReturnedAttributes";

// The sources of the events the server hands to OnEvent, in arrival order.
struct TArrivals {
    explicit TArrivals(TZelkEventServer& server) {
        server.OnEvent = [this](TComponent*, TZelkEvent* event) { Sources << event->Source(); };
        server.OnBeginUpdate = [this](TComponent*) { ++Batches; };
    }
    QStringList Sources;
    int Batches = 0;
};

// A simple event from `source`, as a server passes it to OnEvent.
void Simple(TNotification& notification, const QString& source) {
    notification.Source = source;
    notification.Message = QStringLiteral("message");
    notification.EventType = OPC_SIMPLE_EVENT;
}

} // namespace

TEST_F(SubscriptionTest, AnEmptyCollectionGetsADefaultFilterThatReceivesEverything) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TZelkEventServer server;
    server.SetBuffertime(200);
    server.SetMaxSize(50);
    TArrivals arrivals(server);
    server.Connect(SimProgId, QString());
    ASSERT_EQ(server.Filter()->Count(), 1);
    const TZelkEventFilter* filter = server.Filter()->Items(0);
    EXPECT_EQ(filter->Name(), QStringLiteral("Default"));
    EXPECT_TRUE(filter->Active());
    ASSERT_NE(filter->Subscriptor(), nullptr);
    const TZelkEventSubscription* subscription = filter->Subscriptor();
    EXPECT_TRUE(subscription->Active());
    EXPECT_EQ(sim->Subscriptions(), 1);

    // The server refuses a lowest severity of 0, so the filter goes again with 1.
    const QString cookie = QString::number(subscription->Cookie());
    EXPECT_EQ(SubscriptionCalls(*sim),
              (QStringList{"CreateEventSubscription", "SetState", "SetFilter", "SetFilter",
                           "SetState", "Refresh"}));
    EXPECT_EQ(Recorded(*sim, "IOPCEventServer::CreateEventSubscription"),
              QStringList{"Active=0 BufferTime=200 MaxSize=50 ClientHandle=1"});
    EXPECT_EQ(Recorded(*sim, SetFilter),
              (QStringList{FilterText(7, "[]", 0), FilterText(7, "[]", 1)}));
    EXPECT_EQ(Recorded(*sim, SetState),
              (QStringList{"Active=0 BufferTime=200 MaxSize=50 ClientHandle=0",
                           "Active=-1 BufferTime=200 MaxSize=50 ClientHandle=" + cookie}));
    const TZelkEventItem* level = server.Categories()->ByName(QStringLiteral("Level"));
    ASSERT_NE(level, nullptr);
    EXPECT_TRUE(
        Recorded(*sim, Select)
            .contains(QStringLiteral("Category=%1 Attributes=[1,2,3,4,5,6,7,14]").arg(level->Id)));
    EXPECT_EQ(Recorded(*sim, Select).size(), server.Categories()->Count());

    ASSERT_TRUE(sim->FireSimpleEvent("Plant1.PLC1", CategoryId(*sim, "System Message"), "hi", 1));
    ASSERT_TRUE(sim->Activate("Plant1.TankFarm.LIC201", "PVLEVEL"));
    sim->AdvanceClock(1000);
    ASSERT_TRUE(WaitUntil([&] { return arrivals.Sources.size() >= 2; }));
    server.Disconnect();
    EXPECT_EQ(filter->Subscriptor(), nullptr);
    EXPECT_EQ(server.Filter()->Count(), 1) << "filters survive a disconnect";
    EXPECT_EQ(sim->Subscriptions(), 0);
}

TEST_F(SubscriptionTest, EachFilterGetsASubscriptionActiveOnlyWhenTheFilterIs) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TZelkEventServer server;
    TArrivals arrivals(server);
    TZelkEventFilter* alarms = server.Filter()->Add();
    alarms->SetEventType({evCondition});
    alarms->SetSeverityLow(600);
    alarms->SetSeverityHigh(900);
    alarms->SetCategories({"Level", "No such category", "Discrete", "level", "Level"});
    alarms->SetAreas({"Plant1.TankFarm"});
    alarms->SetSources({"Plant1.TankFarm.LIC201", "Plant1.Reactor Area.TIC301"});
    TZelkEventFilter* paused = server.Filter()->Add();
    paused->SetActive(false);
    TZelkEventFilter* messages = server.Filter()->Add();
    messages->SetEventType({evSimple, evTracking});
    messages->SetCategories({"No such category"});

    server.Connect(SimProgId, QString());
    ASSERT_TRUE(server.Active());
    ASSERT_EQ(server.Filter()->Count(), 3) << "no default filter beside filters of one's own";
    EXPECT_EQ(sim->Subscriptions(), 3);
    for (const TZelkEventFilter* filter : {alarms, paused, messages}) {
        ASSERT_NE(filter->Subscriptor(), nullptr);
        EXPECT_EQ(filter->Subscriptor()->Active(), filter->Active())
            << filter->Name().toStdString();
    }
    const QString level = QString::number(CategoryId(*sim, "Level"));
    const QString discrete = QString::number(CategoryId(*sim, "Discrete"));
    EXPECT_EQ(Recorded(*sim, SetFilter),
              (QStringList{FilterText(4, '[' + level + ',' + discrete + ',' + level + ']', 600, 900,
                                      R"(["Plant1.TankFarm"])",
                                      R"(["Plant1.TankFarm.LIC201","Plant1.Reactor Area.TIC301"])"),
                           FilterText(3, "[]", 0), FilterText(3, "[]", 1)}));
    EXPECT_EQ(Recorded(*sim, SetState).filter(QStringLiteral("Active=-1")).size(), 2);

    // The server filters: the alarm passes only `alarms`, the message only `messages`.
    ASSERT_TRUE(sim->Activate("Plant1.TankFarm.LIC201", "PVLEVEL", "HI"));
    ASSERT_TRUE(sim->FireSimpleEvent("Plant1.PLC1", CategoryId(*sim, "System Message"), "hello"));
    sim->AdvanceClock(1000);
    ASSERT_TRUE(WaitUntil([&] { return arrivals.Sources.size() >= 2; }));
    EXPECT_EQ(arrivals.Sources.size(), 2) << arrivals.Sources.join(u',').toStdString();
    server.Disconnect();
    EXPECT_EQ(sim->Subscriptions(), 0);
}

TEST_F(SubscriptionTest, AFilterSwitchedOffGoesInactiveAtItsNextRefresh) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TZelkEventServer server;
    TZelkEventFilter* filter = server.Filter()->Add();
    server.Connect(SimProgId, QString());
    TZelkEventSubscription* subscription = filter->Subscriptor();
    ASSERT_NE(subscription, nullptr);
    const QString cookie = QString::number(subscription->Cookie());

    sim->Faults().ClearCalls();
    filter->SetActive(false);
    EXPECT_TRUE(SubscriptionCalls(*sim).isEmpty()) << "the setter only stores the flag";
    EXPECT_TRUE(subscription->Active());
    filter->Refresh();
    EXPECT_EQ(SubscriptionCalls(*sim), QStringList{"SetState"}) << "and no SetFilter";
    EXPECT_EQ(Recorded(*sim, SetState),
              QStringList{"Active=0 BufferTime=0 MaxSize=0 ClientHandle=" + cookie});
    EXPECT_FALSE(subscription->Active());
    EXPECT_EQ(filter->Subscriptor(), subscription);

    // With a subscription, switching on also waits for Refresh, which sends the edits.
    sim->Faults().ClearCalls();
    filter->SetSeverityLow(100);
    filter->SetActive(true);
    EXPECT_TRUE(SubscriptionCalls(*sim).isEmpty());
    filter->Refresh();
    EXPECT_EQ(SubscriptionCalls(*sim), (QStringList{"SetFilter", "SetState"}));
    EXPECT_EQ(Recorded(*sim, SetFilter), QStringList{FilterText(7, "[]", 100)});
    EXPECT_TRUE(subscription->Active());

    // A filter added while connected gets its subscription when it is switched on.
    TZelkEventFilter* added = server.Filter()->Add();
    EXPECT_EQ(added->Subscriptor(), nullptr);
    added->SetActive(false);
    added->SetActive(true);
    ASSERT_NE(added->Subscriptor(), nullptr);
    EXPECT_TRUE(added->Subscriptor()->Active());
    EXPECT_EQ(sim->Subscriptions(), 2);

    server.Disconnect();
    EXPECT_EQ(sim->Subscriptions(), 0);
    added->SetActive(false);
    added->SetActive(true);
    EXPECT_EQ(added->Subscriptor(), nullptr) << "without a connection the flag is only stored";
}

TEST_F(SubscriptionTest, AServerWithoutRefreshOrAcceptingSeverityZeroIsServedAsItIs) {
    TLeakCheck leaks;
    TSimClassOptions options;
    options.Capabilities.Refresh = false;
    options.Capabilities.AcceptsLowSeverityZero = true;
    TScopedAESimulator sim(options);
    TZelkEventServer server;
    server.Filter()->Add();
    server.Filter()->Add()->SetActive(false);
    server.Connect(SimProgId, QString());
    ASSERT_TRUE(server.Active()) << "the refresh at connect raised nothing";
    EXPECT_EQ(Recorded(*sim, SetFilter), QStringList{FilterText(7, "[]", 0)}) << "no retry";

    sim->Faults().ClearCalls();
    EXPECT_EQ(MessageOf([&] { server.Refresh(); }), QStringLiteral("<no exception>"));
    const TZelkEventSubscription* active = server.Filter()->Items(0)->Subscriptor();
    EXPECT_EQ(Recorded(*sim, "IOPCEventSubscriptionMgt::Refresh"),
              QStringList{"Connection=" + QString::number(active->Cookie())})
        << "the inactive subscription is not asked";

    sim->Faults().InjectResult("IOPCEventSubscriptionMgt::Refresh", E_FAIL);
    EXPECT_NE(MessageOf([&] { server.Filter()->Items(0)->Subscriptor()->Refresh(); }),
              QStringLiteral("<no exception>"));
    server.Disconnect();
}

TEST_F(SubscriptionTest, OnEventPostsOneBatchPerCallAndNothingWhenSilenced) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TZelkEventServer server;
    server.Connect(SimProgId, QString());
    TZelkEventSubscription* live = server.Filter()->Items(0)->Subscriptor();
    ASSERT_NE(live, nullptr);
    ComPtr<TZelkEventSubscription> silenced =
        TZelkEventSubscription::Create(&server, {server.Buffertime(), server.MaxSize()});
    silenced->SetActive(true);
    EXPECT_EQ(sim->Subscriptions(), 2);
    TArrivals arrivals(server);

    sim->Faults().ClearCalls();
    silenced->UnAdvise();
    silenced->UnAdvise();
    EXPECT_EQ(Recorded(*sim, SetState),
              QStringList{"Active=0 BufferTime=0 MaxSize=0 ClientHandle=" +
                          QString::number(silenced->Cookie())})
        << "un-advised once";
    EXPECT_EQ(silenced->RetCode(), -1);
    EXPECT_EQ(silenced->OPCServer(), nullptr);
    EXPECT_FALSE(silenced->Active());

    TNotification lost;
    Simple(lost, QStringLiteral("lost"));
    TNotification first;
    Simple(first, QStringLiteral("first"));
    TNotification second;
    Simple(second, QStringLiteral("second"));
    second.AddAttribute(zelk::com::ComVariant(QStringLiteral("Plant1.TankFarm")));
    ONEVENTSTRUCT pair[] = {first.Record(), second.Record()};
    EXPECT_EQ(silenced->OnEvent(1, FALSE, FALSE, 1, &lost.Record()), S_OK);
    EXPECT_EQ(live->OnEvent(1, FALSE, FALSE, 0, &lost.Record()), S_OK);
    EXPECT_EQ(live->OnEvent(1, FALSE, FALSE, 1, nullptr), S_OK);
    EXPECT_EQ(live->OnEvent(1, TRUE, TRUE, 2, pair), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return arrivals.Sources.contains(QStringLiteral("second")); }));
    EXPECT_EQ(arrivals.Sources, (QStringList{"first", "second"}));
    EXPECT_EQ(arrivals.Batches, 1);
    // The values belong to the server, which releases them itself after the call.
    ASSERT_EQ(pair[1].dwNumEventAttrs, 1u);
    EXPECT_EQ(pair[1].pEventAttributes[0].vt, VT_BSTR);

    silenced.Reset();
    EXPECT_EQ(sim->Subscriptions(), 1) << "the server subscription ends with the last reference";
    server.Disconnect();
}

TEST_F(SubscriptionTest, AFailedCreationLeavesNoSubscriptionBehind) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TZelkEventServer server;
    server.Connect(SimProgId, QString());
    ASSERT_EQ(sim->Subscriptions(), 1);
    auto create = [&] {
        TZelkEventSubscription::Create(&server, {server.Buffertime(), server.MaxSize()});
    };

    // A step after Advise fails: the sink is taken off the connection point again.
    sim->Faults().ClearCalls();
    sim->Faults().InjectResult(Select, E_FAIL);
    EXPECT_NE(MessageOf(create), QStringLiteral("<no exception>"));
    QStringList methods;
    for (const auto& call : sim->Faults().Calls())
        methods << QString::fromStdString(call.Method).section(QStringLiteral("::"), 1);
    EXPECT_EQ(methods, (QStringList{"CreateEventSubscription", "SetState"}));
    EXPECT_EQ(sim->Subscriptions(), 1) << "an advised sink would keep the subscription alive";

    sim->Faults().InjectResult("IOPCEventServer::CreateEventSubscription", E_FAIL);
    try {
        create();
        ADD_FAILURE() << "no exception";
    } catch (const EOPCException& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("can not create a event subscription"));
    }
    sim->Faults().InjectResult(SetState, E_FAIL);
    EXPECT_NE(MessageOf(create), QStringLiteral("<no exception>"));
    EXPECT_EQ(sim->Subscriptions(), 1);

    // A failed Advise raises nothing; the subscription stays deaf and un-advises nothing.
    sim->Faults().InjectResult("IConnectionPointContainer::FindConnectionPoint", E_FAIL);
    ComPtr<TZelkEventSubscription> deaf =
        TZelkEventSubscription::Create(&server, {server.Buffertime(), server.MaxSize()});
    EXPECT_EQ(deaf->RetCode(), E_FAIL);
    EXPECT_EQ(deaf->Cookie(), 0);
    sim->Faults().ClearCalls();
    deaf->UnAdvise();
    EXPECT_TRUE(SubscriptionCalls(*sim).isEmpty());
    deaf.Reset();
    EXPECT_EQ(sim->Subscriptions(), 1);
    server.Disconnect();
}

TEST_F(SubscriptionTest, TheSinkGoesEvenWhenTheServerFailsTheDeactivation) {
    TLeakCheck leaks;
    TScopedAESimulator sim;
    TZelkEventServer server;
    server.Filter()->Add();
    server.Filter()->Add();
    server.Connect(SimProgId, QString());
    ASSERT_EQ(sim->Subscriptions(), 2);
    sim->Faults().InjectResult(SetState, RPC_E_DISCONNECTED, zelk::aesim::TSimFaults::Always);

    ComPtr<TZelkEventSubscription> first = server.Filter()->Items(0)->Subscriptor();
    EXPECT_NE(MessageOf([&] { first->UnAdvise(); }), QStringLiteral("<no exception>"));
    EXPECT_EQ(first->RetCode(), -1);
    EXPECT_EQ(first->OPCServer(), nullptr);
    server.Filter()->UnAdviseAll();
    EXPECT_EQ(server.Filter()->Items(0)->Subscriptor(), nullptr);
    EXPECT_EQ(server.Filter()->Items(1)->Subscriptor(), nullptr);
    first.Reset();
    EXPECT_EQ(sim->Subscriptions(), 0) << "sink and server subscription do not hold each other";
    sim->Faults().ClearInjections();
    server.Disconnect();

    // A server that answers nothing any more cannot even take the sink off.
    server.Connect(SimProgId, QString());
    ASSERT_EQ(sim->Subscriptions(), 2);
    sim->Faults().StopAnswering();
    server.Disconnect();
    EXPECT_EQ(sim->Subscriptions(), 0);
    sim->Faults().ResumeAnswering();
}

TEST_F(SubscriptionTest, AServerDestroyedWhileTheSimulatorFloodsItLeavesNothingBehind) {
    TLeakCheck leaks;
    TSimClassOptions options;
    options.Clock = zelk::aesim::TSimClockMode::RealTime;
    options.Flood = true;
    options.FloodRate = 20'000;
    TScopedAESimulator sim(options);
    for (int round = 0; round < 3; ++round) {
        auto server = std::make_unique<TZelkEventServer>();
        server->Filter()->Add();
        server->Filter()->Add()->SetEventType({evSimple});
        int arrived = 0;
        server->OnEvent = [&](TComponent*, TZelkEvent*) { ++arrived; };
        server->Connect(SimProgId, QString());
        ASSERT_TRUE(server->Active());
        ASSERT_TRUE(WaitUntil([&] { return arrived > 100; }, std::chrono::seconds(20)));
        // Destroyed with notifications on their way from the simulator's thread.
        server.reset();
        // A delivery under way on the simulator's thread holds its subscription until the
        // call returns.
        EXPECT_TRUE(WaitUntil([&] { return sim->Subscriptions() == 0; }));
    }
    sim->StopRealTime();
}
