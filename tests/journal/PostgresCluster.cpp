#include "PostgresCluster.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtSql/QSqlDatabase>
#include <QtSql/QSqlError>
#include <QtSql/QSqlQuery>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace zelk::journaltest {

namespace {

const QString Superuser = QStringLiteral("zelk");

// The newest server binaries of the Debian layout, or those ZELK_PG_BIN names.
QString ServerBinaries() {
    if (const char* bin = std::getenv("ZELK_PG_BIN"))
        return QString::fromLocal8Bit(bin);
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    std::sort(found.begin(), found.end(),
              [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        const QString bin = versions.filePath(*it + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/pg_ctl")))
            return bin;
    }
    return QString();
}

[[noreturn]] void Fail(const QString& text) {
    throw std::runtime_error(("cannot start the test's PostgreSQL server: " + text).toStdString());
}

} // namespace

namespace {
TPostgresCluster* instance = nullptr;
} // namespace

TPostgresCluster& TPostgresCluster::Instance() {
    if (!instance) {
        instance = new TPostgresCluster;
        // Stopped while the application object still exists.
        qAddPostRoutine([] {
            delete instance;
            instance = nullptr;
        });
    }
    return *instance;
}

TPostgresCluster::TPostgresCluster() {
    FBin = ServerBinaries();
    if (FBin.isEmpty())
        Fail(QStringLiteral("no PostgreSQL server binaries under /usr/lib/postgresql (Debian "
                            "package postgresql; ./zelk test installs it)"));
    char pattern[] = "/tmp/zelk-pg-XXXXXX";
    if (!mkdtemp(pattern))
        Fail(QStringLiteral("no temporary folder"));
    FFolder = QString::fromLocal8Bit(pattern);
    // PostgreSQL refuses to run as root: the system user "postgres" owns the cluster.
    if (geteuid() == 0) {
        const passwd* owner = getpwnam("postgres");
        if (!owner)
            Fail(QStringLiteral("running as root, and there is no system user 'postgres'"));
        if (chown(pattern, owner->pw_uid, owner->pw_gid) != 0)
            Fail(QStringLiteral("cannot give %1 to the user postgres").arg(FFolder));
    }
    // From here on the folder goes, whatever happens to this process.
    StartWatchdog();
    QString output;
    if (!RunAsOwner(QStringLiteral("initdb"),
                    {QStringLiteral("-D"), FFolder + QStringLiteral("/data"), QStringLiteral("-U"),
                     Superuser, QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
                     QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
                     QStringLiteral("--no-sync"), QStringLiteral("--no-instructions")},
                    &output))
        Fail(QStringLiteral("initdb failed: ") + output);
    Start();
}

TPostgresCluster::~TPostgresCluster() {
    if (FRunning)
        RunAsOwner(QStringLiteral("pg_ctl"),
                   {QStringLiteral("-D"), FFolder + QStringLiteral("/data"), QStringLiteral("-m"),
                    QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
                   nullptr);
    if (FWatchdog > 0) {
        ::kill(static_cast<pid_t>(FWatchdog), SIGTERM);
        waitpid(static_cast<pid_t>(FWatchdog), nullptr, 0);
    }
    QDir(FFolder).removeRecursively();
}

// Children are started with posix_spawn rather than QProcess: the test's threads (the
// journal's writer) then run beside no child-process machinery of Qt's, which the thread
// sanitizer cannot see into.
qint64 TPostgresCluster::Spawn(const QStringList& command, const QString& outputFile) {
    std::vector<QByteArray> arguments;
    for (const QString& argument : command)
        arguments.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray output =
        outputFile.isEmpty() ? QByteArray("/dev/null") : outputFile.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? 0 : pid;
}

bool TPostgresCluster::RunAsOwner(const QString& program, const QStringList& arguments,
                                  QString* output) {
    QStringList command{FBin + QLatin1Char('/') + program};
    if (geteuid() == 0)
        command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"),
                              QStringLiteral("postgres"), QStringLiteral("--")} +
                  command;
    const QString log = FFolder + QStringLiteral("/command.log");
    const qint64 pid = Spawn(command + arguments, log);
    int status = 0;
    const bool done = pid > 0 && waitpid(static_cast<pid_t>(pid), &status, 0) == pid;
    if (output) {
        QFile file(log);
        file.open(QIODevice::ReadOnly);
        *output = QString::fromLocal8Bit(file.readAll());
    }
    return done && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void TPostgresCluster::StartWatchdog() {
    // A shell in a session of its own, outside this process's group: when the test process
    // is gone (a crash, a kill), it stops the server and removes the folder.
    const QString data = FFolder + QStringLiteral("/data");
    const QString stop =
        (geteuid() == 0 ? QStringLiteral("runuser -u postgres -- ") : QString()) + FBin +
        QStringLiteral("/pg_ctl -D '%1' -m immediate -w stop >/dev/null 2>&1").arg(data);
    const QString script = QStringLiteral("while kill -0 %1 2>/dev/null; do sleep 1; done; "
                                          "if [ -f '%2/postmaster.pid' ]; then %3; fi; rm -rf '%4'")
                               .arg(getpid())
                               .arg(data, stop, FFolder);
    FWatchdog =
        Spawn({QStringLiteral("setsid"), QStringLiteral("/bin/sh"), QStringLiteral("-c"), script},
              QString());
}

void TPostgresCluster::Start() {
    QString output;
    const QString options =
        QStringLiteral("-k '%1' -c listen_addresses='' -c fsync=off -c full_page_writes=off")
            .arg(FFolder);
    if (!RunAsOwner(QStringLiteral("pg_ctl"),
                    {QStringLiteral("-D"), FFolder + QStringLiteral("/data"), QStringLiteral("-l"),
                     FFolder + QStringLiteral("/server.log"), QStringLiteral("-o"), options,
                     QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
                     QStringLiteral("start")},
                    &output)) {
        QFile log(FFolder + QStringLiteral("/server.log"));
        log.open(QIODevice::ReadOnly);
        Fail(QStringLiteral("pg_ctl start failed: ") + output +
             QString::fromLocal8Bit(log.readAll()));
    }
    FRunning = true;
}

void TPostgresCluster::Stop() {
    QString output;
    if (!RunAsOwner(QStringLiteral("pg_ctl"),
                    {QStringLiteral("-D"), FFolder + QStringLiteral("/data"), QStringLiteral("-m"),
                     QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("stop")},
                    &output))
        throw std::runtime_error(("pg_ctl stop failed: " + output).toStdString());
    FRunning = false;
}

QString TPostgresCluster::UrlOf(const QString& database) const {
    return QStringLiteral("postgresql://%1@/%2?host=%3").arg(Superuser, database, FFolder);
}

QString TPostgresCluster::NewDatabaseUrl() {
    const QString name = QStringLiteral("journal_%1").arg(++FDatabases);
    const QString connection = QStringLiteral("zelk-test-admin");
    {
        QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        admin.setHostName(FFolder);
        admin.setUserName(Superuser);
        admin.setDatabaseName(QStringLiteral("postgres"));
        if (!admin.open())
            throw std::runtime_error(
                ("cannot reach the test's PostgreSQL server: " + admin.lastError().text())
                    .toStdString());
        QSqlQuery create(admin);
        if (!create.exec(QStringLiteral("CREATE DATABASE ") + name))
            throw std::runtime_error(
                ("CREATE DATABASE failed: " + create.lastError().text()).toStdString());
        admin.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return UrlOf(name);
}

} // namespace zelk::journaltest
