#include "ZelkTypes.h"
#include "safearray.h"

namespace {

// Raised inside the walk to abandon it; VariantToStr turns it into the empty text.
struct TConversionFailed {};

void Check(HRESULT hr) {
    if (FAILED(hr))
        throw TConversionFailed{};
}

// A VARIANT that clears itself, so an abandoned walk leaks nothing.
struct TOwnedVariant {
    VARIANT Value;
    TOwnedVariant() { VariantInit(&Value); }
    ~TOwnedVariant() { VariantClear(&Value); }
    TOwnedVariant(const TOwnedVariant&) = delete;
    TOwnedVariant& operator=(const TOwnedVariant&) = delete;
};

QString ScalarText(const VARIANT& value) {
    if ((value.vt & VT_TYPEMASK) == VT_NULL)
        return QString();
    QString text;
    Check(zelk::com::VariantToQString(value, text));
    return text;
}

SAFEARRAY* ArrayOf(const VARIANT& value) {
    if (value.vt & VT_BYREF)
        return value.pparray ? *value.pparray : nullptr;
    return value.parray;
}

QString ArrayText(const VARIANT& value) {
    SAFEARRAY* array = ArrayOf(value);
    if (!array)
        return QString();
    // Elements are fetched with one index: any other shape is not convertible.
    if (SafeArrayGetDim(array) != 1)
        throw TConversionFailed{};
    LONG lower = 0;
    LONG upper = -1;
    Check(SafeArrayGetLBound(array, 1, &lower));
    Check(SafeArrayGetUBound(array, 1, &upper));
    const auto elementType = static_cast<VARTYPE>(value.vt & VT_TYPEMASK);

    QString text;
    for (LONG index = lower; index <= upper; ++index) {
        TOwnedVariant element;
        if (elementType == VT_VARIANT) {
            Check(SafeArrayGetElement(array, &index, &element.Value));
        } else {
            void* slot = nullptr;
            Check(SafeArrayPtrOfIndex(array, &index, &slot));
            VARIANT reference;
            VariantInit(&reference);
            reference.vt = static_cast<VARTYPE>(elementType | VT_BYREF);
            reference.byref = slot;
            Check(VariantCopyInd(&element.Value, &reference));
        }
        if (element.Value.vt & VT_ARRAY)
            text += u'<' + ArrayText(element.Value) + u'>';
        else
            text += ScalarText(element.Value) + u';';
    }
    return text;
}

} // namespace

QString VariantToStr(const VARIANT& V) {
    try {
        if (V.vt == VT_EMPTY)
            return QString();
        if (V.vt & VT_ARRAY)
            return ArrayText(V);
        return ScalarText(V);
    } catch (const TConversionFailed&) {
        return QString();
    }
}
