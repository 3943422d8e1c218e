#include "comholders.h"

#include "ComValueTestSupport.h"
#include "Exceptions.h"

#include <QStringList>
#include <stdexcept>
#include <string>

using namespace zelk::com;

namespace {

using ComHolders = ComValueTest;

// A server-style call returning a count and an array of task strings.
HRESULT ListNames(DWORD* pdwCount, LPWSTR** pppszNames) {
    *pdwCount = 2;
    *pppszNames = static_cast<LPWSTR*>(CoTaskMemAlloc(2 * sizeof(LPWSTR)));
    (*pppszNames)[0] = TaskStrFromQString(QStringLiteral("Area1"));
    (*pppszNames)[1] = TaskStrFromQString(QStringLiteral("Area2"));
    return S_OK;
}

} // namespace

TEST_F(ComHolders, BStrOwnsExactlyOneString) {
    {
        BStr a(QStringLiteral("abc"));
        BStr b = a;
        EXPECT_NE(a.Get(), b.Get()) << "copies are deep";
        EXPECT_EQ(LiveSinceStart(), 2);
        BStr c = std::move(b);
        EXPECT_FALSE(b);
        EXPECT_EQ(c.ToQString(), QStringLiteral("abc"));
        b = c;
        BStr& alias = b;
        b = alias; // self-assignment keeps the string
        EXPECT_EQ(b.Length(), 3u);

        BSTR* slot = c.Put();
        EXPECT_EQ(*slot, nullptr) << "the old string is freed before the out-parameter";
        *slot = SysAllocString(u"out");
        EXPECT_EQ(c.ToQString(), QStringLiteral("out"));
        BSTR taken = c.Detach();
        EXPECT_FALSE(c);
        c.Attach(taken);
        EXPECT_EQ(LiveSinceStart(), 3);
        BStr fromChars(u"xyz");
        EXPECT_EQ(fromChars.ToQString(), QStringLiteral("xyz"));
        EXPECT_FALSE(BStr(static_cast<const OLECHAR*>(nullptr)));
    }
    EXPECT_EQ(LiveSinceStart(), 0);

    // An exception between allocation and hand-over leaks nothing.
    EXPECT_THROW(
        {
            BStr pending(QStringLiteral("lost?"));
            throw std::runtime_error("failure after the allocation");
        },
        std::runtime_error);
}

TEST_F(ComHolders, TaskMemoryHoldersFreeBlocksAndElements) {
    {
        auto numbers = TaskMem<DWORD>::Alloc(4);
        EXPECT_EQ(numbers[3], 0u) << "allocated zeroed";
        numbers[3] = 7;
        DWORD** slot = numbers.Put();
        EXPECT_EQ(*slot, nullptr);
        *slot = static_cast<DWORD*>(CoTaskMemAlloc(sizeof(DWORD)));
        TaskMem<DWORD> moved = std::move(numbers);
        EXPECT_FALSE(numbers);
        CoTaskMemFree(moved.Detach());

        TaskArray<LPWSTR> names;
        ASSERT_EQ(ListNames(names.PutCount(), names.Put()), S_OK);
        ASSERT_EQ(names.Count(), 2u);
        EXPECT_EQ(std::u16string(names[1]), u"Area2");
        QStringList all;
        for (LPWSTR name : names)
            all << ToQString(name);
        EXPECT_EQ(all, QStringList({QStringLiteral("Area1"), QStringLiteral("Area2")}));
        EXPECT_EQ(LiveSinceStart(), 3);
        ASSERT_EQ(ListNames(names.PutCount(), names.Put()), S_OK); // the first result is freed
        EXPECT_EQ(LiveSinceStart(), 3);

        TaskArray<VARIANT> values(1);
        *values.Put() = static_cast<VARIANT*>(CoTaskMemAlloc(sizeof(VARIANT)));
        values[0].vt = VT_BSTR;
        values[0].bstrVal = BStrFromQString(QStringLiteral("value"));

        TaskArray<BSTR, BStrElementRelease> strings(1);
        *strings.Put() = static_cast<BSTR*>(CoTaskMemAlloc(sizeof(BSTR)));
        strings[0] = BStrFromQString(QStringLiteral("string"));

        TaskArray<LPWSTR> failed;
        EXPECT_EQ(failed.Count(), 0u);
        *failed.PutCount() = 5; // a failing call may set the count but no array
        EXPECT_EQ(failed.Count(), 0u);
    }
    EXPECT_EQ(LiveSinceStart(), 0);
}

TEST_F(ComHolders, ComVariantCopiesDeeplyAndClearsItself) {
    {
        ComVariant text(QStringLiteral("abc"));
        ComVariant copy = text;
        EXPECT_NE(copy.Value().bstrVal, text.Value().bstrVal);
        ComVariant moved = std::move(copy);
        EXPECT_EQ(copy.Type(), VT_EMPTY);
        EXPECT_EQ(BStrToQString(moved.Value().bstrVal), QStringLiteral("abc"));
        moved = ComVariant(LONG{5});
        EXPECT_EQ(moved.Type(), VT_I4);
        moved = text;
        EXPECT_EQ(moved.Type(), VT_BSTR);
        EXPECT_EQ(LiveSinceStart(), 2);

        VARIANT* slot = moved.Put();
        EXPECT_EQ(slot->vt, VT_EMPTY);
        EXPECT_EQ(LiveSinceStart(), 1);
        VARIANT raw;
        text.Detach(&raw);
        EXPECT_EQ(text.Type(), VT_EMPTY);
        moved.Attach(raw);
        EXPECT_EQ(raw.vt, VT_EMPTY);
        EXPECT_EQ(ComVariant(true).Value().boolVal, VARIANT_TRUE);
        EXPECT_EQ(ComVariant(2.5).Value().dblVal, 2.5);
    }
    EXPECT_EQ(LiveSinceStart(), 0);

    VARIANT bad;
    VariantInit(&bad);
    bad.vt = VT_RECORD;
    try {
        ComVariant copy(bad);
        FAIL() << "a bad type cannot be copied";
    } catch (const EOleSysError& e) {
        EXPECT_EQ(e.ErrorCode(), DISP_E_BADVARTYPE);
        EXPECT_EQ(e.Message(), QStringLiteral("Bad variable type"));
    }
}
