#pragma once

// Interfaces and small COM objects shared by the COM runtime suites.

#include "comobject.h"
#include "git.h"
#include "registry.h"
#include "regkeys.h"
#include "taskmem.h"

#include <atomic>
#include <gtest/gtest.h>

// Declared first in a test: when the test ends, after everything else it made has gone,
// checks that no task memory, COM object, registry key or table entry was left behind.
class ComLeakCheck {
public:
    ComLeakCheck() = default;
    ComLeakCheck(const ComLeakCheck&) = delete;
    ComLeakCheck& operator=(const ComLeakCheck&) = delete;
    ~ComLeakCheck() {
        EXPECT_EQ(zelk::com::LiveTaskAllocations(), FTaskAllocations) << "task memory leaked";
        EXPECT_EQ(zelk::com::LiveComObjects(), FComObjects) << "COM objects leaked";
        EXPECT_EQ(zelk::com::OpenRegistryKeys(), FRegistryKeys) << "registry keys left open";
        EXPECT_EQ(zelk::com::GlobalInterfaceTableEntries(), FTableEntries) << "entries not revoked";
    }

private:
    const long long FTaskAllocations = zelk::com::LiveTaskAllocations();
    const long long FComObjects = zelk::com::LiveComObjects();
    const std::size_t FRegistryKeys = zelk::com::OpenRegistryKeys();
    const std::size_t FTableEntries = zelk::com::GlobalInterfaceTableEntries();
};

ZELK_INTERFACE_IDENTITY(ITestAnimal, IUnknown, "6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1E01");
struct ITestAnimal : IUnknown {
    virtual int STDMETHODCALLTYPE Legs() = 0;

protected:
    ~ITestAnimal() = default;
};

ZELK_INTERFACE_IDENTITY(ITestDog, ITestAnimal, "6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1E02");
struct ITestDog : ITestAnimal {
    virtual int STDMETHODCALLTYPE Bark() = 0;

protected:
    ~ITestDog() = default;
};

ZELK_INTERFACE_IDENTITY(ITestCounter, IUnknown, "6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1E03");
struct ITestCounter : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Tick(int value) = 0;

protected:
    ~ITestCounter() = default;
};

// Implemented by nothing.
ZELK_INTERFACE_IDENTITY(ITestOther, IUnknown, "6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1E04");
struct ITestOther : IUnknown {
protected:
    ~ITestOther() = default;
};

inline constexpr CLSID CLSID_TestDog = ZelkGuid("6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1F01");
inline constexpr CLSID CLSID_TestOther = ZelkGuid("6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1F02");
inline constexpr CLSID CLSID_TestThird = ZelkGuid("6B1F3E10-3C2A-4D5E-9F60-7A8B9C0D1F03");

// A dog that is also a counter; sets *destroyed when it goes.
class TTestDog : public zelk::com::ComObject<TTestDog, ITestDog, ITestCounter> {
public:
    explicit TTestDog(std::atomic<bool>* destroyed = nullptr) : FDestroyed(destroyed) {}
    ~TTestDog() override {
        if (FDestroyed)
            *FDestroyed = true;
    }

    int STDMETHODCALLTYPE Legs() override { return 4; }
    int STDMETHODCALLTYPE Bark() override { return 1; }
    HRESULT STDMETHODCALLTYPE Tick(int value) override {
        Ticks += value;
        return S_OK;
    }

    std::atomic<int> Ticks{0};

private:
    std::atomic<bool>* FDestroyed;
};

// A registration of TTestDog under `clsid`.
inline zelk::com::ClassRegistration TestDogClass(REFCLSID clsid, const QString& progId,
                                                 const QString& description = QString()) {
    zelk::com::ClassRegistration c;
    c.Clsid = clsid;
    c.ProgID = progId + QStringLiteral(".1");
    c.VersionIndependentProgID = progId;
    c.Description = description.isEmpty() ? progId + QStringLiteral(" class") : description;
    c.Factory = zelk::com::MakeClassFactory([] { return TTestDog::Create(); });
    return c;
}
