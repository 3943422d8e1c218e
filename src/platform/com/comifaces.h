#pragma once

// The standard COM interfaces that the stand-in implements and the toolkit calls:
// class factories, connection points, string and GUID enumerators, the component
// categories manager and the global interface table.

#include "comtypes.h"

ZELK_INTERFACE_IDENTITY(IClassFactory, IUnknown, "00000001-0000-0000-C000-000000000046");
struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                     void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

ZELK_INTERFACE_IDENTITY(IEnumString, IUnknown, "00000101-0000-0000-C000-000000000046");
struct IEnumString : IUnknown {
    // Each returned string is task memory that the caller frees with CoTaskMemFree.
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumString** ppenum) = 0;

protected:
    ~IEnumString() = default;
};

ZELK_INTERFACE_IDENTITY(IEnumGUID, IUnknown, "0002E000-0000-0000-C000-000000000046");
struct IEnumGUID : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, GUID* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumGUID** ppenum) = 0;

protected:
    ~IEnumGUID() = default;
};
using IEnumCLSID = IEnumGUID;
using IEnumCATID = IEnumGUID;

struct CONNECTDATA {
    IUnknown* pUnk;
    DWORD dwCookie;
};

struct IConnectionPoint;

ZELK_INTERFACE_IDENTITY(IEnumConnections, IUnknown, "B196B287-BAB4-101A-B69C-00AA00341D07");
struct IEnumConnections : IUnknown {
    // Each returned pUnk is AddRef'd for the caller.
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, CONNECTDATA* rgcd,
                                           ULONG* pcFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumConnections** ppEnum) = 0;

protected:
    ~IEnumConnections() = default;
};

ZELK_INTERFACE_IDENTITY(IEnumConnectionPoints, IUnknown, "B196B285-BAB4-101A-B69C-00AA00341D07");
struct IEnumConnectionPoints : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, IConnectionPoint** ppCP,
                                           ULONG* pcFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** ppEnum) = 0;

protected:
    ~IEnumConnectionPoints() = default;
};

ZELK_INTERFACE_IDENTITY(IConnectionPointContainer, IUnknown,
                        "B196B284-BAB4-101A-B69C-00AA00341D07");
struct IConnectionPointContainer : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;

protected:
    ~IConnectionPointContainer() = default;
};

ZELK_INTERFACE_IDENTITY(IConnectionPoint, IUnknown, "B196B286-BAB4-101A-B69C-00AA00341D07");
struct IConnectionPoint : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) = 0;

protected:
    ~IConnectionPoint() = default;
};

struct CATEGORYINFO {
    CATID catid;
    LCID lcid;
    OLECHAR szDescription[128];
};

ZELK_INTERFACE_IDENTITY(IEnumCATEGORYINFO, IUnknown, "0002E011-0000-0000-C000-000000000046");
struct IEnumCATEGORYINFO : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, CATEGORYINFO* rgelt,
                                           ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumCATEGORYINFO** ppenum) = 0;

protected:
    ~IEnumCATEGORYINFO() = default;
};

ZELK_INTERFACE_IDENTITY(ICatInformation, IUnknown, "0002E013-0000-0000-C000-000000000046");
struct ICatInformation : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumCategories(LCID lcid,
                                                     IEnumCATEGORYINFO** ppenumCategoryInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCategoryDesc(REFCATID rcatid, LCID lcid,
                                                      LPWSTR* pszDesc) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented,
                                                              const CATID rgcatidImpl[],
                                                              ULONG cRequired,
                                                              const CATID rgcatidReq[],
                                                              IEnumGUID** ppenumClsid) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsClassOfCategories(REFCLSID rclsid, ULONG cImplemented,
                                                          const CATID rgcatidImpl[],
                                                          ULONG cRequired,
                                                          const CATID rgcatidReq[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumImplCategoriesOfClass(REFCLSID rclsid,
                                                                IEnumGUID** ppenumCatid) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumReqCategoriesOfClass(REFCLSID rclsid,
                                                               IEnumGUID** ppenumCatid) = 0;

protected:
    ~ICatInformation() = default;
};

inline constexpr CLSID CLSID_StdComponentCategoriesMgr =
    ZelkGuid("0002E005-0000-0000-C000-000000000046");

ZELK_INTERFACE_IDENTITY(IGlobalInterfaceTable, IUnknown, "00000146-0000-0000-C000-000000000046");
struct IGlobalInterfaceTable : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid,
                                                                DWORD* pdwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE RevokeInterfaceFromGlobal(DWORD dwCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid,
                                                             void** ppv) = 0;

protected:
    ~IGlobalInterfaceTable() = default;
};

inline constexpr CLSID CLSID_StdGlobalInterfaceTable =
    ZelkGuid("00000323-0000-0000-C000-000000000046");
