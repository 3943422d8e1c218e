// IOPCCommon, GetStatus, the shutdown point, the capabilities of a class and fault
// injection, all as a client meets them.

#include "SimServerTestSupport.h"
#include "TestSupport.h"
#include "bstr.h"
#include "comholders.h"
#include "connpoint.h"
#include "opcerror.h"

#include <thread>

using namespace zelk::aesim;
using namespace zelk::aesim::servertest;

namespace {

const QString Lic201 = S("Plant1.TankFarm.LIC201");

DWORD AdviseShutdown(IOPCEventServer* server, TSrvShutdownSink* sink) {
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    EXPECT_EQ(server->QueryInterface(container.Put()), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(IID_IOPCShutdown, point.Put()), S_OK);
    EXPECT_EQ(point->Advise(sink->GetUnknown(), &cookie), S_OK);
    return cookie;
}

HRESULT Status(IOPCEventServer* server, OPCEVENTSERVERSTATUS& copy) {
    OPCEVENTSERVERSTATUS* status = nullptr;
    const HRESULT hr = server->GetStatus(&status);
    if (status) {
        copy = *status;
        copy.szVendorInfo = nullptr;
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
    }
    return hr;
}

} // namespace

TEST(SimServerCommon, LocalesErrorTextsAndClientName) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    ComPtr<IOPCCommon> common;
    ASSERT_EQ(rig.Server->QueryInterface(common.Put()), S_OK);
    LCID locale = 0;
    EXPECT_EQ(common->GetLocaleID(&locale), S_OK);
    EXPECT_EQ(locale, 0x0409u);
    DWORD count = 0;
    zelk::com::TaskMem<LCID> locales;
    ASSERT_EQ(common->QueryAvailableLocaleIDs(&count, locales.Put()), S_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(locales[0], 0x0409u);
    EXPECT_EQ(locales[1], 0x0407u);

    zelk::com::TaskMem<OLECHAR> english;
    ASSERT_EQ(common->GetErrorString(OPC_E_INVALIDTIME, english.Put()), S_OK);
    EXPECT_EQ(common->SetLocaleID(0x040C), E_INVALIDARG);
    EXPECT_EQ(common->SetLocaleID(0x0407), S_OK);
    EXPECT_EQ(common->GetLocaleID(&locale), S_OK);
    EXPECT_EQ(locale, 0x0407u);
    zelk::com::TaskMem<OLECHAR> german;
    ASSERT_EQ(common->GetErrorString(OPC_E_INVALIDTIME, german.Put()), S_OK);
    EXPECT_FALSE(zelk::com::ToQString(english.Get()).isEmpty());
    EXPECT_NE(zelk::com::ToQString(english.Get()), zelk::com::ToQString(german.Get()));
    zelk::com::TaskMem<OLECHAR> none;
    EXPECT_EQ(common->GetErrorString(static_cast<HRESULT>(0xC0DE0001), none.Put()), E_INVALIDARG);
    EXPECT_EQ(none.Get(), nullptr);
    EXPECT_EQ(common->GetErrorString(OPC_E_BUSY, nullptr), E_POINTER);

    EXPECT_EQ(common->SetClientName(u"Zelk AE Client"), S_OK);
    EXPECT_EQ(common->SetClientName(nullptr), E_INVALIDARG);
    const std::vector<TSimCall> calls = rig.Sim->Faults().Calls("IOPCCommon::SetClientName");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Arguments, S("Name=Zelk AE Client"));
    EXPECT_EQ(calls[1].Arguments, S("Name=null"));
}

TEST(SimServerCommon, StatusTimesAndVersion) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    OPCEVENTSERVERSTATUS status{};
    ASSERT_EQ(Status(rig.Server.Get(), status), S_OK);
    EXPECT_EQ(status.dwServerState, OPCAE_STATUS_RUNNING);
    EXPECT_EQ(Ticks(status.ftLastUpdateTime), 0u) << "nothing sent yet";
    EXPECT_GE(Ticks(status.ftCurrentTime), Ticks(status.ftStartTime));
    EXPECT_NE(status.wMajorVersion + status.wMinorVersion + status.wBuildNumber, 0);

    rig.Sim->AdvanceClock(1500);
    ASSERT_TRUE(rig.Sim->Activate(Lic201, S("PVLEVEL")));
    const std::vector<TRecordedEvent> events = rig.Sink->Take();
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(Status(rig.Server.Get(), status), S_OK);
    EXPECT_EQ(Ticks(status.ftLastUpdateTime), Ticks(events[0].Time));
    EXPECT_GE(Ticks(status.ftCurrentTime) - Ticks(status.ftStartTime), 1500u * 10'000u);

    OPCEVENTSERVERSTATUS* raw = nullptr;
    EXPECT_EQ(rig.Server->GetStatus(nullptr), E_POINTER);
    rig.Sim->Faults().OmitRecord("IOPCEventServer::GetStatus");
    EXPECT_EQ(rig.Server->GetStatus(&raw), S_OK);
    EXPECT_EQ(raw, nullptr) << "success without a record, once";
    ASSERT_EQ(Status(rig.Server.Get(), status), S_OK);
}

