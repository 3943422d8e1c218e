#pragma once

// The OPC Alarms and Events interfaces and records (OPC AE 1.10). Method order is the
// order of the standard's IDL (the shared vtable layout); records keep the standard's
// field order with this platform's natural alignment, so their byte offsets differ
// from those quoted for 32-bit Windows.
// Everything a server returns through an out argument is task memory owned by the
// caller (CoTaskMemFree): arrays, the strings inside them, and the strings and arrays
// a returned record points to.

#include "comifaces.h"
#include "comtypes.h"
#include "opcenum.h"
#include "variant.h"

using OPCHANDLE = DWORD;

// ---- Enumerations (32-bit, as MIDL lays out enums) ----
enum OPCAEBROWSEDIRECTION : LONG {
    OPCAE_BROWSE_UP = 1,
    OPCAE_BROWSE_DOWN = 2,
    OPCAE_BROWSE_TO = 3,
};

enum OPCAEBROWSETYPE : LONG {
    OPC_AREA = 1,
    OPC_SOURCE = 2,
};

enum OPCEVENTSERVERSTATE : LONG {
    OPCAE_STATUS_RUNNING = 1,
    OPCAE_STATUS_FAILED = 2,
    OPCAE_STATUS_NOCONFIG = 3,
    OPCAE_STATUS_SUSPENDED = 4,
    OPCAE_STATUS_TEST = 5,
    OPCAE_STATUS_COMM_FAULT = 6,
};

// ---- Event types (dwEventType, and the filter's event-type mask) ----
inline constexpr DWORD OPC_SIMPLE_EVENT = 0x0001;
inline constexpr DWORD OPC_TRACKING_EVENT = 0x0002;
inline constexpr DWORD OPC_CONDITION_EVENT = 0x0004;
inline constexpr DWORD OPC_ALL_EVENTS = OPC_SIMPLE_EVENT | OPC_TRACKING_EVENT | OPC_CONDITION_EVENT;

// ---- Filter capabilities (IOPCEventServer::QueryAvailableFilters) ----
inline constexpr DWORD OPC_FILTER_BY_EVENT = 0x0001;
inline constexpr DWORD OPC_FILTER_BY_CATEGORY = 0x0002;
inline constexpr DWORD OPC_FILTER_BY_SEVERITY = 0x0004;
inline constexpr DWORD OPC_FILTER_BY_AREA = 0x0008;
inline constexpr DWORD OPC_FILTER_BY_SOURCE = 0x0010;

// ---- What changed in a condition notification (ONEVENTSTRUCT::wChangeMask) ----
inline constexpr WORD OPC_CHANGE_ACTIVE_STATE = 0x0001;
inline constexpr WORD OPC_CHANGE_ACK_STATE = 0x0002;
inline constexpr WORD OPC_CHANGE_ENABLE_STATE = 0x0004;
inline constexpr WORD OPC_CHANGE_QUALITY = 0x0008;
inline constexpr WORD OPC_CHANGE_SEVERITY = 0x0010;
inline constexpr WORD OPC_CHANGE_SUBCONDITION = 0x0020;
inline constexpr WORD OPC_CHANGE_MESSAGE = 0x0040;
inline constexpr WORD OPC_CHANGE_ATTRIBUTE = 0x0080;

// ---- Condition state (ONEVENTSTRUCT::wNewState, OPCCONDITIONSTATE::wState) ----
inline constexpr WORD OPC_CONDITION_ENABLED = 0x0001;
inline constexpr WORD OPC_CONDITION_ACTIVE = 0x0002;
inline constexpr WORD OPC_CONDITION_ACKED = 0x0004;

// ---- Quality (wQuality): the OPC quality bits that AE shares with Data Access ----
inline constexpr WORD OPC_QUALITY_MASK = 0xC0;
inline constexpr WORD OPC_STATUS_MASK = 0xFC;
inline constexpr WORD OPC_LIMIT_MASK = 0x03;
inline constexpr WORD OPC_QUALITY_BAD = 0x00;
inline constexpr WORD OPC_QUALITY_UNCERTAIN = 0x40;
inline constexpr WORD OPC_QUALITY_GOOD = 0xC0;
inline constexpr WORD OPC_QUALITY_CONFIG_ERROR = 0x04;
inline constexpr WORD OPC_QUALITY_NOT_CONNECTED = 0x08;
inline constexpr WORD OPC_QUALITY_DEVICE_FAILURE = 0x0C;
inline constexpr WORD OPC_QUALITY_SENSOR_FAILURE = 0x10;
inline constexpr WORD OPC_QUALITY_LAST_KNOWN = 0x14;
inline constexpr WORD OPC_QUALITY_COMM_FAILURE = 0x18;
inline constexpr WORD OPC_QUALITY_OUT_OF_SERVICE = 0x1C;
inline constexpr WORD OPC_QUALITY_LAST_USABLE = 0x44;
inline constexpr WORD OPC_QUALITY_SENSOR_CAL = 0x50;
inline constexpr WORD OPC_QUALITY_EGU_EXCEEDED = 0x54;
inline constexpr WORD OPC_QUALITY_SUB_NORMAL = 0x58;
inline constexpr WORD OPC_QUALITY_LOCAL_OVERRIDE = 0xD8;
inline constexpr WORD OPC_LIMIT_OK = 0x00;
inline constexpr WORD OPC_LIMIT_LOW = 0x01;
inline constexpr WORD OPC_LIMIT_HIGH = 0x02;
inline constexpr WORD OPC_LIMIT_CONST = 0x03;

