// The monitor program as users and scripts meet it: run as a child process against the
// simulated server it registers at start.

#include "MonitorTestSupport.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

using namespace zelk::monitortest;

namespace {

const QString Flood = QStringLiteral("--simulate-flood=2000");

} // namespace

TEST(MonitorProgram, JsonLinesCarryEveryFieldAndStopAtTheCount) {
    const TProgramRun run = RunProgram({QStringLiteral("--count"), QStringLiteral("5"),
                                        QStringLiteral("--format"), QStringLiteral("jsonl")});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.isEmpty()) << run.Err.toStdString();
    ASSERT_EQ(run.Lines().size(), 5) << run.Out.toStdString();
    const QRegularExpression utc(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{7}Z$"));
    for (const QJsonObject& json : JsonObjects(run.Lines())) {
        for (const char* key :
             {"eventType", "categoryId", "categoryName", "source", "condition", "subCondition",
              "changeMask", "newState", "severity", "quality", "ackRequired", "actor", "message",
              "cookie", "time", "activeTime", "activeTimeRaw", "attributes"})
            EXPECT_TRUE(json.contains(QLatin1String(key))) << key;
        EXPECT_FALSE(json.value(QStringLiteral("categoryName")).toString().isEmpty());
        EXPECT_TRUE(utc.match(json.value(QStringLiteral("time")).toString()).hasMatch());
        // Every category of the simulated plant carries the areas of its source.
        const QJsonArray areas = json.value(QStringLiteral("attributes"))
                                     .toObject()
                                     .value(QStringLiteral("AREAS"))
                                     .toArray();
        ASSERT_FALSE(areas.isEmpty());
        EXPECT_TRUE(json.value(QStringLiteral("source"))
                        .toString()
                        .startsWith(areas.last().toString() + QLatin1Char('.')));
    }
}

TEST(MonitorProgram, TextIsTheDefaultForm) {
    const TProgramRun run = RunProgram({QStringLiteral("--count=3"), Flood});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    ASSERT_EQ(run.Lines().size(), 3);
    const QRegularExpression line(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  (ACT|---) (ACK|---) "
                       "(ENA|---)  [ \\d]{4}  \\S"));
    for (const QByteArray& text : run.Lines())
        EXPECT_TRUE(line.match(QString::fromUtf8(text)).hasMatch()) << text.toStdString();
}

TEST(MonitorProgram, ACategoryFilterLetsOnlyThatCategoryThrough) {
    const TProgramRun run =
        RunProgram({QStringLiteral("--category=Level"), QStringLiteral("--count=25"),
                    QStringLiteral("--format=jsonl"), Flood});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    const QList<QJsonObject> events = JsonObjects(run.Lines());
    ASSERT_EQ(events.size(), 25);
    for (const QJsonObject& json : events) {
        EXPECT_EQ(json.value(QStringLiteral("categoryName")).toString(), QStringLiteral("Level"));
        EXPECT_EQ(json.value(QStringLiteral("categoryId")).toInt(), 300);
    }

    // A name the server does not know would silently widen the filter to everything.
    const TProgramRun typo =
        RunProgram({QStringLiteral("--category=Levle"), QStringLiteral("--count=1")});
    ASSERT_TRUE(typo.Finished);
    EXPECT_EQ(typo.ExitCode, 64);
    EXPECT_TRUE(typo.Out.isEmpty());
    EXPECT_TRUE(typo.Err.contains("unknown category 'Levle'")) << typo.Err.toStdString();
    EXPECT_TRUE(typo.Err.contains("Level, Deviation")) << "the known names are offered";
}

TEST(MonitorProgram, TypeAndSeverityFiltersReachTheServer) {
    const TProgramRun run =
        RunProgram({QStringLiteral("--types=simple"), QStringLiteral("--severity=50-150"),
                    QStringLiteral("--count=5"), QStringLiteral("--format=jsonl"), Flood});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    const QList<QJsonObject> events = JsonObjects(run.Lines());
    ASSERT_EQ(events.size(), 5);
    for (const QJsonObject& json : events) {
        EXPECT_EQ(json.value(QStringLiteral("eventType")).toString(), QStringLiteral("simple"));
        EXPECT_EQ(json.value(QStringLiteral("severity")).toInt(), 100);
    }

    // A filter the server refuses ends the run before anything is streamed.
    const TProgramRun refused =
        RunProgram({QStringLiteral("--area=Plant1.NoSuchArea"), QStringLiteral("--count=1")});
    ASSERT_TRUE(refused.Finished);
    EXPECT_EQ(refused.ExitCode, 64);
    EXPECT_TRUE(refused.Out.isEmpty());
    EXPECT_TRUE(refused.Err.startsWith("zelk-ae-monitor: the server refused the filter: "))
        << refused.Err.toStdString();
}

