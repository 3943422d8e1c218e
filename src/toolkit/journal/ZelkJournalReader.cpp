#include "ZelkJournalReader.h"

#include "ZelkJournalSchema.h"
#include "ZelkJournalStore.h"

#include <QFileInfo>
#include <QHash>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>

using zelk::journal::TSqlCondition;

namespace {

QSqlQuery Select(QSqlDatabase& db, const QString& sql, const QVariantList& values = {}) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw EZelkJournalError(
            QStringLiteral("cannot read the journal: %1")
                .arg(zelk::journal::DatabaseErrorText(query.lastError().text())));
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(static_cast<int>(i), values[i]);
    if (!query.exec())
        throw EZelkJournalError(
            QStringLiteral("cannot read the journal: %1")
                .arg(zelk::journal::DatabaseErrorText(query.lastError().text())));
    return query;
}

FILETIME FileTimeOf(const QVariant& value) {
    const auto ticks = static_cast<std::uint64_t>(value.toLongLong());
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

std::optional<std::int64_t> Optional(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    return value.toLongLong();
}

std::int64_t Scalar(QSqlDatabase& db, const QString& sql) {
    QSqlQuery query = Select(db, sql);
    return query.next() ? query.value(0).toLongLong() : 0;
}

} // namespace

TZelkJournalReader::TZelkJournalReader(const QString& Url)
    : FConnection(
          std::make_unique<TZelkJournalConnection>(TZelkJournalLocation::Parse(Url), false)) {
    zelk::journal::PrepareSchema(*FConnection, false);
}

TZelkJournalReader::~TZelkJournalReader() = default;

