#pragma once

// The simulator's clock. In manual mode time moves only when a test advances it; in
// real-time mode it follows a monotonic clock. Either way it hands out the FILETIMEs of
// the notifications: UTC, strictly increasing, never on a whole millisecond, so a client
// that rounds a time it sends back is caught.

#include "SimCatalog.h"

#include <chrono>
#include <cstdint>
#include <mutex>

namespace zelk::aesim {

class TSimClock {
public:
    explicit TSimClock(bool manual);

    bool Manual() const noexcept { return FManual; }
    // Milliseconds since the clock started.
    TSimMillis Now() const;
    // Manual mode: moves the clock forward. Ignored in real-time mode.
    void Advance(TSimMillis milliseconds);

    // A new timestamp for "now": later than every one handed out before.
    FILETIME Stamp();
    // The time "now" without taking a stamp (status reports).
    FILETIME Current() const;
    FILETIME StartTime() const noexcept { return ToFileTime(FStartTicks); }

    static FILETIME ToFileTime(std::uint64_t ticks) noexcept;
    static std::uint64_t ToTicks(const FILETIME& time) noexcept;

private:
    std::uint64_t CurrentTicks() const; // caller holds FLock

    const bool FManual;
    const std::chrono::steady_clock::time_point FStartSteady;
    const std::uint64_t FStartTicks; // 100 ns ticks since 1601, wall clock at start
    mutable std::mutex FLock;
    TSimMillis FManualNow = 0;    // guarded by FLock
    std::uint64_t FLastStamp = 0; // guarded by FLock
};

} // namespace zelk::aesim
