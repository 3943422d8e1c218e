#pragma once

// TZelkJournalReader: reads a journal (and purges it) on the thread that made it. Opening
// checks the journal like the writer does (an older schema is migrated, a foreign or newer
// database refused) but never creates one. Pages are read by key, so a view over millions
// of rows asks for the next page with the last Id it shows:
//
//   TZelkJournalReader reader(url);
//   TZelkJournalFilter filter;
//   filter.Source = {QStringLiteral("Plant1.TankFarm.LIC201"), TZelkTextMatch::Exact};
//   auto page = reader.Notifications(filter, {});              // the newest 100
//   auto next = reader.Notifications(filter, {.After = page.back().Id});

#include "ZelkJournalEntry.h"
#include "ZelkJournalQuery.h"

#include <memory>

struct TZelkJournalNotification {
    std::int64_t Id = 0;
    std::int64_t Received = 0; // FILETIME ticks, UTC
    TZelkJournalServer Server;
    TZelkEventRecord Event;
};

struct TZelkJournalActionRow {
    std::int64_t Id = 0;
    std::int64_t Received = 0;
    TZelkJournalServer Server;
    TZelkJournalAction Action;
};

struct TZelkJournalInfo {
    QString Url;
    int SchemaVersion = 0;
    std::int64_t Notifications = 0;
    std::int64_t Actions = 0;
    std::int64_t Servers = 0;
    // Notifications lost to a full backlog, as the journal recorded them.
    std::int64_t Lost = 0;
    // The notifications' own times and the times they were received (FILETIME ticks).
    std::optional<std::int64_t> FirstTime, LastTime, FirstReceived, LastReceived;
    // Bytes on disk (SQLite: the file with its write-ahead log; PostgreSQL: the
    // journal's tables with their indexes).
    std::int64_t SizeBytes = 0;
};

class TZelkJournalReader {
public:
    // EZelkJournalError when there is no journal there or it cannot be opened.
    explicit TZelkJournalReader(const QString& Url);
    ~TZelkJournalReader();

    std::vector<TZelkJournalNotification> Notifications(const TZelkJournalFilter& Filter,
                                                        const TZelkJournalPage& Page);
    std::vector<TZelkJournalActionRow> Actions(const TZelkActionFilter& Filter,
                                               const TZelkJournalPage& Page);
    TZelkJournalInfo Info();
    // Deletes what Retention does not keep, in small transactions; returns the rows
    // deleted.
    std::int64_t Purge(const TZelkJournalRetention& Retention);

    TZelkJournalConnection& Connection() noexcept { return *FConnection; }

private:
    void LoadResults(std::vector<TZelkJournalActionRow>& Rows);

    std::unique_ptr<TZelkJournalConnection> FConnection;
};
