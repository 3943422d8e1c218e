#include "ZelkEventRecycler.h"

#include "ZelkEvent.h"

TZelkEventRecycler::TZelkEventRecycler() = default;
TZelkEventRecycler::~TZelkEventRecycler() = default;

bool TZelkEventRecycler::Keep(std::unique_ptr<TZelkEvent>& Event) noexcept {
    const std::lock_guard guard(FLock);
    if (FClosed || FKept.size() >= Limit)
        return false;
    try {
        FKept.push_back(std::move(Event));
    } catch (...) {
        return false; // push_back leaves Event alone when it fails
    }
    return true;
}

void TZelkEventRecycler::Purge() noexcept {
    std::vector<std::unique_ptr<TZelkEvent>> kept;
    {
        const std::lock_guard guard(FLock);
        if (FKept.empty())
            return;
        kept.swap(FKept);
        // The next ones fit without growing the vector again.
        try {
            FKept.reserve(kept.size());
        } catch (...) {
        }
    }
    // Destroyed here, outside the lock.
}

void TZelkEventRecycler::Close() noexcept {
    {
        const std::lock_guard guard(FLock);
        FClosed = true;
    }
    Purge();
}

std::size_t TZelkEventRecycler::Kept() const noexcept {
    const std::lock_guard guard(FLock);
    return FKept.size();
}
