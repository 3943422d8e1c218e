#include "Thread.h"

#include "Exceptions.h"
#include "Synchronize.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// A body that synchronizes several times, like the worker's dispatch.
class TSyncingThread final : public TThread {
public:
    explicit TSyncingThread(std::vector<int>* calls) : FCalls(calls) { Start(); }
    ~TSyncingThread() override { TerminateAndWait(); }

protected:
    void Execute() override {
        for (int i = 0; i < 3; ++i)
            Synchronize([this, i] { FCalls->push_back(i); });
        SetReturnValue(42);
    }

private:
    std::vector<int>* FCalls;
};

// The message-queue worker's shape: it sleeps on a manual-reset event with a time-out
// and hands each round to the UI thread.
class TWorkerLike final : public TThread {
public:
    explicit TWorkerLike(qint64 interval) : FInterval(interval) { Start(); }
    ~TWorkerLike() override {
        Terminate();
        FBreakEvent.SetEvent();
        TerminateAndWait();
    }

    std::atomic<int> Rounds{0};
    std::atomic<int> Waits{0};
    std::atomic<TWaitResult> LastWait{wrError};

protected:
    void Execute() override {
        while (!Terminated()) {
            FBreakEvent.ResetEvent();
            try {
                Synchronize([this] { ++Rounds; });
            } catch (...) {
            }
            if (Terminated())
                break;
            ++Waits;
            LastWait = FBreakEvent.WaitFor(FInterval);
        }
    }

private:
    TEvent FBreakEvent{true, false};
    const qint64 FInterval;
};

class TFailingThread final : public TThread {
public:
    TFailingThread() { Start(); }
    ~TFailingThread() override { TerminateAndWait(); }
    QString SelfWaitError;

protected:
    void Execute() override {
        try {
            WaitFor();
        } catch (const Exception& e) {
            SelfWaitError = e.Message();
        }
        throw EConvertError(QStringLiteral("bad value"));
    }
};

class TIdleThread final : public TThread {
public:
    ~TIdleThread() override { TerminateAndWait(); }

protected:
    void Execute() override {}
};

} // namespace

TEST(Thread, WaitForOnTheUiThreadServesTheBodysSynchronizedCalls) {
    std::vector<int> calls;
    auto thread = std::make_unique<TSyncingThread>(&calls);
    // No event processing here: without serving, the body's first call would deadlock.
    EXPECT_EQ(thread->WaitFor(), 42);
    EXPECT_TRUE(thread->Finished());
    EXPECT_EQ(calls, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(thread->FatalException(), nullptr);

    // Destroying the thread in the middle of its rounds serves the one it is blocked in.
    auto worker = std::make_unique<TWorkerLike>(1);
    EXPECT_TRUE(zelk::test::WaitUntil([&] { return worker->Rounds.load() >= 3; }));
    worker.reset();
}

TEST(Thread, DestroyingAWorkerBlockedOnItsEventWakesIt) {
    // Blocked for all but ever: destruction that did not wake it would hang the test.
    auto worker = std::make_unique<TWorkerLike>(TEvent::Infinite - 1);
    EXPECT_TRUE(zelk::test::WaitUntil([&] { return worker->Waits.load() >= 1; }));
    worker.reset();

    // A worker whose wait time runs out goes round again.
    auto ticking = std::make_unique<TWorkerLike>(1);
    EXPECT_TRUE(zelk::test::WaitUntil([&] { return ticking->Waits.load() >= 3; }));
    EXPECT_EQ(ticking->LastWait.load(), wrTimeout);
    ticking.reset();
}

TEST(Thread, KeepsTheEscapedExceptionAndRefusesMisuse) {
    TFailingThread failing;
    failing.WaitFor();
    EXPECT_EQ(failing.SelfWaitError, QStringLiteral("A thread cannot wait for itself"));
    ASSERT_NE(failing.FatalException(), nullptr);
    EXPECT_THROW(std::rethrow_exception(failing.FatalException()), EConvertError);
    EXPECT_THROW(failing.Start(), Exception);

    TIdleThread idle;
    EXPECT_THROW(idle.WaitFor(), Exception);
    idle.Terminate();
    EXPECT_TRUE(idle.Terminated());
    idle.Start(); // a stop request made before the start skips the body
    idle.WaitFor();
    EXPECT_TRUE(idle.Finished());
}

TEST(Thread, EventsResetAsDeclaredAndTimeOutSafely) {
    TEvent manual(true, false);
    EXPECT_EQ(manual.WaitFor(0), wrTimeout);
    EXPECT_EQ(manual.WaitFor(-5), wrTimeout);
    manual.SetEvent();
    EXPECT_EQ(manual.WaitFor(2147483647), wrSignaled);
    EXPECT_EQ(manual.WaitFor(0), wrSignaled);
    manual.ResetEvent();
    EXPECT_EQ(manual.WaitFor(1), wrTimeout);

    TEvent automatic(false, true);
    EXPECT_EQ(automatic.WaitFor(TEvent::Infinite), wrSignaled);
    EXPECT_EQ(automatic.WaitFor(0), wrTimeout);

    // A waiter without a time limit wakes when another thread signals.
    TEvent wake(false, false);
    std::atomic<TWaitResult> result{wrError};
    std::thread waiter([&] { result = wake.WaitFor(TEvent::Infinite); });
    wake.SetEvent();
    waiter.join();
    EXPECT_EQ(result.load(), wrSignaled);

    TCriticalSection lock;
    lock.Enter();
    EXPECT_TRUE(lock.TryEnter()); // recursive, like the system's
    lock.Leave();
    lock.Leave();
    std::lock_guard guard(lock);
}
