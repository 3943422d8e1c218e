#pragma once

// The class registry: the stand-in for the class entries under HKEY_CLASSES_ROOT and
// for the registered component categories. Each computer has its own registry; the
// local computer's always exists, further computers are declared by tests (a simulated
// network reached in-process) and removed again. A name that is neither local nor
// declared is an unreachable computer.
//
// A server registers its classes at start-up, the way a Windows server registers
// itself; activation (activation.h) creates objects through the registered factory.
// Every registry is thread-safe; factories are never called under its lock.

#include "comifaces.h"
#include "comptr.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

// Class contexts (CLSCTX): where an object may be created.
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_SERVER =
    CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

// The class of a registered ProgID (either form, case-insensitive) on the local
// computer; CO_E_CLASSSTRING for an unknown ProgID, as Windows answers.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// The ProgID of a class on the local computer as task memory (CoTaskMemFree);
// REGDB_E_CLASSNOTREG when the class is unknown or has no ProgID.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

namespace zelk::com {

struct ClassRegistration {
    CLSID Clsid{};
    QString ProgID;                   // "Vendor.Server.1"; empty when the class has none
    QString VersionIndependentProgID; // "Vendor.Server"; may be empty
    QString Description;              // the default value of HKEY_CLASSES_ROOT\CLSID\{…}
    std::vector<CATID> ImplementedCategories;
    std::vector<CATID> RequiredCategories;
    // How the class is served: CLSCTX_INPROC_SERVER (a DLL) and/or CLSCTX_LOCAL_SERVER
    // (an executable). Another computer can only start local servers.
    DWORD ServerContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;
    ComPtr<IClassFactory> Factory;
};

// One registered description of a component category.
struct CategoryRegistration {
    CATID Catid{};
    LCID Lcid = 0;
    QString Description;
};

class ClassRegistry {
public:
    ClassRegistry() = default;
    ClassRegistry(const ClassRegistry&) = delete;
    ClassRegistry& operator=(const ClassRegistry&) = delete;

    // Adds the class, or replaces an earlier registration of the same CLSID (as writing
    // the registry again would). E_INVALIDARG without a factory or with CLSID_NULL.
    HRESULT Register(ClassRegistration registration);
    // False when the class was not registered.
    bool Unregister(REFCLSID clsid);
    std::optional<ClassRegistration> Find(REFCLSID clsid) const;
    // The class whose ProgID or version-independent ProgID is `progId` (any case).
    std::optional<CLSID> FindProgID(const QString& progId) const;
    // Every registration, in the order of registration.
    std::vector<ClassRegistration> Classes() const;

    // Adds or replaces the description of `catid` for `lcid`.
    void RegisterCategory(REFCATID catid, LCID lcid, const QString& description);
    // Removes every description of `catid`; false when it had none.
    bool UnregisterCategory(REFCATID catid);
    std::vector<CategoryRegistration> Categories() const;

private:
    mutable std::mutex FMutex;
    std::vector<ClassRegistration> FClasses;
    std::vector<CategoryRegistration> FCategories;
};

// ---- Computers ----

// The local computer's name as GetComputerNameW gives it (the host name's first label,
// upper case).
QString LocalComputerName();
// Whether `name` designates the local computer: null or empty, the local name in any
// case, optionally after leading backslashes ("\\\\NAME"), "localhost" or "127.0.0.1".
bool IsLocalComputerName(const QString& name);

// The local computer's registry, which also holds the system classes
// (CLSID_StdComponentCategoriesMgr, CLSID_StdGlobalInterfaceTable; in-process only).
ClassRegistry& LocalRegistry();
// The registry of the computer `name` (local, or declared), or null when the computer
// is unreachable.
std::shared_ptr<ClassRegistry> ComputerRegistry(const QString& name);

// Declares a reachable computer with an empty registry of its own (or returns the one
// already declared under that name, in any case). Throws Exception for a local name.
std::shared_ptr<ClassRegistry> DeclareComputer(const QString& name);
// Makes the computer unreachable again; objects already created on it live on.
bool RemoveComputer(const QString& name);
// The declared computers' names, upper case, in declaration order.
QStringList DeclaredComputers();

// ---- Class factories ----

// The creation function of a class: creates one object and answers it for `riid`.
using TCreateInstance = std::function<HRESULT(REFIID riid, void** ppv)>;

// A class factory that calls `create` for each CreateInstance. Aggregation is refused
// (CLASS_E_NOAGGREGATION); an exception escaping `create` becomes its HRESULT.
ComPtr<IClassFactory> MakeClassFactory(TCreateInstance create);

// A class factory over a function that returns a new object as ComPtr<T> (for example
// [] { return TMyServer::Create(); }). When the object lacks the asked interface, the
// factory answers E_NOINTERFACE and the object goes with its last reference.
template <class Fn>
requires std::is_invocable_v<Fn> ComPtr<IClassFactory> MakeClassFactory(Fn create) {
    return MakeClassFactory(
        TCreateInstance([create = std::move(create)](REFIID riid, void** ppv) -> HRESULT {
            auto object = create();
            if (!object)
                return E_FAIL;
            return object->QueryInterface(riid, ppv);
        }));
}

// ---- Scoped helpers for tests and servers ----

// Registers a class for its lifetime (in `registry`, which must outlive it). A class
// registered again under the same CLSID meanwhile is unregistered all the same.
class ScopedClassRegistration {
public:
    explicit ScopedClassRegistration(ClassRegistration registration,
                                     ClassRegistry& registry = LocalRegistry());
    ~ScopedClassRegistration();
    ScopedClassRegistration(const ScopedClassRegistration&) = delete;
    ScopedClassRegistration& operator=(const ScopedClassRegistration&) = delete;

private:
    ClassRegistry& FRegistry;
    CLSID FClsid;
};

// Declares a computer for its lifetime; throws Exception when the name is local or
// already declared.
class ScopedComputer {
public:
    explicit ScopedComputer(const QString& name);
    ~ScopedComputer();
    ScopedComputer(const ScopedComputer&) = delete;
    ScopedComputer& operator=(const ScopedComputer&) = delete;

    ClassRegistry& Registry() const { return *FRegistry; }
    const QString& Name() const { return FName; }

private:
    QString FName;
    std::shared_ptr<ClassRegistry> FRegistry;
};

} // namespace zelk::com