// ---- Records ----

// One notification, as the server passes an array of them to IOPCEventSink::OnEvent.
// The array and everything it points to belong to the server; the sink copies what it
// keeps before it returns.
struct ONEVENTSTRUCT {
    WORD wChangeMask;
    WORD wNewState;
    LPWSTR szSource;
    FILETIME ftTime;
    LPWSTR szMessage;
    DWORD dwEventType;
    DWORD dwEventCategory;
    DWORD dwSeverity;
    LPWSTR szConditionName;
    LPWSTR szSubconditionName;
    WORD wQuality;
    WORD wReserved;
    BOOL bAckRequired;
    FILETIME ftActiveTime;
    DWORD dwCookie;
    DWORD dwNumEventAttrs;
    VARIANT* pEventAttributes; // dwNumEventAttrs values
    LPWSTR szActorID;
};

struct OPCEVENTSERVERSTATUS {
    FILETIME ftStartTime;
    FILETIME ftCurrentTime;
    FILETIME ftLastUpdateTime;
    OPCEVENTSERVERSTATE dwServerState;
    WORD wMajorVersion;
    WORD wMinorVersion;
    WORD wBuildNumber;
    WORD wReserved;
    LPWSTR szVendorInfo;
};

struct OPCCONDITIONSTATE {
    WORD wState;
    WORD wReserved1;
    LPWSTR szActiveSubCondition;
    LPWSTR szASCDefinition;
    DWORD dwASCSeverity;
    LPWSTR szASCDescription;
    WORD wQuality;
    WORD wReserved2;
    FILETIME ftLastAckTime;
    FILETIME ftSubCondLastActive;
    FILETIME ftCondLastActive;
    FILETIME ftCondLastInactive;
    LPWSTR szAcknowledgerID;
    LPWSTR szComment;
    DWORD dwNumSCs;
    LPWSTR* pszSCNames;        // dwNumSCs strings
    LPWSTR* pszSCDefinitions;  // dwNumSCs strings
    DWORD* pdwSCSeverities;    // dwNumSCs values
    LPWSTR* pszSCDescriptions; // dwNumSCs strings
    DWORD dwNumEventAttrs;
    VARIANT* pEventAttributes; // dwNumEventAttrs values
    HRESULT* pErrors;          // dwNumEventAttrs results
};

// ---- Interfaces ----

