#pragma once

// The base for COM objects of our own: servers, sinks, enumerators, factories.
//
//   class TMySink : public zelk::com::ComObject<TMySink, IOPCShutdown, IFoo> {
//   public:
//       explicit TMySink(int x);
//       HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR reason) override;
//       …
//   };
//   ComPtr<TMySink> sink = TMySink::Create(42);
//
// The object starts with one reference, which Create hands to the returned ComPtr;
// the last Release deletes it. QueryInterface answers IUnknown (always the first
// interface's IUnknown, so identity comparisons work), every listed interface and the
// bases of each. A class that needs more (or hides an interface on purpose) overrides
// QueryInterface and falls back to ComObject::QueryInterface.
//
// A COM method never lets an exception escape: wrap its body in ComBoundary, or catch
// and return ExceptionToHResult().

#include "comptr.h"
#include "comtypes.h"

#include <atomic>
#include <type_traits>
#include <utility>

namespace zelk::com {

namespace detail {
inline std::atomic<long long> gLiveComObjects{0};

// Walks the interface `I` and its base interfaces (IUnknown excluded) for `riid`.
template <class I> bool FindInterface(REFIID riid, I* self, void** ppv) {
    if (IsEqualIID(riid, __uuidof(I))) {
        *ppv = self;
        return true;
    }
    using Base = typename ZelkUuidOf<I>::BaseInterface;
    static_assert(std::is_base_of_v<Base, I>, "the interface's identity names another base");
    if constexpr (std::is_same_v<Base, IUnknown>)
        return false;
    else
        return FindInterface<Base>(riid, static_cast<Base*>(self), ppv);
}

template <class First, class... Rest> struct FirstOf { using type = First; };
} // namespace detail

// The number of ComObject instances alive in the process; tests compare it before and
// after a scenario to prove that every object went.
inline long long LiveComObjects() {
    return detail::gLiveComObjects.load();
}

// The HRESULT for the exception being handled; call only inside a catch block.
// std::bad_alloc -> E_OUTOFMEMORY, EOleSysError -> its code, anything else -> E_FAIL.
HRESULT ExceptionToHResult() noexcept;

// Runs `body` (returning HRESULT, or void for S_OK) and turns an escaping exception
// into its HRESULT: the standard shape of a COM method body.
template <class Fn> HRESULT ComBoundary(Fn&& body) noexcept {
    try {
        if constexpr (std::is_void_v<std::invoke_result_t<Fn>>) {
            std::forward<Fn>(body)();
            return S_OK;
        } else {
            return std::forward<Fn>(body)();
        }
    } catch (...) {
        return ExceptionToHResult();
    }
}

template <class Derived, class... Interfaces> class ComObject : public Interfaces... {
    static_assert(sizeof...(Interfaces) > 0, "a COM object implements at least one interface");
    using Primary = typename detail::FirstOf<Interfaces...>::type;

public:
    ComObject() noexcept { detail::gLiveComObjects.fetch_add(1, std::memory_order_relaxed); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    // Virtual, so that a class derived from Derived is deleted whole by the last Release.
    virtual ~ComObject() { detail::gLiveComObjects.fetch_sub(1, std::memory_order_relaxed); }

    // A new object holding the one reference the ComPtr adopts.
    template <class... Args> static ComPtr<Derived> Create(Args&&... args) {
        ComPtr<Derived> object;
        object.Attach(new Derived(std::forward<Args>(args)...));
        return object;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown))
            *ppv = GetUnknown();
        else if (!(detail::FindInterface<Interfaces>(riid, static_cast<Interfaces*>(this), ppv) ||
                   ...))
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    template <class Q> HRESULT STDMETHODCALLTYPE QueryInterface(Q** pp) {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }

    ULONG STDMETHODCALLTYPE AddRef() override {
        return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        // acq_rel: every write made through other references happens before the delete.
        const ULONG remaining = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (remaining == 0)
            delete this;
        return remaining;
    }

    // The object's identity (not AddRef'd): the IUnknown of the first interface.
    IUnknown* GetUnknown() noexcept { return static_cast<Primary*>(this); }

private:
    std::atomic<ULONG> FRefCount{1};
};

// MakeComObject<T>(args…) is T::Create(args…) for code that prefers a free function.
template <class T, class... Args> ComPtr<T> MakeComObject(Args&&... args) {
    return T::Create(std::forward<Args>(args)...);
}

} // namespace zelk::com
