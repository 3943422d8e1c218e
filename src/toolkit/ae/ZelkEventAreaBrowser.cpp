#include "ZelkEventAreaBrowser.h"

#include "ZelkEventServer.h"
#include "ZelkExceptions.h"
#include "ZelkOPCErrors.h"
#include "comholders.h"

#include <algorithm>
#include <utility>

namespace {

using zelk::com::BStr;
using zelk::com::TaskMem;

// Strings asked of the enumerator per call.
constexpr ULONG BrowseBatch = 100;

const QChar AreaSeparator = QLatin1Char('.');

} // namespace

TZelkEventAreaBrowser::TZelkEventAreaBrowser(TComponent* AOwner) : TComponent(AOwner) {}

TZelkEventAreaBrowser::~TZelkEventAreaBrowser() {
    // Only the browser object is let go here; the base tells the event server (a
    // free-notification partner) that this component is gone.
    FBrowser.Reset();
}

void TZelkEventAreaBrowser::SetOPCServer(TZelkEventServer* Value) {
    if (FOPCServer && FOPCServer != Value)
        FOPCServer->RemoveFreeNotification(this);
    FOPCServer = Value;
    if (FOPCServer)
        FOPCServer->FreeNotification(this);
    FItems.clear();
    FAreaList.clear();
    FBrowser.Reset();
}

void TZelkEventAreaBrowser::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove && AComponent && AComponent == FOPCServer) {
        // The server is being destroyed: forget it without calling into it.
        FOPCServer = nullptr;
        FItems.clear();
        FAreaList.clear();
        FBrowser.Reset();
    }
    TComponent::Notification(AComponent, Operation);
}

IOPCEventAreaBrowser* TZelkEventAreaBrowser::GetBrowser() {
    if (!FOPCServer)
        throw EOPCException(QStringLiteral("first define server object"));
    if (!FBrowser) {
        const ComPtr<IOPCEventServer> server = FOPCServer->GetOPCEventServer();
        if (!server)
            throw EOPCException(NotConnectedMessage);
        ComPtr<IUnknown> unknown;
        const HRESULT result = server->CreateAreaBrowser(IID_IOPCEventAreaBrowser, unknown.Put());
        if (FAILED(result) || !unknown)
            throw EOPCBrowserException(QStringLiteral("Browser interface not found"));
        ComPtr<IOPCEventAreaBrowser> browser;
        if (FAILED(unknown.As(&browser)) || !browser)
            throw EOPCBrowserException(QStringLiteral("Browser interface not found"));
        FBrowser = std::move(browser);
    }
    return FBrowser.Get();
}

bool TZelkEventAreaBrowser::ChangePosition(OPCAEBROWSEDIRECTION Direction, const QString& Name) {
    IOPCEventAreaBrowser* browser = GetBrowser();
    const BStr name(Name);
    return browser->ChangeBrowsePosition(Direction, name.Get()) == S_OK;
}

bool TZelkEventAreaBrowser::MoveDown(const QString& AreaName) {
    const bool moved = ChangePosition(OPCAE_BROWSE_DOWN, AreaName);
    if (moved)
        FAreaList.append(AreaName);
    return moved;
}

bool TZelkEventAreaBrowser::Moveto(const QString& AreaName) {
    const bool moved = ChangePosition(OPCAE_BROWSE_TO, AreaName);
    // The path follows the request whatever the server answered; an empty name is the
    // root, not one level without a name.
    FAreaList = AreaName.isEmpty() ? QStringList() : AreaName.split(AreaSeparator);
    return moved;
}

bool TZelkEventAreaBrowser::MovetoRoot() {
    const bool moved = ChangePosition(OPCAE_BROWSE_TO, QString());
    FAreaList.clear();
    return moved;
}

bool TZelkEventAreaBrowser::Moveup() {
    const bool moved = ChangePosition(OPCAE_BROWSE_UP, QString());
    if (!FAreaList.isEmpty())
        FAreaList.removeLast();
    return moved;
}

void TZelkEventAreaBrowser::Browse(OPCAEBROWSETYPE Kind) {
    FItems.clear();
    IOPCEventAreaBrowser* browser = GetBrowser();
    const BStr filter(FFilter);
    ComPtr<IEnumString> names;
    OPCCheck(browser->BrowseOPCAreas(Kind, filter.Get(), names.Put()));
    if (!names)
        return;
    QStringList items;
    LPOLESTR batch[BrowseBatch] = {};
    for (;;) {
        ULONG fetched = 0;
        const HRESULT result = names->Next(BrowseBatch, batch, &fetched);
        fetched = std::min(fetched, BrowseBatch);
        // Every string of the batch is freed, also those after an empty one.
        bool ended = false;
        for (ULONG i = 0; i < fetched; ++i) {
            const TaskMem<OLECHAR> text(std::exchange(batch[i], nullptr));
            if (ended)
                continue;
            const QString name = zelk::com::ToQString(text.Get());
            if (name.isEmpty())
                ended = true;
            else
                items.append(name);
        }
        if (ended || result != S_OK || fetched == 0)
            break;
    }
    FItems = std::move(items);
}

void TZelkEventAreaBrowser::ShowAreas() {
    Browse(OPC_AREA);
    FLastType = OPC_AREA;
}

void TZelkEventAreaBrowser::ShowSources() {
    Browse(OPC_SOURCE);
    FLastType = OPC_SOURCE;
}

QString TZelkEventAreaBrowser::GetItemId(const QString& ItemName) {
    IOPCEventAreaBrowser* browser = GetBrowser();
    const BStr name(ItemName);
    TaskMem<OLECHAR> qualified;
    if (FLastType == OPC_AREA)
        OPCCheck(browser->GetQualifiedAreaName(name.Get(), qualified.Put()));
    else
        OPCCheck(browser->GetQualifiedSourceName(name.Get(), qualified.Put()));
    return zelk::com::ToQString(qualified.Get());
}

QString TZelkEventAreaBrowser::CurrentPosition() const {
    return FAreaList.join(AreaSeparator);
}

// ---- TZelkEventServer ----

bool TZelkEventServer::BrowserSupport() {
    CheckConnected();
    const ComPtr<IOPCEventServer> server = GetOPCEventServer();
    if (!server)
        return false;
    ComPtr<IUnknown> browser;
    return server->CreateAreaBrowser(IID_IOPCEventAreaBrowser, browser.Put()) == S_OK;
}
