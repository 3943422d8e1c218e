#include "SimSubscriptionChannel.h"

#include "SimFaults.h"
#include "opcerror.h"

#include <algorithm>
#include <iterator>

namespace zelk::aesim {

TSimSubscriptionChannel::TSimSubscriptionChannel(const TSimSubscriptionState& initial,
                                                 TSimFaults* faults)
    : FState(initial), FFilter(std::make_shared<const TSimEventFilter>()),
      FSelection(std::make_shared<const TSimAttributeSelection>()), FFaults(faults) {}

TSimSubscriptionChannel::~TSimSubscriptionChannel() = default;

void TSimSubscriptionChannel::Publish(TSimNotification notification) {
    std::lock_guard lock(FMutex);
    if (FDisconnected || !FState.Active || !FFilter->Passes(notification))
        return;
    FQueue.push_back(std::move(notification));
}

void TSimSubscriptionChannel::Pump(TSimMillis now) {
    {
        std::lock_guard lock(FMutex);
        FNow = std::max(FNow, now);
        if (FDelivering || FDisconnected)
            return;
        FDelivering = true;
    }
    for (;;) {
        TCall call;
        std::shared_ptr<const TSimAttributeSelection> selection;
        DWORD clientHandle = 0;
        try {
            std::lock_guard lock(FMutex);
            // Cleared in the same hold that finds nothing due: a Pump that returned early
            // above has already moved FNow forward for this check.
            if (!TakeDueCall(call)) {
                FDelivering = false;
                return;
            }
            selection = FSelection;
            clientHandle = FState.ClientHandle;
        } catch (...) {
            std::lock_guard lock(FMutex);
            FDelivering = false;
            return;
        }
        try {
            Deliver(call, *selection, clientHandle);
        } catch (...) {
            // Out of memory while shaping the batch: it is dropped like a failed call.
        }
        if (call.LastRefresh) {
            std::lock_guard lock(FMutex);
            FRefreshPhase = TRefreshPhase::Idle;
        }
    }
}

bool TSimSubscriptionChannel::TakeDueCall(TCall& call) {
    if (!FRefreshCalls.empty()) {
        call = std::move(FRefreshCalls.front());
        FRefreshCalls.pop_front();
        return true;
    }
    if (FQueue.empty() || !FState.Active)
        return false;
    const bool intervalPassed = !FLastDelivery || FNow - *FLastDelivery >= FState.BufferTime;
    const bool full = FState.MaxSize > 0 && FQueue.size() >= FState.MaxSize;
    if (!intervalPassed && !full)
        return false;
    const std::size_t count =
        FState.MaxSize == 0 ? FQueue.size() : std::min<std::size_t>(FState.MaxSize, FQueue.size());
    call.Events.reserve(count);
    std::move(FQueue.begin(), FQueue.begin() + count, std::back_inserter(call.Events));
    FQueue.erase(FQueue.begin(), FQueue.begin() + count);
    FLastDelivery = FNow;
    return true;
}

void TSimSubscriptionChannel::Deliver(TCall& call, const TSimAttributeSelection& selection,
                                      DWORD clientHandle) {
    std::vector<ComPtr<IUnknown>> sinks;
    {
        std::lock_guard lock(FPointMutex);
        if (FSinkPoint)
            sinks = FSinkPoint->Sinks();
    }
    // A server that has stopped answering delivers nothing: what was due is lost with it.
    if (sinks.empty() || (FFaults && FFaults->Stopped()))
        return;
    TSimEventBatch batch(std::move(call.Events), selection);
    for (const auto& sink : sinks) {
        // The point holds each sink as its answer for IOPCEventSink.
        auto* eventSink = static_cast<IOPCEventSink*>(static_cast<void*>(sink.Get()));
        eventSink->OnEvent(clientHandle, call.Refresh ? TRUE : FALSE,
                           call.LastRefresh ? TRUE : FALSE, batch.Count(), batch.Records());
        if (FFaults)
            FFaults->CountDelivered(batch.Count());
    }
}

void TSimSubscriptionChannel::Disconnect() {
    std::deque<TSimNotification> queue; // released after the lock
    std::deque<TCall> refreshCalls;
    {
        std::lock_guard lock(FMutex);
        FDisconnected = true;
        queue.swap(FQueue);
        refreshCalls.swap(FRefreshCalls);
        FRefreshPhase = TRefreshPhase::Idle;
    }
    std::lock_guard lock(FPointMutex);
    if (FSinkPoint)
        FSinkPoint->UnadviseAll();
}

bool TSimSubscriptionChannel::Disconnected() const {
    std::lock_guard lock(FMutex);
    return FDisconnected;
}

void TSimSubscriptionChannel::AttachSinkPoint(zelk::com::ConnectionPoint* point) {
    std::lock_guard lock(FPointMutex);
    FSinkPoint = point;
}

TSimSubscriptionState TSimSubscriptionChannel::State() const {
    std::lock_guard lock(FMutex);
    return FState;
}

TSimSubscriptionState TSimSubscriptionChannel::SetState(const bool* active, const DWORD* bufferTime,
                                                        const DWORD* maxSize, DWORD clientHandle) {
    std::deque<TSimNotification> dropped; // released after the lock
    std::lock_guard lock(FMutex);
    if (active) {
        FState.Active = *active;
        if (!FState.Active)
            dropped.swap(FQueue);
    }
    if (bufferTime)
        FState.BufferTime = *bufferTime;
    if (maxSize)
        FState.MaxSize = *maxSize;
    FState.ClientHandle = clientHandle;
    return FState;
}

std::shared_ptr<const TSimEventFilter> TSimSubscriptionChannel::Filter() const {
    std::lock_guard lock(FMutex);
    return FFilter;
}

void TSimSubscriptionChannel::SetFilter(TSimEventFilter filter) {
    auto replacement = std::make_shared<const TSimEventFilter>(std::move(filter));
    std::lock_guard lock(FMutex);
    FFilter.swap(replacement);
}

std::shared_ptr<const TSimAttributeSelection> TSimSubscriptionChannel::Selection() const {
    std::lock_guard lock(FMutex);
    return FSelection;
}

void TSimSubscriptionChannel::Select(DWORD category, std::vector<DWORD> ids) {
    std::lock_guard lock(FMutex);
    auto selection = std::make_shared<TSimAttributeSelection>(*FSelection);
    if (ids.empty())
        selection->erase(category);
    else
        (*selection)[category] = std::move(ids);
    FSelection = std::move(selection);
}

HRESULT TSimSubscriptionChannel::BeginRefresh() {
    std::lock_guard lock(FMutex);
    if (FDisconnected)
        return RPC_E_DISCONNECTED;
    if (FRefreshPhase != TRefreshPhase::Idle)
        return OPC_E_BUSY;
    FRefreshPhase = TRefreshPhase::Preparing;
    FRefreshCancelled = false;
    return S_OK;
}

std::deque<TSimSubscriptionChannel::TCall> TSimSubscriptionChannel::EmptyLastRefresh() {
    std::deque<TCall> calls(1);
    calls.front().Refresh = true;
    calls.front().LastRefresh = true;
    return calls;
}

void TSimSubscriptionChannel::StartRefresh(const std::vector<TSimNotification>& conditions) {
    const auto filter = Filter();
    const DWORD maxSize = State().MaxSize;
    std::deque<TCall> calls;
    for (const auto& condition : conditions) {
        if (!filter->Passes(condition))
            continue;
        if (calls.empty() || (maxSize > 0 && calls.back().Events.size() >= maxSize))
            calls.push_back(TCall{true, false, {}});
        calls.back().Events.push_back(condition);
    }
    if (calls.empty())
        calls = EmptyLastRefresh();
    calls.back().LastRefresh = true;

    std::lock_guard lock(FMutex);
    if (FDisconnected || FRefreshPhase != TRefreshPhase::Preparing)
        return;
    FRefreshCalls = FRefreshCancelled ? EmptyLastRefresh() : std::move(calls);
    FRefreshPhase = TRefreshPhase::Delivering;
}

void TSimSubscriptionChannel::AbandonRefresh() {
    std::lock_guard lock(FMutex);
    if (FRefreshPhase == TRefreshPhase::Preparing)
        FRefreshPhase = TRefreshPhase::Idle;
}

HRESULT TSimSubscriptionChannel::CancelRefresh() {
    std::deque<TCall> dropped; // released after the lock
    std::lock_guard lock(FMutex);
    switch (FRefreshPhase) {
    case TRefreshPhase::Idle:
        return E_FAIL;
    case TRefreshPhase::Preparing:
        FRefreshCancelled = true;
        return S_OK;
    case TRefreshPhase::Delivering:
        // When the last call is already on its way there is nothing left to replace.
        if (!FRefreshCalls.empty()) {
            dropped.swap(FRefreshCalls);
            FRefreshCalls = EmptyLastRefresh();
        }
        return S_OK;
    }
    return E_FAIL;
}

} // namespace zelk::aesim
