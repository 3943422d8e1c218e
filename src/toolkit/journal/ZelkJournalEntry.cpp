#include "ZelkJournalEntry.h"

#include <QDateTime>

namespace zelk::journal {

namespace {
// Milliseconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t EpochDifferenceMs = 11644473600000LL;
constexpr std::int64_t TicksPerMs = 10000;
} // namespace

std::int64_t NowTicks() {
    return TicksFromDateTime(QDateTime::currentDateTimeUtc());
}

std::int64_t TicksFromDateTime(const QDateTime& Time) {
    return (Time.toMSecsSinceEpoch() + EpochDifferenceMs) * TicksPerMs;
}

QDateTime DateTimeFromTicks(std::int64_t Ticks) {
    return QDateTime::fromMSecsSinceEpoch(Ticks / TicksPerMs - EpochDifferenceMs, Qt::UTC);
}

} // namespace zelk::journal
