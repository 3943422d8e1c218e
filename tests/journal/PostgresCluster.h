#pragma once

// A PostgreSQL server of the test's own: a cluster made with initdb in a temporary folder
// and started with pg_ctl on a Unix socket in that folder (no TCP port). As root it runs
// as the system user "postgres", which owns the folder. It is stopped and the folder
// removed when the fixture ends, and by a watchdog when the test process dies first.
// A server that cannot be made is a failure that says why, never a skipped test.

#include <QString>
#include <memory>

namespace zelk::journaltest {

class TPostgresCluster {
public:
    // The process's cluster, made and started on first use. Throws std::runtime_error
    // (with initdb's or the server log's words) when it cannot be started.
    static TPostgresCluster& Instance();
    ~TPostgresCluster();
    TPostgresCluster(const TPostgresCluster&) = delete;
    TPostgresCluster& operator=(const TPostgresCluster&) = delete;

    // A new, empty database; its journal URL.
    QString NewDatabaseUrl();
    // The URL of a database that does not exist yet (the journal cannot open it).
    QString UrlOf(const QString& database) const;
    // Stops the server (fast shutdown: connections are cut) and starts it again.
    void Stop();
    void Start();
    const QString& SocketFolder() const noexcept { return FFolder; }

private:
    TPostgresCluster();
    // Starts Command (output to OutputFile, or nowhere); its process id, 0 on failure.
    static qint64 Spawn(const QStringList& Command, const QString& OutputFile);
    // Runs a PostgreSQL program as the cluster's owner and waits for it; its output.
    bool RunAsOwner(const QString& program, const QStringList& arguments, QString* output);
    void StartWatchdog();

    QString FBin;
    QString FFolder;
    qint64 FWatchdog = 0;
    int FDatabases = 0;
    bool FRunning = false;
};

} // namespace zelk::journaltest
