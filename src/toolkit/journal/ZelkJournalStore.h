#pragma once

// TZelkJournalStore: the write side of one open journal. Each Write is one transaction
// with prepared statements (notifications many rows per statement); a purge step deletes
// a bounded number of the oldest rows, so it never holds the database for long.

#include "ZelkJournalEntry.h"
#include "ZelkJournalLocation.h"

#include <QHash>
#include <QtSql/QSqlQuery>
#include <memory>

class TZelkJournalStore {
public:
    // Connection must stay open while the store lives; the schema must be prepared.
    explicit TZelkJournalStore(TZelkJournalConnection& Connection);

    // Writes every entry in one transaction, or nothing: EZelkJournalError on failure,
    // after rolling back.
    void Write(const std::vector<TZelkJournalEntry>& Entries);
    // Deletes up to StepRows of the rows that Retention no longer keeps (notifications,
    // then actions); returns how many it deleted, 0 when nothing is due.
    std::int64_t PurgeStep(const TZelkJournalRetention& Retention, std::int64_t NowTicks,
                           int StepRows = 1000);

private:
    void Prepare();
    std::int64_t ServerId(const TZelkJournalServer& Server);
    void WriteNotifications(const std::vector<const TZelkJournalEntry*>& Rows);
    void WriteAction(const TZelkJournalEntry& Entry);
    // What the database can store: PostgreSQL's text holds no NUL character.
    QString Text(const QString& Value) const;
    std::int64_t DeleteOldest(const QString& Table, const QString& Condition, std::int64_t Bound,
                              int StepRows);

    TZelkJournalConnection& FConnection;
    bool FPostgres;
    std::unique_ptr<QSqlQuery> FInsertMany;
    std::unique_ptr<QSqlQuery> FInsertOne;
    std::unique_ptr<QSqlQuery> FInsertAction;
    std::unique_ptr<QSqlQuery> FInsertResult;
    // Server ids known to be committed; dropped when a transaction fails.
    QHash<QString, std::int64_t> FServerIds;
};

namespace zelk::journal {
// Notification rows per multi-row INSERT statement.
inline constexpr int RowsPerStatement = 64;
} // namespace zelk::journal
