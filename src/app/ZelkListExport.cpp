#include "ZelkListExport.h"

#include "Exceptions.h"
#include "ZelkTimeText.h"

#include <QSaveFile>

namespace {

// Rows are handed to the file in blocks of this size, and progress is told per block.
constexpr int RowsPerBlock = 2000;

void AppendCsvField(std::string& out, const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        out += field;
        return;
    }
    out.push_back('"');
    for (char c : field) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

void AppendCsvText(std::string& out, const QString& text) {
    AppendCsvField(out, text.toStdString());
}

void AppendCsvNumber(std::string& out, long long value) {
    out += std::to_string(value);
}

void AppendCsvTime(std::string& out, const FILETIME& time) {
    const std::uint64_t ticks = zelk::ae::FileTimeTicks(time);
    if (ticks != 0 && ticks <= std::uint64_t(INT64_MAX))
        zelk::ae::AppendIsoUtc(out, static_cast<std::int64_t>(ticks));
}

} // namespace

TExportFormat ExportFormatOfFile(const QString& FileName) {
    return FileName.endsWith(QStringLiteral(".jsonl"), Qt::CaseInsensitive) ||
                   FileName.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)
               ? TExportFormat::JsonLines
               : TExportFormat::Csv;
}

void AppendCsvHeader(std::string& Out) {
    Out += "eventType,eventTypeCode,categoryId,categoryName,source,condition,subCondition,"
           "changeMask,newState,severity,quality,ackRequired,actor,message,cookie,time,"
           "activeTime,activeTimeRaw,attributes\r\n";
}

void AppendCsvRow(std::string& Out, const TZelkEventRecord& Record) {
    Out += zelk::ae::EventTypeName(Record.EventType);
    Out.push_back(',');
    AppendCsvNumber(Out, Record.EventType);
    Out.push_back(',');
    AppendCsvNumber(Out, Record.CategoryId);
    Out.push_back(',');
    AppendCsvText(Out, Record.CategoryName);
    Out.push_back(',');
    AppendCsvText(Out, Record.Source);
    Out.push_back(',');
    AppendCsvText(Out, Record.Condition);
    Out.push_back(',');
    AppendCsvText(Out, Record.SubCondition);
    Out.push_back(',');
    AppendCsvNumber(Out, Record.ChangeMask);
    Out.push_back(',');
    AppendCsvNumber(Out, Record.NewState);
    Out.push_back(',');
    AppendCsvNumber(Out, Record.Severity);
    Out.push_back(',');
    AppendCsvNumber(Out, Record.Quality);
    Out += Record.AckRequired ? ",true," : ",false,";
    AppendCsvText(Out, Record.Actor);
    Out.push_back(',');
    AppendCsvText(Out, Record.Message);
    Out.push_back(',');
    AppendCsvNumber(Out, Record.Cookie);
    Out.push_back(',');
    AppendCsvTime(Out, Record.Time);
    Out.push_back(',');
    AppendCsvTime(Out, Record.ActiveTime);
    Out.push_back(',');
    Out += std::to_string(zelk::ae::FileTimeTicks(Record.ActiveTime));
    Out.push_back(',');
    AppendCsvField(Out, Record.AttributesJson);
    Out += "\r\n";
}

bool ExportRecords(const QString& FileName, TExportFormat Format,
                   const std::vector<TZelkEventRecord>& Records,
                   const std::function<bool(int Written)>& Progress) {
    QSaveFile file(FileName);
    const auto fail = [&] {
        throw Exception(
            QStringLiteral("Cannot write \"%1\": %2").arg(FileName, file.errorString()));
    };
    if (!file.open(QIODevice::WriteOnly))
        fail();
    std::string block;
    if (Format == TExportFormat::Csv)
        AppendCsvHeader(block);
    const int count = static_cast<int>(Records.size());
    for (int i = 0; i < count; ++i) {
        const TZelkEventRecord& record = Records[static_cast<std::size_t>(i)];
        if (Format == TExportFormat::Csv)
            AppendCsvRow(block, record);
        else
            zelk::ae::AppendEventJsonLine(block, record);
        if ((i + 1) % RowsPerBlock == 0 || i + 1 == count) {
            if (file.write(block.data(), static_cast<qint64>(block.size())) !=
                static_cast<qint64>(block.size()))
                fail();
            block.clear();
            if (Progress && !Progress(i + 1)) {
                file.cancelWriting();
                return false;
            }
        }
    }
    if (!block.empty() && file.write(block.data(), static_cast<qint64>(block.size())) !=
                              static_cast<qint64>(block.size()))
        fail();
    if (!file.commit())
        fail();
    return true;
}
