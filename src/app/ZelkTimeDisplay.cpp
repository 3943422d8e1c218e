#include "ZelkTimeDisplay.h"

namespace {

// Ticks of 100 ns between 1601-01-01 and 1970-01-01.
constexpr std::int64_t UnixEpochTicks = 116444736000000000LL;

// A UTC instant as a date-time value whose wall clock reads UTC, so that the runtime's
// formatting functions write it unchanged. Built from the calendar parts: a UTC time may
// fall into a local daylight-saving gap, which a local QDateTime would move.
TDateTime UtcWallClock(const QDateTime& utc) {
    const QDate date = utc.date();
    const QTime time = utc.time();
    return EncodeDate(date.year(), date.month(), date.day()) +
           EncodeTime(time.hour(), time.minute(), time.second(), time.msec());
}

} // namespace

QString DayMonthTimeText(TDateTime local, const FILETIME& raw, TTimeDisplay display) {
    const std::int64_t ticks =
        (static_cast<std::int64_t>(raw.dwHighDateTime) << 32) | raw.dwLowDateTime;
    if (display == TTimeDisplay::Local || ticks == 0)
        return FormatDayMonthTime(local);
    const QDateTime utc =
        QDateTime::fromMSecsSinceEpoch((ticks - UnixEpochTicks) / 10'000, Qt::UTC);
    return FormatDayMonthTime(UtcWallClock(utc));
}

QString DateTimeText(TDateTime local, TTimeDisplay display) {
    if (display == TTimeDisplay::Local || local == 0)
        return DateTimeToStr(local);
    return DateTimeToStr(UtcWallClock(DateTimeToQDateTime(local).toUTC())) + QStringLiteral(" UTC");
}

QString NowDayMonthTimeText(TTimeDisplay display) {
    if (display == TTimeDisplay::Local)
        return FormatDayMonthTime(Now());
    return FormatDayMonthTime(UtcWallClock(QDateTime::currentDateTimeUtc()));
}
