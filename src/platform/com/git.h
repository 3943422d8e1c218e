#pragma once

// The global interface table (CLSID_StdGlobalInterfaceTable, IGlobalInterfaceTable):
// one process-wide table of interface pointers that any thread can fetch by cookie.
// Every object here is free-threaded, so a fetched pointer is the registered object
// itself, answered for the asked interface.

#include "comifaces.h"
#include "comptr.h"

#include <cstddef>

namespace zelk::com {

// The number of registrations not yet revoked; tests compare it before and after.
std::size_t GlobalInterfaceTableEntries();

namespace detail {
// The class factory that the local registry holds for CLSID_StdGlobalInterfaceTable.
ComPtr<IClassFactory> GlobalInterfaceTableFactory();
} // namespace detail

} // namespace zelk::com
