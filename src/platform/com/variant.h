#pragma once

// VARIANT, the tagged value of COM automation, with the Windows names for its type tags
// and members. A VARIANT owns what its tag says it holds: a BSTR (VT_BSTR), one
// reference (VT_UNKNOWN, VT_DISPATCH) or a SAFEARRAY (VT_ARRAY | element type);
// VariantClear releases it. VT_BYREF variants point at values owned elsewhere.
//
// Not carried: VT_RECORD, and the DECIMAL that Windows overlays on the whole VARIANT
// (the union below is standard C++); VT_DECIMAL is accepted only by clear and copy.

#include "comtypes.h"
#include "safearray.h"

#include <QString>

using FLOAT = float;
using DOUBLE = double;

struct IDispatch; // known by name only; VT_DISPATCH values are handled as IUnknown

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_PTR = 26,
    VT_SAFEARRAY = 27,
    VT_CARRAY = 28,
    VT_USERDEFINED = 29,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_RECORD = 36,
    VT_INT_PTR = 37,
    VT_UINT_PTR = 38,
    VT_FILETIME = 64,
    VT_BLOB = 65,
    VT_STREAM = 66,
    VT_STORAGE = 67,
    VT_STREAMED_OBJECT = 68,
    VT_STORED_OBJECT = 69,
    VT_BLOB_OBJECT = 70,
    VT_CF = 71,
    VT_CLSID = 72,
    VT_VERSIONED_STREAM = 73,
    VT_BSTR_BLOB = 0x0FFF,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_ILLEGAL = 0xFFFF,
    VT_ILLEGALMASKED = 0x0FFF,
    VT_TYPEMASK = 0x0FFF
};

struct DECIMAL {
    USHORT wReserved;
    BYTE scale;
    BYTE sign;
    ULONG Hi32;
    ULONGLONG Lo64;
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        DECIMAL* pdecVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
    };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using LPVARIANTARG = VARIANT*;

// wFlags of VariantChangeType(Ex). Booleans always read "True"/"False" as text, with or
// without VARIANT_ALPHABOOL; the other flags change nothing here.
inline constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;
inline constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x04;
inline constexpr USHORT VARIANT_CALENDAR_HIJRI = 0x08;
inline constexpr USHORT VARIANT_LOCALBOOL = 0x10;
inline constexpr USHORT VARIANT_CALENDAR_THAI = 0x20;
inline constexpr USHORT VARIANT_CALENDAR_GREGORIAN = 0x40;
inline constexpr USHORT VARIANT_USE_NLS = 0x80;

void VariantInit(VARIANTARG* pvarg);
// Releases what the variant owns and leaves it VT_EMPTY. DISP_E_BADVARTYPE for a tag
// this runtime does not know and DISP_E_ARRAYISLOCKED for a locked array: the variant is
// then unchanged.
HRESULT VariantClear(VARIANTARG* pvarg);
// A deep copy: strings and arrays are duplicated (arrays of variants recursively),
// references AddRef'd, VT_BYREF copied as the pointer. The destination is cleared only
// once the copy has succeeded, so on failure it is unchanged.
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
// As VariantCopy, but a VT_BYREF source is copied as the value it points to.
HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);

// Converts to type `vt`; `pvargDest` may equal `pvarSrc`. The destination changes only
// on success. Results: DISP_E_OVERFLOW out of range, DISP_E_TYPEMISMATCH for text that
// is no number or a conversion that makes no sense (VT_NULL, arrays, interfaces),
// DISP_E_BADVARTYPE for an unknown or unsupported type. Floating point rounds to
// integers half to even. As text (VT_BSTR): integers in decimal; VT_R4/VT_R8 as the
// shortest text that reads back to the same value, "." as decimal point, fixed notation
// for decimal exponents -5..14 and otherwise "1E+20"/"1E-07" style, "0" for -0.0 and
// "NaN"/"INF"/"-INF"; VT_CY as its decimal value; VT_BOOL "True"/"False"; VT_EMPTY "";
// VT_DATE as the default QLocale's short date and long time (without a time zone: a
// DATE has none), the time omitted at midnight and the date omitted on day 0
// (1899-12-30). Number texts read back with "." as decimal point.
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt);
// The locale `lcid` is not consulted: numbers always use ".", dates the default QLocale.
HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                            USHORT wFlags, VARTYPE vt);

namespace zelk::com {

// Whether a VARIANT may carry the tag `vt` in this runtime (VT_BYREF and VT_ARRAY
// combinations included).
bool IsSupportedVariantType(VARTYPE vt);
// The text VariantChangeType(..., VT_BSTR) gives, without the BSTR round trip.
HRESULT VariantToQString(const VARIANT& value, QString& text);

} // namespace zelk::com
