// The start-up registration and the OPC server enumerator stand-in.

#include "Exceptions.h"
#include "SimServerTestSupport.h"
#include "bstr.h"
#include "comholders.h"
#include "opcenum.h"
#include "registry.h"

using namespace zelk::aesim;
using namespace zelk::aesim::servertest;

namespace {

const CLSID CLSID_OtherDaServer = ZelkGuid("5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A611");

// Every class id an enumerator hands out, read in batches of ten as clients read it.
template <class Enum> std::vector<CLSID> ReadAll(Enum* enumerator) {
    std::vector<CLSID> classes;
    GUID batch[10];
    ULONG fetched = 0;
    do {
        fetched = 0;
        enumerator->Next(10, batch, &fetched);
        classes.insert(classes.end(), batch, batch + fetched);
    } while (fetched > 0);
    return classes;
}

ComPtr<IOPCServerList2> ServerList2(const QString& computer = QString()) {
    ComPtr<IOPCServerList2> list;
    zelk::com::BStr name(computer);
    COSERVERINFO info{0, computer.isEmpty() ? nullptr : name.Get(), nullptr, 0};
    MULTI_QI query{&IID_IOPCServerList2, nullptr, S_OK};
    const HRESULT hr = CoCreateInstanceEx(
        CLSID_OpcServerList, nullptr, CLSCTX_REMOTE_SERVER | CLSCTX_LOCAL_SERVER, &info, 1, &query);
    EXPECT_EQ(hr, S_OK);
    list.Attach(static_cast<IOPCServerList2*>(static_cast<void*>(query.pItf)));
    return list;
}

QString ProgIdOf(REFCLSID clsid) {
    LPOLESTR text = nullptr;
    if (FAILED(ProgIDFromCLSID(clsid, &text)))
        return QString();
    const QString progId = zelk::com::ToQString(text);
    CoTaskMemFree(text);
    return progId;
}

} // namespace

TEST(SimServerRegistration, StartUpCallRegistersBothClassesLocally) {
    TSrvLeakCheck leaks;
    {
        TScopedAESimulator sim;
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(u"Zelk.AESimulator.1", &clsid), S_OK);
        EXPECT_EQ(clsid, CLSID_ZelkAESimulator);
        EXPECT_EQ(CLSIDFromProgID(u"Zelk.AESimulator", &clsid), S_OK);
        EXPECT_EQ(clsid, CLSID_ZelkAESimulator);
        EXPECT_EQ(CLSIDFromProgID(u"OPC.ServerList.1", &clsid), S_OK);
        EXPECT_EQ(clsid, CLSID_OpcServerList);
        const auto registration = zelk::com::LocalRegistry().Find(CLSID_ZelkAESimulator);
        ASSERT_TRUE(registration);
        EXPECT_EQ(registration->Description, S("Zelk OPC AE Simulation Server"));
        EXPECT_EQ(registration->ImplementedCategories, std::vector<CATID>{CATID_OPCAEServer10});
        ComPtr<IOPCCommon> common;
        EXPECT_EQ(CoCreateInstance(CLSID_ZelkAESimulator, nullptr,
                                   CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IOPCCommon,
                                   common.PutVoid()),
                  S_OK);
    }
    EXPECT_EQ(ProgIdOf(CLSID_ZelkAESimulator), QString()) << "unregistered again";
    EXPECT_EQ(ProgIdOf(CLSID_OpcServerList), QString());
}

