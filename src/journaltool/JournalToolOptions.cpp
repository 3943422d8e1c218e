#include "JournalToolOptions.h"

#include "ZelkCommandLine.h"
#include "ZelkJournalLocation.h"
#include "opc_ae.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>
#include <limits>

namespace zelk::journaltool {

namespace {

const QString Description = QStringLiteral(
    "Reads and maintains an alarm and event journal.\n"
    "\n"
    "Commands:\n"
    "  query   print notifications (or, with --actions, operator actions), oldest first\n"
    "  purge   delete what is older than --days or beyond --max-rows notifications\n"
    "  info    row counts, time span, schema version and size\n"
    "  report  the alarm performance report of a time range (--from, --to, --last), for the\n"
    "          whole plant or one --area: alarm rate, floods, most frequent, chattering and\n"
    "          standing alarms, priorities and acknowledgement times beside their targets;\n"
    "          --format text, json or html (one file with its charts)\n"
    "\n"
    "Search texts (--source, --condition, --message, --text) match as a literal substring "
    "without regard to case; with --exact the whole field; with --wildcard as an OPC "
    "pattern (* ? # [list] [!list]).\n"
    "\n"
    "Exit status: 0 done, 64 usage error, 66 the journal cannot be opened, 74 standard "
    "output failed.");

struct TOptionSet {
    QCommandLineOption Journal{
        QStringLiteral("journal"),
        QStringLiteral("The journal: sqlite:PATH or postgresql://[user@]host[:port]/database "
                       "(default: %1). The password comes from PGPASSWORD or ~/.pgpass.")
            .arg(DefaultJournalUrl()),
        QStringLiteral("URL")};
    QCommandLineOption Format{QStringLiteral("format"),
                              QStringLiteral("Output form: text (default), jsonl or csv; for "
                                             "report text, json or html."),
                              QStringLiteral("FORMAT")};
    QCommandLineOption From{QStringLiteral("from"),
                            QStringLiteral("Notifications from this time on (ISO 8601; UTC "
                                           "with Z or an offset, local time without)."),
                            QStringLiteral("TIME")};
    QCommandLineOption To{QStringLiteral("to"), QStringLiteral("Notifications before this time."),
                          QStringLiteral("TIME")};
    QCommandLineOption Last{QStringLiteral("last"),
                            QStringLiteral("Notifications of the last period: 90s, 30m, 1h, 2d."),
                            QStringLiteral("PERIOD")};
    QCommandLineOption Types{QStringLiteral("types"),
                             QStringLiteral("Event types, comma-separated: simple, condition, "
                                            "tracking (default: all)."),
                             QStringLiteral("LIST")};
    QCommandLineOption Severity{QStringLiteral("severity"),
                                QStringLiteral("Severity range LOW-HIGH."),
                                QStringLiteral("LOW-HIGH")};
    QCommandLineOption Category{QStringLiteral("category"),
                                QStringLiteral("Category name (repeatable)."),
                                QStringLiteral("NAME")};
    QCommandLineOption Source{QStringLiteral("source"), QStringLiteral("Source text."),
                              QStringLiteral("TEXT")};
    QCommandLineOption Condition{QStringLiteral("condition"), QStringLiteral("Condition text."),
                                 QStringLiteral("TEXT")};
    QCommandLineOption Message{QStringLiteral("message"), QStringLiteral("Message text."),
                               QStringLiteral("TEXT")};
    QCommandLineOption Text{QStringLiteral("text"),
                            QStringLiteral("Text in the source, condition or message (with "
                                           "--actions: operator, comment, reason or server)."),
                            QStringLiteral("TEXT")};
    QCommandLineOption Exact{QStringLiteral("exact"),
                             QStringLiteral("Search texts match whole fields exactly.")};
    QCommandLineOption Wildcard{QStringLiteral("wildcard"),
                                QStringLiteral("Search texts are OPC wildcard patterns.")};
    QCommandLineOption Actions{QStringLiteral("actions"),
                               QStringLiteral("Print the operator actions (acknowledgements, "
                                              "refreshes, connects, ...) instead.")};
    QCommandLineOption Kind{QStringLiteral("kind"),
                            QStringLiteral("With --actions: this kind only (repeatable): "
                                           "acknowledge, refresh, connect, disconnect, "
                                           "shutdown, timeout, lost."),
                            QStringLiteral("KIND")};
    QCommandLineOption Limit{QStringLiteral("limit"), QStringLiteral("Print at most N rows."),
                             QStringLiteral("N")};
    QCommandLineOption NewestFirst{QStringLiteral("newest-first"),
                                   QStringLiteral("Print the newest rows first.")};
    QCommandLineOption Origin{QStringLiteral("origin"),
                              QStringLiteral("jsonl: add the journal's fields (journalId, "
                                             "received, server, computer).")};
    QCommandLineOption Days{QStringLiteral("days"), QStringLiteral("purge: keep the last N days."),
                            QStringLiteral("N")};
    QCommandLineOption Area{QStringLiteral("area"),
                            QStringLiteral("report: the sources of this area and below it "
                                           "(default: the whole plant)."),
                            QStringLiteral("PATH")};
    QCommandLineOption Flood{QStringLiteral("flood"),
                             QStringLiteral("report: more alarms than N in 10 minutes are a "
                                            "flood (default 10)."),
                             QStringLiteral("N")};
    QCommandLineOption ChatterCount{QStringLiteral("chatter-count"),
                                    QStringLiteral("report: activations of one condition that "
                                                   "make it chattering (default 3)..."),
                                    QStringLiteral("N")};
    QCommandLineOption ChatterWindow{QStringLiteral("chatter-window"),
                                     QStringLiteral("report: ...within this period (default "
                                                    "60s)."),
                                     QStringLiteral("PERIOD")};
    QCommandLineOption Standing{QStringLiteral("standing"),
                                QStringLiteral("report: an alarm active longer than this at the "
                                               "end is standing (default 24h)."),
                                QStringLiteral("PERIOD")};
    QCommandLineOption Bands{QStringLiteral("bands"),
                             QStringLiteral("report: the severities of the low, medium and high "
                                            "priorities (default 1-333,334-666,667-1000)."),
                             QStringLiteral("L-H,L-H,L-H")};
    QCommandLineOption MaxRows{QStringLiteral("max-rows"),
                               QStringLiteral("purge: keep the newest N notifications."),
                               QStringLiteral("N")};
};

using zelk::cmdline::Refuse;
using zelk::cmdline::TUsageError;

constexpr auto& ParseInteger = zelk::cmdline::WholeNumber;

std::int64_t ParseTime(const QCommandLineParser& parser, const QCommandLineOption& option) {
    const std::optional<std::int64_t> ticks = ParseTimeArgument(parser.value(option));
    if (!ticks)
        Refuse(QStringLiteral("invalid time '%1' for --%2: expected ISO 8601, for example "
                              "2024-03-01T12:00:00Z")
                   .arg(parser.value(option), option.names().constFirst()));
    return *ticks;
}

std::int64_t ParsePeriodTicks(const QString& text) {
    static const QRegularExpression period(QStringLiteral("^\\s*(\\d{1,9})\\s*([smhd])\\s*$"));
    const QRegularExpressionMatch match = period.match(text);
    if (!match.hasMatch())
        Refuse(QStringLiteral("invalid period '%1' for --last: expected a number and s, m, h "
                              "or d, for example 30m")
                   .arg(text));
    const std::int64_t count = match.captured(1).toLongLong();
    const QChar unit = match.captured(2).at(0);
    const std::int64_t seconds = unit == QLatin1Char('s')   ? 1
                                 : unit == QLatin1Char('m') ? 60
                                 : unit == QLatin1Char('h') ? 3600
                                                            : 86400;
    return count * seconds * 10'000'000LL;
}

// The event types as the OPC bits a journal stores.
int ParseTypes(const QStringList& values) {
    const tZelkEventtypes types = zelk::cmdline::EventTypes(values);
    return (types.Contains(evSimple) ? OPC_SIMPLE_EVENT : 0) |
           (types.Contains(evCondition) ? OPC_CONDITION_EVENT : 0) |
           (types.Contains(evTracking) ? OPC_TRACKING_EVENT : 0);
}

void ReadQuery(const QCommandLineParser& parser, const TOptionSet& set, std::int64_t now,
               TJournalToolOptions& options) {
    if (parser.isSet(set.Exact) && parser.isSet(set.Wildcard))
        Refuse(QStringLiteral("--exact and --wildcard cannot be combined"));
    const TZelkTextMatch match = parser.isSet(set.Exact)      ? TZelkTextMatch::Exact
                                 : parser.isSet(set.Wildcard) ? TZelkTextMatch::Wildcard
                                                              : TZelkTextMatch::Substring;
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> to;
    if (parser.isSet(set.Last) && parser.isSet(set.From))
        Refuse(QStringLiteral("--last and --from cannot be combined"));
    if (parser.isSet(set.From))
        from = ParseTime(parser, set.From);
    if (parser.isSet(set.Last))
        from = now - ParsePeriodTicks(parser.value(set.Last));
    if (parser.isSet(set.To))
        to = ParseTime(parser, set.To);
    options.Actions = parser.isSet(set.Actions);
    if (options.Actions) {
        for (const QCommandLineOption* notForActions :
             {&set.Types, &set.Severity, &set.Category, &set.Source, &set.Condition, &set.Message})
            if (parser.isSet(*notForActions))
                Refuse(QStringLiteral("--%1 filters notifications, not --actions")
                           .arg(notForActions->names().constFirst()));
        options.ActionFilter.From = from;
        options.ActionFilter.To = to;
        options.ActionFilter.Kinds = parser.values(set.Kind);
        options.ActionFilter.AnyText = {parser.value(set.Text), match};
    } else {
        if (parser.isSet(set.Kind))
            Refuse(QStringLiteral("--kind needs --actions"));
        TZelkJournalFilter& filter = options.Filter;
        filter.From = from;
        filter.To = to;
        if (parser.isSet(set.Types))
            filter.EventTypes = ParseTypes(parser.values(set.Types));
        if (parser.isSet(set.Severity)) {
            const auto [low, high] = zelk::cmdline::SeverityRange(parser.value(set.Severity));
            filter.SeverityLow = low;
            filter.SeverityHigh = high;
        }
        filter.Categories = parser.values(set.Category);
        filter.Source = {parser.value(set.Source), match};
        filter.Condition = {parser.value(set.Condition), match};
        filter.Message = {parser.value(set.Message), match};
        filter.AnyText = {parser.value(set.Text), match};
    }
    if (parser.isSet(set.Limit))
        options.Limit =
            ParseInteger(parser, set.Limit, 1, std::numeric_limits<std::int64_t>::max());
    options.NewestFirst = parser.isSet(set.NewestFirst);
    options.Origin = parser.isSet(set.Origin);
}

std::vector<TZelkSeverityBand> ParseBands(const QString& text) {
    std::vector<TZelkSeverityBand> bands = TZelkAlarmReportOptions::DefaultBands();
    const QStringList ranges = text.split(QLatin1Char(','));
    bool valid = ranges.size() == static_cast<qsizetype>(bands.size());
    int next = 1;
    for (qsizetype i = 0; valid && i < ranges.size(); ++i) {
        try {
            const auto [low, high] = zelk::cmdline::SeverityRange(ranges[i]);
            valid = low >= next;
            bands[static_cast<std::size_t>(i)].Low = low;
            bands[static_cast<std::size_t>(i)].High = high;
            next = high + 1;
        } catch (const TUsageError&) {
            valid = false;
        }
    }
    if (!valid)
        Refuse(QStringLiteral("invalid --bands '%1': expected three rising severity ranges, "
                              "for example 1-333,334-666,667-1000")
                   .arg(text));
    return bands;
}

void ReadReport(const QCommandLineParser& parser, const TOptionSet& set, std::int64_t now,
                TJournalToolOptions& options) {
    TZelkAlarmReportOptions& report = options.Report;
    if (parser.isSet(set.Last) && parser.isSet(set.From))
        Refuse(QStringLiteral("--last and --from cannot be combined"));
    if (parser.isSet(set.From))
        report.From = ParseTime(parser, set.From);
    if (parser.isSet(set.Last)) {
        // From a whole 10 minutes on, so that the report's periods read as clock times.
        report.From = now - ParsePeriodTicks(parser.value(set.Last));
        *report.From -= *report.From % zelk::journal::ReportPeriodTicks;
        report.To = now;
    }
    if (parser.isSet(set.To))
        report.To = ParseTime(parser, set.To);
    if (report.From && report.To && *report.To <= *report.From)
        Refuse(QStringLiteral("--to must be later than --from"));
    report.Area = parser.value(set.Area).trimmed();
    if (parser.isSet(set.Flood))
        report.FloodThreshold = static_cast<int>(ParseInteger(parser, set.Flood, 1, 1'000'000));
    if (parser.isSet(set.ChatterCount))
        report.ChatterCount = static_cast<int>(ParseInteger(parser, set.ChatterCount, 2, 1000));
    if (parser.isSet(set.ChatterWindow))
        report.ChatterWindow = ParsePeriodTicks(parser.value(set.ChatterWindow));
    if (parser.isSet(set.Standing))
        report.StandingAfter = ParsePeriodTicks(parser.value(set.Standing));
    if (parser.isSet(set.Bands))
        report.Bands = ParseBands(parser.value(set.Bands));
}

void ReadFormat(const QCommandLineParser& parser, const TOptionSet& set,
                TJournalToolOptions& options) {
    const bool report = options.Command == TToolCommand::Report;
    if (!parser.isSet(set.Format))
        return;
    const QString format = parser.value(set.Format).trimmed().toLower();
    if (format == QLatin1String("text"))
        options.Format = TToolFormat::Text;
    else if (!report && format == QLatin1String("jsonl"))
        options.Format = TToolFormat::JsonLines;
    else if (!report && format == QLatin1String("csv"))
        options.Format = TToolFormat::Csv;
    else if (report && format == QLatin1String("json"))
        options.Format = TToolFormat::Json;
    else if (report && format == QLatin1String("html"))
        options.Format = TToolFormat::Html;
    else
        Refuse(QStringLiteral("unknown format '%1': expected %2")
                   .arg(parser.value(set.Format), report ? QStringLiteral("text, json or html")
                                                         : QStringLiteral("text, jsonl or csv")));
}

void ReadOptions(const QCommandLineParser& parser, const TOptionSet& set, std::int64_t now,
                 TJournalToolOptions& options) {
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        Refuse(QStringLiteral("a command is needed: query, purge, info or report"));
    const QString command = positional.takeFirst();
    if (!positional.isEmpty())
        Refuse(QStringLiteral("unexpected argument '%1'").arg(positional.constFirst()));
    if (command == QLatin1String("query"))
        options.Command = TToolCommand::Query;
    else if (command == QLatin1String("purge"))
        options.Command = TToolCommand::Purge;
    else if (command == QLatin1String("info"))
        options.Command = TToolCommand::Info;
    else if (command == QLatin1String("report"))
        options.Command = TToolCommand::Report;
    else
        Refuse(QStringLiteral("unknown command '%1': expected query, purge, info or report")
                   .arg(command));

    options.JournalUrl =
        parser.isSet(set.Journal) ? parser.value(set.Journal).trimmed() : DefaultJournalUrl();
    try {
        TZelkJournalLocation::Parse(options.JournalUrl);
    } catch (const EZelkJournalError& e) {
        Refuse(e.Message());
    }
    ReadFormat(parser, set, options);
    const bool purge = options.Command == TToolCommand::Purge;
    if (!purge && (parser.isSet(set.Days) || parser.isSet(set.MaxRows)))
        Refuse(QStringLiteral("--days and --max-rows belong to purge"));
    if (purge) {
        if (parser.isSet(set.Days))
            options.Retention.Days = static_cast<int>(ParseInteger(parser, set.Days, 1, 100000));
        if (parser.isSet(set.MaxRows))
            options.Retention.MaxRows =
                ParseInteger(parser, set.MaxRows, 1, std::numeric_limits<std::int64_t>::max());
        if (!parser.isSet(set.Days) && !parser.isSet(set.MaxRows))
            Refuse(QStringLiteral("purge needs --days or --max-rows"));
    }
    if (options.Command != TToolCommand::Report)
        for (const QCommandLineOption* reportOnly : {&set.Area, &set.Flood, &set.ChatterCount,
                                                     &set.ChatterWindow, &set.Standing, &set.Bands})
            if (parser.isSet(*reportOnly))
                Refuse(
                    QStringLiteral("--%1 belongs to report").arg(reportOnly->names().constFirst()));
    if (options.Command == TToolCommand::Query)
        ReadQuery(parser, set, now, options);
    if (options.Command == TToolCommand::Report)
        ReadReport(parser, set, now, options);
}

} // namespace

std::optional<std::int64_t> ParseTimeArgument(const QString& text) {
    QString iso = text.trimmed();
    if (iso.size() > 10 && iso.at(10) == QLatin1Char(' '))
        iso[10] = QLatin1Char('T');
    QDateTime time = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    return zelk::journal::TicksFromDateTime(time);
}

TJournalToolCommand ParseJournalToolCommand(const QStringList& arguments, std::int64_t NowTicks) {
    const TOptionSet set;
    QCommandLineParser parser;
    parser.setApplicationDescription(Description);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("query, purge, info or report"));
    parser.addOptions(
        {set.Journal,       set.Format,   set.From,    set.To,        set.Last,    set.Types,
         set.Severity,      set.Category, set.Source,  set.Condition, set.Message, set.Text,
         set.Exact,         set.Wildcard, set.Actions, set.Kind,      set.Limit,   set.NewestFirst,
         set.Origin,        set.Days,     set.MaxRows, set.Area,      set.Flood,   set.ChatterCount,
         set.ChatterWindow, set.Standing, set.Bands});
    TJournalToolCommand command;
    if (!parser.parse(arguments)) {
        command.Action = TJournalToolCommand::UsageError;
        command.Text = parser.errorText();
        return command;
    }
    if (parser.isSet(help)) {
        command.Action = TJournalToolCommand::ShowHelp;
        command.Text = parser.helpText();
        return command;
    }
    if (parser.isSet(version)) {
        command.Action = TJournalToolCommand::ShowVersion;
        command.Text = QCoreApplication::applicationName() + QLatin1Char(' ') +
                       QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return command;
    }
    try {
        ReadOptions(parser, set, NowTicks, command.Options);
    } catch (const TUsageError& error) {
        command.Action = TJournalToolCommand::UsageError;
        command.Text = error.Text;
    }
    return command;
}

} // namespace zelk::journaltool
