#pragma once

// The event filter of one simulated subscription: what SetFilter accepted, the check
// of its arguments against the server's address space, and the test every notification
// passes before it is queued or refreshed.

#include "SimCatalog.h"
#include "SimWildcard.h"
#include "opc_ae.h"

#include <vector>

namespace zelk::aesim {

struct TSimEventFilter {
    // A new subscription receives everything.
    DWORD EventType = OPC_ALL_EVENTS;
    std::vector<DWORD> Categories;
    DWORD LowSeverity = 1;
    DWORD HighSeverity = 1000;
    // As the client gave them; each matches at least one area or source of the server.
    std::vector<TSimWildcard> Areas;
    std::vector<TSimWildcard> Sources;

    // Values within one criterion are ORed, the criteria ANDed, and an empty list does not
    // restrict. An area pattern passes the sources in the matching area and below it.
    bool Passes(const TSimNotification& notification) const;
};

// The arguments of IOPCEventSubscriptionMgt::SetFilter, with the array pointers the
// client passed (they may be null when their count is 0).
struct TSimFilterArguments {
    DWORD EventType = 0;
    DWORD NumCategories = 0;
    const DWORD* Categories = nullptr;
    DWORD LowSeverity = 0;
    DWORD HighSeverity = 0;
    DWORD NumAreas = 0;
    const LPWSTR* Areas = nullptr;
    DWORD NumSources = 0;
    const LPWSTR* Sources = nullptr;
};

// The record text of a SetFilter call, for example
//   EventType=7 Categories=[1,4] LowSeverity=1 HighSeverity=1000 Areas=["Plant1.*"] Sources=[]
// A null array with a non-zero count reads "null".
QString SimFilterArgumentsText(const TSimFilterArguments& arguments);

// Checks the arguments against `catalog` and builds the filter. E_INVALIDARG for an
// event type of 0 or with bits outside OPC_ALL_EVENTS, a high severity outside
// 1..1000, a low severity below 1 (0 is accepted when the catalog says so) or above the
// high one, an unknown category, a null array with a non-zero count, and an area or
// source pattern that matches no area or source of the server. The catalog is asked
// without any lock of the caller held.
HRESULT MakeSimEventFilter(const ISimCatalog& catalog, const TSimFilterArguments& arguments,
                           TSimEventFilter& filter);

} // namespace zelk::aesim
