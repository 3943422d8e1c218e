#pragma once

// The backlog of a component's message queue, shared with the sinks that feed it.
//
// A server that sends faster than the UI thread handles would make the queue grow without
// bound. Instead, a sink that finds more than Limit messages queued waits inside its
// server's call until the component has taken some out: that is how a server learns that
// its client is busy, and it slows down. Nothing is dropped. A sink never waits on the UI
// thread or inside a drain (a server may call a sink from within a call that the UI
// thread made), never longer than MaxWait (a server that holds a lock the UI thread needs
// while it calls the sink would otherwise hold both for ever), and not once its
// subscription is released or the component is gone.
//
// Shared ownership: a sink is a COM object that may outlive its component.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

class TZelkMsgBacklog {
public:
    // Queued messages above which a sink waits.
    static constexpr std::size_t DefaultLimit = 16;
    // Notifications per queued batch: a sink queues a larger server call as several
    // batches, so that at most about DefaultLimit * MaxBatch notifications wait in memory
    // and no single batch holds the UI thread for long.
    static constexpr std::size_t MaxBatch = 500;
    static constexpr std::chrono::milliseconds MaxWait{1000};

    explicit TZelkMsgBacklog(std::size_t Limit = DefaultLimit) noexcept : FLimit(Limit) {}

    // One message was queued, or taken out (any thread).
    void Added() noexcept;
    void Taken() noexcept;
    std::size_t Queued() const noexcept;
    std::size_t Limit() const noexcept { return FLimit; }

    // Waits while more than Limit messages are queued, until Released holds, the backlog
    // is closed or MaxWait has passed; at once on the UI thread and inside a drain.
    // Returns whether it waited.
    bool WaitForRoom(const std::atomic<bool>& Released);
    // Wakes the waiters to look at their Released flags again.
    void Wake() noexcept;
    // The component is going: every waiter returns, and nobody waits from now on.
    void Close() noexcept;
    // The sinks waiting right now.
    int Waiting() const noexcept;

    // Marks the calling thread as draining a queue while the mark lives.
    class TDrainMark {
    public:
        TDrainMark() noexcept;
        ~TDrainMark();
        TDrainMark(const TDrainMark&) = delete;
        TDrainMark& operator=(const TDrainMark&) = delete;
    };

private:
    const std::size_t FLimit;
    mutable std::mutex FLock;
    std::condition_variable FRoom;
    std::size_t FQueued = 0;
    int FWaiting = 0;
    bool FClosed = false;
};
