#pragma once

// The HKEY_CLASSES_ROOT view of the local computer's class registry (read only):
//
//   CLSID\{clsid}                          default value: the class description
//   CLSID\{clsid}\ProgID                   default value: the ProgID
//   CLSID\{clsid}\VersionIndependentProgID default value: the version-independent ProgID
//   CLSID\{clsid}\InprocServer32, LocalServer32    as the class is served
//   CLSID\{clsid}\Implemented Categories\{catid}   (and Required Categories)
//   <ProgID>                               default value: the class description
//   <ProgID>\CLSID                         default value: {clsid}
//   <VersionIndependentProgID>\CurVer      default value: the ProgID
//   Component Categories\{catid}           value "<lcid in hex>": the description
//
// Key names compare without regard to case. Values are REG_SZ.

#include "comtypes.h"

#include <cstddef>
#include <cstdint>

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using LSTATUS = LONG;
using REGSAM = DWORD;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;

inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr DWORD ERROR_KEY_DELETED = 1018;

// Opens `lpSubKey` below `hKey`; ERROR_FILE_NOT_FOUND when there is no such key. With a
// null or empty sub key RegOpenKey answers `hKey` itself (do not close it twice), while
// RegOpenKeyEx opens a new handle to the same key.
LSTATUS RegOpenKey(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
LSTATUS RegOpenKeyEx(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                     PHKEY phkResult);

// Reads a value (null or empty name: the key's default value). With lpData null and
// lpcbData set, *lpcbData receives the size in bytes, terminating zero included. When
// the buffer of *lpcbData bytes is too small: ERROR_MORE_DATA, *lpcbData the size
// needed, the buffer left as it was. ERROR_FILE_NOT_FOUND for a missing value;
// ERROR_KEY_DELETED when the key went away since it was opened.
LSTATUS RegQueryValueEx(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                        LPBYTE lpData, LPDWORD lpcbData);

LSTATUS RegCloseKey(HKEY hKey);

namespace zelk::com {
// The number of keys opened and not yet closed; tests compare it before and after.
std::size_t OpenRegistryKeys();
} // namespace zelk::com
