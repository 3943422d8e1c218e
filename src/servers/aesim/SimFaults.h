#pragma once

// Fault injection and observation of a simulated server class (see SimCatalog.h for how
// the COM methods use it). Tests reach it through the simulator's control API.

#include "comtypes.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::aesim {

// One recorded call: the method ("Interface::Method") and its arguments in text form.
struct TSimCall {
    std::string Method;
    QString Arguments;
};

class TSimFaults {
public:
    // Called first by every COM method of the simulator; see SimCatalog.h.
    std::optional<HRESULT> Enter(std::string_view Method);
    // Records a call and its arguments (text form chosen by the method) for tests.
    void Record(std::string_view Method, const QString& Arguments);

    // The rest of the class (injecting results and delays, stopping the server, reading
    // the record) is the simulator's control API.

    // Number of uses meaning "every call from now on".
    static constexpr int Always = -1;

    ~TSimFaults();

    // The next `Times` calls of Method answer Result without doing their work.
    void InjectResult(std::string_view Method, HRESULT Result, int Times = 1);
    // The next `Times` calls of Method wait `Delay` before they go on (or answer an
    // injected result). A call waiting is woken early by ReleaseHeld and StopAnswering.
    void InjectDelay(std::string_view Method, std::chrono::milliseconds Delay, int Times = Always);
    // The next `Times` calls of Method wait until ReleaseHeld: a call that never
    // returns, without a fixed time in the test.
    void HoldCalls(std::string_view Method, int Times = Always);
    void ReleaseHeld();
    // Number of calls waiting in a delay or hold right now.
    int WaitingCalls() const;
    // The next `Times` calls of Method succeed without filling their optional out
    // record (GetStatus answering S_OK with a null status). The method asks with
    // TakeOmitRecord.
    void OmitRecord(std::string_view Method, int Times = 1);
    bool TakeOmitRecord(std::string_view Method);
    // Drops every injected result, delay, hold and omitted record.
    void ClearInjections();

    // Every call from now on answers RPC_E_DISCONNECTED and no subscription delivers
    // anything, as a crashed server would (its process goes on making notifications,
    // which are lost). ResumeAnswering lets the same objects answer and deliver again (a
    // network that comes back); TAESimulator::Restart is the restarted process instead.
    void StopAnswering();
    void ResumeAnswering();
    bool Stopped() const;

    // The notification records handed to clients' sinks so far, refreshes included.
    void CountDelivered(long long Records) noexcept { FDelivered += Records; }
    long long Delivered() const noexcept { return FDelivered.load(); }

    // The calls recorded so far, all of them or those of one method, oldest first.
    std::vector<TSimCall> Calls() const;
    std::vector<TSimCall> Calls(std::string_view Method) const;
    int CallCount(std::string_view Method) const;
    void ClearCalls();
    // Recording can be switched off for benchmarks.
    void SetRecording(bool Enabled);

private:
    struct TInjection {
        std::optional<HRESULT> Result;
        int ResultUses = 0;
        std::chrono::milliseconds Delay{0};
        int DelayUses = 0;
        bool Hold = false;
        int HoldUses = 0;
        int OmitUses = 0;
    };
    static bool UseOne(int& Uses);

    mutable std::mutex FLock;
    std::condition_variable FWake;
    std::map<std::string, TInjection, std::less<>> FInjections;
    std::vector<TSimCall> FCalls;
    bool FStopped = false;
    std::atomic<long long> FDelivered{0};
    bool FRecording = true;
    int FWaiting = 0;
    // Bumped by ReleaseHeld and StopAnswering so waiting calls see the change.
    unsigned FReleaseGeneration = 0;
};

} // namespace zelk::aesim
