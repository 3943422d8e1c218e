#include "SimFaults.h"

namespace zelk::aesim {

TSimFaults::~TSimFaults() {
    // A call still waiting here would outlive the object: wake it and let it leave.
    std::unique_lock lock(FLock);
    ++FReleaseGeneration;
    FWake.notify_all();
    FWake.wait(lock, [this] { return FWaiting == 0; });
}

bool TSimFaults::UseOne(int& Uses) {
    if (Uses == 0)
        return false;
    if (Uses > 0)
        --Uses;
    return true;
}

std::optional<HRESULT> TSimFaults::Enter(std::string_view Method) {
    std::unique_lock lock(FLock);
    if (FStopped)
        return RPC_E_DISCONNECTED;
    auto found = FInjections.find(Method);
    if (found == FInjections.end())
        return std::nullopt;

    // Take the uses before waiting, so concurrent calls each consume their own.
    TInjection& injection = found->second;
    const bool hold = injection.Hold && UseOne(injection.HoldUses);
    const bool delay = !hold && injection.Delay.count() > 0 && UseOne(injection.DelayUses);
    const std::chrono::milliseconds delayLength = injection.Delay;
    std::optional<HRESULT> result;
    if (injection.Result && UseOne(injection.ResultUses))
        result = injection.Result;

    if (hold || delay) {
        const unsigned generation = FReleaseGeneration;
        auto released = [&] { return FReleaseGeneration != generation; };
        ++FWaiting;
        if (hold)
            FWake.wait(lock, released);
        else
            FWake.wait_for(lock, delayLength, released);
        --FWaiting;
        FWake.notify_all();
        if (FStopped)
            return RPC_E_DISCONNECTED;
    }
    return result;
}

void TSimFaults::Record(std::string_view Method, const QString& Arguments) {
    std::lock_guard lock(FLock);
    if (FRecording)
        FCalls.push_back({std::string(Method), Arguments});
}

void TSimFaults::InjectResult(std::string_view Method, HRESULT Result, int Times) {
    std::lock_guard lock(FLock);
    TInjection& injection = FInjections[std::string(Method)];
    injection.Result = Result;
    injection.ResultUses = Times;
}

void TSimFaults::InjectDelay(std::string_view Method, std::chrono::milliseconds Delay, int Times) {
    std::lock_guard lock(FLock);
    TInjection& injection = FInjections[std::string(Method)];
    injection.Delay = Delay;
    injection.DelayUses = Times;
}

void TSimFaults::HoldCalls(std::string_view Method, int Times) {
    std::lock_guard lock(FLock);
    TInjection& injection = FInjections[std::string(Method)];
    injection.Hold = true;
    injection.HoldUses = Times;
}

void TSimFaults::ReleaseHeld() {
    std::lock_guard lock(FLock);
    for (auto& [method, injection] : FInjections) {
        injection.Hold = false;
        injection.HoldUses = 0;
    }
    ++FReleaseGeneration;
    FWake.notify_all();
}

int TSimFaults::WaitingCalls() const {
    std::lock_guard lock(FLock);
    return FWaiting;
}

void TSimFaults::OmitRecord(std::string_view Method, int Times) {
    std::lock_guard lock(FLock);
    FInjections[std::string(Method)].OmitUses = Times;
}

bool TSimFaults::TakeOmitRecord(std::string_view Method) {
    std::lock_guard lock(FLock);
    auto found = FInjections.find(Method);
    return found != FInjections.end() && UseOne(found->second.OmitUses);
}

void TSimFaults::ClearInjections() {
    std::lock_guard lock(FLock);
    FInjections.clear();
    ++FReleaseGeneration;
    FWake.notify_all();
}

void TSimFaults::StopAnswering() {
    std::lock_guard lock(FLock);
    FStopped = true;
    ++FReleaseGeneration;
    FWake.notify_all();
}

void TSimFaults::ResumeAnswering() {
    std::lock_guard lock(FLock);
    FStopped = false;
}

bool TSimFaults::Stopped() const {
    std::lock_guard lock(FLock);
    return FStopped;
}

std::vector<TSimCall> TSimFaults::Calls() const {
    std::lock_guard lock(FLock);
    return FCalls;
}

std::vector<TSimCall> TSimFaults::Calls(std::string_view Method) const {
    std::lock_guard lock(FLock);
    std::vector<TSimCall> calls;
    for (const TSimCall& call : FCalls)
        if (call.Method == Method)
            calls.push_back(call);
    return calls;
}

int TSimFaults::CallCount(std::string_view Method) const {
    std::lock_guard lock(FLock);
    int count = 0;
    for (const TSimCall& call : FCalls)
        count += call.Method == Method ? 1 : 0;
    return count;
}

void TSimFaults::ClearCalls() {
    std::lock_guard lock(FLock);
    FCalls.clear();
}

void TSimFaults::SetRecording(bool Enabled) {
    std::lock_guard lock(FLock);
    FRecording = Enabled;
}

} // namespace zelk::aesim