TEST(MonitorProgram, ListsTheServersOfTheComputer) {
    const TProgramRun run = RunProgram({QStringLiteral("--list-servers")});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains("Zelk OPC AE Simulation Server  Zelk.AESimulator.1  "
                                 "{5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A6F1}\n"))
        << run.Out.toStdString();

    const TProgramRun json =
        RunProgram({QStringLiteral("--list-servers"), QStringLiteral("--format=jsonl")});
    const QList<QJsonObject> servers = JsonObjects(json.Lines());
    ASSERT_EQ(servers.size(), 1);
    EXPECT_EQ(servers[0].value(QStringLiteral("progId")).toString(),
              QStringLiteral("Zelk.AESimulator.1"));
    EXPECT_EQ(servers[0].value(QStringLiteral("classId")).toString(),
              QStringLiteral("{5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A6F1}"));

    const TProgramRun remote =
        RunProgram({QStringLiteral("--list-servers"), QStringLiteral("--computer=NOSUCHPC")});
    EXPECT_EQ(remote.ExitCode, 69);
    EXPECT_FALSE(remote.Err.isEmpty());
}

TEST(MonitorProgram, BrowsePrintsTheAreaTreeWithItsSources) {
    const TProgramRun run = RunProgram({QStringLiteral("--browse")});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.startsWith("+ Plant1 (Plant1)\n"
                                   "  + TankFarm (Plant1.TankFarm)\n"
                                   "    + Tank 1 (Plant1.TankFarm.Tank 1)\n"
                                   "      - LI101 (Plant1.TankFarm.Tank 1.LI101)\n"))
        << run.Out.toStdString();
    EXPECT_TRUE(run.Out.contains("\n  - PLC1 (Plant1.PLC1)\n"));
    EXPECT_TRUE(run.Out.contains("\n      - FIC412 (Plant1.Utilities.Steam.FIC412)\n"));
    EXPECT_EQ(run.Out.count("+ "), 9) << "every area once";
    EXPECT_EQ(run.Out.count("- "), 21) << "every source once";
}

TEST(MonitorProgram, AnUnknownServerExits69WithTheToolkitsMessage) {
    const TProgramRun run = RunProgram({QStringLiteral("--server=No.Such.Server.1")});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 69);
    EXPECT_TRUE(run.Out.isEmpty());
    EXPECT_EQ(run.Err, "zelk-ae-monitor: cannot connect to No.Such.Server.1: Server name not "
                       "found in registry or empty\n");
}

TEST(MonitorProgram, ABadOptionExits64WithoutConnecting) {
    const TProgramRun run = RunProgram({QStringLiteral("--severity=high")});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 64);
    EXPECT_TRUE(run.Out.isEmpty());
    EXPECT_TRUE(run.Err.startsWith("zelk-ae-monitor: invalid severity range 'high'"))
        << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains("--help"));
}

TEST(MonitorProgram, AServerShutdownExits75WithItsReason) {
    const TProgramRun run = RunProgram(
        {QStringLiteral("--simulate-shutdown-after=4"), QStringLiteral("--format=jsonl"), Flood});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 75);
    EXPECT_GE(run.Lines().size(), 4) << "what arrived before the shutdown is written";
    EXPECT_EQ(run.Err, "zelk-ae-monitor: connection lost: the server shut down: simulated "
                       "shutdown after 4 notifications\n");
}

TEST(MonitorProgram, WithReconnectARestartedServerIsToldAndTheRunGoesOn) {
    const TProgramRun run =
        RunProgram({QStringLiteral("--reconnect"), QStringLiteral("--simulate-restart-after=4"),
                    QStringLiteral("--count=400"), QStringLiteral("--quiet"), Flood});
    ASSERT_TRUE(run.Finished);
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Err, "zelk-ae-monitor: connection lost: the server shut down: simulated "
                       "restart after 4 notifications; reconnecting\n"
                       "zelk-ae-monitor: reconnected to Zelk.AESimulator.1 (attempt 1)\n");
    // Without it the same restart ends the run.
    const TProgramRun once = RunProgram(
        {QStringLiteral("--simulate-restart-after=4"), QStringLiteral("--quiet"), Flood});
    ASSERT_TRUE(once.Finished);
    EXPECT_EQ(once.ExitCode, 75);
}

TEST(MonitorProgram, StopSignalsAndTheDurationEndTheRunCleanly) {
    for (const int signal : {SIGINT, SIGTERM}) {
        QProcess process;
        StartProgram(process, {Flood});
        EXPECT_TRUE(zelk::test::WaitUntil([&] { return process.bytesAvailable() > 0; },
                                          std::chrono::seconds(60)));
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(60'000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(process.exitCode(), 0) << signal;
        EXPECT_TRUE(process.readAllStandardError().isEmpty());
    }
    const TProgramRun timed = RunProgram({QStringLiteral("--duration=0.5")});
    ASSERT_TRUE(timed.Finished);
    EXPECT_EQ(timed.ExitCode, 0) << timed.Err.toStdString();
}

TEST(MonitorProgram, AReaderThatGoesAwayEndsTheRunQuietly) {
    // As in "zelk-ae-monitor | head": the reader stops after three lines; the shell
    // reports the monitor's own status.
    QProcess shell;
    shell.start(
        QStringLiteral("bash"),
        {QStringLiteral("-c"),
         QStringLiteral("\"$0\" --format=jsonl --simulate-flood=2000 | head -n 3 >/dev/null; "
                        "echo \"status ${PIPESTATUS[0]}\""),
         QStringLiteral(ZELK_MONITOR_EXECUTABLE)});
    ASSERT_TRUE(shell.waitForFinished(120'000));
    EXPECT_EQ(shell.readAllStandardOutput(), "status 0\n");
    EXPECT_TRUE(shell.readAllStandardError().isEmpty());
}
