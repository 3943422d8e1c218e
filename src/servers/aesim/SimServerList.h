#pragma once

// The OPC server enumerator stand-in (class CLSID_OpcServerList, "OPC.ServerList.1"): the
// classes of one computer's class registry by component category, with their ProgIDs
// and descriptions, through IOPCServerList2 (IOPCEnumGUID) and IOPCServerList (IEnumGUID).

#include "comobject.h"
#include "opccomn.h"
#include "registry.h"

#include <memory>

namespace zelk::aesim {

class TSimServerList final
    : public zelk::com::ComObject<TSimServerList, IOPCServerList2, IOPCServerList> {
public:
    explicit TSimServerList(std::shared_ptr<zelk::com::ClassRegistry> registry);

    // A class is listed once when it implements any of the `cImplemented` categories
    // ((ULONG)-1: any class) and requires nothing beyond the `cRequired` ones ((ULONG)-1:
    // not checked).
    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented, CATID rgcatidImpl[],
                                                      ULONG cRequired, CATID rgcatidReq[],
                                                      IOPCEnumGUID** ppenumClsid) override;
    HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented, CATID rgcatidImpl[],
                                                      ULONG cRequired, CATID rgcatidReq[],
                                                      IEnumGUID** ppenumClsid) override;
    // REGDB_E_CLASSNOTREG for a class that is not registered.
    HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID,
                                              LPOLESTR* ppszUserType,
                                              LPOLESTR* ppszVerIndProgID) override;
    HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID,
                                              LPOLESTR* ppszUserType) override;
    // CO_E_CLASSSTRING for an unknown ProgID.
    HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) override;

private:
    // The enumerator of the classes that implement any of the categories, either kind.
    template <class TEnum>
    HRESULT EnumClasses(ULONG cImplemented, CATID rgcatidImpl[], ULONG cRequired,
                        CATID rgcatidReq[], TEnum** ppenumClsid);
    HRESULT Classes(ULONG cImplemented, const CATID* rgcatidImpl, ULONG cRequired,
                    const CATID* rgcatidReq, std::vector<CLSID>& classes) const;

    const std::shared_ptr<zelk::com::ClassRegistry> FRegistry;
};

// The class registration of the enumerator for `registry`. The factory holds the
// registry weakly, so a computer's registry does not keep itself alive through it.
zelk::com::ClassRegistration
ServerListRegistration(const std::shared_ptr<zelk::com::ClassRegistry>& registry);

} // namespace zelk::aesim
