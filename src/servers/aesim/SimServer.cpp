#include "SimServer.h"

#include "SimErrorText.h"
#include "SimTaskOut.h"
#include "bstr.h"
#include "opcerror.h"

namespace zelk::aesim {

namespace {

constexpr WORD VersionMajor = 1;
constexpr WORD VersionMinor = 0;
constexpr WORD VersionBuild = 7;

const QString VendorInfo = QStringLiteral("Zelk OPC AE Simulation Server - simulated plant");

} // namespace

TSimEventServer::TSimEventServer(std::shared_ptr<TSimEngine> engine)
    : FEngine(std::move(engine)), FShutdownPoint(FPoints.Add(IID_IOPCShutdown)),
      FLocale(SimLocaleEnglish) {
    FEngine->AddServer(this);
}

TSimEventServer::~TSimEventServer() {
    FEngine->RemoveServer(this);
}

HRESULT TSimEventServer::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    const TSimCapabilities& capabilities = FEngine->Options().Capabilities;
    if (!capabilities.ConnectionPoints && IsEqualIID(riid, IID_IConnectionPointContainer)) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    if (capabilities.AnswersIOPCBrowse && IsEqualIID(riid, IID_IOPCBrowse)) {
        // Known to the client by identity only: it asks, notes the answer and releases.
        *ppv = GetUnknown();
        AddRef();
        return S_OK;
    }
    return ComObject::QueryInterface(riid, ppv);
}

std::optional<HRESULT> TSimEventServer::Enter(std::string_view method) {
    if (FDisconnected)
        return RPC_E_DISCONNECTED;
    return FEngine->Faults().Enter(method);
}

// ---- IOPCEventServer: status, subscriptions, browser ----

HRESULT TSimEventServer::GetStatus(OPCEVENTSERVERSTATUS** ppEventServerStatus) {
    if (ppEventServerStatus)
        *ppEventServerStatus = nullptr;
    if (auto injected = Enter("IOPCEventServer::GetStatus"))
        return *injected;
    if (!ppEventServerStatus)
        return E_POINTER;
    if (FEngine->Faults().TakeOmitRecord("IOPCEventServer::GetStatus"))
        return S_OK;
    return zelk::com::ComBoundary([&] {
        auto status = zelk::com::TaskMem<OPCEVENTSERVERSTATUS>::Alloc();
        status->ftStartTime = FEngine->Clock().StartTime();
        status->ftCurrentTime = FEngine->Clock().Current();
        status->ftLastUpdateTime = FEngine->Plant().LastUpdateTime();
        status->dwServerState = OPCAE_STATUS_RUNNING;
        status->wMajorVersion = VersionMajor;
        status->wMinorVersion = VersionMinor;
        status->wBuildNumber = VersionBuild;
        status->szVendorInfo = zelk::com::TaskStrFromQString(VendorInfo);
        *ppEventServerStatus = status.Detach();
    });
}

HRESULT TSimEventServer::CreateEventSubscription(BOOL bActive, DWORD dwBufferTime, DWORD dwMaxSize,
                                                 OPCHANDLE hClientSubscription, REFIID riid,
                                                 LPUNKNOWN* ppUnk, DWORD* pdwRevisedBufferTime,
                                                 DWORD* pdwRevisedMaxSize) {
    if (ppUnk)
        *ppUnk = nullptr;
    if (auto injected = Enter("IOPCEventServer::CreateEventSubscription"))
        return *injected;
    return zelk::com::ComBoundary([&] {
        FEngine->Faults().Record(
            "IOPCEventServer::CreateEventSubscription",
            QStringLiteral("Active=%1 BufferTime=%2 MaxSize=%3 ClientHandle=%4")
                .arg(bActive)
                .arg(dwBufferTime)
                .arg(dwMaxSize)
                .arg(hClientSubscription));
        std::shared_ptr<ISimChannel> channel;
        const HRESULT hr = CreateSimSubscription(
            GetUnknown(), *this, FEngine->Faults(), bActive, dwBufferTime, dwMaxSize,
            hClientSubscription, riid, ppUnk, pdwRevisedBufferTime, pdwRevisedMaxSize, &channel);
        if (SUCCEEDED(hr) && channel)
            FEngine->AddChannel(channel);
        return hr;
    });
}

HRESULT TSimEventServer::QueryAvailableFilters(DWORD* pdwFilterMask) {
    if (auto injected = Enter("IOPCEventServer::QueryAvailableFilters"))
        return *injected;
    if (!pdwFilterMask)
        return E_POINTER;
    *pdwFilterMask = OPC_FILTER_BY_EVENT | OPC_FILTER_BY_CATEGORY | OPC_FILTER_BY_SEVERITY |
                     OPC_FILTER_BY_AREA | OPC_FILTER_BY_SOURCE;
    return S_OK;
}

