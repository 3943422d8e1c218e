#pragma once

// The alarm performance report as the tool writes it: text for a terminal, one JSON
// object for programs, and one self-contained HTML page whose charts are inline SVG (it
// reads offline, and prints).

#include "ZelkAlarmReport.h"

#include <QString>
#include <string>

namespace zelk::journaltool {

void AppendReportText(std::string& out, const TZelkAlarmReport& report);
void AppendReportJson(std::string& out, const TZelkAlarmReport& report);
void AppendReportHtml(std::string& out, const TZelkAlarmReport& report);

// "2024-03-01 13:00" in local time, as the report's times read.
QString ReportTime(std::int64_t ticks);

// The charts of the HTML page, each one <svg> element.
// Alarms per 10-minute period over the range, with the flood line.
QString RateChartSvg(const TZelkAlarmReport& report);
// The most frequent alarms as horizontal bars.
QString TopChartSvg(const TZelkAlarmReport& report);
// The share of each priority beside the guide's.
QString PriorityChartSvg(const TZelkAlarmReport& report);

} // namespace zelk::journaltool
