#pragma once

// Operating-system services the toolkit asks Windows for: the computer name, file-time
// conversions and the server computers of the network neighbourhood. The Windows calls
// keep their names and contracts (global namespace, BOOL results, the error code for
// GetLastError); the rest lives in zelk::rtl.

#include "comtypes.h"

#include <QString>
#include <QStringList>

// The calling thread's last error code, as the functions below set it on failure.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// The computer's name: the host name's first label, upper-cased, as Windows reports its
// NetBIOS name. On entry *nSize is the buffer's size in characters. On success the name
// and a terminating zero are written and *nSize is the name's length without the zero.
// When the buffer is too small (or null) nothing is written, the result is FALSE with
// ERROR_BUFFER_OVERFLOW and *nSize is the size needed, terminating zero included.
BOOL GetComputerNameW(LPWSTR lpBuffer, DWORD* nSize);

// UTC to local file time with the time-zone offset in force now (not the one in force
// at the given time), as Windows converts it. FALSE when the result leaves the range.
BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, FILETIME* lpLocalFileTime);
// The reverse, with the same offset in force now.
BOOL LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, FILETIME* lpFileTime);

// Splits a file time into calendar parts (the day of the week included). FALSE with
// ERROR_INVALID_PARAMETER for values of 0x8000000000000000 and above.
BOOL FileTimeToSystemTime(const FILETIME* lpFileTime, SYSTEMTIME* lpSystemTime);
// The reverse; wDayOfWeek is ignored. FALSE with ERROR_INVALID_PARAMETER for parts that
// name no time between 1601 and 30827.
BOOL SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, FILETIME* lpFileTime);

namespace zelk::rtl {

// The name GetComputerNameW reports.
QString LocalComputerName();

inline constexpr const char* DefaultHostsPath = "/etc/hosts";

// The server computers visible from this one, in the form the Windows network
// enumeration reports them: "\\NAME", two backslashes and the upper-cased first label
// of the host name. On this platform they are the names of the host database at
// `hostsPath` (aliases included; localhost and the IPv6 special names left out) and
// this computer itself; each name once, sorted. A missing or unreadable file gives
// this computer alone.
QStringList NetworkNeighbourhood(const QString& hostsPath = QString::fromLatin1(DefaultHostsPath));

} // namespace zelk::rtl
