#include "Synchronize.h"

#include "Exceptions.h"

#include <QCoreApplication>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

namespace {

struct TSyncRequest {
    // The caller blocks until Done, so the function it passed outlives the request's run.
    const std::function<void()>* Method = nullptr;
    std::exception_ptr Error;
    bool Done = false;
};

struct TSyncState {
    std::mutex Lock;
    // A request arrived, or a waiter's condition may have changed.
    std::condition_variable Arrived;
    // A request has run (or has been failed).
    std::condition_variable Finished;
    std::deque<std::shared_ptr<TSyncRequest>> Queue;
    // The live application object; set and cleared on its own thread.
    QCoreApplication* App = nullptr;
    // The thread of the live application object, or of the last one.
    std::thread::id UiThread;
    bool HaveUiThread = false;
    // One queued Qt event is on its way and will serve the queue.
    bool EventPosted = false;
};

// Never destroyed: worker threads may still synchronize while statics are torn down.
TSyncState& State() {
    static TSyncState* state = new TSyncState;
    return *state;
}

Exception NoApplication() {
    return Exception(QStringLiteral("Synchronize: no application object to run the call"));
}

bool OnUiThread(const TSyncState& state) {
    return state.HaveUiThread && state.UiThread == std::this_thread::get_id();
}

// Runs at the start of the application object's destructor, on its thread: from here on
// no event will serve the queue, so the pending callers are released with an error.
void ApplicationEnding() {
    TSyncState& state = State();
    {
        std::lock_guard lock(state.Lock);
        state.App = nullptr;
        state.EventPosted = false;
        for (const auto& request : state.Queue) {
            request->Error = std::make_exception_ptr(NoApplication());
            request->Done = true;
        }
        state.Queue.clear();
    }
    state.Finished.notify_all();
    state.Arrived.notify_all();
}

void ApplicationStarted() {
    TSyncState& state = State();
    {
        std::lock_guard lock(state.Lock);
        state.App = QCoreApplication::instance();
        state.UiThread = std::this_thread::get_id();
        state.HaveUiThread = true;
    }
    qAddPostRoutine(ApplicationEnding);
}

// Runs up to MaxCalls pending calls on the UI thread; returns how many ran.
std::size_t Serve(std::size_t MaxCalls) {
    TSyncState& state = State();
    std::size_t ran = 0;
    while (ran < MaxCalls) {
        std::shared_ptr<TSyncRequest> request;
        {
            std::lock_guard lock(state.Lock);
            if (!OnUiThread(state) || state.Queue.empty())
                return ran;
            request = state.Queue.front();
            state.Queue.pop_front();
        }
        try {
            (*request->Method)();
        } catch (...) {
            request->Error = std::current_exception();
        }
        {
            std::lock_guard lock(state.Lock);
            request->Done = true;
        }
        state.Finished.notify_all();
        ++ran;
    }
    return ran;
}

// One turn: the calls queued by now. A call queued while they run posts an event of its
// own, because the flag is down from here on.
void ServePostedEvent() {
    std::size_t queued = 0;
    {
        std::lock_guard lock(State().Lock);
        State().EventPosted = false;
        queued = State().Queue.size();
    }
    Serve(queued);
}

std::chrono::steady_clock::time_point Deadline(std::chrono::milliseconds timeout, bool& infinite) {
    // A century is "forever"; it also keeps now() + timeout far from overflowing.
    constexpr auto forever = std::chrono::hours(24 * 365 * 100);
    infinite = timeout >= forever;
    if (infinite)
        return {};
    return std::chrono::steady_clock::now() + std::max(timeout, std::chrono::milliseconds(0));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(ApplicationStarted)

namespace {

// Queues Method and waits until it has run or, while it has not begun, Withdrawn() holds.
bool RunOnUiThread(const std::function<void()>& Method, const std::function<bool()>* Withdrawn) {
    TSyncState& state = State();
    std::unique_lock lock(state.Lock);
    if (OnUiThread(state)) {
        lock.unlock();
        Method();
        return true;
    }
    if (!state.App)
        throw NoApplication();
    auto request = std::make_shared<TSyncRequest>();
    request->Method = &Method;
    state.Queue.push_back(request);
    if (!state.EventPosted) {
        // Posting under the lock is safe: the application object cannot pass
        // ApplicationEnding, and so cannot be destroyed, while the lock is held.
        bool posted = false;
        try {
            posted = QMetaObject::invokeMethod(state.App, &ServePostedEvent, Qt::QueuedConnection);
        } catch (...) {
            state.Queue.pop_back();
            throw;
        }
        if (!posted) {
            state.Queue.pop_back();
            throw Exception(QStringLiteral("Synchronize: the call could not be posted"));
        }
        state.EventPosted = true;
    }
    state.Arrived.notify_all();
    for (;;) {
        state.Finished.wait(lock, [&] { return request->Done || (Withdrawn && (*Withdrawn)()); });
        if (request->Done)
            break;
        // Still queued: taken back. Otherwise the UI thread runs it now; wait for its end.
        const auto queued = std::find(state.Queue.begin(), state.Queue.end(), request);
        if (queued != state.Queue.end()) {
            state.Queue.erase(queued);
            return false;
        }
        state.Finished.wait(lock, [&] { return request->Done; });
        break;
    }
    if (request->Error) {
        lock.unlock();
        std::rethrow_exception(request->Error);
    }
    return true;
}

} // namespace

void Synchronize(const std::function<void()>& Method) {
    RunOnUiThread(Method, nullptr);
}

bool CheckSynchronize() {
    return Serve(std::numeric_limits<std::size_t>::max()) > 0;
}

bool SynchronizePending() {
    TSyncState& state = State();
    std::lock_guard lock(state.Lock);
    return !state.Queue.empty();
}

bool IsUIThread() {
    TSyncState& state = State();
    std::lock_guard lock(state.Lock);
    return state.App && OnUiThread(state);
}

namespace zelk::rtl {

bool WaitServingSynchronize(const std::function<bool()>& Done, std::chrono::milliseconds Timeout) {
    TSyncState& state = State();
    bool infinite = false;
    const auto deadline = Deadline(Timeout, infinite);
    std::unique_lock lock(state.Lock);
    for (;;) {
        if (Done())
            return true;
        if (OnUiThread(state) && !state.Queue.empty()) {
            lock.unlock();
            CheckSynchronize();
            lock.lock();
            continue;
        }
        if (infinite)
            state.Arrived.wait(lock);
        else if (state.Arrived.wait_until(lock, deadline) == std::cv_status::timeout)
            return Done();
    }
}

bool SynchronizeUnless(const std::function<void()>& Method,
                       const std::function<bool()>& Withdrawn) {
    return RunOnUiThread(Method, &Withdrawn);
}

void WakeSyncCallers() {
    TSyncState& state = State();
    { std::lock_guard lock(state.Lock); }
    state.Finished.notify_all();
}

void WakeSyncWaiters() {
    TSyncState& state = State();
    {
        // Taking the lock orders the waker's change before a waiter's next look at it.
        std::lock_guard lock(state.Lock);
    }
    state.Arrived.notify_all();
}

} // namespace zelk::rtl
