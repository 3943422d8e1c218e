#include "MonitorFormat.h"

#include "ZelkEventRecord.h"

namespace zelk::monitor {

void AppendTextLine(std::string& out, const TZelkEvent& event) {
    zelk::ae::AppendEventTextLine(out, TZelkEventRecord::FromEvent(event));
}

void AppendJsonLine(std::string& out, const TZelkEvent& event) {
    zelk::ae::AppendEventJsonLine(out, TZelkEventRecord::FromEvent(event));
}

} // namespace zelk::monitor
