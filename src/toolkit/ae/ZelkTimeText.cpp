#include "ZelkTimeText.h"

#include "OsHelpers.h"

#include <cmath>

namespace zelk::ae {

namespace {

// Days from 1601-01-01 to 1899-12-30, the day 0 of a TDateTime.
constexpr std::int64_t DaysTo1899 = 109205;

void AppendDigits(std::string& out, std::uint64_t value, int width) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && count < 20);
    for (int i = count; i < width; ++i)
        out.push_back('0');
    while (count > 0)
        out.push_back(digits[--count]);
}

// Date, separator, time and `fractionDigits` digits of the second (3 or 7).
bool AppendCalendar(std::string& out, std::int64_t ticks, char separator, int fractionDigits) {
    SYSTEMTIME parts{};
    const FILETIME time{static_cast<DWORD>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu),
                        static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32)};
    if (ticks < 0 || !FileTimeToSystemTime(&time, &parts))
        return false;
    AppendDigits(out, parts.wYear, 4);
    out.push_back('-');
    AppendDigits(out, parts.wMonth, 2);
    out.push_back('-');
    AppendDigits(out, parts.wDay, 2);
    out.push_back(separator);
    AppendDigits(out, parts.wHour, 2);
    out.push_back(':');
    AppendDigits(out, parts.wMinute, 2);
    out.push_back(':');
    AppendDigits(out, parts.wSecond, 2);
    out.push_back('.');
    const auto fraction = static_cast<std::uint64_t>(ticks % TicksPerSecond);
    if (fractionDigits >= 7)
        AppendDigits(out, fraction, 7);
    else
        AppendDigits(out, fraction / TicksPerMSec, 3);
    return true;
}

} // namespace

std::uint64_t FileTimeTicks(const FILETIME& time) noexcept {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::optional<std::int64_t> DateTimeTicks(TDateTime value) noexcept {
    // Far beyond any calendar date; also keeps NaN and infinities out.
    if (value == 0 || !(std::fabs(value) < 3.0e6))
        return std::nullopt;
    // Before day 0 the integer part counts back while the fraction still runs forward.
    const double whole = std::trunc(value);
    const auto msecs = static_cast<std::int64_t>(whole) * MSecsPerDay +
                       std::llround(std::fabs(value - whole) * static_cast<double>(MSecsPerDay));
    const std::int64_t ticks = (msecs + DaysTo1899 * MSecsPerDay) * TicksPerMSec;
    if (ticks < 0)
        return std::nullopt;
    return ticks;
}

bool AppendIsoUtc(std::string& out, std::int64_t ticks) {
    if (!AppendCalendar(out, ticks, 'T', 7))
        return false;
    out.push_back('Z');
    return true;
}

bool AppendLocalMSecs(std::string& out, std::int64_t ticks) {
    return AppendCalendar(out, ticks, ' ', 3);
}

bool AppendIsoLocal(std::string& out, std::int64_t ticks) {
    return AppendCalendar(out, ticks, 'T', 3);
}

} // namespace zelk::ae
