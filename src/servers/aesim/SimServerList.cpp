#include "SimServerList.h"

#include "bstr.h"
#include "enumerators.h"
#include "opcenum.h"

#include <algorithm>

namespace zelk::aesim {

namespace {

constexpr ULONG AnyCategory = static_cast<ULONG>(-1);

bool Contains(const std::vector<CATID>& list, REFCATID catid) {
    return std::find(list.begin(), list.end(), catid) != list.end();
}

} // namespace

TSimServerList::TSimServerList(std::shared_ptr<zelk::com::ClassRegistry> registry)
    : FRegistry(std::move(registry)) {}

HRESULT TSimServerList::Classes(ULONG cImplemented, const CATID* rgcatidImpl, ULONG cRequired,
                                const CATID* rgcatidReq, std::vector<CLSID>& classes) const {
    if ((cImplemented != AnyCategory && cImplemented > 0 && !rgcatidImpl) ||
        (cRequired != AnyCategory && cRequired > 0 && !rgcatidReq))
        return E_INVALIDARG;
    for (const zelk::com::ClassRegistration& registration : FRegistry->Classes()) {
        bool implements = cImplemented == AnyCategory;
        for (ULONG i = 0; !implements && i < cImplemented; ++i)
            implements = Contains(registration.ImplementedCategories, rgcatidImpl[i]);
        bool satisfied = true;
        if (cRequired != AnyCategory)
            for (const CATID& required : registration.RequiredCategories)
                satisfied = satisfied && std::find(rgcatidReq, rgcatidReq + cRequired, required) !=
                                             rgcatidReq + cRequired;
        if (implements && satisfied)
            classes.push_back(registration.Clsid);
    }
    return S_OK;
}

template <class TEnum>
HRESULT TSimServerList::EnumClasses(ULONG cImplemented, CATID rgcatidImpl[], ULONG cRequired,
                                    CATID rgcatidReq[], TEnum** ppenumClsid) {
    if (!ppenumClsid)
        return E_POINTER;
    *ppenumClsid = nullptr;
    return zelk::com::ComBoundary([&] {
        std::vector<CLSID> classes;
        const HRESULT hr = Classes(cImplemented, rgcatidImpl, cRequired, rgcatidReq, classes);
        if (SUCCEEDED(hr))
            *ppenumClsid = zelk::com::MakeEnumGUID<TEnum>(std::move(classes)).Detach();
        return hr;
    });
}

HRESULT TSimServerList::EnumClassesOfCategories(ULONG cImplemented, CATID rgcatidImpl[],
                                                ULONG cRequired, CATID rgcatidReq[],
                                                IOPCEnumGUID** ppenumClsid) {
    return EnumClasses(cImplemented, rgcatidImpl, cRequired, rgcatidReq, ppenumClsid);
}

HRESULT TSimServerList::EnumClassesOfCategories(ULONG cImplemented, CATID rgcatidImpl[],
                                                ULONG cRequired, CATID rgcatidReq[],
                                                IEnumGUID** ppenumClsid) {
    return EnumClasses(cImplemented, rgcatidImpl, cRequired, rgcatidReq, ppenumClsid);
}

HRESULT TSimServerList::GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID,
                                        LPOLESTR* ppszUserType, LPOLESTR* ppszVerIndProgID) {
    for (LPOLESTR* out : {ppszProgID, ppszUserType, ppszVerIndProgID})
        if (out)
            *out = nullptr;
    if (!ppszProgID || !ppszUserType || !ppszVerIndProgID)
        return E_POINTER;
    return zelk::com::ComBoundary([&] {
        const std::optional<zelk::com::ClassRegistration> found = FRegistry->Find(clsid);
        if (!found)
            return REGDB_E_CLASSNOTREG;
        LPOLESTR progId = zelk::com::TaskStrFromQString(found->ProgID);
        LPOLESTR userType = nullptr;
        LPOLESTR versionIndependent = nullptr;
        try {
            userType = zelk::com::TaskStrFromQString(found->Description);
            versionIndependent = zelk::com::TaskStrFromQString(found->VersionIndependentProgID);
        } catch (...) {
            CoTaskMemFree(progId);
            CoTaskMemFree(userType);
            throw;
        }
        *ppszProgID = progId;
        *ppszUserType = userType;
        *ppszVerIndProgID = versionIndependent;
        return S_OK;
    });
}

HRESULT TSimServerList::GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID,
                                        LPOLESTR* ppszUserType) {
    if (ppszProgID)
        *ppszProgID = nullptr;
    if (ppszUserType)
        *ppszUserType = nullptr;
    if (!ppszProgID || !ppszUserType)
        return E_POINTER;
    LPOLESTR versionIndependent = nullptr;
    const HRESULT hr = GetClassDetails(clsid, ppszProgID, ppszUserType, &versionIndependent);
    CoTaskMemFree(versionIndependent);
    return hr;
}

HRESULT TSimServerList::CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) {
    if (!clsid)
        return E_POINTER;
    *clsid = CLSID_NULL;
    if (!szProgId)
        return E_INVALIDARG;
    return zelk::com::ComBoundary([&] {
        const std::optional<CLSID> found = FRegistry->FindProgID(zelk::com::ToQString(szProgId));
        if (!found)
            return CO_E_CLASSSTRING;
        *clsid = *found;
        return S_OK;
    });
}

zelk::com::ClassRegistration
ServerListRegistration(const std::shared_ptr<zelk::com::ClassRegistry>& registry) {
    zelk::com::ClassRegistration registration;
    registration.Clsid = CLSID_OpcServerList;
    registration.ProgID = QStringLiteral("OPC.ServerList.1");
    registration.VersionIndependentProgID = QStringLiteral("OPC.ServerList");
    registration.Description = QStringLiteral("OPC Server List");
    registration.ServerContext = CLSCTX_LOCAL_SERVER;
    std::weak_ptr<zelk::com::ClassRegistry> weak = registry;
    registration.Factory = zelk::com::MakeClassFactory([weak] {
        const std::shared_ptr<zelk::com::ClassRegistry> registry = weak.lock();
        return registry ? TSimServerList::Create(registry) : ComPtr<TSimServerList>();
    });
    return registration;
}

} // namespace zelk::aesim
