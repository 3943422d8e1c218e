#include "ComValueTestSupport.h"
#include "bstr.h"
#include "variant.h"

using zelk::com::BStrFromQString;
using zelk::com::BStrToQString;

namespace {

using SafeArrays = ComValueTest;

QString StringAt(SAFEARRAY* array, LONG index) {
    BSTR text = nullptr;
    if (FAILED(SafeArrayGetElement(array, &index, &text)))
        return QStringLiteral("<failed>");
    const QString result = text ? BStrToQString(text) : QStringLiteral("<null>");
    SysFreeString(text);
    return result;
}

void PutString(SAFEARRAY* array, LONG index, const QString& value) {
    BSTR text = BStrFromQString(value);
    SafeArrayPutElement(array, &index, text);
    SysFreeString(text);
}

} // namespace

TEST_F(SafeArrays, KeepTwoDimensionalBoundsInTheCallersOrder) {
    const SAFEARRAYBOUND bounds[] = {{3, 0}, {5, 1}}; // rows 0..2, columns 1..5
    SAFEARRAY* array = SafeArrayCreate(VT_I4, 2, bounds);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(SafeArrayGetDim(array), 2u);
    EXPECT_EQ(SafeArrayGetElemsize(array), 4u);
    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetLBound(array, 1, &bound), S_OK);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(SafeArrayGetUBound(array, 1, &bound), S_OK);
    EXPECT_EQ(bound, 2);
    EXPECT_EQ(SafeArrayGetLBound(array, 2, &bound), S_OK);
    EXPECT_EQ(bound, 1);
    EXPECT_EQ(SafeArrayGetUBound(array, 2, &bound), S_OK);
    EXPECT_EQ(bound, 5);
    EXPECT_EQ(array->rgsabound[0].cElements, 5u) << "stored last dimension first, as on Windows";
    EXPECT_EQ(SafeArrayGetLBound(array, 0, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(array, 3, &bound), DISP_E_BADINDEX);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(SafeArrayGetVartype(array, &vt), S_OK);
    EXPECT_EQ(vt, VT_I4);

    // The first index varies fastest in memory.
    const LONG first[] = {0, 1}, nextRow[] = {1, 1}, nextColumn[] = {0, 2};
    void *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_EQ(SafeArrayPtrOfIndex(array, first, &a), S_OK);
    ASSERT_EQ(SafeArrayPtrOfIndex(array, nextRow, &b), S_OK);
    ASSERT_EQ(SafeArrayPtrOfIndex(array, nextColumn, &c), S_OK);
    EXPECT_EQ(static_cast<char*>(b) - static_cast<char*>(a), 4);
    EXPECT_EQ(static_cast<char*>(c) - static_cast<char*>(a), 12);

    const LONG corner[] = {2, 5};
    LONG value = 99;
    EXPECT_EQ(SafeArrayPutElement(array, corner, &value), S_OK);
    value = 0;
    EXPECT_EQ(SafeArrayGetElement(array, corner, &value), S_OK);
    EXPECT_EQ(value, 99);
    const LONG outside[][2] = {{3, 5}, {2, 0}, {-1, 1}, {0, 6}};
    for (const auto& index : outside) {
        EXPECT_EQ(SafeArrayGetElement(array, index, &value), DISP_E_BADINDEX);
        EXPECT_EQ(SafeArrayPutElement(array, index, &value), DISP_E_BADINDEX);
    }
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST_F(SafeArrays, OwnTheirStringsVariantsAndReferences) {
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, -1, 2);
    BSTR original = BStrFromQString(QStringLiteral("one"));
    LONG index = -1;
    ASSERT_EQ(SafeArrayPutElement(strings, &index, original), S_OK);
    original[0] = u'O';
    EXPECT_EQ(StringAt(strings, -1), QStringLiteral("one")) << "the array holds its own copy";
    SysFreeString(original);
    EXPECT_EQ(StringAt(strings, 0), QStringLiteral("<null>"));
    PutString(strings, 0, QStringLiteral("two"));
    PutString(strings, 0, QStringLiteral("three")); // the replaced string is freed
    EXPECT_EQ(StringAt(strings, 0), QStringLiteral("three"));
    EXPECT_EQ(LiveSinceStart(), 4) << "descriptor, data and two strings";

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(strings, &copy), S_OK);
    EXPECT_EQ(SafeArrayDestroy(strings), S_OK);
    EXPECT_EQ(StringAt(copy, -1), QStringLiteral("one"));
    EXPECT_EQ(SafeArrayDestroy(copy), S_OK);

    StubUnknown object;
    SAFEARRAY* objects = SafeArrayCreateVector(VT_UNKNOWN, 0, 2);
    index = 1;
    ASSERT_EQ(SafeArrayPutElement(objects, &index, static_cast<IUnknown*>(&object)), S_OK);
    EXPECT_EQ(object.Refs(), 2u);
    IUnknown* out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(objects, &index, &out), S_OK);
    EXPECT_EQ(object.Refs(), 3u);
    out->Release();
    ASSERT_EQ(SafeArrayCopy(objects, &copy), S_OK);
    EXPECT_EQ(object.Refs(), 3u);
    SafeArrayDestroy(copy);
    SafeArrayDestroy(objects);
    EXPECT_EQ(object.Refs(), 1u);

    SAFEARRAY* variants = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = BStrFromQString(QStringLiteral("inside"));
    index = 0;
    ASSERT_EQ(SafeArrayPutElement(variants, &index, &text), S_OK);
    VariantClear(&text);
    VARIANT back;
    ASSERT_EQ(SafeArrayGetElement(variants, &index, &back), S_OK);
    EXPECT_EQ(BStrToQString(back.bstrVal), QStringLiteral("inside"));
    VariantClear(&back);
    SafeArrayDestroy(variants);
}

