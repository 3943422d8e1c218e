#pragma once

// Owners for the COM values the toolkit handles, so nothing leaks on an exception path:
// BStr (one BSTR), TaskMem<T> (one task-memory block), TaskArray<T> (a task-memory
// array whose elements own something too) and ComVariant (one VARIANT).

#include "bstr.h"
#include "comtypes.h"
#include "taskmem.h"
#include "variant.h"

#include <QString>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace zelk::com {

class BStr {
public:
    BStr() noexcept = default;
    // Copies; throw std::bad_alloc when memory runs out.
    explicit BStr(const QString& text) : FStr(BStrFromQString(text)) {}
    explicit BStr(const OLECHAR* text);
    BStr(const BStr& other);
    BStr(BStr&& other) noexcept : FStr(std::exchange(other.FStr, nullptr)) {}
    BStr& operator=(const BStr& other);
    BStr& operator=(BStr&& other) noexcept;
    ~BStr() { SysFreeString(FStr); }

    BSTR Get() const noexcept { return FStr; }
    explicit operator bool() const noexcept { return FStr != nullptr; }
    UINT Length() const noexcept { return SysStringLen(FStr); }
    QString ToQString() const { return BStrToQString(FStr); }

    // The address for an out-parameter; the string held so far is freed first.
    BSTR* Put() noexcept {
        Reset();
        return &FStr;
    }
    // Adopts a string the caller owns.
    void Attach(BSTR text) noexcept;
    // Hands the string to the caller, who frees it.
    [[nodiscard]] BSTR Detach() noexcept { return std::exchange(FStr, nullptr); }
    void Reset() noexcept { SysFreeString(std::exchange(FStr, nullptr)); }

private:
    BSTR FStr = nullptr;
};

