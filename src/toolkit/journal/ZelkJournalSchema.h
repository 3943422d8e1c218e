#pragma once

// The journal's tables, their versions and the steps from each version to the next. A
// journal records the program that made it and its schema version in journal_meta:
//   version 1   servers, notifications (indexed by time), operator actions
//   version 2   per-condition results of acknowledgements; notifications by source
//   version 3   the alarm report's indexes (alarms, acknowledgements, condition states)
// Opening an empty database creates the current version; an older version is migrated
// in one transaction; a database of another program, or of a newer version, is refused.

#include "ZelkJournalLocation.h"

namespace zelk::journal {

inline constexpr int CurrentSchemaVersion = 3;

// Prepares the connection's database for use and returns the schema version it had
// before (0 for a new journal). With MayCreate unset an empty database is refused.
// EZelkJournalError for a foreign or newer database and for a failing step.
int PrepareSchema(TZelkJournalConnection& Connection, bool MayCreate);

// Builds an empty journal of an older version (the tests' way to an old journal).
void CreateSchemaVersion(TZelkJournalConnection& Connection, int Version);

// The schema version of the journal (after PrepareSchema, the current one).
int SchemaVersion(TZelkJournalConnection& Connection);

// Runs Sql; EZelkJournalError with the database's text when it fails.
void Execute(QSqlDatabase& Database, const QString& Sql);
// Ends a failed transaction; a connection that is gone has nothing to roll back.
void RollBack(QSqlDatabase& Database) noexcept;

} // namespace zelk::journal
