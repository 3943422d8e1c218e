#include "variantscalar.h"

#include "bstr.h"
#include "varianttext.h"

#include <cmath>
#include <limits>

namespace zelk::com::detail {
namespace {

constexpr LONGLONG CurrencyScale = 10000;
constexpr double TwoPow63 = 9223372036854775808.0;
constexpr double TwoPow64 = 18446744073709551616.0;

HRESULT FromText(const QString& text, Scalar& number) {
    ParsedNumber parsed;
    const HRESULT hr = TextToNumber(text, parsed);
    if (FAILED(hr))
        return hr;
    switch (parsed.kind) {
    case ParsedNumber::Kind::Signed:
        number = Scalar::Integer(parsed.signedValue);
        break;
    case ParsedNumber::Kind::Unsigned:
        number.kind = Scalar::Kind::Unsigned;
        number.u = parsed.unsignedValue;
        break;
    case ParsedNumber::Kind::Real:
        number.kind = Scalar::Kind::Real;
        number.r = parsed.realValue;
        break;
    }
    return S_OK;
}

// Round half to even, as automation rounds reals to integers.
double RoundHalfEven(double x) {
    const double floor = std::floor(x);
    const double diff = x - floor;
    if (diff > 0.5)
        return floor + 1;
    if (diff < 0.5)
        return floor;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

LONGLONG CurrencyToInteger(LONGLONG scaled) {
    const LONGLONG whole = scaled / CurrencyScale;
    const LONGLONG rest = scaled % CurrencyScale;
    const LONGLONG half = CurrencyScale / 2;
    if (rest > half || (rest == half && whole % 2 != 0))
        return whole + 1;
    if (rest < -half || (rest == -half && whole % 2 != 0))
        return whole - 1;
    return whole;
}

} // namespace

HRESULT Read(const VARIANT& v, Scalar& s) {
    using Kind = Scalar::Kind;
    switch (v.vt) {
    case VT_EMPTY:
        s.kind = Kind::Empty;
        return S_OK;
    case VT_I1:
        s = Scalar::Integer(static_cast<std::int8_t>(v.cVal));
        return S_OK;
    case VT_UI1:
        s = Scalar::Integer(v.bVal);
        return S_OK;
    case VT_I2:
        s = Scalar::Integer(v.iVal);
        return S_OK;
    case VT_UI2:
        s = Scalar::Integer(v.uiVal);
        return S_OK;
    case VT_I4:
    case VT_INT:
        s = Scalar::Integer(v.lVal);
        return S_OK;
    case VT_UI4:
    case VT_UINT:
        s = Scalar::Integer(v.ulVal);
        return S_OK;
    case VT_I8:
        s = Scalar::Integer(v.llVal);
        return S_OK;
    case VT_UI8:
        s.kind = Kind::Unsigned;
        s.u = v.ullVal;
        return S_OK;
    case VT_R4:
        s.kind = Kind::Real;
        s.r = v.fltVal;
        s.single = true;
        return S_OK;
    case VT_R8:
    case VT_DATE:
        s.kind = Kind::Real;
        s.r = v.dblVal;
        s.date = v.vt == VT_DATE;
        return S_OK;
    case VT_CY:
        s = Scalar::Integer(v.cyVal.int64, Kind::Currency);
        return S_OK;
    case VT_BOOL:
        s.kind = Kind::Bool;
        s.b = v.boolVal != VARIANT_FALSE;
        return S_OK;
    case VT_BSTR:
        s.kind = Kind::Text;
        s.text = zelk::com::BStrToQString(v.bstrVal);
        return S_OK;
    case VT_DECIMAL:
        return DISP_E_BADVARTYPE;
    default: // VT_NULL, VT_ERROR, interfaces, arrays
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToSigned(const Scalar& s, LONGLONG min, LONGLONG max, LONGLONG& out) {
    using Kind = Scalar::Kind;
    switch (s.kind) {
    case Kind::Empty:
        out = 0;
        break;
    case Kind::Signed:
        out = s.i;
        break;
    case Kind::Unsigned:
        if (s.u > static_cast<ULONGLONG>(max))
            return DISP_E_OVERFLOW;
        out = static_cast<LONGLONG>(s.u);
        break;
    case Kind::Real: {
        const double rounded = RoundHalfEven(s.r);
        if (!(rounded >= -TwoPow63 && rounded < TwoPow63)) // NaN fails too
            return DISP_E_OVERFLOW;
        out = static_cast<LONGLONG>(rounded);
        break;
    }
    case Kind::Currency:
        out = CurrencyToInteger(s.i);
        break;
    case Kind::Bool:
        out = s.b ? -1 : 0;
        break;
    case Kind::Text: {
        Scalar number;
        const HRESULT hr = FromText(s.text, number);
        return FAILED(hr) ? hr : ToSigned(number, min, max, out);
    }
    }
    return out < min || out > max ? DISP_E_OVERFLOW : S_OK;
}

// True converts to all bits set, as automation does for unsigned targets.
HRESULT ToUnsigned(const Scalar& s, ULONGLONG max, ULONGLONG& out) {
    using Kind = Scalar::Kind;
    switch (s.kind) {
    case Kind::Empty:
        out = 0;
        break;
    case Kind::Signed:
        if (s.i < 0)
            return DISP_E_OVERFLOW;
        out = static_cast<ULONGLONG>(s.i);
        break;
    case Kind::Unsigned:
        out = s.u;
        break;
    case Kind::Real: {
        const double rounded = RoundHalfEven(s.r);
        if (!(rounded >= 0 && rounded < TwoPow64))
            return DISP_E_OVERFLOW;
        out = static_cast<ULONGLONG>(rounded);
        break;
    }
    case Kind::Currency: {
        const LONGLONG whole = CurrencyToInteger(s.i);
        if (whole < 0)
            return DISP_E_OVERFLOW;
        out = static_cast<ULONGLONG>(whole);
        break;
    }
    case Kind::Bool:
        out = s.b ? max : 0;
        break;
    case Kind::Text: {
        Scalar number;
        const HRESULT hr = FromText(s.text, number);
        return FAILED(hr) ? hr : ToUnsigned(number, max, out);
    }
    }
    return out > max ? DISP_E_OVERFLOW : S_OK;
}

HRESULT ToReal(const Scalar& s, double& out) {
    using Kind = Scalar::Kind;
    switch (s.kind) {
    case Kind::Empty:
        out = 0;
        return S_OK;
    case Kind::Signed:
        out = static_cast<double>(s.i);
        return S_OK;
    case Kind::Unsigned:
        out = static_cast<double>(s.u);
        return S_OK;
    case Kind::Real:
        out = s.r;
        return S_OK;
    case Kind::Currency:
        out = static_cast<double>(s.i) / CurrencyScale;
        return S_OK;
    case Kind::Bool:
        out = s.b ? -1.0 : 0.0;
        return S_OK;
    case Kind::Text: {
        Scalar number;
        const HRESULT hr = FromText(s.text, number);
        return FAILED(hr) ? hr : ToReal(number, out);
    }
    }
    return E_UNEXPECTED;
}

HRESULT ToCurrency(const Scalar& s, LONGLONG& out) {
    constexpr LONGLONG maxWhole = std::numeric_limits<LONGLONG>::max() / CurrencyScale;
    using Kind = Scalar::Kind;
    switch (s.kind) {
    case Kind::Currency:
        out = s.i;
        return S_OK;
    case Kind::Signed:
        if (s.i > maxWhole || s.i < -maxWhole)
            return DISP_E_OVERFLOW;
        out = s.i * CurrencyScale;
        return S_OK;
    case Kind::Unsigned:
        if (s.u > static_cast<ULONGLONG>(maxWhole))
            return DISP_E_OVERFLOW;
        out = static_cast<LONGLONG>(s.u) * CurrencyScale;
        return S_OK;
    case Kind::Text: {
        Scalar number;
        const HRESULT hr = FromText(s.text, number);
        return FAILED(hr) ? hr : ToCurrency(number, out);
    }
    default: {
        double real = 0;
        const HRESULT hr = ToReal(s, real);
        if (FAILED(hr))
            return hr;
        const double scaled = RoundHalfEven(real * CurrencyScale);
        if (!(scaled >= -TwoPow63 && scaled < TwoPow63))
            return DISP_E_OVERFLOW;
        out = static_cast<LONGLONG>(scaled);
        return S_OK;
    }
    }
}

HRESULT ToBool(const Scalar& s, bool& out) {
    using Kind = Scalar::Kind;
    switch (s.kind) {
    case Kind::Empty:
        out = false;
        return S_OK;
    case Kind::Signed:
    case Kind::Currency:
        out = s.i != 0;
        return S_OK;
    case Kind::Unsigned:
        out = s.u != 0;
        return S_OK;
    case Kind::Real:
        out = s.r != 0;
        return S_OK;
    case Kind::Bool:
        out = s.b;
        return S_OK;
    case Kind::Text: {
        if (TextToBoolWord(s.text, out))
            return S_OK;
        Scalar number;
        const HRESULT hr = FromText(s.text, number);
        return FAILED(hr) ? hr : ToBool(number, out);
    }
    }
    return E_UNEXPECTED;
}

HRESULT ToDate(const Scalar& s, DATE& out) {
    if (s.kind == Scalar::Kind::Text)
        return TextToDate(s.text, out);
    double real = 0;
    const HRESULT hr = ToReal(s, real);
    if (FAILED(hr))
        return hr;
    if (!(real >= MinDate && real < EndDate))
        return DISP_E_OVERFLOW;
    out = real;
    return S_OK;
}

HRESULT ToText(const Scalar& s, QString& out) {
    using Kind = Scalar::Kind;
    switch (s.kind) {
    case Kind::Empty:
        out.clear();
        return S_OK;
    case Kind::Signed:
        out = QString::number(s.i);
        return S_OK;
    case Kind::Unsigned:
        out = QString::number(s.u);
        return S_OK;
    case Kind::Real:
        if (s.date)
            return DateToText(s.r, out);
        out = s.single ? SingleToText(static_cast<float>(s.r)) : RealToText(s.r);
        return S_OK;
    case Kind::Currency:
        out = CurrencyToText(s.i);
        return S_OK;
    case Kind::Bool:
        // Deliberately the words, where Windows writes "-1" and "0" unless asked for words
        // (VARIANT_ALPHABOOL): an attribute value reads as "True" in a list, and reads back.
        out = s.b ? QStringLiteral("True") : QStringLiteral("False");
        return S_OK;
    case Kind::Text:
        out = s.text;
        return S_OK;
    }
    return E_UNEXPECTED;
}

} // namespace zelk::com::detail
