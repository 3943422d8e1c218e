#pragma once

// The monitor's two output forms of one notification: an aligned line for people and a
// JSON object per line for programs. Both append to a byte buffer, newline included.

#include "ZelkEvent.h"

#include <string>

namespace zelk::monitor {

enum class TMonitorFormat { Text, JsonLines };

// Local time with milliseconds, the state as ACT/ACK/ENA letters ("---" for a bit that
// is not set), severity, source, condition/sub-condition and message, in columns wide
// enough for the usual names. Control characters a server sends become blanks, so a
// line stays one line and cannot steer the terminal.
void AppendTextLine(std::string& out, const TZelkEvent& event);

// Every field of the record. "time" and "activeTime" are ISO 8601 UTC with seven digits
// of the second, from the FILETIMEs as received; "activeTimeRaw" is the active time's
// FILETIME as an integer.
// Attributes are keyed by their names in the server's category list ("#<position>"
// when the list has none for a position).
void AppendJsonLine(std::string& out, const TZelkEvent& event);

} // namespace zelk::monitor
