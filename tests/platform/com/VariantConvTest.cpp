#include "VariantTestSupport.h"

#include <cfloat>
#include <cmath>
#include <limits>

using namespace variant_test;

TEST_F(VariantText, WritesRealsInTheShortestRoundTripForm) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{0.1, "0.1"},
                 {-0.0, "0"},
                 {-2.5, "-2.5"},
                 {1e300, "1E+300"},
                 {1e20, "1E+20"},
                 {1e15, "1E+15"},
                 {123456789012345.0, "123456789012345"},
                 {100000.0, "100000"},
                 {0.1 + 0.2, "0.30000000000000004"},
                 {1e-5, "0.00001"},
                 {1e-6, "1E-06"},
                 {-1.5e-7, "-1.5E-07"},
                 {std::numeric_limits<double>::quiet_NaN(), "NaN"},
                 {-std::numeric_limits<double>::infinity(), "-INF"}};
    for (const auto& c : cases) {
        const QString text = AsText(Real(c.value));
        EXPECT_EQ(text, QLatin1String(c.text)) << c.text;
        if (std::isfinite(c.value)) {
            ComVariant back;
            ASSERT_EQ(ChangeTo(Text(text), VT_R8, back), S_OK) << c.text;
            EXPECT_EQ(back.Value().dblVal, c.value) << c.text << " reads back";
        }
    }
    EXPECT_EQ(AsText(Make(VT_R4, [](VARIANT& v) { v.fltVal = 0.1f; })), QStringLiteral("0.1"))
        << "a float gives its own shortest form, not that of the widened double";
}

TEST_F(VariantText, WritesIntegersCurrencyBooleansAndEmpty) {
    EXPECT_EQ(AsText(Make(VT_I1, [](VARIANT& v) { v.cVal = static_cast<CHAR>(-128); })),
              QStringLiteral("-128"));
    EXPECT_EQ(AsText(Make(VT_UI1, [](VARIANT& v) { v.bVal = 255; })), QStringLiteral("255"));
    EXPECT_EQ(
        AsText(Make(VT_I8, [](VARIANT& v) { v.llVal = std::numeric_limits<LONGLONG>::min(); })),
        QStringLiteral("-9223372036854775808"));
    EXPECT_EQ(AsText(Make(VT_UI8, [](VARIANT& v) { v.ullVal = ~ULONGLONG{0}; })),
              QStringLiteral("18446744073709551615"));
    EXPECT_EQ(AsText(Make(VT_UINT, [](VARIANT& v) { v.uintVal = 4000000000u; })),
              QStringLiteral("4000000000"));
    EXPECT_EQ(AsText(Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 12345; })),
              QStringLiteral("1.2345"));
    EXPECT_EQ(AsText(Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 10000; })), QStringLiteral("1"));
    EXPECT_EQ(AsText(Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = -5; })),
              QStringLiteral("-0.0005"));
    EXPECT_EQ(AsText(Make(
                  VT_CY, [](VARIANT& v) { v.cyVal.int64 = std::numeric_limits<LONGLONG>::min(); })),
              QStringLiteral("-922337203685477.5808"));
    EXPECT_EQ(AsText(ComVariant(true)), QStringLiteral("True"));
    EXPECT_EQ(AsText(ComVariant(false)), QStringLiteral("False"));
    EXPECT_EQ(AsText(Make(VT_BOOL, [](VARIANT& v) { v.boolVal = 1; })), QStringLiteral("True"));
    EXPECT_EQ(AsText(ComVariant()), QString());

    QString direct;
    EXPECT_EQ(zelk::com::VariantToQString(ComVariant(LONG{-7}).Value(), direct), S_OK);
    EXPECT_EQ(direct, QStringLiteral("-7"));
}

