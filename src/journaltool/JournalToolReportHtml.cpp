#include "JournalToolReport.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace zelk::journaltool {

namespace {

// A chart shows at most this many columns; longer ranges show each column's busiest period,
// so a flood never disappears between two quiet ones.
constexpr int MaxColumns = 720;

QString Esc(const QString& text) {
    return text.toHtmlEscaped();
}

QString Num(double value) {
    return QString::number(value, 'f', 1);
}

QString Text(double x, double y, const QString& text, const QString& extra = {}) {
    return QStringLiteral("<text x=\"%1\" y=\"%2\"%3>%4</text>")
        .arg(Num(x), Num(y), extra, Esc(text));
}

const char* const Style = R"(<style>
body{font-family:sans-serif;margin:24px;color:#222;max-width:960px}
h1{font-size:1.5em;margin-bottom:0}h2{font-size:1.15em;margin-top:1.6em}
.sub{color:#555;margin-top:4px}
table{border-collapse:collapse;width:100%;font-size:0.92em}
th,td{border-bottom:1px solid #ddd;padding:4px 8px;text-align:left;vertical-align:top}
th{background:#f2f2f2}
.met{color:#1a7f37;font-weight:bold;white-space:nowrap}
.notmet{color:#c62828;font-weight:bold;white-space:nowrap}
svg{display:block;margin:8px 0;font-size:11px}
svg text{fill:#333}
.nodata{color:#555;font-style:italic}
@media print{body{margin:0}h2{page-break-after:avoid}svg,table{page-break-inside:avoid}}
</style>)";

void Table(QString& html, const QStringList& headers, const std::vector<QStringList>& rows) {
    html += QStringLiteral("<table><tr>");
    for (const QString& header : headers)
        html += QStringLiteral("<th>%1</th>").arg(Esc(header));
    html += QStringLiteral("</tr>");
    for (const QStringList& row : rows) {
        html += QStringLiteral("<tr>");
        for (const QString& cell : row)
            html += QStringLiteral("<td>%1</td>").arg(Esc(cell));
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>\n");
}

QString MetCell(const std::optional<bool>& met) {
    if (!met)
        return QStringLiteral("<td></td>");
    return *met ? QStringLiteral("<td class=\"met\">met</td>")
                : QStringLiteral("<td class=\"notmet\">not met</td>");
}

} // namespace

QString RateChartSvg(const TZelkAlarmReport& report) {
    const double width = 900, height = 260, left = 44, right = 12, top = 14, bottom = 36;
    const double plotW = width - left - right, plotH = height - top - bottom;
    const auto periods = static_cast<int>(report.Periods.size());
    const int columns = std::min(periods, MaxColumns);
    const int perColumn = columns > 0 ? (periods + columns - 1) / columns : 1;
    const double threshold = report.Options.FloodThreshold;
    const double scale =
        std::max<double>(static_cast<double>(report.PeakPerPeriod), threshold * 1.5) * 1.05;
    const auto y = [&](double value) { return top + plotH - value / scale * plotH; };
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                                 "height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                                 "aria-label=\"Alarms per 10 minutes\">")
                      .arg(width)
                      .arg(height);
    svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"#fafafa\" "
                          "stroke=\"#ccc\"/>")
               .arg(Num(left), Num(top), Num(plotW), Num(plotH));
    double lastLabel = -100;
    for (const double tick : {0.0, threshold, scale / 1.05}) {
        // Labels closer than a line of text would overlap; the lower one stays.
        if (std::abs(y(tick) - lastLabel) < 12)
            continue;
        lastLabel = y(tick);
        svg += Text(left - 4, y(tick) + 4, QString::number(static_cast<int>(tick)),
                    QStringLiteral(" text-anchor=\"end\""));
    }
    const double columnW = columns > 0 ? plotW / columns : plotW;
    for (int c = 0; c < columns; ++c) {
        std::int64_t busiest = 0;
        for (int p = c * perColumn; p < std::min(periods, (c + 1) * perColumn); ++p)
            busiest = std::max(busiest, report.Periods[static_cast<std::size_t>(p)]);
        if (busiest == 0)
            continue;
        const double value = static_cast<double>(busiest);
        svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>")
                   .arg(Num(left + c * columnW), Num(y(value)),
                        Num(std::max(columnW - (columnW > 3 ? 1 : 0), 0.5)),
                        Num(top + plotH - y(value)),
                        value > threshold ? QStringLiteral("#d32f2f") : QStringLiteral("#1976d2"));
    }
    svg += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"#d32f2f\" "
                          "stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/>")
               .arg(Num(left), Num(y(threshold)), Num(left + plotW));
    svg += Text(left + plotW - 4, y(threshold) - 4,
                QStringLiteral("flood: more than %1").arg(report.Options.FloodThreshold),
                QStringLiteral(" text-anchor=\"end\" fill=\"#d32f2f\""));
    svg += Text(left, height - bottom + 16, ReportTime(report.From));
    svg += Text(left + plotW, height - bottom + 16, ReportTime(report.To),
                QStringLiteral(" text-anchor=\"end\""));
    svg += Text(left + plotW / 2, height - 4, QStringLiteral("alarms per 10 minutes"),
                QStringLiteral(" text-anchor=\"middle\""));
    return svg + QStringLiteral("</svg>");
}

QString TopChartSvg(const TZelkAlarmReport& report) {
    const double rowH = 22, labelW = 330, barW = 480, width = labelW + barW + 70;
    const double height = rowH * static_cast<double>(report.Top.size()) + 8;
    std::int64_t most = 1;
    for (const TZelkAlarmCount& alarm : report.Top)
        most = std::max(most, alarm.Count);
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                                 "height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                                 "aria-label=\"Most frequent alarms\">")
                      .arg(width)
                      .arg(height);
    double rowY = 4;
    for (const TZelkAlarmCount& alarm : report.Top) {
        const double w = barW * static_cast<double>(alarm.Count) / static_cast<double>(most);
        QString label = alarm.Source + QStringLiteral(" / ") + alarm.Condition;
        if (label.size() > 52)
            label = label.left(51) + QChar(0x2026);
        svg += Text(labelW - 6, rowY + 15, label, QStringLiteral(" text-anchor=\"end\""));
        svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                              "fill=\"#1976d2\"/>")
                   .arg(Num(labelW), Num(rowY + 3), Num(std::max(w, 1.0)), Num(rowH - 6));
        svg += Text(labelW + w + 6, rowY + 15, QString::number(alarm.Count));
        rowY += rowH;
    }
    return svg + QStringLiteral("</svg>");
}

QString PriorityChartSvg(const TZelkAlarmReport& report) {
    const double groupW = 150, barW = 44, plotH = 160, top = 24, width = 60 + groupW * 3 + 160;
    const double height = top + plotH + 40;
    const auto y = [&](double percent) { return top + plotH - percent / 100 * plotH; };
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                                 "height=\"%2\" viewBox=\"0 0 %1 %2\" role=\"img\" "
                                 "aria-label=\"Priority distribution\">")
                      .arg(width)
                      .arg(height);
    svg += QStringLiteral("<line x1=\"56\" y1=\"%1\" x2=\"%2\" y2=\"%1\" stroke=\"#999\"/>")
               .arg(Num(y(0)), Num(width - 150));
    for (const double tick : {0.0, 50.0, 100.0})
        svg += Text(52, y(tick) + 4, QStringLiteral("%1 %").arg(tick),
                    QStringLiteral(" text-anchor=\"end\""));
    double x = 70;
    for (const TZelkBandCount& band : report.Priorities) {
        const std::pair<double, const char*> bars[] = {{band.Percent, "#1976d2"},
                                                       {band.Band.GuidePercent, "#bdbdbd"}};
        double barX = x;
        for (const auto& [percent, colour] : bars) {
            svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                                  "fill=\"%5\"/>")
                       .arg(Num(barX), Num(y(percent)), Num(barW), Num(y(0) - y(percent)),
                            QLatin1String(colour));
            svg += Text(barX + barW / 2, y(percent) - 4, Num(percent) + QStringLiteral(" %"),
                        QStringLiteral(" text-anchor=\"middle\""));
            barX += barW + 4;
        }
        svg += Text(
            x + barW, y(0) + 16,
            QStringLiteral("%1 (%2-%3)").arg(band.Band.Name).arg(band.Band.Low).arg(band.Band.High),
            QStringLiteral(" text-anchor=\"middle\""));
        x += groupW;
    }
    svg += QStringLiteral("<rect x=\"%1\" y=\"30\" width=\"12\" height=\"12\" fill=\"#1976d2\"/>")
               .arg(Num(width - 140));
    svg += Text(width - 122, 40, QStringLiteral("this range"));
    svg += QStringLiteral("<rect x=\"%1\" y=\"50\" width=\"12\" height=\"12\" fill=\"#bdbdbd\"/>")
               .arg(Num(width - 140));
    svg += Text(width - 122, 60, QStringLiteral("guide"));
    return svg + QStringLiteral("</svg>");
}

void AppendReportHtml(std::string& out, const TZelkAlarmReport& report) {
    const QString area =
        report.Options.Area.isEmpty() ? QStringLiteral("whole plant") : report.Options.Area;
    QString html = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta "
                                  "charset=\"utf-8\"><title>Alarm performance report</title>") +
                   QLatin1String(Style) + QStringLiteral("</head><body>\n");
    html += QStringLiteral("<h1>Alarm performance report</h1><p class=\"sub\">%1 to %2 &middot; "
                           "%3</p>\n")
                .arg(Esc(ReportTime(report.From)), Esc(ReportTime(report.To)), Esc(area));
    if (!report.HasData())
        html += QStringLiteral("<p class=\"nodata\">No alarms in this range: no data.</p>\n");
    html += QStringLiteral("<h2>Figures and targets</h2><table><tr><th>Figure</th><th>Value</th>"
                           "<th>Target</th><th></th></tr>");
    for (const TZelkAlarmFigure& figure : zelk::journal::AlarmReportFigures(report))
        html +=
            QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td>%4</tr>")
                .arg(Esc(figure.Name), Esc(figure.Value), Esc(figure.Target), MetCell(figure.Met));
    html += QStringLiteral("</table>\n<h2>Alarm rate</h2>\n") + RateChartSvg(report);
    if (!report.Floods.empty()) {
        std::vector<QStringList> rows;
        for (const TZelkFloodEpisode& flood : report.Floods)
            rows.push_back(
                {ReportTime(flood.Start), ReportTime(flood.End), QString::number(flood.Alarms)});
        html += QStringLiteral("<h2>Floods</h2>\n");
        Table(html, {QStringLiteral("Start"), QStringLiteral("End"), QStringLiteral("Alarms")},
              rows);
    }
    html += QStringLiteral("<h2>Most frequent alarms</h2>\n");
    html += report.Top.empty() ? QStringLiteral("<p class=\"nodata\">no data</p>")
                               : TopChartSvg(report);
    html += QStringLiteral("<h2>Priority distribution</h2>\n") + PriorityChartSvg(report);
    const auto counts = [&html](const QString& title, const std::vector<TZelkAlarmCount>& list,
                                const QString& column) {
        if (list.empty())
            return;
        std::vector<QStringList> rows;
        for (const TZelkAlarmCount& alarm : list)
            rows.push_back({alarm.Source, alarm.Condition, QString::number(alarm.Count)});
        html += QStringLiteral("<h2>%1</h2>\n").arg(Esc(title));
        Table(html, {QStringLiteral("Source"), QStringLiteral("Condition"), column}, rows);
    };
    counts(QStringLiteral("Chattering alarms"), report.Chattering, QStringLiteral("Activations"));
    if (!report.Standing.empty()) {
        std::vector<QStringList> rows;
        for (const TZelkStandingAlarm& alarm : report.Standing)
            rows.push_back({alarm.Source, alarm.Condition, ReportTime(alarm.ActiveSince)});
        html += QStringLiteral("<h2>Standing alarms</h2>\n");
        Table(
            html,
            {QStringLiteral("Source"), QStringLiteral("Condition"), QStringLiteral("Active since")},
            rows);
    }
    html += QStringLiteral("</body></html>\n");
    out += html.toStdString();
}

} // namespace zelk::journaltool
