#include "MonitorOptions.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace zelk::monitor;

namespace {

TMonitorCommand Parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("zelk-ae-monitor"));
    return ParseMonitorCommand(arguments);
}

} // namespace

TEST(MonitorOptions, WithoutArgumentsStreamsTheSimulatorAsTextWithTheDefaultFilter) {
    const TMonitorCommand command = Parse({});
    ASSERT_EQ(command.Action, TMonitorCommand::Run) << command.Text.toStdString();
    const TMonitorOptions& options = command.Options;
    EXPECT_EQ(options.Mode, TMonitorMode::Stream);
    EXPECT_EQ(options.ServerName, QStringLiteral("Zelk.AESimulator.1"));
    EXPECT_TRUE(options.ComputerName.isEmpty());
    EXPECT_FALSE(options.HasFilter);
    EXPECT_EQ(options.Format, TMonitorFormat::Text);
    EXPECT_EQ(options.Count, 0);
    EXPECT_EQ(options.DurationMs, 0);
    EXPECT_EQ(options.KeepAlive, 0);
    EXPECT_EQ(options.SimulateShutdownAfter, 0);
    EXPECT_FALSE(options.SimulateFlood.has_value());
}

TEST(MonitorOptions, EveryOptionReachesTheRun) {
    const TMonitorCommand command =
        Parse({QStringLiteral("--server={5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A6F1}"),
               QStringLiteral("--computer"),
               QStringLiteral("PLANTPC"),
               QStringLiteral("--client-name"),
               QStringLiteral("historian"),
               QStringLiteral("--types"),
               QStringLiteral("Condition, tracking"),
               QStringLiteral("--severity"),
               QStringLiteral("500 - 1000"),
               QStringLiteral("--category"),
               QStringLiteral("Level"),
               QStringLiteral("--category=Discrete"),
               QStringLiteral("--area"),
               QStringLiteral("Plant1.Tank Farm"),
               QStringLiteral("--source"),
               QStringLiteral("Plant1.PLC1"),
               QStringLiteral("--format"),
               QStringLiteral("jsonl"),
               QStringLiteral("--duration"),
               QStringLiteral("1.5"),
               QStringLiteral("--count"),
               QStringLiteral("10"),
               QStringLiteral("--keepalive"),
               QStringLiteral("2000"),
               QStringLiteral("--simulate-shutdown-after"),
               QStringLiteral("3"),
               QStringLiteral("--simulate-flood"),
               QStringLiteral("0")});
    ASSERT_EQ(command.Action, TMonitorCommand::Run) << command.Text.toStdString();
    const TMonitorOptions& options = command.Options;
    EXPECT_EQ(options.ServerName, QStringLiteral("{5E1D7C3A-2B64-4F0E-9A8D-31C5E0B7A6F1}"));
    EXPECT_EQ(options.ComputerName, QStringLiteral("PLANTPC"));
    EXPECT_EQ(options.ClientName, QStringLiteral("historian"));
    EXPECT_TRUE(options.HasFilter);
    EXPECT_EQ(options.EventTypes,
              (tZelkEventtypes{TZelkEventtype::evCondition, TZelkEventtype::evTracking}));
    EXPECT_EQ(options.SeverityLow, 500);
    EXPECT_EQ(options.SeverityHigh, 1000);
    EXPECT_EQ(options.Categories,
              (QStringList{QStringLiteral("Level"), QStringLiteral("Discrete")}));
    EXPECT_EQ(options.Areas, QStringList{QStringLiteral("Plant1.Tank Farm")});
    EXPECT_EQ(options.Sources, QStringList{QStringLiteral("Plant1.PLC1")});
    EXPECT_EQ(options.Format, TMonitorFormat::JsonLines);
    EXPECT_EQ(options.DurationMs, 1500);
    EXPECT_EQ(options.Count, 10);
    EXPECT_EQ(options.KeepAlive, 2000);
    EXPECT_EQ(options.SimulateShutdownAfter, 3);
    EXPECT_EQ(options.SimulateFlood, 0);

    EXPECT_EQ(Parse({QStringLiteral("--list-servers")}).Options.Mode, TMonitorMode::ListServers);
    EXPECT_EQ(Parse({QStringLiteral("--browse")}).Options.Mode, TMonitorMode::Browse);
    EXPECT_TRUE(Parse({QStringLiteral("--severity=0-0")}).Options.HasFilter)
        << "a severity range alone is a filter";
}

TEST(MonitorOptions, MistakesAreUsageErrorsThatSayWhatIsWrong) {
    const struct {
        QStringList Arguments;
        const char* Expected;
    } cases[] = {
        {{QStringLiteral("--bogus")}, "bogus"},
        {{QStringLiteral("--count")}, "count"},
        {{QStringLiteral("extra")}, "unexpected argument 'extra'"},
        {{QStringLiteral("--list-servers"), QStringLiteral("--browse")}, "cannot be combined"},
        {{QStringLiteral("--format=xml")}, "unknown format 'xml'"},
        {{QStringLiteral("--types=simple,alarm")}, "unknown event type 'alarm'"},
        {{QStringLiteral("--severity=900-100")}, "invalid severity range '900-100'"},
        {{QStringLiteral("--severity=0-1001")}, "invalid severity range"},
        {{QStringLiteral("--severity=500")}, "invalid severity range"},
        {{QStringLiteral("--severity=-5-10")}, "invalid severity range"},
        {{QStringLiteral("--count=0")}, "invalid value '0' for --count"},
        {{QStringLiteral("--count=ten")}, "invalid value 'ten' for --count"},
        {{QStringLiteral("--keepalive=-1")}, "--keepalive"},
        {{QStringLiteral("--duration=0")}, "invalid duration '0'"},
        {{QStringLiteral("--duration=nan")}, "invalid duration"},
        {{QStringLiteral("--category=")}, "--category needs a name"},
        {{QStringLiteral("--server= ")}, "--server needs a name"},
        {{QStringLiteral("--simulate-flood=-1")}, "--simulate-flood"},
    };
    for (const auto& c : cases) {
        const TMonitorCommand command = Parse(c.Arguments);
        EXPECT_EQ(command.Action, TMonitorCommand::UsageError)
            << c.Arguments.join(u' ').toStdString();
        EXPECT_TRUE(command.Text.contains(QLatin1String(c.Expected)))
            << command.Text.toStdString() << " lacks " << c.Expected;
    }
}

TEST(MonitorOptions, HelpDocumentsTheOptionsTheTestingAidsAndTheExitStatuses) {
    const TMonitorCommand command = Parse({QStringLiteral("--help")});
    ASSERT_EQ(command.Action, TMonitorCommand::ShowHelp);
    for (const char* text :
         {"--server", "--list-servers", "--browse", "--keepalive", "jsonl", "Testing aid",
          "--simulate-shutdown-after", "64 usage error", "69", "75 connection lost"})
        EXPECT_TRUE(command.Text.contains(QLatin1String(text))) << text;
    EXPECT_EQ(Parse({QStringLiteral("--version")}).Action, TMonitorCommand::ShowVersion);
}
