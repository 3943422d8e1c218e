#include "MonitorOptions.h"

#include "ZelkCommandLine.h"
#include "ZelkJournalLocation.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cmath>
#include <limits>

namespace zelk::monitor {

namespace {

const QString Description = QStringLiteral(
    "Streams the alarms and events of an OPC AE server to standard output, one line per "
    "notification.\n"
    "\n"
    "Exit status: 0 normal end (also after SIGINT, SIGTERM or when the reader of the "
    "output goes away), 64 usage error, 69 the server cannot be reached, 74 standard "
    "output or the journal failed, 75 connection lost (server shutdown or keep-alive time-out; "
    "never with --reconnect).");

struct TOptionSet {
    QCommandLineOption Server{QStringLiteral("server"),
                              QStringLiteral("ProgID or class id of the AE server (default: "
                                             "%1, the simulated server built into this "
                                             "program).")
                                  .arg(QLatin1String(SimulatorProgID)),
                              QStringLiteral("NAME")};
    QCommandLineOption Computer{
        QStringLiteral("computer"),
        QStringLiteral("Computer the server runs on (default: this computer)."),
        QStringLiteral("NAME")};
    QCommandLineOption ClientName{
        QStringLiteral("client-name"),
        QStringLiteral("Name announced to the server (default: Zelk AE Monitor)."),
        QStringLiteral("TEXT")};
    QCommandLineOption Types{QStringLiteral("types"),
                             QStringLiteral("Event types to receive, comma-separated: simple, "
                                            "condition, tracking (default: all)."),
                             QStringLiteral("LIST")};
    QCommandLineOption Severity{
        QStringLiteral("severity"),
        QStringLiteral("Severity range to receive, within 0-1000 (default: 0-1000)."),
        QStringLiteral("LOW-HIGH")};
    QCommandLineOption Category{
        QStringLiteral("category"),
        QStringLiteral("Receive this event category (repeatable; default: all)."),
        QStringLiteral("NAME")};
    QCommandLineOption Area{
        QStringLiteral("area"),
        QStringLiteral("Receive the events of this fully qualified area (repeatable)."),
        QStringLiteral("NAME")};
    QCommandLineOption Source{
        QStringLiteral("source"),
        QStringLiteral("Receive the events of this fully qualified source (repeatable)."),
        QStringLiteral("NAME")};
    QCommandLineOption Format{QStringLiteral("format"),
                              QStringLiteral("Output form: text (aligned lines, the default) "
                                             "or jsonl (one JSON object per line)."),
                              QStringLiteral("FORMAT")};
    QCommandLineOption Quiet{QStringLiteral("quiet"),
                             QStringLiteral("Print no notifications (with --journal: only "
                                            "journal them).")};
    QCommandLineOption Journal{
        QStringLiteral("journal"),
        QStringLiteral("Also record every notification received, and the connects, "
                       "disconnects, refreshes and shutdowns, in the journal at URL: "
                       "sqlite:PATH, postgresql://[user@]host[:port]/database, or 'default' "
                       "(%1). The password comes from PGPASSWORD or ~/.pgpass.")
            .arg(DefaultJournalUrl()),
        QStringLiteral("URL")};
    QCommandLineOption Duration{QStringLiteral("duration"),
                                QStringLiteral("Stop after this many seconds."),
                                QStringLiteral("SECONDS")};
    QCommandLineOption Count{QStringLiteral("count"), QStringLiteral("Stop after N notifications."),
                             QStringLiteral("N")};
    QCommandLineOption KeepAlive{
        QStringLiteral("keepalive"),
        QStringLiteral("Probe the server every MS milliseconds (500 at least) and end with "
                       "status 75 when it stops answering; 0, the default, never probes."),
        QStringLiteral("MS")};
    QCommandLineOption Reconnect{
        QStringLiteral("reconnect"),
        QStringLiteral("Keep running when the connection is lost (server shutdown or restart, "
                       "keep-alive time-out, a server that is gone): connect again after 1 s, "
                       "then after waits doubling up to 60 s, and tell each loss and "
                       "reconnection on standard error.")};
    QCommandLineOption ListServers{
        QStringLiteral("list-servers"),
        QStringLiteral("List the AE servers of --computer (caption, ProgID, class id), then "
                       "exit.")};
    QCommandLineOption Browse{
        QStringLiteral("browse"),
        QStringLiteral("Print the server's area tree with its sources, then exit.")};
    QCommandLineOption SimulateShutdownAfter{
        QStringLiteral("simulate-shutdown-after"),
        QStringLiteral("Testing aid: the built-in simulated server shuts down after N "
                       "notifications."),
        QStringLiteral("N")};
    QCommandLineOption SimulateRestartAfter{
        QStringLiteral("simulate-restart-after"),
        QStringLiteral("Testing aid: the built-in simulated server shuts down after N "
                       "notifications and starts again at once."),
        QStringLiteral("N")};
    QCommandLineOption SimulateFlood{
        QStringLiteral("simulate-flood"),
        QStringLiteral("Testing aid: the built-in simulated server sends RATE notifications "
                       "per second (0: as many as it can)."),
        QStringLiteral("RATE")};
};

using zelk::cmdline::Refuse;
using zelk::cmdline::TUsageError;

void ParseSeverity(const QString& text, TMonitorOptions& options) {
    std::tie(options.SeverityLow, options.SeverityHigh) = zelk::cmdline::SeverityRange(text);
}

constexpr auto& ParseInteger = zelk::cmdline::WholeNumber;

QStringList NonEmptyNames(const QCommandLineParser& parser, const QCommandLineOption& option) {
    const QStringList names = parser.values(option);
    for (const QString& name : names)
        if (name.trimmed().isEmpty())
            Refuse(QStringLiteral("--%1 needs a name").arg(option.names().constFirst()));
    return names;
}

std::int64_t ParseDurationMs(const QString& text) {
    bool ok = false;
    const double seconds = text.trimmed().toDouble(&ok);
    // A year is far beyond any run someone means to bound.
    if (!ok || !(seconds > 0) || seconds > 366.0 * 86400.0)
        Refuse(QStringLiteral("invalid duration '%1': expected a positive number of seconds")
                   .arg(text));
    return std::max<std::int64_t>(std::llround(seconds * 1000.0), 1);
}

void ReadOptions(const QCommandLineParser& parser, const TOptionSet& set,
                 TMonitorOptions& options) {
    const QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty())
        Refuse(QStringLiteral("unexpected argument '%1'").arg(positional.constFirst()));
    if (parser.isSet(set.ListServers) && parser.isSet(set.Browse))
        Refuse(QStringLiteral("--list-servers and --browse cannot be combined"));
    if (parser.isSet(set.ListServers))
        options.Mode = TMonitorMode::ListServers;
    else if (parser.isSet(set.Browse))
        options.Mode = TMonitorMode::Browse;