// One block of task memory holding T or an array of T (an object type). Only the block
// is freed; for arrays whose elements own memory use TaskArray.
template <class T> class TaskMem {
public:
    TaskMem() noexcept = default;
    explicit TaskMem(T* p) noexcept : FPtr(p) {}
    TaskMem(const TaskMem&) = delete;
    TaskMem& operator=(const TaskMem&) = delete;
    TaskMem(TaskMem&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
    TaskMem& operator=(TaskMem&& other) noexcept {
        if (this != &other)
            Reset(std::exchange(other.FPtr, nullptr));
        return *this;
    }
    ~TaskMem() { CoTaskMemFree(FPtr); }

    // `count` zeroed elements; throws std::bad_alloc when memory runs out.
    static TaskMem Alloc(std::size_t count = 1) {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
            throw std::bad_alloc();
        void* block = CoTaskMemAlloc(count * sizeof(T));
        if (!block)
            throw std::bad_alloc();
        std::memset(block, 0, count * sizeof(T));
        return TaskMem(static_cast<T*>(block));
    }

    T* Get() const noexcept { return FPtr; }
    T* operator->() const noexcept { return FPtr; }
    T& operator[](std::size_t index) const noexcept { return FPtr[index]; }
    explicit operator bool() const noexcept { return FPtr != nullptr; }

    // The address for an out-parameter; the block held so far is freed first.
    T** Put() noexcept {
        Reset();
        return &FPtr;
    }
    [[nodiscard]] T* Detach() noexcept { return std::exchange(FPtr, nullptr); }
    void Reset(T* p = nullptr) noexcept { CoTaskMemFree(std::exchange(FPtr, p)); }

private:
    T* FPtr = nullptr;
};

// How TaskArray releases one element: task strings are freed, variants cleared, plain
// values left alone. BSTR is the same C++ type as LPWSTR: name BStrElementRelease
// explicitly for an array of BSTRs.
template <class T> struct TaskElementRelease {
    void operator()(T&) const noexcept {}
};
template <> struct TaskElementRelease<LPWSTR> {
    void operator()(LPWSTR& text) const noexcept { CoTaskMemFree(std::exchange(text, nullptr)); }
};
template <> struct TaskElementRelease<VARIANT> {
    void operator()(VARIANT& value) const noexcept { VariantClear(&value); }
};
struct BStrElementRelease {
    void operator()(BSTR& text) const noexcept { SysFreeString(std::exchange(text, nullptr)); }
};

// An array in task memory returned through an out-parameter, with its element count.
// Typical use: `TaskArray<LPWSTR> names; server->Browse(names.PutCount(), names.Put());`
// or, when several arrays share one count, SetCount on the others after the call.
template <class T, class Release = TaskElementRelease<T>> class TaskArray {
public:
    TaskArray() noexcept = default;
    explicit TaskArray(DWORD count) noexcept : FCount(count) {}
    TaskArray(const TaskArray&) = delete;
    TaskArray& operator=(const TaskArray&) = delete;
    TaskArray(TaskArray&& other) noexcept
        : FItems(std::exchange(other.FItems, nullptr)), FCount(std::exchange(other.FCount, 0)) {}
    TaskArray& operator=(TaskArray&& other) noexcept {
        if (this != &other) {
            Reset();
            FItems = std::exchange(other.FItems, nullptr);
            FCount = std::exchange(other.FCount, 0);
        }
        return *this;
    }
    ~TaskArray() { Free(); }

    T* Get() const noexcept { return FItems; }
    DWORD Count() const noexcept { return FItems ? FCount : 0; }
    T& operator[](DWORD index) const noexcept { return FItems[index]; }
    T* begin() const noexcept { return FItems; }
    T* end() const noexcept { return FItems ? FItems + FCount : FItems; }

    // The address for the array out-parameter; what was held is released first, the
    // count is kept for the array to come.
    T** Put() noexcept {
        Free();
        return &FItems;
    }
    // The address for the count out-parameter.
    DWORD* PutCount() noexcept { return &FCount; }
    void SetCount(DWORD count) noexcept { FCount = count; }
    void Reset() noexcept {
        Free();
        FCount = 0;
    }

private:
    void Free() noexcept {
        if (!FItems)
            return;
        for (DWORD i = 0; i < FCount; ++i)
            Release()(FItems[i]);
        CoTaskMemFree(std::exchange(FItems, nullptr));
    }

    T* FItems = nullptr;
    DWORD FCount = 0;
};

// A VARIANT that clears itself. Copies are deep (VariantCopy); a failed copy throws
// std::bad_alloc for lack of memory and EOleSysError otherwise.
class ComVariant {
public:
    ComVariant() noexcept { VariantInit(&FValue); }
    explicit ComVariant(LONG value) noexcept;
    explicit ComVariant(double value) noexcept;
    explicit ComVariant(bool value) noexcept;
    explicit ComVariant(const QString& text);
    // A pointer (a string literal, say) would silently pick the bool constructor.
    template <class T> ComVariant(T*) = delete;
    explicit ComVariant(const VARIANT& value);
    ComVariant(const ComVariant& other) : ComVariant(other.FValue) {}
    ComVariant(ComVariant&& other) noexcept : FValue(other.FValue) { VariantInit(&other.FValue); }
    ComVariant& operator=(const ComVariant& other);
    ComVariant& operator=(ComVariant&& other) noexcept;
    ~ComVariant() { Clear(); }

    VARIANT* Get() noexcept { return &FValue; }
    const VARIANT* Get() const noexcept { return &FValue; }
    const VARIANT& Value() const noexcept { return FValue; }
    VARTYPE Type() const noexcept { return FValue.vt; }

    // The address for an out-parameter; the value held so far is cleared first.
    VARIANT* Put() noexcept {
        Clear();
        return &FValue;
    }
    // Adopts `value`, which is left VT_EMPTY.
    void Attach(VARIANT& value) noexcept;
    // Moves the value into `target` (overwritten as uninitialised) and becomes VT_EMPTY.
    void Detach(VARIANT* target) noexcept;
    // Leaves VT_EMPTY; a value VariantClear refuses (a locked array) is let go unreleased.
    void Clear() noexcept;

private:
    VARIANT FValue;
};

} // namespace zelk::com
