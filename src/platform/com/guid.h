#pragma once

// GUID text conversions in the registry's brace form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.

#include "comtypes.h"

// Accepts exactly the brace form (hex digits in either case); CO_E_CLASSSTRING otherwise.
// A null string gives S_OK and GUID_NULL, a null out-pointer E_INVALIDARG. On failure
// *pclsid is GUID_NULL.
HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
// As CLSIDFromString, but, as on Windows, a malformed string that begins with "{" gives
// CO_E_IIDSTRING, any other (and a null string) E_INVALIDARG.
HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid);
// The brace form in upper case, as task memory the caller frees with CoTaskMemFree.
HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
// Writes the brace form into `lpsz`; returns the characters written including the
// terminating zero, or 0 when `cchMax` is below 39.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
