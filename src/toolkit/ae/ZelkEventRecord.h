#pragma once

// TZelkEventRecord: one notification as plain values, detached from the event server:
// the texts, numbers and raw FILETIMEs of the event, its category's name and its
// attributes already written as a JSON object (keyed by the category's attribute
// names). It is made on the user-interface thread while the event and the server's
// caches are at hand, and can then travel to another thread (a journal's writer) or be
// read back from storage. Both line forms of a notification are written from it, so the
// monitor's output and a journal's export agree field for field.

#include "comtypes.h"

#include <QString>
#include <cstdint>
#include <string>

class TZelkEvent;

struct TZelkEventRecord {
    int EventType = 0;
    int CategoryId = 0;
    QString CategoryName;
    QString Source;
    QString Condition;
    QString SubCondition;
    int ChangeMask = 0;
    int NewState = 0;
    int Severity = 0;
    int Quality = 0;
    bool AckRequired = false;
    QString Actor;
    QString Message;
    std::uint32_t Cookie = 0;
    FILETIME Time{};
    FILETIME ActiveTime{};
    // The attributes as one JSON object, "{}" without any.
    std::string AttributesJson = "{}";

    static TZelkEventRecord FromEvent(const TZelkEvent& event);
    bool operator==(const TZelkEventRecord& other) const;
};

namespace zelk::ae {

// "simple", "condition", "tracking" or "unknown".
const char* EventTypeName(int type);

// Local time with milliseconds, the state as ACT/ACK/ENA letters ("---" for a bit that
// is not set), severity, source, condition/sub-condition and message, in columns wide
// enough for the usual names. Control characters a server sends become blanks, so a
// line stays one line and cannot steer the terminal.
void AppendEventTextLine(std::string& out, const TZelkEventRecord& record);

// Every field of the record as one JSON object and a newline. "time" and "activeTime"
// are ISO 8601 UTC with seven digits of the second, from the FILETIMEs as received;
// "activeTimeRaw" is the active time's FILETIME as an integer.
void AppendEventJsonLine(std::string& out, const TZelkEventRecord& record);

// The attributes of `event` as a JSON object keyed by their names in the server's
// category list ("#<position>" when the list has none for a position).
void AppendEventAttributes(std::string& out, const TZelkEvent& event);

} // namespace zelk::ae
