#pragma once

// The OPC Common interfaces (OPC Common 1.10): locale and client name, the shutdown
// callback, and the server enumerator's list interfaces. Method order is the order of
// the standard's IDL: it is the vtable layout that servers and clients share.
// Every string or array returned through an out argument is task memory owned by the
// caller (CoTaskMemFree), strings inside arrays included.

#include "comifaces.h"
#include "comtypes.h"

ZELK_INTERFACE_IDENTITY(IOPCShutdown, IUnknown, "F31DFDE1-07B6-11D2-B2D8-0060083BA1FB");
struct IOPCShutdown : IUnknown {
    // Implemented by the client and advised on the server's connection point; the
    // server calls it from any of its threads when it wants its clients to go away.
    virtual HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR szReason) = 0;

protected:
    ~IOPCShutdown() = default;
};

ZELK_INTERFACE_IDENTITY(IOPCCommon, IUnknown, "F31DFDE2-07B6-11D2-B2D8-0060083BA1FB");
struct IOPCCommon : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* pdwLcid) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR* ppString) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR szName) = 0;

protected:
    ~IOPCCommon() = default;
};

// The server enumerator's first interface: classes of the given categories through the
// standard GUID enumerator, and their ProgID and user-type name.
ZELK_INTERFACE_IDENTITY(IOPCServerList, IUnknown, "13486D50-4821-11D2-A494-3CB306C10000");
struct IOPCServerList : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented,
                                                              CATID rgcatidImpl[], ULONG cRequired,
                                                              CATID rgcatidReq[],
                                                              IEnumGUID** ppenumClsid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID,
                                                      LPOLESTR* ppszUserType) = 0;
    virtual HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) = 0;

protected:
    ~IOPCServerList() = default;
};

// The OPC copy of IEnumGUID, with its own identity so that it marshals without the
// system's proxy for IEnumGUID.
ZELK_INTERFACE_IDENTITY(IOPCEnumGUID, IUnknown, "55C382C8-21C7-4E88-96C1-BECFB1E3F483");
struct IOPCEnumGUID : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, GUID* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IOPCEnumGUID** ppenum) = 0;

protected:
    ~IOPCEnumGUID() = default;
};
using LPOPCENUMGUID = IOPCEnumGUID*;

ZELK_INTERFACE_IDENTITY(IOPCServerList2, IUnknown, "9DD0B56C-AD9E-43EE-8305-487F3188BF7A");
struct IOPCServerList2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented,
                                                              CATID rgcatidImpl[], ULONG cRequired,
                                                              CATID rgcatidReq[],
                                                              IOPCEnumGUID** ppenumClsid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR* ppszProgID,
                                                      LPOLESTR* ppszUserType,
                                                      LPOLESTR* ppszVerIndProgID) = 0;
    virtual HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) = 0;

protected:
    ~IOPCServerList2() = default;
};

// Known by identity only: a server that answers it is a Data Access 3.0 server.
ZELK_INTERFACE_ID(IOPCBrowse, "39227004-A18F-4B57-8B0A-5235670F4468");