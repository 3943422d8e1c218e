#include "activation.h"

#include "ComTestObjects.h"
#include "Exceptions.h"

#include <gtest/gtest.h>
#include <thread>

using namespace zelk::com;

namespace {

constexpr HRESULT Unreachable = HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);

// CoCreateInstanceEx on `computer` with one entry per IID.
struct RemoteCall {
    HRESULT Result;
    std::vector<MULTI_QI> Entries;
    ~RemoteCall() {
        for (auto& e : Entries)
            if (e.pItf)
                e.pItf->Release();
    }
};

RemoteCall CreateOn(const QString& computer, DWORD context, std::vector<const IID*> iids,
                    REFCLSID clsid = CLSID_TestDog) {
    std::u16string name(reinterpret_cast<const char16_t*>(computer.utf16()));
    COSERVERINFO info{0, name.data(), nullptr, 0};
    RemoteCall call{S_OK, {}};
    for (const IID* iid : iids) // junk, to see that every field gets written
        call.Entries.push_back({iid, reinterpret_cast<IUnknown*>(8), S_FALSE});
    call.Result = CoCreateInstanceEx(clsid, nullptr, context, &info,
                                     static_cast<DWORD>(call.Entries.size()), call.Entries.data());
    return call;
}

} // namespace

TEST(CoInitialize, CountsPerThreadAndKeepsTheModel) {
    ComLeakCheck leaks;
    std::thread([] {
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        EXPECT_EQ(ThreadInitializeCount(), 2);
        std::thread([] { // another thread starts from nothing
            EXPECT_EQ(ThreadInitializeCount(), 0);
            EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
            CoUninitialize();
        })
            .join();
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(ThreadInitializeCount(), 0);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
}

TEST(CoInitializeSecurity, RecordsTheFirstCallOnly) {
    ComLeakCheck leaks;
    ResetProcessSecurity();
    EXPECT_EQ(CoInitializeSecurity(nullptr, -2, nullptr, nullptr, 0, 0, nullptr, 0, nullptr),
              E_INVALIDARG);
    EXPECT_FALSE(ProcessSecurity());
    EXPECT_EQ(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_NONE,
                                   RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr),
              S_OK);
    EXPECT_EQ(CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                                   RPC_C_IMP_LEVEL_DELEGATE, nullptr, EOAC_NONE, nullptr),
              RPC_E_TOO_LATE);
    const auto recorded = ProcessSecurity();
    ASSERT_TRUE(recorded);
    EXPECT_EQ(recorded->AuthenticationServices, -1);
    EXPECT_EQ(recorded->AuthenticationLevel, RPC_C_AUTHN_LEVEL_NONE);
    EXPECT_EQ(recorded->ImpersonationLevel, RPC_C_IMP_LEVEL_IMPERSONATE);
    ResetProcessSecurity();
    EXPECT_FALSE(ProcessSecurity());
}

