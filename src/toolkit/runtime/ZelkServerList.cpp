#include "ZelkServerList.h"

#include "Exceptions.h"
#include "ScopeExit.h"

using enum ZelkEnums::tZelkConnectionType;
using enum ZelkEnums::tZelkServerKind;

TZelkServerBrowser::TZelkServerBrowser(TComponent* AOwner) : TComponent(AOwner) {}

TZelkServerBrowser::~TZelkServerBrowser() {
    Clear();
}

void TZelkServerBrowser::SetProtocol(tZelkConnectionType Value) {
    if (!ConnectionTypeRegistered(Value))
        throw Exception(QStringLiteral("Protocol not supported add ZelkXMLLink, ZelkCOMLink or "
                                       "ZelkUALink in uses clause"));
    if (ComponentState().Contains(csDesigning) && Value != FConnection) {
        switch (Value) {
        case coXML:
            FServertype = {};
            break;
        case coCOM:
            FServertype = {svr_DA10, svr_DA20, svr_DA30};
            break;
        case coUA:
            FServertype = {svr_UA};
            break;
        }
    }
    FConnection = Value;
}

TZelkServerItem* TZelkServerBrowser::Items(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError::IndexOutOfBounds(Index);
    return FServerList[static_cast<std::size_t>(Index)].get();
}

std::unique_ptr<TZelkServerItem>
TZelkServerBrowser::SetItems(int Index, std::unique_ptr<TZelkServerItem> Value) {
    if (Index < 0 || Index >= Count())
        throw EListError::IndexOutOfBounds(Index);
    return std::exchange(FServerList[static_cast<std::size_t>(Index)], std::move(Value));
}

void TZelkServerBrowser::Execute(bool WithTypes) {
    FBrowser = CreateServerBrowser(FConnection);
    const zelk::rtl::ScopeExit release([this] { FBrowser.Reset(); });
    Clear();
    FBrowser->Execute(
        FServertype, FComputerName, FProxy, WithTypes ? BrowseWithTypes : 0,
        [this](const QString& Caption, const QString& Name, const QString& ClsId,
               tZelkServerSet ServerType) { AddServer(Caption, Name, ClsId, ServerType); });
}

void TZelkServerBrowser::GetOPCServers(const QString& Computername) {
    SetComputerName(Computername);
    Execute(true);
}

void TZelkServerBrowser::GetServerCaptions(QStringList& Namelist) const {
    Namelist.clear();
    for (const auto& item : FServerList)
        Namelist.append(item->ServerCaption());
}

void TZelkServerBrowser::GetServerNames(QStringList& Namelist) const {
    Namelist.clear();
    for (const auto& item : FServerList)
        Namelist.append(item->ServerName());
}

void TZelkServerBrowser::GetServerClsIds(QStringList& Namelist) const {
    Namelist.clear();
    for (const auto& item : FServerList)
        Namelist.append(item->ServerClsId());
}

int TZelkServerBrowser::FindByServerName(const QString& ServerName) const {
    for (int i = 0; i < Count(); ++i)
        if (FServerList[static_cast<std::size_t>(i)]->ServerName() == ServerName)
            return i;
    return -1;
}

int TZelkServerBrowser::FindByClassId(const QString& ClassId) const {
    for (int i = 0; i < Count(); ++i)
        if (FServerList[static_cast<std::size_t>(i)]->ServerClsId() == ClassId)
            return i;
    return -1;
}

int TZelkServerBrowser::FindServer(const QString& ServerName) const {
    const int index = FindByServerName(ServerName);
    return index >= 0 ? index : FindByClassId(ServerName);
}

std::unique_ptr<TZelkServerBrowserEnumerator> TZelkServerBrowser::GetEnumerator() const {
    return std::make_unique<TZelkServerBrowserEnumerator>(this);
}

void TZelkServerBrowser::Clear() {
    while (!FServerList.empty())
        FServerList.pop_back();
}

ZelkServerKindFlags::tZelkServerKindFlags TZelkServerBrowser::ServertypeFlags() const {
    return ZelkServerKindFlags::tZelkServerKindFlags::fromInt(FServertype.ToBits());
}

void TZelkServerBrowser::SetServertypeFlags(ZelkServerKindFlags::tZelkServerKindFlags Value) {
    FServertype = tZelkServerSet::FromBits(Value.toInt());
}

void TZelkServerBrowser::AddServer(const QString& Caption, const QString& Name,
                                   const QString& ClsId, tZelkServerSet ServerType) {
    TZelkServerItem* item = ItemByClsId(ClsId);
    if (!item) {
        auto created = std::make_unique<TZelkServerItem>();
        created->FComputerName = FComputerName;
        created->FCaption = Caption;
        created->FName = Name;
        created->FClsId = ClsId;
        item = created.get();
        FServerList.push_back(std::move(created));
    }
    item->FServerType = item->FServerType + ServerType;
}

TZelkServerItem* TZelkServerBrowser::ItemByClsId(const QString& ClsId) const {
    const int index = FindByClassId(ClsId);
    return index >= 0 ? FServerList[static_cast<std::size_t>(index)].get() : nullptr;
}

bool TZelkServerBrowserEnumerator::MoveNext() {
    if (FIndex >= FList->Count() - 1)
        return false;
    ++FIndex;
    return true;
}
