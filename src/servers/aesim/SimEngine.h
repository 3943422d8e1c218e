#pragma once

// One registered simulator class at run time: its plant and clock, its fault injection,
// the subscriptions' channels, the server objects of its clients, and the real-time
// thread. Server objects and the class factory share it; tests reach it through
// TAESimulator (ZelkAESim.h).
//
// Publishing: a plant change runs under FPublishLock, so the notifications of concurrent
// changes reach every channel in the order the plant made them; then every channel is
// pumped with no lock of the engine held, because pumping calls the clients' sinks and a
// sink may call straight back into the server.

#include "SimCatalog.h"
#include "SimClock.h"
#include "SimFaults.h"
#include "SimOptions.h"
#include "SimPlant.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zelk::aesim {

class TSimEventServer;

class TSimEngine : public std::enable_shared_from_this<TSimEngine> {
public:
    explicit TSimEngine(TSimClassOptions options);
    ~TSimEngine();
    TSimEngine(const TSimEngine&) = delete;
    TSimEngine& operator=(const TSimEngine&) = delete;

    const TSimClassOptions& Options() const noexcept { return FOptions; }
    TSimFaults& Faults() noexcept { return FFaults; }
    TSimClock& Clock() noexcept { return FClock; }
    // For reading; changes go through Change.
    const TSimPlant& Plant() const noexcept { return FPlant; }

    // Runs `change(plant, out)`, publishes what it appended to `out`, then pumps.
    template <class Fn> auto Change(Fn&& change) {
        TSimNotifications out;
        std::unique_lock publishing(FPublishLock);
        auto result = change(FPlant, out);
        PublishLocked(out);
        publishing.unlock();
        Pump();
        return result;
    }
    // Delivers what is due now on every channel.
    void Pump();

    // ---- Manual clock.
    void AdvanceClock(TSimMillis milliseconds);
    // `count` process steps, each one step interval on the manual clock.
    void RunSteps(int count);

    // ---- Subscriptions and server objects.
    void AddChannel(const std::shared_ptr<ISimChannel>& channel);
    int LiveChannels() const;
    void AddServer(TSimEventServer* server);
    void RemoveServer(TSimEventServer* server);
    int ServerObjects() const;

    // ---- Shutdown: every client is told, then every object of the class answers
    // RPC_E_DISCONNECTED. Restart lets new objects work again.
    void Shutdown(const QString& reason);
    void Restart();
    bool IsShutDown() const;

    // ---- Record of what was published (the newest RecordLimit).
    static constexpr std::size_t RecordLimit = 10'000;
    std::vector<TSimNotification> Notifications() const;
    void ClearNotifications();
    long long PublishedCount() const noexcept { return FPublished.load(); }

    // ---- Real-time mode (ignored for a manual clock).
    void StartRealTime();
    void StopRealTime();
    bool RealTimeRunning() const;
    // Flood mode: `rate` notifications per second, 0 for as many as the thread can make.
    void SetFlood(bool flood, int rate);

private:
    struct TRunState {
        std::mutex Lock;
        std::condition_variable Wake;
        bool Stop = false;
    };

    // Hands the notifications to every channel; the last one takes them over.
    void PublishLocked(TSimNotifications& notifications);
    std::vector<std::shared_ptr<ISimChannel>> Channels() const;
    // One turn of the real-time thread; returns how long to wait before the next.
    std::chrono::milliseconds RealTimeTurn();
    static void RealTimeLoop(std::weak_ptr<TSimEngine> engine, std::shared_ptr<TRunState> run);

    const TSimClassOptions FOptions;
    TSimFaults FFaults;
    TSimClock FClock;
    TSimPlant FPlant;

    std::mutex FPublishLock;

    mutable std::mutex FLock; // guards everything below
    std::vector<std::weak_ptr<ISimChannel>> FChannels;
    std::vector<TSimEventServer*> FServers; // not counted: each removes itself as it goes
    bool FShutDown = false;
    std::deque<TSimNotification> FRecord;
    bool FFlood = false;
    int FFloodRate = 0;
    std::shared_ptr<TRunState> FRun;
    std::thread FThread;
    // Real-time bookkeeping, touched only by the real-time thread.
    TSimMillis FNextStep = 0;
    TSimMillis FLastFlood = -1;
    double FFloodCarry = 0.0;

    std::atomic<long long> FPublished{0};
};

} // namespace zelk::aesim
