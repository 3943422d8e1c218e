#include "ZelkEventAreaBrowser.h"

#include "ZelkEventServer.h"
#include "ZelkExceptions.h"
#include "ZelkGIP.h"
#include "ZelkOPCErrors.h"
#include "ZelkServerCall.h"
#include "comholders.h"

#include <algorithm>
#include <utility>

namespace {

using zelk::com::BStr;
using zelk::com::TaskMem;

// Strings asked of the enumerator per call.
constexpr ULONG BrowseBatch = 100;

const QChar AreaSeparator = QLatin1Char('.');

// Every name the enumerator gives, up to the first empty one; every string is freed,
// also those after an empty one.
QStringList ReadNames(IEnumString& Names) {
    QStringList items;
    LPOLESTR batch[BrowseBatch] = {};
    for (;;) {
        ULONG fetched = 0;
        const HRESULT result = Names.Next(BrowseBatch, batch, &fetched);
        fetched = std::min(fetched, BrowseBatch);
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
            return items;
    }
}

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
        const TZelkThreadIntf<IOPCEventServer> shared(server.Get());
        FBrowser = zelk::runtime::CallServer<ComPtr<IOPCEventAreaBrowser>>(*FOPCServer, [shared] {
            ComPtr<IUnknown> unknown;
            const HRESULT result =
                shared.Get()->CreateAreaBrowser(IID_IOPCEventAreaBrowser, unknown.Put());
            ComPtr<IOPCEventAreaBrowser> browser;
            if (FAILED(result) || !unknown || FAILED(unknown.As(&browser)) || !browser)
                throw EOPCBrowserException(QStringLiteral("Browser interface not found"));
            return browser;
        });
    }
    return FBrowser.Get();
}

bool TZelkEventAreaBrowser::ChangePosition(OPCAEBROWSEDIRECTION Direction, const QString& Name) {
    const TZelkThreadIntf<IOPCEventAreaBrowser> browser(GetBrowser());
    return zelk::runtime::CallServer<HRESULT>(*FOPCServer, [browser, Direction, name = BStr(Name)] {
               return browser.Get()->ChangeBrowsePosition(Direction, name.Get());
           }) == S_OK;
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
    const TZelkThreadIntf<IOPCEventAreaBrowser> browser(GetBrowser());
    FItems = zelk::runtime::CallServer<QStringList>(
        *FOPCServer, [browser, Kind, filter = BStr(FFilter)] {
            ComPtr<IEnumString> names;
            OPCCheck(browser.Get()->BrowseOPCAreas(Kind, filter.Get(), names.Put()));
            return names ? ReadNames(*names) : QStringList();
        });
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
    const TZelkThreadIntf<IOPCEventAreaBrowser> browser(GetBrowser());
    const bool area = FLastType == OPC_AREA;
    return zelk::runtime::CallServer<QString>(*FOPCServer, [browser, area, name = BStr(ItemName)] {
        TaskMem<OLECHAR> qualified;
        if (area)
            OPCCheck(browser.Get()->GetQualifiedAreaName(name.Get(), qualified.Put()));
        else
            OPCCheck(browser.Get()->GetQualifiedSourceName(name.Get(), qualified.Put()));
        return zelk::com::ToQString(qualified.Get());
    });
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
