// The programs as a user runs them: zelk-ae-monitor --journal, then zelk-ae-journal
// reading back what it kept, in each output form, with its exit statuses.

#include "JournalTestSupport.h"
#include "JournalToolOptions.h"
#include "PostgresCluster.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace zelk::journaltest;

namespace {

struct TRun {
    int ExitCode = -1;
    QByteArray Out;
    QByteArray Err;
};

TRun RunProgram(const char* program, const QStringList& arguments) {
    QProcess process;
    process.start(QString::fromLocal8Bit(program), arguments);
    TRun run;
    if (!process.waitForFinished(120'000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program << " did not finish";
    }
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = process.readAllStandardOutput();
    run.Err = process.readAllStandardError();
    return run;
}

TRun Monitor(const QStringList& arguments) {
    return RunProgram(ZELK_MONITOR_EXECUTABLE, arguments);
}

TRun Journal(const QStringList& arguments) {
    return RunProgram(ZELK_JOURNAL_EXECUTABLE, arguments);
}

// The monitor's JSON lines and the journal's, for the same run, byte for byte.
void ExpectRoundTrip(const QString& url) {
    const TRun monitor =
        Monitor({QStringLiteral("--journal"), url, QStringLiteral("--count"), QStringLiteral("300"),
                 QStringLiteral("--format"), QStringLiteral("jsonl"),
                 QStringLiteral("--simulate-flood"), QStringLiteral("2000")});
    ASSERT_EQ(monitor.ExitCode, 0) << monitor.Err.toStdString();
    EXPECT_EQ(monitor.Out.count('\n'), 300);
    const TRun query = Journal({QStringLiteral("query"), QStringLiteral("--journal"), url,
                                QStringLiteral("--format"), QStringLiteral("jsonl")});
    ASSERT_EQ(query.ExitCode, 0) << query.Err.toStdString();
    EXPECT_EQ(query.Out, monitor.Out);
}

} // namespace

TEST(JournalTool, QueryGivesBackWhatTheMonitorPrintedOnSQLite) {
    const TJournalPlace place;
    ExpectRoundTrip(place.Url());
    const TRun actions = Journal({QStringLiteral("query"), QStringLiteral("--actions"),
                                  QStringLiteral("--journal"), place.Url()});
    EXPECT_EQ(actions.ExitCode, 0);
    EXPECT_EQ(actions.Out.count('\n'), 3)
        << actions.Out.toStdString(); // connect, refresh, disconnect
    EXPECT_TRUE(actions.Out.contains("connect    Zelk.AESimulator.1"));
}

TEST(JournalTool, QueryGivesBackWhatTheMonitorPrintedOnPostgreSQL) {
    const TJournalPlace place(TZelkJournalBackend::PostgreSQL);
    ExpectRoundTrip(place.Url());
}

TEST(JournalTool, FormatsFiltersAndPagesOfAQuery) {
    const TJournalPlace place;
    std::vector<TZelkJournalEntry> entries;
    for (int i = 0; i < 5000; ++i)
        entries.push_back(NotificationEntry(MakeRecord(
            i, i % 2 ? QStringLiteral("Plant1.Odd") : QStringLiteral("Plant1.Even"),
            i == 7 ? QStringLiteral("comma, \"quote\"\nand a line") : QStringLiteral("plain"))));
    WriteEntries(place.Url(), entries);
    const QStringList journal = {QStringLiteral("--journal"), place.Url()};

    // More rows than one page, newest first, limited, filtered.
    const TRun all = Journal(QStringList{QStringLiteral("query")} + journal);
    EXPECT_EQ(all.Out.count('\n'), 5000) << "a line break in a message shows as a blank";
    const TRun newest = Journal(
        QStringList{QStringLiteral("query"), QStringLiteral("--format"), QStringLiteral("jsonl"),
                    QStringLiteral("--newest-first"), QStringLiteral("--limit"),
                    QStringLiteral("2500"), QStringLiteral("--source"), QStringLiteral("odd"),
                    QStringLiteral("--origin")} +
        journal);
    const QList<QByteArray> lines = newest.Out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2500);
    const QJsonObject first = QJsonDocument::fromJson(lines.first()).object();
    EXPECT_EQ(first.value(QStringLiteral("cookie")).toInt(), 5000);
    EXPECT_EQ(first.value(QStringLiteral("server")).toString(),
              QStringLiteral("Zelk.AESimulator.1"));
    EXPECT_EQ(first.value(QStringLiteral("journalId")).toInt(), 5000);
    EXPECT_TRUE(first.value(QStringLiteral("received")).toString().endsWith(QLatin1Char('Z')));
    EXPECT_EQ(
        QJsonDocument::fromJson(lines.last()).object().value(QStringLiteral("cookie")).toInt(), 2);

