#pragma once

// The alarm performance report: how many alarms the operators of a plant (or of one area)
// got over a time range and how well those alarms behaved, as the alarm-management
// standards ISA-18.2, IEC 62682 and EEMUA 191 measure it, computed from a journal.
//
// An alarm is an annunciation: a condition notification that makes its condition active
// or moves it into a new sub-condition while active. The figures are aggregated by the
// database through the journal's alarm indexes; only counts and short lists come back,
// never a row per notification.
//
//   TZelkJournalReader reader(url);
//   TZelkAlarmReportOptions options;
//   options.Area = QStringLiteral("Plant1.TankFarm");
//   const TZelkAlarmReport report = ComputeAlarmReport(reader.Connection(), options);
//   for (const TZelkAlarmFigure& figure : AlarmReportFigures(report)) ...

#include "ZelkJournalLocation.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace zelk::journal {
inline constexpr std::int64_t TicksPerMinute = 600'000'000LL;
inline constexpr std::int64_t TicksPerHour = 60 * TicksPerMinute;
// The standards count alarms per fixed 10-minute period.
inline constexpr std::int64_t ReportPeriodTicks = 10 * TicksPerMinute;
} // namespace zelk::journal

// A range of severities reported together, with the share of all alarms the standards'
// guide gives it.
struct TZelkSeverityBand {
    QString Name;
    int Low = 1;
    int High = 1000;
    double GuidePercent = 0;
};

struct TZelkAlarmReportOptions {
    // The notifications' own times (FILETIME ticks, UTC): From <= time < To. Unset: from
    // the journal's first notification (at the start of its 10-minute period) to the end
    // of the period of its last.
    std::optional<std::int64_t> From;
    std::optional<std::int64_t> To;
    // An area's path ("Plant1.TankFarm"): the sources named so or below it. Empty: the
    // whole plant.
    QString Area;
    // A 10-minute period with more alarms than this is a flood.
    int FloodThreshold = 10;
    // ChatterCount activations of one condition within ChatterWindow make it chattering.
    int ChatterCount = 3;
    std::int64_t ChatterWindow = 60 * 10'000'000LL;
    // An alarm active for longer than this at the end of the range is standing.
    std::int64_t StandingAfter = 24 * zelk::journal::TicksPerHour;
    // From the lowest severities to the highest.
    std::vector<TZelkSeverityBand> Bands = DefaultBands();
    int TopCount = 10;

    // 1-333 low (80 %), 334-666 medium (15 %), 667-1000 high (5 %).
    static std::vector<TZelkSeverityBand> DefaultBands();
};

struct TZelkAlarmCount {
    QString Source;
    QString Condition;
    std::int64_t Count = 0;
};

struct TZelkFloodEpisode {
    std::int64_t Start = 0; // the first flood period's start
    std::int64_t End = 0;   // the last one's end (at most the range's end)
    std::int64_t Alarms = 0;
};

struct TZelkStandingAlarm {
    QString Source;
    QString Condition;
    std::int64_t ActiveSince = 0;
};

struct TZelkBandCount {
    TZelkSeverityBand Band;
    std::int64_t Count = 0;
    double Percent = 0;
};

struct TZelkAlarmReport {
    TZelkAlarmReportOptions Options;
    // The range reported, resolved; equal when there is nothing to report.
    std::int64_t From = 0;
    std::int64_t To = 0;
    std::int64_t Alarms = 0;
    // Alarms per 10-minute period from From on; the last period may be cut short by To.
    std::vector<std::int64_t> Periods;
    double AveragePerPeriod = 0;
    double AveragePerHour = 0;
    std::int64_t PeakPerPeriod = 0;
    std::int64_t FloodPeriods = 0;
    double FloodPercent = 0;
    std::vector<TZelkFloodEpisode> Floods;
    std::vector<TZelkAlarmCount> Top;
    double TopPercent = 0;
    // Count: the condition's activations in the range.
    std::vector<TZelkAlarmCount> Chattering;
    std::vector<TZelkStandingAlarm> Standing;
    std::vector<TZelkBandCount> Priorities;
    // Alarms of the range that ask for an acknowledgement, those acknowledged within the
    // range (as the server's notification says, or by this client's call where the server
    // said nothing) and the delays from activation, to 100 ms (to the minute beyond 10
    // minutes).
    std::int64_t AckRequired = 0;
    std::int64_t Acknowledged = 0;
    std::optional<std::int64_t> AckMedian;
    std::optional<std::int64_t> AckPercentile90;
    std::int64_t NeverAcknowledged = 0;

    bool HasData() const noexcept { return Alarms > 0; }
};

// One line of the report beside its target. Met is unset where the standards set no
// target, or where there is no data to judge.
struct TZelkAlarmFigure {
    QString Key; // stable, for JSON: "averagePerHour", ...
    QString Name;
    QString Value;
    QString Target;
    std::optional<bool> Met;
};

namespace zelk::journal {

// Computes the report on Connection's journal (schema prepared). EZelkJournalError when
// the database fails.
TZelkAlarmReport ComputeAlarmReport(TZelkJournalConnection& Connection,
                                    const TZelkAlarmReportOptions& Options);

// The report's figures with their targets, in the order a report shows them.
std::vector<TZelkAlarmFigure> AlarmReportFigures(const TZelkAlarmReport& Report);

// "4 min 05 s", "1 h 02 min", "350 ms": a delay for people.
QString DurationText(std::int64_t Ticks);

} // namespace zelk::journal
