#pragma once

// Events the list is done with, handed back to the thread that built them.
//
// Under a flood a server's thread builds the events (in the event sink) while the
// user-interface thread merges them and lets the older notifications go. The allocator
// keeps a heap per thread, and a block is returned to the heap it came from under that
// heap's lock: were the user-interface thread to free the events, it would take turns at
// that lock with the thread allocating the next ones, and wait for it about half the
// time. So the list's deleter keeps them here, and the sink destroys them on its own
// thread before it builds the next batch. While nothing is being built (no flood), the
// user-interface thread empties it itself.

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

class TZelkEvent;

class TZelkEventRecycler {
public:
    // Events kept at most; beyond, the user-interface thread destroys them itself.
    static constexpr std::size_t Limit = 20'000;

    TZelkEventRecycler();
    ~TZelkEventRecycler();
    TZelkEventRecycler(const TZelkEventRecycler&) = delete;
    TZelkEventRecycler& operator=(const TZelkEventRecycler&) = delete;

    // Takes Event over unless the recycler is full or closed (Event is then left as it
    // was). Any thread.
    bool Keep(std::unique_ptr<TZelkEvent>& Event) noexcept;
    // Destroys the events kept, on the calling thread.
    void Purge() noexcept;
    // Nothing is kept from now on; what was kept is destroyed now.
    void Close() noexcept;
    std::size_t Kept() const noexcept;

private:
    mutable std::mutex FLock;
    std::vector<std::unique_ptr<TZelkEvent>> FKept;
    bool FClosed = false;
};
