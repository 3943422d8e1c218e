#include "ZelkEventRecord.h"

#include "Exceptions.h"
#include "ZelkEvent.h"
#include "ZelkJsonText.h"
#include "ZelkTimeText.h"

namespace {

constexpr int TimeWidth = 23;
constexpr int SourceWidth = 32;
constexpr int ConditionWidth = 20;

// Appends `text` as UTF-8 with control characters as blanks, then blanks up to `width`
// characters.
void AppendField(std::string& out, const QString& text, int width = 0) {
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        out.push_back(byte < 0x20 || byte == 0x7F ? ' ' : c);
    }
    for (qsizetype i = text.size(); i < width; ++i)
        out.push_back(' ');
}

void AppendPadded(std::string& out, std::string_view text, int width, bool right) {
    const auto fill = static_cast<std::size_t>(
        std::max<std::ptrdiff_t>(width - static_cast<std::ptrdiff_t>(text.size()), 0));
    if (right)
        out.append(fill, ' ');
    out += text;
    if (!right)
        out.append(fill, ' ');
}

// The ticks of a FILETIME as received; nothing for 0 ("no time") or beyond any calendar.
std::optional<std::int64_t> CalendarTicks(const FILETIME& time) {
    const std::uint64_t ticks = zelk::ae::FileTimeTicks(time);
    if (ticks == 0 || ticks > std::uint64_t(INT64_MAX))
        return std::nullopt;
    return static_cast<std::int64_t>(ticks);
}

void AppendTime(std::string& out, std::optional<std::int64_t> ticks) {
    out.push_back('"');
    if (ticks && zelk::ae::AppendIsoUtc(out, *ticks)) {
        out.push_back('"');
        return;
    }
    out.pop_back();
    out += "null";
}

QString AttributeName(const TZelkEventCustomProps& props, int index) {
    QString name;
    try {
        name = props.Names(index);
    } catch (const Exception&) {
        // The category lists fewer attributes than the event carries.
    }
    return name.isEmpty() ? QStringLiteral("#%1").arg(index) : name;
}

bool SameFileTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

} // namespace

TZelkEventRecord TZelkEventRecord::FromEvent(const TZelkEvent& event) {
    TZelkEventRecord record;
    record.EventType = event.EventType();
    record.CategoryId = event.EventCategory();
    record.CategoryName = event.CategoryName();
    record.Source = event.Source();
    record.Condition = event.ConditionName();
    record.SubCondition = event.SubconditionName();
    record.ChangeMask = event.ChangeMask();
    record.NewState = event.NewState();
    record.Severity = event.Severity();
    record.Quality = event.Quality();
    record.AckRequired = event.AckRequired();
    record.Actor = event.ActorID();
    record.Message = event.Msg();
    record.Cookie = static_cast<std::uint32_t>(event.Cookie());
    record.Time = event.RawTime();
    record.ActiveTime = event.RawActiveTime();
    record.AttributesJson.clear();
    zelk::ae::AppendEventAttributes(record.AttributesJson, event);
    return record;
}

bool TZelkEventRecord::operator==(const TZelkEventRecord& other) const {
    return EventType == other.EventType && CategoryId == other.CategoryId &&
           CategoryName == other.CategoryName && Source == other.Source &&
           Condition == other.Condition && SubCondition == other.SubCondition &&
           ChangeMask == other.ChangeMask && NewState == other.NewState &&
           Severity == other.Severity && Quality == other.Quality &&
           AckRequired == other.AckRequired && Actor == other.Actor && Message == other.Message &&
           Cookie == other.Cookie && SameFileTime(Time, other.Time) &&
           SameFileTime(ActiveTime, other.ActiveTime) && AttributesJson == other.AttributesJson;
}

