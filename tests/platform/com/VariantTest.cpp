#include "variant.h"

#include "ComValueTestSupport.h"
#include "bstr.h"

#include <string>

using zelk::com::BStrFromQString;
using zelk::com::BStrToQString;

namespace {

using VariantCopying = ComValueTest;
using VariantClearing = ComValueTest;

// {1: 7, 2: {"alpha", "be\0ta"}}: a vector of variants whose second element is an array.
VARIANT NestedArray() {
    SAFEARRAY* strings = SafeArrayCreateVector(VT_BSTR, 0, 2);
    LONG index = 0;
    BSTR alpha = BStrFromQString(QStringLiteral("alpha"));
    BSTR beta = SysAllocStringLen(u"be\0ta", 5);
    SafeArrayPutElement(strings, &index, alpha);
    index = 1;
    SafeArrayPutElement(strings, &index, beta);
    SysFreeString(alpha); // the array keeps copies
    SysFreeString(beta);

    SAFEARRAY* outer = SafeArrayCreateVector(VT_VARIANT, 1, 2);
    VARIANT element;
    VariantInit(&element);
    element.vt = VT_I4;
    element.lVal = 7;
    index = 1;
    SafeArrayPutElement(outer, &index, &element);
    element.vt = VT_ARRAY | VT_BSTR;
    element.parray = strings;
    index = 2;
    SafeArrayPutElement(outer, &index, &element);
    VariantClear(&element);

    VARIANT value;
    VariantInit(&value);
    value.vt = VT_ARRAY | VT_VARIANT;
    value.parray = outer;
    return value;
}

} // namespace

TEST_F(VariantCopying, CopiesNestedArraysDeeply) {
    VARIANT source = NestedArray();
    const long long liveSource = LiveSinceStart();
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(LiveSinceStart(), 2 * liveSource) << "every block duplicated";
    ASSERT_EQ(VariantClear(&source), S_OK);
    EXPECT_EQ(source.vt, VT_EMPTY);

    ASSERT_EQ(copy.vt, VT_ARRAY | VT_VARIANT);
    LONG index = 1;
    VARIANT element;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &index, &element), S_OK);
    EXPECT_EQ(element.vt, VT_I4);
    EXPECT_EQ(element.lVal, 7);
    index = 2;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &index, &element), S_OK);
    ASSERT_EQ(element.vt, VT_ARRAY | VT_BSTR);
    BSTR text = nullptr;
    index = 0;
    ASSERT_EQ(SafeArrayGetElement(element.parray, &index, &text), S_OK);
    EXPECT_EQ(BStrToQString(text), QStringLiteral("alpha"));
    SysFreeString(text);
    index = 1;
    ASSERT_EQ(SafeArrayGetElement(element.parray, &index, &text), S_OK);
    EXPECT_EQ(std::u16string(text, SysStringLen(text)), std::u16string(u"be\0ta", 5));
    SysFreeString(text);
    VariantClear(&element);

    EXPECT_EQ(LiveSinceStart(), liveSource);
    ASSERT_EQ(VariantClear(&copy), S_OK);
    EXPECT_EQ(LiveSinceStart(), 0);
}

TEST_F(VariantCopying, AddRefsInterfacesAndKeepsReferencesAsPointers) {
    StubUnknown object;
    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = &object;
    object.AddRef(); // the variant's reference
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &unknown), S_OK);
    EXPECT_EQ(object.Refs(), 3u);
    VariantClear(&copy);
    VariantClear(&unknown);
    EXPECT_EQ(object.Refs(), 1u);

    LONG number = 42;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_I4;
    byRef.plVal = &number;
    ASSERT_EQ(VariantCopy(&copy, &byRef), S_OK);
    EXPECT_EQ(copy.plVal, &number);
    ASSERT_EQ(VariantCopyInd(&copy, &byRef), S_OK);
    EXPECT_EQ(copy.vt, VT_I4);
    EXPECT_EQ(copy.lVal, 42);

    BSTR text = BStrFromQString(QStringLiteral("shared"));
    byRef.vt = VT_BYREF | VT_BSTR;
    byRef.pbstrVal = &text;
    ASSERT_EQ(VariantCopyInd(&copy, &byRef), S_OK);
    EXPECT_EQ(copy.vt, VT_BSTR);
    EXPECT_NE(copy.bstrVal, text) << "the referenced string is duplicated";
    EXPECT_EQ(BStrToQString(copy.bstrVal), QStringLiteral("shared"));
    EXPECT_EQ(VariantClear(&byRef), S_OK) << "a reference owns nothing";
    SysFreeString(text);

    // Copying onto itself changes nothing; a failed copy leaves the destination alone.
    ASSERT_EQ(VariantCopy(&copy, &copy), S_OK);
    EXPECT_EQ(BStrToQString(copy.bstrVal), QStringLiteral("shared"));
    VARIANT bad;
    VariantInit(&bad);
    bad.vt = VT_RECORD;
    const BSTR kept = copy.bstrVal;
    EXPECT_EQ(VariantCopy(&copy, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(copy.bstrVal, kept);
    VariantClear(&copy);
}

TEST_F(VariantClearing, RefusesUnknownTypesAndLockedArrays) {
    const VARTYPE unknownTypes[] = {
        0x7F,       VT_RECORD,          VT_VECTOR | VT_I4,   VT_ARRAY | VT_EMPTY,
        VT_VARIANT, VT_BYREF | VT_NULL, VT_RESERVED | VT_I4, VT_ARRAY | VT_DECIMAL,
        VT_LPWSTR};
    for (const VARTYPE vt : unknownTypes) {
        VARIANT value;
        VariantInit(&value);
        value.vt = vt;
        value.llVal = 0x1234;
        EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(value.vt, vt) << "left as it was";
        VARIANT copy;
        VariantInit(&copy);
        EXPECT_EQ(VariantCopy(&copy, &value), DISP_E_BADVARTYPE) << vt;
        EXPECT_EQ(copy.vt, VT_EMPTY);
    }

    VARIANT array;
    VariantInit(&array);
    array.vt = VT_ARRAY | VT_I4;
    array.parray = SafeArrayCreateVector(VT_I4, 0, 3);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array.parray, &data), S_OK);
    EXPECT_EQ(VariantClear(&array), DISP_E_ARRAYISLOCKED);
    EXPECT_EQ(array.vt, VT_ARRAY | VT_I4);
    SafeArrayUnaccessData(array.parray);
    EXPECT_EQ(VariantClear(&array), S_OK);

    // A null array is an empty value, not a fault.
    array.vt = VT_ARRAY | VT_BSTR;
    array.parray = nullptr;
    VARIANT copy;
    VariantInit(&copy);
    EXPECT_EQ(VariantCopy(&copy, &array), S_OK);
    EXPECT_EQ(copy.parray, nullptr);
    EXPECT_EQ(VariantClear(&array), S_OK);
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
    EXPECT_EQ(VariantCopy(nullptr, &copy), E_INVALIDARG);

    VARIANT decimal;
    VariantInit(&decimal);
    decimal.vt = VT_DECIMAL;
    EXPECT_EQ(VariantClear(&decimal), S_OK);
}