HRESULT TSimEventServer::CreateAreaBrowser(REFIID riid, LPUNKNOWN* ppUnk) {
    if (ppUnk)
        *ppUnk = nullptr;
    if (auto injected = Enter("IOPCEventServer::CreateAreaBrowser"))
        return *injected;
    if (!ppUnk)
        return E_POINTER;
    if (!FEngine->Options().Capabilities.AreaBrowser)
        return E_NOTIMPL;
    return zelk::com::ComBoundary(
        [&] { return CreateSimAreaBrowser(GetUnknown(), *this, FEngine->Faults(), riid, ppUnk); });
}

// ---- IOPCCommon ----

HRESULT TSimEventServer::SetLocaleID(LCID dwLcid) {
    if (auto injected = Enter("IOPCCommon::SetLocaleID"))
        return *injected;
    FEngine->Faults().Record("IOPCCommon::SetLocaleID",
                             QStringLiteral("Locale=0x%1").arg(dwLcid, 4, 16, QLatin1Char('0')));
    if (dwLcid != SimLocaleEnglish && dwLcid != SimLocaleGerman)
        return E_INVALIDARG;
    FLocale = dwLcid;
    return S_OK;
}

HRESULT TSimEventServer::GetLocaleID(LCID* pdwLcid) {
    if (auto injected = Enter("IOPCCommon::GetLocaleID"))
        return *injected;
    if (!pdwLcid)
        return E_POINTER;
    *pdwLcid = FLocale;
    return S_OK;
}

HRESULT TSimEventServer::QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) {
    if (pdwCount)
        *pdwCount = 0;
    if (pdwLcid)
        *pdwLcid = nullptr;
    if (auto injected = Enter("IOPCCommon::QueryAvailableLocaleIDs"))
        return *injected;
    if (!pdwCount || !pdwLcid)
        return E_POINTER;
    return zelk::com::ComBoundary([&] {
        *pdwLcid = TaskValues(std::vector<LCID>{SimLocaleEnglish, SimLocaleGerman}).Detach();
        *pdwCount = 2;
    });
}

HRESULT TSimEventServer::GetErrorString(HRESULT dwError, LPWSTR* ppString) {
    if (ppString)
        *ppString = nullptr;
    if (auto injected = Enter("IOPCCommon::GetErrorString"))
        return *injected;
    if (!ppString)
        return E_POINTER;
    const std::optional<QString> text = SimErrorText(dwError, FLocale);
    if (!text)
        return E_INVALIDARG;
    return zelk::com::ComBoundary([&] { *ppString = zelk::com::TaskStrFromQString(*text); });
}

HRESULT TSimEventServer::SetClientName(LPCWSTR szName) {
    if (auto injected = Enter("IOPCCommon::SetClientName"))
        return *injected;
    return zelk::com::ComBoundary([&] {
        FEngine->Faults().Record("IOPCCommon::SetClientName",
                                 QStringLiteral("Name=") + ArgText(szName));
        if (!szName)
            return E_INVALIDARG;
        std::lock_guard lock(FLock);
        FClientName = zelk::com::ToQString(szName);
        return S_OK;
    });
}

QString TSimEventServer::ClientName() const {
    std::lock_guard lock(FLock);
    return FClientName;
}

// ---- IConnectionPointContainer ----

HRESULT TSimEventServer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (ppEnum)
        *ppEnum = nullptr;
    if (auto injected = Enter("IConnectionPointContainer::EnumConnectionPoints"))
        return *injected;
    return FPoints.EnumConnectionPoints(ppEnum);
}

HRESULT TSimEventServer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (ppCP)
        *ppCP = nullptr;
    if (auto injected = Enter("IConnectionPointContainer::FindConnectionPoint"))
        return *injected;
    return FPoints.FindConnectionPoint(riid, ppCP);
}

std::vector<ComPtr<IUnknown>> TSimEventServer::ShutdownSinks() const {
    return FShutdownPoint.Sinks();
}

void TSimEventServer::Disconnect() {
    FDisconnected = true;
    FShutdownPoint.UnadviseAll();
}

// ---- ISimCatalog ----

bool TSimEventServer::FindCategory(DWORD Id, TSimCategoryInfo& Category) const {
    const TSimCategoryInfo* found = FEngine->Plant().Model().FindCategory(Id);
    if (!found)
        return false;
    Category = *found;
    return true;
}

QStringList TSimEventServer::AreaNames() const {
    return FEngine->Plant().Model().Areas;
}

QStringList TSimEventServer::SourceNames() const {
    QStringList names;
    for (const TSimSourceDef& source : FEngine->Plant().Model().Sources)
        names.append(source.Name);
    return names;
}

std::vector<TSimNotification> TSimEventServer::RefreshSnapshot() const {
    return FEngine->Plant().RefreshSnapshot();
}

bool TSimEventServer::AcceptsLowSeverityZero() const {
    return FEngine->Options().Capabilities.AcceptsLowSeverityZero;
}

bool TSimEventServer::RefreshNotImplemented() const {
    return !FEngine->Options().Capabilities.Refresh;
}

} // namespace zelk::aesim
