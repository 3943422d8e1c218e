#include "ZelkServerCall.h"

#include "ShowException.h"
#include "Synchronize.h"
#include "ZelkClient.h"
#include "activation.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

namespace zelk::runtime {

namespace {

// A call that answers within this long is taken without spinning an event loop, so the
// common, quick call runs nothing re-entrantly.
constexpr std::chrono::milliseconds QuickAnswer{50};

std::atomic<int> gRunning{0};
// Calls the UI thread waits for right now (UI thread only).
int gWaiting = 0;

TZelkNotRespondingHandler& Handler() {
    static TZelkNotRespondingHandler handler;
    return handler;
}

// Drops user input while installed and not paused: a click or a key press while a call
// waits would start a second command inside the first.
class TInputBlocker : public QObject {
public:
    TInputBlocker() { QCoreApplication::instance()->installEventFilter(this); }
    ~TInputBlocker() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool Paused = false;

protected:
    bool eventFilter(QObject*, QEvent* Event) override {
        if (Paused)
            return false;
        switch (Event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }
};

tZelkBusyAnswer Ask(TZelkBusyCall& Call) {
    const TZelkNotRespondingHandler handler = Handler();
    if (!handler)
        return tZelkBusyAnswer::Wait;
    try {
        return handler(Call);
    } catch (const std::exception& e) {
        // A question that fails cannot decide for the operator: keep waiting.
        ShowException(e);
        return tZelkBusyAnswer::Wait;
    }
}

// Waits for State in a local event loop, asking the operator every BusyTimeout (counted
// from Started). False when the operator gave the call up.
bool WaitServingEvents(TZelkClient& Client, TZelkCallState& State,
                       std::chrono::steady_clock::time_point Started) {
    Client.HoldMessages();
    ++gWaiting;
    struct TRelease {
        TZelkClient& Client;
        ~TRelease() {
            --gWaiting;
            Client.ReleaseMessages();
        }
    } release{Client};

    TZelkBusyCall call(Client.ServerName());
    QEventLoop loop;
    QObject::connect(&call, &TZelkBusyCall::CallReturned, &loop, &QEventLoop::quit);
    State.OnFinished([&call] {
        QMetaObject::invokeMethod(&call, &TZelkBusyCall::MarkReturned, Qt::QueuedConnection);
    });
    // Before `call` goes: afterwards the call's thread can no longer reach it.
    struct TStopNotify {
        TZelkCallState& State;
        ~TStopNotify() { State.OnFinished({}); }
    } stopNotify{State};

    TInputBlocker blocker;
    bool gaveUp = false;
    QTimer ask;
    ask.setSingleShot(true);
    QObject::connect(&ask, &QTimer::timeout, &loop, [&] {
        if (call.Returned())
            return;
        // The question is modal: while it is open, its own modality keeps input away.
        blocker.Paused = true;
        const tZelkBusyAnswer answer = Ask(call);
        blocker.Paused = false;
        if (call.Returned())
            return;
        if (answer == tZelkBusyAnswer::Disconnect) {
            gaveUp = true;
            loop.quit();
        } else {
            ask.start(BusyTimeout);
        }
    });
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - Started);
    ask.start(std::max(std::chrono::milliseconds(0), BusyTimeout - waited));
    loop.exec();
    // A call that returned as the operator gave up is taken as returned.
    return !gaveUp || State.Finished();
}

// The operator gave up on the server: the client disconnects once the operation that
// waited has unwound, so nothing it still holds is taken away under it.
void DisconnectLater(TZelkClient& Client) {
    QTimer::singleShot(0, &Client, [client = &Client] {
        try {
            client->SetActive(false);
        } catch (const std::exception& e) {
            ShowException(e);
        }
    });
}

} // namespace

void TZelkBusyCall::MarkReturned() {
    FReturned = true;
    Q_EMIT CallReturned();
}

TZelkNotRespondingHandler SetNotRespondingHandler(TZelkNotRespondingHandler NewHandler) {
    return std::exchange(Handler(), std::move(NewHandler));
}

// ---- TZelkCallState ----

bool TZelkCallState::Finished() const {
    std::lock_guard lock(FLock);
    return FFinished;
}

std::exception_ptr TZelkCallState::Failure() const {
    std::lock_guard lock(FLock);
    return FFailure;
}

bool TZelkCallState::WaitFor(std::chrono::milliseconds Timeout) const {
    std::unique_lock lock(FLock);
    return FDone.wait_for(lock, Timeout, [this] { return FFinished; });
}

void TZelkCallState::OnFinished(std::function<void()> Notify) {
    std::lock_guard lock(FLock);
    if (FFinished) {
        if (Notify)
            Notify();
        return;
    }
    FNotify = std::move(Notify);
}

void TZelkCallState::Finish(std::exception_ptr Failure) {
    std::lock_guard lock(FLock);
    FFinished = true;
    FFailure = std::move(Failure);
    FDone.notify_all();
    if (FNotify)
        std::exchange(FNotify, nullptr)();
}

// ---- running calls ----

std::shared_ptr<TZelkCallState> StartCall(std::function<void()> Work) {
    auto state = std::make_shared<TZelkCallState>();
    ++gRunning;
    try {
        std::thread([state, work = std::move(Work)]() mutable {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            std::exception_ptr failure;
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            // What the work captured is released here, also when nobody waits for it any
            // more: a late result is freed by the thread that received it.
            work = nullptr;
            CoUninitialize();
            state->Finish(std::move(failure));
            state.reset();
            --gRunning;
        }).detach();
    } catch (...) {
        --gRunning;
        throw;
    }
    return state;
}

int RunningCalls() {
    return gRunning.load();
}

int WaitingCalls() {
    return gWaiting;
}

void CallServer(TZelkClient& Client, std::function<void()> Work) {
    if (!IsUIThread()) {
        Work();
        return;
    }
    const auto started = std::chrono::steady_clock::now();
    const std::shared_ptr<TZelkCallState> state = StartCall(std::move(Work));
    if (!state->WaitFor(QuickAnswer) && !WaitServingEvents(Client, *state, started)) {
        DisconnectLater(Client);
        throw EOPCNotResponding();
    }
    if (const std::exception_ptr failure = state->Failure())
        std::rethrow_exception(failure);
}

} // namespace zelk::runtime
