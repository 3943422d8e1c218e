#include "Thread.h"

#include "Exceptions.h"
#include "Synchronize.h"

#include <system_error>

namespace {

// The TThread whose body runs on this thread, if any.
thread_local const TThread* CurrentThread = nullptr;

} // namespace

TEvent::TEvent(bool ManualReset, bool InitialState)
    : FManualReset(ManualReset), FSignaled(InitialState) {}

void TEvent::SetEvent() {
    {
        std::lock_guard lock(FLock);
        FSignaled = true;
    }
    if (FManualReset)
        FSignal.notify_all();
    else
        FSignal.notify_one();
}

void TEvent::ResetEvent() {
    std::lock_guard lock(FLock);
    FSignaled = false;
}

TWaitResult TEvent::WaitFor(qint64 Timeout) {
    try {
        std::unique_lock lock(FLock);
        auto signaled = [this] { return FSignaled; };
        if (Timeout >= Infinite) {
            FSignal.wait(lock, signaled);
        } else {
            // At most Infinite - 1 ms (about 49 days): far from overflowing the clock.
            const auto timeout = std::chrono::milliseconds(Timeout < 0 ? 0 : Timeout);
            if (!FSignal.wait_for(lock, timeout, signaled))
                return wrTimeout;
        }
        if (!FManualReset)
            FSignaled = false;
        return wrSignaled;
    } catch (const std::system_error&) {
        return wrError;
    }
}

TThread::TThread() = default;

TThread::~TThread() {
    TerminateAndWait();
    if (FThread.joinable())
        FThread.detach(); // destroyed by its own body: nothing to wait for, nothing to join
}

void TThread::Start() {
    if (FStarted.exchange(true))
        throw Exception(QStringLiteral("Cannot call Start on a running or terminated thread"));
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        FStarted.store(false);
        throw Exception(
            QStringLiteral("Thread creation error: %1").arg(QString::fromLocal8Bit(e.what())));
    }
}

void TThread::Terminate() {
    FTerminated.store(true);
    TerminatedSet();
}

int TThread::WaitFor() {
    if (IsCurrentThread())
        throw Exception(QStringLiteral("A thread cannot wait for itself"));
    if (!FStarted.load())
        throw Exception(QStringLiteral("Cannot wait for a thread that was not started"));
    zelk::rtl::WaitServingSynchronize([this] { return FFinished.load(); },
                                      std::chrono::milliseconds::max());
    Join();
    return FReturnValue.load();
}

void TThread::Synchronize(const std::function<void()>& Method) {
    ::Synchronize(Method);
}

std::exception_ptr TThread::FatalException() const {
    return FFinished.load() ? FFatalException : nullptr;
}

void TThread::TerminateAndWait() {
    Terminate();
    if (FStarted.load() && !IsCurrentThread())
        WaitFor();
}

bool TThread::IsCurrentThread() const {
    return CurrentThread == this;
}

void TThread::Run() {
    CurrentThread = this;
    try {
        if (!FTerminated.load())
            Execute();
    } catch (...) {
        FFatalException = std::current_exception();
    }
    FFinished.store(true);
    // Past this point the object may be destroyed by its waiter; only globals are touched.
    zelk::rtl::WakeSyncWaiters();
}

void TThread::Join() {
    std::lock_guard lock(FJoinLock);
    if (FThread.joinable())
        FThread.join();
}
