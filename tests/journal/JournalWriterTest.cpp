// Recording: the journal beside an event server connected to the simulated server, and
// the writer thread when the database is away, full, shared or killed.

#include "JournalTestSupport.h"
#include "PostgresCluster.h"
#include "SimNames.h"
#include "TestSupport.h"
#include "ZelkAESim.h"
#include "ZelkCOMLink.h"
#include "ZelkEventServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtSql/QSqlQuery>
#include <csignal>

using namespace std::chrono_literals;
using namespace zelk::journaltest;
using zelk::test::Lic201;
using zelk::test::Lic202;
using zelk::test::PvLevel;
using zelk::test::SimProgId;
using zelk::test::WaitUntil;

namespace {

TZelkEvent* EventOf(const TZelkEventServer& server, const QString& source) {
    for (int i = 0; i < server.Events()->Count(); ++i)
        if (server.Events()->Events(i)->Source() == source)
            return server.Events()->Events(i);
    return nullptr;
}

QStringList KindsOf(TZelkJournalReader& reader) {
    QStringList kinds;
    for (const auto& row : reader.Actions({}, {.Limit = 1000, .NewestFirst = false}))
        kinds << row.Action.Kind;
    return kinds;
}

std::vector<TZelkJournalEntry> Notifications(int first, int count, const QString& source) {
    std::vector<TZelkJournalEntry> entries;
    for (int i = first; i < first + count; ++i)
        entries.push_back(NotificationEntry(MakeRecord(i, source)));
    return entries;
}

QString IntegrityOf(TZelkJournalReader& reader) {
    QSqlQuery check(reader.Connection().Database());
    if (!check.exec(QStringLiteral("PRAGMA integrity_check")) || !check.next())
        return QStringLiteral("no answer");
    return check.value(0).toString();
}

// A journal URL whose folder cannot be made while a file stands in its way.
struct TBlockedPlace {
    QTemporaryDir Folder;
    QString Blocker = Folder.filePath(QStringLiteral("journals"));
    QString Url = QStringLiteral("sqlite:") + Blocker + QStringLiteral("/journal.sqlite");
    TBlockedPlace() {
        QFile file(Blocker);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void Unblock() { EXPECT_TRUE(QFile::remove(Blocker)); }
};

class JournalRecording : public ::testing::Test {
protected:
    JournalRecording() { RegisterZelkCOMLink(); }
};

} // namespace

TEST_F(JournalRecording, KeepsWhatTheEventServerReceivesAndWhatTheOperatorDoes) {
    zelk::aesim::TScopedAESimulator sim;
    TJournalPlace place;
    TZelkEventJournal journal;
    journal.Open(place.Url());
    std::vector<TZelkEventRecord> seen;
    {
        TZelkEventServer server;
        // The application keeps its own handler: the journal observes beside it.
        server.OnEvent = [&](TComponent*, TZelkEvent* event) {
            seen.push_back(TZelkEventRecord::FromEvent(*event));
        };
        journal.Attach(&server);
        server.Connect(SimProgId, QString());
        ASSERT_TRUE(sim->Activate(Lic201, PvLevel, QStringLiteral("HI")));
        ASSERT_TRUE(sim->Activate(Lic202, PvLevel, QStringLiteral("LO")));
        ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 2; }));
        const std::size_t before = seen.size();
        EventOf(server, Lic201)
            ->Acknowledge(QStringLiteral("OPERATOR1"), QStringLiteral("seen it"));
        ASSERT_TRUE(WaitUntil([&] { return seen.size() > before; }));
        server.Refresh();
        sim->Pump();
        ASSERT_TRUE(WaitUntil([&] { return server.Events()->Count() == 2; }));
        server.SetActive(false);
    }
    ASSERT_TRUE(journal.Close(30s));
    EXPECT_EQ(journal.Lost(), 0);

    TZelkJournalReader reader(place.Url());
    const auto rows = ReadAll(reader);
    ASSERT_EQ(rows.size(), seen.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_TRUE(rows[i].Event == seen[i]) << "notification " << i << " of " << rows.size();
    EXPECT_FALSE(seen.front().CategoryName.isEmpty())
        << "names resolved while the server was there";
    EXPECT_EQ(rows.front().Server.Server, SimProgId);
    EXPECT_FALSE(rows.front().Server.Computer.isEmpty()) << "this computer by its name";

    EXPECT_EQ(KindsOf(reader),
              (QStringList{QStringLiteral("connect"), QStringLiteral("refresh"),
                           QStringLiteral("acknowledge"), QStringLiteral("refresh"),
                           QStringLiteral("disconnect")}));
    TZelkActionFilter acknowledgements;
    acknowledgements.Kinds = {QStringLiteral("acknowledge")};
    const auto acks = reader.Actions(acknowledgements, {});
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0].Action.Who, QStringLiteral("OPERATOR1"));
    EXPECT_EQ(acks[0].Action.Comment, QStringLiteral("seen it"));
    ASSERT_EQ(acks[0].Action.Results.size(), 1u);
    EXPECT_EQ(acks[0].Action.Results[0].Source, Lic201);
    EXPECT_EQ(acks[0].Action.Results[0].Condition, PvLevel);
    EXPECT_EQ(acks[0].Action.Results[0].Result, S_OK);
}

