#include "ZelkAlarmReportSql.h"

#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>

namespace zelk::journal {

namespace {

QSqlQuery Run(QSqlDatabase& db, const QString& sql, const QVariantList& values) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    bool done = query.prepare(sql);
    if (done) {
        for (qsizetype i = 0; i < values.size(); ++i)
            query.bindValue(static_cast<int>(i), values[i]);
        done = query.exec();
    }
    if (!done)
        throw EZelkJournalError(QStringLiteral("cannot report on the journal: %1")
                                    .arg(DatabaseErrorText(query.lastError().text())));
    return query;
}

QString Terms(const char* terms) {
    return QLatin1Char('(') + QLatin1String(terms) + QLatin1Char(')');
}

} // namespace

TAlarmReportSql::TAlarmReportSql(TZelkJournalConnection& Connection,
                                 const TZelkAlarmReportOptions& Options, std::int64_t From,
                                 std::int64_t To)
    : FConnection(Connection), FOptions(Options), FFrom(From), FTo(To) {}

std::optional<std::pair<std::int64_t, std::int64_t>>
TAlarmReportSql::Span(TZelkJournalConnection& Connection) {
    QSqlQuery query =
        Run(Connection.Database(),
            QStringLiteral("SELECT MIN(time_raw), MAX(time_raw) FROM journal_notifications"), {});
    if (!query.next() || query.value(0).isNull())
        return std::nullopt;
    return std::pair{query.value(0).toLongLong(), query.value(1).toLongLong()};
}

QString TAlarmReportSql::AreaClause(const QString& Column, QVariantList& Values) const {
    if (FOptions.Area.isEmpty())
        return {};
    // The area itself, or anything below it: "Plant1.TankFarm" holds
    // "Plant1.TankFarm.LIC201" but not "Plant1.TankFarmB".
    const QString below = FOptions.Area + QLatin1Char('.');
    Values << FOptions.Area << static_cast<int>(below.toUcs4().size()) << below;
    return QStringLiteral(" AND (%1 = ? OR substr(%1, 1, ?) = ?)").arg(Column);
}

QString TAlarmReportSql::AlarmWhere(QVariantList& Values) const {
    Values << qlonglong{FFrom} << qlonglong{FTo};
    return QStringLiteral(" WHERE ") + Terms(AlarmTerms) +
           QStringLiteral(" AND time_raw >= ? AND time_raw < ?") +
           AreaClause(QStringLiteral("source"), Values);
}

std::vector<TPeriodCounts> TAlarmReportSql::Periods() {
    QVariantList values;
    QString sql = QStringLiteral("SELECT (time_raw - ?) / %1, COUNT(*), SUM(CASE WHEN "
                                 "ack_required <> 0 THEN 1 ELSE 0 END)")
                      .arg(ReportPeriodTicks);
    values << qlonglong{FFrom};
    for (const TZelkSeverityBand& band : FOptions.Bands) {
        sql += QStringLiteral(", SUM(CASE WHEN severity >= ? AND severity <= ? THEN 1 ELSE 0 END)");
        values << band.Low << band.High;
    }
    sql += QStringLiteral(" FROM journal_notifications") + AlarmWhere(values) +
           QStringLiteral(" GROUP BY 1");
    QSqlQuery query = Run(FConnection.Database(), sql, values);
    std::vector<TPeriodCounts> periods;
    while (query.next()) {
        TPeriodCounts counts;
        counts.Period = query.value(0).toLongLong();
        counts.Alarms = query.value(1).toLongLong();
        counts.AckRequired = query.value(2).toLongLong();
        for (int i = 0; i < static_cast<int>(FOptions.Bands.size()); ++i)
            counts.Bands.push_back(query.value(3 + i).toLongLong());
        periods.push_back(std::move(counts));
    }
    return periods;
}

TFrequentAlarms TAlarmReportSql::Frequent() {
    // One pass over the alarms by condition gives both lists. A condition chatters when an
    // activation comes within the window of the one ChatterCount - 1 activations before it.
    QVariantList values;
    QString sql = QStringLiteral("WITH conditions AS MATERIALIZED (SELECT source, condition, "
                                 "COUNT(*) AS alarms, SUM(CASE WHEN earlier IS NOT NULL AND "
                                 "time_raw - earlier <= %1 THEN 1 ELSE 0 END) AS bursts FROM "
                                 "(SELECT source, condition, time_raw, LAG(time_raw, %2) OVER "
                                 "(PARTITION BY source, condition ORDER BY time_raw) AS earlier "
                                 "FROM journal_notifications")
                      .arg(FOptions.ChatterWindow)
                      .arg(std::max(FOptions.ChatterCount, 2) - 1);
    sql += AlarmWhere(values) +
           QStringLiteral(") AS activations GROUP BY source, condition) "
                          "SELECT * FROM (SELECT 0 AS list, source, condition, alarms FROM "
                          "conditions ORDER BY alarms DESC, source, condition LIMIT %1) AS top "
                          "UNION ALL SELECT * FROM (SELECT 1 AS list, source, condition, alarms "
                          "FROM conditions WHERE bursts > 0 ORDER BY alarms DESC, source, "
                          "condition) AS chattering")
               .arg(std::max(FOptions.TopCount, 0));
    QSqlQuery query = Run(FConnection.Database(), sql, values);
    TFrequentAlarms frequent;
    while (query.next())
        (query.value(0).toInt() == 0 ? frequent.Top : frequent.Chattering)
            .push_back({query.value(1).toString(), query.value(2).toString(),
                        query.value(3).toLongLong()});
    return frequent;
}

