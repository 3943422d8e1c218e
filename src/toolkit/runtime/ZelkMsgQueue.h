#pragma once

// The message queue and worker thread every client component owns. Server callbacks
// arrive on threads the component does not control; they only post a message. The
// worker wakes, takes the messages out in posting order and hands each one to
// HandleMsg on the user-interface thread. The same worker is the component's periodic
// timer: each tick reaches HandleMsg as MSG_TIMER.
//
// A drain gives the UI thread back to its event loop after a short time slice and goes on
// at the next turn of the loop, so a flood never keeps the thread from painting, input and
// timers; the backlog (ZelkMsgQueueBacklog.h) slows a server down instead of letting the
// queue grow.

#include "Component.h"
#include "Persistent.h"
#include "Thread.h"
#include "ZelkMsgQueueBacklog.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// The complete set of message ids of the toolkit.
enum : std::int32_t {
    MSG_SERVER_SHUTDOWN = 1025, // IParam: shutdown reason code
    MSG_WRITE_COMPLETE = 1028,  // Data Access write completion
    MSG_TIMER = 1029,           // a timer tick; never queued
    MSG_DATA_CHANGE = 5634,     // Data Access data change
    MSG_EVENTS = 5635,          // IParam: client subscription handle; OParam: the events
    MSG_NOTIFY = 5636,          // IParam: a 32-bit value in the low half
    MSG_LOG = 5637,             // OParam: a TZelkLogMsg
    MSG_KEEPALIVE = 5638,       // IParam: the number of the keep-alive probe that answered
};

// The name of a message id ("MSG_EVENTS"), or its decimal text when it is not one of ours.
QString MsgIdName(std::int32_t MsgId);

// One queued message. Whoever takes it from the queue destroys it, after HandleMsg has
// returned; a handler that keeps the payload moves it out of OParam, otherwise the
// payload goes with the message.
class TZelkMsg : public TObject {
public:
    TZelkMsg() = default;
    TZelkMsg(std::int32_t AMsgId, std::int64_t AIParam, std::unique_ptr<TObject> AOParam)
        : MsgId(AMsgId), IParam(AIParam), OParam(std::move(AOParam)) {}

    std::int32_t MsgId = 0;
    std::int64_t IParam = 0;
    std::unique_ptr<TObject> OParam;
};

// The base of all toolkit components: it declares the two messaging operations.
class TZelkComponent : public TComponent {
    Q_OBJECT
public:
    explicit TZelkComponent(TComponent* AOwner = nullptr);

    // Handles one message. Nothing at this level.
    virtual void HandleMsg(TZelkMsg& Msg);
    // Queues one message, taking its payload. Nothing at this level: the payload is dropped.
    virtual void PostMsg(std::int32_t MessageId, std::int64_t IParam,
                         std::unique_ptr<TObject> OParam);
};

class TZelkHandleComponent;

// The worker of one TZelkHandleComponent. Created by the component and started at once.
class TZelkMsgThread : public TThread {
public:
    // The timer period that means "off" (the largest 32-bit signed value).
    static constexpr std::int32_t TimerOff = 2147483647;

    explicit TZelkMsgThread(TZelkHandleComponent* Owner);
    ~TZelkMsgThread() override;

    // Starts the period: a running wait ends, and the next ticks come every Msec ms
    // counted from now.
    void SetTimer(std::int32_t Msec);
    // Stops the timer without waking the thread: a wait that is already running ends in
    // one more tick.
    void KillTimer();
    // Wakes the thread once its event exists; before that its first drain picks up
    // whatever was posted.
    void SetEvent();

    // Dispatch on the user-interface thread (true, the default) or on the worker.
    std::atomic<bool> fUseSync{true};

protected:
    void Execute() override;

private:
    // Runs one operation of the owner on the dispatch thread. An exception it raises is
    // shown through ShowException on the UI thread; the worker goes on.
    void Dispatch(const std::function<void()>& Work);
    static std::int64_t MonotonicMs();

    TZelkHandleComponent* const fOwner;
    // The timer fields are written by the thread that calls SetTimer/KillTimer and read
    // by the worker; each is read and written whole.
    std::atomic<std::int32_t> fInitInterval{TimerOff};
    std::atomic<std::int32_t> fInterval{TimerOff};
    std::atomic<std::int64_t> fStart{0};
    // Created by the body when it starts and destroyed when it ends; the lock keeps
    // SetEvent from signalling an event that is going away.
    std::mutex fBreakEventLock;
    std::unique_ptr<TEvent> fBreakEvent;
};

// A component with a message queue, its lock and a worker thread.
class TZelkHandleComponent : public TZelkComponent {
    Q_OBJECT
public:
    explicit TZelkHandleComponent(TComponent* AOwner = nullptr);
    // Stops the worker, destroys the payloads of the messages still queued without
    // handling them, and waits for the worker (serving synchronized calls meanwhile).
    ~TZelkHandleComponent() override;

    // Callable from any thread; returns as soon as the message is queued.
    void PostMsg(std::int32_t MessageId, std::int64_t IParam,
                 std::unique_ptr<TObject> OParam) override;
    // Called once per timer tick by a subclass's HandleMsg. Nothing at this level.
    virtual void HandleTimer();
    // Chooses the dispatch thread for the next drain. Switching to the worker takes back
    // a drain that still waits for the UI thread, so the switch never waits for that
    // thread to serve it.
    virtual void UseSynchronize(bool Value);

    // How long a drain keeps the thread before it gives it back to the event loop.
    static constexpr std::chrono::milliseconds DrainSlice{8};
    // Hands the queued messages to HandleMsg for one time slice; what remains is handled
    // by the next drain, which follows at once (after the event loop's turn). An exception
    // from HandleMsg ends the drain at that message (which is lost). While the worker is
    // told to stop, every message is taken out and its payload destroyed unhandled.
    void DrainQueue();
    // Hands one MSG_TIMER message to HandleMsg directly.
    void TimerTick();

    // While held (the holds are counted), queued messages and timer ticks wait: the UI
    // thread then waits for a server call, and nothing may change what the operation
    // around that call works on. The last release wakes the worker for what waited.
    void HoldMessages() noexcept { ++fHeld; }
    void ReleaseMessages();

    TZelkMsgThread& WorkThread() const { return *fWorkThread; }
    // The backlog of the queue, for the sinks that feed it.
    const std::shared_ptr<TZelkMsgBacklog>& Backlog() const noexcept { return fBacklog; }

protected:
    // Null once the component has been torn down.
    std::unique_ptr<std::deque<std::unique_ptr<TZelkMsg>>> fMsgQueue;
    std::mutex fLock;
    std::unique_ptr<TZelkMsgThread> fWorkThread;
    // Counted under fLock, together with the queue.
    const std::shared_ptr<TZelkMsgBacklog> fBacklog = std::make_shared<TZelkMsgBacklog>();

private:
    bool Stopping() const;

    std::atomic<int> fHeld{0};
};