TEST_F(JournalRecording, ShutdownsAndKeepAliveTimeOutsAreKeptWithTheirReason) {
    zelk::aesim::TScopedAESimulator sim;
    TJournalPlace place;
    TZelkEventJournal journal;
    journal.Open(place.Url());
    {
        TZelkEventServer server;
        journal.Attach(&server);
        server.Connect(SimProgId, QString());
        sim->Shutdown(QStringLiteral("maintenance"));
        ASSERT_TRUE(WaitUntil([&] { return !server.Active(); }));
    }
    sim->Restart();
    {
        TZelkEventServer server;
        journal.Attach(&server);
        server.SetKeepAlive(500);
        server.Connect(SimProgId, QString());
        sim->Faults().StopAnswering();
        ASSERT_TRUE(WaitUntil([&] { return !server.Active(); }, 10s));
        sim->Faults().ResumeAnswering();
    }
    ASSERT_TRUE(journal.Close(30s));
    TZelkJournalReader reader(place.Url());
    EXPECT_EQ(KindsOf(reader),
              (QStringList{QStringLiteral("connect"), QStringLiteral("refresh"),
                           QStringLiteral("shutdown"), QStringLiteral("disconnect"),
                           QStringLiteral("connect"), QStringLiteral("refresh"),
                           QStringLiteral("timeout"), QStringLiteral("disconnect")}));
    TZelkActionFilter shutdowns;
    shutdowns.Kinds = {QStringLiteral("shutdown")};
    EXPECT_EQ(reader.Actions(shutdowns, {}).at(0).Action.Reason, QStringLiteral("maintenance"));
}

TEST_F(JournalRecording, AJournalThatCannotBeOpenedSaysSoAndCatchesUpLater) {
    TBlockedPlace place;
    TZelkEventJournal journal;
    std::vector<TZelkEventJournal::TState> states;
    QObject::connect(&journal, &TZelkEventJournal::StateChanged,
                     [&](TZelkEventJournal::TState state) {
                         if (states.empty() || states.back() != state)
                             states.push_back(state);
                     });
    TZelkEventJournal::TOptions options;
    options.RetryMin = 20ms;
    options.RetryMax = 100ms;
    journal.Open(place.Url, options);
    ASSERT_TRUE(
        WaitUntil([&] { return journal.State() == TZelkEventJournal::TState::Unavailable; }, 20s));
    EXPECT_TRUE(journal.StateText().startsWith(QLatin1String("Journal unavailable: cannot open")))
        << journal.StateText().toStdString();
    for (int i = 0; i < 50; ++i) {
        TZelkJournalAction refresh;
        refresh.Kind = QString::fromLatin1(zelk::journal::kind::Refresh);
        refresh.Count = i;
        journal.RecordAction(nullptr, std::move(refresh));
    }
    ASSERT_TRUE(WaitUntil([&] { return journal.Backlog() == 50; }));

    place.Unblock();
    ASSERT_TRUE(WaitUntil([&] { return journal.Written() == 50; }, 30s));
    ASSERT_TRUE(WaitUntil([&] { return journal.State() == TZelkEventJournal::TState::Writing; }));
    EXPECT_EQ(journal.StateText(), QStringLiteral("Journal: writing"));
    EXPECT_EQ(states.front(), TZelkEventJournal::TState::Unavailable);
    EXPECT_EQ(states.back(), TZelkEventJournal::TState::Writing);
    EXPECT_TRUE(journal.Close());
    EXPECT_EQ(journal.State(), TZelkEventJournal::TState::Off);
}

TEST_F(JournalRecording, ABacklogBeyondItsBoundKeepsTheOldestAndRecordsWhatWasLost) {
    TBlockedPlace place;
    TZelkJournalWriterSettings settings;
    settings.Location = TZelkJournalLocation::Parse(place.Url);
    settings.Bound = 10;
    settings.RetryMin = 20ms;
    settings.RetryMax = 100ms;
    TZelkJournalWriter writer(settings);
    writer.Start();
    ASSERT_TRUE(WaitUntil([&] { return writer.Status().Started; }, 20s));
    writer.Post(Notifications(0, 25, QStringLiteral("Src")));
    EXPECT_EQ(writer.Status().Backlog, 10u);
    EXPECT_EQ(writer.Status().Lost, 15);

    place.Unblock();
    ASSERT_TRUE(WaitUntil([&] { return writer.Status().Written == 10; }, 30s));
    EXPECT_TRUE(writer.Stop(10s));
    TZelkJournalReader reader(place.Url);
    const auto rows = ReadAll(reader);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows.front().Event.Cookie, 1u);
    EXPECT_EQ(rows.back().Event.Cookie, 10u);
    const auto lost = reader.Actions({}, {});
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].Action.Kind, QStringLiteral("lost"));
    EXPECT_EQ(lost[0].Action.Count, 15);
    EXPECT_EQ(reader.Info().Lost, 15);
}

