#pragma once

// The COM task allocator. Everything a server returns through an out-parameter
// (strings, arrays, records) is task memory that the caller frees with CoTaskMemFree.

#include "comtypes.h"

LPVOID CoTaskMemAlloc(std::size_t cb);
LPVOID CoTaskMemRealloc(LPVOID pv, std::size_t cb);
void CoTaskMemFree(LPVOID pv);

namespace zelk::com {
// The number of task allocations not yet freed, process-wide. Tests compare it before
// and after a scenario to prove that no returned memory leaked.
long long LiveTaskAllocations();
} // namespace zelk::com
