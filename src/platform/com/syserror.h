#pragma once

// The system's message texts for result codes, in English with the wording and ending
// Windows gives them (most end with ".\r\n", the COM texts often with "\r\n" alone).
// A Win32 error code and its HRESULT_FROM_WIN32 form read the same text.

#include "comtypes.h"

#include <QString>

using HLOCAL = void*;
using SIZE_T = std::size_t;

inline constexpr UINT LMEM_FIXED = 0x0000;
inline constexpr UINT LMEM_ZEROINIT = 0x0040;

// Local memory as FormatMessageW hands it out; it is task memory underneath, so
// zelk::com::LiveTaskAllocations() counts it. LocalFree returns nullptr on success.
HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
HLOCAL LocalFree(HLOCAL hMem);

inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
inline constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;

// Only FORMAT_MESSAGE_FROM_SYSTEM is served; the system texts have no inserts, so
// `Arguments` is never read, and every language gets the English text. With
// FORMAT_MESSAGE_ALLOCATE_BUFFER, `lpBuffer` is really an LPWSTR* that receives a block
// (at least `nSize` characters) the caller frees with LocalFree; otherwise the text and
// its terminating zero must fit in the `nSize` characters at `lpBuffer`. With
// FORMAT_MESSAGE_MAX_WIDTH_MASK each line break becomes one blank. Returns the number of
// characters written without the terminating zero, or 0 with the thread's last error set
// (GetLastError): ERROR_MR_MID_NOT_FOUND when there is no text for the code,
// ERROR_INSUFFICIENT_BUFFER when it does not fit.
DWORD FormatMessageW(DWORD dwFlags, const void* lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPWSTR lpBuffer, DWORD nSize, void* Arguments);

namespace zelk::com {

// The system text for `code` exactly as FormatMessageW gives it; empty when there is none.
QString SystemMessageText(HRESULT code);

} // namespace zelk::com
