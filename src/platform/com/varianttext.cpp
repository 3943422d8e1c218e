#include "varianttext.h"

#include "DateTime.h"

#include <QDate>
#include <QLocale>
#include <QStringList>
#include <QTime>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace zelk::com::detail {
namespace {

// Decimal exponents written in fixed notation; the others in "1E+20" style.
constexpr int MinFixedExponent = -5;
constexpr int MaxFixedExponent = 14;

template <class Real> QString ShortestText(Real value) {
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0)
        return QStringLiteral("0"); // -0.0 too: a sign on zero only confuses a reader
    // Scientific notation gives the shortest round-trip digits and their exponent:
    // "-d.ddde+XX".
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const bool negative = text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    const auto ePos = text.find('e');
    std::string digits;
    for (char c : text.substr(0, ePos))
        if (c != '.')
            digits += c;
    const std::string_view exponentText = text.substr(ePos + 2);
    int exponent = 0;
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    if (text[ePos + 1] == '-')
        exponent = -exponent;

    std::string out = negative ? "-" : "";
    if (exponent >= MinFixedExponent && exponent <= MaxFixedExponent) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= integerDigits) {
                out += digits;
                out.append(integerDigits - digits.size(), '0');
            } else {
                out += digits.substr(0, integerDigits);
                out += '.';
                out += digits.substr(integerDigits);
            }
        }
    } else {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += exponent < 0 ? "E-" : "E+";
        const int magnitude = std::abs(exponent);
        if (magnitude < 10)
            out += '0';
        out += std::to_string(magnitude);
    }
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

QDate DayZero() {
    return QDate(1899, 12, 30);
}

// Qt reads a two-digit year as 19xx; a text like "3/1/24" (as earlier versions wrote, and
// as people type) means 2024. The window is 1950..2049.
QDate WithCenturyWindow(QDate date, const QString& format) {
    if (format.contains(QStringLiteral("yy")) && !format.contains(QStringLiteral("yyy")) &&
        date.year() < 1950)
        return date.addYears(100);
    return date;
}

// The date forms read: the locale's short date with four-digit and with two-digit years,
// and ISO 8601.
QStringList DateFormats(const QLocale& locale) {
    return {ShortDateFormat(locale), locale.dateFormat(QLocale::ShortFormat),
            QStringLiteral("yyyy-MM-dd")};
}

// The time forms read: the locale's long and short time, and a 24-hour clock in any
// locale ("0:00:00", "18:30"). Hours and minutes at least: a bare "12" is no time, and
// hours go to 23 only, so "24:00:00" is refused.
QStringList TimeFormats(const QLocale& locale) {
    return {LongTimeFormat(locale), locale.timeFormat(QLocale::ShortFormat),
            QStringLiteral("H:mm:ss"), QStringLiteral("H:mm:ss.zzz"), QStringLiteral("H:mm")};
}

QTime ReadTime(const QLocale& locale, const QString& text) {
    for (const QString& format : TimeFormats(locale))
        if (const QTime time = locale.toTime(text, format); time.isValid())
            return time;
    return {};
}

HRESULT ToDate(QDate day, QTime time, DATE& date) {
    if (!day.isValid() || !time.isValid())
        return DISP_E_TYPEMISMATCH;
    const auto days = static_cast<double>(DayZero().daysTo(day));
    const double fraction = time.msecsSinceStartOfDay() / 86'400'000.0;
    // Before day 0 the fraction still counts forward from midnight: -1.25 is 06:00.
    const double value = days < 0 ? days - fraction : days + fraction;
    if (value < MinDate || value >= EndDate)
        return DISP_E_OVERFLOW;
    date = value;
    return S_OK;
}

} // namespace

// Deliberately the shortest text that reads back to the same value, where Windows writes
// 15 significant digits ("0.3" for 0.1 + 0.2): a value written and read again is unchanged.
QString RealToText(double value) {
    return ShortestText(value);
}
QString SingleToText(float value) {
    return ShortestText(value);
}

QString CurrencyToText(LONGLONG scaled) {
    const bool negative = scaled < 0;
    // Unsigned arithmetic keeps the most negative amount exact.
    const ULONGLONG magnitude =
        negative ? ULONGLONG{0} - static_cast<ULONGLONG>(scaled) : static_cast<ULONGLONG>(scaled);
    QString text = QString::number(magnitude / 10000);
    if (const ULONGLONG fraction = magnitude % 10000) {
        QString digits = QStringLiteral("%1").arg(fraction, 4, 10, QLatin1Char('0'));
        while (digits.endsWith(u'0'))
            digits.chop(1);
        text += u'.' + digits;
    }
    return negative ? u'-' + text : text;
}

