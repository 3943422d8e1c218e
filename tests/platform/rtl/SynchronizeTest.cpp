#include "Synchronize.h"

#include "Exceptions.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using zelk::test::WaitUntil;

TEST(Synchronize, CallsFromFourThreadsRunOnceEachInOrderOnTheUiThread) {
    constexpr int threads = 4;
    constexpr int callsPerThread = 100;
    const std::thread::id uiThread = std::this_thread::get_id();
    std::vector<std::pair<int, int>> calls; // touched on the UI thread only
    std::atomic<int> offThread{0};
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < callsPerThread; ++i) {
                Synchronize([&, t, i] {
                    if (std::this_thread::get_id() != uiThread)
                        ++offThread;
                    calls.emplace_back(t, i);
                });
            }
            ++finished;
        });
    }
    EXPECT_TRUE(WaitUntil([&] { return finished.load() == threads; }, std::chrono::seconds(30)));
    for (auto& worker : workers)
        worker.join();

    EXPECT_EQ(offThread.load(), 0);
    ASSERT_EQ(calls.size(), static_cast<size_t>(threads * callsPerThread));
    std::vector<int> next(threads, 0);
    for (const auto& [t, i] : calls) {
        EXPECT_EQ(i, next[t]) << "thread " << t;
        next[t] = i + 1;
    }
    EXPECT_FALSE(CheckSynchronize());
}

TEST(Synchronize, ExceptionsReachTheCallerWithTheirType) {
    QString message;
    bool sawListError = false;
    bool sawStdError = false;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        try {
            Synchronize([] { throw EListError::IndexOutOfBounds(7); });
        } catch (const EListError& e) {
            sawListError = true;
            message = e.Message();
        } catch (...) {
        }
        try {
            Synchronize([] { throw std::out_of_range("range"); });
        } catch (const std::out_of_range&) {
            sawStdError = true;
        } catch (...) {
        }
        done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(sawListError);
    EXPECT_EQ(message, QStringLiteral("List index out of bounds (7)"));
    EXPECT_TRUE(sawStdError);

    // On the UI thread the call runs at once, and so does its exception.
    bool ran = false;
    Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(IsUIThread());
    EXPECT_THROW(Synchronize([] { throw EConvertError(QStringLiteral("x")); }), EConvertError);
}

TEST(Synchronize, WaitServesSynchronizedCallsAndNothingElse) {
    bool unrelatedHandlerRan = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { unrelatedHandlerRan = true; }, Qt::QueuedConnection);

    std::atomic<bool> done{false};
    int served = 0;
    bool servedBeforeDone = false;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            Synchronize([&] { ++served; });
        Synchronize([&] { servedBeforeDone = served == 3; });
        done = true;
        zelk::rtl::WakeSyncWaiters();
    });
    EXPECT_TRUE(
        zelk::rtl::WaitServingSynchronize([&] { return done.load(); }, std::chrono::seconds(30)));
    worker.join();
    EXPECT_TRUE(servedBeforeDone);
    EXPECT_FALSE(unrelatedHandlerRan);
    EXPECT_TRUE(WaitUntil([&] { return unrelatedHandlerRan; }));

    // A condition that never holds ends with the time-out, also off the UI thread, and a
    // time-out of the largest 32-bit value does not overflow the deadline.
    EXPECT_FALSE(
        zelk::rtl::WaitServingSynchronize([] { return false; }, std::chrono::milliseconds(1)));
    EXPECT_TRUE(zelk::rtl::WaitServingSynchronize([] { return true; },
                                                  std::chrono::milliseconds(2147483647)));
    bool offUiResult = true;
    std::thread([&] {
        offUiResult =
            zelk::rtl::WaitServingSynchronize([] { return false; }, std::chrono::milliseconds(1));
    }).join();
    EXPECT_FALSE(offUiResult);
}
