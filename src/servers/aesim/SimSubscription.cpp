#include "SimSubscription.h"

#include "bstr.h"
#include "comholders.h"
#include "opcerror.h"

#include <algorithm>

namespace zelk::aesim {

using zelk::com::ComBoundary;
using zelk::com::TaskMem;

namespace {

constexpr std::string_view kSetFilter = "IOPCEventSubscriptionMgt::SetFilter";
constexpr std::string_view kGetFilter = "IOPCEventSubscriptionMgt::GetFilter";
constexpr std::string_view kSelect = "IOPCEventSubscriptionMgt::SelectReturnedAttributes";
constexpr std::string_view kGetReturned = "IOPCEventSubscriptionMgt::GetReturnedAttributes";
constexpr std::string_view kRefresh = "IOPCEventSubscriptionMgt::Refresh";
constexpr std::string_view kCancelRefresh = "IOPCEventSubscriptionMgt::CancelRefresh";
constexpr std::string_view kGetState = "IOPCEventSubscriptionMgt::GetState";
constexpr std::string_view kSetState = "IOPCEventSubscriptionMgt::SetState";

// Task-memory strings for an array out-argument; the block is null when there are none.
class TTaskStrings {
public:
    explicit TTaskStrings(const QStringList& texts) : FCount(static_cast<DWORD>(texts.size())) {
        if (texts.isEmpty())
            return;
        FArray = TaskMem<LPWSTR>::Alloc(texts.size());
        for (DWORD i = 0; i < FCount; ++i)
            FArray[i] = zelk::com::TaskStrFromQString(texts[i]);
    }
    TTaskStrings(const TTaskStrings&) = delete;
    TTaskStrings& operator=(const TTaskStrings&) = delete;
    ~TTaskStrings() {
        if (FArray)
            for (DWORD i = 0; i < FCount; ++i)
                CoTaskMemFree(FArray[i]);
    }
    DWORD Count() const noexcept { return FCount; }
    [[nodiscard]] LPWSTR* Detach() noexcept { return FArray.Detach(); }

private:
    const DWORD FCount;
    TaskMem<LPWSTR> FArray;
};

QStringList Patterns(const std::vector<TSimWildcard>& patterns) {
    QStringList texts;
    for (const auto& p : patterns)
        texts << p.Pattern();
    return texts;
}

TaskMem<DWORD> TaskDwords(const std::vector<DWORD>& values) {
    if (values.empty())
        return {};
    auto array = TaskMem<DWORD>::Alloc(values.size());
    std::copy(values.begin(), values.end(), array.Get());
    return array;
}

QString Optional(const auto* value) {
    return value ? QString::number(*value) : QStringLiteral("null");
}

} // namespace

TSimSubscription::TSimSubscription(ComPtr<IUnknown> server, ISimCatalog& catalog,
                                   TSimFaults& faults, const TSimSubscriptionState& initial)
    : FServer(std::move(server)), FCatalog(catalog), FFaults(faults),
      FSinkPoint(FPoints.Add(IID_IOPCEventSink, 1)),
      FChannel(std::make_shared<TSimSubscriptionChannel>(initial, &faults)) {
    FChannel->AttachSinkPoint(&FSinkPoint);
}

TSimSubscription::~TSimSubscription() {
    // The server may still hold the channel for a moment; it must not reach the point.
    FChannel->AttachSinkPoint(nullptr);
}

std::optional<HRESULT> TSimSubscription::Enter(std::string_view method) {
    if (auto injected = FFaults.Enter(method))
        return injected;
    if (FChannel->Disconnected())
        return RPC_E_DISCONNECTED;
    return std::nullopt;
}

bool TSimSubscription::IsAdvisedCookie(DWORD connection) const {
    ComPtr<IEnumConnections> connections;
    if (connection == 0 || FAILED(FSinkPoint.EnumConnections(connections.Put())))
        return false;
    CONNECTDATA data{};
    ULONG fetched = 0;
    while (connections->Next(1, &data, &fetched) == S_OK && fetched == 1) {
        const bool advised = data.dwCookie == connection;
        if (data.pUnk)
            data.pUnk->Release();
        if (advised)
            return true;
    }
    return false;
}

HRESULT TSimSubscription::SetFilter(DWORD dwEventType, DWORD dwNumCategories,
                                    DWORD* pdwEventCategories, DWORD dwLowSeverity,
                                    DWORD dwHighSeverity, DWORD dwNumAreas, LPWSTR* pszAreaList,
                                    DWORD dwNumSources, LPWSTR* pszSourceList) {
    if (auto answer = Enter(kSetFilter))
        return *answer;
    return ComBoundary([&] {
        const TSimFilterArguments arguments{dwEventType,   dwNumCategories, pdwEventCategories,
                                            dwLowSeverity, dwHighSeverity,  dwNumAreas,
                                            pszAreaList,   dwNumSources,    pszSourceList};
        FFaults.Record(kSetFilter, SimFilterArgumentsText(arguments));
        TSimEventFilter filter;
        const HRESULT hr = MakeSimEventFilter(FCatalog, arguments, filter);
        if (SUCCEEDED(hr))
            FChannel->SetFilter(std::move(filter));
        return hr;
    });
}

HRESULT TSimSubscription::GetFilter(DWORD* pdwEventType, DWORD* pdwNumCategories,
                                    DWORD** ppdwEventCategories, DWORD* pdwLowSeverity,
                                    DWORD* pdwHighSeverity, DWORD* pdwNumAreas,
                                    LPWSTR** ppszAreaList, DWORD* pdwNumSources,
                                    LPWSTR** ppszSourceList) {
    if (!pdwEventType || !pdwNumCategories || !ppdwEventCategories || !pdwLowSeverity ||
        !pdwHighSeverity || !pdwNumAreas || !ppszAreaList || !pdwNumSources || !ppszSourceList)
        return E_POINTER;
    *pdwEventType = *pdwNumCategories = *pdwLowSeverity = *pdwHighSeverity = 0;
    *pdwNumAreas = *pdwNumSources = 0;
    *ppdwEventCategories = nullptr;
    *ppszAreaList = *ppszSourceList = nullptr;
    if (auto answer = Enter(kGetFilter))
        return *answer;
    return ComBoundary([&] {
        const auto filter = FChannel->Filter();
        auto categories = TaskDwords(filter->Categories);
        TTaskStrings areas(Patterns(filter->Areas));
        TTaskStrings sources(Patterns(filter->Sources));
        *pdwEventType = filter->EventType;
        *pdwLowSeverity = filter->LowSeverity;
        *pdwHighSeverity = filter->HighSeverity;
        *pdwNumCategories = static_cast<DWORD>(filter->Categories.size());
        *ppdwEventCategories = categories.Detach();
        *pdwNumAreas = areas.Count();
        *ppszAreaList = areas.Detach();
        *pdwNumSources = sources.Count();
        *ppszSourceList = sources.Detach();
    });
}

HRESULT TSimSubscription::SelectReturnedAttributes(DWORD dwEventCategory, DWORD dwCount,
                                                   DWORD* dwAttributeIDs) {
    if (auto answer = Enter(kSelect))
        return *answer;
    return ComBoundary([&] {
        QString ids = QStringLiteral("null");
        if (dwCount == 0 || dwAttributeIDs) {
            QStringList list;
            for (DWORD i = 0; i < dwCount; ++i)
                list << QString::number(dwAttributeIDs[i]);
            ids = u'[' + list.join(u',') + u']';
        }
        FFaults.Record(
            kSelect,
            QStringLiteral("Category=%1 Attributes=%2").arg(QString::number(dwEventCategory), ids));
        if (dwCount > 0 && !dwAttributeIDs)
            return E_INVALIDARG;
        TSimCategoryInfo category;
        if (!FCatalog.FindCategory(dwEventCategory, category))
            return E_INVALIDARG;
        std::vector<DWORD> selected(dwAttributeIDs, dwAttributeIDs + dwCount);
        for (DWORD id : selected)
            if (std::none_of(category.Attributes.begin(), category.Attributes.end(),
                             [&](const TSimAttributeInfo& a) { return a.Id == id; }))
                return E_INVALIDARG;
        FChannel->Select(dwEventCategory, std::move(selected));
        return S_OK;
    });
}

HRESULT TSimSubscription::GetReturnedAttributes(DWORD dwEventCategory, DWORD* pdwCount,
                                                DWORD** ppdwAttributeIDs) {
    if (!pdwCount || !ppdwAttributeIDs)
        return E_POINTER;
    *pdwCount = 0;
    *ppdwAttributeIDs = nullptr;
    if (auto answer = Enter(kGetReturned))
        return *answer;
    return ComBoundary([&] {
        TSimCategoryInfo category;
        if (!FCatalog.FindCategory(dwEventCategory, category))
            return E_INVALIDARG;
        const auto selection = FChannel->Selection();
        const auto it = selection->find(dwEventCategory);
        if (it == selection->end())
            return S_OK;
        *ppdwAttributeIDs = TaskDwords(it->second).Detach();
        *pdwCount = static_cast<DWORD>(it->second.size());
        return S_OK;
    });
}

HRESULT TSimSubscription::Refresh(DWORD dwConnection) {
    if (auto answer = Enter(kRefresh))
        return *answer;
    return ComBoundary([&] {
        FFaults.Record(kRefresh, QStringLiteral("Connection=%1").arg(dwConnection));
        if (FCatalog.RefreshNotImplemented())
            return E_NOTIMPL;
        if (!IsAdvisedCookie(dwConnection))
            return E_INVALIDARG;
        const HRESULT hr = FChannel->BeginRefresh();
        if (hr != S_OK)
            return hr;
        try {
            FChannel->StartRefresh(FCatalog.RefreshSnapshot());
        } catch (...) {
            FChannel->AbandonRefresh();
            throw;
        }
        return S_OK;
    });
}

HRESULT TSimSubscription::CancelRefresh(DWORD dwConnection) {
    if (auto answer = Enter(kCancelRefresh))
        return *answer;
    return ComBoundary([&] {
        FFaults.Record(kCancelRefresh, QStringLiteral("Connection=%1").arg(dwConnection));
        if (FCatalog.RefreshNotImplemented())
            return E_NOTIMPL;
        if (!IsAdvisedCookie(dwConnection))
            return E_INVALIDARG;
        return FChannel->CancelRefresh();
    });
}

HRESULT TSimSubscription::GetState(BOOL* pbActive, DWORD* pdwBufferTime, DWORD* pdwMaxSize,
                                   OPCHANDLE* phClientSubscription) {
    if (!pbActive || !pdwBufferTime || !pdwMaxSize || !phClientSubscription)
        return E_POINTER;
    *pbActive = FALSE;
    *pdwBufferTime = *pdwMaxSize = *phClientSubscription = 0;
    if (auto answer = Enter(kGetState))
        return *answer;
    const TSimSubscriptionState state = FChannel->State();
    *pbActive = state.Active ? TRUE : FALSE;
    *pdwBufferTime = state.BufferTime;
    *pdwMaxSize = state.MaxSize;
    *phClientSubscription = state.ClientHandle;
    return S_OK;
}

HRESULT TSimSubscription::SetState(BOOL* pbActive, DWORD* pdwBufferTime, DWORD* pdwMaxSize,
                                   OPCHANDLE hClientSubscription, DWORD* pdwRevisedBufferTime,
                                   DWORD* pdwRevisedMaxSize) {
    if (pdwRevisedBufferTime)
        *pdwRevisedBufferTime = 0;
    if (pdwRevisedMaxSize)
        *pdwRevisedMaxSize = 0;
    if (auto answer = Enter(kSetState))
        return *answer;
    return ComBoundary([&] {
        FFaults.Record(kSetState,
                       QStringLiteral("Active=%1 BufferTime=%2 MaxSize=%3 "
                                      "ClientHandle=%4")
                           .arg(Optional(pbActive), Optional(pdwBufferTime), Optional(pdwMaxSize),
                                QString::number(hClientSubscription)));
        if (!pdwRevisedBufferTime || !pdwRevisedMaxSize)
            return E_POINTER;
        const bool active = pbActive && *pbActive != FALSE;
        const DWORD bufferTime = pdwBufferTime ? std::min(*pdwBufferTime, SimMaxBufferTime) : 0;
        const DWORD maxSize = pdwMaxSize ? std::min(*pdwMaxSize, SimMaxMaxSize) : 0;
        const TSimSubscriptionState state =
            FChannel->SetState(pbActive ? &active : nullptr, pdwBufferTime ? &bufferTime : nullptr,
                               pdwMaxSize ? &maxSize : nullptr, hClientSubscription);
        *pdwRevisedBufferTime = state.BufferTime;
        *pdwRevisedMaxSize = state.MaxSize;
        if (pdwBufferTime && bufferTime != *pdwBufferTime)
            return OPC_S_INVALIDBUFFERTIME;
        if (pdwMaxSize && maxSize != *pdwMaxSize)
            return OPC_S_INVALIDMAXSIZE;
        return S_OK;
    });
}

HRESULT TSimSubscription::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (ppEnum)
        *ppEnum = nullptr;
    if (auto answer = Enter("IConnectionPointContainer::EnumConnectionPoints"))
        return *answer;
    return FPoints.EnumConnectionPoints(ppEnum);
}