TEST_F(SafeArrays, LockingBlocksDestroyAndRedim) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, 2);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    EXPECT_EQ(data, array->pvData);
    ASSERT_EQ(SafeArrayLock(array), S_OK);
    EXPECT_EQ(array->cLocks, 2u);
    EXPECT_EQ(SafeArrayDestroy(array), DISP_E_ARRAYISLOCKED);
    const SAFEARRAYBOUND bigger{4, 0};
    EXPECT_EQ(SafeArrayRedim(array, &bigger), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(SafeArrayUnlock(array), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayUnlock(array), E_UNEXPECTED) << "unlocking more than locked";
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);
}

TEST_F(SafeArrays, RedimKeepsElementsAndReleasesTheCutOnes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, 3);
    for (LONG i = 0; i < 3; ++i)
        PutString(array, i, QString::number(i));
    const SAFEARRAYBOUND one{1, 0};
    ASSERT_EQ(SafeArrayRedim(array, &one), S_OK);
    EXPECT_EQ(LiveSinceStart(), 3) << "the two cut strings are freed";
    const SAFEARRAYBOUND four{4, 10};
    ASSERT_EQ(SafeArrayRedim(array, &four), S_OK);
    EXPECT_EQ(StringAt(array, 10), QStringLiteral("0"));
    EXPECT_EQ(StringAt(array, 13), QStringLiteral("<null>"));
    SafeArrayDestroy(array);

    // In two dimensions the last one changes and the rows of the kept columns stay.
    const SAFEARRAYBOUND bounds[] = {{2, 0}, {2, 0}};
    SAFEARRAY* grid = SafeArrayCreate(VT_I2, 2, bounds);
    const LONG cell[] = {1, 1};
    SHORT value = 5;
    SafeArrayPutElement(grid, cell, &value);
    const SAFEARRAYBOUND three{3, 0};
    ASSERT_EQ(SafeArrayRedim(grid, &three), S_OK);
    LONG bound = 0;
    SafeArrayGetUBound(grid, 2, &bound);
    EXPECT_EQ(bound, 2);
    value = 0;
    SafeArrayGetElement(grid, cell, &value);
    EXPECT_EQ(value, 5);
    SafeArrayDestroy(grid);
}