std::vector<TZelkStandingAlarm> TAlarmReportSql::Standing() {
    // The last notification of each condition before the end tells its state then.
    QVariantList values;
    values << qlonglong{FTo};
    const QString where = QStringLiteral(" WHERE ") + Terms(ConditionTerms) +
                          QStringLiteral(" AND time_raw < ?") +
                          AreaClause(QStringLiteral("source"), values);
    QString last;
    if (FConnection.Backend() == TZelkJournalBackend::SQLite)
        // SQLite takes the other columns from the row that holds the maximum.
        last = QStringLiteral("SELECT source, condition, MAX(time_raw), new_state, "
                              "active_time_raw FROM journal_notifications") +
               where + QStringLiteral(" GROUP BY source, condition");
    else
        last = QStringLiteral("SELECT DISTINCT ON (source, condition) source, condition, "
                              "new_state, active_time_raw FROM journal_notifications") +
               where + QStringLiteral(" ORDER BY source, condition, time_raw DESC, id DESC");
    values << qlonglong{FTo - FOptions.StandingAfter};
    const QString sql = QStringLiteral("SELECT source, condition, active_time_raw FROM (") + last +
                        QStringLiteral(") AS states WHERE (new_state & 2) <> 0 AND "
                                       "active_time_raw < ? ORDER BY active_time_raw, source, "
                                       "condition");
    QSqlQuery query = Run(FConnection.Database(), sql, values);
    std::vector<TZelkStandingAlarm> standing;
    while (query.next())
        standing.push_back(
            {query.value(0).toString(), query.value(1).toString(), query.value(2).toLongLong()});
    return standing;
}

TAckFigures TAlarmReportSql::Acknowledgements() {
    // An alarm is one activation of a condition, known by its active time (the key an
    // acknowledgement names too). The server's notification says when it was acknowledged,
    // on the clock of the active time; this client's successful call counts where the
    // server said nothing. Delays are counted per 100 ms (per minute beyond 10 minutes), so
    // the database returns a histogram rather than a row per alarm.
    const QString bucket =
        QStringLiteral("CASE WHEN %1 < 0 THEN 0 WHEN %1 < 6000000000 THEN %1 / 1000000 * 1000000 "
                       "ELSE %1 / 600000000 * 600000000 END");
    QVariantList values;
    QString sql = QStringLiteral("SELECT delay, SUM(acks) FROM (SELECT %1 AS delay, COUNT(*) AS "
                                 "acks FROM journal_notifications WHERE ")
                      .arg(bucket.arg(QStringLiteral("(time_raw - active_time_raw)"))) +
                  Terms(AckTerms) +
                  QStringLiteral(" AND active_time_raw >= ? AND active_time_raw < ? AND "
                                 "time_raw < ?");
    values << qlonglong{FFrom} << qlonglong{FTo} << qlonglong{FTo};
    sql += AreaClause(QStringLiteral("source"), values) + QStringLiteral(" GROUP BY 1");
    sql += QStringLiteral(" UNION ALL SELECT %1, COUNT(*) FROM journal_actions a JOIN "
                          "journal_ack_results r ON r.action_id = a.id WHERE a.received >= ? "
                          "AND a.received < ? AND a.kind = 'acknowledge' AND r.result = 0 AND "
                          "r.active_time_raw >= ? AND r.active_time_raw < ?")
               .arg(bucket.arg(QStringLiteral("(a.received - r.active_time_raw)")));
    values << qlonglong{FFrom} << qlonglong{FTo} << qlonglong{FFrom} << qlonglong{FTo};
    sql += AreaClause(QStringLiteral("r.source"), values);
    // The terms' columns are the notification's: the action and result have none of them.
    sql += QStringLiteral(" AND NOT EXISTS (SELECT 1 FROM journal_notifications n WHERE ") +
           Terms(AckTerms) +
           QStringLiteral(" AND n.active_time_raw = r.active_time_raw AND n.source = r.source "
                          "AND n.condition = r.condition AND n.time_raw < ?) GROUP BY 1) AS "
                          "delays GROUP BY delay ORDER BY delay");
    values << qlonglong{FTo};
    QSqlQuery query = Run(FConnection.Database(), sql, values);
    std::vector<std::pair<std::int64_t, std::int64_t>> histogram; // delay, alarms
    TAckFigures figures;
    while (query.next()) {
        histogram.emplace_back(query.value(0).toLongLong(), query.value(1).toLongLong());
        figures.Acknowledged += histogram.back().second;
    }
    const std::int64_t n = figures.Acknowledged;
    // The delay of the alarm at a rank (from 1) in the order of delays.
    const auto at = [&histogram](std::int64_t rank) {
        for (const auto& [delay, alarms] : histogram) {
            if (rank <= alarms)
                return delay;
            rank -= alarms;
        }
        return histogram.empty() ? std::int64_t{0} : histogram.back().first;
    };
    if (n > 0) {
        figures.Median = (at((n + 1) / 2) + at((n + 2) / 2)) / 2;
        // The nearest rank: the smallest delay that 90 % of the alarms do not exceed.
        figures.Percentile90 = at((9 * n + 9) / 10);
    }
    return figures;
}

} // namespace zelk::journal
