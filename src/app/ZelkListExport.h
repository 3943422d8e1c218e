#pragma once

// Export of the alarm list as the operator sees it: every field of each notification, as
// CSV for a spreadsheet or as JSON lines with the monitor's field names for a program.
// The file is written aside and renamed at the end, so a failed or cancelled export never
// leaves a cut file where the operator expects a whole one.

#include "ZelkEventRecord.h"

#include <QString>
#include <functional>
#include <string>
#include <vector>

enum class TExportFormat { Csv, JsonLines };

// The format an export file name asks for: ".jsonl" and ".json" JSON lines, else CSV.
TExportFormat ExportFormatOfFile(const QString& FileName);

// The CSV header row and one record's row (RFC 4180: fields with a comma, quote or line
// break are quoted, quotes doubled; rows end with CR LF). Times are ISO 8601 UTC.
void AppendCsvHeader(std::string& Out);
void AppendCsvRow(std::string& Out, const TZelkEventRecord& Record);

// Writes Records to FileName. Progress is called now and then with the number written
// and may answer false to cancel, which leaves no file. Raises the runtime's exception
// with the system's reason when the file cannot be written; answers false when cancelled.
bool ExportRecords(const QString& FileName, TExportFormat Format,
                   const std::vector<TZelkEventRecord>& Records,
                   const std::function<bool(int Written)>& Progress = {});