    const TRun csv = Journal(QStringList{QStringLiteral("query"), QStringLiteral("--format"),
                                         QStringLiteral("csv"), QStringLiteral("--message"),
                                         QStringLiteral("QUOTE")} +
                             journal);
    ASSERT_EQ(csv.ExitCode, 0);
    EXPECT_TRUE(csv.Out.startsWith("journalId,received,server,computer,time,"));
    EXPECT_TRUE(csv.Out.contains(",\"comma, \"\"quote\"\"\nand a line\","))
        << csv.Out.toStdString();
    EXPECT_TRUE(csv.Out.contains("\"{\"\"CV\"\":87,\"\"AREAS\"\":[\"\"Plant1\"\"]}\""));

    const TRun info = Journal(QStringList{QStringLiteral("info")} + journal);
    EXPECT_TRUE(info.Out.contains("notifications     5000")) << info.Out.toStdString();
    EXPECT_TRUE(info.Out.contains("schema version    3"));
    const TRun purge = Journal(
        QStringList{QStringLiteral("purge"), QStringLiteral("--max-rows"), QStringLiteral("100")} +
        journal);
    EXPECT_EQ(purge.Out, QByteArray("deleted 4900 rows\n"));
    const TRun after = Journal(
        QStringList{QStringLiteral("info"), QStringLiteral("--format"), QStringLiteral("jsonl")} +
        journal);
    EXPECT_EQ(
        QJsonDocument::fromJson(after.Out).object().value(QStringLiteral("notifications")).toInt(),
        100);
}

TEST(JournalTool, MistakesAndMissingJournalsEndWithTheirStatus) {
    const TJournalPlace place;
    const TRun noCommand = Journal({});
    EXPECT_EQ(noCommand.ExitCode, 64);
    EXPECT_TRUE(noCommand.Err.contains("a command is needed"));
    for (const QStringList& wrong :
         {QStringList{QStringLiteral("query"), QStringLiteral("--journal"), QStringLiteral("j.db")},
          QStringList{QStringLiteral("query"), QStringLiteral("--from"),
                      QStringLiteral("yesterday")},
          QStringList{QStringLiteral("query"), QStringLiteral("--exact"),
                      QStringLiteral("--wildcard")},
          QStringList{QStringLiteral("query"), QStringLiteral("--kind"), QStringLiteral("refresh")},
          QStringList{QStringLiteral("purge")},
          QStringList{QStringLiteral("info"), QStringLiteral("--days"), QStringLiteral("3")},
          QStringList{QStringLiteral("vacuum")}}) {
        const TRun run = Journal(wrong);
        EXPECT_EQ(run.ExitCode, 64) << wrong.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.Err.startsWith("zelk-ae-journal: ")) << run.Err.toStdString();
    }
    const TRun missing =
        Journal({QStringLiteral("info"), QStringLiteral("--journal"), place.Url()});
    EXPECT_EQ(missing.ExitCode, 66);
    EXPECT_TRUE(missing.Err.contains("there is no journal at")) << missing.Err.toStdString();

    // The monitor refuses a bad journal URL before it connects, and one it cannot write
    // ends the run with 74 once it has said so.
    const TRun badUrl = Monitor({QStringLiteral("--journal"), QStringLiteral("journal.sqlite")});
    EXPECT_EQ(badUrl.ExitCode, 64);
    EXPECT_TRUE(badUrl.Err.contains("must start with 'sqlite:'")) << badUrl.Err.toStdString();
}

