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
    QString sql = QStringLiteral("SELECT (time_raw - ?) / %1, COUNT(*)").arg(ReportPeriodTicks);
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
        for (int i = 0; i < static_cast<int>(FOptions.Bands.size()); ++i)
            counts.Bands.push_back(query.value(2 + i).toLongLong());
        periods.push_back(std::move(counts));
    }
    return periods;
}

std::vector<TZelkAlarmCount> TAlarmReportSql::Top() {
    QVariantList values;
    const QString sql = QStringLiteral("SELECT source, condition, COUNT(*) FROM "
                                       "journal_notifications") +
                        AlarmWhere(values) +
                        QStringLiteral(" GROUP BY source, condition ORDER BY 3 DESC, source, "
                                       "condition LIMIT %1")
                            .arg(std::max(FOptions.TopCount, 0));
    QSqlQuery query = Run(FConnection.Database(), sql, values);
    std::vector<TZelkAlarmCount> top;
    while (query.next())
        top.push_back({query.value(0).toString(), query.value(1).toString(),
                       query.value(2).toLongLong()});
    return top;
}

std::vector<TZelkAlarmCount> TAlarmReportSql::Chattering() {
    // A condition chatters when an activation comes within the window of the one
    // ChatterCount - 1 activations before it.
    QVariantList values;
    values << qlonglong{FOptions.ChatterWindow};
    const QString burst = QStringLiteral("SUM(CASE WHEN earlier IS NOT NULL AND time_raw - "
                                         "earlier <= ? THEN 1 ELSE 0 END)");
    QString sql = QStringLiteral("SELECT source, condition, COUNT(*) FROM (SELECT source, "
                                 "condition, time_raw, LAG(time_raw, %1) OVER (PARTITION BY "
                                 "source, condition ORDER BY time_raw) AS earlier FROM "
                                 "journal_notifications")
                      .arg(std::max(FOptions.ChatterCount, 2) - 1);
    QVariantList inner;
    sql += AlarmWhere(inner) + QStringLiteral(") AS activations GROUP BY source, condition HAVING ") +
           burst + QStringLiteral(" > 0 ORDER BY 3 DESC, source, condition");
    // The window's value belongs after the inner statement's.
    inner << values;
    QSqlQuery query = Run(FConnection.Database(), sql, inner);
    std::vector<TZelkAlarmCount> chattering;
    while (query.next())
        chattering.push_back({query.value(0).toString(), query.value(1).toString(),
                              query.value(2).toLongLong()});
    return chattering;
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
        standing.push_back({query.value(0).toString(), query.value(1).toString(),
                            query.value(2).toLongLong()});
    return standing;
}

TAckFigures TAlarmReportSql::Acknowledgements() {
    // An alarm is one activation of a condition, known by its active time (the key an
    // acknowledgement names too). It counts as acknowledged at the first acknowledgement
    // within the range: the server's notification, or this client's successful call.
    QVariantList values;
    QString sql = QStringLiteral("WITH alarms AS MATERIALIZED (SELECT source, condition, "
                                 "active_time_raw FROM journal_notifications") +
                  AlarmWhere(values) +
                  QStringLiteral(" AND ack_required <> 0 GROUP BY source, condition, "
                                 "active_time_raw), acks AS (SELECT source, condition, "
                                 "active_time_raw, time_raw AS acked FROM journal_notifications "
                                 "WHERE ") +
                  Terms(AckTerms) + QStringLiteral(" AND time_raw >= ? AND time_raw < ?");
    values << qlonglong{FFrom} << qlonglong{FTo};
    sql += AreaClause(QStringLiteral("source"), values);
    sql += QStringLiteral(
        " UNION ALL SELECT r.source, r.condition, r.active_time_raw, a.received FROM "
        "journal_ack_results r JOIN journal_actions a ON a.id = r.action_id WHERE r.result = 0 "
        "AND a.kind = 'acknowledge' AND a.received >= ? AND a.received < ?), "
        "firsts AS (SELECT source, condition, active_time_raw, MIN(acked) AS acked FROM acks "
        "GROUP BY source, condition, active_time_raw), "
        "delays AS MATERIALIZED (SELECT CASE WHEN f.acked IS NULL THEN NULL WHEN f.acked > "
        "al.active_time_raw THEN f.acked - al.active_time_raw ELSE 0 END AS delay FROM alarms al "
        "LEFT JOIN firsts f ON f.source = al.source AND f.condition = al.condition AND "
        "f.active_time_raw = al.active_time_raw), "
        "ranked AS (SELECT delay, ROW_NUMBER() OVER (ORDER BY delay) AS rn, COUNT(*) OVER () AS "
        "n FROM delays WHERE delay IS NOT NULL) "
        "SELECT c.total, c.never, r.rn, r.n, r.delay FROM (SELECT COUNT(*) AS total, "
        "COALESCE(SUM(CASE WHEN delay IS NULL THEN 1 ELSE 0 END), 0) AS never FROM delays) c "
        "LEFT JOIN (SELECT rn, n, delay FROM ranked WHERE rn = (n + 1) / 2 OR rn = (n + 2) / 2 "
        "OR rn = (9 * n + 9) / 10) r ON 1 = 1 ORDER BY r.rn");
    values << qlonglong{FFrom} << qlonglong{FTo};
    QSqlQuery query = Run(FConnection.Database(), sql, values);
    TAckFigures figures;
    std::vector<std::pair<std::int64_t, std::int64_t>> ranks; // rank, delay
    std::int64_t n = 0;
    while (query.next()) {
        figures.AckRequired = query.value(0).toLongLong();
        figures.Never = query.value(1).toLongLong();
        if (query.value(2).isNull())
            continue;
        ranks.emplace_back(query.value(2).toLongLong(), query.value(4).toLongLong());
        n = query.value(3).toLongLong();
    }
    figures.Acknowledged = figures.AckRequired - figures.Never;
    const auto at = [&ranks](std::int64_t rank) -> std::optional<std::int64_t> {
        for (const auto& [r, delay] : ranks)
            if (r == rank)
                return delay;
        return std::nullopt;
    };
    if (n > 0) {
        const auto low = at((n + 1) / 2);
        const auto high = at((n + 2) / 2);
        if (low && high)
            figures.Median = (*low + *high) / 2;
        // The nearest rank: the smallest delay that 90 % of the alarms do not exceed.
        figures.Percentile90 = at((9 * n + 9) / 10);
    }
    return figures;
}

} // namespace zelk::journal
