#pragma once

// Activation: per-thread initialisation, process security and object creation on the
// local computer or on a computer of the simulated network (registry.h). There are no
// apartments: every object is free-threaded, and a remote object is the object itself.

#include "comifaces.h"
#include "registry.h"

#include <optional>

// ---- Initialisation ----

inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;
inline constexpr DWORD COINIT_SPEED_OVER_MEMORY = 0x8;

// S_OK the first time on a thread, S_FALSE for each further call with the same model;
// RPC_E_CHANGED_MODE (not counted) when the thread was initialised with the other one.
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
HRESULT CoInitialize(LPVOID pvReserved); // apartment-threaded
// Undoes one successful CoInitialize(Ex) of the calling thread.
void CoUninitialize();

// ---- Security ----

using PSECURITY_DESCRIPTOR = void*;

struct SOLE_AUTHENTICATION_SERVICE {
    DWORD dwAuthnSvc;
    DWORD dwAuthzSvc;
    OLECHAR* pPrincipalName;
    HRESULT hr;
};

inline constexpr DWORD RPC_C_AUTHN_LEVEL_DEFAULT = 0;
inline constexpr DWORD RPC_C_AUTHN_LEVEL_NONE = 1;
inline constexpr DWORD RPC_C_AUTHN_LEVEL_CONNECT = 2;
inline constexpr DWORD RPC_C_AUTHN_LEVEL_CALL = 3;
inline constexpr DWORD RPC_C_AUTHN_LEVEL_PKT = 4;
inline constexpr DWORD RPC_C_AUTHN_LEVEL_PKT_INTEGRITY = 5;
inline constexpr DWORD RPC_C_AUTHN_LEVEL_PKT_PRIVACY = 6;
inline constexpr DWORD RPC_C_IMP_LEVEL_DEFAULT = 0;
inline constexpr DWORD RPC_C_IMP_LEVEL_ANONYMOUS = 1;
inline constexpr DWORD RPC_C_IMP_LEVEL_IDENTIFY = 2;
inline constexpr DWORD RPC_C_IMP_LEVEL_IMPERSONATE = 3;
inline constexpr DWORD RPC_C_IMP_LEVEL_DELEGATE = 4;
inline constexpr DWORD EOAC_NONE = 0;

// Records the process's security settings once; every later call answers RPC_E_TOO_LATE.
// E_INVALIDARG when cAuthSvc is below -1, or -1 with an authentication-service list.
HRESULT CoInitializeSecurity(PSECURITY_DESCRIPTOR pSecDesc, LONG cAuthSvc,
                             SOLE_AUTHENTICATION_SERVICE* asAuthSvc, void* pReserved1,
                             DWORD dwAuthnLevel, DWORD dwImpLevel, void* pAuthList,
                             DWORD dwCapabilities, void* pReserved3);

// ---- Creation ----

struct COAUTHINFO;

struct COSERVERINFO {
    DWORD dwReserved1;
    LPWSTR pwszName; // the computer; null, empty or the local name for this computer
    COAUTHINFO* pAuthInfo;
    DWORD dwReserved2;
};

struct MULTI_QI {
    const IID* pIID;
    IUnknown* pItf;
    HRESULT hr;
};

inline constexpr HRESULT CO_S_NOTALLINTERFACES = zelk::com::detail::Code(0x00080012);

// Creates an object of a class registered on the local computer. REGDB_E_CLASSNOTREG
// when no class is registered for a context in `dwClsContext`; CLASS_E_NOAGGREGATION
// with an outer object; the factory's answer otherwise (E_NOINTERFACE when the object
// lacks `riid`, and then no object remains).
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);

// Creates an object on the computer of `pServerInfo` and asks it for each MULTI_QI entry.
// A computer that is neither local nor declared answers
// HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) for the call and every entry. On another
// computer only its local servers can start, and only with CLSCTX_REMOTE_SERVER; toward
// the local computer CLSCTX_REMOTE_SERVER counts as CLSCTX_LOCAL_SERVER. Results: S_OK
// when every entry got its interface, CO_S_NOTALLINTERFACES when some did, E_NOINTERFACE
// when none; failed entries hold a null pItf and their code.
HRESULT CoCreateInstanceEx(REFCLSID rclsid, IUnknown* punkOuter, DWORD dwClsCtx,
                           COSERVERINFO* pServerInfo, DWORD dwCount, MULTI_QI* pResults);

// The class factory of a class (asked for `riid`), with the rules of CoCreateInstanceEx.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* pServerInfo,
                         REFIID riid, LPVOID* ppv);

namespace zelk::com {

// The calling thread's count of successful CoInitialize(Ex) calls not yet undone.
int ThreadInitializeCount();

// What CoInitializeSecurity recorded.
struct SecuritySettings {
    PSECURITY_DESCRIPTOR SecurityDescriptor;
    LONG AuthenticationServices;
    bool HasAuthenticationServiceList;
    DWORD AuthenticationLevel;
    DWORD ImpersonationLevel;
    void* AuthenticationList;
    DWORD Capabilities;
};
// The recorded settings, or nothing while CoInitializeSecurity has not succeeded.
std::optional<SecuritySettings> ProcessSecurity();
// Test hook: forget the recorded settings, so the next CoInitializeSecurity succeeds.
void ResetProcessSecurity();

} // namespace zelk::com
