#pragma once

// TZelkEventSubscription: the client end of one server event subscription. It keeps the
// server's IOPCEventSubscriptionMgt, is advised as IOPCEventSink on the subscription's
// connection point, and turns every OnEvent call into one MSG_EVENTS batch posted to the
// event server.
//
// Lifetime: the server's connection point holds the sink while it is advised, and the
// owning filter holds a reference of its own; the sink holds EventMgt. UnAdvise breaks
// that cycle, and the subscription ends on the server when the last reference goes.
//
// Threads: OnEvent arrives on a server thread; everything else runs on the
// user-interface thread. When the event server's queue is backlogged, OnEvent waits
// before it queues more (ZelkMsgQueueBacklog.h); un-advising releases it.

#include "ZelkComn.h"
#include "ZelkEventRecycler.h"
#include "objbase.h"
#include "opc_ae.h"

#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class TZelkEventServer;

// What a new subscription asks the server for.
struct TZelkSubscriptionRequest {
    // Buffer time in milliseconds and events per callback (0: no limit), as requested.
    int BufferTime = 0;
    int MaxSize = 0;
    // Whether the activating SetState asks for these values again rather than for the
    // server's revision of them: the default filter's subscription does.
    bool AskAgainOnActivation = false;
};

class TZelkEventSubscription : public zelk::com::ComObject<TZelkEventSubscription, IOPCEventSink> {
public:
    // Creates the server subscription (inactive, asking for Request's buffer time and max
    // size; an event server passes its own Buffertime and MaxSize), advises this sink and selects
    // every known attribute of every category. A failing CreateEventSubscription raises
    // EOPCException "can not create a event subscription"; a failing SetState or
    // SelectReturnedAttributes raises through OPCCheck, after the sink has been un-advised again. A
    // failing Advise raises nothing: it is left in RetCode and the subscription receives no events.
    static ComPtr<TZelkEventSubscription> Create(TZelkEventServer* aOPCEventServer,
                                                 const TZelkSubscriptionRequest& Request);
    ~TZelkEventSubscription() override;

    // Sends a filter. Category names are mapped to the event server's category ids
    // (exact names, first match); unknown names are dropped. A refusal with SeverityLow 0
    // is retried once with 1; any other failure raises through OPCCheck.
    void SetFilter(DWORD EventType, DWORD SeverityLow, DWORD SeverityHigh,
                   const QStringList& Categories, const QStringList& Areas,
                   const QStringList& Sources);
    // Asks for every known attribute of every category that has attributes.
    void SelectReturnedAttributes();
    // An active subscription asks the server to send every condition again; E_NOTIMPL is
    // not an error. True when the server took the request, so that its calls end with one
    // marked as the last of the refresh.
    bool Refresh();
    // Deactivates the subscription and removes the sink from the connection point, once;
    // the subscription is never used again (EventMgt is released). The sink is removed
    // and stops posting also when the deactivation raises; that exception goes on
    // afterwards.
    void UnAdvise();
    // SetState with these requested values; stores the values the server revised.
    void UpdateState(bool Active, int BufferTime, int MaxSize);

    // The active state last sent to the server.
    bool Active() const noexcept { return FActive; }
    // Only while the event server is connected and Value differs.
    void SetActive(bool Value);
    // The server's revised values.
    int BufferTime() const noexcept { return FBufferTime; }
    void SetBufferTime(int Value);
    int MaxSize() const noexcept { return FMaxSize; }
    void SetMaxSize(int Value);
    int Tag() const noexcept { return FTag; }
    void SetTag(int Value) noexcept { FTag = Value; }
    // The connection-point cookie; 0 until advised.
    int Cookie() const noexcept { return FCookie; }
    // The result of Advise; -1 once un-advised.
    HRESULT RetCode() const noexcept { return FRetCode; }
    IOPCEventSubscriptionMgt* EventMgt() const noexcept { return FEventMgt.Get(); }
    // Null once the subscription has been un-advised.
    TZelkEventServer* OPCServer() const;

    // Builds one event per record and posts them, in batches of at most
    // TZelkMsgBacklog::MaxBatch, as MSG_EVENTS (IParam: the client handle). Before each
    // batch it waits while the event server's queue is backlogged, except on the UI
    // thread. Before each batch it destroys the events the list has let go since (on this
    // thread, which built them). The last call of a refresh marks its last batch (an empty one when
    // the call brings no records). Always S_OK; posts nothing after UnAdvise, nor for zero records
    // outside the end of a refresh.
    HRESULT STDMETHODCALLTYPE OnEvent(OPCHANDLE hClientSubscription, BOOL bRefresh,
                                      BOOL bLastRefresh, DWORD dwCount,
                                      ONEVENTSTRUCT* pEvents) override;

private:
    friend class zelk::com::ComObject<TZelkEventSubscription, IOPCEventSink>;

    explicit TZelkEventSubscription(TZelkEventServer* aOPCEventServer);

    void CreateOnServer(const TZelkSubscriptionRequest& Request);
    HRESULT Advise();
    // Lets an OnEvent that waits for room in the queue go, now and from now on.
    void StopWaiting() noexcept;
    // Removes the sink from the connection point, releases EventMgt and stops OnEvent
    // from posting.
    void Disconnect() noexcept;

    std::int32_t FCookie = 0;
    ComPtr<IOPCEventSubscriptionMgt> FEventMgt;
    // Not counted. Written on the user-interface thread under FServerLock and read by
    // OnEvent under it; Disconnect clears it, so no call that is still running on a server
    // thread reaches an event server that is going away.
    TZelkEventServer* FOPCServer;
    mutable std::mutex FServerLock;
    // Shared with the event server, which may go while a server thread waits on it.
    const std::shared_ptr<TZelkMsgBacklog> FBacklog;
    // The events the list let go, destroyed here before each batch is built.
    const std::shared_ptr<TZelkEventRecycler> FRecycler;
    std::atomic<bool> FReleased{false};
    bool FActive = false;
    HRESULT FRetCode = 0;
    std::int32_t FMaxSize = 0;
    std::int32_t FBufferTime = 0;
    std::int32_t FTag = 0;
};