TEST(JournalTool, TimeArgumentsAreUtcWithAZoneAndLocalWithout) {
    const zelk::test::TTimeZoneScope zone("Asia/Kolkata");
    const std::int64_t utc =
        *zelk::journaltool::ParseTimeArgument(QStringLiteral("2024-03-01T12:00:00Z"));
    EXPECT_EQ(utc, 133537680000000000LL);
    EXPECT_EQ(zelk::journaltool::ParseTimeArgument(QStringLiteral("2024-03-01T13:00:00+01:00")),
              utc);
    EXPECT_EQ(zelk::journaltool::ParseTimeArgument(QStringLiteral("2024-03-01 17:30")), utc);
    EXPECT_FALSE(zelk::journaltool::ParseTimeArgument(QStringLiteral("12:00")).has_value());
}

TEST(JournalTool, ReportsAMonitorRunAsTextJsonAndOneSelfContainedPage) {
    const TJournalPlace place;
    const TRun monitor = Monitor(
        {QStringLiteral("--journal"), place.Url(), QStringLiteral("--count"), QStringLiteral("600"),
         QStringLiteral("--quiet"), QStringLiteral("--simulate-flood"), QStringLiteral("0")});
    ASSERT_EQ(monitor.ExitCode, 0) << monitor.Err.toStdString();
    const QStringList journal{QStringLiteral("--journal"), place.Url()};
    const auto report = [&journal](const QStringList& arguments) {
        return Journal(QStringList{QStringLiteral("report")} + journal + arguments);
    };

    const TRun json = report({QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(json.ExitCode, 0) << json.Err.toStdString();
    const QJsonObject root = QJsonDocument::fromJson(json.Out).object();
    const double alarms = root.value(QStringLiteral("alarms")).toDouble();
    EXPECT_GT(alarms, 0);
    double counted = 0;
    for (const QJsonValue period : root.value(QStringLiteral("alarmsPer10Minutes")).toArray())
        counted += period.toDouble();
    EXPECT_EQ(counted, alarms);
    EXPECT_EQ(root.value(QStringLiteral("figures")).toArray().size(), 12);
    EXPECT_FALSE(root.value(QStringLiteral("floods")).toArray().isEmpty()) << "a flood it was";

    const TRun area = report({QStringLiteral("--format"), QStringLiteral("json"),
                              QStringLiteral("--area"), QStringLiteral("Plant1.TankFarm")});
    const double tankFarm =
        QJsonDocument::fromJson(area.Out).object().value(QStringLiteral("alarms")).toDouble();
    EXPECT_GT(tankFarm, 0);
    EXPECT_LT(tankFarm, alarms);

    const TRun text = report({});
    EXPECT_TRUE(text.Out.startsWith("Alarm performance report\n")) << text.Out.toStdString();
    EXPECT_TRUE(text.Out.contains("NOT MET"));

    // One file that needs nothing else: no scripts, no links, no images from elsewhere.
    const TRun html = report({QStringLiteral("--format"), QStringLiteral("html")});
    ASSERT_EQ(html.ExitCode, 0);
    EXPECT_TRUE(html.Out.startsWith("<!DOCTYPE html>"));
    EXPECT_EQ(html.Out.count("<svg "), 3) << "rate, most frequent, priorities";
    EXPECT_TRUE(html.Out.contains("flood: more than 10"));
    for (const char* outside : {"<script", "src=", "href=", "@import", "url("})
        EXPECT_FALSE(html.Out.contains(outside)) << outside;

    for (const QStringList& wrong :
         {QStringList{QStringLiteral("--format"), QStringLiteral("csv")},
          QStringList{QStringLiteral("--bands"), QStringLiteral("1-333,300-666,667-1000")},
          QStringList{QStringLiteral("--chatter-count"), QStringLiteral("1")},
          QStringList{QStringLiteral("--from"), QStringLiteral("2024-03-02"),
                      QStringLiteral("--to"), QStringLiteral("2024-03-01")}}) {
        const TRun run = report(wrong);
        EXPECT_EQ(run.ExitCode, 64) << wrong.join(QLatin1Char(' ')).toStdString();
    }
    EXPECT_EQ(Journal(QStringList{QStringLiteral("query"), QStringLiteral("--area"),
                                  QStringLiteral("Plant1")} +
                      journal)
                  .ExitCode,
              64);
}
