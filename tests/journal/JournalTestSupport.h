#pragma once

// Shared pieces of the journal suite: journals of either back-end in a temporary place,
// notifications and actions as plain entries, and entries written straight through the
// store (no writer thread) for the query tests.

#include "ZelkJournal.h"
#include "ZelkJournalSchema.h"
#include "ZelkJournalStore.h"
#include "ZelkTimeText.h"
#include "opc_ae.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zelk::journaltest {

// "SQLite" or "PostgreSQL", for parameterised suites.
std::string BackendName(const ::testing::TestParamInfo<TZelkJournalBackend>& info);

// A fresh, empty place for a journal of Backend: a file in a temporary folder, or a new
// database on the test's PostgreSQL server.
class TJournalPlace {
public:
    explicit TJournalPlace(TZelkJournalBackend Backend = TZelkJournalBackend::SQLite);
    const QString& Url() const noexcept { return FUrl; }
    QString Folder() const { return FFolder.path(); }
    TZelkJournalBackend Backend() const noexcept { return FBackend; }

private:
    TZelkJournalBackend FBackend;
    QTemporaryDir FFolder;
    QString FUrl;
};

// A condition notification with every field set; Index varies the texts and times.
TZelkEventRecord MakeRecord(int Index,
                            const QString& Source = QStringLiteral("Plant1.TankFarm.LIC201"),
                            const QString& Message = QStringLiteral("Level high"));
TZelkJournalEntry NotificationEntry(TZelkEventRecord Record, std::int64_t Received = 0);
TZelkJournalEntry ActionEntry(TZelkJournalAction Action, std::int64_t Received = 0);
// A FILETIME of ticks since 1601.
FILETIME FileTimeOfTicks(std::uint64_t Ticks);

// Writes Entries into the journal at Url in one transaction, creating it when needed.
void WriteEntries(const QString& Url, const std::vector<TZelkJournalEntry>& Entries);

// All notifications of the journal, oldest first, read page by page.
std::vector<TZelkJournalNotification> ReadAll(TZelkJournalReader& Reader,
                                              const TZelkJournalFilter& Filter = {});
// The sources of Rows, in order.
QStringList SourcesOf(const std::vector<TZelkJournalNotification>& Rows);

} // namespace zelk::journaltest