    if (parser.isSet(set.Server)) {
        options.ServerName = parser.value(set.Server).trimmed();
        if (options.ServerName.isEmpty())
            Refuse(QStringLiteral("--server needs a name"));
    }
    options.ComputerName = parser.value(set.Computer).trimmed();
    if (parser.isSet(set.ClientName))
        options.ClientName = parser.value(set.ClientName);

    if (parser.isSet(set.Types))
        options.EventTypes = zelk::cmdline::EventTypes(parser.values(set.Types));
    if (parser.isSet(set.Severity))
        ParseSeverity(parser.value(set.Severity), options);
    options.Categories = NonEmptyNames(parser, set.Category);
    options.Areas = NonEmptyNames(parser, set.Area);
    options.Sources = NonEmptyNames(parser, set.Source);
    options.HasFilter = parser.isSet(set.Types) || parser.isSet(set.Severity) ||
                        !options.Categories.isEmpty() || !options.Areas.isEmpty() ||
                        !options.Sources.isEmpty();

    if (parser.isSet(set.Format)) {
        const QString format = parser.value(set.Format).trimmed().toLower();
        if (format == QLatin1String("text"))
            options.Format = TMonitorFormat::Text;
        else if (format == QLatin1String("jsonl"))
            options.Format = TMonitorFormat::JsonLines;
        else
            Refuse(QStringLiteral("unknown format '%1': expected text or jsonl")
                       .arg(parser.value(set.Format)));
    }
    options.Quiet = parser.isSet(set.Quiet);
    if (parser.isSet(set.Journal)) {
        const QString url = parser.value(set.Journal).trimmed();
        options.JournalUrl = url == QLatin1String("default") ? DefaultJournalUrl() : url;
        try {
            TZelkJournalLocation::Parse(options.JournalUrl);
        } catch (const EZelkJournalError& e) {
            Refuse(e.Message());
        }
    }
    constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t mostInt = std::numeric_limits<int>::max();
    if (parser.isSet(set.Duration))
        options.DurationMs = ParseDurationMs(parser.value(set.Duration));
    if (parser.isSet(set.Count))
        options.Count = ParseInteger(parser, set.Count, 1, most);
    if (parser.isSet(set.KeepAlive))
        options.KeepAlive = static_cast<int>(ParseInteger(parser, set.KeepAlive, 0, mostInt));
    options.Reconnect = parser.isSet(set.Reconnect);
    if (parser.isSet(set.SimulateRestartAfter))
        options.SimulateRestartAfter = ParseInteger(parser, set.SimulateRestartAfter, 1, most);
    if (parser.isSet(set.SimulateShutdownAfter))
        options.SimulateShutdownAfter = ParseInteger(parser, set.SimulateShutdownAfter, 1, most);
    if (parser.isSet(set.SimulateFlood))
        options.SimulateFlood =
            static_cast<int>(ParseInteger(parser, set.SimulateFlood, 0, mostInt));
}

} // namespace

TMonitorCommand ParseMonitorCommand(const QStringList& arguments) {
    const TOptionSet set;
    QCommandLineParser parser;
    parser.setApplicationDescription(Description);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOptions({set.Server,
                       set.Computer,
                       set.ClientName,
                       set.Types,
                       set.Severity,
                       set.Category,
                       set.Area,
                       set.Source,
                       set.Format,
                       set.Quiet,
                       set.Journal,
                       set.Duration,
                       set.Count,
                       set.KeepAlive,
                       set.Reconnect,
                       set.ListServers,
                       set.Browse,
                       set.SimulateShutdownAfter,
                       set.SimulateRestartAfter,
                       set.SimulateFlood});

    TMonitorCommand command;
    if (!parser.parse(arguments)) {
        command.Action = TMonitorCommand::UsageError;
        command.Text = parser.errorText();
        return command;
    }
    if (parser.isSet(help)) {
        command.Action = TMonitorCommand::ShowHelp;
        command.Text = parser.helpText();
        return command;
    }
    if (parser.isSet(version)) {
        command.Action = TMonitorCommand::ShowVersion;
        command.Text = QCoreApplication::applicationName() + QLatin1Char(' ') +
                       QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return command;
    }
    try {
        ReadOptions(parser, set, command.Options);
    } catch (const TUsageError& error) {
        command.Action = TMonitorCommand::UsageError;
        command.Text = error.Text;
    }
    return command;
}

} // namespace zelk::monitor
