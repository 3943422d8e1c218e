#include "ZelkJournalStore.h"

#include "ZelkJournalSchema.h"
#include "ZelkTimeText.h"

#include <QtSql/QSqlError>

using zelk::journal::Execute;
using zelk::journal::RowsPerStatement;

namespace {

constexpr int NotificationColumns = 19;
constexpr std::int64_t TicksPerDay = 864'000'000'000LL;

const char* const NotificationInsert =
    "INSERT INTO journal_notifications (received, server_id, time_raw, active_time_raw, "
    "event_type, category_id, category_name, source, condition, sub_condition, severity, "
    "message, change_mask, new_state, quality, ack_required, actor, cookie, attributes) VALUES ";

QString InsertStatement(int rows) {
    QString row = QStringLiteral("(?");
    for (int i = 1; i < NotificationColumns; ++i)
        row += QStringLiteral(",?");
    row += QLatin1Char(')');
    QString sql = QString::fromLatin1(NotificationInsert);
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            sql += QLatin1Char(',');
        sql += row;
    }
    return sql;
}

// A FILETIME as the signed 64-bit integer with the same bits: every value survives.
qlonglong RawTicks(const FILETIME& time) {
    return static_cast<qlonglong>(zelk::ae::FileTimeTicks(time));
}

[[noreturn]] void Fail(const QSqlQuery& query) {
    throw EZelkJournalError(QStringLiteral("the journal's database failed: %1")
                                .arg(zelk::journal::DatabaseErrorText(query.lastError().text())));
}

void Run(QSqlQuery& query) {
    if (!query.exec())
        Fail(query);
}

} // namespace

TZelkJournalStore::TZelkJournalStore(TZelkJournalConnection& Connection)
    : FConnection(Connection), FPostgres(Connection.Backend() == TZelkJournalBackend::PostgreSQL) {
    Prepare();
}

void TZelkJournalStore::Prepare() {
    QSqlDatabase& db = FConnection.Database();
    const auto prepared = [&db](const QString& sql) {
        auto query = std::make_unique<QSqlQuery>(db);
        if (!query->prepare(sql))
            Fail(*query);
        return query;
    };
    FInsertMany = prepared(InsertStatement(RowsPerStatement));
    FInsertOne = prepared(InsertStatement(1));
    FInsertAction = prepared(QStringLiteral(
        "INSERT INTO journal_actions (received, server_id, kind, who, comment, reason, count) "
        "VALUES (?,?,?,?,?,?,?) RETURNING id"));
    FInsertResult = prepared(
        QStringLiteral("INSERT INTO journal_ack_results (action_id, seq, source, condition, "
                       "cookie, active_time_raw, result) VALUES (?,?,?,?,?,?,?)"));
}

QString TZelkJournalStore::Text(const QString& Value) const {
    // A null string would be stored as NULL; the journal's texts are never NULL.
    if (Value.isNull())
        return QStringLiteral("");
    if (!FPostgres || !Value.contains(QChar(0)))
        return Value;
    QString text = Value;
    text.replace(QChar(0), QChar(QChar::ReplacementCharacter));
    return text;
}

std::int64_t TZelkJournalStore::ServerId(const TZelkJournalServer& Server) {
    const QString key = Server.Server + QChar(0) + Server.Computer;
    if (const auto found = FServerIds.constFind(key); found != FServerIds.constEnd())
        return *found;
    QSqlQuery query(FConnection.Database());
    query.prepare(QStringLiteral("INSERT INTO journal_servers (server, computer) VALUES (?, ?) "
                                 "ON CONFLICT DO NOTHING"));
    query.addBindValue(Text(Server.Server));
    query.addBindValue(Text(Server.Computer));
    Run(query);
    query.prepare(
        QStringLiteral("SELECT id FROM journal_servers WHERE server = ? AND computer = ?"));
    query.addBindValue(Text(Server.Server));
    query.addBindValue(Text(Server.Computer));
    Run(query);
    if (!query.next())
        throw EZelkJournalError(QStringLiteral("the journal lost its list of servers"));
    const std::int64_t id = query.value(0).toLongLong();
    query.finish();
    FServerIds.insert(key, id);
    return id;
}

