#pragma once

// The state of one simulated subscription and its delivery: settings, filter, selected
// attributes, the queue of real-time notifications and the calls of a refresh. The
// subscription object owns it; the server reaches it as an ISimChannel (kept weakly).
//
// Threads: every method may be called from any thread. FMutex guards the state and is
// held only to read or change it: never while the server's catalog is asked, and never
// while a sink runs. One Pump at a time delivers; a Pump that finds another delivering
// leaves its work to that one, so the calls of a subscription never overlap and keep
// their order, and a sink may call back into the subscription (or pump it) from OnEvent.

#include "SimSubscriptionBatch.h"
#include "SimSubscriptionFilter.h"
#include "connpoint.h"

#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace zelk::aesim {

struct TSimSubscriptionState {
    bool Active = false;
    DWORD BufferTime = 0; // ms; the least time between two real-time calls
    DWORD MaxSize = 0;    // notifications per call; 0 = no limit
    DWORD ClientHandle = 0;
};

class TSimSubscriptionChannel final : public ISimChannel {
public:
    // `faults` (not owned; the server's, which outlives its subscriptions' channels) stops
    // deliveries while the server does not answer and counts what is delivered.
    explicit TSimSubscriptionChannel(const TSimSubscriptionState& initial,
                                     TSimFaults* faults = nullptr);
    ~TSimSubscriptionChannel() override;

    // ISimChannel.
    void Publish(TSimNotification notification) override;
    // Sends the pending refresh calls, then the real-time calls that are due: all queued
    // notifications once BufferTime has passed since the last real-time call (or before
    // the first one), in calls of at most MaxSize; and, sooner than that, every call that
    // MaxSize fills. Each call is made to the sink advised at that moment; a batch
    // without a sink, or whose call fails, is dropped.
    void Pump(TSimMillis now) override;
    void Disconnect() override;

    bool Disconnected() const;
    // The subscription object's sink point (not counted). The object clears it in its
    // destructor, before the point goes.
    void AttachSinkPoint(zelk::com::ConnectionPoint* point);

    TSimSubscriptionState State() const;
    // Changes what is given (null: unchanged) and always the client handle. Going
    // inactive drops the queue. Answers the settings now in force.
    TSimSubscriptionState SetState(const bool* active, const DWORD* bufferTime,
                                   const DWORD* maxSize, DWORD clientHandle);

    std::shared_ptr<const TSimEventFilter> Filter() const;
    void SetFilter(TSimEventFilter filter);
    std::shared_ptr<const TSimAttributeSelection> Selection() const;
    // `ids` replaces the category's selection; empty clears it.
    void Select(DWORD category, std::vector<DWORD> ids);

    // A refresh runs from BeginRefresh until its last call has returned from the sink.
    // OPC_E_BUSY while one runs, RPC_E_DISCONNECTED after Disconnect.
    HRESULT BeginRefresh();
    // Queues the conditions that pass the filter in calls of at most MaxSize, the last one
    // flagged; no condition gives one empty last call. After a cancel, only that empty
    // last call remains.
    void StartRefresh(const std::vector<TSimNotification>& conditions);
    // Ends a refresh whose conditions could not be gathered.
    void AbandonRefresh();
    // Replaces the refresh calls not yet made by one empty last call. E_FAIL when no
    // refresh runs.
    HRESULT CancelRefresh();

private:
    struct TCall {
        bool Refresh = false;
        bool LastRefresh = false;
        std::vector<TSimNotification> Events;
    };
    enum class TRefreshPhase { Idle, Preparing, Delivering };

    // Under FMutex: the next call due at FNow, taken out of the queue.
    bool TakeDueCall(TCall& call);
    // Outside every lock.
    void Deliver(TCall& call, const TSimAttributeSelection& selection, DWORD clientHandle);
    static std::deque<TCall> EmptyLastRefresh();

    mutable std::mutex FMutex;
    TSimSubscriptionState FState;
    std::shared_ptr<const TSimEventFilter> FFilter;
    std::shared_ptr<const TSimAttributeSelection> FSelection;
    std::deque<TSimNotification> FQueue;
    std::deque<TCall> FRefreshCalls;
    TRefreshPhase FRefreshPhase = TRefreshPhase::Idle;
    bool FRefreshCancelled = false;
    bool FDelivering = false;
    bool FDisconnected = false;
    TSimMillis FNow = 0;                     // the latest time any Pump was given
    std::optional<TSimMillis> FLastDelivery; // of the last real-time call

    // Recursive: releasing the sinks in Disconnect may destroy the subscription object on
    // this thread, and its destructor clears FSinkPoint under this lock.
    std::recursive_mutex FPointMutex;
    zelk::com::ConnectionPoint* FSinkPoint = nullptr; // guarded by FPointMutex; not counted
    TSimFaults* const FFaults;                        // not owned; may be null
};

} // namespace zelk::aesim
