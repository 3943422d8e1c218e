#pragma once

// TDateTime: the runtime library's date-time value and its helpers.
//
// A TDateTime counts days since 1899-12-30 00:00 in local wall-clock time; the fraction
// is the time of day, and 0 means "no time". Before 1899-12-30 the integer part is
// negative while the fraction still reads as a positive time of day: -1.25 is
// 1899-12-29 06:00 (not 1899-12-28 18:00). Conversions keep millisecond precision.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <cstdint>

using TDateTime = double;

inline constexpr std::int64_t MSecsPerDay = 86400000;

// The current local date and time.
TDateTime Now();

// The local wall-clock time a value stands for. A wall-clock time that a daylight-saving
// change skipped is moved forward by the gap (02:30 on a day whose clocks jump from
// 02:00 to 03:00 gives 03:30), so every value in range gives a valid QDateTime.
QDateTime DateTimeToQDateTime(TDateTime value);
// The local wall-clock time of `value`, whether it is held as local time, UTC or an
// offset; 0 for an invalid one.
TDateTime QDateTimeToDateTime(const QDateTime& value);

// The calendar parts; Encode... raise EConvertError for parts that name no date or time
// (month 13, 24:00, 30 February).
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& msec);

// Whole milliseconds between two values, always positive, measured on the wall-clock
// scale of the values (a daylight-saving day still has 24 hours here).
std::int64_t MilliSecondsBetween(TDateTime now, TDateTime then);

// The locale's short date and long time, the time left out at exactly midnight. Years
// are always written with four digits and the time-zone name is left out, since the
// value carries no zone.
QString DateTimeToStr(TDateTime value, const QLocale& locale = QLocale::system());

// The Qt formats DateTimeToStr writes with: the locale's short date with a four-digit
// year ("M/d/yyyy"), and its long time without the time-zone name ("h:mm:ss AP").
QString ShortDateFormat(const QLocale& locale = QLocale::system());
QString LongTimeFormat(const QLocale& locale = QLocale::system());

// "dd.mm hh:nn:ss": two-digit day, a point, two-digit month, a blank, then hours 00-23,
// minutes and seconds, two digits each, separated by the locale's time separator.
QString FormatDayMonthTime(TDateTime value, const QLocale& locale = QLocale::system());

// The character(s) that the locale puts between hours and minutes (":" in most).
QString TimeSeparator(const QLocale& locale = QLocale::system());
