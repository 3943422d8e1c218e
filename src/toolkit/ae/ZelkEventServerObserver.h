#pragma once

// IZelkEventServerObserver: a listener that follows an event server beside the
// application's handlers, without taking any of them: it sees every batch of
// notifications as received (before the merge into the event list) and what the operator
// does through the component (acknowledgements with their per-condition results,
// refreshes, connects, disconnects) and what ends a connection (a server's shutdown
// request, a keep-alive time-out). A journal is one.
//
// Every call arrives on the user-interface thread. An observer must be quick and must
// not change the component from inside a call; whatever it throws is caught and dropped,
// so it cannot disturb the intake. It may remove itself (or another observer) from
// inside a call.

#include "comtypes.h"

#include <QString>
#include <memory>
#include <vector>

class TZelkEvent;
class TZelkEventServer;

// One condition of an acknowledgement sent to the server, with the server's answer for it
// (the call's own result for every condition when the call failed as a whole).
struct TZelkAckResult {
    QString Source;
    QString Condition;
    std::uint32_t Cookie = 0;
    FILETIME ActiveTime{};
    HRESULT Result = S_OK;
};

class IZelkEventServerObserver {
public:
    virtual ~IZelkEventServerObserver() = default;

    // One server callback's notifications in the order the server sent them; the events
    // are valid for the duration of the call only.
    virtual void EventsReceived(TZelkEventServer* /*Server*/,
                                const std::vector<std::unique_ptr<TZelkEvent>>& /*Events*/) {}
    // An AckCondition call has been answered (or has failed).
    virtual void Acknowledged(TZelkEventServer* /*Server*/, const QString& /*Who*/,
                              const QString& /*Comment*/,
                              const std::vector<TZelkAckResult>& /*Results*/) {}
    // The list was emptied and the server asked for its conditions again.
    virtual void Refreshed(TZelkEventServer* /*Server*/) {}
    virtual void Connected(TZelkEventServer* /*Server*/) {}
    virtual void Disconnected(TZelkEventServer* /*Server*/) {}
    // The server asked its clients to let go; Reason is the server's own text.
    virtual void ServerShutdown(TZelkEventServer* /*Server*/, const QString& /*Reason*/) {}
    // The server stopped answering the keep-alive probe; the component disconnects next.
    virtual void KeepAliveTimedOut(TZelkEventServer* /*Server*/) {}
    // The component is being destroyed: forget it. Nothing follows this call.
    virtual void ServerDestroyed(TZelkEventServer* /*Server*/) {}
};
