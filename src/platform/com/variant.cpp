#include "variant.h"

#include "bstr.h"

#include <cstring>

namespace {

bool IsScalarType(VARTYPE vt) {
    switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
        return true;
    default:
        return false;
    }
}

bool IsArrayElementType(VARTYPE vt) {
    return IsScalarType(vt) || vt == VT_VARIANT;
}

// What a by-value variant of type `vt` points to, copied out of `source` (VT_BYREF).
HRESULT Dereference(const VARIANT& source, VARIANT& value) {
    VariantInit(&value);
    const auto vt = static_cast<VARTYPE>(source.vt & ~VT_BYREF);
    if (!source.byref)
        return E_INVALIDARG;
    if (vt == VT_VARIANT) {
        // A variant may hold one level of reference only, as on Windows.
        if (source.pvarVal->vt & VT_BYREF)
            return E_INVALIDARG;
        return VariantCopy(&value, source.pvarVal);
    }
    VARIANT shallow;
    VariantInit(&shallow);
    shallow.vt = vt;
    if (vt & VT_ARRAY) {
        shallow.parray = *source.pparray;
    } else {
        switch (vt) {
        case VT_I1:
        case VT_UI1:
            shallow.bVal = *source.pbVal;
            break;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            shallow.uiVal = *source.puiVal;
            break;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
        case VT_R4:
            std::memcpy(&shallow.ulVal, source.byref, sizeof(ULONG));
            break;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_DATE:
        case VT_CY:
            std::memcpy(&shallow.ullVal, source.byref, sizeof(ULONGLONG));
            break;
        case VT_BSTR:
            shallow.bstrVal = *source.pbstrVal;
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            shallow.punkVal = *source.ppunkVal;
            break;
        default:
            return DISP_E_BADVARTYPE;
        }
    }
    // The shallow variant borrows the referenced value; VariantCopy makes it ours.
    return VariantCopy(&value, &shallow);
}

} // namespace

void VariantInit(VARIANTARG* pvarg) {
    if (pvarg)
        std::memset(pvarg, 0, sizeof(VARIANT));
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg)
        return E_INVALIDARG;
    const VARTYPE vt = pvarg->vt;
    if (!zelk::com::IsSupportedVariantType(vt))
        return DISP_E_BADVARTYPE;
    if (vt & VT_BYREF) {
        // Points at a value owned elsewhere: nothing to release.
    } else if (vt & VT_ARRAY) {
        const HRESULT hr = SafeArrayDestroy(pvarg->parray);
        if (FAILED(hr))
            return hr;
    } else if (vt == VT_BSTR) {
        SysFreeString(pvarg->bstrVal);
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if (pvarg->punkVal)
            pvarg->punkVal->Release();
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (pvargDest == pvargSrc)
        return S_OK;
    const VARTYPE vt = pvargSrc->vt;
    if (!zelk::com::IsSupportedVariantType(vt))
        return DISP_E_BADVARTYPE;
    VARIANT copy = *pvargSrc;
    if (vt & VT_BYREF) {
        // The pointer itself is the value.
    } else if (vt & VT_ARRAY) {
        const HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
        if (FAILED(hr))
            return hr;
    } else if (vt == VT_BSTR) {
        if (BSTR source = pvargSrc->bstrVal) {
            copy.bstrVal = SysAllocStringLen(source, SysStringLen(source));
            if (!copy.bstrVal)
                return E_OUTOFMEMORY;
        }
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if (copy.punkVal)
            copy.punkVal->AddRef();
    }
    const HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc)
        return E_INVALIDARG;
    if (!(pvargSrc->vt & VT_BYREF))
        return VariantCopy(pvarDest, pvargSrc);
    if (!zelk::com::IsSupportedVariantType(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    VARIANT value;
    HRESULT hr = Dereference(*pvargSrc, value);
    if (FAILED(hr))
        return hr;
    // `pvarDest` may be the source itself: it is replaced only after the copy exists.
    hr = VariantClear(pvarDest);
    if (FAILED(hr)) {
        VariantClear(&value);
        return hr;
    }
    *pvarDest = value;
    return S_OK;
}

namespace zelk::com {

bool IsSupportedVariantType(VARTYPE vt) {
    const auto base = static_cast<VARTYPE>(vt & VT_TYPEMASK);
    const auto flags = static_cast<VARTYPE>(vt & ~VT_TYPEMASK);
    if (flags == 0)
        return base == VT_EMPTY || base == VT_NULL || base == VT_DECIMAL || IsScalarType(base);
    if (flags == VT_BYREF)
        return base == VT_VARIANT || base == VT_DECIMAL || IsScalarType(base);
    if (flags == VT_ARRAY || flags == (VT_ARRAY | VT_BYREF))
        return IsArrayElementType(base);
    return false;
}

} // namespace zelk::com
