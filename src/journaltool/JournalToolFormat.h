#pragma once

// The tool's output forms of journal rows: text lines for people, JSON lines and CSV
// for programs. Notifications as JSON lines are exactly the monitor's lines, so a journal
// gives back what the monitor printed; --origin adds the journal's own fields.

#include "JournalToolOptions.h"
#include "ZelkJournalReader.h"

#include <string>

namespace zelk::journaltool {

void AppendNotificationCsvHeader(std::string& out);
void AppendNotification(std::string& out, const TZelkJournalNotification& row, TToolFormat format,
                        bool origin);

void AppendActionCsvHeader(std::string& out);
void AppendAction(std::string& out, const TZelkJournalActionRow& row, TToolFormat format);

void AppendInfo(std::string& out, const TZelkJournalInfo& info, TToolFormat format);

// One CSV field: quoted when it holds a comma, a quote or a line break.
void AppendCsvField(std::string& out, const QString& text);

} // namespace zelk::journaltool
