#include "JournalToolReport.h"

#include "ZelkJournalEntry.h"
#include "ZelkTimeText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace zelk::journaltool {

namespace {

void Line(std::string& out, const QString& text) {
    out += text.toStdString();
    out += '\n';
}

QString Padded(const QString& text, int width) {
    return text.leftJustified(width, QLatin1Char(' '));
}

QString MetText(const std::optional<bool>& met) {
    if (!met)
        return QString();
    return *met ? QStringLiteral("met") : QStringLiteral("NOT MET");
}

std::string IsoUtc(std::int64_t ticks) {
    std::string text;
    zelk::ae::AppendIsoUtc(text, ticks);
    return text;
}

QJsonValue Optional(const std::optional<std::int64_t>& ticks) {
    return ticks ? QJsonValue(static_cast<double>(*ticks) / 1e7) : QJsonValue();
}

QJsonArray Counts(const std::vector<TZelkAlarmCount>& counts) {
    QJsonArray array;
    for (const TZelkAlarmCount& count : counts)
        array.append(QJsonObject{{QStringLiteral("source"), count.Source},
                                 {QStringLiteral("condition"), count.Condition},
                                 {QStringLiteral("count"), static_cast<double>(count.Count)}});
    return array;
}

} // namespace

QString ReportTime(std::int64_t ticks) {
    return zelk::journal::DateTimeFromTicks(ticks).toLocalTime().toString(
        QStringLiteral("yyyy-MM-dd HH:mm"));
}

void AppendReportText(std::string& out, const TZelkAlarmReport& report) {
    Line(out, QStringLiteral("Alarm performance report"));
    Line(out,
         QStringLiteral("Range     %1 to %2").arg(ReportTime(report.From), ReportTime(report.To)));
    Line(out, QStringLiteral("Area      %1")
                  .arg(report.Options.Area.isEmpty() ? QStringLiteral("whole plant")
                                                     : report.Options.Area));
    if (!report.HasData())
        Line(out, QStringLiteral("No alarms in this range: no data."));
    out += '\n';
    for (const TZelkAlarmFigure& figure : zelk::journal::AlarmReportFigures(report))
        Line(out,
             (Padded(figure.Name, 48) + QLatin1Char(' ') + Padded(figure.Value, 26) +
              QLatin1Char(' ') + Padded(figure.Target, 28) + QLatin1Char(' ') + MetText(figure.Met))
                 .trimmed());
    if (!report.Floods.empty()) {
        Line(out, QStringLiteral("\nFloods (start, end, alarms)"));
        for (const TZelkFloodEpisode& flood : report.Floods)
            Line(out, QStringLiteral("  %1  %2  %3")
                          .arg(ReportTime(flood.Start), ReportTime(flood.End))
                          .arg(flood.Alarms));
    }
    const auto list = [&out](const QString& title, const std::vector<TZelkAlarmCount>& counts) {
        if (counts.empty())
            return;
        Line(out, QLatin1Char('\n') + title);
        for (const TZelkAlarmCount& count : counts)
            Line(out, QStringLiteral("  %1  %2 %3")
                          .arg(count.Count, 8)
                          .arg(count.Source, count.Condition));
    };
    list(QStringLiteral("Most frequent alarms (alarms, source, condition)"), report.Top);
    list(QStringLiteral("Chattering alarms (activations, source, condition)"), report.Chattering);
    if (!report.Standing.empty()) {
        Line(out, QStringLiteral("\nStanding alarms (active since, source, condition)"));
        for (const TZelkStandingAlarm& alarm : report.Standing)
            Line(out, QStringLiteral("  %1  %2 %3")
                          .arg(ReportTime(alarm.ActiveSince), alarm.Source, alarm.Condition));
    }
}

void AppendReportJson(std::string& out, const TZelkAlarmReport& report) {
    QJsonObject root;
    root.insert(QStringLiteral("from"), QString::fromStdString(IsoUtc(report.From)));
    root.insert(QStringLiteral("to"), QString::fromStdString(IsoUtc(report.To)));
    root.insert(QStringLiteral("area"), report.Options.Area);
    root.insert(QStringLiteral("alarms"), static_cast<double>(report.Alarms));
    QJsonArray periods;
    for (const std::int64_t count : report.Periods)
        periods.append(static_cast<double>(count));
    root.insert(QStringLiteral("alarmsPer10Minutes"), periods);
    root.insert(QStringLiteral("averagePer10Minutes"), report.AveragePerPeriod);
    root.insert(QStringLiteral("averagePerHour"), report.AveragePerHour);
    root.insert(QStringLiteral("peakPer10Minutes"), static_cast<double>(report.PeakPerPeriod));
    root.insert(QStringLiteral("floodPeriods"), static_cast<double>(report.FloodPeriods));
    root.insert(QStringLiteral("floodPercent"), report.FloodPercent);
    QJsonArray floods;
    for (const TZelkFloodEpisode& flood : report.Floods)
        floods.append(
            QJsonObject{{QStringLiteral("start"), QString::fromStdString(IsoUtc(flood.Start))},
                        {QStringLiteral("end"), QString::fromStdString(IsoUtc(flood.End))},
                        {QStringLiteral("alarms"), static_cast<double>(flood.Alarms)}});
    root.insert(QStringLiteral("floods"), floods);
    root.insert(QStringLiteral("top"), Counts(report.Top));
    root.insert(QStringLiteral("topPercent"), report.TopPercent);
    root.insert(QStringLiteral("chattering"), Counts(report.Chattering));
    QJsonArray standing;
    for (const TZelkStandingAlarm& alarm : report.Standing)
        standing.append(QJsonObject{
            {QStringLiteral("source"), alarm.Source},
            {QStringLiteral("condition"), alarm.Condition},
            {QStringLiteral("activeSince"), QString::fromStdString(IsoUtc(alarm.ActiveSince))}});
    root.insert(QStringLiteral("standing"), standing);
    QJsonArray priorities;
    for (const TZelkBandCount& band : report.Priorities)
        priorities.append(QJsonObject{{QStringLiteral("priority"), band.Band.Name},
                                      {QStringLiteral("low"), band.Band.Low},
                                      {QStringLiteral("high"), band.Band.High},
                                      {QStringLiteral("count"), static_cast<double>(band.Count)},
                                      {QStringLiteral("percent"), band.Percent},
                                      {QStringLiteral("guidePercent"), band.Band.GuidePercent}});
    root.insert(QStringLiteral("priorities"), priorities);
    root.insert(QStringLiteral("ackRequired"), static_cast<double>(report.AckRequired));
    root.insert(QStringLiteral("acknowledged"), static_cast<double>(report.Acknowledged));
    root.insert(QStringLiteral("neverAcknowledged"), static_cast<double>(report.NeverAcknowledged));
    root.insert(QStringLiteral("ackMedianSeconds"), Optional(report.AckMedian));
    root.insert(QStringLiteral("ackPercentile90Seconds"), Optional(report.AckPercentile90));
    QJsonArray figures;
    for (const TZelkAlarmFigure& figure : zelk::journal::AlarmReportFigures(report)) {
        QJsonObject item{{QStringLiteral("figure"), figure.Key},
                         {QStringLiteral("name"), figure.Name},
                         {QStringLiteral("value"), figure.Value},
                         {QStringLiteral("target"), figure.Target}};
        item.insert(QStringLiteral("met"), figure.Met ? QJsonValue(*figure.Met) : QJsonValue());
        figures.append(item);
    }
    root.insert(QStringLiteral("figures"), figures);
    out += QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace zelk::journaltool