ZELK_INTERFACE_IDENTITY(IOPCEventServer, IUnknown, "65168851-5783-11D1-84A0-00608CB8A7E9");
struct IOPCEventServer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetStatus(OPCEVENTSERVERSTATUS** ppEventServerStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateEventSubscription(
        BOOL bActive, DWORD dwBufferTime, DWORD dwMaxSize, OPCHANDLE hClientSubscription,
        REFIID riid, LPUNKNOWN* ppUnk, DWORD* pdwRevisedBufferTime, DWORD* pdwRevisedMaxSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryAvailableFilters(DWORD* pdwFilterMask) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryEventCategories(DWORD dwEventType, DWORD* pdwCount,
                                                           DWORD** ppdwEventCategories,
                                                           LPWSTR** ppszEventCategoryDescs) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryConditionNames(DWORD dwEventCategory, DWORD* pdwCount,
                                                          LPWSTR** ppszConditionNames) = 0;
    virtual HRESULT STDMETHODCALLTYPE QuerySubConditionNames(LPWSTR szConditionName,
                                                             DWORD* pdwCount,
                                                             LPWSTR** ppszSubConditionNames) = 0;
    virtual HRESULT STDMETHODCALLTYPE QuerySourceConditions(LPWSTR szSource, DWORD* pdwCount,
                                                            LPWSTR** ppszConditionNames) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryEventAttributes(DWORD dwEventCategory, DWORD* pdwCount,
                                                           DWORD** ppdwAttrIDs,
                                                           LPWSTR** ppszAttrDescs,
                                                           VARTYPE** ppvtAttrTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    TranslateToItemIDs(LPWSTR szSource, DWORD dwEventCategory, LPWSTR szConditionName,
                       LPWSTR szSubconditionName, DWORD dwCount, DWORD* pdwAssocAttrIDs,
                       LPWSTR** ppszAttrItemIDs, LPWSTR** ppszNodeNames, CLSID** ppCLSIDs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConditionState(LPWSTR szSource, LPWSTR szConditionName,
                                                        DWORD dwNumEventAttrs,
                                                        DWORD* pdwAttributeIDs,
                                                        OPCCONDITIONSTATE** ppConditionState) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableConditionByArea(DWORD dwNumAreas, LPWSTR* pszAreas) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnableConditionBySource(DWORD dwNumSources,
                                                              LPWSTR* pszSources) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisableConditionByArea(DWORD dwNumAreas,
                                                             LPWSTR* pszAreas) = 0;
    virtual HRESULT STDMETHODCALLTYPE DisableConditionBySource(DWORD dwNumSources,
                                                               LPWSTR* pszSources) = 0;
    // Parallel arrays of dwCount entries; *ppErrors receives one result per condition.
    virtual HRESULT STDMETHODCALLTYPE AckCondition(DWORD dwCount, LPWSTR szAcknowledgerID,
                                                   LPWSTR szComment, LPWSTR* pszSource,
                                                   LPWSTR* pszConditionName,
                                                   FILETIME* pftActiveTime, DWORD* pdwCookie,
                                                   HRESULT** ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateAreaBrowser(REFIID riid, LPUNKNOWN* ppUnk) = 0;

protected:
    ~IOPCEventServer() = default;
};

ZELK_INTERFACE_IDENTITY(IOPCEventSubscriptionMgt, IUnknown, "65168855-5783-11D1-84A0-00608CB8A7E9");
struct IOPCEventSubscriptionMgt : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFilter(DWORD dwEventType, DWORD dwNumCategories,
                                                DWORD* pdwEventCategories, DWORD dwLowSeverity,
                                                DWORD dwHighSeverity, DWORD dwNumAreas,
                                                LPWSTR* pszAreaList, DWORD dwNumSources,
                                                LPWSTR* pszSourceList) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFilter(DWORD* pdwEventType, DWORD* pdwNumCategories,
                                                DWORD** ppdwEventCategories, DWORD* pdwLowSeverity,
                                                DWORD* pdwHighSeverity, DWORD* pdwNumAreas,
                                                LPWSTR** ppszAreaList, DWORD* pdwNumSources,
                                                LPWSTR** ppszSourceList) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectReturnedAttributes(DWORD dwEventCategory, DWORD dwCount,
                                                               DWORD* dwAttributeIDs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReturnedAttributes(DWORD dwEventCategory, DWORD* pdwCount,
                                                            DWORD** ppdwAttributeIDs) = 0;
    virtual HRESULT STDMETHODCALLTYPE Refresh(DWORD dwConnection) = 0;
    virtual HRESULT STDMETHODCALLTYPE CancelRefresh(DWORD dwConnection) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(BOOL* pbActive, DWORD* pdwBufferTime,
                                               DWORD* pdwMaxSize,
                                               OPCHANDLE* phClientSubscription) = 0;
    // A null pointer among the first three leaves that setting unchanged.
    virtual HRESULT STDMETHODCALLTYPE SetState(BOOL* pbActive, DWORD* pdwBufferTime,
                                               DWORD* pdwMaxSize, OPCHANDLE hClientSubscription,
                                               DWORD* pdwRevisedBufferTime,
                                               DWORD* pdwRevisedMaxSize) = 0;

protected:
    ~IOPCEventSubscriptionMgt() = default;
};

ZELK_INTERFACE_IDENTITY(IOPCEventAreaBrowser, IUnknown, "65168857-5783-11D1-84A0-00608CB8A7E9");
struct IOPCEventAreaBrowser : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCAEBROWSEDIRECTION dwBrowseDirection,
                                                           LPCWSTR szString) = 0;
    virtual HRESULT STDMETHODCALLTYPE BrowseOPCAreas(OPCAEBROWSETYPE dwBrowseFilterType,
                                                     LPCWSTR szFilterCriteria,
                                                     IEnumString** ppIEnumString) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetQualifiedAreaName(LPCWSTR szAreaName,
                                                           LPWSTR* pszQualifiedAreaName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetQualifiedSourceName(LPCWSTR szSourceName,
                                                             LPWSTR* pszQualifiedSourceName) = 0;

protected:
    ~IOPCEventAreaBrowser() = default;
};

// Implemented by the client and advised on the subscription's connection point. The
// server may call it from any of its threads; pEvents is valid only during the call.
ZELK_INTERFACE_IDENTITY(IOPCEventSink, IUnknown, "6516885F-5783-11D1-84A0-00608CB8A7E9");
struct IOPCEventSink : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnEvent(OPCHANDLE hClientSubscription, BOOL bRefresh,
                                              BOOL bLastRefresh, DWORD dwCount,
                                              ONEVENTSTRUCT* pEvents) = 0;

protected:
    ~IOPCEventSink() = default;
};
