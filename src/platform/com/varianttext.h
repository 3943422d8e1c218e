#pragma once

// Text forms of automation values, used by VariantChangeType(Ex) for VT_BSTR in both
// directions. Numbers always use "." as decimal point; dates follow the default QLocale.

#include "comtypes.h"

#include <QString>

namespace zelk::com::detail {

// The shortest text that reads back to the same value (see VariantChangeType).
QString RealToText(double value);
QString SingleToText(float value);
// A currency amount (scaled by 10,000) as its decimal value, trailing zeros dropped.
QString CurrencyToText(LONGLONG scaled);

// The earliest and the day after the latest DATE (0100-01-01 and 10000-01-01).
inline constexpr double MinDate = -657434.0;
inline constexpr double EndDate = 2958466.0;
// The short date with a four-digit year and the long time ("3/15/2023 6:00:00 PM"); the
// date alone at midnight, the time alone on day 0. DISP_E_OVERFLOW outside the DATE range.
HRESULT DateToText(DATE date, QString& text);
// Reads the texts DateToText writes, the locale's short date with two-digit years
// (1950..2049), 24-hour times ("0:00:00") and ISO 8601 dates and times; DISP_E_TYPEMISMATCH
// for anything else, such as a bare "12" or "24:00:00".
HRESULT TextToDate(const QString& text, DATE& date);

// A number read from text: an integer when the text is one and fits, otherwise a real.
struct ParsedNumber {
    enum class Kind { Signed, Unsigned, Real } kind = Kind::Signed;
    LONGLONG signedValue = 0;
    ULONGLONG unsignedValue = 0;
    double realValue = 0;
};
// DISP_E_TYPEMISMATCH when the text is no number ("." decimal point, optional exponent,
// blanks around it allowed); DISP_E_OVERFLOW beyond the range of a double.
HRESULT TextToNumber(const QString& text, ParsedNumber& number);
// "True"/"False" in any letter case; false when the text is neither.
bool TextToBoolWord(const QString& text, bool& value);

} // namespace zelk::com::detail
