#include "MonitorFormat.h"

#include "Exceptions.h"
#include "MonitorJson.h"
#include "MonitorTime.h"
#include "ZelkEventCustomProps.h"

namespace zelk::monitor {

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

void AppendKey(std::string& out, const char* key) {
    out.push_back(',');
    out.push_back('"');
    out += key;
    out += "\":";
}

// The ticks of a FILETIME as received; nothing for 0 ("no time") or beyond any calendar.
std::optional<std::int64_t> CalendarTicks(const FILETIME& time) {
    const std::uint64_t ticks = FileTimeTicks(time);
    if (ticks == 0 || ticks > std::uint64_t(INT64_MAX))
        return std::nullopt;
    return static_cast<std::int64_t>(ticks);
}

void AppendTime(std::string& out, std::optional<std::int64_t> ticks) {
    out.push_back('"');
    if (ticks && AppendIsoUtc(out, *ticks)) {
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

void AppendAttributes(std::string& out, const TZelkEventCustomProps& props) {
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

} // namespace

void AppendTextLine(std::string& out, const TZelkEvent& event) {
    const std::optional<std::int64_t> ticks = DateTimeTicks(event.Time());
    const std::size_t start = out.size();
    if (!ticks || !AppendLocalMSecs(out, *ticks))
        out.push_back('-');
    out.append(static_cast<std::size_t>(TimeWidth) -
                   std::min<std::size_t>(out.size() - start, TimeWidth),
               ' ');
    out += "  ";
    out += event.Active() ? "ACT " : "--- ";
    out += event.Acknowledged() ? "ACK " : "--- ";
    out += event.Enabled() ? "ENA" : "---";
    out += "  ";
    AppendPadded(out, std::to_string(event.Severity()), 4, true);
    out += "  ";
    AppendField(out, event.Source(), SourceWidth);
    out += "  ";
    QString condition = event.ConditionName();
    if (!event.SubconditionName().isEmpty())
        condition += QLatin1Char('/') + event.SubconditionName();
    AppendField(out, condition, ConditionWidth);
    out += "  ";
    AppendField(out, event.Msg());
    // Columns padded for a missing message leave no blanks at the end of the line.
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    out.push_back('\n');
}

void AppendJsonLine(std::string& out, const TZelkEvent& event) {
    out += "{\"eventType\":\"";
    out += EventTypeName(event.EventType());
    out.push_back('"');
    AppendKey(out, "eventTypeCode");
    AppendJsonNumber(out, std::int64_t{event.EventType()});
    AppendKey(out, "categoryId");
    AppendJsonNumber(out, std::int64_t{event.EventCategory()});
    AppendKey(out, "categoryName");
    AppendJsonString(out, event.CategoryName());
    AppendKey(out, "source");
    AppendJsonString(out, event.Source());
    AppendKey(out, "condition");
    AppendJsonString(out, event.ConditionName());
    AppendKey(out, "subCondition");
    AppendJsonString(out, event.SubconditionName());
    AppendKey(out, "changeMask");
    AppendJsonNumber(out, std::int64_t{event.ChangeMask()});
    AppendKey(out, "newState");
    AppendJsonNumber(out, std::int64_t{event.NewState()});
    AppendKey(out, "severity");
    AppendJsonNumber(out, std::int64_t{event.Severity()});
    AppendKey(out, "quality");
    AppendJsonNumber(out, std::int64_t{event.Quality()});
    AppendKey(out, "ackRequired");
    out += event.AckRequired() ? "true" : "false";
    AppendKey(out, "actor");
    AppendJsonString(out, event.ActorID());
    AppendKey(out, "message");
    AppendJsonString(out, event.Msg());
    AppendKey(out, "cookie");
    AppendJsonNumber(out, static_cast<std::int64_t>(static_cast<std::uint32_t>(event.Cookie())));
    AppendKey(out, "time");
    AppendTime(out, CalendarTicks(event.RawTime()));
    const std::uint64_t activeTicks = FileTimeTicks(event.RawActiveTime());
    AppendKey(out, "activeTime");
    AppendTime(out, CalendarTicks(event.RawActiveTime()));
    AppendKey(out, "activeTimeRaw");
    AppendJsonNumber(out, activeTicks);
    AppendKey(out, "attributes");
    AppendAttributes(out, *event.CustomProps());
    out += "}\n";
}

} // namespace zelk::monitor
