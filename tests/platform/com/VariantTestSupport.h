#pragma once

// Shared by the VariantChangeType suites: building variants and reading conversions.

#include "ComValueTestSupport.h"
#include "bstr.h"
#include "comholders.h"
#include "variant.h"

#include <QDate>
#include <QLocale>
#include <QTime>

namespace variant_test {

using zelk::com::ComVariant;
using VariantText = ComValueTest;
using VariantConversion = ComValueTest;

template <class Setter> ComVariant Make(VARTYPE vt, Setter set) {
    ComVariant value;
    value.Get()->vt = vt;
    set(*value.Get());
    return value;
}
inline ComVariant Real(double x) {
    return ComVariant(x);
}
inline ComVariant Text(const QString& text) {
    return ComVariant(text);
}

// The text VariantChangeType gives, or the failure code as text.
inline QString AsText(const ComVariant& value) {
    ComVariant text;
    const HRESULT hr = VariantChangeType(text.Get(), value.Get(), 0, VT_BSTR);
    if (FAILED(hr))
        return QStringLiteral("hr=%1").arg(static_cast<std::uint32_t>(hr), 8, 16, QLatin1Char('0'));
    EXPECT_NE(text.Value().bstrVal, nullptr);
    return zelk::com::BStrToQString(text.Value().bstrVal);
}

// Converts `value` to `vt`; the result's union is read by the caller.
inline HRESULT ChangeTo(const ComVariant& value, VARTYPE vt, ComVariant& result) {
    return VariantChangeType(result.Put(), value.Get(), 0, vt);
}

inline DATE DateOf(QDate day, QTime time) {
    return static_cast<double>(QDate(1899, 12, 30).daysTo(day)) +
           time.msecsSinceStartOfDay() / 86'400'000.0;
}

class DefaultLocale {
public:
    explicit DefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~DefaultLocale() { QLocale::setDefault(FSaved); }

private:
    QLocale FSaved;
};

} // namespace variant_test
