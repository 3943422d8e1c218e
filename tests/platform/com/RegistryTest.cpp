#include "registry.h"

#include "ComTestObjects.h"
#include "Exceptions.h"
#include "guid.h"
#include "regkeys.h"
#include "taskmem.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace zelk::com;

namespace {
const OLECHAR* Text(const QString& s) {
    return reinterpret_cast<const OLECHAR*>(s.utf16());
}
} // namespace

TEST(ClassRegistry, RegistersReplacesAndUnregistersClasses) {
    ComLeakCheck leaks;
    const auto objects = LiveComObjects();
    ClassRegistry registry;
    ClassRegistration noFactory;
    noFactory.Clsid = CLSID_TestDog;
    EXPECT_EQ(registry.Register(noFactory), E_INVALIDARG);

    EXPECT_EQ(registry.Register(TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.TestDog"))), S_OK);
    EXPECT_EQ(registry.FindProgID(QStringLiteral("zelk.testdog.1")), CLSID_TestDog);
    EXPECT_EQ(registry.FindProgID(QStringLiteral("ZELK.TESTDOG")), CLSID_TestDog);
    EXPECT_FALSE(registry.FindProgID(QStringLiteral("Zelk.TestCat")));

    // Registering the same class again replaces the entry, as rewriting the keys would.
    EXPECT_EQ(registry.Register(TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.Hound"))), S_OK);
    ASSERT_EQ(registry.Classes().size(), 1u);
    EXPECT_EQ(registry.Find(CLSID_TestDog)->ProgID, QStringLiteral("Zelk.Hound.1"));
    EXPECT_FALSE(registry.FindProgID(QStringLiteral("Zelk.TestDog")));

    EXPECT_TRUE(registry.Unregister(CLSID_TestDog));
    EXPECT_FALSE(registry.Unregister(CLSID_TestDog));
    EXPECT_FALSE(registry.Find(CLSID_TestDog));
    EXPECT_EQ(LiveComObjects(), objects); // the factories went with their entries

    {
        ScopedClassRegistration scoped(TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.TestDog")));
        EXPECT_TRUE(LocalRegistry().Find(CLSID_TestDog));
    }
    EXPECT_FALSE(LocalRegistry().Find(CLSID_TestDog));
}

TEST(ClassRegistry, ConvertsProgIDsBothWays) {
    ComLeakCheck leaks;
    ScopedClassRegistration dog(TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.TestDog")));
    ClassRegistration nameless = TestDogClass(CLSID_TestOther, QString());
    nameless.ProgID.clear();
    ScopedClassRegistration other(nameless);

    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"zelk.testdog", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_TestDog);
    clsid = CLSID_TestDog;
    EXPECT_EQ(CLSIDFromProgID(u"Zelk.NoSuchServer", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, CLSID_NULL);
    EXPECT_EQ(CLSIDFromProgID(u"", &clsid), CO_E_CLASSSTRING);

    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestDog, &progId), S_OK);
    EXPECT_EQ(QString::fromUtf16(progId), QStringLiteral("Zelk.TestDog.1"));
    CoTaskMemFree(progId);
    progId = reinterpret_cast<LPOLESTR>(1);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_TestThird, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_TestOther, &progId), REGDB_E_CLASSNOTREG);
}

TEST(ClassesRoot, QueryValueFollowsTheSizeProtocol) {
    ComLeakCheck leaks;
    const QString fits(127, u'd'); // 127 characters and the zero: exactly 256 bytes
    ScopedClassRegistration dog(TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.TestDog"), fits));
    LPOLESTR clsidText = nullptr;
    ASSERT_EQ(StringFromCLSID(CLSID_TestDog, &clsidText), S_OK);
    const QString keyName = QStringLiteral("CLSID\\") + QString::fromUtf16(clsidText);
    CoTaskMemFree(clsidText);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKey(HKEY_CLASSES_ROOT, Text(keyName.toLower()), &key), ERROR_SUCCESS);
    DWORD type = REG_NONE;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueEx(key, nullptr, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD{REG_SZ});
    EXPECT_EQ(size, 256u);

    BYTE buffer[258];
    std::memset(buffer, 0xAB, sizeof buffer);
    size = 254;
    EXPECT_EQ(RegQueryValueEx(key, u"", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 256u);
    EXPECT_EQ(buffer[0], 0xAB); // a short buffer is left alone
    size = 256;
    ASSERT_EQ(RegQueryValueEx(key, u"", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer)), fits);
    EXPECT_EQ(buffer[256], 0xAB); // nothing written past the value

    EXPECT_EQ(RegQueryValueEx(key, u"Other", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueEx(key, nullptr, &reserved, nullptr, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueEx(key, nullptr, nullptr, nullptr, buffer, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(
        RegOpenKey(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-0000-0000-0000-0000000000AA}", &missing),
        ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
}

TEST(ClassesRoot, ShowsProgIDCategoryKeysAndFollowsUnregistration) {
    ComLeakCheck leaks;
    auto dogClass = TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.TestDog"));
    dogClass.ImplementedCategories = {CLSID_TestThird};
    auto registration = std::make_unique<ScopedClassRegistration>(dogClass);
    auto readDefault = [](HKEY parent, const char16_t* subKey) {
        HKEY key = nullptr;
        if (RegOpenKeyEx(parent, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return QStringLiteral("<no key>");
        OLECHAR text[128] = {};
        DWORD size = sizeof text;
        const LSTATUS status =
            RegQueryValueEx(key, nullptr, nullptr, nullptr, reinterpret_cast<LPBYTE>(text), &size);
        RegCloseKey(key);
        return status == ERROR_SUCCESS ? QString::fromUtf16(text) : QStringLiteral("<no value>");
    };
    EXPECT_EQ(readDefault(HKEY_CLASSES_ROOT, u"Zelk.TestDog.1\\CLSID"),
              QStringLiteral("{6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1F01}"));
    EXPECT_EQ(readDefault(HKEY_CLASSES_ROOT, u"Zelk.TestDog\\CurVer"),
              QStringLiteral("Zelk.TestDog.1"));

    HKEY classKey = nullptr;
    ASSERT_EQ(
        RegOpenKey(HKEY_CLASSES_ROOT, u"CLSID\\{6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1F01}", &classKey),
        ERROR_SUCCESS);
    EXPECT_EQ(readDefault(classKey, u"ProgID"), QStringLiteral("Zelk.TestDog.1"));
    EXPECT_EQ(readDefault(classKey, u"VersionIndependentProgID"), QStringLiteral("Zelk.TestDog"));
    EXPECT_EQ(
        readDefault(classKey, u"Implemented Categories\\{6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1F03}"),
        QStringLiteral("<no value>"));
    EXPECT_EQ(
        readDefault(classKey, u"Implemented Categories\\{6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1F02}"),
        QStringLiteral("<no key>"));

    // A key opened before the class went away no longer has values.
    registration.reset();
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(classKey, nullptr, nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(classKey), ERROR_SUCCESS);
}

TEST(Computers, LocalNamesAndDeclaredComputers) {
    ComLeakCheck leaks;
    const QString local = LocalComputerName();
    ASSERT_FALSE(local.isEmpty());
    EXPECT_EQ(local, local.toUpper());
    EXPECT_TRUE(IsLocalComputerName(QString()));
    EXPECT_TRUE(IsLocalComputerName(local.toLower()));
    EXPECT_TRUE(IsLocalComputerName(QStringLiteral("\\\\") + local));
    EXPECT_FALSE(IsLocalComputerName(QStringLiteral("NO-SUCH-HOST-17")));
    EXPECT_EQ(ComputerRegistry(local).get(), &LocalRegistry());
    EXPECT_EQ(ComputerRegistry(QStringLiteral("NO-SUCH-HOST-17")), nullptr);
    EXPECT_THROW(DeclareComputer(local), Exception);

    {
        ScopedComputer plant(QStringLiteral("plant7"));
        EXPECT_THROW(ScopedComputer(QStringLiteral("\\\\PLANT7")), Exception);
        EXPECT_EQ(ComputerRegistry(QStringLiteral("\\\\Plant7")).get(), &plant.Registry());
        EXPECT_NE(&plant.Registry(), &LocalRegistry());
        EXPECT_TRUE(DeclaredComputers().contains(QStringLiteral("PLANT7")));
        EXPECT_TRUE(plant.Registry().Classes().empty());
    }
    EXPECT_EQ(ComputerRegistry(QStringLiteral("plant7")), nullptr);
    EXPECT_FALSE(DeclaredComputers().contains(QStringLiteral("PLANT7")));
}
