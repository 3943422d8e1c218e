#include "comholders.h"

#include "Exceptions.h"
#include "syserror.h"

namespace zelk::com {
namespace {

[[noreturn]] void ThrowCopyFailure(HRESULT hr) {
    if (hr == E_OUTOFMEMORY)
        throw std::bad_alloc();
    QString message = SystemMessageText(hr);
    while (!message.isEmpty() && (message.back().unicode() <= u' ' || message.back() == u'.'))
        message.chop(1);
    if (message.isEmpty())
        message = QStringLiteral("OLE error %1")
                      .arg(static_cast<std::uint32_t>(hr), 8, 16, QLatin1Char('0'));
    throw EOleSysError(message, hr);
}

} // namespace

BStr::BStr(const OLECHAR* text) : FStr(SysAllocString(text)) {
    if (text && !FStr)
        throw std::bad_alloc();
}

BStr::BStr(const BStr& other) {
    if (other.FStr) {
        FStr = SysAllocStringLen(other.FStr, other.Length());
        if (!FStr)
            throw std::bad_alloc();
    }
}

BStr& BStr::operator=(const BStr& other) {
    if (this != &other) {
        BStr copy(other);
        std::swap(FStr, copy.FStr);
    }
    return *this;
}

BStr& BStr::operator=(BStr&& other) noexcept {
    if (this != &other) {
        Reset();
        FStr = std::exchange(other.FStr, nullptr);
    }
    return *this;
}

void BStr::Attach(BSTR text) noexcept {
    if (text != FStr)
        Reset();
    FStr = text;
}

ComVariant::ComVariant(LONG value) noexcept : ComVariant() {
    FValue.vt = VT_I4;
    FValue.lVal = value;
}

ComVariant::ComVariant(double value) noexcept : ComVariant() {
    FValue.vt = VT_R8;
    FValue.dblVal = value;
}

ComVariant::ComVariant(bool value) noexcept : ComVariant() {
    FValue.vt = VT_BOOL;
    FValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

ComVariant::ComVariant(const QString& text) : ComVariant() {
    FValue.bstrVal = BStrFromQString(text);
    FValue.vt = VT_BSTR;
}

ComVariant::ComVariant(const VARIANT& value) : ComVariant() {
    const HRESULT hr = VariantCopy(&FValue, &value);
    if (FAILED(hr))
        ThrowCopyFailure(hr);
}

ComVariant& ComVariant::operator=(const ComVariant& other) {
    // VariantCopy leaves this value untouched when it fails.
    const HRESULT hr = VariantCopy(&FValue, &other.FValue);
    if (FAILED(hr))
        ThrowCopyFailure(hr);
    return *this;
}

ComVariant& ComVariant::operator=(ComVariant&& other) noexcept {
    if (this != &other) {
        Clear();
        FValue = other.FValue;
        VariantInit(&other.FValue);
    }
    return *this;
}

void ComVariant::Attach(VARIANT& value) noexcept {
    if (&value == &FValue)
        return;
    Clear();
    FValue = value;
    VariantInit(&value);
}

void ComVariant::Detach(VARIANT* target) noexcept {
    if (!target || target == &FValue)
        return;
    *target = FValue;
    VariantInit(&FValue);
}

void ComVariant::Clear() noexcept {
    if (FAILED(VariantClear(&FValue)))
        VariantInit(&FValue);
}

} // namespace zelk::com
