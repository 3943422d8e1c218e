#include "ZelkMsgQueue.h"

#include "Exceptions.h"
#include "ScopeExit.h"
#include "ShowException.h"
#include "Synchronize.h"
#include "activation.h"

#include <QtDebug>
#include <chrono>
#include <cmath>

QString MsgIdName(std::int32_t MsgId) {
    switch (MsgId) {
    case MSG_SERVER_SHUTDOWN:
        return QStringLiteral("MSG_SERVER_SHUTDOWN");
    case MSG_WRITE_COMPLETE:
        return QStringLiteral("MSG_WRITE_COMPLETE");
    case MSG_TIMER:
        return QStringLiteral("MSG_TIMER");
    case MSG_DATA_CHANGE:
        return QStringLiteral("MSG_DATA_CHANGE");
    case MSG_EVENTS:
        return QStringLiteral("MSG_EVENTS");
    case MSG_NOTIFY:
        return QStringLiteral("MSG_NOTIFY");
    case MSG_LOG:
        return QStringLiteral("MSG_LOG");
    case MSG_KEEPALIVE:
        return QStringLiteral("MSG_KEEPALIVE");
    }
    return QString::number(MsgId);
}

// ---- TZelkComponent ----

TZelkComponent::TZelkComponent(TComponent* AOwner) : TComponent(AOwner) {}

void TZelkComponent::HandleMsg(TZelkMsg&) {}

void TZelkComponent::PostMsg(std::int32_t, std::int64_t, std::unique_ptr<TObject>) {}

// ---- TZelkMsgThread ----

TZelkMsgThread::TZelkMsgThread(TZelkHandleComponent* Owner) : fOwner(Owner) {
    fStart = MonotonicMs();
    Start();
}

TZelkMsgThread::~TZelkMsgThread() {
    TerminateAndWait();
}

std::int64_t TZelkMsgThread::MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TZelkMsgThread::SetTimer(std::int32_t Msec) {
    fInitInterval = Msec;
    fInterval = Msec;
    fStart = MonotonicMs();
    SetEvent();
}

void TZelkMsgThread::KillTimer() {
    fInitInterval = TimerOff;
    fInterval = TimerOff;
    fStart = MonotonicMs();
}

void TZelkMsgThread::SetEvent() {
    std::lock_guard guard(fBreakEventLock);
    if (fBreakEvent)
        fBreakEvent->SetEvent();
}

void TZelkMsgThread::Execute() {
    CoInitialize(nullptr);
    TEvent* breakEvent = nullptr;
    {
        std::lock_guard guard(fBreakEventLock);
        fBreakEvent = std::make_unique<TEvent>(true, false);
        breakEvent = fBreakEvent.get();
    }
    // Destroys the event and leaves the apartment also when the body raises.
    const zelk::rtl::ScopeExit cleanup([this] {
        {
            std::lock_guard guard(fBreakEventLock);
            fBreakEvent.reset();
        }
        CoUninitialize();
    });

    fStart = MonotonicMs();
    fInterval = fInitInterval.load();
    while (!Terminated()) {
        // Reset before the drain: a post during the drain leaves the event signalled, so
        // the wait below returns at once and no message waits for a later wake-up.
        breakEvent->ResetEvent();
        Dispatch([owner = fOwner] { owner->DrainQueue(); });
        if (Terminated())
            break;
        const TWaitResult result = breakEvent->WaitFor(fInterval.load());
        const std::int32_t period = fInitInterval.load();
        if (result != wrTimeout && period < TimerOff) {
            // A wake-up by a message does not move the period, it only shortens the wait.
            fInterval = static_cast<std::int32_t>(period - (MonotonicMs() - fStart.load()));
        }
        if (result == wrTimeout || fInterval.load() < 1) {
            fStart = MonotonicMs();
            fInterval = fInitInterval.load();
            Dispatch([owner = fOwner] { owner->TimerTick(); });
        }
    }
}

