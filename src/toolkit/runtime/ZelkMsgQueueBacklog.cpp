#include "ZelkMsgQueueBacklog.h"

#include "Synchronize.h"

namespace {

// How many drains the calling thread is inside.
thread_local int DrainDepth = 0;

} // namespace

TZelkMsgBacklog::TDrainMark::TDrainMark() noexcept {
    ++DrainDepth;
}

TZelkMsgBacklog::TDrainMark::~TDrainMark() {
    --DrainDepth;
}

void TZelkMsgBacklog::Added() noexcept {
    std::lock_guard lock(FLock);
    ++FQueued;
}

void TZelkMsgBacklog::Taken() noexcept {
    bool room = false;
    {
        std::lock_guard lock(FLock);
        if (FQueued > 0)
            --FQueued;
        room = FWaiting > 0 && FQueued <= FLimit;
    }
    if (room)
        FRoom.notify_all();
}

std::size_t TZelkMsgBacklog::Queued() const noexcept {
    std::lock_guard lock(FLock);
    return FQueued;
}

bool TZelkMsgBacklog::WaitForRoom(const std::atomic<bool>& Released) {
    // The thread that would have to make room must never be the one that waits for it.
    if (DrainDepth > 0 || IsUIThread())
        return false;
    std::unique_lock lock(FLock);
    const auto free = [&] { return FClosed || Released.load() || FQueued <= FLimit; };
    if (free())
        return false;
    ++FWaiting;
    FRoom.wait_for(lock, MaxWait, free);
    --FWaiting;
    return true;
}

void TZelkMsgBacklog::Wake() noexcept {
    {
        // Taking the lock orders the waker's change before a waiter's next look at it.
        std::lock_guard lock(FLock);
    }
    FRoom.notify_all();
}

void TZelkMsgBacklog::Close() noexcept {
    {
        std::lock_guard lock(FLock);
        FClosed = true;
    }
    FRoom.notify_all();
}

int TZelkMsgBacklog::Waiting() const noexcept {
    std::lock_guard lock(FLock);
    return FWaiting;
}