TEST_F(JournalRecording, TwoWritersShareOneSQLiteFileWithoutLosingOrBreakingAnything) {
    TJournalPlace place;
    TZelkJournalWriterSettings settings;
    settings.Location = TZelkJournalLocation::Parse(place.Url());
    TZelkJournalWriter first(settings);
    TZelkJournalWriter second(settings);
    first.Start();
    second.Start();
    for (int batch = 0; batch < 20; ++batch) {
        first.Post(Notifications(batch * 500, 500, QStringLiteral("First")));
        second.Post(Notifications(batch * 500, 500, QStringLiteral("Second")));
    }
    ASSERT_TRUE(WaitUntil(
        [&] { return first.Status().Written == 10000 && second.Status().Written == 10000; }, 90s))
        << first.Status().Message.toStdString() << second.Status().Message.toStdString();
    EXPECT_TRUE(first.Stop(10s));
    EXPECT_TRUE(second.Stop(10s));
    TZelkJournalReader reader(place.Url());
    EXPECT_EQ(IntegrityOf(reader), QStringLiteral("ok"));
    for (const QString& source : {QStringLiteral("First"), QStringLiteral("Second")}) {
        TZelkJournalFilter filter;
        filter.Source = {source, TZelkTextMatch::Exact};
        EXPECT_EQ(ReadAll(reader, filter).size(), 10000u) << source.toStdString();
    }
}

TEST_F(JournalRecording, PostgreSQLStoppedInTheMiddleOfARunLosesNothing) {
    TJournalPlace place(TZelkJournalBackend::PostgreSQL);
    TZelkJournalWriterSettings settings;
    settings.Location = TZelkJournalLocation::Parse(place.Url());
    settings.RetryMin = 50ms;
    settings.RetryMax = 500ms;
    TZelkJournalWriter writer(settings);
    writer.Start();
    writer.Post(Notifications(0, 300, QStringLiteral("Src")));
    ASSERT_TRUE(WaitUntil([&] { return writer.Status().Written == 300; }, 30s));

    TPostgresCluster::Instance().Stop();
    for (int batch = 0; batch < 10; ++batch)
        writer.Post(Notifications(300 + batch * 30, 30, QStringLiteral("Src")));
    ASSERT_TRUE(WaitUntil([&] { return !writer.Status().Available; }, 30s));
    EXPECT_FALSE(writer.Status().Message.isEmpty());
    writer.Post(Notifications(600, 100, QStringLiteral("Src")));
    TPostgresCluster::Instance().Start();

    ASSERT_TRUE(WaitUntil([&] { return writer.Status().Written == 700; }, 60s))
        << writer.Status().Written << " " << writer.Status().Message.toStdString();
    EXPECT_TRUE(writer.Stop(10s));
    EXPECT_EQ(writer.Status().Lost, 0);
    TZelkJournalReader reader(place.Url());
    const auto rows = ReadAll(reader);
    ASSERT_EQ(rows.size(), 700u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i].Event.Cookie, i + 1) << "each once, in order";
}

TEST_F(JournalRecording, AProcessKilledWhileWritingLeavesAJournalThatOpens) {
    TJournalPlace place;
    QProcess monitor;
    monitor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    monitor.setStandardOutputFile(QProcess::nullDevice());
    monitor.start(QStringLiteral(ZELK_MONITOR_EXECUTABLE),
                  {QStringLiteral("--journal"), place.Url(), QStringLiteral("--quiet"),
                   QStringLiteral("--simulate-flood"), QStringLiteral("0")});
    ASSERT_TRUE(monitor.waitForStarted());
    const auto journaled = [&]() -> std::int64_t {
        try {
            TZelkJournalReader reader(place.Url());
            return reader.Info().Notifications;
        } catch (const EZelkJournalError&) {
            return 0;
        }
    };
    ASSERT_TRUE(WaitUntil([&] { return journaled() >= 5000; }, 60s));
    ::kill(static_cast<pid_t>(monitor.processId()), SIGKILL);
    ASSERT_TRUE(monitor.waitForFinished());

    TZelkJournalReader reader(place.Url());
    EXPECT_EQ(IntegrityOf(reader), QStringLiteral("ok"));
    const std::int64_t kept = reader.Info().Notifications;
    EXPECT_GE(kept, 5000);
    // Whatever was kept reads back whole, and the journal takes new entries.
    EXPECT_EQ(static_cast<std::int64_t>(ReadAll(reader).size()), kept);
    WriteEntries(place.Url(), Notifications(0, 10, QStringLiteral("After")));
    EXPECT_EQ(reader.Info().Notifications, kept + 10);
}
