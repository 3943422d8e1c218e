// VariantChangeType(Ex): conversions between the scalar automation types and text.

#include "bstr.h"
#include "comholders.h"
#include "variant.h"
#include "variantscalar.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>

using namespace zelk::com::detail;

namespace {

template <class Field> HRESULT PutSigned(const Scalar& s, Field& field) {
    LONGLONG value = 0;
    const HRESULT hr =
        ToSigned(s, std::numeric_limits<Field>::min(), std::numeric_limits<Field>::max(), value);
    if (SUCCEEDED(hr))
        field = static_cast<Field>(value);
    return hr;
}

template <class Field> HRESULT PutUnsigned(const Scalar& s, Field& field) {
    ULONGLONG value = 0;
    const HRESULT hr = ToUnsigned(s, std::numeric_limits<Field>::max(), value);
    if (SUCCEEDED(hr))
        field = static_cast<Field>(value);
    return hr;
}

// The smallest magnitude a double rounds up from to a float's infinity: halfway between
// FLT_MAX and 2^128.
constexpr double FloatOverflow = 0x1.ffffffp+127;

// The size of an integer type and whether it is signed; 0 for other types.
int IntegerWidth(VARTYPE vt, bool& isSigned) {
    isSigned = vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_INT || vt == VT_I8;
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
        return 4;
    case VT_I8:
    case VT_UI8:
        return 8;
    default:
        return 0;
    }
}

// Between a signed and an unsigned integer of one size Windows keeps the bits instead of
// checking the range: VT_UI4 4294967295 is VT_I4 -1, VT_I1 -128 is VT_UI1 128.
bool Reinterpret(const VARIANT& source, VARTYPE vt, VARIANT& result) {
    bool fromSigned = false;
    bool toSigned = false;
    const int width = IntegerWidth(source.vt, fromSigned);
    if (width == 0 || width != IntegerWidth(vt, toSigned) || fromSigned == toSigned)
        return false;
    // Every member of the value union starts at its first byte.
    std::memcpy(&result.ullVal, &source.ullVal, static_cast<std::size_t>(width));
    result.vt = vt;
    return true;
}

// Writes the scalar as type `vt` into `result` (still VT_EMPTY and owning nothing).
HRESULT Write(const Scalar& s, VARTYPE vt, VARIANT& result) {
    HRESULT hr = DISP_E_TYPEMISMATCH;
    switch (vt) {
    case VT_I1: {
        std::int8_t value = 0;
        hr = PutSigned(s, value);
        result.cVal = static_cast<CHAR>(value);
        break;
    }
    case VT_I2:
        hr = PutSigned(s, result.iVal);
        break;
    case VT_I4:
        hr = PutSigned(s, result.lVal);
        break;
    case VT_INT:
        hr = PutSigned(s, result.intVal);
        break;
    case VT_I8:
        hr = PutSigned(s, result.llVal);
        break;
    case VT_UI1:
        hr = PutUnsigned(s, result.bVal);
        break;
    case VT_UI2:
        hr = PutUnsigned(s, result.uiVal);
        break;
    case VT_UI4:
        hr = PutUnsigned(s, result.ulVal);
        break;
    case VT_UINT:
        hr = PutUnsigned(s, result.uintVal);
        break;
    case VT_UI8:
        hr = PutUnsigned(s, result.ullVal);
        break;
    case VT_R4: {
        double value = 0;
        hr = ToReal(s, value);
        // Beyond FLT_MAX but rounding to it is no overflow: "3.4028235E+38", the text the
        // largest float is written as, reads back.
        if (SUCCEEDED(hr) && std::isfinite(value) && std::fabs(value) >= FloatOverflow)
            hr = DISP_E_OVERFLOW;
        result.fltVal = static_cast<float>(value);
        break;
    }
    case VT_R8:
        hr = ToReal(s, result.dblVal);
        break;
    case VT_DATE:
        hr = ToDate(s, result.date);
        break;
    case VT_CY:
        hr = ToCurrency(s, result.cyVal.int64);
        break;
    case VT_BOOL: {
        bool value = false;
        hr = ToBool(s, value);
        result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    }
    case VT_BSTR: {
        QString text;
        hr = ToText(s, text);
        if (SUCCEEDED(hr))
            result.bstrVal = zelk::com::BStrFromQString(text);
        break;
    }
    default: // VT_ERROR and interfaces: no conversion from other types
        break;
    }
    if (SUCCEEDED(hr))
        result.vt = vt;
    else
        VariantInit(&result);
    return hr;
}

HRESULT Convert(const VARIANT& source, VARTYPE vt, VARIANT& result) {
    zelk::com::ComVariant value;
    HRESULT hr = VariantCopyInd(value.Get(), &source);
    if (FAILED(hr))
        return hr;
    const VARTYPE from = value.Get()->vt;
    if (from == vt)
        return VariantCopy(&result, value.Get());
    // VT_DECIMAL is carried but not converted: no caller of the toolkit needs its arithmetic.
    if (vt == VT_DECIMAL || from == VT_DECIMAL)
        return DISP_E_BADVARTYPE;
    if ((vt & VT_ARRAY) || (from & VT_ARRAY))
        return DISP_E_TYPEMISMATCH;
    // Any single value becomes "no value" or "null": the value is dropped.
    if (vt == VT_EMPTY || vt == VT_NULL) {
        result.vt = vt;
        return S_OK;
    }
    if (Reinterpret(*value.Get(), vt, result))
        return S_OK;
    Scalar scalar;
    hr = Read(*value.Get(), scalar);
    if (FAILED(hr))
        return hr;
    return Write(scalar, vt, result);
}

} // namespace

// Deliberately unlike Windows, the locale id is not consulted: numbers always use "." and
// dates the default QLocale, so a value reads back the same on every computer of a plant.
HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID /*lcid*/,
                            USHORT /*wFlags*/, VARTYPE vt) {
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if (!zelk::com::IsSupportedVariantType(pvarSrc->vt))
        return DISP_E_BADVARTYPE;
    // Types a variant may hold but no value converts to: a mismatch, as on Windows.
    const auto base = static_cast<VARTYPE>(vt & ~VT_BYREF);
    if (base == VT_VARIANT || base == VT_RECORD ||
        ((vt & VT_BYREF) && zelk::com::IsSupportedVariantType(base)))
        return DISP_E_TYPEMISMATCH;
    if (!zelk::com::IsSupportedVariantType(vt))
        return DISP_E_BADVARTYPE;
    try {
        VARIANT result;
        VariantInit(&result);
        HRESULT hr = Convert(*pvarSrc, vt, result);
        if (FAILED(hr))
            return hr;
        // Replace the destination only now: it may be the source.
        hr = VariantClear(pvargDest);
        if (FAILED(hr)) {
            VariantClear(&result);
            return hr;
        }
        *pvargDest = result;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

namespace zelk::com {

HRESULT VariantToQString(const VARIANT& value, QString& text) {
    if (!IsSupportedVariantType(value.vt))
        return DISP_E_BADVARTYPE;
    try {
        ComVariant direct;
        HRESULT hr = VariantCopyInd(direct.Get(), &value);
        if (FAILED(hr))
            return hr;
        Scalar scalar;
        hr = Read(*direct.Get(), scalar);
        return FAILED(hr) ? hr : ToText(scalar, text);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace zelk::com
