#pragma once

// The basic types, result codes, GUIDs and IUnknown of the COM runtime stand-in.
// Names, widths and field orders are those of the Windows SDK, so code written
// against this header reads (and would build) like ordinary Windows COM code.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>

// ---- Scalar types: exact widths, unlike the LP64 meaning of "long" ----
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using BOOL = std::int32_t;
using CHAR = char;
using WCHAR = char16_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using PWideChar = WCHAR*;
using BSTR = OLECHAR*;
using LPVOID = void*;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LCID = DWORD;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using DATE = double;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_NEUTRAL = 0x0000;

// Currency: a 64-bit integer scaled by 10,000.
struct CY {
    LONGLONG int64;
};

// 100-nanosecond ticks since 1601-01-01 UTC, low half first.
struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

#define STDMETHODCALLTYPE
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE

// ---- Result codes ----
constexpr HRESULT MAKE_HRESULT(unsigned sev, unsigned fac, unsigned code) {
    return static_cast<HRESULT>((static_cast<std::uint32_t>(sev) << 31) |
                                (static_cast<std::uint32_t>(fac) << 16) |
                                static_cast<std::uint32_t>(code));
}
constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}
constexpr unsigned HRESULT_CODE(HRESULT hr) {
    return static_cast<std::uint32_t>(hr) & 0xFFFFu;
}
constexpr unsigned HRESULT_FACILITY(HRESULT hr) {
    return (static_cast<std::uint32_t>(hr) >> 16) & 0x1FFFu;
}
constexpr unsigned HRESULT_SEVERITY(HRESULT hr) {
    return static_cast<std::uint32_t>(hr) >> 31;
}

inline constexpr unsigned FACILITY_NULL = 0;
inline constexpr unsigned FACILITY_RPC = 1;
inline constexpr unsigned FACILITY_DISPATCH = 2;
inline constexpr unsigned FACILITY_ITF = 4;
inline constexpr unsigned FACILITY_WIN32 = 7;

constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
    return static_cast<HRESULT>(code) <= 0
               ? static_cast<HRESULT>(code)
               : static_cast<HRESULT>((code & 0xFFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

// Win32 error codes in use.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_BUFFER_OVERFLOW = 111;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
inline constexpr DWORD ERROR_MORE_DATA = 234;
inline constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
inline constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;

namespace zelk::com::detail {
constexpr HRESULT Code(std::uint32_t value) {
    return static_cast<HRESULT>(value);
}
} // namespace zelk::com::detail

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = zelk::com::detail::Code(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = zelk::com::detail::Code(0x80004002);
inline constexpr HRESULT E_POINTER = zelk::com::detail::Code(0x80004003);
inline constexpr HRESULT E_ABORT = zelk::com::detail::Code(0x80004004);
inline constexpr HRESULT E_FAIL = zelk::com::detail::Code(0x80004005);
inline constexpr HRESULT E_BOUNDS = zelk::com::detail::Code(0x8000000B);
inline constexpr HRESULT E_UNEXPECTED = zelk::com::detail::Code(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = zelk::com::detail::Code(0x80070005);
inline constexpr HRESULT E_HANDLE = zelk::com::detail::Code(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = zelk::com::detail::Code(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = zelk::com::detail::Code(0x80070057);
inline constexpr HRESULT RPC_E_CALL_REJECTED = zelk::com::detail::Code(0x80010001);
inline constexpr HRESULT RPC_E_SERVERFAULT = zelk::com::detail::Code(0x80010105);
inline constexpr HRESULT RPC_E_CHANGED_MODE = zelk::com::detail::Code(0x80010106);
inline constexpr HRESULT RPC_E_DISCONNECTED = zelk::com::detail::Code(0x80010108);
inline constexpr HRESULT RPC_E_WRONG_THREAD = zelk::com::detail::Code(0x8001010E);
inline constexpr HRESULT RPC_E_TOO_LATE = zelk::com::detail::Code(0x80010119);
inline constexpr HRESULT DISP_E_BADVARTYPE = zelk::com::detail::Code(0x80020008);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = zelk::com::detail::Code(0x80020005);
inline constexpr HRESULT DISP_E_OVERFLOW = zelk::com::detail::Code(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = zelk::com::detail::Code(0x8002000B);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = zelk::com::detail::Code(0x8002000D);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = zelk::com::detail::Code(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = zelk::com::detail::Code(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = zelk::com::detail::Code(0x80040150);
inline constexpr HRESULT REGDB_E_KEYMISSING = zelk::com::detail::Code(0x80040152);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = zelk::com::detail::Code(0x80040154);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = zelk::com::detail::Code(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = zelk::com::detail::Code(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = zelk::com::detail::Code(0x80040202);
inline constexpr HRESULT CONNECT_E_OVERRIDDEN = zelk::com::detail::Code(0x80040203);
inline constexpr HRESULT CO_E_NOTINITIALIZED = zelk::com::detail::Code(0x800401F0);
inline constexpr HRESULT CO_E_CLASSSTRING = zelk::com::detail::Code(0x800401F3);
inline constexpr HRESULT CO_E_IIDSTRING = zelk::com::detail::Code(0x800401F4);
inline constexpr HRESULT CO_E_OBJNOTCONNECTED = zelk::com::detail::Code(0x800401FD);
inline constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = zelk::com::detail::Code(0x80080005);

// ---- GUIDs ----
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};
using IID = GUID;
using CLSID = GUID;
using CATID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFCATID = const CATID&;
using LPGUID = GUID*;
using LPCLSID = CLSID*;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
inline bool IsEqualIID(REFIID a, REFIID b) {
    return a == b;
}
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return a == b;
}

namespace zelk::com::detail {
template <class Char> constexpr int GuidHexValue(Char c) {
    if (c >= '0' && c <= '9')
        return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<int>(c - 'A' + 10);
    return -1;
}

// The one reader of GUID texts, for literals in the code and for texts at run time:
// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (36 characters, no braces, hex digits in either
// case). It stops at the first character out of place, so it never reads past the zero
// that ends a shorter text.
template <class Char> constexpr bool ParseGuid(const Char* text, GUID& guid) {
    for (int i = 0; i < 36; ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : GuidHexValue(text[i]) < 0)
            return false;
    }
    const auto field = [text](int from, int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value = value * 16 + static_cast<std::uint32_t>(GuidHexValue(text[from + i]));
        return value;
    };
    guid.Data1 = field(0, 8);
    guid.Data2 = static_cast<std::uint16_t>(field(9, 4));
    guid.Data3 = static_cast<std::uint16_t>(field(14, 4));
    guid.Data4[0] = static_cast<std::uint8_t>(field(19, 2));
    guid.Data4[1] = static_cast<std::uint8_t>(field(21, 2));
    for (int i = 0; i < 6; ++i)
        guid.Data4[2 + i] = static_cast<std::uint8_t>(field(24 + 2 * i, 2));
    return true;
}
} // namespace zelk::com::detail

// A GUID from its 36-character text "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (no braces).
// A malformed literal does not compile.
template <std::size_t N> consteval GUID ZelkGuid(const char (&text)[N]) {
    static_assert(N == 37, "a GUID literal has 36 characters");
    GUID g{};
    if (!zelk::com::detail::ParseGuid(text, g))
        throw "malformed GUID literal"; // a compile error in a consteval call
    return g;
}

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};
inline constexpr CLSID CLSID_NULL{};

template <> struct std::hash<GUID> {
    std::size_t operator()(const GUID& g) const noexcept {
        std::uint64_t h = g.Data1;
        h = h * 1000003u ^ g.Data2;
        h = h * 1000003u ^ g.Data3;
        for (auto b : g.Data4)
            h = h * 1000003u ^ b;
        return static_cast<std::size_t>(h);
    }
};

// ---- Interface identities: __uuidof(I) for every declared interface ----
template <class Interface> struct ZelkUuidOf; // specialised by ZELK_INTERFACE_IDENTITY

#define __uuidof(Interface) (::ZelkUuidOf<Interface>::value)

// Declares the identity of interface `Name`, which derives from `Base`: __uuidof(Name)
// and the constant IID_Name. The interface follows as a plain struct, which a formatter
// reads as one:
//   ZELK_INTERFACE_IDENTITY(IFoo, IUnknown, "…");
//   struct IFoo : IUnknown { …methods… };
#define ZELK_INTERFACE_IDENTITY(Name, Base, uuid)                                                  \
    struct Name;                                                                                   \
    template <> struct ZelkUuidOf<Name> {                                                          \
        static constexpr GUID value = ZelkGuid(uuid);                                              \
        using BaseInterface = Base; /* QueryInterface answers for the bases too */                 \
    };                                                                                             \
    inline constexpr IID IID_##Name = ZelkUuidOf<Name>::value

// Declares the identity of an interface that is known by name only (no methods used).
#define ZELK_INTERFACE_ID(Name, uuid) inline constexpr IID IID_##Name = ZelkGuid(uuid)

struct IUnknown;
template <> struct ZelkUuidOf<IUnknown> {
    static constexpr GUID value = ZelkGuid("00000000-0000-0000-C000-000000000046");
};
inline constexpr IID IID_IUnknown = ZelkUuidOf<IUnknown>::value;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

    template <class Q> HRESULT STDMETHODCALLTYPE QueryInterface(Q** pp) {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }

protected:
    // Objects are destroyed by their last Release, never through an interface pointer.
    ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

template <class T> void** IID_PPV_ARGS_Helper(T** pp) {
    static_assert(std::is_base_of_v<IUnknown, T>, "IID_PPV_ARGS needs an interface pointer");
    return reinterpret_cast<void**>(pp);
}
#define IID_PPV_ARGS(ppType)                                                                       \
    __uuidof(std::remove_pointer_t<std::remove_pointer_t<decltype(ppType)>>),                      \
        IID_PPV_ARGS_Helper(ppType)
