#pragma once

// BSTR, the length-prefixed COM string: a 4-byte byte count sits just before the
// characters, and a zero character follows them (the count does not include it).
// A BSTR may hold embedded zero characters; a null BSTR reads as the empty string.
//
// Each BSTR is one block of task memory, so zelk::com::LiveTaskAllocations() counts
// the strings that are still alive; free them with SysFreeString, never CoTaskMemFree.

#include "comtypes.h"

#include <QString>

// A copy of the zero-terminated `psz`; nullptr for a null `psz` or when memory runs out.
BSTR SysAllocString(const OLECHAR* psz);
// `ui` characters copied from `strIn` (embedded zeros kept); with a null `strIn` the
// characters are zeros. nullptr when memory runs out.
BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
// `len` bytes copied from `psz` (zeros when null), then a zero character.
BSTR SysAllocStringByteLen(const char* psz, UINT len);
void SysFreeString(BSTR bstrString);
// Replaces *pbstr by a copy of `psz` (which may point into *pbstr). FALSE, with *pbstr
// unchanged, when `pbstr` is null or memory runs out.
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
// Replaces *pbstr by `len` characters of `psz`; with a null `psz` the old characters are
// kept up to `len` and the rest are zeros. FALSE, unchanged, on failure.
INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, unsigned int len);
// Characters, not counting the terminating zero; 0 for nullptr.
UINT SysStringLen(BSTR pbstr);
UINT SysStringByteLen(BSTR bstr);

namespace zelk::com {

// The characters up to the first zero; empty for nullptr.
QString ToQString(const OLECHAR* text);
// Exactly `length` characters, zeros included; empty for nullptr.
QString ToQString(const OLECHAR* text, qsizetype length);
// All SysStringLen characters of a BSTR, embedded zeros included.
QString BStrToQString(BSTR text);
// A new BSTR holding `text` (an empty text gives an empty, non-null BSTR). The caller
// owns it. Throws std::bad_alloc when memory runs out, so the result is never null.
BSTR BStrFromQString(const QString& text);
// A zero-terminated copy of `text` in task memory (the form of LPWSTR out-parameters);
// the receiver frees it with CoTaskMemFree. Throws std::bad_alloc when memory runs out.
LPWSTR TaskStrFromQString(const QString& text);

} // namespace zelk::com
