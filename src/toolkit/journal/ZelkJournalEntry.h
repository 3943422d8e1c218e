#pragma once

// What a journal stores: notifications as received and the operator's actions, each with
// the time it was received (FILETIME ticks, UTC) and the server it concerns. Entries are
// plain values, made on the user-interface thread and written on the journal's own.

#include "ZelkEventRecord.h"
#include "ZelkEventServerObserver.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <variant>
#include <vector>

// The server an entry concerns, as the client named it: ProgID or class id, and the
// computer (this computer's name when the client left it empty).
struct TZelkJournalServer {
    QString Server;
    QString Computer;
    bool operator==(const TZelkJournalServer&) const = default;
};

// The kinds of operator action and journal event, as stored.
namespace zelk::journal::kind {
inline constexpr char Connect[] = "connect";
inline constexpr char Disconnect[] = "disconnect";
inline constexpr char Refresh[] = "refresh";
inline constexpr char Acknowledge[] = "acknowledge";
inline constexpr char Shutdown[] = "shutdown";
inline constexpr char Timeout[] = "timeout";
// Notifications that did not fit into the journal's backlog while the database was away.
inline constexpr char Lost[] = "lost";
} // namespace zelk::journal::kind

struct TZelkJournalAction {
    QString Kind;
    QString Who;
    QString Comment;
    // A shutdown's reason, or what a journal event has to say.
    QString Reason;
    // The conditions of an acknowledgement, or the notifications lost.
    std::int64_t Count = 0;
    std::vector<TZelkAckResult> Results;
};

struct TZelkJournalEntry {
    std::int64_t Received = 0;
    TZelkJournalServer Server;
    std::variant<TZelkEventRecord, TZelkJournalAction> Item;
};

// Retention: what the journal keeps. 0 is no limit.
struct TZelkJournalRetention {
    int Days = 0;
    std::int64_t MaxRows = 0;
    bool Any() const noexcept { return Days > 0 || MaxRows > 0; }
};

namespace zelk::journal {

// Now as FILETIME ticks (UTC).
std::int64_t NowTicks();
// FILETIME ticks from and to a UTC date-time (milliseconds).
std::int64_t TicksFromDateTime(const QDateTime& Time);
QDateTime DateTimeFromTicks(std::int64_t Ticks);

} // namespace zelk::journal
