#pragma once

// Server calls that may hang. A server can stop answering in the middle of a call; the
// thread that made the call would then hang with it. So a call that the user-interface
// thread makes for the operator runs on a thread of its own while the UI thread waits for
// it and keeps painting. The toolkit's operations stay synchronous for their callers:
//
//   const HRESULT answer = zelk::runtime::CallServer<HRESULT>(*this, [server, args] {
//       return server.Get()->AckCondition(...);
//   });
//
// The work runs on another thread and may outlive the caller (the operator can give up
// on it), so it captures by value only what it uses: the server interface through the
// global interface table (TZelkThreadIntf), copies of its arguments, owners of its
// results. Nothing on the caller's stack.
//
// While the UI thread waits:
// - the client's messages and timer ticks wait too, so no notification changes the event
//   list under the operation that waits, and no keep-alive tick runs in between;
// - user input (mouse, keys) is dropped, so no second command starts while one waits;
// - after BusyTimeout the not-responding handler is asked: Wait keeps waiting (the
//   question comes again after another BusyTimeout), Disconnect gives the call up. The
//   caller then gets EOPCNotResponding, and the client disconnects as soon as the
//   operation has unwound; the call finishes on its own thread, its late result ignored.
// Off the UI thread (a worker, or no application object) the work simply runs on the
// calling thread: nothing there can freeze a window.

#include "ZelkExceptions.h"

#include <QObject>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class TZelkClient;

// Raised to the caller of a server call that the operator gave up on ("Disconnect").
// The application's exception display stays quiet about it: the operator has answered.
class EOPCNotResponding : public EOPCServerException {
public:
    EOPCNotResponding() : EOPCServerException(QStringLiteral("Server is not responding")) {}
};

namespace zelk::runtime {

// What the operator chose when asked about a server that does not answer.
enum class tZelkBusyAnswer { Wait, Disconnect };

// One server call that has not returned in time, as the not-responding handler sees it.
// Lives on the UI thread while the handler runs.
class TZelkBusyCall : public QObject {
    Q_OBJECT
public:
    explicit TZelkBusyCall(const QString& Server) : FServer(Server) {}
    // The server's name, for the question.
    QString Server() const { return FServer; }
    // Whether the call has returned; the handler's answer is then not used.
    bool Returned() const noexcept { return FReturned; }
    // Called on the UI thread once the call has returned.
    void MarkReturned();

Q_SIGNALS:
    // The call returned while the handler asks: the handler closes its question.
    void CallReturned();

private:
    QString FServer;
    bool FReturned = false;
};

// Asked on the UI thread when a call has not returned after BusyTimeout. A handler that
// opens a modal question closes it when Call emits CallReturned.
using TZelkNotRespondingHandler = std::function<tZelkBusyAnswer(TZelkBusyCall& Call)>;

// Installs Handler and returns the one it replaces. Without a handler (headless programs)
// the answer is Wait: a call is waited for as long as it takes.
TZelkNotRespondingHandler SetNotRespondingHandler(TZelkNotRespondingHandler Handler);

// How long a call may take before the operator is asked.
inline constexpr std::chrono::milliseconds BusyTimeout{2000};

// What a call and its thread share. The thread finishes it; the caller waits for it or
// gives up on it.
class TZelkCallState {
public:
    // Whether the work has ended (returned or raised).
    bool Finished() const;
    // The exception the work raised; null when it returned.
    std::exception_ptr Failure() const;
    // Blocks until the work has ended or Timeout has passed; whether it has ended.
    bool WaitFor(std::chrono::milliseconds Timeout) const;
    // Called once, on the call's thread, when the work has ended (or at once when it
    // already has). Replaces what was set before; an empty function stops it. Runs under
    // the state's lock, so it only posts.
    void OnFinished(std::function<void()> Notify);

private:
    friend std::shared_ptr<TZelkCallState> StartCall(std::function<void()> Work);
    void Finish(std::exception_ptr Failure);

    mutable std::mutex FLock;
    mutable std::condition_variable FDone;
    bool FFinished = false;
    std::exception_ptr FFailure;
    std::function<void()> FNotify;
};

// Starts Work on a thread of its own (with COM initialised for it) and returns at once.
// The thread ends when Work does; it destroys Work (and what Work captured) itself.
std::shared_ptr<TZelkCallState> StartCall(std::function<void()> Work);

// Call threads still running, abandoned ones included; tests wait for 0.
int RunningCalls();
// Calls the UI thread is waiting for right now (UI thread only): a window does not close
// under one.
int WaitingCalls();

// Runs Work as described at the top, for Client; raises what Work raised, or
// EOPCNotResponding when the operator gave the call up.
void CallServer(TZelkClient& Client, std::function<void()> Work);

// The same for work with a result.
template <class R> R CallServer(TZelkClient& Client, std::function<R()> Work) {
    // Shared with the work, which may still write it after the caller gave up.
    auto result = std::make_shared<std::optional<R>>();
    CallServer(Client,
               std::function<void()>([result, work = std::move(Work)] { *result = work(); }));
    return std::move(**result);
}

} // namespace zelk::runtime