TEST_F(SafeArrays, RejectUnsupportedTypesAndBadArguments) {
    const SAFEARRAYBOUND bound{2, 0};
    const VARTYPE unsupported[] = {VT_EMPTY,  VT_NULL, VT_DECIMAL,       VT_RECORD,
                                   VT_LPWSTR, 0x7F,    VT_ARRAY | VT_I4, VT_BYREF | VT_I4};
    for (const VARTYPE vt : unsupported)
        EXPECT_EQ(SafeArrayCreate(vt, 1, &bound), nullptr) << vt;
    EXPECT_EQ(SafeArrayCreate(VT_I4, 0, &bound), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_I4, 1, nullptr), nullptr);
    const SAFEARRAYBOUND huge[] = {{0x10000, 0}, {0x10000, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_VARIANT, 2, huge), nullptr) << "size beyond the limit";

    LONG index = 0, value = 0;
    EXPECT_EQ(SafeArrayGetDim(nullptr), 0u);
    EXPECT_EQ(SafeArrayGetElemsize(nullptr), 0u);
    EXPECT_EQ(SafeArrayGetLBound(nullptr, 1, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayGetElement(nullptr, &index, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayPutElement(nullptr, &index, &value), E_INVALIDARG);
    EXPECT_EQ(SafeArrayLock(nullptr), E_INVALIDARG);
    EXPECT_EQ(SafeArrayDestroy(nullptr), S_OK);
    SAFEARRAY* copy = reinterpret_cast<SAFEARRAY*>(&value);
    EXPECT_EQ(SafeArrayCopy(nullptr, &copy), S_OK);
    EXPECT_EQ(copy, nullptr);

    SAFEARRAY* empty = SafeArrayCreateVector(VT_I4, 5, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SafeArrayGetUBound(empty, 1, &value), S_OK);
    EXPECT_EQ(value, 4) << "an empty array ends one below its lower bound";
    EXPECT_EQ(SafeArrayGetElement(empty, &index, &value), DISP_E_BADINDEX);
    ASSERT_EQ(SafeArrayCopy(empty, &copy), S_OK);
    SafeArrayDestroy(copy);
    SafeArrayDestroy(empty);

    // A descriptor the caller built on the stack is read and released, never freed.
    LONG numbers[] = {1, 2, 3};
    SAFEARRAY onStack{1, FADF_AUTO, sizeof(LONG), 0, numbers, {{3, 0}}};
    EXPECT_EQ(SafeArrayGetVartype(&onStack, nullptr), E_INVALIDARG);
    ASSERT_EQ(SafeArrayCopy(&onStack, &copy), S_OK);
    index = 2;
    EXPECT_EQ(SafeArrayGetElement(copy, &index, &value), S_OK);
    EXPECT_EQ(value, 3);
    SafeArrayDestroy(copy);
    EXPECT_EQ(SafeArrayDestroy(&onStack), S_OK);
}

TEST_F(SafeArrays, SayWhatTheyHoldAsWindowsDoes) {
    const struct {
        VARTYPE vt;
        USHORT features;
    } cases[] = {{VT_UNKNOWN, FADF_HAVEIID | FADF_UNKNOWN},
                 {VT_DISPATCH, FADF_HAVEIID | FADF_DISPATCH},
                 {VT_BSTR, FADF_HAVEVARTYPE | FADF_BSTR},
                 {VT_VARIANT, FADF_HAVEVARTYPE | FADF_VARIANT},
                 {VT_I4, FADF_HAVEVARTYPE}};
    for (const auto& c : cases) {
        SAFEARRAY* array = SafeArrayCreateVector(c.vt, 0, 1);
        ASSERT_NE(array, nullptr) << c.vt;
        SAFEARRAY* copy = nullptr;
        ASSERT_EQ(SafeArrayCopy(array, &copy), S_OK);
        for (SAFEARRAY* a : {array, copy}) {
            EXPECT_EQ(a->fFeatures, c.features) << c.vt;
            VARTYPE vt = VT_EMPTY;
            EXPECT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
            EXPECT_EQ(vt, c.vt);
        }
        SafeArrayDestroy(copy);
        SafeArrayDestroy(array);
    }
}