TEST(SimServerCommon, ShutdownTellsEveryClientThenDisconnects) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    ComPtr<IOPCEventServer> second = rig.Connect();
    ComPtr<TSrvShutdownSink> firstSink = TSrvShutdownSink::Create();
    ComPtr<TSrvShutdownSink> secondSink = TSrvShutdownSink::Create();
    AdviseShutdown(rig.Server.Get(), firstSink.Get());
    AdviseShutdown(second.Get(), secondSink.Get());
    EXPECT_EQ(rig.Sim->ServerObjects(), 2);

    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(rig.Server->QueryInterface(container.Put()), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(IID_IOPCEventSink, point.Put()),
              CONNECT_E_NOCONNECTION);

    rig.Sim->Shutdown(S("Maintenance"));
    EXPECT_EQ(firstSink->Reasons(), QStringList{S("Maintenance")});
    EXPECT_EQ(secondSink->Reasons(), QStringList{S("Maintenance")});
    OPCEVENTSERVERSTATUS status{};
    EXPECT_EQ(Status(rig.Server.Get(), status), RPC_E_DISCONNECTED);
    EXPECT_EQ(Status(second.Get(), status), RPC_E_DISCONNECTED);
    BOOL active = TRUE;
    EXPECT_EQ(rig.Subscription->SetState(&active, nullptr, nullptr, 1, nullptr, nullptr),
              RPC_E_DISCONNECTED);
    rig.Sim->Activate(Lic201, S("PVLEVEL"));
    EXPECT_TRUE(rig.Sink->Events().empty()) << "no delivery after shutdown";

    // A restarted server serves new clients; the old objects stay dead.
    rig.Sim->Restart();
    ComPtr<IOPCEventServer> fresh = rig.Connect();
    EXPECT_EQ(Status(fresh.Get(), status), S_OK);
    EXPECT_EQ(Status(rig.Server.Get(), status), RPC_E_DISCONNECTED);
}

TEST(SimServerCommon, CapabilitiesOfFurtherClasses) {
    TSrvLeakCheck leaks;
    TSimClassOptions oldest;
    oldest.Clsid = ZelkGuid("5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A601");
    oldest.ProgID = S("Zelk.AESimulator.Old.1");
    oldest.VersionIndependentProgID = S("Zelk.AESimulator.Old");
    oldest.Capabilities.ConnectionPoints = false;
    oldest.Capabilities.AreaBrowser = false;
    oldest.Capabilities.FailingConditionNamesCategory = CatDiscrete;
    TSimClassOptions newest;
    newest.Clsid = ZelkGuid("5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A602");
    newest.ProgID = S("Zelk.AESimulator.New.1");
    newest.Capabilities.AnswersIOPCBrowse = true;
    newest.Capabilities.Refresh = false;
    TSrvRig standard;
    TScopedAESimulator oldSim(oldest, QString(), false);
    TScopedAESimulator newSim(newest, QString(), false);

    ComPtr<IUnknown> probe;
    ComPtr<IOPCEventServer> oldServer;
    ASSERT_EQ(CoCreateInstance(oldest.Clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCEventServer,
                               oldServer.PutVoid()),
              S_OK);
    EXPECT_EQ(oldServer->QueryInterface(IID_IConnectionPointContainer, probe.PutVoid()),
              E_NOINTERFACE);
    EXPECT_EQ(oldServer->QueryInterface(IID_IOPCBrowse, probe.PutVoid()), E_NOINTERFACE);
    EXPECT_EQ(oldServer->CreateAreaBrowser(IID_IOPCEventAreaBrowser, probe.Put()), E_NOTIMPL);
    EXPECT_EQ(probe.Get(), nullptr);
    DWORD count = 0;
    zelk::com::TaskMem<LPWSTR> names;
    EXPECT_EQ(oldServer->QueryConditionNames(CatDiscrete, &count, names.Put()), E_FAIL);
    EXPECT_EQ(oldServer->QueryConditionNames(CatLevel, &count, names.Put()), S_OK);
    CoTaskMemFree(names[0]);

    ComPtr<IOPCEventServer> newServer;
    ASSERT_EQ(CoCreateInstance(newest.Clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCEventServer,
                               newServer.PutVoid()),
              S_OK);
    EXPECT_EQ(newServer->QueryInterface(IID_IOPCBrowse, probe.PutVoid()), S_OK);
    probe.Reset();
    ComPtr<TRecordingEventSink> sink = TRecordingEventSink::Create();
    ComPtr<IOPCEventSubscriptionMgt> subscription = standard.Subscribe(newServer.Get(), sink.Get());
    ASSERT_TRUE(subscription);
    EXPECT_EQ(subscription->Refresh(1), E_NOTIMPL);

    // The standard class answers what the others lack.
    EXPECT_EQ(standard.Server->QueryInterface(IID_IOPCBrowse, probe.PutVoid()), E_NOINTERFACE);
    EXPECT_EQ(standard.Server->CreateAreaBrowser(IID_IOPCEventAreaBrowser, probe.Put()), S_OK);
    EXPECT_EQ(standard.Subscription->Refresh(1), S_OK);
    standard.Sim->Pump();
}

