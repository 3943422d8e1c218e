#pragma once

// SAFEARRAY: a self-describing array of one element type with one or more dimensions.
// Field order is that of the Windows headers. As there, rgsabound holds the bounds in
// reverse order (rgsabound[0] is the last dimension the caller names), while every
// function takes dimensions and indices in the caller's order (nDim is 1-based). The
// first index varies fastest in memory.
//
// Descriptor and data are task memory, so zelk::com::LiveTaskAllocations() counts live
// arrays. Element types: VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8, VT_UI8,
// VT_INT, VT_UINT, VT_R4, VT_R8, VT_BOOL, VT_DATE, VT_CY, VT_ERROR, VT_BSTR, VT_VARIANT,
// VT_UNKNOWN and VT_DISPATCH; the array owns its strings, variants and references.

#include "comtypes.h"

using PVOID = void*;

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};
using LPSAFEARRAYBOUND = SAFEARRAYBOUND*;

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1]; // cDims entries; the descriptor is allocated to fit
};
using LPSAFEARRAY = SAFEARRAY*;

inline constexpr USHORT FADF_AUTO = 0x0001;
inline constexpr USHORT FADF_STATIC = 0x0002;
inline constexpr USHORT FADF_EMBEDDED = 0x0004;
inline constexpr USHORT FADF_FIXEDSIZE = 0x0010;
inline constexpr USHORT FADF_RECORD = 0x0020;
inline constexpr USHORT FADF_HAVEIID = 0x0040;
inline constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
inline constexpr USHORT FADF_BSTR = 0x0100;
inline constexpr USHORT FADF_UNKNOWN = 0x0200;
inline constexpr USHORT FADF_DISPATCH = 0x0400;
inline constexpr USHORT FADF_VARIANT = 0x0800;
inline constexpr USHORT FADF_RESERVED = 0xF008;

// Elements start zeroed (null strings, VT_EMPTY variants). nullptr for an unsupported
// element type, no dimensions, a size that does not fit, or lack of memory.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
// Releases the elements and frees the array; S_OK for nullptr; DISP_E_ARRAYISLOCKED,
// with nothing freed, while the array is locked. For a caller-built descriptor marked
// FADF_AUTO, FADF_STATIC or FADF_EMBEDDED only the elements are released.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
// A deep copy (strings duplicated, variants copied, references added). A null `psa`
// gives *ppsaOut = nullptr and S_OK.
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

UINT SafeArrayGetDim(SAFEARRAY* psa);
UINT SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);

// Locks count; a locked array cannot be destroyed or resized.
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, const LONG* rgIndices, void** ppvData);

// Copies one element out: a new BSTR into *(BSTR*)pv, a VariantCopy into the VARIANT at
// `pv` (treated as uninitialised), an AddRef'd pointer into *(IUnknown**)pv.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv);
// Stores a copy of one element: for VT_BSTR, VT_UNKNOWN and VT_DISPATCH `pv` is the
// string or interface pointer itself; otherwise it points to the value. The old element
// is released.
HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv);
// New bounds for the last dimension (in the caller's order); shrinking releases the
// elements that fall away, growing adds zeroed ones.
HRESULT SafeArrayRedim(SAFEARRAY* psa, const SAFEARRAYBOUND* psaboundNew);
