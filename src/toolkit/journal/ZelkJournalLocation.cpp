#include "ZelkJournalLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>
#include <atomic>

namespace {

const QLatin1String SQLitePrefix("sqlite:");
const QLatin1String PostgresPrefix("postgresql://");
const QLatin1String PostgresShortPrefix("postgres://");

// The URL as it may be shown: a password someone put into it is not repeated.
QString Masked(QString url) {
    static const QRegularExpression userPassword(QStringLiteral("(://[^/@:]*):[^@/]*@"));
    static const QRegularExpression parameter(QStringLiteral("([?&]password=)[^&]*"));
    url.replace(userPassword, QStringLiteral("\\1:***@"));
    url.replace(parameter, QStringLiteral("\\1***"));
    return url;
}

[[noreturn]] void Refuse(const QString& url, const QString& why) {
    throw EZelkJournalError(QStringLiteral("invalid journal URL '%1': %2").arg(Masked(url), why));
}

QString Decoded(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}

TZelkJournalLocation ParsePostgres(const QString& url, QString rest) {
    TZelkJournalLocation location;
    location.Backend = TZelkJournalBackend::PostgreSQL;
    QString query;
    if (const qsizetype mark = rest.indexOf(QLatin1Char('?')); mark >= 0) {
        query = rest.mid(mark + 1);
        rest.truncate(mark);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash < 0 || slash == rest.size() - 1)
        Refuse(url, QStringLiteral("the database name is missing"));
    location.Database = Decoded(rest.mid(slash + 1));
    QString authority = rest.left(slash);
    if (const qsizetype at = authority.lastIndexOf(QLatin1Char('@')); at >= 0) {
        const QString user = authority.left(at);
        if (user.contains(QLatin1Char(':')))
            Refuse(url, QStringLiteral("a password does not belong in the URL; put it in "
                                       "PGPASSWORD or ~/.pgpass"));
        location.User = Decoded(user);
        authority = authority.mid(at + 1);
    }
    // A port follows the last colon unless the host is an IPv6 address in brackets.
    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && colon > authority.lastIndexOf(QLatin1Char(']'))) {
        bool ok = false;
        location.Port = authority.mid(colon + 1).toInt(&ok);
        if (!ok || location.Port <= 0 || location.Port > 65535)
            Refuse(url, QStringLiteral("the port must be a number from 1 to 65535"));
        authority.truncate(colon);
    }
    location.Host = Decoded(authority);
    if (location.Host.startsWith(QLatin1Char('[')) && location.Host.endsWith(QLatin1Char(']')))
        location.Host = location.Host.mid(1, location.Host.size() - 2);
    const QUrlQuery parameters(query);
    for (const auto& [name, value] : parameters.queryItems(QUrl::FullyDecoded)) {
        if (name == QLatin1String("host")) {
            location.Host = value;
        } else if (name == QLatin1String("user")) {
            location.User = value;
        } else if (name == QLatin1String("port")) {
            bool ok = false;
            location.Port = value.toInt(&ok);
            if (!ok || location.Port <= 0 || location.Port > 65535)
                Refuse(url, QStringLiteral("the port must be a number from 1 to 65535"));
        } else if (name == QLatin1String("password")) {
            Refuse(url, QStringLiteral("a password does not belong in the URL; put it in "
                                       "PGPASSWORD or ~/.pgpass"));
        } else {
            Refuse(url, QStringLiteral("unknown parameter '%1'").arg(name));
        }
    }
    return location;
}

std::atomic<int> connectionCounter{0};

} // namespace

TZelkJournalLocation TZelkJournalLocation::Parse(const QString& Url) {
    if (Url.startsWith(SQLitePrefix)) {
        QString path = Url.mid(SQLitePrefix.size());
        // "sqlite:///var/x" names the same file as "sqlite:/var/x".
        if (path.startsWith(QLatin1String("//")))
            path = path.mid(2);
        if (path.isEmpty())
            Refuse(Url, QStringLiteral("the file name is missing"));
        TZelkJournalLocation location;
        location.Path = path;
        return location;
    }
    if (Url.startsWith(PostgresPrefix))
        return ParsePostgres(Url, Url.mid(PostgresPrefix.size()));
    if (Url.startsWith(PostgresShortPrefix))
        return ParsePostgres(Url, Url.mid(PostgresShortPrefix.size()));
    Refuse(Url, QStringLiteral("it must start with 'sqlite:' or 'postgresql://'"));
}

