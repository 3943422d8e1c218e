#pragma once

// The monitor's two one-shot listings: the AE servers of a computer, and the area tree
// of one server with its sources. Both print in the run's output form and return the
// exit status; a failure leaves its text in `errorText`.

#include "MonitorOptions.h"
#include "MonitorOutput.h"

namespace zelk::monitor {

// One line per server: caption, ProgID and class id (aligned columns, or one JSON object
// each).
int ListServers(const TMonitorOptions& options, TMonitorOutput& output, QString& errorText);

// Connects, then walks the tree depth first: each area with its qualified name, its
// sub-areas, then its sources with their qualified names, indented by level (or one
// JSON object per area and source).
int BrowseAreas(const TMonitorOptions& options, TMonitorOutput& output, QString& errorText);

} // namespace zelk::monitor
