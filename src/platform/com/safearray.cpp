#include "safearray.h"

#include "bstr.h"
#include "taskmem.h"
#include "variant.h"

#include <atomic>
#include <cstring>
#include <limits>

namespace {

// Four words before each descriptor we allocate, where Windows keeps them too: the last
// holds the element type (FADF_HAVEVARTYPE), or all four the interface's IID for an
// array of interfaces (FADF_HAVEIID). Caller-built descriptors have no prefix and are
// never freed.
union DescriptorPrefix {
    struct {
        std::uint32_t reserved[3];
        std::uint32_t vartype;
    } typed;
    GUID iid;
};
static_assert(sizeof(DescriptorPrefix) == 16);

constexpr GUID IID_IDispatch = ZelkGuid("00020400-0000-0000-C000-000000000046");

bool IsInterfaceType(VARTYPE vt) {
    return vt == VT_UNKNOWN || vt == VT_DISPATCH;
}

// How an array we allocate says what it holds.
USHORT IdentityFeature(VARTYPE vt) {
    return IsInterfaceType(vt) ? FADF_HAVEIID : FADF_HAVEVARTYPE;
}

constexpr USHORT CallerOwnedMemory = FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;
constexpr std::uint64_t MaxDataBytes = 0x7FFFFFFFu;
constexpr ULONG MaxLocks = 0xFFFF;

struct ElementType {
    ULONG size = 0;
    USHORT features = 0;
};

bool ElementTypeOf(VARTYPE vt, ElementType& type) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        type = {1, 0};
        return true;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        type = {2, 0};
        return true;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
        type = {4, 0};
        return true;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
    case VT_CY:
        type = {8, 0};
        return true;
    case VT_BSTR:
        type = {sizeof(BSTR), FADF_BSTR};
        return true;
    case VT_UNKNOWN:
        type = {sizeof(IUnknown*), FADF_UNKNOWN};
        return true;
    case VT_DISPATCH:
        type = {sizeof(IUnknown*), FADF_DISPATCH};
        return true;
    case VT_VARIANT:
        type = {sizeof(VARIANT), FADF_VARIANT};
        return true;
    default:
        return false;
    }
}

// The dimension the caller names `d` (0-based) is stored at rgsabound[cDims - 1 - d].
SAFEARRAYBOUND& Bound(SAFEARRAY* psa, UINT callerDim) {
    SAFEARRAYBOUND* bounds = psa->rgsabound;
    return bounds[psa->cDims - 1 - callerDim];
}

bool ElementCount(const SAFEARRAYBOUND* callerBounds, UINT dims, std::uint64_t elementSize,
                  std::uint64_t& count) {
    count = 1;
    for (UINT d = 0; d < dims; ++d) {
        count *= callerBounds[d].cElements;
        if (count * elementSize > MaxDataBytes)
            return false;
    }
    return true;
}

std::uint64_t ElementCount(SAFEARRAY* psa) {
    std::uint64_t count = 1;
    for (UINT d = 0; d < psa->cDims; ++d)
        count *= Bound(psa, d).cElements;
    return count;
}

std::byte* ElementAt(SAFEARRAY* psa, std::uint64_t cell) {
    return static_cast<std::byte*>(psa->pvData) + cell * psa->cbElements;
}

// A zeroed descriptor with its bounds still to be filled in.
SAFEARRAY* AllocateDescriptor(UINT dims, VARTYPE vt) {
    const std::size_t bytes =
        sizeof(DescriptorPrefix) + sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<std::byte*>(CoTaskMemAlloc(bytes));
    if (!block)
        return nullptr;
    std::memset(block, 0, bytes);
    auto* prefix = reinterpret_cast<DescriptorPrefix*>(block);
    if (IsInterfaceType(vt))
        prefix->iid = vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch;
    else
        prefix->typed.vartype = vt;
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + sizeof(DescriptorPrefix));
    psa->cDims = static_cast<USHORT>(dims);
    return psa;
}

void FreeDescriptor(SAFEARRAY* psa) {
    CoTaskMemFree(reinterpret_cast<std::byte*>(psa) - sizeof(DescriptorPrefix));
}

// Releases the elements [from, to) and zeroes them.
void ReleaseElements(SAFEARRAY* psa, std::uint64_t from, std::uint64_t to) {
    if (!psa->pvData)
        return;
    for (std::uint64_t cell = from; cell < to; ++cell) {
        std::byte* element = ElementAt(psa, cell);
        if (psa->fFeatures & FADF_BSTR) {
            SysFreeString(*reinterpret_cast<BSTR*>(element));
        } else if (psa->fFeatures & FADF_VARIANT) {
            VariantClear(reinterpret_cast<VARIANT*>(element));
        } else if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
            if (auto* unknown = *reinterpret_cast<IUnknown**>(element))
                unknown->Release();
        }
        std::memset(element, 0, psa->cbElements);
    }
}

