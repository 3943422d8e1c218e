#pragma once

// The runtime's thread class with its stop request, and the event and critical section
// objects that threads wait on.

#include <QtGlobal>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// An event object: manual reset (stays signalled until ResetEvent, releases every waiter)
// or auto reset (a successful wait resets it, one waiter per SetEvent).
class TEvent {
public:
    // A wait without a time limit.
    static constexpr qint64 Infinite = 0xFFFFFFFF;

    explicit TEvent(bool ManualReset = true, bool InitialState = false);
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void SetEvent();
    void ResetEvent();
    // Timeout in milliseconds: Infinite (or more) waits forever, a negative value counts as
    // 0. wrError only when the system's wait itself fails.
    TWaitResult WaitFor(qint64 Timeout = Infinite);

private:
    std::mutex FLock;
    std::condition_variable FSignal;
    const bool FManualReset;
    bool FSignaled;
};

// A critical section: recursive, like the system's. Usable with std::lock_guard.
class TCriticalSection {
public:
    void Enter() { FLock.lock(); }
    void Leave() { FLock.unlock(); }
    bool TryEnter() { return FLock.try_lock(); }
    void Acquire() { Enter(); }
    void Release() { Leave(); }

    void lock() { Enter(); }
    void unlock() { Leave(); }
    bool try_lock() { return TryEnter(); }

private:
    std::recursive_mutex FLock;
};

// A thread whose body is Execute().
//
// The thread does not run before Start(). A subclass that runs at once calls Start() as
// the last statement of its constructor, when everything Execute uses exists. For the
// same reason a subclass destructor calls TerminateAndWait() first, while its members
// still exist; ~TThread does it again as a last resort.
class TThread {
public:
    TThread();
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Exception when the thread was started before or cannot be created.
    void Start();
    // Sets the stop request that Execute polls through Terminated(); then TerminatedSet().
    void Terminate();
    bool Terminated() const { return FTerminated.load(); }
    bool Started() const { return FStarted.load(); }
    // Execute has returned (or raised).
    bool Finished() const { return FFinished.load(); }

    // Waits until Execute has ended and returns ReturnValue(). On the UI thread it runs
    // the synchronized calls that arrive meanwhile, so a body that synchronizes can still
    // end. Exception when called by the thread itself or before Start().
    int WaitFor();

    // Runs Method on the UI thread and waits for it (see Synchronize.h).
    void Synchronize(const std::function<void()>& Method);

    // The exception that escaped Execute, once the thread has finished; null otherwise.
    std::exception_ptr FatalException() const;
    int ReturnValue() const { return FReturnValue.load(); }

protected:
    virtual void Execute() = 0;
    // Called by Terminate() on the terminating thread, e.g. to wake a waiting body.
    virtual void TerminatedSet() {}
    void SetReturnValue(int Value) { FReturnValue.store(Value); }

    // Terminate() and, when the thread was started, WaitFor().
    void TerminateAndWait();

private:
    void Run();
    void Join();

    bool IsCurrentThread() const;

    std::thread FThread;
    std::mutex FJoinLock;
    std::atomic<bool> FStarted{false};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<int> FReturnValue{0};
    // Written by the thread before FFinished is set.
    std::exception_ptr FFatalException;
};
