#include "JournalToolFormat.h"

#include "ZelkEvent.h"
#include "ZelkJsonText.h"
#include "ZelkOPCErrors.h"
#include "ZelkTimeText.h"

namespace zelk::journaltool {

namespace {

using namespace zelk::ae;

FILETIME FileTimeOf(std::int64_t ticks) {
    const auto bits = static_cast<std::uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(bits & 0xFFFFFFFFu), static_cast<DWORD>(bits >> 32)};
}

std::string IsoUtc(std::int64_t ticks) {
    std::string text;
    if (!AppendIsoUtc(text, ticks))
        text.clear();
    return text;
}

// Local wall-clock time to the millisecond, as the monitor's text lines show it.
std::string LocalTime(std::int64_t ticks) {
    std::string text;
    const std::optional<std::int64_t> local = DateTimeTicks(FileTimeToDateTime(FileTimeOf(ticks)));
    if (!local || !AppendLocalMSecs(text, *local))
        text = "-";
    return text;
}

QString ResultName(HRESULT code) {
    const QString name = OPCErrorName(code);
    return name.isEmpty() ? QStringLiteral("0x%1").arg(static_cast<std::uint32_t>(code), 8, 16,
                                                       QLatin1Char('0'))
                          : name;
}

void AppendCsv(std::string& out, std::initializer_list<QString> fields) {
    bool first = true;
    for (const QString& field : fields) {
        if (!first)
            out.push_back(',');
        first = false;
        AppendCsvField(out, field);
    }
    out += "\r\n";
}

QString Number(std::int64_t value) {
    return QString::number(value);
}

QString Utf8(const std::string& text) {
    return QString::fromStdString(text);
}

void Field(std::string& out, const char* key, const QString& value) {
    AppendJsonKey(out, key);
    AppendJsonString(out, value);
}

void Field(std::string& out, const char* key, std::int64_t value) {
    AppendJsonKey(out, key);
    AppendJsonNumber(out, value);
}

// The journal's own fields of a row: where and when it was received.
void OriginFields(std::string& out, std::int64_t received, const TZelkJournalServer& server) {
    Field(out, "received", Utf8(IsoUtc(received)));
    Field(out, "server", server.Server);
    Field(out, "computer", server.Computer);
}

// Blanks for control characters: a text line stays one line.
void AppendPlain(std::string& out, const QString& text) {
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        out.push_back(byte < 0x20 || byte == 0x7F ? ' ' : c);
    }
}

QString ResultsText(const TZelkJournalAction& action) {
    QStringList parts;
    for (const TZelkAckResult& result : action.Results)
        parts << result.Source + QLatin1Char('/') + result.Condition + QLatin1Char(' ') +
                     ResultName(result.Result);
    return parts.join(QStringLiteral("; "));
}

} // namespace

