#include "OpcNotification.h"

#include "OsHelpers.h"

#include <gtest/gtest.h>

namespace zelk::test {

namespace {

LPWSTR TextPointer(const QString& text) {
    return text.isNull() ? nullptr
                         : const_cast<LPWSTR>(reinterpret_cast<const OLECHAR*>(text.utf16()));
}

} // namespace

FILETIME UtcFileTime(int year, int month, int day, int hour, int minute, int second,
                     std::int64_t ticks) {
    SYSTEMTIME parts{};
    parts.wYear = static_cast<WORD>(year);
    parts.wMonth = static_cast<WORD>(month);
    parts.wDay = static_cast<WORD>(day);
    parts.wHour = static_cast<WORD>(hour);
    parts.wMinute = static_cast<WORD>(minute);
    parts.wSecond = static_cast<WORD>(second);
    FILETIME time{};
    EXPECT_TRUE(SystemTimeToFileTime(&parts, &time));
    const std::uint64_t total =
        ((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) +
        static_cast<std::uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(total & 0xFFFFFFFFu), static_cast<DWORD>(total >> 32)};
}

TNotification::~TNotification() {
    for (VARIANT& value : Attributes)
        VariantClear(&value);
}

void TNotification::AddAttribute(const zelk::com::ComVariant& value) {
    VARIANT copy;
    VariantInit(&copy);
    VariantCopy(&copy, value.Get());
    Attributes.push_back(copy);
}

ONEVENTSTRUCT& TNotification::Record() {
    FRecord = ONEVENTSTRUCT{};
    FRecord.wChangeMask = ChangeMask;
    FRecord.wNewState = NewState;
    FRecord.szSource = TextPointer(Source);
    FRecord.ftTime = Time;
    FRecord.szMessage = TextPointer(Message);
    FRecord.dwEventType = EventType;
    FRecord.dwEventCategory = Category;
    FRecord.dwSeverity = Severity;
    FRecord.szConditionName = TextPointer(Condition);
    FRecord.szSubconditionName = TextPointer(Subcondition);
    FRecord.wQuality = Quality;
    FRecord.bAckRequired = AckRequired;
    FRecord.ftActiveTime = ActiveTime;
    FRecord.dwCookie = Cookie;
    FRecord.dwNumEventAttrs = static_cast<DWORD>(Attributes.size());
    FRecord.pEventAttributes = Attributes.empty() ? nullptr : Attributes.data();
    FRecord.szActorID = TextPointer(Actor);
    return FRecord;
}

} // namespace zelk::test
