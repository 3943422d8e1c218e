#pragma once

// The command line of zelk-ae-journal: a command (query, purge, info, report) and its options,
// read with QCommandLineParser, and the exit statuses the tool ends with.

#include "ZelkAlarmReport.h"
#include "ZelkJournalEntry.h"
#include "ZelkJournalQuery.h"

#include <QString>
#include <QStringList>

namespace zelk::journaltool {

enum TJournalToolExit : int {
    ExitOk = 0,
    ExitUsage = 64,
    ExitNoJournal = 66, // the journal does not exist, cannot be opened or is refused
    ExitIoError = 74,   // standard output failed
};

enum class TToolCommand { Query, Purge, Info, Report };
enum class TToolFormat { Text, JsonLines, Csv, Json, Html };

struct TJournalToolOptions {
    TToolCommand Command = TToolCommand::Query;
    QString JournalUrl;
    TToolFormat Format = TToolFormat::Text;
    // query
    bool Actions = false; // the operator actions instead of the notifications
    TZelkJournalFilter Filter;
    TZelkActionFilter ActionFilter;
    std::int64_t Limit = 0; // 0: everything
    bool NewestFirst = false;
    bool Origin = false; // jsonl: add the journal's own fields
    // purge
    TZelkJournalRetention Retention;
    // report
    TZelkAlarmReportOptions Report;
};

struct TJournalToolCommand {
    enum TAction { Run, ShowHelp, ShowVersion, UsageError };
    TAction Action = Run;
    TJournalToolOptions Options;
    QString Text; // help, version line or usage error
};

// Reads the arguments (program name first). NowTicks anchors --last.
TJournalToolCommand ParseJournalToolCommand(const QStringList& arguments, std::int64_t NowTicks);

// "2024-03-01T12:00:00Z", "2024-03-01T13:00:00+01:00" (UTC offsets), "2024-03-01 13:00"
// or "2024-03-01" (local time) as FILETIME ticks; nothing when the text is no time.
std::optional<std::int64_t> ParseTimeArgument(const QString& text);

} // namespace zelk::journaltool
