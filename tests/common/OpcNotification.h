#pragma once

// Notifications as a server hands them to an event sink, for the suites that feed the
// toolkit's events without a server.

#include "comholders.h"
#include "opc_ae.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace zelk::test {

// FILETIME of a UTC calendar time plus `ticks` hundred-nanosecond ticks.
FILETIME UtcFileTime(int year, int month, int day, int hour, int minute, int second,
                     std::int64_t ticks = 0);

// One notification as a server passes it to OnEvent. Null texts are passed as null
// pointers. Attribute values are owned here until an event takes them.
struct TNotification {
    QString Source;
    QString Message;
    QString Condition;
    QString Subcondition;
    QString Actor;
    WORD ChangeMask = 0;
    WORD NewState = 0;
    WORD Quality = OPC_QUALITY_GOOD;
    DWORD EventType = OPC_CONDITION_EVENT;
    DWORD Category = 0;
    DWORD Severity = 500;
    DWORD Cookie = 0;
    BOOL AckRequired = FALSE;
    FILETIME Time{};
    FILETIME ActiveTime{};
    std::vector<VARIANT> Attributes;

    TNotification() = default;
    TNotification(const TNotification&) = delete;
    TNotification& operator=(const TNotification&) = delete;
    ~TNotification();

    void AddAttribute(const zelk::com::ComVariant& value);
    // The record, pointing into this object.
    ONEVENTSTRUCT& Record();

private:
    ONEVENTSTRUCT FRecord{};
};

} // namespace zelk::test
