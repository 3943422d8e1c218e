#include "DateTime.h"

#include "Exceptions.h"

#include <QDate>
#include <QTime>
#include <cmath>
#include <cstdlib>

namespace {

const QDate& BaseDate() {
    static const QDate base(1899, 12, 30);
    return base;
}

// Far beyond any calendar date, small enough that the milliseconds fit in 64 bits.
constexpr double MaxDays = 1.0e9;

struct DayAndTime {
    std::int64_t days = 0;  // days from 1899-12-30, negative before it
    std::int64_t msecs = 0; // time of day, 0 .. MSecsPerDay - 1
};

// Splits a value into its day and its time of day, rounded to the millisecond. The
// sign belongs to the day only: -1.25 is day -1 at 06:00.
bool Split(TDateTime value, DayAndTime& parts) {
    if (!std::isfinite(value) || std::fabs(value) > MaxDays)
        return false;
    const auto msecs = static_cast<std::int64_t>(std::llround(value * MSecsPerDay));
    parts.days = msecs / MSecsPerDay;
    parts.msecs = std::llabs(msecs) % MSecsPerDay;
    return true;
}

DayAndTime SplitOrThrow(TDateTime value) {
    DayAndTime parts;
    if (!Split(value, parts))
        throw EConvertError(QStringLiteral("Invalid floating point operation"));
    return parts;
}

// Milliseconds on one linear wall-clock scale, 0 at 1899-12-30 00:00.
std::int64_t LinearMSecs(TDateTime value) {
    const DayAndTime parts = SplitOrThrow(value);
    return parts.days * MSecsPerDay + parts.msecs;
}

TDateTime Combine(std::int64_t days, std::int64_t msecs) {
    const double fraction = static_cast<double>(msecs) / static_cast<double>(MSecsPerDay);
    return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

// Rewrites a Qt date/time format: every run of `letter` is replaced by `replace(run)`;
// quoted literals are copied unchanged.
template <class Replace> QString RewriteRuns(const QString& format, QChar letter, Replace replace) {
    QString result;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            const qsizetype end = format.indexOf(u'\'', i + 1);
            const qsizetype stop = end < 0 ? format.size() : end + 1;
            result += format.mid(i, stop - i);
            i = stop;
            continue;
        }
        qsizetype run = i;
        while (run < format.size() && format.at(run) == c)
            ++run;
        const QString token = format.mid(i, run - i);
        result += c == letter ? replace(token) : token;
        i = run;
    }
    return result;
}

QString TwoDigits(std::int64_t value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString ShortDateFormat(const QLocale& locale) {
    return RewriteRuns(locale.dateFormat(QLocale::ShortFormat), u'y', [](const QString& run) {
        return run.size() == 2 ? QStringLiteral("yyyy") : run;
    });
}

QString LongTimeFormat(const QLocale& locale) {
    const QString withoutZone = RewriteRuns(locale.timeFormat(QLocale::LongFormat), u't',
                                            [](const QString&) { return QString(); });
    return withoutZone.simplified();
}

TDateTime Now() {
    return QDateTimeToDateTime(QDateTime::currentDateTime());
}

QDateTime DateTimeToQDateTime(TDateTime value) {
    DayAndTime parts;
    if (!Split(value, parts))
        return {};
    const QDate date = BaseDate().addDays(parts.days);
    const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(parts.msecs));
    QDateTime result(date, time);
    if (!result.isValid() && date.isValid()) {
        // A wall-clock time that a daylight-saving change skipped: read it with the offset
        // in force the day before, which moves it forward by the length of the gap.
        const QDateTime asUtc(date, time, Qt::UTC);
        const int offsetBefore = asUtc.addDays(-1).toLocalTime().offsetFromUtc();
        result = asUtc.addSecs(-offsetBefore).toLocalTime();
    }
    return result;
}

TDateTime QDateTimeToDateTime(const QDateTime& value) {
    if (!value.isValid())
        return 0;
    const QDateTime local = value.toLocalTime();
    return Combine(BaseDate().daysTo(local.date()), local.time().msecsSinceStartOfDay());
}

TDateTime EncodeDate(int year, int month, int day) {
    const QDate date(year, month, day);
    if (year < 1 || year > 9999 || !date.isValid())
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return static_cast<double>(BaseDate().daysTo(date));
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        msec < 0 || msec > 999)
        throw EConvertError(QStringLiteral("Invalid argument to time encode"));
    const std::int64_t msecs = ((hour * 60LL + minute) * 60 + second) * 1000 + msec;
    return static_cast<double>(msecs) / static_cast<double>(MSecsPerDay);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    const QDate date = BaseDate().addDays(SplitOrThrow(value).days);
    date.getDate(&year, &month, &day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec) {
    const auto msecs = static_cast<int>(SplitOrThrow(value).msecs);
    hour = msecs / 3600000;
    minute = msecs / 60000 % 60;
    second = msecs / 1000 % 60;
    msec = msecs % 1000;
}

std::int64_t MilliSecondsBetween(TDateTime now, TDateTime then) {
    return std::llabs(LinearMSecs(now) - LinearMSecs(then));
}

QString DateTimeToStr(TDateTime value, const QLocale& locale) {
    DayAndTime parts;
    if (!Split(value, parts))
        return {};
    QString text = locale.toString(BaseDate().addDays(parts.days), ShortDateFormat(locale));
    if (parts.msecs != 0) {
        const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(parts.msecs));
        text += u' ' + locale.toString(time, LongTimeFormat(locale));
    }
    return text;
}

QString FormatDayMonthTime(TDateTime value, const QLocale& locale) {
    DayAndTime parts;
    if (!Split(value, parts))
        return {};
    const QDate date = BaseDate().addDays(parts.days);
    const QString separator = TimeSeparator(locale);
    const std::int64_t seconds = parts.msecs / 1000;
    return TwoDigits(date.day()) + u'.' + TwoDigits(date.month()) + u' ' +
           TwoDigits(seconds / 3600) + separator + TwoDigits(seconds / 60 % 60) + separator +
           TwoDigits(seconds % 60);
}

QString TimeSeparator(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    qsizetype i = 0;
    while (i < format.size() && format.at(i) != u'h' && format.at(i) != u'H')
        ++i;
    while (i < format.size() && (format.at(i) == u'h' || format.at(i) == u'H'))
        ++i;
    const qsizetype start = i;
    while (i < format.size() && format.at(i) != u'm')
        ++i;
    QString separator = format.mid(start, i - start);
    separator.remove(u'\'');
    if (start == format.size() || i == format.size() || separator.isEmpty())
        return QStringLiteral(":");
    return separator;
}
