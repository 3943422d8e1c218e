#pragma once

// Generic COM enumerators (IEnumString, IEnumGUID, IEnumConnections, …) over a list
// fixed when the enumerator is made. Clones share the list and keep their own position.
//
// A policy says how an item is stored and how a copy is handed to the caller:
//   Stored, Out            the stored type and the out-array element type of Next
//   Give(stored, Out*)     fills one out element (a task-memory copy, an AddRef, …)
//   Take(Out&)             undoes one Give when a later element of the same call fails

#include "comifaces.h"
#include "comobject.h"
#include "comptr.h"
#include "taskmem.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace zelk::com {

// Plain values copied as they are: GUID, CATEGORYINFO.
template <class T> struct ValueItems {
    using Stored = T;
    using Out = T;
    static HRESULT Give(const Stored& item, Out* out) {
        *out = item;
        return S_OK;
    }
    static void Take(Out&) {}
};

// A zero-terminated task-memory copy of `text` for an out-parameter (the caller frees
// it with CoTaskMemFree); null when memory runs out.
LPOLESTR TaskMemString(const QString& text);

// Strings handed out as task memory that the caller frees with CoTaskMemFree.
struct TaskStringItems {
    using Stored = QString;
    using Out = LPOLESTR;
    static HRESULT Give(const Stored& item, Out* out) {
        *out = TaskMemString(item);
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    static void Take(Out& out) {
        CoTaskMemFree(out);
        out = nullptr;
    }
};

// Interface pointers handed out AddRef'd; the caller releases each.
template <class I> struct CountedItems {
    using Stored = ComPtr<I>;
    using Out = I*;
    static HRESULT Give(const Stored& item, Out* out) { return item.CopyTo(out); }
    static void Take(Out& out) {
        if (out)
            out->Release();
        out = nullptr;
    }
};

// Connections of a connection point: the sink AddRef'd for the caller, with its cookie.
struct ConnectDataItems {
    struct Stored {
        ComPtr<IUnknown> Sink;
        DWORD Cookie = 0;
    };
    using Out = CONNECTDATA;
    static HRESULT Give(const Stored& item, Out* out) {
        out->pUnk = item.Sink.Get();
        out->dwCookie = item.Cookie;
        if (out->pUnk)
            out->pUnk->AddRef();
        return S_OK;
    }
    static void Take(Out& out) {
        if (out.pUnk)
            out.pUnk->Release();
        out = CONNECTDATA{};
    }
};

template <class Interface, class Policy>
class Enumerator : public ComObject<Enumerator<Interface, Policy>, Interface> {
public:
    using Item = typename Policy::Stored;
    using Out = typename Policy::Out;
    using Items = std::vector<Item>;

    explicit Enumerator(std::shared_ptr<const Items> items, std::size_t position = 0)
        : FItems(std::move(items)), FPosition(position) {}

    // Next(celt > remaining) hands out what is left and answers S_FALSE; a failure while
    // copying an element hands out nothing and leaves the position where it was.
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, Out* rgelt, ULONG* pceltFetched) override {
        if (pceltFetched)
            *pceltFetched = 0;
        if (!rgelt)
            return E_POINTER;
        if (!pceltFetched && celt != 1)
            return E_INVALIDARG;
        std::lock_guard lock(FMutex);
        const std::size_t count = std::min<std::size_t>(celt, FItems->size() - FPosition);
        for (std::size_t i = 0; i < count; ++i) {
            const HRESULT hr = Policy::Give((*FItems)[FPosition + i], &rgelt[i]);
            if (FAILED(hr)) {
                while (i > 0)
                    Policy::Take(rgelt[--i]);
                return hr;
            }
        }
        FPosition += count;
        if (pceltFetched)
            *pceltFetched = static_cast<ULONG>(count);
        return count == celt ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        std::lock_guard lock(FMutex);
        const std::size_t remaining = FItems->size() - FPosition;
        if (celt > remaining) {
            FPosition = FItems->size();
            return S_FALSE;
        }
        FPosition += celt;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        std::lock_guard lock(FMutex);
        FPosition = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(Interface** ppenum) override {
        if (!ppenum)
            return E_POINTER;
        *ppenum = nullptr;
        return ComBoundary([&] {
            std::size_t position;
            {
                std::lock_guard lock(FMutex);
                position = FPosition;
            }
            *ppenum = Enumerator::Create(FItems, position).Detach();
            return S_OK;
        });
    }

private:
    const std::shared_ptr<const Items> FItems;
    std::mutex FMutex;
    std::size_t FPosition; // guarded by FMutex
};

// An enumerator of `Interface` over `items`.
template <class Interface, class Policy>
ComPtr<Interface> MakeEnumerator(typename Enumerator<Interface, Policy>::Items items) {
    using E = Enumerator<Interface, Policy>;
    return E::Create(std::make_shared<const typename E::Items>(std::move(items)));
}

// IEnumString (or another interface of the same shape) over `items`.
template <class Interface = IEnumString>
ComPtr<Interface> MakeEnumString(const QStringList& items) {
    return MakeEnumerator<Interface, TaskStringItems>({items.begin(), items.end()});
}

// IEnumGUID, or another interface of its shape (IOPCEnumGUID), over `items`.
template <class Interface = IEnumGUID> ComPtr<Interface> MakeEnumGUID(std::vector<GUID> items) {
    return MakeEnumerator<Interface, ValueItems<GUID>>(std::move(items));
}

} // namespace zelk::com
