#include "ComTestObjects.h"
#include "Exceptions.h"

#include <gtest/gtest.h>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

using zelk::com::ComBoundary;
using zelk::com::LiveComObjects;

TEST(ComObject, AnswersItsInterfacesTheirBasesAndOneIdentity) {
    ComLeakCheck leaks;
    {
        ComPtr<TTestDog> dog = TTestDog::Create();
        ComPtr<ITestCounter> counter;
        ASSERT_EQ(dog->QueryInterface(IID_PPV_ARGS(counter.Put())), S_OK);
        ComPtr<ITestAnimal> animal; // a base of ITestDog, not listed itself
        ASSERT_EQ(counter->QueryInterface(IID_PPV_ARGS(animal.Put())), S_OK);
        EXPECT_EQ(animal->Legs(), 4);

        ComPtr<IUnknown> fromCounter, fromAnimal;
        ASSERT_EQ(counter->QueryInterface(IID_IUnknown, fromCounter.PutVoid()), S_OK);
        ASSERT_EQ(animal->QueryInterface(IID_IUnknown, fromAnimal.PutVoid()), S_OK);
        EXPECT_EQ(fromCounter.Get(), fromAnimal.Get());
        EXPECT_EQ(fromCounter.Get(), dog->GetUnknown());

        void* other = reinterpret_cast<void*>(1);
        EXPECT_EQ(dog->QueryInterface(IID_ITestOther, &other), E_NOINTERFACE);
        EXPECT_EQ(other, nullptr);
        EXPECT_EQ(dog->QueryInterface(IID_ITestDog, nullptr), E_POINTER);
    }
}

TEST(ComObject, IsDestroyedExactlyWhenTheLastReferenceGoes) {
    ComLeakCheck leaks;
    std::atomic<bool> destroyed = false;
    TTestDog* dog = TTestDog::Create(&destroyed).Detach(); // the one reference is ours
    EXPECT_EQ(dog->AddRef(), 2u);
    ITestCounter* counter = nullptr;
    ASSERT_EQ(dog->QueryInterface(IID_PPV_ARGS(&counter)), S_OK);
    EXPECT_EQ(counter->Release(), 2u);
    EXPECT_EQ(dog->Release(), 1u);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(dog->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST(ComObject, CountsSafelyAcrossThreads) {
    ComLeakCheck leaks;
    std::atomic<bool> destroyed = false;
    ComPtr<TTestDog> dog = TTestDog::Create(&destroyed);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                ComPtr<ITestCounter> counter;
                dog->QueryInterface(IID_PPV_ARGS(counter.Put()));
                counter->Tick(1);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(dog->Ticks, 80000);
    EXPECT_EQ(dog->AddRef(), 2u); // nothing lost or gained on the way
    dog->Release();
    dog = nullptr;
    EXPECT_TRUE(destroyed);
}

TEST(ComObject, BoundaryTurnsExceptionsIntoResults) {
    ComLeakCheck leaks;
    EXPECT_EQ(ComBoundary([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(ComBoundary([]() -> HRESULT {
                  throw EOleSysError(QStringLiteral("gone"), RPC_E_DISCONNECTED);
              }),
              RPC_E_DISCONNECTED);
    // An error exception carrying a success code must not report success.
    EXPECT_EQ(ComBoundary([]() -> HRESULT { throw EOleSysError(QStringLiteral("odd"), S_FALSE); }),
              E_FAIL);
    EXPECT_EQ(ComBoundary([]() -> HRESULT { throw std::runtime_error("x"); }), E_FAIL);
    EXPECT_EQ(ComBoundary([]() -> HRESULT { throw 42; }), E_FAIL);
    EXPECT_EQ(ComBoundary([] {}), S_OK);
    EXPECT_EQ(ComBoundary([] { return S_FALSE; }), S_FALSE);
}
