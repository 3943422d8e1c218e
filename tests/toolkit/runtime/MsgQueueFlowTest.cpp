// How a busy queue shares the UI thread: drains in time slices, a backlog that slows the
// posting side down, and handler exceptions that are shown instead of lost.

#include "MsgQueueTestSupport.h"
#include "ShowException.h"
#include "TestSupport.h"

#include <QSet>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace std::chrono_literals;
using zelk::test::WaitUntil;
using namespace zelk::msgtest;

namespace {

// Installs a ShowException handler that records the messages for the test's lifetime.
class TShownExceptions {
public:
    TShownExceptions()
        : FPrevious(SetShowExceptionHandler([this](const std::exception& e) {
              const auto* exception = dynamic_cast<const Exception*>(&e);
              Messages << (exception ? exception->Message() : QString::fromUtf8(e.what()));
              OnUIThread.push_back(IsUIThread());
          })) {}
    ~TShownExceptions() { SetShowExceptionHandler(FPrevious); }

    QStringList Messages;
    std::vector<bool> OnUIThread;

private:
    TShowExceptionHandler FPrevious;
};

} // namespace

TEST(MessageQueueFlow, ADrainGivesTheThreadBackToTheEventLoopWhileMessagesRemain) {
    // Counts the turns of the event loop.
    int turns = 0;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++turns; });
    ticker.start();

    // Each message keeps the thread for 2 ms, a quarter of a drain's slice.
    class TSlow : public TRecordingComponent {
    public:
        explicit TSlow(const int& turns) : Turns(turns) {}
        void HandleMsg(TZelkMsg& Msg) override {
            TurnsSeen.push_back(Turns);
            const auto until = std::chrono::steady_clock::now() + 2ms;
            while (std::chrono::steady_clock::now() < until) {
            }
            TRecordingComponent::HandleMsg(Msg);
        }
        const int& Turns;
        std::vector<int> TurnsSeen;
    } component(turns);

    constexpr int Messages = 40;
    for (int i = 0; i < Messages; ++i)
        component.PostMsg(MSG_NOTIFY, i, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return component.HandledCount() == Messages; }, 60s));
    const QSet<int> distinct(component.TurnsSeen.begin(), component.TurnsSeen.end());
    // 80 ms of work in slices of 8 ms: the loop turned between the drains.
    EXPECT_GE(distinct.size(), 3) << "the drains let the event loop run in between";
    EXPECT_EQ(component.Handled.front(), 0);
    EXPECT_EQ(component.Handled.back(), Messages - 1);
}

TEST(MessageQueueFlow, AnExceptionFromAHandlerIsShownOnTheUIThreadAndTheWorkerGoesOn) {
    TShownExceptions shown;
    std::atomic<int> destroyed{0};
    TRecordingComponent component;
    component.ThrowOn = 1;
    for (int i = 0; i < 3; ++i)
        component.PostMsg(MSG_LOG, i, std::make_unique<TCountedPayload>(destroyed));
    // The message after the failing one follows without another post.
    ASSERT_TRUE(WaitUntil([&] { return component.HandledCount() == 3; }, 30s));
    EXPECT_EQ(shown.Messages, QStringList{QStringLiteral("handler failed")});
    EXPECT_EQ(destroyed, 3);

    // A failing timer tick is shown too.
    component.ThrowOnTick = true;
    component.WorkThread().SetTimer(20);
    ASSERT_TRUE(WaitUntil([&] { return shown.Messages.size() >= 2; }, 30s));
    component.WorkThread().KillTimer();
    EXPECT_EQ(shown.Messages[1], QStringLiteral("tick failed"));

    // Dispatched on the worker, the exception is still shown on the UI thread.
    component.ThrowOnTick = false;
    component.UseSynchronize(false);
    component.ThrowOn = 4;
    component.PostMsg(MSG_NOTIFY, 4, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return shown.Messages.size() >= 3; }, 30s));
    EXPECT_EQ(shown.Messages.back(), QStringLiteral("handler failed"));
    for (bool onUI : shown.OnUIThread)
        EXPECT_TRUE(onUI);
    component.PostMsg(MSG_NOTIFY, 5, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return component.HandledCount() == 5; }, 30s));
}

TEST(MessageQueueFlow, APosterWaitsForRoomUntilTheQueueDrainsOrTheComponentGoes) {
    auto component = std::make_unique<TRecordingComponent>();
    const std::shared_ptr<TZelkMsgBacklog> backlog = component->Backlog();
    const std::size_t limit = backlog->Limit();
    // No event is processed here, so nothing is drained.
    for (std::size_t i = 0; i <= limit; ++i)
        component->PostMsg(MSG_NOTIFY, static_cast<std::int64_t>(i), nullptr);
    EXPECT_EQ(backlog->Queued(), limit + 1);
    const std::atomic<bool> released{false};
    EXPECT_FALSE(backlog->WaitForRoom(released)) << "never on the UI thread";

    // A server thread waits, and goes as soon as the queue has room.
    std::atomic<bool> waited{false};
    std::atomic<bool> done{false};
    std::thread poster([&] {
        waited = backlog->WaitForRoom(released);
        done = true;
    });
    ASSERT_TRUE(WaitWithoutEvents([&] { return backlog->Waiting() == 1; }));
    EXPECT_FALSE(done);
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }, 30s));
    poster.join();
    EXPECT_TRUE(waited);
    EXPECT_LE(backlog->Queued(), limit);
    ASSERT_TRUE(WaitUntil([&] { return component->HandledCount() == limit + 1; }, 30s));

    // Waiting again on a full queue, it is let go when the component is destroyed.
    for (std::size_t i = 0; i <= limit; ++i)
        component->PostMsg(MSG_NOTIFY, 0, nullptr);
    done = false;
    std::thread second([&] {
        backlog->WaitForRoom(released);
        done = true;
    });
    ASSERT_TRUE(WaitWithoutEvents([&] { return backlog->Waiting() == 1; }));
    component.reset();
    ASSERT_TRUE(WaitWithoutEvents([&] { return done.load(); }));
    second.join();
    EXPECT_FALSE(backlog->WaitForRoom(released)) << "nobody waits for a component that is gone";
}
