#pragma once

// One OnEvent call of a simulated subscription: the notifications it carries and the
// ONEVENTSTRUCT array the sink receives. The records point into the batch's own copy of
// the notifications (strings and attribute values), so everything the sink sees is
// released with the batch once the call has returned.

#include "SimCatalog.h"
#include "opc_ae.h"

#include <map>
#include <memory>
#include <vector>

namespace zelk::aesim {

// The attribute ids selected per category, in the order the client selected them.
using TSimAttributeSelection = std::map<DWORD, std::vector<DWORD>>;

class TSimEventBatch {
public:
    // The records for `events`, each carrying the values of the attributes `selection`
    // names for its category (VT_EMPTY for one the notification does not hold).
    TSimEventBatch(std::vector<TSimNotification> events, const TSimAttributeSelection& selection);
    TSimEventBatch(const TSimEventBatch&) = delete;
    TSimEventBatch& operator=(const TSimEventBatch&) = delete;

    DWORD Count() const noexcept { return static_cast<DWORD>(FRecords.size()); }
    // Null for an empty batch.
    ONEVENTSTRUCT* Records() noexcept { return FRecords.empty() ? nullptr : FRecords.data(); }

private:
    std::vector<TSimNotification> FEvents;
    std::vector<ONEVENTSTRUCT> FRecords;
    // Bitwise views of values owned by FEvents (never cleared here), or VT_EMPTY.
    std::vector<VARIANT> FValues;
};

} // namespace zelk::aesim
