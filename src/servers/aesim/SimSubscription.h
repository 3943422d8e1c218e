#pragma once

// The simulated server's event subscription: IOPCEventSubscriptionMgt, and an
// IConnectionPointContainer with one IOPCEventSink point that takes a single sink
// (a second Advise answers CONNECT_E_ADVISELIMIT). Made by CreateSimSubscription
// (SimCatalog.h); its state and delivery live in its channel.
//
// The calls recorded with the server's fault injection, and their text forms:
//   IOPCEventSubscriptionMgt::SetFilter                 see SimFilterArgumentsText
//   IOPCEventSubscriptionMgt::SetState
//       "Active=-1 BufferTime=500 MaxSize=null ClientHandle=7" (null: pointer not given)
//   IOPCEventSubscriptionMgt::SelectReturnedAttributes  "Category=3 Attributes=[1,2]"
//   IOPCEventSubscriptionMgt::Refresh, ::CancelRefresh  "Connection=1"

#include "SimCatalog.h"
#include "SimFaults.h"
#include "SimSubscriptionChannel.h"
#include "comobject.h"
#include "connpoint.h"
#include "opc_ae.h"

namespace zelk::aesim {

// The largest buffer time (ms) and max size a subscription grants; larger requests are
// revised down with OPC_S_INVALIDBUFFERTIME / OPC_S_INVALIDMAXSIZE. Max size 0 (no
// limit) and buffer time 0 (as soon as possible) are granted as they are.
inline constexpr DWORD SimMaxBufferTime = 60'000;
inline constexpr DWORD SimMaxMaxSize = 10'000;

class TSimSubscription final
    : public zelk::com::ComObject<TSimSubscription, IOPCEventSubscriptionMgt,
                                  IConnectionPointContainer> {
public:
    TSimSubscription(ComPtr<IUnknown> server, ISimCatalog& catalog, TSimFaults& faults,
                     const TSimSubscriptionState& initial);
    ~TSimSubscription() override;

    const std::shared_ptr<TSimSubscriptionChannel>& Channel() const noexcept { return FChannel; }

    // IOPCEventSubscriptionMgt.
    HRESULT STDMETHODCALLTYPE SetFilter(DWORD dwEventType, DWORD dwNumCategories,
                                        DWORD* pdwEventCategories, DWORD dwLowSeverity,
                                        DWORD dwHighSeverity, DWORD dwNumAreas, LPWSTR* pszAreaList,
                                        DWORD dwNumSources, LPWSTR* pszSourceList) override;
    HRESULT STDMETHODCALLTYPE GetFilter(DWORD* pdwEventType, DWORD* pdwNumCategories,
                                        DWORD** ppdwEventCategories, DWORD* pdwLowSeverity,
                                        DWORD* pdwHighSeverity, DWORD* pdwNumAreas,
                                        LPWSTR** ppszAreaList, DWORD* pdwNumSources,
                                        LPWSTR** ppszSourceList) override;
    HRESULT STDMETHODCALLTYPE SelectReturnedAttributes(DWORD dwEventCategory, DWORD dwCount,
                                                       DWORD* dwAttributeIDs) override;
    HRESULT STDMETHODCALLTYPE GetReturnedAttributes(DWORD dwEventCategory, DWORD* pdwCount,
                                                    DWORD** ppdwAttributeIDs) override;
    // Works whether the subscription is active or not; the calls follow on later Pumps.
    HRESULT STDMETHODCALLTYPE Refresh(DWORD dwConnection) override;
    HRESULT STDMETHODCALLTYPE CancelRefresh(DWORD dwConnection) override;
    HRESULT STDMETHODCALLTYPE GetState(BOOL* pbActive, DWORD* pdwBufferTime, DWORD* pdwMaxSize,
                                       OPCHANDLE* phClientSubscription) override;
    HRESULT STDMETHODCALLTYPE SetState(BOOL* pbActive, DWORD* pdwBufferTime, DWORD* pdwMaxSize,
                                       OPCHANDLE hClientSubscription, DWORD* pdwRevisedBufferTime,
                                       DWORD* pdwRevisedMaxSize) override;

    // IConnectionPointContainer.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

private:
    // The fault injection's answer, or RPC_E_DISCONNECTED after the server's shutdown.
    std::optional<HRESULT> Enter(std::string_view method);
    // Whether `connection` is the cookie of the advised sink.
    bool IsAdvisedCookie(DWORD connection) const;

    const ComPtr<IUnknown> FServer; // kept alive as long as the subscription
    ISimCatalog& FCatalog;          // the server's; lives as long as FServer
    TSimFaults& FFaults;            // the server class's; outlives every server object
    zelk::com::ConnectionPointContainer FPoints{this};
    zelk::com::ConnectionPoint& FSinkPoint;
    const std::shared_ptr<TSimSubscriptionChannel> FChannel;
};

} // namespace zelk::aesim
