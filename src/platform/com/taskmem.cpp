#include "taskmem.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<long long> gLiveAllocations{0};
}

LPVOID CoTaskMemAlloc(std::size_t cb) {
    // Like the Windows allocator, a request for zero bytes still yields a unique block.
    void* p = std::malloc(cb == 0 ? 1 : cb);
    if (p)
        gLiveAllocations.fetch_add(1, std::memory_order_relaxed);
    return p;
}

LPVOID CoTaskMemRealloc(LPVOID pv, std::size_t cb) {
    if (!pv)
        return CoTaskMemAlloc(cb);
    if (cb == 0) {
        CoTaskMemFree(pv);
        return nullptr;
    }
    // On failure the old block stays valid and stays counted.
    return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) {
    if (!pv)
        return;
    gLiveAllocations.fetch_sub(1, std::memory_order_relaxed);
    std::free(pv);
}

namespace zelk::com {
long long LiveTaskAllocations() {
    return gLiveAllocations.load(std::memory_order_relaxed);
}
} // namespace zelk::com