TEST_F(VariantConversion, ChecksRangesAndRoundsHalfToEven) {
    ComVariant out;
    EXPECT_EQ(ChangeTo(ComVariant(LONG{300}), VT_UI1, out), DISP_E_OVERFLOW);
    EXPECT_EQ(out.Type(), VT_EMPTY);
    ASSERT_EQ(ChangeTo(ComVariant(LONG{255}), VT_UI1, out), S_OK);
    EXPECT_EQ(out.Value().bVal, 255);
    EXPECT_EQ(ChangeTo(ComVariant(LONG{-1}), VT_UI2, out), DISP_E_OVERFLOW);
    EXPECT_EQ(ChangeTo(ComVariant(LONG{-129}), VT_I1, out), DISP_E_OVERFLOW);
    ASSERT_EQ(ChangeTo(ComVariant(LONG{-128}), VT_I1, out), S_OK);
    EXPECT_EQ(static_cast<std::int8_t>(out.Value().cVal), -128);

    const struct {
        double value;
        LONG rounded;
    } halves[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {0.5, 0}, {1.5, 2}, {2.4999, 2}, {-2.6, -3}};
    for (const auto& h : halves) {
        ASSERT_EQ(ChangeTo(Real(h.value), VT_I4, out), S_OK) << h.value;
        EXPECT_EQ(out.Value().lVal, h.rounded) << h.value;
    }
    EXPECT_EQ(ChangeTo(Real(2147483647.5), VT_I4, out), DISP_E_OVERFLOW) << "rounds to 2^31";
    EXPECT_EQ(ChangeTo(Real(9.2233720368547758e18), VT_I8, out), DISP_E_OVERFLOW);
    EXPECT_EQ(ChangeTo(Real(std::nan("")), VT_I4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(ChangeTo(Real(1e300), VT_R4, out), DISP_E_OVERFLOW);
    EXPECT_EQ(ChangeTo(Real(-0.4), VT_UI2, out), S_OK) << "rounds to zero, not below";
    EXPECT_EQ(ChangeTo(Make(VT_UI8, [](VARIANT& v) { v.ullVal = ~ULONGLONG{0}; }), VT_I4, out),
              DISP_E_OVERFLOW);

    ASSERT_EQ(ChangeTo(Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = 25000; }), VT_I4, out), S_OK);
    EXPECT_EQ(out.Value().lVal, 2);
    ASSERT_EQ(ChangeTo(Make(VT_CY, [](VARIANT& v) { v.cyVal.int64 = -35000; }), VT_I2, out), S_OK);
    EXPECT_EQ(out.Value().iVal, -4);
    ASSERT_EQ(ChangeTo(Real(1.23456), VT_CY, out), S_OK);
    EXPECT_EQ(out.Value().cyVal.int64, 12346);
    EXPECT_EQ(ChangeTo(Real(1e18), VT_CY, out), DISP_E_OVERFLOW);

    ASSERT_EQ(ChangeTo(ComVariant(true), VT_I2, out), S_OK);
    EXPECT_EQ(out.Value().iVal, -1);
    ASSERT_EQ(ChangeTo(ComVariant(true), VT_UI1, out), S_OK);
    EXPECT_EQ(out.Value().bVal, 255) << "True is all bits set";
    ASSERT_EQ(ChangeTo(ComVariant(LONG{2}), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.Value().boolVal, VARIANT_TRUE);
    ASSERT_EQ(ChangeTo(ComVariant(), VT_I4, out), S_OK);
    EXPECT_EQ(out.Value().lVal, 0);

    // In place: the string is replaced by the number and freed.
    ComVariant value = Text(QStringLiteral("42"));
    ASSERT_EQ(VariantChangeType(value.Get(), value.Get(), 0, VT_I4), S_OK);
    EXPECT_EQ(value.Type(), VT_I4);
    EXPECT_EQ(value.Value().lVal, 42);
    ASSERT_EQ(VariantChangeTypeEx(value.Get(), value.Get(), LOCALE_USER_DEFAULT, 0, VT_BSTR), S_OK);
    EXPECT_EQ(zelk::com::BStrToQString(value.Value().bstrVal), QStringLiteral("42"));
}

TEST_F(VariantConversion, ReadsNumbersFromTextWithADotDecimalPoint) {
    ComVariant out;
    const auto expectLong = [&](const char* text, LONG expected) {
        ASSERT_EQ(ChangeTo(Text(QLatin1String(text)), VT_I4, out), S_OK) << text;
        EXPECT_EQ(out.Value().lVal, expected) << text;
    };
    expectLong(" 42 ", 42);
    expectLong("+7", 7);
    expectLong("2.5", 2);
    expectLong("1e3", 1000);
    expectLong("-0", 0);
    ASSERT_EQ(ChangeTo(Text(QStringLiteral("-9223372036854775808")), VT_I8, out), S_OK);
    EXPECT_EQ(out.Value().llVal, std::numeric_limits<LONGLONG>::min());
    ASSERT_EQ(ChangeTo(Text(QStringLiteral("18446744073709551615")), VT_UI8, out), S_OK);
    EXPECT_EQ(out.Value().ullVal, ~ULONGLONG{0}) << "read exactly, not through a double";
    ASSERT_EQ(ChangeTo(Text(QStringLiteral("1.5")), VT_CY, out), S_OK);
    EXPECT_EQ(out.Value().cyVal.int64, 15000);
    ASSERT_EQ(ChangeTo(Text(QStringLiteral("true")), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.Value().boolVal, VARIANT_TRUE);
    ASSERT_EQ(ChangeTo(Text(QStringLiteral("0")), VT_BOOL, out), S_OK);
    EXPECT_EQ(out.Value().boolVal, VARIANT_FALSE);

    for (const char* overflowing : {"18446744073709551616", "1e400", "3000000000"})
        EXPECT_EQ(ChangeTo(Text(QLatin1String(overflowing)), VT_I4, out), DISP_E_OVERFLOW)
            << overflowing;
    for (const char* garbage : {"1,5", "abc", "", "  ", "--7", "1e", "0x10", "1 2", "inf", "True"})
        EXPECT_EQ(ChangeTo(Text(QLatin1String(garbage)), VT_R8, out), DISP_E_TYPEMISMATCH)
            << garbage;
    EXPECT_EQ(ChangeTo(Text(QStringLiteral("yes")), VT_BOOL, out), DISP_E_TYPEMISMATCH);
    ComVariant embedded;
    embedded.Get()->vt = VT_BSTR;
    embedded.Get()->bstrVal = SysAllocStringLen(u"1\0"
                                                u"2",
                                                3);
    EXPECT_EQ(ChangeTo(embedded, VT_I4, out), DISP_E_TYPEMISMATCH) << "a zero is not a digit";
}

TEST_F(VariantConversion, RefusesWhatCannotBeConvertedAndLeavesTheTargetAlone) {
    ComVariant target = Text(QStringLiteral("unchanged"));
    const BSTR kept = target.Value().bstrVal;
    const auto refuse = [&](const ComVariant& source, VARTYPE vt, HRESULT expected) {
        EXPECT_EQ(VariantChangeType(target.Get(), source.Get(), 0, vt), expected) << vt;
        EXPECT_EQ(target.Value().bstrVal, kept);
    };
    ComVariant null;
    null.Get()->vt = VT_NULL;
    refuse(null, VT_BSTR, DISP_E_TYPEMISMATCH);
    refuse(null, VT_I4, DISP_E_TYPEMISMATCH);
    ComVariant array;
    array.Get()->vt = VT_ARRAY | VT_I4;
    array.Get()->parray = SafeArrayCreateVector(VT_I4, 0, 2);
    refuse(array, VT_BSTR, DISP_E_TYPEMISMATCH);
    refuse(array, VT_ARRAY | VT_BSTR, DISP_E_TYPEMISMATCH);
    refuse(ComVariant(LONG{1}), VT_ARRAY | VT_I4, DISP_E_TYPEMISMATCH);
    StubUnknown object;
    object.AddRef();
    refuse(Make(VT_UNKNOWN, [&](VARIANT& v) { v.punkVal = &object; }), VT_I4, DISP_E_TYPEMISMATCH);
    refuse(Make(VT_ERROR, [](VARIANT& v) { v.scode = E_FAIL; }), VT_I4, DISP_E_TYPEMISMATCH);
    refuse(ComVariant(LONG{1}), VT_ERROR, DISP_E_TYPEMISMATCH);

    refuse(Make(0x7F, [](VARIANT&) {}), VT_BSTR, DISP_E_BADVARTYPE);
    refuse(Make(VT_DECIMAL, [](VARIANT&) {}), VT_BSTR, DISP_E_BADVARTYPE);
    refuse(ComVariant(LONG{1}), VT_DECIMAL, DISP_E_BADVARTYPE);
    refuse(ComVariant(LONG{1}), 0xFFFF, DISP_E_BADVARTYPE);
    EXPECT_EQ(object.Refs(), 1u);

    EXPECT_EQ(VariantChangeType(nullptr, target.Get(), 0, VT_I4), E_INVALIDARG);
    EXPECT_EQ(VariantChangeType(target.Get(), nullptr, 0, VT_I4), E_INVALIDARG);

    // The same type is a copy; a reference is read through.
    ComVariant copy;
    ASSERT_EQ(ChangeTo(array, VT_ARRAY | VT_I4, copy), S_OK);
    EXPECT_NE(copy.Value().parray, array.Value().parray);
    double number = 2.25;
    ComVariant byRef = Make(VT_BYREF | VT_R8, [&](VARIANT& v) { v.pdblVal = &number; });
    EXPECT_EQ(AsText(byRef), QStringLiteral("2.25"));
    ComVariant empty;
    EXPECT_EQ(ChangeTo(empty, VT_NULL, copy), S_OK);
    EXPECT_EQ(copy.Type(), VT_NULL);
}

TEST_F(VariantConversion, KeepsTheBitsBetweenSignedAndUnsignedOfOneSize) {
    ComVariant out;
    const auto convert = [&](VARTYPE from, ULONGLONG bits, VARTYPE to) {
        ComVariant source = Make(from, [&](VARIANT& v) { v.ullVal = bits; });
        out.Clear();
        const HRESULT hr = ChangeTo(source, to, out);
        EXPECT_TRUE(hr != S_OK || out.Type() == to);
        return hr;
    };
    ASSERT_EQ(convert(VT_UI4, 0xFFFFFFFFu, VT_I4), S_OK);
    EXPECT_EQ(out.Value().lVal, -1);
    ASSERT_EQ(convert(VT_I1, 0x80, VT_UI1), S_OK);
    EXPECT_EQ(out.Value().bVal, 128);
    ASSERT_EQ(convert(VT_UI1, 200, VT_I1), S_OK);
    EXPECT_EQ(static_cast<std::int8_t>(out.Value().cVal), -56);
    ASSERT_EQ(convert(VT_I2, 0xFFFE, VT_UI2), S_OK);
    EXPECT_EQ(out.Value().uiVal, 65534);
    ASSERT_EQ(convert(VT_INT, 0xFFFFFFFFu, VT_UI4), S_OK);
    EXPECT_EQ(out.Value().ulVal, 0xFFFFFFFFu);
    ASSERT_EQ(convert(VT_UI8, ~ULONGLONG{0}, VT_I8), S_OK);
    EXPECT_EQ(out.Value().llVal, -1);
    // Between sizes the range is still checked.
    EXPECT_EQ(convert(VT_UI4, 0xFFFFFFFFu, VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(convert(VT_I1, 0xFF, VT_UI2), DISP_E_OVERFLOW);
}

TEST_F(VariantConversion, AnySingleValueBecomesEmptyOrNull) {
    StubUnknown object;
    ComVariant null;
    null.Get()->vt = VT_NULL;
    const ComVariant sources[] = {ComVariant(LONG{7}),
                                  Text(QStringLiteral("text")),
                                  Real(2.5),
                                  ComVariant(true),
                                  null,
                                  Make(VT_UNKNOWN, [&](VARIANT& v) {
                                      v.punkVal = &object;
                                      object.AddRef();
                                  })};
    for (const ComVariant& source : sources) {
        for (const VARTYPE vt : {VARTYPE(VT_EMPTY), VARTYPE(VT_NULL)}) {
            ComVariant out = Text(QStringLiteral("replaced"));
            EXPECT_EQ(ChangeTo(source, vt, out), S_OK) << source.Type() << " to " << vt;
            EXPECT_EQ(out.Type(), vt);
        }
    }
    EXPECT_EQ(object.Refs(), 2u) << "the source keeps its reference, the result takes none";

    ComVariant array;
    array.Get()->vt = VT_ARRAY | VT_I4;
    array.Get()->parray = SafeArrayCreateVector(VT_I4, 0, 1);
    ComVariant out;
    EXPECT_EQ(ChangeTo(array, VT_EMPTY, out), DISP_E_TYPEMISMATCH) << "an array is no single value";
    // No value converts to a VARIANT, a record or a reference.
    for (const VARTYPE vt : {VARTYPE(VT_VARIANT), VARTYPE(VT_RECORD), VARTYPE(VT_BYREF | VT_I4),
                             VARTYPE(VT_BYREF | VT_BSTR), VARTYPE(VT_BYREF | VT_VARIANT)})
        EXPECT_EQ(ChangeTo(ComVariant(LONG{1}), vt, out), DISP_E_TYPEMISMATCH) << vt;
    EXPECT_EQ(ChangeTo(ComVariant(LONG{1}), VARTYPE(VT_BYREF | 0x7F), out), DISP_E_BADVARTYPE);
}

TEST_F(VariantConversion, TheLargestFloatReadsBackFromItsText) {
    for (const float value : {FLT_MAX, -FLT_MAX}) {
        const QString text = AsText(Make(VT_R4, [&](VARIANT& v) { v.fltVal = value; }));
        EXPECT_EQ(text.mid(text.startsWith(u'-') ? 1 : 0), QStringLiteral("3.4028235E+38"));
        ComVariant back;
        ASSERT_EQ(ChangeTo(Text(text), VT_R4, back), S_OK) << text.toStdString();
        EXPECT_EQ(back.Value().fltVal, value);
    }
    ComVariant out;
    EXPECT_EQ(ChangeTo(Text(QStringLiteral("3.4028236E+38")), VT_R4, out), DISP_E_OVERFLOW)
        << "rounds to infinity";
    EXPECT_EQ(ChangeTo(Real(1e39), VT_R4, out), DISP_E_OVERFLOW);
}
