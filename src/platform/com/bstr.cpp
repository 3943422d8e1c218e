#include "bstr.h"

#include "taskmem.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr std::size_t PrefixBytes = sizeof(std::uint32_t);
// The byte count must fit the 32-bit prefix, with room for the terminating zero.
constexpr std::size_t MaxBytes = 0x7FFFFFF0u;

std::byte* BlockOf(BSTR text) {
    return reinterpret_cast<std::byte*>(text) - PrefixBytes;
}

// One block: prefix, `bytes` of characters, then three zero bytes (a terminating zero
// character also after an odd byte count). The characters are left for the caller.
BSTR AllocateBytes(std::size_t bytes) {
    if (bytes > MaxBytes)
        return nullptr;
    auto* block = static_cast<std::byte*>(CoTaskMemAlloc(PrefixBytes + bytes + 3));
    if (!block)
        return nullptr;
    const auto count = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &count, PrefixBytes);
    std::memset(block + PrefixBytes + bytes, 0, 3);
    return reinterpret_cast<BSTR>(block + PrefixBytes);
}

std::size_t ZeroTerminatedLength(const OLECHAR* text) {
    return std::char_traits<char16_t>::length(text);
}

} // namespace

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz)
        return nullptr;
    const std::size_t length = ZeroTerminatedLength(psz);
    if (length > MaxBytes / sizeof(OLECHAR))
        return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(length));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    const std::size_t bytes = std::size_t{ui} * sizeof(OLECHAR);
    BSTR result = AllocateBytes(bytes);
    if (!result)
        return nullptr;
    if (strIn)
        std::memcpy(result, strIn, bytes);
    else
        std::memset(result, 0, bytes);
    return result;
}

BSTR SysAllocStringByteLen(const char* psz, UINT len) {
    BSTR result = AllocateBytes(len);
    if (!result)
        return nullptr;
    if (psz)
        std::memcpy(result, psz, len);
    else
        std::memset(result, 0, len);
    return result;
}

void SysFreeString(BSTR bstrString) {
    if (bstrString)
        CoTaskMemFree(BlockOf(bstrString));
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr)
        return FALSE;
    if (!psz) {
        SysFreeString(*pbstr);
        *pbstr = nullptr;
        return TRUE;
    }
    // Allocate before freeing: `psz` may point into the old string.
    BSTR fresh = SysAllocString(psz);
    if (!fresh)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, unsigned int len) {
    if (!pbstr)
        return FALSE;
    BSTR fresh = SysAllocStringLen(psz, len);
    if (!fresh)
        return FALSE;
    if (!psz && *pbstr) {
        const UINT kept = std::min(len, SysStringLen(*pbstr));
        std::memcpy(fresh, *pbstr, std::size_t{kept} * sizeof(OLECHAR));
    }
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr)
        return 0;
    std::uint32_t count = 0;
    std::memcpy(&count, BlockOf(bstr), PrefixBytes);
    return count;
}

UINT SysStringLen(BSTR pbstr) {
    return SysStringByteLen(pbstr) / sizeof(OLECHAR);
}

namespace zelk::com {

QString ToQString(const OLECHAR* text) {
    if (!text)
        return {};
    return QString::fromUtf16(text);
}

QString ToQString(const OLECHAR* text, qsizetype length) {
    if (!text || length <= 0)
        return {};
    return QString::fromUtf16(text, length);
}

QString BStrToQString(BSTR text) {
    return ToQString(text, SysStringLen(text));
}

BSTR BStrFromQString(const QString& text) {
    BSTR result = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.utf16()),
                                    static_cast<UINT>(text.size()));
    if (!result)
        throw std::bad_alloc();
    return result;
}

LPWSTR TaskStrFromQString(const QString& text) {
    const auto length = static_cast<std::size_t>(text.size());
    auto* result = static_cast<LPWSTR>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
    if (!result)
        throw std::bad_alloc();
    std::memcpy(result, text.utf16(), length * sizeof(WCHAR));
    result[length] = 0;
    return result;
}

} // namespace zelk::com