TEST(CoCreateInstance, CreatesRegisteredClassesAndLeaksNothingOnFailure) {
    ComLeakCheck leaks;
    void* object = reinterpret_cast<void*>(8);
    EXPECT_EQ(CoCreateInstance(CLSID_TestDog, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    {
        auto served = TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.TestDog"));
        served.ServerContext = CLSCTX_LOCAL_SERVER;
        ScopedClassRegistration dog(served);
        ComPtr<ITestDog> created;
        ASSERT_EQ(CoCreateInstance(CLSID_TestDog, nullptr,
                                   CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                   IID_PPV_ARGS(created.Put())),
                  S_OK);
        EXPECT_EQ(created->Bark(), 1);

        // An executable server does not load in-process.
        EXPECT_EQ(
            CoCreateInstance(CLSID_TestDog, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
        EXPECT_EQ(CoCreateInstance(CLSID_TestDog, nullptr, 0, IID_IUnknown, &object), E_INVALIDARG);
        EXPECT_EQ(CoCreateInstance(CLSID_TestDog, created.Get(), CLSCTX_ALL, IID_IUnknown, &object),
                  CLASS_E_NOAGGREGATION);
        // The object made for a missing interface must go again.
        const auto withOne = LiveComObjects();
        EXPECT_EQ(CoCreateInstance(CLSID_TestDog, nullptr, CLSCTX_ALL, IID_ITestOther, &object),
                  E_NOINTERFACE);
        EXPECT_EQ(object, nullptr);
        EXPECT_EQ(LiveComObjects(), withOne);
    }
    {
        // A factory that fails with an exception answers its code.
        ClassRegistration failing = TestDogClass(CLSID_TestOther, QStringLiteral("Zelk.Failing"));
        failing.Factory = MakeClassFactory([]() -> ComPtr<TTestDog> {
            throw EOleSysError(QStringLiteral("Server execution failed"), CO_E_SERVER_EXEC_FAILURE);
        });
        ScopedClassRegistration registration(failing);
        EXPECT_EQ(CoCreateInstance(CLSID_TestOther, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
                  CO_E_SERVER_EXEC_FAILURE);
        EXPECT_EQ(object, nullptr);
    }
}

TEST(CoCreateInstanceEx, AnswersEachInterfaceRequest) {
    ComLeakCheck leaks;
    const auto objects = LiveComObjects();
    ScopedClassRegistration dog(TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.TestDog")));
    {
        auto all = CreateOn(QString(), CLSCTX_SERVER, {&IID_IUnknown, &IID_ITestAnimal});
        EXPECT_EQ(all.Result, S_OK);
        EXPECT_EQ(all.Entries[0].hr, S_OK);
        EXPECT_EQ(all.Entries[1].hr, S_OK);
        EXPECT_NE(all.Entries[1].pItf, nullptr);

        auto some =
            CreateOn(QString(), CLSCTX_SERVER, {&IID_ITestCounter, &IID_ITestOther, &IID_ITestDog});
        EXPECT_EQ(some.Result, CO_S_NOTALLINTERFACES);
        EXPECT_EQ(some.Entries[0].hr, S_OK);
        EXPECT_EQ(some.Entries[1].hr, E_NOINTERFACE);
        EXPECT_EQ(some.Entries[1].pItf, nullptr);
        EXPECT_EQ(some.Entries[2].hr, S_OK);
        // Both answers come from one object.
        ComPtr<IUnknown> a, b;
        some.Entries[0].pItf->QueryInterface(IID_IUnknown, a.PutVoid());
        some.Entries[2].pItf->QueryInterface(IID_IUnknown, b.PutVoid());
        EXPECT_EQ(a, b);

        auto none = CreateOn(QString(), CLSCTX_SERVER, {&IID_ITestOther});
        EXPECT_EQ(none.Result, E_NOINTERFACE);
        EXPECT_EQ(none.Entries[0].pItf, nullptr);
    }
    MULTI_QI entry{&IID_IUnknown, nullptr, S_OK};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_TestDog, nullptr, CLSCTX_ALL, nullptr, 0, &entry),
              E_INVALIDARG);
    TTestDog* outer = TTestDog::Create().Detach();
    EXPECT_EQ(
        CoCreateInstanceEx(CLSID_TestDog, outer->GetUnknown(), CLSCTX_ALL, nullptr, 1, &entry),
        CLASS_E_NOAGGREGATION);
    EXPECT_EQ(entry.hr, CLASS_E_NOAGGREGATION);
    outer->Release();
    EXPECT_EQ(LiveComObjects(), objects + 1); // the registered factory
}

TEST(CoCreateInstanceEx, TreatsEveryFormOfTheLocalNameAsLocal) {
    ComLeakCheck leaks;
    ScopedClassRegistration dog(TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.TestDog")));
    const QString local = LocalComputerName();
    for (const QString& name :
         {QString(), local, local.toLower(), QStringLiteral("\\\\") + local}) {
        // The toolkit asks with every context for the local name and with the remote
        // context alone otherwise; both reach the local class.
        for (DWORD context : {CLSCTX_SERVER, CLSCTX_REMOTE_SERVER}) {
            auto call = CreateOn(name, context, {&IID_ITestDog});
            EXPECT_EQ(call.Result, S_OK) << name.toStdString() << " context " << context;
        }
    }
    MULTI_QI entry{&IID_IUnknown, nullptr, S_OK};
    ASSERT_EQ(CoCreateInstanceEx(CLSID_TestDog, nullptr, CLSCTX_ALL, nullptr, 1, &entry), S_OK);
    entry.pItf->Release();
}

TEST(CoCreateInstanceEx, ReachesADeclaredComputerThroughItsOwnRegistry) {
    ComLeakCheck leaks;
    {
        ScopedComputer plant(QStringLiteral("PLANT7"));
        auto remoteClass = TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.TestDog"));
        remoteClass.ServerContext = CLSCTX_LOCAL_SERVER;
        ScopedClassRegistration remote(remoteClass, plant.Registry());
        ScopedClassRegistration local(TestDogClass(CLSID_TestOther, QStringLiteral("Zelk.Local")));

        void* object = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_TestDog, nullptr, CLSCTX_ALL, IID_IUnknown, &object),
                  REGDB_E_CLASSNOTREG);
        auto call = CreateOn(QStringLiteral("plant7"), CLSCTX_REMOTE_SERVER, {&IID_ITestDog});
        ASSERT_EQ(call.Result, S_OK);
        EXPECT_EQ(static_cast<ITestDog*>(call.Entries[0].pItf)->Bark(), 1);
        // In-process code cannot come from another computer; its classes are its own.
        EXPECT_EQ(CreateOn(QStringLiteral("plant7"), CLSCTX_INPROC_SERVER, {&IID_IUnknown}).Result,
                  REGDB_E_CLASSNOTREG);
        EXPECT_EQ(
            CreateOn(QStringLiteral("plant7"), CLSCTX_SERVER, {&IID_IUnknown}, CLSID_TestOther)
                .Result,
            REGDB_E_CLASSNOTREG);

        ComPtr<IClassFactory> factory;
        std::u16string name = u"\\\\PLANT7";
        COSERVERINFO info{0, name.data(), nullptr, 0};
        EXPECT_EQ(CoGetClassObject(CLSID_TestDog, CLSCTX_REMOTE_SERVER, &info,
                                   IID_PPV_ARGS(factory.Put())),
                  S_OK);
    }
    // Once removed, the computer is as unreachable as any unknown one.
    EXPECT_EQ(CreateOn(QStringLiteral("PLANT7"), CLSCTX_REMOTE_SERVER, {&IID_IUnknown}).Result,
              Unreachable);
}

TEST(CoCreateInstanceEx, UnreachableComputerFailsTheCallAndEveryEntry) {
    ComLeakCheck leaks;
    ScopedClassRegistration dog(TestDogClass(CLSID_TestDog, QStringLiteral("Zelk.TestDog")));
    auto call = CreateOn(QStringLiteral("NOWHERE-42"), CLSCTX_REMOTE_SERVER,
                         {&IID_IUnknown, &IID_ITestDog, &IID_ITestCounter});
    EXPECT_EQ(static_cast<std::uint32_t>(call.Result), 0x800706BAu);
    for (const auto& entry : call.Entries) {
        EXPECT_EQ(entry.hr, Unreachable);
        EXPECT_EQ(entry.pItf, nullptr);
    }
}