TEST(SimServerRegistration, EnumeratorListsClassesOfCategories) {
    TSrvLeakCheck leaks;
    TScopedAESimulator sim;
    TSimClassOptions second;
    second.Clsid = ZelkGuid("5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A610");
    second.ProgID = S("Zelk.AESimulator.Second.1");
    second.VersionIndependentProgID = S("Zelk.AESimulator.Second");
    second.Description = S("Second AE Simulation");
    TScopedAESimulator secondSim(second, QString(), false);
    // A class of two categories is listed once when both are asked for.
    zelk::com::ClassRegistration both;
    both.Clsid = CLSID_OtherDaServer;
    both.ProgID = S("Other.Server.1");
    both.Description = S("Other server");
    both.ImplementedCategories = {CATID_OPCDAServer20, CATID_OPCAEServer10};
    both.Factory = zelk::com::MakeClassFactory([](REFIID, void**) { return E_NOTIMPL; });
    zelk::com::ScopedClassRegistration bothRegistration(both);

    ComPtr<IOPCServerList2> list = ServerList2();
    ASSERT_TRUE(list);
    CATID categories[] = {CATID_OPCAEServer10, CATID_OPCDAServer20};
    ComPtr<IOPCEnumGUID> found;
    ASSERT_EQ(list->EnumClassesOfCategories(2, categories, 0, nullptr, found.Put()), S_OK);
    std::vector<CLSID> classes = ReadAll(found.Get());
    EXPECT_EQ(classes,
              std::vector<CLSID>({CLSID_ZelkAESimulator, second.Clsid, CLSID_OtherDaServer}));
    ASSERT_EQ(list->EnumClassesOfCategories(1, categories + 1, 0, nullptr, found.Put()), S_OK);
    EXPECT_EQ(ReadAll(found.Get()), std::vector<CLSID>{CLSID_OtherDaServer});
    CATID historian[] = {CATID_OPCHDAServer10};
    ASSERT_EQ(list->EnumClassesOfCategories(1, historian, 0, nullptr, found.Put()), S_OK);
    EXPECT_TRUE(ReadAll(found.Get()).empty());
    EXPECT_EQ(list->EnumClassesOfCategories(1, nullptr, 0, nullptr, found.Put()), E_INVALIDARG);

    LPOLESTR progId = nullptr;
    LPOLESTR userType = nullptr;
    LPOLESTR versionIndependent = nullptr;
    ASSERT_EQ(list->GetClassDetails(second.Clsid, &progId, &userType, &versionIndependent), S_OK);
    EXPECT_EQ(zelk::com::ToQString(progId), S("Zelk.AESimulator.Second.1"));
    EXPECT_EQ(zelk::com::ToQString(userType), S("Second AE Simulation"));
    EXPECT_EQ(zelk::com::ToQString(versionIndependent), S("Zelk.AESimulator.Second"));
    for (LPOLESTR text : {progId, userType, versionIndependent})
        CoTaskMemFree(text);
    EXPECT_EQ(list->GetClassDetails(ZelkGuid("5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A6FF"), &progId,
                                    &userType, &versionIndependent),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);
    CLSID clsid{};
    EXPECT_EQ(list->CLSIDFromProgID(u"zelk.aesimulator.second", &clsid), S_OK);
    EXPECT_EQ(clsid, second.Clsid);
    EXPECT_EQ(list->CLSIDFromProgID(u"No.Such.Server", &clsid), CO_E_CLASSSTRING);

    // The older interface answers the same over IEnumGUID.
    ComPtr<IOPCServerList> older;
    ASSERT_EQ(list->QueryInterface(older.Put()), S_OK);
    ComPtr<IEnumGUID> oldFound;
    ASSERT_EQ(older->EnumClassesOfCategories(1, categories, 0, nullptr, oldFound.Put()), S_OK);
    EXPECT_EQ(ReadAll(oldFound.Get()).size(), 3u);
    ASSERT_EQ(older->GetClassDetails(CLSID_ZelkAESimulator, &progId, &userType), S_OK);
    EXPECT_EQ(zelk::com::ToQString(progId), S("Zelk.AESimulator.1"));
    EXPECT_EQ(zelk::com::ToQString(userType), S("Zelk OPC AE Simulation Server"));
    CoTaskMemFree(progId);
    CoTaskMemFree(userType);
}

TEST(SimServerRegistration, DeclaredComputerHasItsOwnClasses) {
    TSrvLeakCheck leaks;
    zelk::com::ScopedComputer plantPc(S("PLANTPC7"));
    {
        TScopedAESimulator sim(TSimClassOptions(), S("PLANTPC7"));
        EXPECT_EQ(ProgIdOf(CLSID_ZelkAESimulator), QString()) << "not on this computer";
        zelk::com::BStr name(S("PLANTPC7"));
        COSERVERINFO info{0, name.Get(), nullptr, 0};
        MULTI_QI query{&IID_IOPCEventServer, nullptr, S_OK};
        ASSERT_EQ(CoCreateInstanceEx(CLSID_ZelkAESimulator, nullptr, CLSCTX_REMOTE_SERVER, &info, 1,
                                     &query),
                  S_OK);
        ComPtr<IOPCEventServer> server;
        server.Attach(static_cast<IOPCEventServer*>(static_cast<void*>(query.pItf)));
        EXPECT_EQ(sim->ServerObjects(), 1);

        ComPtr<IOPCServerList2> list = ServerList2(S("PLANTPC7"));
        ASSERT_TRUE(list);
        CATID categories[] = {CATID_OPCAEServer10};
        ComPtr<IOPCEnumGUID> found;
        ASSERT_EQ(list->EnumClassesOfCategories(1, categories, 0, nullptr, found.Put()), S_OK);
        EXPECT_EQ(ReadAll(found.Get()), std::vector<CLSID>{CLSID_ZelkAESimulator});
    }
    EXPECT_FALSE(plantPc.Registry().Find(CLSID_ZelkAESimulator));
    EXPECT_FALSE(plantPc.Registry().Find(CLSID_OpcServerList));
    EXPECT_THROW(RegisterAESimulator(TSimClassOptions(), S("NOSUCHPC")), Exception);
}
