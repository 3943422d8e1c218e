#pragma once

// The COM transport's connection and helpers: TZelkCOMConnection with its shutdown sink,
// the global interface table wrapper TGIP, and the module operations (class id and
// ProgID conversions, BSTR text, string enumerators, connection points, COM security).

#include "ZelkCOMConnection.h"
#include "ZelkCOMHelpers.h"
#include "ZelkGIP.h"
