#include "COMTestSupport.h"

#include <algorithm>

namespace zelk::test {

using namespace zelk::com;

TComLeakCheck::TComLeakCheck() {
    GlobalInterfaceTable(); // created once and kept for the whole process
    FTaskAllocations = LiveTaskAllocations();
    FComObjects = LiveComObjects();
    FRegistryKeys = OpenRegistryKeys();
    FTableEntries = GlobalInterfaceTableEntries();
}

TComLeakCheck::~TComLeakCheck() {
    EXPECT_EQ(LiveTaskAllocations(), FTaskAllocations) << "task memory leaked";
    EXPECT_EQ(LiveComObjects(), FComObjects) << "COM objects leaked";
    EXPECT_EQ(OpenRegistryKeys(), FRegistryKeys) << "registry keys left open";
    EXPECT_EQ(GlobalInterfaceTableEntries(), FTableEntries) << "table entries not revoked";
}

TScopedHiddenClass::TScopedHiddenClass(REFCLSID clsid) : FSaved(LocalRegistry().Find(clsid)) {
    if (FSaved)
        LocalRegistry().Unregister(clsid);
}

TScopedHiddenClass::~TScopedHiddenClass() {
    if (FSaved)
        LocalRegistry().Register(std::move(*FSaved));
}

ClassRegistration BareClass(REFCLSID clsid, const QString& progId, const QString& description,
                            std::vector<CATID> categories) {
    ClassRegistration registration;
    registration.Clsid = clsid;
    registration.ProgID = progId;
    registration.Description = description;
    registration.ImplementedCategories = std::move(categories);
    registration.Factory = MakeClassFactory([] { return MakeEnumString(QStringList()); });
    return registration;
}

int AdvisedSinks(IConnectionPoint* point) {
    ComPtr<IEnumConnections> connections;
    EXPECT_EQ(point->EnumConnections(connections.Put()), S_OK);
    int count = 0;
    CONNECTDATA data{};
    ULONG fetched = 0;
    while (connections && connections->Next(1, &data, &fetched) == S_OK) {
        data.pUnk->Release();
        ++count;
    }
    return count;
}

void SendShutdown(IConnectionPoint* point) {
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.Put()), S_OK);
    CONNECTDATA data{};
    ULONG fetched = 0;
    while (connections->Next(1, &data, &fetched) == S_OK) {
        ComPtr<IUnknown> sink;
        sink.Attach(data.pUnk);
        ComPtr<IOPCShutdown> shutdown;
        ASSERT_EQ(sink.As(&shutdown), S_OK);
        EXPECT_EQ(shutdown->ShutdownRequest(u"maintenance"), S_OK);
    }
}

// ---- The server enumerator ----

namespace {

class TTestServerList : public ComObject<TTestServerList, IOPCServerList2, IOPCServerList> {
public:
    explicit TTestServerList(std::shared_ptr<TServerListScript> script)
        : FScript(std::move(script)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv && ((riid == IID_IOPCServerList2 && !FScript->List2) ||
                    (riid == IID_IOPCServerList && !FScript->List1))) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return ComObject::QueryInterface(riid, ppv);
    }

    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented, CATID rgcatidImpl[],
                                                      ULONG, CATID[],
                                                      IOPCEnumGUID** ppenumClsid) override {
        *ppenumClsid = nullptr;
        const auto classes = Matching(QStringLiteral("List2"), cImplemented, rgcatidImpl);
        if (FAILED(FScript->EnumResult))
            return FScript->EnumResult;
        *ppenumClsid = MakeEnumGUID<IOPCEnumGUID>(classes).Detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented, CATID rgcatidImpl[],
                                                      ULONG, CATID[],
                                                      IEnumGUID** ppenumClsid) override {
        *ppenumClsid = nullptr;
        const auto classes = Matching(QStringLiteral("List1"), cImplemented, rgcatidImpl);
        if (FAILED(FScript->EnumResult))
            return FScript->EnumResult;
        *ppenumClsid = MakeEnumGUID<IEnumGUID>(classes).Detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID,
                                              LPOLESTR* ppszUserType,
                                              LPOLESTR* ppszVerIndProgID) override {
        *ppszVerIndProgID = nullptr;
        const HRESULT hr = GetClassDetails(clsid, ppszProgID, ppszUserType);
        if (SUCCEEDED(hr))
            *ppszVerIndProgID = TaskMemString(QStringLiteral("Version.Independent"));
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID,
                                              LPOLESTR* ppszUserType) override {
        *ppszProgID = nullptr;
        *ppszUserType = nullptr;
        for (const auto& server : FScript->Servers) {
            if (server.Clsid != clsid)
                continue;
            if (server.DetailsFail)
                return E_FAIL;
            *ppszProgID = TaskMemString(server.ProgID);
            *ppszUserType = TaskMemString(server.UserType);
            return S_OK;
        }
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR, LPCLSID) override { return E_NOTIMPL; }

