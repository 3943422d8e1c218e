#include "DateTime.h"

#include "Exceptions.h"
#include "TestSupport.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

QDateTime Local(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

} // namespace

TEST(DateTime, RoundTripsThroughQDateTimeWithNegativeValues) {
    EXPECT_EQ(DateTimeToQDateTime(0), Local(1899, 12, 30, 0, 0));
    EXPECT_EQ(DateTimeToQDateTime(1.5), Local(1899, 12, 31, 12, 0));
    // Before the base day the fraction is still the time of day.
    EXPECT_EQ(DateTimeToQDateTime(-1.25), Local(1899, 12, 29, 6, 0));
    EXPECT_DOUBLE_EQ(QDateTimeToDateTime(Local(1899, 12, 29, 6, 0)), -1.25);
    EXPECT_DOUBLE_EQ(QDateTimeToDateTime(Local(1899, 12, 28, 18, 0)), -2.75);

    for (const QDateTime& value :
         {Local(2024, 3, 5, 14, 7, 9, 123), Local(1601, 1, 1, 0, 0, 0, 1),
          Local(1850, 7, 14, 23, 59, 59, 999), Local(9999, 12, 31, 12, 0)}) {
        EXPECT_EQ(DateTimeToQDateTime(QDateTimeToDateTime(value)), value)
            << value.toString().toStdString();
    }
    // A UTC time is taken as the local wall-clock time it stands for.
    const QDateTime utc(QDate(2024, 3, 5), QTime(12, 0), Qt::UTC);
    EXPECT_EQ(DateTimeToQDateTime(QDateTimeToDateTime(utc)), utc.toLocalTime());
    EXPECT_EQ(QDateTimeToDateTime(QDateTime()), 0.0);
    EXPECT_FALSE(DateTimeToQDateTime(std::nan("")).isValid());
}

TEST(DateTime, DaylightSavingDaysKeepTheirWallClockTime) {
    zelk::test::TTimeZoneScope berlin("Europe/Berlin");
    // Clocks went from 02:00 to 03:00 on 2024-03-31 and from 03:00 back to 02:00 on
    // 2024-10-27; the values are wall-clock times either side of the change.
    const QDateTime beforeSpring = Local(2024, 3, 31, 1, 30);
    const QDateTime afterSpring = Local(2024, 3, 31, 3, 30);
    ASSERT_EQ(beforeSpring.offsetFromUtc(), 3600);
    ASSERT_EQ(afterSpring.offsetFromUtc(), 7200);
    const TDateTime before = QDateTimeToDateTime(beforeSpring);
    const TDateTime after = QDateTimeToDateTime(afterSpring);
    EXPECT_EQ(DateTimeToQDateTime(before), beforeSpring);
    EXPECT_EQ(DateTimeToQDateTime(after), afterSpring);
    EXPECT_EQ(MilliSecondsBetween(after, before), 2 * 3600000);

    // 02:30 was skipped that day: it reads as 03:30 summer time instead of being lost.
    const QDateTime skipped =
        DateTimeToQDateTime(EncodeDate(2024, 3, 31) + EncodeTime(2, 30, 0, 0));
    ASSERT_TRUE(skipped.isValid());
    EXPECT_EQ(skipped, afterSpring);

    const QDateTime autumn = Local(2024, 10, 27, 2, 30);
    EXPECT_EQ(DateTimeToQDateTime(QDateTimeToDateTime(autumn)).time(), QTime(2, 30));
    // A UTC instant in summer reads as its summer wall-clock time.
    const QDateTime summerUtc(QDate(2024, 7, 1), QTime(12, 0), Qt::UTC);
    EXPECT_EQ(DateTimeToQDateTime(QDateTimeToDateTime(summerUtc)).time(), QTime(14, 0));
}

TEST(DateTime, EncodeDecodeAndDistances) {
    const TDateTime value = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 500);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    DecodeDate(value, y, mo, d);
    DecodeTime(value, h, mi, s, ms);
    EXPECT_EQ((std::array{y, mo, d, h, mi, s, ms}), (std::array{2024, 3, 5, 14, 7, 9, 500}));
    DecodeDate(-1.25, y, mo, d);
    DecodeTime(-1.25, h, mi, s, ms);
    EXPECT_EQ((std::array{y, mo, d, h, mi}), (std::array{1899, 12, 29, 6, 0}));

    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
    EXPECT_THROW(EncodeDate(2024, 13, 1), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    EXPECT_NO_THROW(EncodeDate(2024, 2, 29));

    // Across the base day the raw values differ by 1.5 while the times are a day apart.
    EXPECT_EQ(MilliSecondsBetween(-1.25, 0.25), 86400000);
    EXPECT_EQ(MilliSecondsBetween(0.25, -1.25), 86400000);
    EXPECT_EQ(MilliSecondsBetween(value, value + EncodeTime(0, 0, 1, 1)), 1001);
    const TDateTime before = QDateTimeToDateTime(QDateTime::currentDateTime());
    const TDateTime now = Now();
    EXPECT_LE(before, now);
    EXPECT_LE(now, QDateTimeToDateTime(QDateTime::currentDateTime()));
}

TEST(DateTime, TextIsShortDateAndLongTimeWithoutMidnight) {
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale american(QLocale::English, QLocale::UnitedStates);
    const TDateTime afternoon = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 0);
    EXPECT_EQ(DateTimeToStr(afternoon, german), QStringLiteral("05.03.2024 14:07:09"));
    EXPECT_EQ(DateTimeToStr(afternoon, american), QStringLiteral("3/5/2024 2:07:09 PM"));

    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 3, 5), german), QStringLiteral("05.03.2024"));
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 3, 5), american), QStringLiteral("3/5/2024"));
    // One millisecond past midnight is not midnight.
    EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 3, 5) + EncodeTime(0, 0, 0, 1), german),
              QStringLiteral("05.03.2024 00:00:00"));
    EXPECT_EQ(DateTimeToStr(0, german), QStringLiteral("30.12.1899"));
}

TEST(DateTime, DayMonthTimePattern) {
    const QLocale american(QLocale::English, QLocale::UnitedStates);
    const QLocale finnish(QLocale::Finnish, QLocale::Finland);
    const TDateTime value = EncodeDate(2024, 3, 7) + EncodeTime(14, 5, 9, 999);
    EXPECT_EQ(FormatDayMonthTime(value, american), QStringLiteral("07.03 14:05:09"));
    EXPECT_EQ(FormatDayMonthTime(EncodeDate(2024, 12, 24) + EncodeTime(0, 0, 3, 0), american),
              QStringLiteral("24.12 00:00:03"));
    EXPECT_EQ(TimeSeparator(finnish), QStringLiteral("."));
    EXPECT_EQ(FormatDayMonthTime(value, finnish), QStringLiteral("07.03 14.05.09"));
    EXPECT_EQ(TimeSeparator(QLocale::c()), QStringLiteral(":"));
}
