// VariantChangeType(Ex): conversions between the scalar automation types and text.

#include "bstr.h"
#include "comholders.h"
#include "variant.h"
#include "variantscalar.h"

#include <cfloat>
#include <cmath>
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
        if (SUCCEEDED(hr) && std::isfinite(value) && std::fabs(value) > FLT_MAX)
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
    if (vt == VT_DECIMAL || from == VT_DECIMAL)
        return DISP_E_BADVARTYPE;
    if (vt == VT_NULL && from == VT_EMPTY) {
        result.vt = VT_NULL;
        return S_OK;
    }
    if ((vt & VT_ARRAY) || vt == VT_EMPTY || vt == VT_NULL)
        return DISP_E_TYPEMISMATCH;
    Scalar scalar;
    hr = Read(*value.Get(), scalar);
    if (FAILED(hr))
        return hr;
    return Write(scalar, vt, result);
}

} // namespace

HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID /*lcid*/,
                            USHORT /*wFlags*/, VARTYPE vt) {
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if ((vt & VT_BYREF) || !zelk::com::IsSupportedVariantType(vt) ||
        !zelk::com::IsSupportedVariantType(pvarSrc->vt))
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
