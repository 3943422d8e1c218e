#pragma once

// TZelkCOMServerBrowser: the COM transport's server enumerator. It lists the OPC servers
// of this or a named computer through the OPC server enumerator (OPCEnum) and, on this
// computer when OPCEnum is missing, through the component categories manager and the
// class descriptions of the registry.

#include "ZelkComn.h"
#include "objbase.h"
#include "opcenum.h"

#include <vector>

class TZelkCOMServerBrowser : public TZelkIntfComponent<TZelkCOMServerBrowser, IZelkServerBrowser> {
public:
    explicit TZelkCOMServerBrowser(TComponent* AOwner = nullptr) : TZelkIntfComponent(AOwner) {}

    // Reports every server of the kinds in `Servertype` (bits 0 to 7; svr_UA has no
    // category) on `Computer` (empty: this computer) through `AddServerEvent`, as
    // (description, ProgID, class id text, kind). With the with-types bit the kinds are
    // walked one by one in the order of CategoriesOf and each report names its kind;
    // without it one query covers them all and reports an empty kind, unless OPCEnum is
    // missing locally, whose fallback always walks the kinds. `Proxy` is not used.
    // A remote computer that cannot be reached raises EOleSysError; one without a usable
    // OPCEnum raises EOPCServerListException.
    void Execute(tZelkServerSet Servertype, const QString& Computer, const QString& Proxy,
                 int Options, const tZelkAddServerEvent& AddServerEvent) override;

    // The OPC component categories of the kinds in `Servertype`, Data Access first and
    // Alarms and Events last.
    static std::vector<CATID> CategoriesOf(tZelkServerSet Servertype);

private:
    void BrowseKind(tZelkServerKind Kind);
    template <class TList, class TEnum>
    void BrowseServerList(TList* List, const std::vector<CATID>& Categories, tZelkServerSet Kind);
    void BrowseCategoryManager(REFCATID Category, tZelkServerSet Kind);
    void Report(const QString& Caption, const QString& Name, REFCLSID ClassId, tZelkServerSet Kind);

    // Kept until the next Execute.
    tZelkAddServerEvent FOnAddServer;
    // Held while Execute runs.
    ComPtr<IOPCServerList2> FServerList2;
    ComPtr<IOPCServerList> FServerList;
};
