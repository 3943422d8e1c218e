#include "SimClock.h"

namespace zelk::aesim {

namespace {

constexpr std::uint64_t TicksPerMillisecond = 10'000;
// From 1601-01-01 to 1970-01-01 in 100 ns ticks.
constexpr std::uint64_t UnixEpochTicks = 116'444'736'000'000'000ULL;
// Where a manual clock's stamps fall within their millisecond: never 0.
constexpr std::uint64_t ManualSubMillisecond = 1'237;

std::uint64_t WallClockTicks() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() / 100;
    return UnixEpochTicks + static_cast<std::uint64_t>(ticks);
}

} // namespace

TSimClock::TSimClock(bool manual)
    : FManual(manual), FStartSteady(std::chrono::steady_clock::now()),
      // A manual clock starts on a whole second, so its stamps read the same in every run
      // apart from the date.
      FStartTicks(manual ? WallClockTicks() / 10'000'000 * 10'000'000 : WallClockTicks()) {}

TSimMillis TSimClock::Now() const {
    if (!FManual) {
        const auto elapsed = std::chrono::steady_clock::now() - FStartSteady;
        return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    }
    std::lock_guard lock(FLock);
    return FManualNow;
}

void TSimClock::Advance(TSimMillis milliseconds) {
    if (!FManual || milliseconds <= 0)
        return;
    std::lock_guard lock(FLock);
    FManualNow += milliseconds;
}

std::uint64_t TSimClock::CurrentTicks() const {
    if (FManual)
        return FStartTicks + static_cast<std::uint64_t>(FManualNow) * TicksPerMillisecond +
               ManualSubMillisecond;
    const auto elapsed = std::chrono::steady_clock::now() - FStartSteady;
    const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count() / 100;
    return FStartTicks + static_cast<std::uint64_t>(ticks);
}

FILETIME TSimClock::Stamp() {
    std::lock_guard lock(FLock);
    std::uint64_t ticks = std::max(CurrentTicks(), FLastStamp + 1);
    if (ticks % TicksPerMillisecond == 0)
        ++ticks;
    FLastStamp = ticks;
    return ToFileTime(ticks);
}

FILETIME TSimClock::Current() const {
    std::lock_guard lock(FLock);
    return ToFileTime(std::max(CurrentTicks(), FLastStamp));
}

FILETIME TSimClock::ToFileTime(std::uint64_t ticks) noexcept {
    return {static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

std::uint64_t TSimClock::ToTicks(const FILETIME& time) noexcept {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace zelk::aesim
