#include "ZelkComn.h"
#include "safearray.h"

#include <gtest/gtest.h>

TEST(SharedTypes, ServerStateNamesDependOnTheTransport) {
    EXPECT_EQ(ServerStateToStr(4, coCOM), QStringLiteral("suspended"));
    EXPECT_EQ(ServerStateToStr(4, coUA), QStringLiteral("shutdown"));
    EXPECT_EQ(ServerStateToStr(0, coXML), QStringLiteral("none"));
    EXPECT_EQ(ServerStateToStr(0, coUA), QStringLiteral("running"));
    EXPECT_EQ(ServerStateToStr(6, coCOM), QStringLiteral("commFault"));
    EXPECT_EQ(ServerStateToStr(7, coCOM), QStringLiteral("unknown"));
    EXPECT_EQ(ServerStateToStr(-1, coUA), QStringLiteral("unknown"));
}

TEST(SharedTypes, LogMessageAssignsOnlyFromItsOwnClass) {
    TZelkLogMsg source;
    source.LogTime = 45000.5;
    source.LogSeverity = 3;
    source.LogType = 7;
    source.Msg = QStringLiteral("connected");
    source.Detail = QStringLiteral("detail");
    TZelkLogMsg copy;
    copy.Assign(&source);
    EXPECT_EQ(copy.LogTime, 45000.5);
    EXPECT_EQ(copy.LogSeverity, 3);
    EXPECT_EQ(copy.LogType, 7u);
    EXPECT_EQ(copy.Msg, QStringLiteral("connected"));
    EXPECT_EQ(copy.Detail, QStringLiteral("detail"));

    TPersistent other;
    EXPECT_THROW(copy.Assign(&other), EConvertError);
    EXPECT_EQ(copy.Msg, QStringLiteral("connected"));
}

namespace {

// Builds VARIANTs for the tests and clears them at the end.
struct TVariants {
    std::vector<VARIANT> Made;
    ~TVariants() {
        for (auto& v : Made)
            VariantClear(&v);
    }
    VARIANT& Int(LONG value) {
        VARIANT& v = Add();
        v.vt = VT_I4;
        v.lVal = value;
        return v;
    }
    // A one-dimensional array of variants, each element copied in.
    VARIANT& Array(std::initializer_list<const VARIANT*> elements) {
        SAFEARRAY* array =
            SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(elements.size()));
        LONG index = 0;
        for (const VARIANT* element : elements) {
            SafeArrayPutElement(array, &index, const_cast<VARIANT*>(element));
            ++index;
        }
        VARIANT& v = Add();
        v.vt = VT_ARRAY | VT_VARIANT;
        v.parray = array;
        return v;
    }
    VARIANT& Add() {
        Made.reserve(64); // references stay valid
        Made.emplace_back();
        VariantInit(&Made.back());
        return Made.back();
    }
};

} // namespace

TEST(SharedTypes, VariantTextsOfScalarsAndNestedArrays) {
    TVariants v;
    EXPECT_EQ(VariantToStr(v.Add()), QString()); // unassigned
    VARIANT& null = v.Add();
    null.vt = VT_NULL;
    EXPECT_EQ(VariantToStr(null), QString());
    EXPECT_EQ(VariantToStr(v.Int(-42)), QStringLiteral("-42"));

    VARIANT& inner = v.Array({&v.Int(3), &v.Int(4)});
    VARIANT& outer = v.Array({&v.Int(1), &v.Int(2), &inner, &v.Int(5)});
    EXPECT_EQ(VariantToStr(outer), QStringLiteral("1;2;<3;4;>5;"));
    EXPECT_EQ(VariantToStr(v.Array({})), QString());

    // A typed array (not of variants) reads the same way.
    VARIANT& doubles = v.Add();
    doubles.vt = VT_ARRAY | VT_R8;
    doubles.parray = SafeArrayCreateVector(VT_R8, 1, 2);
    double* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(doubles.parray, reinterpret_cast<void**>(&data)), S_OK);
    data[0] = 0.5;
    data[1] = -1.25;
    SafeArrayUnaccessData(doubles.parray);
    EXPECT_EQ(VariantToStr(doubles), QStringLiteral("0.5;-1.25;"));
}

TEST(SharedTypes, DateAttributesShowTheirCentury) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TVariants v;
    VARIANT& date = v.Add();
    date.vt = VT_DATE;
    date.date = 1.75; // 1899-12-31 18:00, which two-digit years showed as 12/31/99
    EXPECT_EQ(VariantToStr(date), QStringLiteral("12/31/1899 6:00:00 PM"));
    date.date = 54789.0; // 2050-01-01
    EXPECT_EQ(VariantToStr(date), QStringLiteral("1/1/2050"));
    QLocale::setDefault(saved);
}

TEST(SharedTypes, VariantTextOfATwoDimensionalArrayIsEmpty) {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    VARIANT matrix;
    VariantInit(&matrix);
    matrix.vt = VT_ARRAY | VT_I4;
    matrix.parray = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(matrix.parray, nullptr);
    EXPECT_EQ(VariantToStr(matrix), QString());
    VariantClear(&matrix);
}
