#include "RecordingEventSink.h"

#include "bstr.h"

namespace zelk::test {

QStringList TRecordedCall::Sources() const {
    QStringList sources;
    for (const auto& e : Events)
        sources << e.Source;
    return sources;
}

HRESULT TRecordingEventSink::OnEvent(OPCHANDLE hClientSubscription, BOOL bRefresh,
                                     BOOL bLastRefresh, DWORD dwCount, ONEVENTSTRUCT* pEvents) {
    if (++FInside > 1)
        Overlapped = true;
    TRecordedCall call{hClientSubscription, bRefresh, bLastRefresh, dwCount,
                       pEvents == nullptr,  {}};
    for (DWORD i = 0; pEvents && i < dwCount; ++i) {
        const ONEVENTSTRUCT& r = pEvents[i];
        TRecordedEvent e;
        e.ClientHandle = hClientSubscription;
        e.Refresh = bRefresh;
        e.NullText = !r.szSource || !r.szMessage || !r.szConditionName || !r.szSubconditionName ||
                     !r.szActorID;
        e.Source = zelk::com::ToQString(r.szSource);
        e.Message = zelk::com::ToQString(r.szMessage);
        e.Condition = zelk::com::ToQString(r.szConditionName);
        e.SubCondition = zelk::com::ToQString(r.szSubconditionName);
        e.Actor = zelk::com::ToQString(r.szActorID);
        e.ChangeMask = r.wChangeMask;
        e.NewState = r.wNewState;
        e.Time = r.ftTime;
        e.ActiveTime = r.ftActiveTime;
        e.EventType = r.dwEventType;
        e.Category = r.dwEventCategory;
        e.Severity = r.dwSeverity;
        e.Quality = r.wQuality;
        e.AckRequired = r.bAckRequired;
        e.Cookie = r.dwCookie;
        for (DWORD k = 0; r.pEventAttributes && k < r.dwNumEventAttrs; ++k)
            e.Attributes.emplace_back(r.pEventAttributes[k]);
        call.Events.push_back(std::move(e));
    }
    {
        std::lock_guard lock(FLock);
        FCalls.push_back(call);
    }
    if (OnCall)
        OnCall(call);
    --FInside;
    return Result.load();
}

std::vector<TRecordedCall> TRecordingEventSink::Calls() const {
    std::lock_guard lock(FLock);
    return FCalls;
}

std::vector<TRecordedEvent> TRecordingEventSink::Events() const {
    std::vector<TRecordedEvent> events;
    std::lock_guard lock(FLock);
    for (const auto& call : FCalls)
        events.insert(events.end(), call.Events.begin(), call.Events.end());
    return events;
}

std::vector<TRecordedEvent> TRecordingEventSink::Take() {
    std::vector<TRecordedCall> calls;
    {
        std::lock_guard lock(FLock);
        calls = std::exchange(FCalls, {});
    }
    std::vector<TRecordedEvent> events;
    for (auto& call : calls)
        for (auto& e : call.Events)
            events.push_back(std::move(e));
    return events;
}

QStringList TRecordingEventSink::Sources(bool refresh) const {
    QStringList sources;
    for (const auto& call : Calls())
        if ((call.Refresh != FALSE) == refresh)
            sources << call.Sources();
    return sources;
}

void TRecordingEventSink::Clear() {
    std::lock_guard lock(FLock);
    FCalls.clear();
}

} // namespace zelk::test
