#include "ComTestObjects.h"
#include "enumerators.h"
#include "opccomn.h"

#include <gtest/gtest.h>

using namespace zelk::com;

TEST(Enumerator, NextHandsOutTaskMemoryAndAnswersShortBatchesWithSFalse) {
    ComLeakCheck leaks;
    {
        ComPtr<IEnumString> strings =
            MakeEnumString({QStringLiteral("alpha"), QString(), QStringLiteral("gamma")});
        LPOLESTR batch[4] = {};
        ULONG fetched = 99;
        ASSERT_EQ(strings->Next(2, batch, &fetched), S_OK);
        ASSERT_EQ(fetched, 2u);
        EXPECT_EQ(QString::fromUtf16(batch[0]), QStringLiteral("alpha"));
        EXPECT_EQ(batch[1][0], u'\0'); // an empty string is still a string
        ASSERT_EQ(strings->Next(4, batch + 2, &fetched), S_FALSE);
        ASSERT_EQ(fetched, 1u);
        EXPECT_EQ(QString::fromUtf16(batch[2]), QStringLiteral("gamma"));
        for (int i = 0; i < 3; ++i)
            CoTaskMemFree(batch[i]);

        // At the end: S_FALSE and nothing; a null count is allowed for one element only.
        LPOLESTR one = nullptr;
        EXPECT_EQ(strings->Next(1, &one, nullptr), S_FALSE);
        EXPECT_EQ(one, nullptr);
        EXPECT_EQ(strings->Next(2, batch, nullptr), E_INVALIDARG);
        EXPECT_EQ(strings->Next(0, batch, &fetched), S_OK);
        EXPECT_EQ(fetched, 0u);
    }
}

TEST(Enumerator, SkipResetAndCloneKeepIndependentPositions) {
    ComLeakCheck leaks;
    const GUID a = CLSID_TestDog, b = CLSID_TestOther, c = CLSID_TestThird;
    ComPtr<IEnumGUID> guids = MakeEnumGUID({a, b, c});
    GUID next{};
    EXPECT_EQ(guids->Skip(1), S_OK);
    ComPtr<IEnumGUID> clone;
    ASSERT_EQ(guids->Clone(clone.Put()), S_OK);
    ASSERT_EQ(clone->Next(1, &next, nullptr), S_OK);
    EXPECT_EQ(next, b); // the clone starts where the original stood
    ASSERT_EQ(clone->Next(1, &next, nullptr), S_OK);
    EXPECT_EQ(next, c);
    ASSERT_EQ(guids->Next(1, &next, nullptr), S_OK);
    EXPECT_EQ(next, b); // and moving it did not move the original

    EXPECT_EQ(guids->Skip(5), S_FALSE);
    EXPECT_EQ(guids->Next(1, &next, nullptr), S_FALSE);
    EXPECT_EQ(guids->Reset(), S_OK);
    ASSERT_EQ(guids->Next(1, &next, nullptr), S_OK);
    EXPECT_EQ(next, a);

    // The same machinery serves interfaces of the same shape.
    ComPtr<IOPCEnumGUID> opc = MakeEnumGUID<IOPCEnumGUID>({a});
    GUID all[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(opc->Next(2, all, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
}