void AppendCsvField(std::string& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const bool quoted =
        utf8.contains(',') || utf8.contains('"') || utf8.contains('\n') || utf8.contains('\r');
    if (!quoted) {
        out.append(utf8.constData(), static_cast<std::size_t>(utf8.size()));
        return;
    }
    out.push_back('"');
    for (const char c : utf8) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

void AppendNotificationCsvHeader(std::string& out) {
    out += "journalId,received,server,computer,time,activeTime,activeTimeRaw,eventType,"
           "categoryId,categoryName,source,condition,subCondition,severity,message,changeMask,"
           "newState,quality,ackRequired,actor,cookie,attributes\r\n";
}

void AppendNotification(std::string& out, const TZelkJournalNotification& row, TToolFormat format,
                        bool origin) {
    const TZelkEventRecord& event = row.Event;
    switch (format) {
    case TToolFormat::Text:
    case TToolFormat::Json: // the report's forms: never asked of a row
    case TToolFormat::Html:
        AppendEventTextLine(out, event);
        return;
    case TToolFormat::JsonLines:
        AppendEventJsonLine(out, event);
        if (origin) {
            out.resize(out.size() - 2); // "}\n"
            Field(out, "journalId", row.Id);
            OriginFields(out, row.Received, row.Server);
            out += "}\n";
        }
        return;
    case TToolFormat::Csv:
        AppendCsv(out, {Number(row.Id),
                        Utf8(IsoUtc(row.Received)),
                        row.Server.Server,
                        row.Server.Computer,
                        Utf8(IsoUtc(static_cast<std::int64_t>(FileTimeTicks(event.Time)))),
                        Utf8(IsoUtc(static_cast<std::int64_t>(FileTimeTicks(event.ActiveTime)))),
                        QString::number(FileTimeTicks(event.ActiveTime)),
                        QString::fromLatin1(EventTypeName(event.EventType)),
                        Number(event.CategoryId),
                        event.CategoryName,
                        event.Source,
                        event.Condition,
                        event.SubCondition,
                        Number(event.Severity),
                        event.Message,
                        Number(event.ChangeMask),
                        Number(event.NewState),
                        Number(event.Quality),
                        event.AckRequired ? QStringLiteral("true") : QStringLiteral("false"),
                        event.Actor,
                        Number(event.Cookie),
                        Utf8(event.AttributesJson)});
        return;
    }
}

void AppendActionCsvHeader(std::string& out) {
    out += "journalId,received,server,computer,kind,who,comment,reason,count,results\r\n";
}

void AppendAction(std::string& out, const TZelkJournalActionRow& row, TToolFormat format) {
    const TZelkJournalAction& action = row.Action;
    switch (format) {
    case TToolFormat::Text:
    case TToolFormat::Json: // the report's forms: never asked of a row
    case TToolFormat::Html: {
        out += LocalTime(row.Received);
        out += "  ";
        AppendPlain(out, action.Kind.leftJustified(11));
        AppendPlain(out, row.Server.Server);
        if (!row.Server.Computer.isEmpty()) {
            out += " on ";
            AppendPlain(out, row.Server.Computer);
        }
        if (!action.Who.isEmpty()) {
            out += "  by ";
            AppendPlain(out, action.Who);
        }
        if (!action.Comment.isEmpty()) {
            out += "  comment: ";
            AppendPlain(out, action.Comment);
        }
        if (!action.Reason.isEmpty()) {
            out += "  reason: ";
            AppendPlain(out, action.Reason);
        }
        if (action.Kind == QLatin1String(zelk::journal::kind::Lost)) {
            out += "  lost: " + std::to_string(action.Count);
        }
        if (!action.Results.empty()) {
            out += "  ";
            AppendPlain(out, ResultsText(action));
        }
        out.push_back('\n');
        return;
    }
    case TToolFormat::JsonLines: {
        out += "{\"journalId\":";
        AppendJsonNumber(out, row.Id);
        OriginFields(out, row.Received, row.Server);
        Field(out, "kind", action.Kind);
        Field(out, "who", action.Who);
        Field(out, "comment", action.Comment);
        Field(out, "reason", action.Reason);
        Field(out, "count", action.Count);
        AppendJsonKey(out, "results");
        out.push_back('[');
        for (std::size_t i = 0; i < action.Results.size(); ++i) {
            const TZelkAckResult& result = action.Results[i];
            if (i > 0)
                out.push_back(',');
            out += "{\"source\":";
            AppendJsonString(out, result.Source);
            Field(out, "condition", result.Condition);
            Field(out, "cookie", std::int64_t{result.Cookie});
            AppendJsonKey(out, "activeTimeRaw");
            AppendJsonNumber(out, FileTimeTicks(result.ActiveTime));
            Field(out, "result", ResultName(result.Result));
            out.push_back('}');
        }
        out += "]}\n";
        return;
    }
    case TToolFormat::Csv:
        AppendCsv(out, {Number(row.Id), Utf8(IsoUtc(row.Received)), row.Server.Server,
                        row.Server.Computer, action.Kind, action.Who, action.Comment, action.Reason,
                        Number(action.Count), ResultsText(action)});
        return;
    }
}

void AppendInfo(std::string& out, const TZelkJournalInfo& info, TToolFormat format) {
    const auto time = [](const std::optional<std::int64_t>& ticks) {
        return ticks ? IsoUtc(*ticks) : std::string();
    };
    const double perRow =
        info.Notifications > 0 ? double(info.SizeBytes) / double(info.Notifications) : 0.0;
    if (format == TToolFormat::JsonLines) {
        out += "{\"journal\":";
        AppendJsonString(out, info.Url);
        Field(out, "schemaVersion", std::int64_t{info.SchemaVersion});
        Field(out, "notifications", info.Notifications);
        Field(out, "actions", info.Actions);
        Field(out, "servers", info.Servers);
        Field(out, "lost", info.Lost);
        for (const auto& [key, value] :
             {std::pair{"firstTime", info.FirstTime}, std::pair{"lastTime", info.LastTime},
              std::pair{"firstReceived", info.FirstReceived},
              std::pair{"lastReceived", info.LastReceived}}) {
            AppendJsonKey(out, key);
            if (value)
                AppendJsonString(out, Utf8(IsoUtc(*value)));
            else
                out += "null";
        }
        Field(out, "sizeBytes", info.SizeBytes);
        out += "}\n";
        return;
    }
    const auto line = [&out](const char* label, const std::string& value) {
        out += label;
        out += value;
        out.push_back('\n');
    };
    line("journal           ", info.Url.toStdString());
    line("schema version    ", std::to_string(info.SchemaVersion));
    line("notifications     ", std::to_string(info.Notifications));
    line("operator actions  ", std::to_string(info.Actions));
    line("servers           ", std::to_string(info.Servers));
    line("lost              ", std::to_string(info.Lost));
    line("first time        ", time(info.FirstTime));
    line("last time         ", time(info.LastTime));
    line("first received    ", time(info.FirstReceived));
    line("last received     ", time(info.LastReceived));
    char size[96];
    std::snprintf(size, sizeof size, "%lld bytes (%.0f per notification)",
                  static_cast<long long>(info.SizeBytes), perRow);
    line("size              ", size);
}

} // namespace zelk::journaltool
