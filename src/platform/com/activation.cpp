#include "activation.h"

#include "comobject.h"

#include <mutex>

namespace {

using namespace zelk::com;

struct ThreadInitialization {
    int Count = 0;
    DWORD Model = COINIT_MULTITHREADED; // valid while Count > 0
};
thread_local ThreadInitialization tInitialization;

std::mutex gSecurityMutex;
std::optional<SecuritySettings> gSecurity; // guarded by gSecurityMutex

constexpr DWORD LocalContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// The factory of `clsid` on the computer of `serverInfo` (null: the local computer),
// when the class is served there in one of the contexts asked for.
HRESULT FindFactory(REFCLSID clsid, DWORD clsContext, const COSERVERINFO* serverInfo,
                    ComPtr<IClassFactory>& factory) {
    if ((clsContext & CLSCTX_ALL) == 0)
        return E_INVALIDARG;
    const QString computer =
        serverInfo && serverInfo->pwszName ? QString::fromUtf16(serverInfo->pwszName) : QString();
    const std::shared_ptr<ClassRegistry> registry = ComputerRegistry(computer);
    if (!registry)
        return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
    // A remote activation starts the class's local server on its computer, whichever
    // computer that is; in-process code can only come from the local computer.
    DWORD contexts = (clsContext & CLSCTX_REMOTE_SERVER) ? CLSCTX_LOCAL_SERVER : 0;
    if (IsLocalComputerName(computer))
        contexts |= clsContext & LocalContexts;
    const auto registration = registry->Find(clsid);
    if (!registration || (registration->ServerContext & contexts) == 0)
        return REGDB_E_CLASSNOTREG;
    factory = registration->Factory;
    return S_OK;
}

} // namespace

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved)
        return E_INVALIDARG;
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (tInitialization.Count > 0 && tInitialization.Model != model)
        return RPC_E_CHANGED_MODE;
    if (tInitialization.Count++ > 0)
        return S_FALSE;
    tInitialization.Model = model;
    return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    if (tInitialization.Count > 0)
        --tInitialization.Count;
}

HRESULT CoInitializeSecurity(PSECURITY_DESCRIPTOR pSecDesc, LONG cAuthSvc,
                             SOLE_AUTHENTICATION_SERVICE* asAuthSvc, void* /*pReserved1*/,
                             DWORD dwAuthnLevel, DWORD dwImpLevel, void* pAuthList,
                             DWORD dwCapabilities, void* /*pReserved3*/) {
    std::lock_guard lock(gSecurityMutex);
    if (gSecurity)
        return RPC_E_TOO_LATE;
    if (cAuthSvc < -1 || (cAuthSvc == -1 && asAuthSvc) || (cAuthSvc > 0 && !asAuthSvc))
        return E_INVALIDARG;
    gSecurity = SecuritySettings{pSecDesc,   cAuthSvc,  asAuthSvc != nullptr, dwAuthnLevel,
                                 dwImpLevel, pAuthList, dwCapabilities};
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    ComPtr<IClassFactory> factory;
    const HRESULT hr = FindFactory(rclsid, dwClsContext, nullptr, factory);
    if (FAILED(hr))
        return hr;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    return ComBoundary([&] { return factory->CreateInstance(nullptr, riid, ppv); });
}

HRESULT CoCreateInstanceEx(REFCLSID rclsid, IUnknown* punkOuter, DWORD dwClsCtx,
                           COSERVERINFO* pServerInfo, DWORD dwCount, MULTI_QI* pResults) {
    if (dwCount == 0 || !pResults)
        return E_INVALIDARG;
    for (DWORD i = 0; i < dwCount; ++i)
        if (!pResults[i].pIID)
            return E_INVALIDARG;
    auto failAll = [&](HRESULT hr) {
        for (DWORD i = 0; i < dwCount; ++i) {
            pResults[i].pItf = nullptr;
            pResults[i].hr = hr;
        }
        return hr;
    };
    ComPtr<IClassFactory> factory;
    HRESULT hr = FindFactory(rclsid, dwClsCtx, pServerInfo, factory);
    if (FAILED(hr))
        return failAll(hr);
    if (punkOuter)
        return failAll(CLASS_E_NOAGGREGATION);
    ComPtr<IUnknown> object;
    hr = ComBoundary(
        [&] { return factory->CreateInstance(nullptr, IID_IUnknown, object.PutVoid()); });
    if (SUCCEEDED(hr) && !object)
        hr = E_UNEXPECTED;
    if (FAILED(hr))
        return failAll(hr);
    DWORD answered = 0;
    for (DWORD i = 0; i < dwCount; ++i) {
        MULTI_QI& entry = pResults[i];
        entry.pItf = nullptr;
        entry.hr = object->QueryInterface(*entry.pIID, reinterpret_cast<void**>(&entry.pItf));
        if (FAILED(entry.hr))
            entry.pItf = nullptr;
        else
            ++answered;
    }
    if (answered == dwCount)
        return S_OK;
    return answered > 0 ? CO_S_NOTALLINTERFACES : E_NOINTERFACE;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* pServerInfo,
                         REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    ComPtr<IClassFactory> factory;
    const HRESULT hr = FindFactory(rclsid, dwClsContext, pServerInfo, factory);
    if (FAILED(hr))
        return hr;
    return factory->QueryInterface(riid, ppv);
}

namespace zelk::com {

int ThreadInitializeCount() {
    return tInitialization.Count;
}

std::optional<SecuritySettings> ProcessSecurity() {
    std::lock_guard lock(gSecurityMutex);
    return gSecurity;
}

void ResetProcessSecurity() {
    std::lock_guard lock(gSecurityMutex);
    gSecurity.reset();
}

} // namespace zelk::com
