#include "MsgQueueTestSupport.h"
#include "Synchronize.h"
#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using zelk::test::WaitUntil;
using namespace zelk::msgtest;

TEST(MessageQueue, HandlesMessagesOnTheUIThreadInPostingOrderPerThread) {
    TRecordingComponent component;
    // Posted at once: the worker may not have its event yet; the first drain picks it up.
    component.PostMsg(MSG_NOTIFY, -1, nullptr);

    constexpr int Threads = 4;
    constexpr int PerThread = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < Threads; ++t)
        posters.emplace_back([&component, t] {
            for (int i = 0; i < PerThread; ++i)
                component.PostMsg(MSG_NOTIFY, t * 100000 + i, nullptr);
        });
    for (auto& poster : posters)
        poster.join();

    ASSERT_TRUE(WaitUntil([&] { return component.HandledCount() == Threads * PerThread + 1; }));
    EXPECT_EQ(component.Handled.front(), -1);
    std::vector<std::int64_t> lastOfThread(Threads, -1);
    for (std::size_t i = 1; i < component.Handled.size(); ++i) {
        const auto value = component.Handled[i];
        const auto thread = value / 100000;
        EXPECT_GT(value % 100000, lastOfThread[thread]) << "order broken for thread " << thread;
        lastOfThread[thread] = value % 100000;
    }
    for (bool onUI : component.OnUIThread)
        EXPECT_TRUE(onUI);
}

TEST(MessageQueue, MessagePostedDuringADrainIsHandledWithoutAnotherWakeUp) {
    class TReposting : public TRecordingComponent {
    public:
        using TRecordingComponent::TRecordingComponent;
        void HandleMsg(TZelkMsg& Msg) override {
            TRecordingComponent::HandleMsg(Msg);
            if (Msg.IParam < 5)
                PostMsg(MSG_NOTIFY, Msg.IParam + 1, nullptr);
        }
    } component;
    component.PostMsg(MSG_NOTIFY, 0, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return component.HandledCount() == 6; }, 30s));
    EXPECT_EQ(component.Handled, (std::vector<std::int64_t>{0, 1, 2, 3, 4, 5}));
}

TEST(MessageQueue, DestructionDestroysQueuedPayloadsWithoutHandlingThem) {
    std::atomic<int> destroyed{0};
    std::size_t handled = 0;
    {
        TRecordingComponent component;
        // No event is processed before the destructor, so no drain can run first.
        for (int i = 0; i < 10; ++i)
            component.PostMsg(MSG_LOG, i, std::make_unique<TCountedPayload>(destroyed));
        handled = component.Handled.size();
    }
    EXPECT_EQ(handled, 0u);
    EXPECT_EQ(destroyed, 10);
}

TEST(MessageQueue, FailingHandlerLosesItsMessageButNotTheWorkerOrPayloads) {
    std::atomic<int> destroyed{0};
    TRecordingComponent component;
    component.ThrowOn = 1;
    for (int i = 0; i < 3; ++i)
        component.PostMsg(MSG_LOG, i, std::make_unique<TCountedPayload>(destroyed));
    // The drain ends at message 1; message 2 waits for the next wake-up.
    ASSERT_TRUE(WaitUntil([&] { return component.HandledCount() >= 2; }));
    component.PostMsg(MSG_NOTIFY, 3, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return component.HandledCount() == 4; }));
    EXPECT_EQ(component.Handled, (std::vector<std::int64_t>{0, 1, 2, 3}));
    // Every payload went with its message, the failing one included.
    EXPECT_EQ(destroyed, 3);
}

TEST(MessageQueue, PayloadOfAMessageNobodyHandlesIsDestroyed) {
    std::atomic<int> destroyed{0};
    {
        TZelkHandleComponent component; // handles nothing
        component.PostMsg(12345, 0, std::make_unique<TCountedPayload>(destroyed));
        ASSERT_TRUE(WaitUntil([&] { return destroyed == 1; }));
    }
    TZelkComponent plain; // does not even queue
    plain.PostMsg(MSG_LOG, 0, std::make_unique<TCountedPayload>(destroyed));
    EXPECT_EQ(destroyed, 2);
}

