#pragma once

// The simulated server's area browser (IOPCEventAreaBrowser), made by
// CreateSimAreaBrowser (SimCatalog.h). It walks the tree that the catalog's fully
// qualified area and source names describe, "." between levels; an area exists when it
// is named itself or lies above a named area or source. The position is the qualified
// name of the current area, empty at the root, and starts there.
//
// Calls the server's fault injection records:
//   IOPCEventAreaBrowser::ChangeBrowsePosition  "Direction=2 Name=\"Plant1\"" (Name=null)
//   IOPCEventAreaBrowser::BrowseOPCAreas        "Type=1 Filter=\"Tank*\"" (Filter=null)

#include "SimCatalog.h"
#include "SimFaults.h"
#include "comobject.h"
#include "opc_ae.h"

#include <QHash>
#include <QSet>
#include <mutex>

namespace zelk::aesim {

class TSimAreaBrowser final : public zelk::com::ComObject<TSimAreaBrowser, IOPCEventAreaBrowser> {
public:
    TSimAreaBrowser(ComPtr<IUnknown> server, ISimCatalog& catalog, TSimFaults& faults);

    // UP at the root answers E_FAIL; DOWN into a name that is no child area of the
    // position, or TO a name that is no area, OPC_E_INVALIDBRANCHNAME; TO "" (or null)
    // goes to the root.
    HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCAEBROWSEDIRECTION dwBrowseDirection,
                                                   LPCWSTR szString) override;
    // The short names of the areas or sources right below the position that match the
    // OPC wildcard filter (null or "" matches all), in the catalog's order; S_FALSE and an
    // empty enumerator when none does.
    HRESULT STDMETHODCALLTYPE BrowseOPCAreas(OPCAEBROWSETYPE dwBrowseFilterType,
                                             LPCWSTR szFilterCriteria,
                                             IEnumString** ppIEnumString) override;
    // The qualified name of a child area or source of the position; E_INVALIDARG for a
    // name that is none at this level.
    HRESULT STDMETHODCALLTYPE GetQualifiedAreaName(LPCWSTR szAreaName,
                                                   LPWSTR* pszQualifiedAreaName) override;
    HRESULT STDMETHODCALLTYPE GetQualifiedSourceName(LPCWSTR szSourceName,
                                                     LPWSTR* pszQualifiedSourceName) override;

private:
    struct TTree {
        QSet<QString> AreaSet; // qualified
        QSet<QString> SourceSet;
        // The qualified names right below each area ("" the root), in catalog order.
        QHash<QString, QStringList> ChildAreas;
        QHash<QString, QStringList> ChildSources;
    };

    // Read from the catalog at the first call, whose names are fixed for the server's
    // life; a plant of thousands of areas is then browsed without a walk per call.
    const TTree& Tree() const;
    QString Position() const;
    // `name` as a child of the position, or a null string when it cannot be one.
    QString Child(LPCWSTR name) const;
    HRESULT Qualify(LPCWSTR name, bool area, LPWSTR* qualified);

    const ComPtr<IUnknown> FServer; // kept alive as long as the browser
    ISimCatalog& FCatalog;          // the server's; lives as long as FServer
    TSimFaults& FFaults;            // the server class's; outlives every server object
    mutable std::mutex FMutex;
    QString FPosition; // guarded by FMutex
    mutable std::once_flag FTreeOnce;
    mutable TTree FTree; // written once, under FTreeOnce
};

} // namespace zelk::aesim
