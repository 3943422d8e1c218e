#include "ZelkJournalSchema.h"

#include "ZelkAlarmReportSql.h"

#include <QStringList>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>

namespace zelk::journal {

namespace {

const QLatin1String ApplicationName("zelk-ae-journal");

// The DDL of each version's step, with %ID% for the dialect's generated key.
const char* const Version1[] = {
    "CREATE TABLE journal_meta (name TEXT PRIMARY KEY, value TEXT NOT NULL)",
    "INSERT INTO journal_meta (name, value) VALUES ('application', 'zelk-ae-journal')",
    "INSERT INTO journal_meta (name, value) VALUES ('version', '1')",
    "CREATE TABLE journal_servers (id %ID%, server TEXT NOT NULL, computer TEXT NOT NULL, "
    "UNIQUE (server, computer))",
    "CREATE TABLE journal_notifications (id %ID%, received BIGINT NOT NULL, "
    "server_id BIGINT NOT NULL, time_raw BIGINT NOT NULL, active_time_raw BIGINT NOT NULL, "
    "event_type INTEGER NOT NULL, category_id BIGINT NOT NULL, category_name TEXT NOT NULL, "
    "source TEXT NOT NULL, condition TEXT NOT NULL, sub_condition TEXT NOT NULL, "
    "severity INTEGER NOT NULL, message TEXT NOT NULL, change_mask INTEGER NOT NULL, "
    "new_state INTEGER NOT NULL, quality INTEGER NOT NULL, ack_required INTEGER NOT NULL, "
    "actor TEXT NOT NULL, cookie BIGINT NOT NULL, attributes TEXT NOT NULL)",
    "CREATE INDEX journal_notifications_time ON journal_notifications (time_raw)",
    "CREATE TABLE journal_actions (id %ID%, received BIGINT NOT NULL, "
    "server_id BIGINT NOT NULL, kind TEXT NOT NULL, who TEXT NOT NULL, comment TEXT NOT NULL, "
    "reason TEXT NOT NULL, count BIGINT NOT NULL)",
    "CREATE INDEX journal_actions_received ON journal_actions (received)",
};

const char* const Version2[] = {
    "CREATE TABLE journal_ack_results (action_id BIGINT NOT NULL, seq INTEGER NOT NULL, "
    "source TEXT NOT NULL, condition TEXT NOT NULL, cookie BIGINT NOT NULL, "
    "active_time_raw BIGINT NOT NULL, result BIGINT NOT NULL, PRIMARY KEY (action_id, seq))",
    "CREATE INDEX journal_notifications_source ON journal_notifications (source, id)",
    "UPDATE journal_meta SET value = '2' WHERE name = 'version'",
};

// The alarm report's indexes: each holds only the rows one of its questions reads, with
// the columns it needs, so a report reads indexes and never the table.
const char* const Version3[] = {
    "CREATE INDEX journal_notifications_alarms ON journal_notifications (time_raw, source, "
    "condition, severity, active_time_raw, ack_required) WHERE %ALARM%",
    "CREATE INDEX journal_notifications_acks ON journal_notifications (active_time_raw, source, "
    "condition, time_raw) WHERE %ACK%",
    "CREATE INDEX journal_notifications_conditions ON journal_notifications (source, condition, "
    "time_raw, new_state, active_time_raw) WHERE %CONDITION%",
    "UPDATE journal_meta SET value = '3' WHERE name = 'version'",
};

template <std::size_t N>
void RunStep(TZelkJournalConnection& connection, const char* const (&statements)[N]) {
    const QString id = connection.Backend() == TZelkJournalBackend::SQLite
                           ? QStringLiteral("INTEGER PRIMARY KEY")
                           : QStringLiteral("BIGSERIAL PRIMARY KEY");
    for (const char* statement : statements)
        Execute(connection.Database(),
                QString::fromLatin1(statement)
                    .replace(QLatin1String("%ID%"), id)
                    .replace(QLatin1String("%ALARM%"), QLatin1String(AlarmTerms))
                    .replace(QLatin1String("%ACK%"), QLatin1String(AckTerms))
                    .replace(QLatin1String("%CONDITION%"), QLatin1String(ConditionTerms)));
}

void RunSteps(TZelkJournalConnection& connection, int from, int to) {
    if (from < 1 && to >= 1)
        RunStep(connection, Version1);
    if (from < 2 && to >= 2)
        RunStep(connection, Version2);
    if (from < 3 && to >= 3)
        RunStep(connection, Version3);
}

QString MetaValue(QSqlDatabase& database, const char* name) {
    QSqlQuery query(database);
    query.prepare(QStringLiteral("SELECT value FROM journal_meta WHERE name = ?"));
    query.addBindValue(QString::fromLatin1(name));
    if (!query.exec())
        throw EZelkJournalError(
            QStringLiteral("cannot read the journal: %1").arg(query.lastError().text()));
    return query.next() ? query.value(0).toString() : QString();
}

// Takes the database's write lock, so that two programs opening one new journal at once
// do not both create it.
void BeginExclusive(TZelkJournalConnection& connection) {
    if (connection.Backend() == TZelkJournalBackend::SQLite) {
        Execute(connection.Database(), QStringLiteral("BEGIN IMMEDIATE"));
    } else {
        Execute(connection.Database(), QStringLiteral("BEGIN"));
        Execute(connection.Database(), QStringLiteral("SELECT pg_advisory_xact_lock(72530)"));
    }
}

QStringList UserTables(TZelkJournalConnection& connection) {
    QStringList tables = connection.Database().tables(QSql::Tables);
    tables.removeIf([](const QString& name) { return name.startsWith(QLatin1String("sqlite_")); });
    return tables;
}

} // namespace

void Execute(QSqlDatabase& Database, const QString& Sql) {
    QSqlQuery query(Database);
    if (!query.exec(Sql))
        throw EZelkJournalError(QStringLiteral("the journal's database failed: %1")
                                    .arg(DatabaseErrorText(query.lastError().text())));
}

void RollBack(QSqlDatabase& Database) noexcept {
    if (Database.isOpen())
        QSqlQuery(Database).exec(QStringLiteral("ROLLBACK"));
}

int SchemaVersion(TZelkJournalConnection& Connection) {
    return MetaValue(Connection.Database(), "version").toInt();
}

int PrepareSchema(TZelkJournalConnection& Connection, bool MayCreate) {
    const QString where = Connection.Location().Url();
    // Reading first: a journal that is current needs no lock at all.
    QStringList tables = UserTables(Connection);
    if (tables.contains(QLatin1String("journal_meta")) &&
        MetaValue(Connection.Database(), "application") == ApplicationName &&
        SchemaVersion(Connection) == CurrentSchemaVersion)
        return CurrentSchemaVersion;

    BeginExclusive(Connection);
    try {
        tables = UserTables(Connection);
        int version = 0;
        if (tables.contains(QLatin1String("journal_meta"))) {
            if (MetaValue(Connection.Database(), "application") != ApplicationName)
                throw EZelkJournalError(
                    QStringLiteral("%1 is not an alarm and event journal").arg(where));
            version = SchemaVersion(Connection);
            if (version > CurrentSchemaVersion)
                throw EZelkJournalError(
                    QStringLiteral("the journal %1 has schema version %2; this program reads "
                                   "versions up to %3")
                        .arg(where)
                        .arg(version)
                        .arg(CurrentSchemaVersion));
            if (version < 1)
                throw EZelkJournalError(
                    QStringLiteral("the journal %1 has no valid schema version").arg(where));
        } else if (!tables.isEmpty()) {
            throw EZelkJournalError(
                QStringLiteral("%1 holds other tables and is not an alarm and event journal")
                    .arg(where));
        } else if (!MayCreate) {
            throw EZelkJournalError(QStringLiteral("%1 holds no journal").arg(where));
        }
        RunSteps(Connection, version, CurrentSchemaVersion);
        Execute(Connection.Database(), QStringLiteral("COMMIT"));
        return version;
    } catch (...) {
        RollBack(Connection.Database());
        throw;
    }
}

void CreateSchemaVersion(TZelkJournalConnection& Connection, int Version) {
    Execute(Connection.Database(), QStringLiteral("BEGIN"));
    RunSteps(Connection, 0, Version);
    Execute(Connection.Database(), QStringLiteral("COMMIT"));
}

} // namespace zelk::journal
