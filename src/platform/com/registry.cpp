#include "registry.h"

#include "Exceptions.h"
#include "OsHelpers.h"
#include "catinfo.h"
#include "comobject.h"
#include "enumerators.h"
#include "git.h"

#include <QSysInfo>
#include <algorithm>
#include <utility>

// ---- ClassRegistry ----

namespace zelk::com {

HRESULT ClassRegistry::Register(ClassRegistration registration) {
    if (!registration.Factory || IsEqualCLSID(registration.Clsid, CLSID_NULL))
        return E_INVALIDARG;
    ClassRegistration replaced; // released after the lock: its factory may run any code
    std::lock_guard lock(FMutex);
    auto it = std::find_if(FClasses.begin(), FClasses.end(), [&](const ClassRegistration& c) {
        return IsEqualCLSID(c.Clsid, registration.Clsid);
    });
    if (it == FClasses.end()) {
        FClasses.push_back(std::move(registration));
    } else {
        replaced = std::move(*it);
        *it = std::move(registration);
    }
    return S_OK;
}

bool ClassRegistry::Unregister(REFCLSID clsid) {
    ClassRegistration removed; // released after the lock
    std::lock_guard lock(FMutex);
    auto it = std::find_if(FClasses.begin(), FClasses.end(), [&](const ClassRegistration& c) {
        return IsEqualCLSID(c.Clsid, clsid);
    });
    if (it == FClasses.end())
        return false;
    removed = std::move(*it);
    FClasses.erase(it);
    return true;
}

std::optional<ClassRegistration> ClassRegistry::Find(REFCLSID clsid) const {
    std::lock_guard lock(FMutex);
    for (const auto& c : FClasses)
        if (IsEqualCLSID(c.Clsid, clsid))
            return c;
    return std::nullopt;
}

std::optional<CLSID> ClassRegistry::FindProgID(const QString& progId) const {
    if (progId.isEmpty())
        return std::nullopt;
    std::lock_guard lock(FMutex);
    for (const auto& c : FClasses)
        if (c.ProgID.compare(progId, Qt::CaseInsensitive) == 0 ||
            c.VersionIndependentProgID.compare(progId, Qt::CaseInsensitive) == 0)
            return c.Clsid;
    return std::nullopt;
}

std::vector<ClassRegistration> ClassRegistry::Classes() const {
    std::lock_guard lock(FMutex);
    return FClasses;
}

void ClassRegistry::RegisterCategory(REFCATID catid, LCID lcid, const QString& description) {
    std::lock_guard lock(FMutex);
    for (auto& c : FCategories)
        if (IsEqualGUID(c.Catid, catid) && c.Lcid == lcid) {
            c.Description = description;
            return;
        }
    FCategories.push_back({catid, lcid, description});
}

bool ClassRegistry::UnregisterCategory(REFCATID catid) {
    std::lock_guard lock(FMutex);
    return std::erase_if(FCategories, [&](const CategoryRegistration& c) {
               return IsEqualGUID(c.Catid, catid);
           }) > 0;
}

std::vector<CategoryRegistration> ClassRegistry::Categories() const {
    std::lock_guard lock(FMutex);
    return FCategories;
}

// ---- Computers ----

namespace {

QString StripBackslashes(const QString& name) {
    qsizetype first = 0;
    while (first < name.size() && name[first] == u'\\')
        ++first;
    return name.mid(first);
}

std::shared_ptr<ClassRegistry> NewLocalRegistry() {
    auto registry = std::make_shared<ClassRegistry>();
    // The system's own in-process classes, present on the local computer only.
    auto registerSystemClass = [&](REFCLSID clsid, const QString& description,
                                   ComPtr<IClassFactory> factory) {
        ClassRegistration system;
        system.Clsid = clsid;
        system.Description = description;
        system.ServerContext = CLSCTX_INPROC_SERVER;
        system.Factory = std::move(factory);
        registry->Register(std::move(system));
    };
    registerSystemClass(CLSID_StdComponentCategoriesMgr,
                        QStringLiteral("StdComponentCategoriesMgr"),
                        detail::ComponentCategoriesManagerFactory());
    registerSystemClass(CLSID_StdGlobalInterfaceTable, QStringLiteral("StdGlobalInterfaceTable"),
                        detail::GlobalInterfaceTableFactory());
    return registry;
}

const std::shared_ptr<ClassRegistry>& LocalRegistryPtr() {
    static const std::shared_ptr<ClassRegistry> registry = NewLocalRegistry();
    return registry;
}

// Built while the program starts, so that the system classes' factories already exist
// when anyone first counts the live objects (LiveComObjects).
[[maybe_unused]] const bool gLocalRegistryBuilt = LocalRegistryPtr() != nullptr;

struct DeclaredComputer {
    QString Name; // upper case, without leading backslashes
    std::shared_ptr<ClassRegistry> Registry;
};

struct Network {
    std::mutex Mutex;
    std::vector<DeclaredComputer> Computers;
};

Network& TheNetwork() {
    static Network network;
    return network;
}

} // namespace

QString LocalComputerName() {
    // The name GetComputerNameW reports, so that a caller comparing a computer name with
    // it and activation agree on what is local.
    const QString name = zelk::rtl::LocalComputerName();
    return name.isEmpty() ? QStringLiteral("LOCALHOST") : name;
}

bool IsLocalComputerName(const QString& name) {
    if (name.isEmpty())
        return true;
    const QString bare = StripBackslashes(name);
    return bare.compare(LocalComputerName(), Qt::CaseInsensitive) == 0 ||
           bare.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0 ||
           bare.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           bare == QLatin1String("127.0.0.1");
}

ClassRegistry& LocalRegistry() {
    return *LocalRegistryPtr();
}

std::shared_ptr<ClassRegistry> ComputerRegistry(const QString& name) {
    if (IsLocalComputerName(name))
        return LocalRegistryPtr();
    const QString key = StripBackslashes(name).toUpper();
    Network& network = TheNetwork();
    std::lock_guard lock(network.Mutex);
    for (const auto& computer : network.Computers)
        if (computer.Name == key)
            return computer.Registry;
    return nullptr;
}

std::shared_ptr<ClassRegistry> DeclareComputer(const QString& name) {
    if (IsLocalComputerName(name))
        throw Exception(QStringLiteral("\"%1\" is the local computer").arg(name));
    const QString key = StripBackslashes(name).toUpper();
    Network& network = TheNetwork();
    std::lock_guard lock(network.Mutex);
    for (const auto& computer : network.Computers)
        if (computer.Name == key)
            return computer.Registry;
    network.Computers.push_back({key, std::make_shared<ClassRegistry>()});
    return network.Computers.back().Registry;
}

bool RemoveComputer(const QString& name) {
    const QString key = StripBackslashes(name).toUpper();
    std::shared_ptr<ClassRegistry> removed; // its factories go after the lock
    Network& network = TheNetwork();
    std::lock_guard lock(network.Mutex);
    auto it = std::find_if(network.Computers.begin(), network.Computers.end(),
                           [&](const DeclaredComputer& c) { return c.Name == key; });
    if (it == network.Computers.end())
        return false;
    removed = std::move(it->Registry);
    network.Computers.erase(it);
    return true;
}

QStringList DeclaredComputers() {
    Network& network = TheNetwork();
    std::lock_guard lock(network.Mutex);
    QStringList names;
    for (const auto& computer : network.Computers)
        names.append(computer.Name);
    return names;
}

// ---- Class factories ----

namespace {

class TFunctionClassFactory : public ComObject<TFunctionClassFactory, IClassFactory> {
public:
    explicit TFunctionClassFactory(TCreateInstance create) : FCreate(std::move(create)) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override {
        if (!ppvObject)
            return E_POINTER;
        *ppvObject = nullptr;
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        return ComBoundary([&] { return FCreate(riid, ppvObject); });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    const TCreateInstance FCreate;
};

} // namespace

ComPtr<IClassFactory> MakeClassFactory(TCreateInstance create) {
    return TFunctionClassFactory::Create(std::move(create));
}

// ---- Scoped helpers ----

ScopedClassRegistration::ScopedClassRegistration(ClassRegistration registration,
                                                 ClassRegistry& registry)
    : FRegistry(registry), FClsid(registration.Clsid) {
    const HRESULT hr = FRegistry.Register(std::move(registration));
    if (FAILED(hr))
        throw EOleSysError(QStringLiteral("Class registration refused"), hr);
}

ScopedClassRegistration::~ScopedClassRegistration() {
    FRegistry.Unregister(FClsid);
}

ScopedComputer::ScopedComputer(const QString& name) : FName(name) {
    if (ComputerRegistry(name))
        throw Exception(QStringLiteral("Computer \"%1\" is already reachable").arg(name));
    FRegistry = DeclareComputer(name);
}

ScopedComputer::~ScopedComputer() {
    RemoveComputer(FName);
}

} // namespace zelk::com

// ---- ProgID conversions ----

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid)
        return E_INVALIDARG;
    *lpclsid = CLSID_NULL;
    const auto clsid = zelk::com::LocalRegistry().FindProgID(QString::fromUtf16(lpszProgID));
    if (!clsid)
        return CO_E_CLASSSTRING;
    *lpclsid = *clsid;
    return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID)
        return E_INVALIDARG;
    *lplpszProgID = nullptr;
    const auto registration = zelk::com::LocalRegistry().Find(clsid);
    if (!registration || registration->ProgID.isEmpty())
        return REGDB_E_CLASSNOTREG;
    *lplpszProgID = zelk::com::TaskMemString(registration->ProgID);
    return *lplpszProgID ? S_OK : E_OUTOFMEMORY;
}
