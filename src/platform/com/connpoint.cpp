#include "connpoint.h"

#include "comobject.h"
#include "enumerators.h"

#include <algorithm>

namespace zelk::com {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, REFIID iid, ULONG maxSinks)
    : FContainer(container), FIid(iid), FMaxSinks(maxSinks) {}

ConnectionPoint::~ConnectionPoint() = default;

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint))
        return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

ULONG ConnectionPoint::AddRef() {
    return FContainer->AddRef();
}

ULONG ConnectionPoint::Release() {
    return FContainer->Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID)
        return E_POINTER;
    *pIID = FIid;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC)
        return E_POINTER;
    *ppCPC = FContainer;
    FContainer->AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pdwCookie)
        return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink)
        return E_POINTER;
    return ComBoundary([&] {
        // Declared before the lock: a refused sink is released after it.
        ComPtr<IUnknown> sink;
        void* answered = nullptr;
        if (FAILED(pUnkSink->QueryInterface(FIid, &answered)) || !answered)
            return CONNECT_E_CANNOTCONNECT;
        sink.Attach(static_cast<IUnknown*>(answered));
        std::lock_guard lock(FMutex);
        if (FMaxSinks != 0 && FConnections.size() >= FMaxSinks)
            return CONNECT_E_ADVISELIMIT;
        DWORD cookie = FLastCookie;
        auto inUse = [&](DWORD c) {
            return std::any_of(FConnections.begin(), FConnections.end(),
                               [&](const Connection& x) { return x.Cookie == c; });
        };
        do
            ++cookie; // wraps after 2^32 advises; 0 and cookies still in use are skipped
        while (cookie == 0 || inUse(cookie));
        FConnections.push_back({cookie, std::move(sink)});
        FLastCookie = cookie;
        *pdwCookie = cookie;
        return S_OK;
    });
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
    ComPtr<IUnknown> sink; // released after the lock: its last Release may call anything
    std::lock_guard lock(FMutex);
    auto it = std::find_if(FConnections.begin(), FConnections.end(),
                           [&](const Connection& c) { return c.Cookie == dwCookie; });
    if (dwCookie == 0 || it == FConnections.end())
        return CONNECT_E_NOCONNECTION;
    sink = std::move(it->Sink);
    FConnections.erase(it);
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    return ComBoundary([&] {
        std::vector<ConnectDataItems::Stored> items;
        {
            std::lock_guard lock(FMutex);
            items.reserve(FConnections.size());
            for (const auto& c : FConnections)
                items.push_back({c.Sink, c.Cookie});
        }
        *ppEnum = MakeEnumerator<IEnumConnections, ConnectDataItems>(std::move(items)).Detach();
        return S_OK;
    });
}

std::size_t ConnectionPoint::SinkCount() const {
    std::lock_guard lock(FMutex);
    return FConnections.size();
}

std::vector<ComPtr<IUnknown>> ConnectionPoint::Sinks() const {
    std::lock_guard lock(FMutex);
    std::vector<ComPtr<IUnknown>> sinks;
    sinks.reserve(FConnections.size());
    for (const auto& c : FConnections)
        sinks.push_back(c.Sink);
    return sinks;
}

void ConnectionPoint::UnadviseAll() {
    std::vector<Connection> dropped; // released after the lock
    std::lock_guard lock(FMutex);
    dropped.swap(FConnections);
}

ConnectionPoint& ConnectionPointContainer::Add(REFIID iid, ULONG maxSinks) {
    FPoints.push_back(std::make_unique<ConnectionPoint>(FSelf, iid, maxSinks));
    return *FPoints.back();
}

ConnectionPoint* ConnectionPointContainer::Find(REFIID iid) const {
    for (const auto& point : FPoints)
        if (IsEqualIID(point->Iid(), iid))
            return point.get();
    return nullptr;
}

HRESULT ConnectionPointContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) const {
    if (!ppCP)
        return E_POINTER;
    *ppCP = nullptr;
    ConnectionPoint* point = Find(riid);
    if (!point)
        return CONNECT_E_NOCONNECTION;
    point->AddRef();
    *ppCP = point;
    return S_OK;
}

HRESULT ConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) const {
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    return ComBoundary([&] {
        std::vector<ComPtr<IConnectionPoint>> points;
        for (const auto& point : FPoints)
            points.emplace_back(point.get());
        *ppEnum =
            MakeEnumerator<IEnumConnectionPoints, CountedItems<IConnectionPoint>>(std::move(points))
                .Detach();
        return S_OK;
    });
}

} // namespace zelk::com
