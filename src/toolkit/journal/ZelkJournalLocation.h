#pragma once

// Where a journal lives, named by a URL:
//   sqlite:PATH                                   an embedded journal in one file
//   postgresql://[user@][host][:port]/database    a journal on a PostgreSQL server
// A PostgreSQL host that starts with "/" (written %2F... or given as "?host=/dir") is the
// folder of the server's Unix socket. The password is never part of the URL: libpq finds
// it in PGPASSWORD or ~/.pgpass, so it stays out of settings and logs.

#include "Exceptions.h"

#include <QString>
#include <QtSql/QSqlDatabase>

// A journal cannot be opened, read or written; the message says why in the user's terms.
class EZelkJournalError : public Exception {
public:
    using Exception::Exception;
};

enum class TZelkJournalBackend { SQLite, PostgreSQL };

struct TZelkJournalLocation {
    TZelkJournalBackend Backend = TZelkJournalBackend::SQLite;
    QString Path; // SQLite
    QString Host; // PostgreSQL: name, address or socket folder; empty: libpq's default
    int Port = 0; // 0: libpq's default
    QString User;
    QString Database;

    // Reads a journal URL; EZelkJournalError says what is wrong with it.
    static TZelkJournalLocation Parse(const QString& Url);
    // The URL again, in its canonical form (never with a password).
    QString Url() const;
};

// "sqlite:" and journal.sqlite in the desktop program's application data folder.
QString DefaultJournalUrl();

// One database connection of the calling thread, opened on construction and removed
// from Qt's connection list on destruction (which must happen on the same thread).
class TZelkJournalConnection {
public:
    // Opens the database; an SQLite file is created with its folder when MayCreate is set
    // and refused when it does not exist otherwise. EZelkJournalError when it cannot be
    // opened.
    TZelkJournalConnection(const TZelkJournalLocation& Location, bool MayCreate);
    ~TZelkJournalConnection();
    TZelkJournalConnection(const TZelkJournalConnection&) = delete;
    TZelkJournalConnection& operator=(const TZelkJournalConnection&) = delete;

    QSqlDatabase& Database() noexcept { return FDatabase; }
    TZelkJournalBackend Backend() const noexcept { return FLocation.Backend; }
    const TZelkJournalLocation& Location() const noexcept { return FLocation; }

private:
    TZelkJournalLocation FLocation;
    QString FName;
    QSqlDatabase FDatabase;
};

namespace zelk::journal {

// The text of a database error in the user's terms: a locked SQLite file says that
// another program is writing to the journal.
QString DatabaseErrorText(const QString& driverText);

} // namespace zelk::journal
