#pragma once

// An event sink that keeps copies of everything a server sends it, for the suites that
// drive a server (or a subscription of one) and check what reached the client.

#include "comholders.h"
#include "comobject.h"
#include "opc_ae.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace zelk::test {

// One record of a call, its texts and values copied during the call.
struct TRecordedEvent {
    // Of the call that carried the record.
    OPCHANDLE ClientHandle = 0;
    BOOL Refresh = FALSE;

    QString Source;
    QString Message;
    QString Condition;
    QString SubCondition;
    QString Actor;
    bool NullText = false; // any text of the record was a null pointer
    WORD ChangeMask = 0;
    WORD NewState = 0;
    FILETIME Time{};
    FILETIME ActiveTime{};
    DWORD EventType = 0;
    DWORD Category = 0;
    DWORD Severity = 0;
    WORD Quality = 0;
    BOOL AckRequired = FALSE;
    DWORD Cookie = 0;
    std::vector<zelk::com::ComVariant> Attributes;
};

// One OnEvent call as the sink saw it.
struct TRecordedCall {
    OPCHANDLE ClientHandle = 0;
    BOOL Refresh = FALSE;
    BOOL LastRefresh = FALSE;
    DWORD Count = 0;
    bool NullArray = false;
    std::vector<TRecordedEvent> Events;
    QStringList Sources() const;
};

class TRecordingEventSink : public zelk::com::ComObject<TRecordingEventSink, IOPCEventSink> {
public:
    // May be called on any server thread, also by several at once (see Overlapped).
    HRESULT STDMETHODCALLTYPE OnEvent(OPCHANDLE hClientSubscription, BOOL bRefresh,
                                      BOOL bLastRefresh, DWORD dwCount,
                                      ONEVENTSTRUCT* pEvents) override;

    std::vector<TRecordedCall> Calls() const;
    // The records of every call so far, in the order received.
    std::vector<TRecordedEvent> Events() const;
    // The records received since the last Take or Clear; they are forgotten here.
    std::vector<TRecordedEvent> Take();
    // The sources of every real-time (or every refresh) record received, in order.
    QStringList Sources(bool refresh = false) const;
    void Clear();

    // What OnEvent answers after it has recorded the call.
    std::atomic<HRESULT> Result{S_OK};
    // Runs inside OnEvent after the call was recorded (a sink calling back).
    std::function<void(const TRecordedCall&)> OnCall;
    // Set when two calls were inside OnEvent at the same time.
    std::atomic<bool> Overlapped{false};

private:
    mutable std::mutex FLock;
    std::vector<TRecordedCall> FCalls;
    std::atomic<int> FInside{0};
};

} // namespace zelk::test
