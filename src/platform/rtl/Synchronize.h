#pragma once

// Synchronized calls: run a function on the user-interface thread (the thread of the Qt
// application object) and wait for it.
//
// Pending calls sit in a queue of their own. A caller on another thread appends its call,
// makes sure one queued Qt event is on its way to the UI thread and blocks until its call
// has run. The event serves the calls that were queued when it arrived; a call queued
// while they run waits for the next turn of the event loop, so a worker that synchronizes
// again at once cannot keep the UI thread from its other events. A UI thread that waits for a
// worker through WaitServingSynchronize serves the queue while it waits, and nothing else: no other
// Qt event handler runs re-entrantly.
//
// Without a live application object there is no event loop to carry a call:
// - on the thread that ran the last application object, the call runs directly;
// - on any other thread (or before any application object exists) Synchronize raises
//   Exception("Synchronize: no application object to run the call").
// Calls still pending when the application object is destroyed are not run; their callers
// get that exception too. So a caller never waits for a loop that is gone.

#include <chrono>
#include <functional>

// Runs Method on the UI thread and returns when it has run. An exception that Method
// raises is raised again on the calling thread, with its type.
void Synchronize(const std::function<void()>& Method);

// Runs the pending synchronized calls (UI thread only; elsewhere it does nothing).
// Returns whether it ran any.
bool CheckSynchronize();

// Whether a synchronized call waits for the UI thread.
bool SynchronizePending();

// True on the thread of the live application object.
bool IsUIThread();

namespace zelk::rtl {

// Waits until Done() holds or Timeout passes; returns Done()'s last answer. On the UI
// thread it runs synchronized calls as they arrive. Done is evaluated with the queue lock
// held, so it must be cheap and must not call back into this module; whoever makes it
// true calls WakeSyncWaiters() afterwards. Timeout is saturated, so any value is safe.
bool WaitServingSynchronize(const std::function<bool()>& Done, std::chrono::milliseconds Timeout);

// Wakes every WaitServingSynchronize to look at its condition again.
void WakeSyncWaiters();

// Synchronize, unless Withdrawn() turns true while the call still waits for the UI thread:
// then the call is taken back unrun and the result is false. A call that the UI thread has
// begun runs to its end. Withdrawn is evaluated with the queue lock held, so it must be
// cheap; whoever makes it true calls WakeSyncCallers() afterwards.
bool SynchronizeUnless(const std::function<void()>& Method, const std::function<bool()>& Withdrawn);

// Wakes every caller of SynchronizeUnless to look at its condition again.
void WakeSyncCallers();

} // namespace zelk::rtl
