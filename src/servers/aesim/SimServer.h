#pragma once

// The simulated OPC AE server object: one per client connection (each CoCreateInstance
// of the class), all sharing the class's engine and thus its plant. Implements
// IOPCEventServer, IOPCCommon and IConnectionPointContainer (one IOPCShutdown point),
// and answers its subscriptions' questions as their ISimCatalog.
//
// Recorded calls (TSimFaults::Calls), in the text form "Key=value Key=[a,b]":
//   IOPCCommon::SetClientName                     "Name=…"
//   IOPCCommon::SetLocaleID                       "Locale=0x0409"
//   IOPCEventServer::CreateEventSubscription      "Active=1 BufferTime=500 MaxSize=10
//   ClientHandle=1" IOPCEventServer::AckCondition                 "Count=2 Acknowledger=… Comment=…
//   Sources=[…]
//                                                  Conditions=[…] ActiveTimes=[…] Cookies=[…]"
//   IOPCEventServer::GetConditionState            "Source=… Condition=… AttributeIds=[…]"
//   IOPCEventServer::Enable/DisableConditionByArea/BySource   "Names=[…]"
// Times are the 64-bit FILETIME in 16 hexadecimal digits; a null argument reads "null".

#include "SimCatalog.h"
#include "SimEngine.h"
#include "comobject.h"
#include "connpoint.h"
#include "opc_ae.h"
#include "opccomn.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace zelk::aesim {

class TSimEventServer final : public zelk::com::ComObject<TSimEventServer, IOPCEventServer,
                                                          IOPCCommon, IConnectionPointContainer>,
                              public ISimCatalog {
public:
    explicit TSimEventServer(std::shared_ptr<TSimEngine> engine);
    ~TSimEventServer() override;

    // Hides IConnectionPointContainer or answers IOPCBrowse, as the class's capabilities say.
    using ComObject::QueryInterface;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

    // ---- IOPCEventServer
    HRESULT STDMETHODCALLTYPE GetStatus(OPCEVENTSERVERSTATUS** ppEventServerStatus) override;
    HRESULT STDMETHODCALLTYPE CreateEventSubscription(BOOL bActive, DWORD dwBufferTime,
                                                      DWORD dwMaxSize,
                                                      OPCHANDLE hClientSubscription, REFIID riid,
                                                      LPUNKNOWN* ppUnk, DWORD* pdwRevisedBufferTime,
                                                      DWORD* pdwRevisedMaxSize) override;
    HRESULT STDMETHODCALLTYPE QueryAvailableFilters(DWORD* pdwFilterMask) override;
    HRESULT STDMETHODCALLTYPE QueryEventCategories(DWORD dwEventType, DWORD* pdwCount,
                                                   DWORD** ppdwEventCategories,
                                                   LPWSTR** ppszEventCategoryDescs) override;
    HRESULT STDMETHODCALLTYPE QueryConditionNames(DWORD dwEventCategory, DWORD* pdwCount,
                                                  LPWSTR** ppszConditionNames) override;
    HRESULT STDMETHODCALLTYPE QuerySubConditionNames(LPWSTR szConditionName, DWORD* pdwCount,
                                                     LPWSTR** ppszSubConditionNames) override;
    HRESULT STDMETHODCALLTYPE QuerySourceConditions(LPWSTR szSource, DWORD* pdwCount,
                                                    LPWSTR** ppszConditionNames) override;
    HRESULT STDMETHODCALLTYPE QueryEventAttributes(DWORD dwEventCategory, DWORD* pdwCount,
                                                   DWORD** ppdwAttrIDs, LPWSTR** ppszAttrDescs,
                                                   VARTYPE** ppvtAttrTypes) override;
    HRESULT STDMETHODCALLTYPE TranslateToItemIDs(LPWSTR szSource, DWORD dwEventCategory,
                                                 LPWSTR szConditionName, LPWSTR szSubconditionName,
                                                 DWORD dwCount, DWORD* pdwAssocAttrIDs,
                                                 LPWSTR** ppszAttrItemIDs, LPWSTR** ppszNodeNames,
                                                 CLSID** ppCLSIDs) override;
    HRESULT STDMETHODCALLTYPE GetConditionState(LPWSTR szSource, LPWSTR szConditionName,
                                                DWORD dwNumEventAttrs, DWORD* pdwAttributeIDs,
                                                OPCCONDITIONSTATE** ppConditionState) override;
    HRESULT STDMETHODCALLTYPE EnableConditionByArea(DWORD dwNumAreas, LPWSTR* pszAreas) override;
    HRESULT STDMETHODCALLTYPE EnableConditionBySource(DWORD dwNumSources,
                                                      LPWSTR* pszSources) override;
    HRESULT STDMETHODCALLTYPE DisableConditionByArea(DWORD dwNumAreas, LPWSTR* pszAreas) override;
    HRESULT STDMETHODCALLTYPE DisableConditionBySource(DWORD dwNumSources,
                                                       LPWSTR* pszSources) override;
    HRESULT STDMETHODCALLTYPE AckCondition(DWORD dwCount, LPWSTR szAcknowledgerID, LPWSTR szComment,
                                           LPWSTR* pszSource, LPWSTR* pszConditionName,
                                           FILETIME* pftActiveTime, DWORD* pdwCookie,
                                           HRESULT** ppErrors) override;
    HRESULT STDMETHODCALLTYPE CreateAreaBrowser(REFIID riid, LPUNKNOWN* ppUnk) override;

    // ---- IOPCCommon
    HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) override;
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pdwLcid) override;
    HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override;
    HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR* ppString) override;
    HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR szName) override;

    // ---- IConnectionPointContainer
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // ---- ISimCatalog
    bool FindCategory(DWORD Id, TSimCategoryInfo& Category) const override;
    QStringList AreaNames() const override;
    QStringList SourceNames() const override;
    std::vector<TSimNotification> RefreshSnapshot() const override;
    bool AcceptsLowSeverityZero() const override;
    bool RefreshNotImplemented() const override;

    // ---- For the engine's shutdown (called under the engine's lock).
    std::vector<ComPtr<IUnknown>> ShutdownSinks() const;
    // From now on every method answers RPC_E_DISCONNECTED; the clients' sinks are dropped.
    void Disconnect();

    QString ClientName() const;

private:
    std::optional<HRESULT> Enter(std::string_view method);
    HRESULT ChangeEnabled(std::string_view method, DWORD count, LPWSTR* names, bool areas,
                          bool enable);

    const std::shared_ptr<TSimEngine> FEngine;
    zelk::com::ConnectionPointContainer FPoints{this};
    zelk::com::ConnectionPoint& FShutdownPoint;
    std::atomic<bool> FDisconnected{false};
    std::atomic<LCID> FLocale;
    mutable std::mutex FLock;
    QString FClientName; // guarded by FLock
};

} // namespace zelk::aesim
