#pragma once

// Components and payloads of the message queue suites.

#include "Synchronize.h"
#include "ZelkComn.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zelk::msgtest {

// A payload that counts its destructions, to prove that no payload leaks or is freed twice.
struct TCountedPayload : TObject {
    explicit TCountedPayload(std::atomic<int>& destroyed) : Destroyed(destroyed) {}
    ~TCountedPayload() override { ++Destroyed; }
    std::atomic<int>& Destroyed;
};

// Records what reaches HandleMsg, and on which thread.
class TRecordingComponent : public TZelkHandleComponent {
public:
    using TZelkHandleComponent::TZelkHandleComponent;

    void HandleMsg(TZelkMsg& Msg) override {
        std::lock_guard guard(Lock);
        if (Msg.MsgId == MSG_TIMER) {
            TickTimes.push_back(std::chrono::steady_clock::now());
            if (ThrowOnTick)
                throw Exception(QStringLiteral("tick failed"));
            return;
        }
        Handled.push_back(Msg.IParam);
        OnUIThread.push_back(IsUIThread());
        if (Msg.IParam == ThrowOn)
            throw Exception(QStringLiteral("handler failed"));
    }

    std::size_t HandledCount() {
        std::lock_guard guard(Lock);
        return Handled.size();
    }
    std::size_t TickCount() {
        std::lock_guard guard(Lock);
        return TickTimes.size();
    }

    std::mutex Lock;
    std::vector<std::int64_t> Handled;
    std::vector<bool> OnUIThread;
    std::vector<std::chrono::steady_clock::time_point> TickTimes;
    std::int64_t ThrowOn = -1;
    bool ThrowOnTick = false;
};

// Waits for `condition` on this thread without processing any event, so that nothing
// queued for the UI thread runs meanwhile.
inline bool WaitWithoutEvents(const std::function<bool()>& condition,
                              std::chrono::seconds timeout = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace zelk::msgtest