std::vector<TZelkJournalNotification>
TZelkJournalReader::Notifications(const TZelkJournalFilter& Filter, const TZelkJournalPage& Page) {
    const TSqlCondition condition =
        zelk::journal::NotificationCondition(Filter, FConnection->Backend(), Page);
    const QString sql =
        QStringLiteral("SELECT n.id, n.received, s.server, s.computer, n.time_raw, "
                       "n.active_time_raw, n.event_type, n.category_id, n.category_name, "
                       "n.source, n.condition, n.sub_condition, n.severity, n.message, "
                       "n.change_mask, n.new_state, n.quality, n.ack_required, n.actor, "
                       "n.cookie, n.attributes FROM journal_notifications n "
                       "JOIN journal_servers s ON s.id = n.server_id") +
        condition.Where() + zelk::journal::PageOrder(QStringLiteral("n.id"), Page);
    QSqlQuery query = Select(FConnection->Database(), sql, condition.Values);
    std::vector<TZelkJournalNotification> rows;
    while (query.next()) {
        TZelkJournalNotification row;
        row.Id = query.value(0).toLongLong();
        row.Received = query.value(1).toLongLong();
        row.Server = {query.value(2).toString(), query.value(3).toString()};
        TZelkEventRecord& event = row.Event;
        event.Time = FileTimeOf(query.value(4));
        event.ActiveTime = FileTimeOf(query.value(5));
        event.EventType = query.value(6).toInt();
        event.CategoryId = static_cast<int>(query.value(7).toLongLong());
        event.CategoryName = query.value(8).toString();
        event.Source = query.value(9).toString();
        event.Condition = query.value(10).toString();
        event.SubCondition = query.value(11).toString();
        event.Severity = query.value(12).toInt();
        event.Message = query.value(13).toString();
        event.ChangeMask = query.value(14).toInt();
        event.NewState = query.value(15).toInt();
        event.Quality = query.value(16).toInt();
        event.AckRequired = query.value(17).toInt() != 0;
        event.Actor = query.value(18).toString();
        event.Cookie = static_cast<std::uint32_t>(query.value(19).toLongLong());
        event.AttributesJson = query.value(20).toString().toStdString();
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<TZelkJournalActionRow> TZelkJournalReader::Actions(const TZelkActionFilter& Filter,
                                                               const TZelkJournalPage& Page) {
    const TSqlCondition condition =
        zelk::journal::ActionCondition(Filter, FConnection->Backend(), Page);
    const QString sql = QStringLiteral("SELECT a.id, a.received, s.server, s.computer, a.kind, "
                                       "a.who, a.comment, a.reason, a.count FROM journal_actions a "
                                       "LEFT JOIN journal_servers s ON s.id = a.server_id") +
                        condition.Where() + zelk::journal::PageOrder(QStringLiteral("a.id"), Page);
    QSqlQuery query = Select(FConnection->Database(), sql, condition.Values);
    std::vector<TZelkJournalActionRow> rows;
    while (query.next()) {
        TZelkJournalActionRow row;
        row.Id = query.value(0).toLongLong();
        row.Received = query.value(1).toLongLong();
        row.Server = {query.value(2).toString(), query.value(3).toString()};
        row.Action.Kind = query.value(4).toString();
        row.Action.Who = query.value(5).toString();
        row.Action.Comment = query.value(6).toString();
        row.Action.Reason = query.value(7).toString();
        row.Action.Count = query.value(8).toLongLong();
        rows.push_back(std::move(row));
    }
    LoadResults(rows);
    return rows;
}

void TZelkJournalReader::LoadResults(std::vector<TZelkJournalActionRow>& Rows) {
    QHash<std::int64_t, TZelkJournalActionRow*> acknowledgements;
    QStringList ids;
    for (TZelkJournalActionRow& row : Rows)
        if (row.Action.Kind == QLatin1String(zelk::journal::kind::Acknowledge)) {
            acknowledgements.insert(row.Id, &row);
            ids << QString::number(row.Id);
        }
    if (ids.isEmpty())
        return;
    // The ids are the journal's own integers, not user text.
    QSqlQuery query = Select(
        FConnection->Database(),
        QStringLiteral("SELECT action_id, source, condition, cookie, active_time_raw, result FROM "
                       "journal_ack_results WHERE action_id IN (%1) ORDER BY action_id, seq")
            .arg(ids.join(QLatin1Char(','))));
    while (query.next()) {
        TZelkJournalActionRow* row = acknowledgements.value(query.value(0).toLongLong());
        if (!row)
            continue;
        TZelkAckResult result;
        result.Source = query.value(1).toString();
        result.Condition = query.value(2).toString();
        result.Cookie = static_cast<std::uint32_t>(query.value(3).toLongLong());
        result.ActiveTime = FileTimeOf(query.value(4));
        result.Result = static_cast<HRESULT>(query.value(5).toLongLong());
        row->Action.Results.push_back(std::move(result));
    }
}

TZelkJournalInfo TZelkJournalReader::Info() {
    QSqlDatabase& db = FConnection->Database();
    TZelkJournalInfo info;
    info.Url = FConnection->Location().Url();
    info.SchemaVersion = zelk::journal::SchemaVersion(*FConnection);
    info.Notifications = Scalar(db, QStringLiteral("SELECT COUNT(*) FROM journal_notifications"));
    info.Actions = Scalar(db, QStringLiteral("SELECT COUNT(*) FROM journal_actions"));
    info.Servers = Scalar(db, QStringLiteral("SELECT COUNT(*) FROM journal_servers"));
    info.Lost = Scalar(db, QStringLiteral("SELECT COALESCE(SUM(count), 0) FROM journal_actions "
                                          "WHERE kind = 'lost'"));
    {
        QSqlQuery span = Select(db, QStringLiteral("SELECT MIN(time_raw), MAX(time_raw) FROM "
                                                   "journal_notifications"));
        if (span.next()) {
            info.FirstTime = Optional(span.value(0));
            info.LastTime = Optional(span.value(1));
        }
    }
    {
        // Received times grow with the key: the first and last rows carry them.
        QSqlQuery first = Select(db, QStringLiteral("SELECT received FROM journal_notifications "
                                                    "ORDER BY id LIMIT 1"));
        if (first.next())
            info.FirstReceived = first.value(0).toLongLong();
        QSqlQuery last = Select(db, QStringLiteral("SELECT received FROM journal_notifications "
                                                   "ORDER BY id DESC LIMIT 1"));
        if (last.next())
            info.LastReceived = last.value(0).toLongLong();
    }
    if (FConnection->Backend() == TZelkJournalBackend::SQLite) {
        const QString path = FConnection->Location().Path;
        info.SizeBytes = QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
    } else {
        info.SizeBytes =
            Scalar(db, QStringLiteral("SELECT COALESCE(SUM(pg_total_relation_size(c.oid)), 0) FROM "
                                      "pg_class c JOIN pg_namespace ns ON ns.oid = c.relnamespace "
                                      "WHERE c.relkind = 'r' AND c.relname LIKE 'journal\\_%' "
                                      "AND ns.nspname = current_schema()"));
    }
    return info;
}

std::int64_t TZelkJournalReader::Purge(const TZelkJournalRetention& Retention) {
    if (!Retention.Any())
        return 0;
    TZelkJournalStore store(*FConnection);
    const std::int64_t now = zelk::journal::NowTicks();
    std::int64_t total = 0;
    while (const std::int64_t deleted = store.PurgeStep(Retention, now))
        total += deleted;
    return total;
}