private:
    std::vector<GUID> Matching(const QString& interfaceName, ULONG count, const CATID* categories) {
        QStringList query{interfaceName};
        for (ULONG i = 0; i < count; ++i)
            query.append(CategoryName(categories[i]));
        FScript->Queries.append(query.join(u' '));
        std::vector<GUID> classes;
        for (const auto& server : FScript->Servers)
            if (std::any_of(categories, categories + count, [&](const CATID& c) {
                    return std::find(server.Categories.begin(), server.Categories.end(), c) !=
                           server.Categories.end();
                }))
                classes.push_back(server.Clsid);
        return classes;
    }

    std::shared_ptr<TServerListScript> FScript;
};

} // namespace

TTestServerListClass::TTestServerListClass(ClassRegistry& registry) {
    ClassRegistration registration;
    registration.Clsid = CLSID_OpcServerList;
    registration.ProgID = QStringLiteral("Test.ServerList.1");
    registration.Description = QStringLiteral("Test server enumerator");
    registration.ServerContext = CLSCTX_LOCAL_SERVER;
    registration.Factory = MakeClassFactory([script = Script] {
        ++script->Creations;
        return TTestServerList::Create(script);
    });
    FRegistration.emplace(std::move(registration), registry);
}

QString CategoryName(REFCATID catid) {
    const std::pair<CATID, const char*> names[] = {
        {CATID_OPCDAServer10, "DA10"},    {CATID_OPCDAServer20, "DA20"},
        {CATID_OPCDAServer30, "DA30"},    {CATID_OPCBatchServer10, "BA10"},
        {CATID_OPCBatchServer20, "BA20"}, {CATID_OPCDXServer10, "DX10"},
        {CATID_OPCHDAServer10, "HDA10"},  {CATID_OPCAEServer10, "AE10"}};
    for (const auto& [id, name] : names)
        if (id == catid)
            return QString::fromLatin1(name);
    return QStringLiteral("?");
}

QString ReportText(const QString& caption, const QString& name, const QString& clsId,
                   tZelkServerSet kinds) {
    QStringList kindNames;
    const char* names[] = {"DA10", "DA20", "DA30", "AE10", "BA10", "BA20", "DX10", "HDA10", "UA"};
    for (int i = 0; i < 9; ++i)
        if (kinds.Contains(static_cast<tZelkServerKind>(i)))
            kindNames.append(QString::fromLatin1(names[i]));
    return QStringList{caption, name, clsId, kindNames.join(u',')}.join(u'|');
}

void TPostRecorder::PostMsg(std::int32_t MessageId, std::int64_t IParam,
                            std::unique_ptr<TObject> OParam) {
    std::lock_guard lock(FLock);
    FPosted.append(QStringLiteral("%1 %2 %3")
                       .arg(MessageId)
                       .arg(IParam)
                       .arg(OParam ? QStringLiteral("object") : QStringLiteral("null")));
}

QStringList TPostRecorder::Posted() const {
    std::lock_guard lock(FLock);
    return FPosted;
}

} // namespace zelk::test
