#pragma once

// ComPtr<T>: a counted reference to a COM interface. It AddRefs what it copies,
// Releases what it drops, and is the only way the toolkit holds a counted pointer.

#include "comtypes.h"

#include <utility>

template <class T> class ComPtr {
public:
    using InterfaceType = T;

    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference to `p` (AddRef); use Attach to adopt one already owned.
    ComPtr(T* p) noexcept : FPtr(p) { InternalAddRef(); }
    ComPtr(const ComPtr& other) noexcept : FPtr(other.FPtr) { InternalAddRef(); }
    ComPtr(ComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    ComPtr(const ComPtr<U>& other) noexcept : FPtr(other.Get()) {
        InternalAddRef();
    }
    ~ComPtr() { InternalRelease(); }

    ComPtr& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }
    ComPtr& operator=(T* p) noexcept {
        if (FPtr != p)
            ComPtr(p).Swap(*this);
        return *this;
    }
    ComPtr& operator=(const ComPtr& other) noexcept {
        if (this != &other)
            ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other)
            ComPtr(std::move(other)).Swap(*this);
        return *this;
    }

    T* Get() const noexcept { return FPtr; }
    T* operator->() const noexcept { return FPtr; }
    T& operator*() const noexcept { return *FPtr; }
    explicit operator bool() const noexcept { return FPtr != nullptr; }

    // The address to receive an out-parameter; whatever was held is released first.
    T** Put() noexcept {
        Reset();
        return &FPtr;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }
    T* const* GetAddressOf() const noexcept { return &FPtr; }

    // Adopts a reference the caller already owns (no AddRef).
    void Attach(T* p) noexcept {
        InternalRelease();
        FPtr = p;
    }
    // Hands the reference to the caller (no Release).
    [[nodiscard]] T* Detach() noexcept { return std::exchange(FPtr, nullptr); }
    void Reset() noexcept {
        T* old = std::exchange(FPtr, nullptr);
        if (old)
            old->Release();
    }
    void Swap(ComPtr& other) noexcept { std::swap(FPtr, other.FPtr); }

    // An AddRef'd copy for an out-parameter.
    HRESULT CopyTo(T** pp) const noexcept {
        if (!pp)
            return E_POINTER;
        *pp = FPtr;
        InternalAddRef();
        return S_OK;
    }

    // QueryInterface without naming the IID: ptr.As(&other) or ptr.QueryInterface(other).
    template <class U> HRESULT As(ComPtr<U>* out) const noexcept {
        if (!out)
            return E_POINTER;
        if (!FPtr) {
            out->Reset();
            return E_POINTER;
        }
        return FPtr->QueryInterface(__uuidof(U), out->PutVoid());
    }
    template <class U> HRESULT QueryInterface(ComPtr<U>& out) const noexcept { return As(&out); }
    HRESULT QueryInterface(REFIID riid, void** ppv) const noexcept {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        return FPtr ? FPtr->QueryInterface(riid, ppv) : E_POINTER;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.FPtr == b.FPtr; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.FPtr == nullptr; }

private:
    void InternalAddRef() const noexcept {
        if (FPtr)
            FPtr->AddRef();
    }
    void InternalRelease() noexcept { Reset(); }

    T* FPtr = nullptr;
};
