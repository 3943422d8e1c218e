#include "git.h"

#include "comobject.h"
#include "registry.h"

#include <mutex>
#include <unordered_map>

namespace zelk::com {

namespace {

struct Table {
    std::mutex Mutex;
    std::unordered_map<DWORD, ComPtr<IUnknown>> Entries; // the pointer answered for the IID
    DWORD LastCookie = 0;
};

Table& TheTable() {
    // Never destroyed: entries still registered at exit would otherwise be released
    // during static destruction, in an order nobody controls.
    static Table* table = new Table;
    return *table;
}

// Stateless: every instance works on the one process-wide table.
class TGlobalInterfaceTable : public ComObject<TGlobalInterfaceTable, IGlobalInterfaceTable> {
public:
    HRESULT STDMETHODCALLTYPE RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid,
                                                        DWORD* pdwCookie) override {
        if (!pdwCookie)
            return E_INVALIDARG;
        *pdwCookie = 0;
        if (!pUnk)
            return E_INVALIDARG;
        void* answered = nullptr;
        const HRESULT hr = pUnk->QueryInterface(riid, &answered);
        if (FAILED(hr) || !answered)
            return FAILED(hr) ? hr : E_NOINTERFACE;
        ComPtr<IUnknown> held;
        held.Attach(static_cast<IUnknown*>(answered));
        return ComBoundary([&] {
            Table& table = TheTable();
            std::lock_guard lock(table.Mutex);
            DWORD cookie = table.LastCookie;
            do
                ++cookie; // 0 is never a cookie; wrapped cookies skip those still in use
            while (cookie == 0 || table.Entries.contains(cookie));
            table.Entries.emplace(cookie, std::move(held));
            table.LastCookie = cookie;
            *pdwCookie = cookie;
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE RevokeInterfaceFromGlobal(DWORD dwCookie) override {
        ComPtr<IUnknown> released; // its last Release may call anything: after the lock
        Table& table = TheTable();
        std::lock_guard lock(table.Mutex);
        auto it = table.Entries.find(dwCookie);
        if (it == table.Entries.end())
            return E_INVALIDARG;
        released = std::move(it->second);
        table.Entries.erase(it);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid,
                                                     void** ppv) override {
        if (!ppv)
            return E_INVALIDARG;
        *ppv = nullptr;
        ComPtr<IUnknown> held;
        {
            Table& table = TheTable();
            std::lock_guard lock(table.Mutex);
            auto it = table.Entries.find(dwCookie);
            if (it == table.Entries.end())
                return E_INVALIDARG;
            held = it->second;
        }
        return held->QueryInterface(riid, ppv);
    }
};

} // namespace

std::size_t GlobalInterfaceTableEntries() {
    Table& table = TheTable();
    std::lock_guard lock(table.Mutex);
    return table.Entries.size();
}

namespace detail {
ComPtr<IClassFactory> GlobalInterfaceTableFactory() {
    return MakeClassFactory([] { return TGlobalInterfaceTable::Create(); });
}
} // namespace detail

} // namespace zelk::com
