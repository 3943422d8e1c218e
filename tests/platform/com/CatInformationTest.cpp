#include "ComTestObjects.h"
#include "activation.h"
#include "catinfo.h"
#include "taskmem.h"

#include <gtest/gtest.h>

using namespace zelk::com;

namespace {

constexpr CATID CATID_Red = ZelkGuid("6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D2001");
constexpr CATID CATID_Green = ZelkGuid("6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D2002");
constexpr CATID CATID_Blue = ZelkGuid("6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D2003");
constexpr ULONG Any = static_cast<ULONG>(-1);

ComPtr<ICatInformation> CategoriesManager() {
    ComPtr<ICatInformation> manager;
    CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                     IID_PPV_ARGS(manager.Put()));
    return manager;
}

std::vector<GUID> ReadAll(IEnumGUID* classes) {
    std::vector<GUID> result;
    GUID guid{};
    while (classes->Next(1, &guid, nullptr) == S_OK)
        result.push_back(guid);
    return result;
}

ClassRegistration ClassIn(REFCLSID clsid, const char* name, std::vector<CATID> categories) {
    auto c = TestDogClass(clsid, QString::fromLatin1(name));
    c.ImplementedCategories = std::move(categories);
    return c;
}

} // namespace

TEST(ComponentCategories, ListsEachClassOfAnyAskedCategoryOnce) {
    ComLeakCheck leaks;
    ScopedClassRegistration red(ClassIn(CLSID_TestDog, "Zelk.Red", {CATID_Red}));
    ScopedClassRegistration both(
        ClassIn(CLSID_TestOther, "Zelk.RedGreen", {CATID_Red, CATID_Green}));
    ScopedClassRegistration blue(ClassIn(CLSID_TestThird, "Zelk.Blue", {CATID_Blue}));
    ComPtr<ICatInformation> manager = CategoriesManager();
    ASSERT_TRUE(manager);

    const CATID redGreen[] = {CATID_Red, CATID_Green};
    for (ULONG required : {ULONG{0}, Any}) { // no requirement either way
        ComPtr<IEnumGUID> classes;
        ASSERT_EQ(manager->EnumClassesOfCategories(2, redGreen, required, nullptr, classes.Put()),
                  S_OK);
        EXPECT_EQ(ReadAll(classes.Get()), (std::vector<GUID>{CLSID_TestDog, CLSID_TestOther}));
    }
    ComPtr<IEnumGUID> classes;
    ASSERT_EQ(manager->EnumClassesOfCategories(1, &CATID_Blue, 0, nullptr, classes.Put()), S_OK);
    EXPECT_EQ(ReadAll(classes.Get()), std::vector<GUID>{CLSID_TestThird});
    ASSERT_EQ(manager->EnumClassesOfCategories(0, nullptr, 0, nullptr, classes.Put()), S_OK);
    EXPECT_TRUE(ReadAll(classes.Get()).empty());
    ASSERT_EQ(manager->EnumClassesOfCategories(Any, nullptr, Any, nullptr, classes.Put()), S_OK);
    EXPECT_GE(ReadAll(classes.Get()).size(), 3u);
    EXPECT_EQ(manager->EnumClassesOfCategories(2, nullptr, 0, nullptr, classes.Put()),
              E_INVALIDARG);

    EXPECT_EQ(manager->IsClassOfCategories(CLSID_TestOther, 1, &CATID_Green, Any, nullptr), S_OK);
    EXPECT_EQ(manager->IsClassOfCategories(CLSID_TestDog, 1, &CATID_Green, Any, nullptr), S_FALSE);
    {
        // A class that requires a category qualifies only where it is offered.
        auto needy = ClassIn(CLSID_TestThird, "Zelk.Needy", {CATID_Blue});
        needy.RequiredCategories = {CATID_Green};
        ScopedClassRegistration replaced(needy);
        EXPECT_EQ(manager->IsClassOfCategories(CLSID_TestThird, 1, &CATID_Blue, 0, nullptr),
                  S_FALSE);
        EXPECT_EQ(manager->IsClassOfCategories(CLSID_TestThird, 1, &CATID_Blue, 1, &CATID_Green),
                  S_OK);
    }
    ASSERT_EQ(manager->EnumImplCategoriesOfClass(CLSID_TestOther, classes.Put()), S_OK);
    EXPECT_EQ(ReadAll(classes.Get()), (std::vector<GUID>{CATID_Red, CATID_Green}));
    EXPECT_EQ(manager->EnumImplCategoriesOfClass(CATID_Blue, classes.Put()), REGDB_E_CLASSNOTREG);
}

TEST(ComponentCategories, DescribesCategoriesByLocale) {
    ComLeakCheck leaks;
    ClassRegistry& registry = LocalRegistry();
    registry.RegisterCategory(CATID_Red, 0x409, QStringLiteral("Red things"));
    registry.RegisterCategory(CATID_Red, 0x407, QStringLiteral("Rote Dinge"));
    registry.RegisterCategory(CATID_Green, 0x409, QString(200, u'g'));
    ComPtr<ICatInformation> manager = CategoriesManager();

    auto describe = [&](REFCATID catid, LCID lcid) {
        LPWSTR text = nullptr;
        const HRESULT hr = manager->GetCategoryDesc(catid, lcid, &text);
        const QString result = SUCCEEDED(hr) ? QString::fromUtf16(text) : QString::number(hr, 16);
        CoTaskMemFree(text);
        return result;
    };
    EXPECT_EQ(describe(CATID_Red, 0x407), QStringLiteral("Rote Dinge"));
    EXPECT_EQ(describe(CATID_Red, 0x809), QStringLiteral("Red things")); // same language
    EXPECT_EQ(describe(CATID_Blue, 0x409), QString::number(CAT_E_CATIDNOEXIST, 16));

    ComPtr<IEnumCATEGORYINFO> categories;
    ASSERT_EQ(manager->EnumCategories(0x409, categories.Put()), S_OK);
    CATEGORYINFO info{};
    int red = 0;
    while (categories->Next(1, &info, nullptr) == S_OK) {
        if (info.catid == CATID_Red) {
            ++red;
            EXPECT_EQ(info.lcid, 0x409u);
            EXPECT_EQ(QString::fromUtf16(info.szDescription), QStringLiteral("Red things"));
        }
        if (info.catid == CATID_Green) { // cut to the 127 characters the record holds
            EXPECT_EQ(QString::fromUtf16(info.szDescription), QString(127, u'g'));
        }
    }
    EXPECT_EQ(red, 1);
    registry.UnregisterCategory(CATID_Red);
    registry.UnregisterCategory(CATID_Green);
    EXPECT_EQ(describe(CATID_Red, 0x409), QString::number(CAT_E_CATIDNOEXIST, 16));
}