HRESULT DateToText(DATE date, QString& text) {
    if (!(date >= MinDate && date < EndDate))
        return DISP_E_OVERFLOW;
    const double whole = std::trunc(date);
    auto days = static_cast<qint64>(whole);
    qint64 seconds = std::llround(std::fabs(date - whole) * 86'400.0);
    if (seconds >= 86'400) {
        days += 1;
        seconds -= 86'400;
    }
    // Four-digit years, as Windows writes them: "12/31/99" would read back as 1999 for
    // 1899-12-31. The locale is the default QLocale, not the call's locale id.
    const QLocale locale;
    const QString dateText = locale.toString(DayZero().addDays(days), ShortDateFormat(locale));
    const QString timeText =
        locale.toString(QTime(0, 0).addSecs(static_cast<int>(seconds)), LongTimeFormat(locale));
    if (days == 0)
        text = timeText;
    else if (seconds == 0)
        text = dateText;
    else
        text = dateText + u' ' + timeText;
    return S_OK;
}

HRESULT TextToDate(const QString& text, DATE& date) {
    QString trimmed = text.trimmed();
    // ISO 8601's "T" between date and time reads as the blank of the other forms.
    if (trimmed.size() > 10 && trimmed.at(10) == u'T' && trimmed.at(4) == u'-')
        trimmed[10] = u' ';
    const QLocale locale;
    // Date and time are read apart, so a local-time gap (a clock change) cannot make a
    // wall-clock text unreadable.
    for (const QString& dateFormat : DateFormats(locale)) {
        const qsizetype dateWords = dateFormat.count(u' ') + 1;
        const QDate day = locale.toDate(trimmed.section(u' ', 0, dateWords - 1), dateFormat);
        if (!day.isValid())
            continue;
        const QString timePart = trimmed.section(u' ', dateWords).trimmed();
        const QTime time = timePart.isEmpty() ? QTime(0, 0) : ReadTime(locale, timePart);
        if (time.isValid())
            return ToDate(WithCenturyWindow(day, dateFormat), time, date);
    }
    if (const QTime time = ReadTime(locale, trimmed); time.isValid())
        return ToDate(DayZero(), time, date);
    return DISP_E_TYPEMISMATCH;
}

HRESULT TextToNumber(const QString& text, ParsedNumber& number) {
    const QString trimmed = text.trimmed();
    std::string chars;
    chars.reserve(static_cast<std::size_t>(trimmed.size()));
    for (const QChar c : trimmed) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'0' && u <= u'9') || u == u'.' || u == u'e' || u == u'E' ||
                             u == u'+' || u == u'-';
        if (!allowed)
            return DISP_E_TYPEMISMATCH;
        chars += static_cast<char>(u);
    }
    std::string_view body(chars);
    const bool negative = !body.empty() && body.front() == '-';
    if (!body.empty() && (body.front() == '-' || body.front() == '+'))
        body.remove_prefix(1);
    if (body.empty() || body.front() == '-' || body.front() == '+')
        return DISP_E_TYPEMISMATCH;
    const char* first = body.data();
    const char* last = body.data() + body.size();

    if (body.find_first_not_of("0123456789") == std::string_view::npos) {
        ULONGLONG magnitude = 0;
        if (std::from_chars(first, last, magnitude).ec == std::errc{}) {
            constexpr auto signedMax = static_cast<ULONGLONG>(std::numeric_limits<LONGLONG>::max());
            if (!negative && magnitude > signedMax) {
                number.kind = ParsedNumber::Kind::Unsigned;
                number.unsignedValue = magnitude;
                return S_OK;
            }
            if (magnitude <= signedMax + 1) {
                number.kind = ParsedNumber::Kind::Signed;
                number.signedValue = negative ? static_cast<LONGLONG>(ULONGLONG{0} - magnitude)
                                              : static_cast<LONGLONG>(magnitude);
                return S_OK;
            }
        }
        // Beyond 64 bits: read as a real, which the caller's range check rejects.
    }
    double value = 0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ptr != last)
        return DISP_E_TYPEMISMATCH;
    // Out of range includes underflow (1e-400): beyond what a double can carry either way.
    if (result.ec == std::errc::result_out_of_range)
        return DISP_E_OVERFLOW;
    if (result.ec != std::errc{})
        return DISP_E_TYPEMISMATCH;
    number.kind = ParsedNumber::Kind::Real;
    number.realValue = negative ? -value : value;
    return S_OK;
}

bool TextToBoolWord(const QString& text, bool& value) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        value = true;
    else if (trimmed.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        value = false;
    else
        return false;
    return true;
}

} // namespace zelk::com::detail
