#pragma once

// The alarm report's questions to the database. Each is one statement that aggregates in
// the database over the journal's alarm indexes (schema version 3) and returns counts or
// short lists. Alarm, acknowledgement and condition rows are picked by the very terms the
// partial indexes are made with, so that SQLite recognises the index it may use.

#include "ZelkAlarmReport.h"

#include <QVariantList>

namespace zelk::journal {

// The terms of the partial indexes, written once for the schema and the queries.
// An annunciation: active, and the active state or the sub-condition changed.
inline constexpr char AlarmTerms[] =
    "event_type = 4 AND (new_state & 2) <> 0 AND (change_mask & 33) <> 0";
// An acknowledgement the server reported: acknowledged, and the ack state changed.
inline constexpr char AckTerms[] =
    "event_type = 4 AND (new_state & 4) <> 0 AND (change_mask & 2) <> 0";
inline constexpr char ConditionTerms[] = "event_type = 4";

struct TPeriodCounts {
    std::int64_t Period = 0; // from the range's start
    std::int64_t Alarms = 0;
    std::int64_t AckRequired = 0;
    std::vector<std::int64_t> Bands; // alarms per severity band, in the options' order
};

struct TFrequentAlarms {
    std::vector<TZelkAlarmCount> Top;
    std::vector<TZelkAlarmCount> Chattering;
};

// The alarms of the range acknowledged within it, and their delays.
struct TAckFigures {
    std::int64_t Acknowledged = 0;
    std::optional<std::int64_t> Median;
    std::optional<std::int64_t> Percentile90;
};

class TAlarmReportSql {
public:
    TAlarmReportSql(TZelkJournalConnection& Connection, const TZelkAlarmReportOptions& Options,
                    std::int64_t From, std::int64_t To);

    // The first and last notification times of the journal; nothing when it is empty.
    static std::optional<std::pair<std::int64_t, std::int64_t>>
    Span(TZelkJournalConnection& Connection);

    // Only the periods that have alarms, in no particular order.
    std::vector<TPeriodCounts> Periods();
    TFrequentAlarms Frequent();
    std::vector<TZelkStandingAlarm> Standing();
    TAckFigures Acknowledgements();

private:
    // The alarms of the range and area: " WHERE <alarm> AND range [AND area]" and its values.
    QString AlarmWhere(QVariantList& Values) const;
    QString AreaClause(const QString& Column, QVariantList& Values) const;

    TZelkJournalConnection& FConnection;
    const TZelkAlarmReportOptions& FOptions;
    std::int64_t FFrom;
    std::int64_t FTo;
};

} // namespace zelk::journal
