#pragma once

// The monitor's two output forms of one notification: an aligned line for people and a
// JSON object per line for programs. Both append to a byte buffer, newline included, and
// are the toolkit's line forms of the notification's record (ZelkEventRecord.h), which a
// journal's export shares.

#include "ZelkEvent.h"

#include <string>

namespace zelk::monitor {

enum class TMonitorFormat { Text, JsonLines };

void AppendTextLine(std::string& out, const TZelkEvent& event);
void AppendJsonLine(std::string& out, const TZelkEvent& event);

} // namespace zelk::monitor
