#pragma once

// Fault injection and observation of a simulated server class (see SimCatalog.h for how
// the COM methods use it). Tests reach it through the simulator's control API.

#include "comtypes.h"

#include <QString>

#include <optional>
#include <string_view>

namespace zelk::aesim {

class TSimFaults {
public:
    // Called first by every COM method of the simulator; see SimCatalog.h.
    std::optional<HRESULT> Enter(std::string_view Method);
    // Records a call and its arguments (text form chosen by the method) for tests.
    void Record(std::string_view Method, const QString& Arguments);

    // The rest of the class (injecting results and delays, stopping the server, reading
    // the record) is the simulator's control API.
};

} // namespace zelk::aesim