void TZelkJournalStore::Write(const std::vector<TZelkJournalEntry>& Entries) {
    QSqlDatabase& db = FConnection.Database();
    Execute(db, FPostgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
    try {
        std::vector<const TZelkJournalEntry*> rows;
        rows.reserve(Entries.size());
        // Notifications and actions keep their order within their own tables.
        for (const TZelkJournalEntry& entry : Entries) {
            if (std::holds_alternative<TZelkEventRecord>(entry.Item))
                rows.push_back(&entry);
            else
                WriteAction(entry);
        }
        WriteNotifications(rows);
        Execute(db, QStringLiteral("COMMIT"));
    } catch (...) {
        FServerIds.clear();
        zelk::journal::RollBack(db);
        throw;
    }
}

void TZelkJournalStore::WriteNotifications(const std::vector<const TZelkJournalEntry*>& Rows) {
    std::size_t next = 0;
    while (next < Rows.size()) {
        const bool many = Rows.size() - next >= static_cast<std::size_t>(RowsPerStatement);
        QSqlQuery& query = many ? *FInsertMany : *FInsertOne;
        const std::size_t count = many ? RowsPerStatement : 1;
        int position = 0;
        for (std::size_t i = next; i < next + count; ++i) {
            const TZelkJournalEntry& entry = *Rows[i];
            const auto& event = std::get<TZelkEventRecord>(entry.Item);
            const auto bind = [&](const QVariant& value) { query.bindValue(position++, value); };
            bind(qlonglong{entry.Received});
            bind(qlonglong{ServerId(entry.Server)});
            bind(RawTicks(event.Time));
            bind(RawTicks(event.ActiveTime));
            bind(event.EventType);
            bind(qlonglong{event.CategoryId});
            bind(Text(event.CategoryName));
            bind(Text(event.Source));
            bind(Text(event.Condition));
            bind(Text(event.SubCondition));
            bind(event.Severity);
            bind(Text(event.Message));
            bind(event.ChangeMask);
            bind(event.NewState);
            bind(event.Quality);
            bind(event.AckRequired ? 1 : 0);
            bind(Text(event.Actor));
            bind(qlonglong{event.Cookie});
            bind(Text(QString::fromStdString(event.AttributesJson)));
        }
        Run(query);
        next += count;
    }
}

void TZelkJournalStore::WriteAction(const TZelkJournalEntry& Entry) {
    const auto& action = std::get<TZelkJournalAction>(Entry.Item);
    QSqlQuery& insert = *FInsertAction;
    insert.bindValue(0, qlonglong{Entry.Received});
    insert.bindValue(1, qlonglong{ServerId(Entry.Server)});
    insert.bindValue(2, Text(action.Kind));
    insert.bindValue(3, Text(action.Who));
    insert.bindValue(4, Text(action.Comment));
    insert.bindValue(5, Text(action.Reason));
    insert.bindValue(6, qlonglong{action.Count});
    Run(insert);
    if (!insert.next())
        throw EZelkJournalError(QStringLiteral("the journal did not number an action"));
    const qlonglong id = insert.value(0).toLongLong();
    insert.finish();
    int seq = 0;
    for (const TZelkAckResult& result : action.Results) {
        QSqlQuery& row = *FInsertResult;
        row.bindValue(0, id);
        row.bindValue(1, seq++);
        row.bindValue(2, Text(result.Source));
        row.bindValue(3, Text(result.Condition));
        row.bindValue(4, qlonglong{result.Cookie});
        row.bindValue(5, RawTicks(result.ActiveTime));
        row.bindValue(6, qlonglong{static_cast<std::int32_t>(result.Result)});
        Run(row);
    }
}

std::int64_t TZelkJournalStore::DeleteOldest(const QString& Table, const QString& Condition,
                                             std::int64_t Bound, int StepRows) {
    QSqlDatabase& db = FConnection.Database();
    const QString chosen = QStringLiteral("SELECT id FROM %1 WHERE %2 ORDER BY id LIMIT %3")
                               .arg(Table, Condition)
                               .arg(StepRows);
    Execute(db, FPostgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
    try {
        if (Table == QLatin1String("journal_actions")) {
            QSqlQuery results(db);
            results.prepare(QStringLiteral("DELETE FROM journal_ack_results WHERE action_id IN (") +
                            chosen + QLatin1Char(')'));
            results.addBindValue(qlonglong{Bound});
            Run(results);
        }
        QSqlQuery rows(db);
        rows.prepare(QStringLiteral("DELETE FROM %1 WHERE id IN (").arg(Table) + chosen +
                     QLatin1Char(')'));
        rows.addBindValue(qlonglong{Bound});
        Run(rows);
        const std::int64_t deleted = rows.numRowsAffected();
        Execute(db, QStringLiteral("COMMIT"));
        return deleted;
    } catch (...) {
        zelk::journal::RollBack(db);
        throw;
    }
}

std::int64_t TZelkJournalStore::PurgeStep(const TZelkJournalRetention& Retention,
                                          std::int64_t NowTicks, int StepRows) {
    QSqlDatabase& db = FConnection.Database();
    const QString notifications = QStringLiteral("journal_notifications");
    if (Retention.Days > 0) {
        const std::int64_t cutoff = NowTicks - Retention.Days * TicksPerDay;
        // The oldest row says whether anything is due, without a scan.
        QSqlQuery oldest(db);
        if (!oldest.exec(
                QStringLiteral("SELECT received FROM journal_notifications ORDER BY id LIMIT 1")))
            Fail(oldest);
        const bool due = oldest.next() && oldest.value(0).toLongLong() < cutoff;
        oldest.finish();
        if (due)
            if (const std::int64_t deleted =
                    DeleteOldest(notifications, QStringLiteral("received < ?"), cutoff, StepRows))
                return deleted;
        if (!oldest.exec(
                QStringLiteral("SELECT received FROM journal_actions ORDER BY id LIMIT 1")))
            Fail(oldest);
        const bool actionsDue = oldest.next() && oldest.value(0).toLongLong() < cutoff;
        oldest.finish();
        if (actionsDue)
            if (const std::int64_t deleted =
                    DeleteOldest(QStringLiteral("journal_actions"), QStringLiteral("received < ?"),
                                 cutoff, StepRows))
                return deleted;
    }
    if (Retention.MaxRows > 0) {
        // The newest row beyond the limit: it and everything older go.
        QSqlQuery boundary(db);
        boundary.prepare(QStringLiteral(
            "SELECT id FROM journal_notifications ORDER BY id DESC LIMIT 1 OFFSET ?"));
        boundary.addBindValue(qlonglong{Retention.MaxRows});
        Run(boundary);
        if (boundary.next()) {
            const std::int64_t last = boundary.value(0).toLongLong();
            boundary.finish();
            return DeleteOldest(notifications, QStringLiteral("id <= ?"), last, StepRows);
        }
    }
    return 0;
}
