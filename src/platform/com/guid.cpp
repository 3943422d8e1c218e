#include "guid.h"

#include "taskmem.h"

namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 38 characters without the terminating zero.
constexpr int BraceFormLength = 38;

// Never reads past the first zero, so a short string is rejected without overrun.
bool ParseBraceForm(LPCOLESTR text, GUID& guid) {
    return text[0] == u'{' && zelk::com::detail::ParseGuid(text + 1, guid) &&
           text[BraceFormLength - 1] == u'}' && text[BraceFormLength] == 0;
}

void WriteHex(OLECHAR*& out, std::uint32_t value, int digits) {
    static constexpr char16_t Digits[] = u"0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        *out++ = Digits[(value >> shift) & 0xFu];
}

// Writes the 38 characters and the terminating zero; `out` has room for 39.
void FormatBraceForm(REFGUID guid, OLECHAR* out) {
    *out++ = u'{';
    WriteHex(out, guid.Data1, 8);
    *out++ = u'-';
    WriteHex(out, guid.Data2, 4);
    *out++ = u'-';
    WriteHex(out, guid.Data3, 4);
    *out++ = u'-';
    WriteHex(out, guid.Data4[0], 2);
    WriteHex(out, guid.Data4[1], 2);
    *out++ = u'-';
    for (int i = 2; i < 8; ++i)
        WriteHex(out, guid.Data4[i], 2);
    *out++ = u'}';
    *out = 0;
}

HRESULT ParseInto(LPCOLESTR text, GUID* guid, HRESULT malformed) {
    if (!guid)
        return E_INVALIDARG;
    *guid = GUID_NULL;
    if (!text)
        return E_INVALIDARG;
    GUID parsed{};
    if (!ParseBraceForm(text, parsed))
        return malformed;
    *guid = parsed;
    return S_OK;
}

} // namespace

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    // No text names no class, as on Windows: GUID_NULL.
    if (!lpsz && pclsid) {
        *pclsid = GUID_NULL;
        return S_OK;
    }
    return ParseInto(lpsz, pclsid, CO_E_CLASSSTRING);
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid) {
    // Windows tells text that is no GUID at all from a GUID written wrongly.
    const bool braced = lpsz && lpsz[0] == u'{';
    return ParseInto(lpsz, lpiid, braced ? CO_E_IIDSTRING : E_INVALIDARG);
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (!lplpsz)
        return E_INVALIDARG;
    *lplpsz = static_cast<LPOLESTR>(CoTaskMemAlloc((BraceFormLength + 1) * sizeof(OLECHAR)));
    if (!*lplpsz)
        return E_OUTOFMEMORY;
    FormatBraceForm(rclsid, *lplpsz);
    return S_OK;
}

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) {
    return StringFromCLSID(rclsid, lplpsz);
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < BraceFormLength + 1)
        return 0;
    FormatBraceForm(rguid, lpsz);
    return BraceFormLength + 1;
}
