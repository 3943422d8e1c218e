#include "guid.h"

#include "taskmem.h"

namespace {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 38 characters without the terminating zero.
constexpr int BraceFormLength = 38;
constexpr bool IsDashPosition(int i) {
    return i == 9 || i == 14 || i == 19 || i == 24;
}

int HexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Reads `count` hex digits starting at `from`; the caller has checked the whole shape.
std::uint32_t HexField(LPCOLESTR text, int from, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 16 + static_cast<std::uint32_t>(HexValue(text[from + i]));
    return value;
}

// Never reads past the first zero, so a short string is rejected without overrun.
bool ParseBraceForm(LPCOLESTR text, GUID& guid) {
    for (int i = 0; i < BraceFormLength; ++i) {
        const OLECHAR c = text[i];
        if (c == 0)
            return false;
        if (i == 0) {
            if (c != u'{')
                return false;
        } else if (i == BraceFormLength - 1) {
            if (c != u'}')
                return false;
        } else if (IsDashPosition(i)) {
            if (c != u'-')
                return false;
        } else if (HexValue(c) < 0) {
            return false;
        }
    }
    if (text[BraceFormLength] != 0)
        return false;
    guid.Data1 = HexField(text, 1, 8);
    guid.Data2 = static_cast<std::uint16_t>(HexField(text, 10, 4));
    guid.Data3 = static_cast<std::uint16_t>(HexField(text, 15, 4));
    guid.Data4[0] = static_cast<std::uint8_t>(HexField(text, 20, 2));
    guid.Data4[1] = static_cast<std::uint8_t>(HexField(text, 22, 2));
    for (int i = 0; i < 6; ++i)
        guid.Data4[2 + i] = static_cast<std::uint8_t>(HexField(text, 25 + 2 * i, 2));
    return true;
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
    return ParseInto(lpsz, pclsid, CO_E_CLASSSTRING);
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID* lpiid) {
    return ParseInto(lpsz, lpiid, E_INVALIDARG);
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