TEST(MessageQueue, WithoutSynchronizeMessagesAreHandledOnTheWorker) {
    TRecordingComponent component;
    // The worker's first drain waits for the UI thread, which this test never serves: the
    // switch must take that drain back rather than wait for it.
    ASSERT_TRUE(WaitWithoutEvents([] { return SynchronizePending(); }));
    component.UseSynchronize(false);
    EXPECT_FALSE(component.WorkThread().fUseSync);
    component.PostMsg(MSG_NOTIFY, 7, nullptr);
    ASSERT_TRUE(WaitWithoutEvents([&] { return component.HandledCount() == 1; }));
    EXPECT_FALSE(component.OnUIThread.front());

    // And back: the next drain runs on the UI thread again.
    component.UseSynchronize(true);
    component.PostMsg(MSG_NOTIFY, 8, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return component.HandledCount() == 2; }, 30s));
    EXPECT_TRUE(component.OnUIThread.back());
}

TEST(MessageQueue, TimerTicksKeepTheirPeriodWhileMessagesArrive) {
    TRecordingComponent component;
    const auto start = std::chrono::steady_clock::now();
    component.WorkThread().SetTimer(300);
    // Messages every 90 ms must not push the ticks back: if each wake-up restarted the
    // period, no tick would come while they arrive.
    auto nextPost = start;
    while (component.TickCount() < 2 && std::chrono::steady_clock::now() - start < 60s) {
        if (std::chrono::steady_clock::now() >= nextPost) {
            component.PostMsg(MSG_NOTIFY, 0, nullptr);
            nextPost += 90ms;
        }
        WaitUntil([] { return false; }, 5ms);
    }
    ASSERT_EQ(component.TickCount(), 2u);
    EXPECT_GE(component.TickTimes[0] - start, 280ms);
    EXPECT_GE(component.TickTimes[1] - start, 580ms);
}

TEST(MessageQueue, KillTimerDuringAWaitGivesExactlyOneMoreTick) {
    TRecordingComponent component;
    component.WorkThread().SetTimer(300);
    ASSERT_TRUE(WaitUntil([&] { return component.TickCount() == 1; }));
    // A handled message means the worker has finished a drain and is about to wait (or
    // waits) for the rest of its 300 ms period; killing the timer then does not wake it.
    component.PostMsg(MSG_NOTIFY, 1, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return component.HandledCount() == 1; }));
    WaitUntil([] { return false; }, std::chrono::milliseconds(30));
    component.WorkThread().KillTimer();
    ASSERT_TRUE(WaitUntil([&] { return component.TickCount() == 2; }));
    EXPECT_FALSE(WaitUntil([&] { return component.TickCount() > 2; }, 700ms));
}

TEST(MessageQueue, MessageNamesCoverEveryId) {
    EXPECT_EQ(MsgIdName(1025), QStringLiteral("MSG_SERVER_SHUTDOWN"));
    EXPECT_EQ(MsgIdName(1028), QStringLiteral("MSG_WRITE_COMPLETE"));
    EXPECT_EQ(MsgIdName(1029), QStringLiteral("MSG_TIMER"));
    EXPECT_EQ(MsgIdName(5634), QStringLiteral("MSG_DATA_CHANGE"));
    EXPECT_EQ(MsgIdName(5635), QStringLiteral("MSG_EVENTS"));
    EXPECT_EQ(MsgIdName(5636), QStringLiteral("MSG_NOTIFY"));
    EXPECT_EQ(MsgIdName(5637), QStringLiteral("MSG_LOG"));
    EXPECT_EQ(MsgIdName(42), QStringLiteral("42"));
}