namespace zelk::ae {

const char* EventTypeName(int type) {
    switch (type) {
    case OPC_SIMPLE_EVENT:
        return "simple";
    case OPC_TRACKING_EVENT:
        return "tracking";
    case OPC_CONDITION_EVENT:
        return "condition";
    default:
        return "unknown";
    }
}

void AppendEventTextLine(std::string& out, const TZelkEventRecord& record) {
    const std::optional<std::int64_t> ticks = DateTimeTicks(FileTimeToDateTime(record.Time));
    const std::size_t start = out.size();
    if (!ticks || !AppendLocalMSecs(out, *ticks))
        out.push_back('-');
    out.append(static_cast<std::size_t>(TimeWidth) -
                   std::min<std::size_t>(out.size() - start, TimeWidth),
               ' ');
    out += "  ";
    out += (record.NewState & OPC_CONDITION_ACTIVE) ? "ACT " : "--- ";
    out += (record.NewState & OPC_CONDITION_ACKED) ? "ACK " : "--- ";
    out += (record.NewState & OPC_CONDITION_ENABLED) ? "ENA" : "---";
    out += "  ";
    AppendPadded(out, std::to_string(record.Severity), 4, true);
    out += "  ";
    AppendField(out, record.Source, SourceWidth);
    out += "  ";
    QString condition = record.Condition;
    if (!record.SubCondition.isEmpty())
        condition += QLatin1Char('/') + record.SubCondition;
    AppendField(out, condition, ConditionWidth);
    out += "  ";
    AppendField(out, record.Message);
    // Columns padded for a missing message leave no blanks at the end of the line.
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    out.push_back('\n');
}

void AppendEventJsonLine(std::string& out, const TZelkEventRecord& record) {
    out += "{\"eventType\":\"";
    out += EventTypeName(record.EventType);
    out.push_back('"');
    AppendJsonKey(out, "eventTypeCode");
    AppendJsonNumber(out, std::int64_t{record.EventType});
    AppendJsonKey(out, "categoryId");
    AppendJsonNumber(out, std::int64_t{record.CategoryId});
    AppendJsonKey(out, "categoryName");
    AppendJsonString(out, record.CategoryName);
    AppendJsonKey(out, "source");
    AppendJsonString(out, record.Source);
    AppendJsonKey(out, "condition");
    AppendJsonString(out, record.Condition);
    AppendJsonKey(out, "subCondition");
    AppendJsonString(out, record.SubCondition);
    AppendJsonKey(out, "changeMask");
    AppendJsonNumber(out, std::int64_t{record.ChangeMask});
    AppendJsonKey(out, "newState");
    AppendJsonNumber(out, std::int64_t{record.NewState});
    AppendJsonKey(out, "severity");
    AppendJsonNumber(out, std::int64_t{record.Severity});
    AppendJsonKey(out, "quality");
    AppendJsonNumber(out, std::int64_t{record.Quality});
    AppendJsonKey(out, "ackRequired");
    out += record.AckRequired ? "true" : "false";
    AppendJsonKey(out, "actor");
    AppendJsonString(out, record.Actor);
    AppendJsonKey(out, "message");
    AppendJsonString(out, record.Message);
    AppendJsonKey(out, "cookie");
    AppendJsonNumber(out, std::int64_t{record.Cookie});
    AppendJsonKey(out, "time");
    AppendTime(out, CalendarTicks(record.Time));
    AppendJsonKey(out, "activeTime");
    AppendTime(out, CalendarTicks(record.ActiveTime));
    AppendJsonKey(out, "activeTimeRaw");
    AppendJsonNumber(out, FileTimeTicks(record.ActiveTime));
    AppendJsonKey(out, "attributes");
    out += record.AttributesJson;
    out += "}\n";
}

void AppendEventAttributes(std::string& out, const TZelkEvent& event) {
    const TZelkEventCustomProps& props = *event.CustomProps();
    out.push_back('{');
    for (int i = 0; i < props.Count(); ++i) {
        if (i > 0)
            out.push_back(',');
        AppendJsonString(out, AttributeName(props, i));
        out.push_back(':');
        if (FAILED(props.Errors(i)))
            out += "null";
        else
            AppendJsonVariant(out, props.Values(i).Value());
    }
    out.push_back('}');
}

} // namespace zelk::ae
