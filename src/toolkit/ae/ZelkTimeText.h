#pragma once

// Time stamps of notifications written as text (monitor lines, journal exports). Every value is
// first taken to 100-nanosecond ticks since 1601-01-01 (the FILETIME scale), then written out by
// calendar arithmetic: no time-zone database is consulted per line.

#include "DateTime.h"
#include "comtypes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zelk::ae {

inline constexpr std::int64_t TicksPerMSec = 10000;
inline constexpr std::int64_t TicksPerSecond = 10'000'000;

std::uint64_t FileTimeTicks(const FILETIME& time) noexcept;

// The ticks of a TDateTime's wall-clock reading (milliseconds kept); nothing for 0 ("no
// time") or a value before 1601.
std::optional<std::int64_t> DateTimeTicks(TDateTime value) noexcept;

// Each writes nothing and answers false for ticks that name no calendar time (negative,
// or beyond the year 30827).
// "2024-03-01T12:00:00.1234567Z": ISO 8601, UTC, all seven tick digits.
bool AppendIsoUtc(std::string& out, std::int64_t ticks);
// "2024-03-01 13:00:00.123": a wall-clock reading to the millisecond, no zone.
bool AppendLocalMSecs(std::string& out, std::int64_t ticks);
// "2024-03-01T13:00:00.123": the same in ISO form (a DATE attribute carries no zone).
bool AppendIsoLocal(std::string& out, std::int64_t ticks);

} // namespace zelk::ae