// Copies one element from `from` (an element slot of `psa`) into the zeroed slot `to`.
HRESULT CopyElement(const SAFEARRAY* psa, const std::byte* from, std::byte* to) {
    if (psa->fFeatures & FADF_BSTR) {
        BSTR source = *reinterpret_cast<const BSTR*>(from);
        if (source) {
            BSTR copy = SysAllocStringLen(source, SysStringLen(source));
            if (!copy)
                return E_OUTOFMEMORY;
            *reinterpret_cast<BSTR*>(to) = copy;
        }
        return S_OK;
    }
    if (psa->fFeatures & FADF_VARIANT)
        return VariantCopy(reinterpret_cast<VARIANT*>(to), reinterpret_cast<const VARIANT*>(from));
    std::memcpy(to, from, psa->cbElements);
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        if (auto* unknown = *reinterpret_cast<IUnknown* const*>(from))
            unknown->AddRef();
    }
    return S_OK;
}

HRESULT CellOf(SAFEARRAY* psa, const LONG* rgIndices, std::uint64_t& cell) {
    if (!psa || !rgIndices || psa->cDims == 0)
        return E_INVALIDARG;
    cell = 0;
    std::uint64_t stride = 1;
    for (UINT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& bound = Bound(psa, d);
        const long long offset = static_cast<long long>(rgIndices[d]) - bound.lLbound;
        if (offset < 0 || offset >= static_cast<long long>(bound.cElements))
            return DISP_E_BADINDEX;
        cell += static_cast<std::uint64_t>(offset) * stride;
        stride *= bound.cElements;
    }
    return S_OK;
}

