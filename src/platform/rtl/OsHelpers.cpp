#include "OsHelpers.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <ctime>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

constexpr std::int64_t TicksPerMSec = 10000;
constexpr std::int64_t MSecsPerDay = 86400000;
// Days from 1601-01-01 (a Monday, the file-time epoch) to 1970-01-01.
constexpr std::int64_t EpochDaysTo1970 = 134774;
constexpr std::uint64_t FirstInvalidTicks = 0x8000000000000000ULL;

std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FromTicks(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Proleptic Gregorian calendar conversions around 1970-01-01 (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

BOOL ShiftByLocalOffset(const FILETIME* from, FILETIME* to, int direction) {
    if (from == nullptr || to == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const std::uint64_t ticks = Ticks(*from);
    if (ticks >= FirstInvalidTicks)
        return Fail(ERROR_INVALID_PARAMETER);
    // localtime_r reads the zone rules loaded by the last tzset() instead of checking the
    // zone file on every call: event intake converts two times per notification.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    const long offsetSeconds = localtime_r(&now, &local) ? local.tm_gmtoff : 0;
    const std::int64_t offset =
        static_cast<std::int64_t>(direction) * offsetSeconds * 1000 * TicksPerMSec;
    const auto signedTicks = static_cast<std::int64_t>(ticks);
    if (offset > 0 ? signedTicks > INT64_MAX - offset : signedTicks + offset < 0)
        return Fail(ERROR_INVALID_PARAMETER);
    const std::int64_t shifted = signedTicks + offset;
    *to = FromTicks(static_cast<std::uint64_t>(shifted));
    return TRUE;
}

bool IsSpecialHostName(const QString& name) {
    const QString lower = name.toLower();
    return lower.startsWith(QLatin1String("localhost")) ||
           lower.startsWith(QLatin1String("ip6-")) || lower == QLatin1String("broadcasthost");
}

bool IsAddress(const QString& text) {
    QByteArray address = text.toLatin1();
    const qsizetype scope = address.indexOf('%');
    if (scope >= 0)
        address.truncate(scope);
    unsigned char buffer[16];
    return inet_pton(AF_INET, address.constData(), buffer) == 1 ||
           inet_pton(AF_INET6, address.constData(), buffer) == 1;
}

// The neighbourhood's form of a host name: its first label upper-cased; empty for a
// name that is no host name.
QString NeighbourName(const QString& hostName) {
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z0-9_-]+(\\.[A-Za-z0-9_-]*)*$"));
    if (!valid.match(hostName).hasMatch())
        return {};
    return hostName.section(u'.', 0, 0).toUpper();
}

} // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

BOOL GetComputerNameW(LPWSTR lpBuffer, DWORD* nSize) {
    if (nSize == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const QString name = zelk::rtl::LocalComputerName();
    const auto needed = static_cast<DWORD>(name.size() + 1);
    if (lpBuffer == nullptr || *nSize < needed) {
        *nSize = needed;
        return Fail(ERROR_BUFFER_OVERFLOW);
    }
    std::copy_n(name.utf16(), name.size(), lpBuffer);
    lpBuffer[name.size()] = u'\0';
    *nSize = needed - 1;
    return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, FILETIME* lpLocalFileTime) {
    return ShiftByLocalOffset(lpFileTime, lpLocalFileTime, +1);
}

BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, FILETIME* lpFileTime) {
    return ShiftByLocalOffset(lpLocalFileTime, lpFileTime, -1);
}

BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, SYSTEMTIME* lpSystemTime) {
    if (lpFileTime == nullptr || lpSystemTime == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const std::uint64_t ticks = Ticks(*lpFileTime);
    if (ticks >= FirstInvalidTicks)
        return Fail(ERROR_INVALID_PARAMETER);
    const auto msecs = static_cast<std::int64_t>(ticks) / TicksPerMSec;
    const std::int64_t days = msecs / MSecsPerDay;
    const std::int64_t msecOfDay = msecs % MSecsPerDay;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days - EpochDaysTo1970, year, month, day);
    lpSystemTime->wYear = static_cast<WORD>(year);
    lpSystemTime->wMonth = static_cast<WORD>(month);
    lpSystemTime->wDayOfWeek = static_cast<WORD>((days + 1) % 7);
    lpSystemTime->wDay = static_cast<WORD>(day);
    lpSystemTime->wHour = static_cast<WORD>(msecOfDay / 3600000);
    lpSystemTime->wMinute = static_cast<WORD>(msecOfDay / 60000 % 60);
    lpSystemTime->wSecond = static_cast<WORD>(msecOfDay / 1000 % 60);
    lpSystemTime->wMilliseconds = static_cast<WORD>(msecOfDay % 1000);
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, FILETIME* lpFileTime) {
    if (lpSystemTime == nullptr || lpFileTime == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    const SYSTEMTIME& t = *lpSystemTime;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 ||
        t.wSecond > 59 || t.wMilliseconds > 999)
        return Fail(ERROR_INVALID_PARAMETER);
    const std::int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) + EpochDaysTo1970;
    const std::int64_t msecs = days * MSecsPerDay +
                               ((t.wHour * 60LL + t.wMinute) * 60 + t.wSecond) * 1000 +
                               t.wMilliseconds;
    *lpFileTime = FromTicks(static_cast<std::uint64_t>(msecs * TicksPerMSec));
    return TRUE;
}

namespace zelk::rtl {

QString LocalComputerName() {
    return QSysInfo::machineHostName().section(u'.', 0, 0).toUpper();
}

QStringList NetworkNeighbourhood(const QString& hostsPath) {
    QStringList names;
    const QString self = LocalComputerName();
    if (!self.isEmpty())
        names.append(self);
    QFile hosts(hostsPath);
    if (hosts.open(QIODevice::ReadOnly | QIODevice::Text)) {
        while (!hosts.atEnd()) {
            QString line = QString::fromUtf8(hosts.readLine());
            line.truncate(line.indexOf(u'#') < 0 ? line.size() : line.indexOf(u'#'));
            const QStringList fields = line.simplified().split(u' ', Qt::SkipEmptyParts);
            if (fields.size() < 2 || !IsAddress(fields.first()))
                continue;
            for (qsizetype i = 1; i < fields.size(); ++i) {
                const QString name = NeighbourName(fields.at(i));
                if (!name.isEmpty() && !IsSpecialHostName(fields.at(i)))
                    names.append(name);
            }
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (QString& name : names)
        name.prepend(QStringLiteral("\\\\"));
    return names;
}

} // namespace zelk::rtl
