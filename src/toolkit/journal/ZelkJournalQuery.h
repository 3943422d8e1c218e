#pragma once

// What to read from a journal: filters for notifications and for operator actions, and
// a page (keyset paging: the key of the last row seen, never an offset, so a view pages
// through millions of rows at the same speed). Every value reaches the database as a
// bound parameter; search texts match literally, or as OPC wildcards when asked.

#include "ZelkJournalLocation.h"

#include <QStringList>
#include <QVariantList>
#include <cstdint>
#include <optional>

enum class TZelkTextMatch {
    // The text anywhere in the field, without regard to case (on SQLite only for the
    // letters A to Z).
    Substring,
    // The whole field, exactly.
    Exact,
    // An OPC wildcard pattern over the whole field (* ? # [list] [!list]), case-sensitive.
    Wildcard,
};

struct TZelkTextFilter {
    QString Text; // empty: no condition
    TZelkTextMatch Match = TZelkTextMatch::Substring;
};

struct TZelkJournalFilter {
    // The notification's own time (FILETIME ticks, UTC): From <= time < To.
    std::optional<std::int64_t> From;
    std::optional<std::int64_t> To;
    // OPC_SIMPLE_EVENT | OPC_TRACKING_EVENT | OPC_CONDITION_EVENT; 0 for all.
    int EventTypes = 0;
    std::optional<int> SeverityLow;
    std::optional<int> SeverityHigh;
    // Category names; empty for all.
    QStringList Categories;
    TZelkTextFilter Source;
    TZelkTextFilter Condition;
    TZelkTextFilter Message;
    // Matches when the source, the condition or the message does.
    TZelkTextFilter AnyText;
};

struct TZelkActionFilter {
    // The time the action was recorded (FILETIME ticks, UTC): From <= time < To.
    std::optional<std::int64_t> From;
    std::optional<std::int64_t> To;
    // Action kinds ("acknowledge", "connect", ...); empty for all.
    QStringList Kinds;
    // Matches the operator, the comment, the reason or the server.
    TZelkTextFilter AnyText;
};

struct TZelkJournalPage {
    // The key (Id) of the last row of the previous page; 0 for the first page.
    std::int64_t After = 0;
    int Limit = 100;
    // Newest first (a view's order) or oldest first (an export's order).
    bool NewestFirst = true;
};

namespace zelk::journal {

// A WHERE clause (with "?" placeholders) and its values in order.
struct TSqlCondition {
    QStringList Clauses;
    QVariantList Values;
    QString Where() const; // "" or " WHERE a AND b"
};

// The clause of one text filter over Column; nothing for an empty text.
void AddTextCondition(TSqlCondition& Sql, TZelkJournalBackend Backend, const QStringList& Columns,
                      const TZelkTextFilter& Filter);
TSqlCondition NotificationCondition(const TZelkJournalFilter& Filter, TZelkJournalBackend Backend,
                                    const TZelkJournalPage& Page);
TSqlCondition ActionCondition(const TZelkActionFilter& Filter, TZelkJournalBackend Backend,
                              const TZelkJournalPage& Page);
// " ORDER BY <Key> ... LIMIT n".
QString PageOrder(const QString& Key, const TZelkJournalPage& Page);

// An OPC wildcard pattern as an SQLite GLOB pattern and as a PostgreSQL regular
// expression over the whole text; nothing for a pattern that can match nothing (an
// unclosed "[").
std::optional<QString> WildcardToGlob(const QString& Pattern);
std::optional<QString> WildcardToRegex(const QString& Pattern);

} // namespace zelk::journal
