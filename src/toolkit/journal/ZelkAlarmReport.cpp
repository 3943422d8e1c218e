#include "ZelkAlarmReport.h"

#include "ZelkAlarmReportSql.h"

#include <QtSql/QSqlQuery>
#include <algorithm>
#include <cmath>

std::vector<TZelkSeverityBand> TZelkAlarmReportOptions::DefaultBands() {
    return {{QStringLiteral("low"), 1, 333, 80},
            {QStringLiteral("medium"), 334, 666, 15},
            {QStringLiteral("high"), 667, 1000, 5}};
}

namespace zelk::journal {

namespace {

std::int64_t FloorPeriod(std::int64_t ticks) {
    return ticks - ticks % ReportPeriodTicks;
}

double Percent(std::int64_t part, std::int64_t whole) {
    return whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

void ResolveRange(TZelkJournalConnection& connection, TZelkAlarmReport& report) {
    const TZelkAlarmReportOptions& options = report.Options;
    std::optional<std::pair<std::int64_t, std::int64_t>> span;
    if (!options.From || !options.To)
        span = TAlarmReportSql::Span(connection);
    if (!span && (!options.From || !options.To))
        return; // an empty journal without a range: nothing to report
    // Whole periods around what the journal holds, so that periods read as clock times.
    report.From = options.From ? *options.From : FloorPeriod(span->first);
    report.To = options.To ? *options.To : FloorPeriod(span->second) + ReportPeriodTicks;
    if (report.To < report.From)
        report.To = report.From;
}

// SQLite sorts the report's groups faster with its default page cache than with the large
// one a journal's connection keeps for writing; the connection gets its own back after.
class TSortingCache {
public:
    explicit TSortingCache(TZelkJournalConnection& connection) : FConnection(connection) {
        if (connection.Backend() != TZelkJournalBackend::SQLite)
            return;
        QSqlQuery query(connection.Database());
        if (query.exec(QStringLiteral("PRAGMA cache_size")) && query.next())
            FSaved = query.value(0).toLongLong();
        query.exec(QStringLiteral("PRAGMA cache_size=-2000"));
    }
    ~TSortingCache() {
        if (FSaved)
            QSqlQuery(FConnection.Database())
                .exec(QStringLiteral("PRAGMA cache_size=%1").arg(*FSaved));
    }
    TSortingCache(const TSortingCache&) = delete;
    TSortingCache& operator=(const TSortingCache&) = delete;

private:
    TZelkJournalConnection& FConnection;
    std::optional<qlonglong> FSaved;
};

void FindFloods(TZelkAlarmReport& report) {
    const std::int64_t threshold = report.Options.FloodThreshold;
    TZelkFloodEpisode* open = nullptr;
    for (std::size_t i = 0; i < report.Periods.size(); ++i) {
        const std::int64_t alarms = report.Periods[i];
        if (alarms <= threshold) {
            open = nullptr;
            continue;
        }
        ++report.FloodPeriods;
        const std::int64_t start = report.From + static_cast<std::int64_t>(i) * ReportPeriodTicks;
        const std::int64_t end = std::min(start + ReportPeriodTicks, report.To);
        if (!open) {
            report.Floods.push_back({start, end, 0});
            open = &report.Floods.back();
        }
        open->End = end;
        open->Alarms += alarms;
    }
}

void CountPeriods(TAlarmReportSql& sql, TZelkAlarmReport& report) {
    const std::int64_t length = report.To - report.From;
    const auto periods =
        static_cast<std::size_t>((length + ReportPeriodTicks - 1) / ReportPeriodTicks);
    report.Periods.assign(periods, 0);
    std::vector<std::int64_t> bands(report.Options.Bands.size(), 0);
    for (const TPeriodCounts& counts : sql.Periods()) {
        if (counts.Period < 0 || static_cast<std::size_t>(counts.Period) >= periods)
            continue;
        report.Periods[static_cast<std::size_t>(counts.Period)] = counts.Alarms;
        report.Alarms += counts.Alarms;
        report.AckRequired += counts.AckRequired;
        for (std::size_t b = 0; b < bands.size() && b < counts.Bands.size(); ++b)
            bands[b] += counts.Bands[b];
    }
    if (length > 0) {
        report.AveragePerPeriod = static_cast<double>(report.Alarms) *
                                  static_cast<double>(ReportPeriodTicks) /
                                  static_cast<double>(length);
        report.AveragePerHour = report.AveragePerPeriod * 6;
    }
    if (!report.Periods.empty())
        report.PeakPerPeriod = *std::max_element(report.Periods.begin(), report.Periods.end());
    for (std::size_t b = 0; b < bands.size(); ++b)
        report.Priorities.push_back(
            {report.Options.Bands[b], bands[b], Percent(bands[b], report.Alarms)});
    FindFloods(report);
    report.FloodPercent = Percent(report.FloodPeriods, static_cast<std::int64_t>(periods));
}

QString Number(double value) {
    return QString::number(value, 'f', value != 0 && std::abs(value) < 10 ? 2 : 1);
}

QString PercentText(double value) {
    return Number(value) + QStringLiteral(" %");
}

// The guide's shares read from the highest band down: the highest bands together may
// hold no more than their guide says.
bool PrioritiesMeetGuide(const std::vector<TZelkBandCount>& priorities) {
    double share = 0;
    double guide = 0;
    for (std::size_t i = priorities.size(); i-- > 1;) {
        share += priorities[i].Percent;
        guide += priorities[i].Band.GuidePercent;
        if (share > guide + 1e-9)
            return false;
    }
    return true;
}

} // namespace

TZelkAlarmReport ComputeAlarmReport(TZelkJournalConnection& Connection,
                                    const TZelkAlarmReportOptions& Options) {
    TZelkAlarmReport report;
    report.Options = Options;
    ResolveRange(Connection, report);
    if (report.To <= report.From) {
        for (const TZelkSeverityBand& band : Options.Bands)
            report.Priorities.push_back({band, 0, 0});
        return report;
    }
    const TSortingCache cache(Connection);
    TAlarmReportSql sql(Connection, report.Options, report.From, report.To);
    CountPeriods(sql, report);
    TFrequentAlarms frequent = sql.Frequent();
    report.Top = std::move(frequent.Top);
    report.Chattering = std::move(frequent.Chattering);
    std::int64_t top = 0;
    for (const TZelkAlarmCount& alarm : report.Top)
        top += alarm.Count;
    report.TopPercent = Percent(top, report.Alarms);
    report.Standing = sql.Standing();
    const TAckFigures acks = sql.Acknowledgements();
    // An acknowledgement whose activation the journal missed has no alarm to count against.
    report.Acknowledged = std::min(acks.Acknowledged, report.AckRequired);
    report.NeverAcknowledged = report.AckRequired - report.Acknowledged;
    report.AckMedian = acks.Median;
    report.AckPercentile90 = acks.Percentile90;
    return report;
}

std::vector<TZelkAlarmFigure> AlarmReportFigures(const TZelkAlarmReport& Report) {
    const bool data = Report.HasData();
    const auto judged = [data](bool met) { return data ? std::optional<bool>(met) : std::nullopt; };
    const int flood = Report.Options.FloodThreshold;
    std::vector<TZelkAlarmFigure> figures;
    figures.push_back({QStringLiteral("alarms"), QStringLiteral("Alarms annunciated"),
                       QString::number(Report.Alarms), QString(), std::nullopt});
    figures.push_back({QStringLiteral("averagePerHour"), QStringLiteral("Average alarms per hour"),
                       Number(Report.AveragePerHour), QStringLiteral("≤ 6 (12 at most)"),
                       judged(Report.AveragePerHour <= 6)});
    figures.push_back({QStringLiteral("averagePer10Minutes"),
                       QStringLiteral("Average alarms per 10 minutes"),
                       Number(Report.AveragePerPeriod), QStringLiteral("≤ 1 (2 at most)"),
                       judged(Report.AveragePerPeriod <= 1)});
    figures.push_back({QStringLiteral("peakPer10Minutes"),
                       QStringLiteral("Peak alarms in 10 minutes"),
                       QString::number(Report.PeakPerPeriod), QStringLiteral("≤ %1").arg(flood),
                       judged(Report.PeakPerPeriod <= flood)});
    figures.push_back({QStringLiteral("floodPercent"),
                       QStringLiteral("10-minute periods in flood (> %1 alarms)").arg(flood),
                       QStringLiteral("%1 (%2 of %3)")
                           .arg(PercentText(Report.FloodPercent))
                           .arg(Report.FloodPeriods)
                           .arg(Report.Periods.size()),
                       QStringLiteral("< 1 %"), judged(Report.FloodPercent < 1)});
    figures.push_back(
        {QStringLiteral("topPercent"),
         QStringLiteral("Share of the %1 most frequent alarms").arg(Report.Options.TopCount),
         PercentText(Report.TopPercent), QStringLiteral("≤ 5 %"), judged(Report.TopPercent <= 5)});
    figures.push_back({QStringLiteral("chattering"), QStringLiteral("Chattering alarms"),
                       QString::number(Report.Chattering.size()), QStringLiteral("0"),
                       judged(Report.Chattering.empty())});
    figures.push_back(
        {QStringLiteral("standing"),
         QStringLiteral("Standing alarms at the end (active > %1)")
             .arg(DurationText(Report.Options.StandingAfter)),
         QString::number(Report.Standing.size()), QStringLiteral("< 5"),
         Report.To > Report.From ? std::optional<bool>(Report.Standing.size() < 5) : std::nullopt});
    QStringList shares;
    QStringList guide;
    for (const TZelkBandCount& band : Report.Priorities) {
        shares << QStringLiteral("%1 %2").arg(band.Band.Name, PercentText(band.Percent));
        guide << QStringLiteral("%1 ≈ %2 %").arg(band.Band.Name).arg(band.Band.GuidePercent);
    }
    figures.push_back({QStringLiteral("priorities"), QStringLiteral("Priority distribution"),
                       shares.join(QStringLiteral(", ")), guide.join(QStringLiteral(", ")),
                       judged(PrioritiesMeetGuide(Report.Priorities))});
    const QString noData = QStringLiteral("no data");
    figures.push_back({QStringLiteral("ackMedian"), QStringLiteral("Time to acknowledge, median"),
                       Report.AckMedian ? DurationText(*Report.AckMedian) : noData,
                       QStringLiteral("no fixed target"), std::nullopt});
    figures.push_back({QStringLiteral("ackPercentile90"),
                       QStringLiteral("Time to acknowledge, 90th percentile"),
                       Report.AckPercentile90 ? DurationText(*Report.AckPercentile90) : noData,
                       QStringLiteral("no fixed target"), std::nullopt});
    figures.push_back(
        {QStringLiteral("neverAcknowledged"),
         QStringLiteral("Alarms not acknowledged within the range"),
         QStringLiteral("%1 of %2").arg(Report.NeverAcknowledged).arg(Report.AckRequired),
         QStringLiteral("no fixed target"), std::nullopt});
    return figures;
}

QString DurationText(std::int64_t Ticks) {
    const std::int64_t ms = Ticks / 10'000;
    if (ms < 1000)
        return QStringLiteral("%1 ms").arg(ms);
    const std::int64_t seconds = ms / 1000;
    const auto two = [](std::int64_t value) {
        return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
    };
    if (seconds < 60)
        return QStringLiteral("%1.%2 s").arg(seconds).arg(ms % 1000 / 100);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(two(seconds % 60));
    if (seconds % 3600 == 0)
        return QStringLiteral("%1 h").arg(seconds / 3600);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(two(seconds / 60 % 60));
}

} // namespace zelk::journal