HRESULT BoundOf(SAFEARRAY* psa, UINT nDim, const SAFEARRAYBOUND*& bound) {
    if (!psa)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    bound = &Bound(psa, nDim - 1);
    return S_OK;
}

} // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, const SAFEARRAYBOUND* rgsabound) {
    ElementType type;
    std::uint64_t count = 0;
    if (!ElementTypeOf(vt, type) || cDims == 0 || cDims > std::numeric_limits<USHORT>::max() ||
        !rgsabound || !ElementCount(rgsabound, cDims, type.size, count))
        return nullptr;
    SAFEARRAY* psa = AllocateDescriptor(cDims, vt);
    if (!psa)
        return nullptr;
    psa->fFeatures = IdentityFeature(vt) | type.features;
    psa->cbElements = type.size;
    for (UINT d = 0; d < cDims; ++d)
        Bound(psa, d) = rgsabound[d];
    const std::size_t bytes = count * type.size;
    psa->pvData = CoTaskMemAlloc(bytes);
    if (!psa->pvData) {
        FreeDescriptor(psa);
        return nullptr;
    }
    std::memset(psa->pvData, 0, bytes);
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    const SAFEARRAYBOUND bound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa)
        return S_OK;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    ReleaseElements(psa, 0, ElementCount(psa));
    if (psa->fFeatures & CallerOwnedMemory)
        return S_OK;
    CoTaskMemFree(psa->pvData);
    FreeDescriptor(psa);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    if (psa->cDims == 0)
        return E_INVALIDARG;
    VARTYPE vt = VT_EMPTY;
    const bool typed = SUCCEEDED(SafeArrayGetVartype(psa, &vt));
    SAFEARRAY* copy = AllocateDescriptor(psa->cDims, vt);
    if (!copy)
        return E_OUTOFMEMORY;
    const auto kept = static_cast<USHORT>(psa->fFeatures & ~CallerOwnedMemory & ~FADF_HAVEIID &
                                          ~FADF_HAVEVARTYPE);
    copy->fFeatures = static_cast<USHORT>(kept | (typed ? IdentityFeature(vt) : 0));
    copy->cbElements = psa->cbElements;
    for (UINT d = 0; d < psa->cDims; ++d)
        Bound(copy, d) = Bound(psa, d);
    const std::uint64_t count = ElementCount(psa);
    if (count * psa->cbElements > MaxDataBytes) {
        FreeDescriptor(copy);
        return E_OUTOFMEMORY;
    }
    copy->pvData = CoTaskMemAlloc(count * psa->cbElements);
    if (!copy->pvData) {
        FreeDescriptor(copy);
        return E_OUTOFMEMORY;
    }
    std::memset(copy->pvData, 0, count * psa->cbElements);
    for (std::uint64_t cell = 0; cell < count && psa->pvData; ++cell) {
        const HRESULT hr = CopyElement(psa, ElementAt(psa, cell), ElementAt(copy, cell));
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    const SAFEARRAYBOUND* bound = nullptr;
    if (!plLbound)
        return E_INVALIDARG;
    const HRESULT hr = BoundOf(psa, nDim, bound);
    if (SUCCEEDED(hr))
        *plLbound = bound->lLbound;
    return hr;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    const SAFEARRAYBOUND* bound = nullptr;
    if (!plUbound)
        return E_INVALIDARG;
    const HRESULT hr = BoundOf(psa, nDim, bound);
    if (SUCCEEDED(hr))
        *plUbound =
            static_cast<LONG>(static_cast<long long>(bound->lLbound) + bound->cElements - 1);
    return hr;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt)
        return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) {
        const auto* prefix = reinterpret_cast<const DescriptorPrefix*>(
            reinterpret_cast<const std::byte*>(psa) - sizeof(DescriptorPrefix));
        *pvt = static_cast<VARTYPE>(prefix->typed.vartype);
    } else if (psa->fFeatures & FADF_BSTR) {
        *pvt = VT_BSTR;
    } else if (psa->fFeatures & FADF_UNKNOWN) {
        *pvt = VT_UNKNOWN;
    } else if (psa->fFeatures & FADF_DISPATCH) {
        *pvt = VT_DISPATCH;
    } else if (psa->fFeatures & FADF_VARIANT) {
        *pvt = VT_VARIANT;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    std::atomic_ref<ULONG> locks(psa->cLocks);
    if (locks.fetch_add(1) >= MaxLocks) {
        locks.fetch_sub(1);
        return E_UNEXPECTED;
    }
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa)
        return E_INVALIDARG;
    std::atomic_ref<ULONG> locks(psa->cLocks);
    ULONG current = locks.load();
    do {
        if (current == 0)
            return E_UNEXPECTED;
    } while (!locks.compare_exchange_weak(current, current - 1));
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData)
        return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, const LONG* rgIndices, void** ppvData) {
    std::uint64_t cell = 0;
    if (!ppvData)
        return E_INVALIDARG;
    const HRESULT hr = CellOf(psa, rgIndices, cell);
    if (FAILED(hr))
        return hr;
    *ppvData = ElementAt(psa, cell);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv) {
    std::uint64_t cell = 0;
    if (!pv)
        return E_INVALIDARG;
    const HRESULT hr = CellOf(psa, rgIndices, cell);
    if (FAILED(hr))
        return hr;
    auto* target = static_cast<std::byte*>(pv);
    std::memset(target, 0, psa->cbElements);
    return CopyElement(psa, ElementAt(psa, cell), target);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, const LONG* rgIndices, void* pv) {
    std::uint64_t cell = 0;
    HRESULT hr = CellOf(psa, rgIndices, cell);
    if (FAILED(hr))
        return hr;
    std::byte* element = ElementAt(psa, cell);
    if (psa->fFeatures & FADF_BSTR) {
        auto source = static_cast<BSTR>(pv);
        BSTR copy = source ? SysAllocStringLen(source, SysStringLen(source)) : nullptr;
        if (source && !copy)
            return E_OUTOFMEMORY;
        SysFreeString(*reinterpret_cast<BSTR*>(element));
        *reinterpret_cast<BSTR*>(element) = copy;
        return S_OK;
    }
    if (psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* fresh = static_cast<IUnknown*>(pv);
        if (fresh)
            fresh->AddRef();
        if (auto* old = *reinterpret_cast<IUnknown**>(element))
            old->Release();
        *reinterpret_cast<IUnknown**>(element) = fresh;
        return S_OK;
    }
    if (!pv)
        return E_INVALIDARG;
    if (psa->fFeatures & FADF_VARIANT)
        return VariantCopy(reinterpret_cast<VARIANT*>(element), static_cast<const VARIANT*>(pv));
    std::memcpy(element, pv, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, const SAFEARRAYBOUND* psaboundNew) {
    if (!psa || !psaboundNew || psa->cDims == 0)
        return E_INVALIDARG;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    if (psa->fFeatures & (CallerOwnedMemory | FADF_FIXEDSIZE))
        return E_INVALIDARG;
    // The last dimension varies slowest, so resizing it only cuts or extends the tail.
    std::uint64_t inner = 1;
    for (UINT d = 0; d + 1 < psa->cDims; ++d)
        inner *= Bound(psa, d).cElements;
    SAFEARRAYBOUND& last = Bound(psa, psa->cDims - 1);
    const std::uint64_t oldCount = inner * last.cElements;
    const std::uint64_t newCount = inner * psaboundNew->cElements;
    if (newCount * psa->cbElements > MaxDataBytes)
        return E_OUTOFMEMORY;
    if (newCount < oldCount) {
        ReleaseElements(psa, newCount, oldCount);
        // A failed shrink keeps the larger block, which is harmless.
        if (void* smaller = CoTaskMemRealloc(psa->pvData, newCount * psa->cbElements + 1))
            psa->pvData = smaller;
    } else if (newCount > oldCount) {
        void* larger = CoTaskMemRealloc(psa->pvData, newCount * psa->cbElements);
        if (!larger)
            return E_OUTOFMEMORY;
        psa->pvData = larger;
        std::memset(ElementAt(psa, oldCount), 0, (newCount - oldCount) * psa->cbElements);
    }
    last = *psaboundNew;
    return S_OK;
}
