#pragma once

// The monitor's standard output: a buffered file descriptor (FdOutput.h).

#include "FdOutput.h"

namespace zelk::monitor {
using TMonitorOutput = zelk::rtl::TFdOutput;
} // namespace zelk::monitor
