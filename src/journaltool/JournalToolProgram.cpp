#include "JournalToolProgram.h"

#include "FdOutput.h"
#include "JournalToolFormat.h"
#include "JournalToolOptions.h"
#include "JournalToolReport.h"
#include "ZelkJournalReader.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace zelk::journaltool {

namespace {

const char* const ProgramName = "zelk-ae-journal";
// Rows read per page: a query streams through a journal of any size in bounded memory.
constexpr int PageRows = 2000;

void WriteError(const QString& text) {
    const QByteArray line = QByteArray(ProgramName) + ": " + text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    std::fflush(stderr);
}

// The end of a run for the output: 0 when written (or when the reader went away), 74
// otherwise.
int Finish(zelk::rtl::TFdOutput& output) {
    if (output.Flush() || output.BrokenPipe())
        return ExitOk;
    WriteError(QStringLiteral("cannot write to standard output: %1").arg(output.ErrorText()));
    return ExitIoError;
}

// Pages through the rows Read gives for a page, writing each with Write.
template <class Read, class Write>
bool Stream(zelk::rtl::TFdOutput& output, const TJournalToolOptions& options, Read read,
            Write write) {
    TZelkJournalPage page;
    page.NewestFirst = options.NewestFirst;
    std::int64_t left = options.Limit > 0 ? options.Limit : -1;
    for (;;) {
        page.Limit = left < 0 ? PageRows : static_cast<int>(std::min<std::int64_t>(left, PageRows));
        const auto rows = read(page);
        for (const auto& row : rows)
            write(row);
        if (!output.Flush())
            return false;
        if (left > 0)
            left -= static_cast<std::int64_t>(rows.size());
        if (rows.size() < static_cast<std::size_t>(page.Limit) || left == 0)
            return true;
        page.After = rows.back().Id;
    }
}

int Query(TZelkJournalReader& reader, const TJournalToolOptions& options,
          zelk::rtl::TFdOutput& output) {
    std::string& out = output.Buffer();
    if (options.Actions) {
        if (options.Format == TToolFormat::Csv)
            AppendActionCsvHeader(out);
        Stream(
            output, options,
            [&](const TZelkJournalPage& page) {
                return reader.Actions(options.ActionFilter, page);
            },
            [&](const TZelkJournalActionRow& row) { AppendAction(out, row, options.Format); });
    } else {
        if (options.Format == TToolFormat::Csv)
            AppendNotificationCsvHeader(out);
        Stream(
            output, options,
            [&](const TZelkJournalPage& page) {
                return reader.Notifications(options.Filter, page);
            },
            [&](const TZelkJournalNotification& row) {
                AppendNotification(out, row, options.Format, options.Origin);
            });
    }
    return Finish(output);
}

int Run(const TJournalToolOptions& options, zelk::rtl::TFdOutput& output) {
    TZelkJournalReader reader(options.JournalUrl);
    switch (options.Command) {
    case TToolCommand::Query:
        return Query(reader, options, output);
    case TToolCommand::Info:
        AppendInfo(output.Buffer(), reader.Info(), options.Format);
        return Finish(output);
    case TToolCommand::Report: {
        const TZelkAlarmReport report =
            zelk::journal::ComputeAlarmReport(reader.Connection(), options.Report);
        if (options.Format == TToolFormat::Json)
            AppendReportJson(output.Buffer(), report);
        else if (options.Format == TToolFormat::Html)
            AppendReportHtml(output.Buffer(), report);
        else
            AppendReportText(output.Buffer(), report);
        return Finish(output);
    }
    case TToolCommand::Purge: {
        const std::int64_t deleted = reader.Purge(options.Retention);
        output.Buffer() += "deleted " + std::to_string(deleted) + " rows\n";
        return Finish(output);
    }
    }
    return ExitOk;
}

} // namespace

int RunJournalTool(const QStringList& arguments) {
    QCoreApplication::setApplicationName(QString::fromLatin1(ProgramName));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELK_JOURNAL_VERSION));
    // A reader that goes away shows as EPIPE on the next write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);

    const TJournalToolCommand command =
        ParseJournalToolCommand(arguments, zelk::journal::NowTicks());
    zelk::rtl::TFdOutput output(STDOUT_FILENO);
    switch (command.Action) {
    case TJournalToolCommand::ShowHelp:
    case TJournalToolCommand::ShowVersion:
        output.Buffer() = command.Text.toUtf8().toStdString();
        return Finish(output);
    case TJournalToolCommand::UsageError:
        WriteError(command.Text);
        WriteError(
            QStringLiteral("try '%1 --help' for more information").arg(QLatin1String(ProgramName)));
        return ExitUsage;
    case TJournalToolCommand::Run:
        break;
    }
    try {
        return Run(command.Options, output);
    } catch (const EZelkJournalError& e) {
        output.Flush();
        WriteError(e.Message());
        return ExitNoJournal;
    }
}

} // namespace zelk::journaltool