TEST(SimServerFaults, InjectedResultsDelaysAndSilence) {
    TSrvLeakCheck leaks;
    TSrvRig rig;
    TSimFaults& faults = rig.Sim->Faults();
    OPCEVENTSERVERSTATUS status{};
    faults.InjectResult("IOPCEventServer::GetStatus", E_OUTOFMEMORY, 2);
    EXPECT_EQ(Status(rig.Server.Get(), status), E_OUTOFMEMORY);
    EXPECT_EQ(Status(rig.Server.Get(), status), E_OUTOFMEMORY);
    EXPECT_EQ(Status(rig.Server.Get(), status), S_OK) << "used up";
    faults.InjectResult("IOPCEventServer::QueryAvailableFilters", E_FAIL, TSimFaults::Always);
    DWORD mask = 0;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rig.Server->QueryAvailableFilters(&mask), E_FAIL);
    faults.ClearInjections();
    EXPECT_EQ(rig.Server->QueryAvailableFilters(&mask), S_OK);
    EXPECT_EQ(mask, 0x1Fu);

    // A held call returns only when released: a server that hangs, without a fixed time.
    faults.HoldCalls("IOPCEventServer::GetStatus", 1);
    HRESULT heldResult = E_UNEXPECTED;
    std::thread caller([&] {
        OPCEVENTSERVERSTATUS copy{};
        heldResult = Status(rig.Server.Get(), copy);
    });
    EXPECT_TRUE(zelk::test::WaitUntil([&] { return faults.WaitingCalls() == 1; }));
    faults.ReleaseHeld();
    caller.join();
    EXPECT_EQ(heldResult, S_OK);

    // A slow answer is cut short when the server stops answering meanwhile.
    faults.InjectDelay("IOPCEventServer::GetStatus", std::chrono::hours(1), 1);
    HRESULT delayedResult = E_UNEXPECTED;
    std::thread slowCaller([&] {
        OPCEVENTSERVERSTATUS copy{};
        delayedResult = Status(rig.Server.Get(), copy);
    });
    EXPECT_TRUE(zelk::test::WaitUntil([&] { return faults.WaitingCalls() == 1; }));
    faults.StopAnswering();
    slowCaller.join();
    EXPECT_EQ(delayedResult, RPC_E_DISCONNECTED);
    faults.ResumeAnswering();
    EXPECT_EQ(Status(rig.Server.Get(), status), S_OK) << "the delay was used once";

    // A crashed server: every object of the class answers RPC_E_DISCONNECTED.
    faults.StopAnswering();
    EXPECT_EQ(Status(rig.Server.Get(), status), RPC_E_DISCONNECTED);
    EXPECT_EQ(rig.Subscription->Refresh(1), RPC_E_DISCONNECTED);
    faults.ResumeAnswering();
    EXPECT_EQ(Status(rig.Server.Get(), status), S_OK);
}