namespace {

// Shows an exception that escaped a message handler on the UI thread, where the
// application's handler (a message box) may show it.
void ShowOnUiThread(const std::exception& E) {
    if (IsUIThread()) {
        ShowException(E);
        return;
    }
    try {
        Synchronize([&E] { ShowException(E); });
    } catch (...) {
        // No UI thread to show it on any more: the default display writes the Qt log.
        qWarning().noquote() << E.what();
    }
}

void RunShowingExceptions(const std::function<void()>& Work) {
    try {
        Work();
    } catch (const std::exception& e) {
        ShowOnUiThread(e);
    } catch (...) {
        ShowOnUiThread(Exception(QStringLiteral("Unknown exception in a message handler")));
    }
}

} // namespace

void TZelkMsgThread::Dispatch(const std::function<void()>& Work) {
    if (Terminated())
        return;
    const std::function<void()> guarded = [&Work] { RunShowingExceptions(Work); };
    try {
        // A switch to the worker takes back a synchronized call that has not begun yet.
        if (fUseSync && zelk::rtl::SynchronizeUnless(guarded, [this] { return !fUseSync.load(); }))
            return;
    } catch (...) {
        // No application object to synchronize with: nothing ran, the next drain tries again.
        return;
    }
    if (!Terminated())
        guarded();
}

// ---- TZelkHandleComponent ----

TZelkHandleComponent::TZelkHandleComponent(TComponent* AOwner)
    : TZelkComponent(AOwner), fMsgQueue(std::make_unique<std::deque<std::unique_ptr<TZelkMsg>>>()) {
    fWorkThread = std::make_unique<TZelkMsgThread>(this);
}

TZelkHandleComponent::~TZelkHandleComponent() {
    fWorkThread->Terminate();
    fWorkThread->SetEvent();
    // No sink waits for a queue that nobody will drain.
    fBacklog->Close();
    // The worker has been told to stop: this destroys the queued payloads unhandled.
    DrainQueue();
    // Serves synchronized calls while waiting, so a worker inside a synchronized drain
    // can finish; the thread object stays reachable until the body has ended.
    fWorkThread->WaitFor();
    std::lock_guard guard(fLock);
    fMsgQueue.reset();
    fWorkThread.reset();
}

bool TZelkHandleComponent::Stopping() const {
    return !fWorkThread || fWorkThread->Terminated();
}

void TZelkHandleComponent::PostMsg(std::int32_t MessageId, std::int64_t IParam,
                                   std::unique_ptr<TObject> OParam) {
    auto message = std::make_unique<TZelkMsg>(MessageId, IParam, std::move(OParam));
    std::lock_guard guard(fLock);
    // After tear-down the message (and its payload) is dropped here.
    if (!fMsgQueue)
        return;
    fMsgQueue->push_back(std::move(message));
    fBacklog->Added();
    fWorkThread->SetEvent();
}

void TZelkHandleComponent::HandleTimer() {}

void TZelkHandleComponent::UseSynchronize(bool Value) {
    fWorkThread->fUseSync = Value;
    zelk::rtl::WakeSyncCallers();
}

void TZelkHandleComponent::ReleaseMessages() {
    if (--fHeld == 0 && fWorkThread)
        fWorkThread->SetEvent();
}

void TZelkHandleComponent::DrainQueue() {
    // Held: the release wakes the worker again, so nothing is left waiting.
    if (fHeld.load() > 0 && !Stopping())
        return;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const TZelkMsgBacklog::TDrainMark drain;
    // Whatever ends this drain, a message left behind is not left waiting for a later post
    // or tick: the worker goes round again.
    const zelk::rtl::ScopeExit wakeIfLeft([this] {
        std::lock_guard guard(fLock);
        if (fMsgQueue && !fMsgQueue->empty() && fWorkThread)
            fWorkThread->SetEvent();
    });
    for (;;) {
        std::unique_ptr<TZelkMsg> message;
        {
            std::lock_guard guard(fLock);
            if (!fMsgQueue || fMsgQueue->empty())
                return;
            message = std::move(fMsgQueue->front());
            fMsgQueue->pop_front();
            fBacklog->Taken();
        }
        if (Stopping()) {
            message->OParam.reset();
            continue;
        }
        HandleMsg(*message);
        if (Clock::now() - start >= DrainSlice)
            return;
    }
}

void TZelkHandleComponent::TimerTick() {
    if (Stopping() || fHeld.load() > 0)
        return;
    TZelkMsg tick(MSG_TIMER, 0, nullptr);
    HandleMsg(tick);
}
