#pragma once

// The scalar values of VariantChangeType(Ex): a variant read once into a Scalar, then
// written out as each target type with its range checks. Reals round to integers half to
// even; True converts to -1, or to all bits set for unsigned targets.

#include "variant.h"

#include <QString>

namespace zelk::com::detail {

// A scalar source value, read once from a variant.
struct Scalar {
    enum class Kind { Empty, Signed, Unsigned, Real, Currency, Bool, Text } kind = Kind::Empty;
    LONGLONG i = 0; // Signed; Currency scaled by 10,000
    ULONGLONG u = 0;
    double r = 0;
    bool single = false; // a VT_R4: its text is the float's shortest form
    bool date = false;   // a VT_DATE
    bool b = false;
    QString text;

    static Scalar Integer(LONGLONG value, Kind kind = Kind::Signed) {
        Scalar s;
        s.kind = kind;
        s.i = value;
        return s;
    }
};

// DISP_E_TYPEMISMATCH for VT_NULL, VT_ERROR, interfaces and arrays; DISP_E_BADVARTYPE for
// VT_DECIMAL. `v` is not VT_BYREF.
HRESULT Read(const VARIANT& v, Scalar& s);

// DISP_E_OVERFLOW outside [min, max]; texts are read as numbers first.
HRESULT ToSigned(const Scalar& s, LONGLONG min, LONGLONG max, LONGLONG& out);
HRESULT ToUnsigned(const Scalar& s, ULONGLONG max, ULONGLONG& out);
HRESULT ToReal(const Scalar& s, double& out);
HRESULT ToCurrency(const Scalar& s, LONGLONG& out);
HRESULT ToBool(const Scalar& s, bool& out);
HRESULT ToDate(const Scalar& s, DATE& out);
HRESULT ToText(const Scalar& s, QString& out);

} // namespace zelk::com::detail
