// A server that sends faster than the event server merges: its sink waits instead of
// queuing without bound, nothing is lost, and disconnecting lets a waiting sink go.

#include "SubscriptionTestSupport.h"

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace zelk::aetest;
using zelk::aesim::TScopedAESimulator;
using zelk::test::WaitUntil;
using namespace std::chrono_literals;

namespace {

// Simple events from "S0", "S1", ... as one server call passes them.
struct TCall {
    explicit TCall(int count) : Notifications(static_cast<std::size_t>(count)) {
        for (int i = 0; i < count; ++i) {
            TNotification& n = Notifications[static_cast<std::size_t>(i)];
            n.Source = QStringLiteral("S%1").arg(i);
            n.EventType = OPC_SIMPLE_EVENT;
            Records.push_back(n.Record());
        }
    }
    std::vector<TNotification> Notifications;
    std::vector<ONEVENTSTRUCT> Records;
};

// Waits on this thread without processing events: nothing is merged meanwhile.
bool WaitWithoutMerging(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// An event server connected to the simulator, and the sink of its default filter.
struct TConnected {
    TConnected() {
        Server->Connect(SimProgId, QString());
        Sink = Server->Filter()->Items(0)->Subscriptor();
        EXPECT_NE(Sink, nullptr);
    }
    TScopedAESimulator Sim;
    std::unique_ptr<TZelkEventServer> Server = std::make_unique<TZelkEventServer>();
    ComPtr<TZelkEventSubscription> Sink;
};

} // namespace

TEST_F(SubscriptionTest, ASinkWaitsWhileTheQueueIsBackloggedAndNothingIsLost) {
    TLeakCheck leaks;
    TConnected connected;
    TZelkEventServer& server = *connected.Server;
    TZelkEventSubscription* sink = connected.Sink.Get();
    ASSERT_NE(sink, nullptr);
    int arrived = 0;
    server.OnEvent = [&](TComponent*, TZelkEvent*) { ++arrived; };
    const std::shared_ptr<TZelkMsgBacklog> backlog = server.Backlog();
    const int calls = static_cast<int>(backlog->Limit()) * 3;

    TCall one(1);
    std::atomic<int> returned{0};
    std::thread serverThread([&] {
        for (int i = 0; i < calls; ++i) {
            sink->OnEvent(1, FALSE, FALSE, 1, one.Records.data());
            ++returned;
        }
    });
    // Nothing is merged yet, so the server's thread ends up waiting inside OnEvent.
    ASSERT_TRUE(WaitWithoutMerging([&] { return backlog->Waiting() == 1; }));
    EXPECT_EQ(backlog->Queued(), backlog->Limit() + 1);
    EXPECT_LT(returned, calls);
    // A call on the UI thread never waits, backlog or not.
    sink->OnEvent(1, FALSE, FALSE, 1, one.Records.data());

    // Merging makes room; every notification arrives.
    ASSERT_TRUE(WaitUntil([&] { return arrived == calls + 1; }, 60s));
    serverThread.join();
    EXPECT_EQ(returned, calls);
    EXPECT_EQ(backlog->Queued(), 0u);
    server.Disconnect();
}

TEST_F(SubscriptionTest, DisconnectingOrDestroyingTheEventServerLetsAWaitingSinkGo) {
    TLeakCheck leaks;
    for (const bool destroy : {false, true}) {
        TConnected connected;
        std::unique_ptr<TZelkEventServer>& server = connected.Server;
        ComPtr<TZelkEventSubscription>& sink = connected.Sink;
        ASSERT_NE(sink, nullptr);
        const std::shared_ptr<TZelkMsgBacklog> backlog = server->Backlog();
        TCall one(1);
        std::atomic<bool> done{false};
        std::thread serverThread([&] {
            for (std::size_t i = 0; i <= backlog->Limit() + 1; ++i)
                sink->OnEvent(1, FALSE, FALSE, 1, one.Records.data());
            done = true;
        });
        ASSERT_TRUE(WaitWithoutMerging([&] { return backlog->Waiting() == 1; }));
        if (destroy)
            server.reset();
        else
            server->Disconnect();
        ASSERT_TRUE(WaitWithoutMerging([&] { return done.load(); }));
        serverThread.join();
        EXPECT_EQ(sink->OPCServer(), nullptr) << "un-advised: later calls post nothing";
        sink.Reset();
    }
}

TEST_F(SubscriptionTest, ALargeServerCallIsQueuedInBatchesThatKeepTheOrder) {
    TLeakCheck leaks;
    TConnected connected;
    TZelkEventServer& server = *connected.Server;
    TZelkEventSubscription* sink = connected.Sink.Get();
    ASSERT_NE(sink, nullptr);
    QStringList sources;
    int brackets = 0;
    server.OnEvent = [&](TComponent*, TZelkEvent* event) { sources << event->Source(); };
    server.OnBeginUpdate = [&](TComponent*) { ++brackets; };

    const int count = static_cast<int>(TZelkMsgBacklog::MaxBatch) * 2 + 7;
    TCall large(count);
    EXPECT_EQ(sink->OnEvent(1, FALSE, FALSE, static_cast<DWORD>(count), large.Records.data()),
              S_OK);
    EXPECT_EQ(server.Backlog()->Queued(), 3u);
    ASSERT_TRUE(WaitUntil([&] { return sources.size() == count; }, 60s));
    EXPECT_EQ(brackets, 3) << "each batch is one update bracket";
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(sources[i], QStringLiteral("S%1").arg(i));
    EXPECT_EQ(server.Events()->Count(), count);
    server.Disconnect();
}

TEST_F(SubscriptionTest, EventsTheListLetsGoAreDestroyedByTheThreadThatBuildsTheNext) {
    TLeakCheck leaks;
    TConnected connected;
    TZelkEventServer& server = *connected.Server;
    ASSERT_NE(connected.Sink, nullptr);
    int deleted = 0;
    server.OnDeleteEvent = [&](TComponent*, TZelkEvent* event) {
        ++deleted;
        EXPECT_EQ(event->Source(), QStringLiteral("TIC-101"));
    };
    // Three notifications of one condition: the list keeps the latest two and lets the
    // first go, while another batch still waits in the queue.
    TNotification n;
    n.Source = QStringLiteral("TIC-101");
    n.Condition = QStringLiteral("LEVEL");
    n.NewState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
    // One notification merged as the UI thread merges a queued batch.
    const auto deliver = [&] {
        auto batch = std::make_unique<TZelkEventBatch>();
        batch->Events.push_back(std::make_unique<TZelkEvent>(&server, n.Record()));
        TZelkMsg msg(MSG_EVENTS, 1, std::move(batch));
        server.HandleMsg(msg);
    };
    server.Backlog()->Added();
    for (int i = 0; i < 3; ++i)
        deliver();
    EXPECT_EQ(deleted, 1) << "the handler sees it first";
    EXPECT_EQ(server.Recycler()->Kept(), 1u);

    // The sink destroys it on its own thread before it builds its batch.
    TCall one(1);
    std::thread serverThread(
        [&] { connected.Sink->OnEvent(1, FALSE, FALSE, 1, one.Records.data()); });
    serverThread.join();
    EXPECT_EQ(server.Recycler()->Kept(), 0u);

    // With nothing waiting, the user-interface thread destroys what it lets go itself.
    server.Backlog()->Taken();
    ASSERT_TRUE(WaitUntil([&] { return server.Backlog()->Queued() == 0; }));
    for (int i = 0; i < 2; ++i)
        deliver();
    EXPECT_EQ(deleted, 3);
    EXPECT_EQ(server.Recycler()->Kept(), 0u);

    // Kept events go with the component.
    server.Backlog()->Added();
    deliver();
    EXPECT_EQ(server.Recycler()->Kept(), 1u);
    server.Backlog()->Taken();
    server.Disconnect();
    connected.Server.reset();
}

TEST(EventRecycler, KeepsUpToItsLimitAndNothingOnceClosed) {
    TNotification n;
    n.Source = QStringLiteral("S");
    const auto event = [&n] { return std::make_unique<TZelkEvent>(n.Record(), 1); };
    TZelkEventRecycler recycler;
    for (std::size_t i = 0; i < TZelkEventRecycler::Limit; ++i) {
        auto kept = event();
        ASSERT_TRUE(recycler.Keep(kept));
        ASSERT_EQ(kept, nullptr);
    }
    auto over = event();
    EXPECT_FALSE(recycler.Keep(over));
    EXPECT_NE(over, nullptr) << "left to the caller";
    recycler.Purge();
    EXPECT_EQ(recycler.Kept(), 0u);
    EXPECT_TRUE(recycler.Keep(over));
    recycler.Close();
    EXPECT_EQ(recycler.Kept(), 0u);
    auto late = event();
    EXPECT_FALSE(recycler.Keep(late));
    EXPECT_NE(late, nullptr);
}