HRESULT TSimSubscription::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (ppCP)
        *ppCP = nullptr;
    if (auto answer = Enter("IConnectionPointContainer::FindConnectionPoint"))
        return *answer;
    return FPoints.FindConnectionPoint(riid, ppCP);
}

HRESULT CreateSimSubscription(IUnknown* Server, ISimCatalog& Catalog, TSimFaults& Faults,
                              BOOL bActive, DWORD dwBufferTime, DWORD dwMaxSize,
                              DWORD hClientSubscription, REFIID riid, IUnknown** ppUnk,
                              DWORD* pdwRevisedBufferTime, DWORD* pdwRevisedMaxSize,
                              std::shared_ptr<ISimChannel>* Channel) {
    if (ppUnk)
        *ppUnk = nullptr;
    if (!ppUnk || !pdwRevisedBufferTime || !pdwRevisedMaxSize)
        return E_POINTER;
    if (!Server)
        return E_INVALIDARG;
    return ComBoundary([&] {
        TSimSubscriptionState initial;
        initial.Active = bActive != FALSE;
        initial.BufferTime = std::min(dwBufferTime, SimMaxBufferTime);
        initial.MaxSize = std::min(dwMaxSize, SimMaxMaxSize);
        initial.ClientHandle = hClientSubscription;
        auto subscription =
            TSimSubscription::Create(ComPtr<IUnknown>(Server), Catalog, Faults, initial);
        void* answered = nullptr;
        const HRESULT hr = subscription->QueryInterface(riid, &answered);
        if (FAILED(hr))
            return hr;
        *ppUnk = static_cast<IUnknown*>(answered);
        if (Channel)
            *Channel = subscription->Channel();
        *pdwRevisedBufferTime = initial.BufferTime;
        *pdwRevisedMaxSize = initial.MaxSize;
        if (initial.BufferTime != dwBufferTime)
            return OPC_S_INVALIDBUFFERTIME;
        if (initial.MaxSize != dwMaxSize)
            return OPC_S_INVALIDMAXSIZE;
        return S_OK;
    });
}

} // namespace zelk::aesim
