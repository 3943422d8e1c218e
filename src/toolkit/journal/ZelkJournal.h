#pragma once

// The alarm and event journal: what event servers receive and what the operator does,
// kept in an embedded SQLite file or on a PostgreSQL server; the component that records
// (TZelkEventJournal), the reader with its filters and keyset pages, and retention.

#include "ZelkEventJournal.h"
#include "ZelkJournalEntry.h"
#include "ZelkJournalLocation.h"
#include "ZelkJournalQuery.h"
#include "ZelkJournalReader.h"
