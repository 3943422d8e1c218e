#include "git.h"

#include "ComTestObjects.h"
#include "activation.h"

#include <gtest/gtest.h>
#include <set>
#include <thread>

using namespace zelk::com;

namespace {
ComPtr<IGlobalInterfaceTable> Table() {
    ComPtr<IGlobalInterfaceTable> table;
    // The context the toolkit asks with: in-process server, handler and local server.
    CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr,
                     CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                     IID_PPV_ARGS(table.Put()));
    return table;
}
} // namespace

TEST(GlobalInterfaceTable, HoldsRegisteredPointersUntilRevoked) {
    ComLeakCheck leaks;
    const auto entries = GlobalInterfaceTableEntries();
    ComPtr<IGlobalInterfaceTable> table = Table();
    ASSERT_TRUE(table);
    std::atomic<bool> destroyed = false;
    DWORD cookie = 0;
    {
        ComPtr<TTestDog> dog = TTestDog::Create(&destroyed);
        ASSERT_EQ(table->RegisterInterfaceInGlobal(dog->GetUnknown(), IID_ITestDog, &cookie), S_OK);
        EXPECT_NE(cookie, 0u);
        DWORD refused = 99;
        EXPECT_EQ(table->RegisterInterfaceInGlobal(dog->GetUnknown(), IID_ITestOther, &refused),
                  E_NOINTERFACE);
        EXPECT_EQ(refused, 0u);
    }
    EXPECT_FALSE(destroyed); // the table holds its own reference

    // Another thread (and another table object) turns the cookie into a pointer.
    std::thread([&] {
        ComPtr<IGlobalInterfaceTable> other = Table();
        ComPtr<ITestDog> dog;
        ASSERT_EQ(other->GetInterfaceFromGlobal(cookie, IID_PPV_ARGS(dog.Put())), S_OK);
        EXPECT_EQ(dog->Bark(), 1);
        ComPtr<ITestCounter> counter;
        EXPECT_EQ(other->GetInterfaceFromGlobal(cookie, IID_PPV_ARGS(counter.Put())), S_OK);
        void* none = reinterpret_cast<void*>(8);
        EXPECT_EQ(other->GetInterfaceFromGlobal(cookie, IID_ITestOther, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
    }).join();
    EXPECT_EQ(GlobalInterfaceTableEntries(), entries + 1);

    EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), E_INVALIDARG);
    void* gone = reinterpret_cast<void*>(8);
    EXPECT_EQ(table->GetInterfaceFromGlobal(cookie, IID_IUnknown, &gone), E_INVALIDARG);
    EXPECT_EQ(gone, nullptr);
    EXPECT_EQ(table->RegisterInterfaceInGlobal(nullptr, IID_IUnknown, &cookie), E_INVALIDARG);
}

TEST(GlobalInterfaceTable, HandsOutDistinctCookiesUnderConcurrentUse) {
    ComLeakCheck leaks;
    const auto entries = GlobalInterfaceTableEntries();
    {
        ComPtr<IGlobalInterfaceTable> table = Table();
        ComPtr<TTestDog> dog = TTestDog::Create();
        std::mutex mutex;
        std::set<DWORD> held;
        std::atomic<int> failures = 0;
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                std::vector<DWORD> mine;
                for (int i = 0; i < 250; ++i) {
                    DWORD cookie = 0;
                    ComPtr<ITestCounter> counter;
                    if (FAILED(table->RegisterInterfaceInGlobal(dog->GetUnknown(), IID_ITestCounter,
                                                                &cookie)) ||
                        FAILED(table->GetInterfaceFromGlobal(cookie, IID_PPV_ARGS(counter.Put()))))
                        ++failures;
                    else
                        counter->Tick(1);
                    std::lock_guard lock(mutex);
                    if (!held.insert(cookie).second)
                        ++failures; // a cookie handed out twice while still registered
                    mine.push_back(cookie);
                }
                for (DWORD cookie : mine)
                    table->RevokeInterfaceFromGlobal(cookie);
            });
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(failures, 0);
        EXPECT_EQ(dog->Ticks, 1000);
        EXPECT_EQ(GlobalInterfaceTableEntries(), entries);
    }
}