QString TZelkJournalLocation::Url() const {
    if (Backend == TZelkJournalBackend::SQLite)
        return SQLitePrefix + Path;
    QString url = PostgresPrefix;
    if (!User.isEmpty())
        url += QString::fromUtf8(QUrl::toPercentEncoding(User)) + QLatin1Char('@');
    const bool socketFolder = Host.startsWith(QLatin1Char('/'));
    if (!socketFolder)
        url += Host.contains(QLatin1Char(':')) ? QLatin1Char('[') + Host + QLatin1Char(']') : Host;
    if (Port > 0)
        url += QLatin1Char(':') + QString::number(Port);
    url += QLatin1Char('/') + QString::fromUtf8(QUrl::toPercentEncoding(Database));
    if (socketFolder)
        url += QStringLiteral("?host=") + Host;
    return url;
}

QString DefaultJournalUrl() {
    // The desktop program's AppDataLocation, whichever program asks (the monitor and the
    // command-line tool find the same journal).
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return SQLitePrefix + base + QStringLiteral("/zelk-ae-client/journal.sqlite");
}

TZelkJournalConnection::TZelkJournalConnection(const TZelkJournalLocation& Location, bool MayCreate)
    : FLocation(Location),
      FName(QStringLiteral("zelk-journal-%1").arg(connectionCounter.fetch_add(1) + 1)) {
    const bool sqlite = FLocation.Backend == TZelkJournalBackend::SQLite;
    const QString driver = sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw EZelkJournalError(
            QStringLiteral("the Qt SQL driver %1 is not installed (Debian package %2)")
                .arg(driver, sqlite ? QStringLiteral("libqt6sql6-sqlite")
                                    : QStringLiteral("libqt6sql6-psql")));
    FDatabase = QSqlDatabase::addDatabase(driver, FName);
    if (sqlite) {
        const QFileInfo file(FLocation.Path);
        if (!file.exists()) {
            if (!MayCreate)
                throw EZelkJournalError(
                    QStringLiteral("there is no journal at %1").arg(FLocation.Path));
            QDir().mkpath(file.absolutePath());
        }
        FDatabase.setDatabaseName(FLocation.Path);
        // A second writer waits for the first one's transaction rather than failing.
        FDatabase.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    } else {
        FDatabase.setHostName(FLocation.Host);
        if (FLocation.Port > 0)
            FDatabase.setPort(FLocation.Port);
        FDatabase.setUserName(FLocation.User);
        FDatabase.setDatabaseName(FLocation.Database);
        FDatabase.setConnectOptions(
            QStringLiteral("connect_timeout=5;application_name=zelk-journal"));
    }
    if (!FDatabase.open())
        throw EZelkJournalError(QStringLiteral("cannot open the journal %1: %2")
                                    .arg(FLocation.Url(), zelk::journal::DatabaseErrorText(
                                                              FDatabase.lastError().text())));
    if (sqlite) {
        // WAL: readers never block the writer, and a process killed in the middle of a
        // transaction leaves the last committed state. NORMAL syncs at checkpoints only,
        // which a crash of the process cannot undo.
        QSqlQuery pragma(FDatabase);
        // A larger page cache keeps the indexes of a large journal in memory while it
        // grows.
        if (!pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
            !pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL")) ||
            !pragma.exec(QStringLiteral("PRAGMA cache_size=-32768")))
            throw EZelkJournalError(QStringLiteral("cannot open the journal %1: %2")
                                        .arg(FLocation.Url(), zelk::journal::DatabaseErrorText(
                                                                  pragma.lastError().text())));
    }
}

TZelkJournalConnection::~TZelkJournalConnection() {
    FDatabase.close();
    FDatabase = QSqlDatabase();
    QSqlDatabase::removeDatabase(FName);
}

namespace zelk::journal {

QString DatabaseErrorText(const QString& driverText) {
    QString text = driverText.simplified();
    if (text.contains(QLatin1String("database is locked")))
        return QStringLiteral("the journal is in use by another program (%1)").arg(text);
    return text;
}

} // namespace zelk::journal
