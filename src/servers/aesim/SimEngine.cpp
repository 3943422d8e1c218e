#include "SimEngine.h"

#include "SimServer.h"
#include "opccomn.h"

#include <algorithm>

namespace zelk::aesim {

namespace {

constexpr std::chrono::milliseconds PumpInterval{50};
constexpr std::chrono::milliseconds FloodInterval{5};
// What the flood makes per turn when it has no rate to keep.
constexpr int FloodBurst = 500;

TSimPlantModel PlantModelOf(const TSimClassOptions& options) {
    if (options.PlantSize.IsDefault())
        return DefaultPlantModel();
    return GeneratedPlantModel(options.PlantSize.Areas, options.PlantSize.Sources, options.Seed);
}

} // namespace

TSimEngine::TSimEngine(TSimClassOptions options)
    : FOptions(std::move(options)), FClock(FOptions.Clock == TSimClockMode::Manual),
      FPlant(PlantModelOf(FOptions), FOptions.Seed, FClock), FFlood(FOptions.Flood),
      FFloodRate(FOptions.FloodRate) {}

TSimEngine::~TSimEngine() {
    StopRealTime();
}

void TSimEngine::PublishLocked(TSimNotifications& notifications) {
    if (notifications.empty())
        return;
    {
        std::lock_guard lock(FLock);
        // A crashed server's process may go on, but nothing of it reaches a client.
        if (FShutDown || FFaults.Stopped())
            return;
        if (FOptions.RecordNotifications) {
            for (const TSimNotification& n : notifications)
                FRecord.push_back(n);
            while (FRecord.size() > RecordLimit)
                FRecord.pop_front();
        }
    }
    FPublished += static_cast<long long>(notifications.size());
    const std::vector<std::shared_ptr<ISimChannel>> channels = Channels();
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const bool last = c + 1 == channels.size();
        for (TSimNotification& n : notifications)
            channels[c]->Publish(last ? std::move(n) : n);
    }
}

std::vector<std::shared_ptr<ISimChannel>> TSimEngine::Channels() const {
    std::vector<std::shared_ptr<ISimChannel>> channels;
    std::lock_guard lock(FLock);
    channels.reserve(FChannels.size());
    for (const std::weak_ptr<ISimChannel>& weak : FChannels)
        if (auto channel = weak.lock())
            channels.push_back(std::move(channel));
    return channels;
}

void TSimEngine::Pump() {
    if (FFaults.Stopped())
        return;
    const TSimMillis now = FClock.Now();
    for (const std::shared_ptr<ISimChannel>& channel : Channels())
        channel->Pump(now);
}

void TSimEngine::AdvanceClock(TSimMillis milliseconds) {
    FClock.Advance(milliseconds);
    Pump();
}

void TSimEngine::RunSteps(int count) {
    for (int i = 0; i < count; ++i) {
        FClock.Advance(FOptions.StepIntervalMs);
        Change([](TSimPlant& plant, TSimNotifications& out) {
            plant.Step(out);
            return true;
        });
    }
}

void TSimEngine::AddChannel(const std::shared_ptr<ISimChannel>& channel) {
    std::lock_guard lock(FLock);
    std::erase_if(FChannels, [](const std::weak_ptr<ISimChannel>& weak) { return weak.expired(); });
    FChannels.push_back(channel);
}

int TSimEngine::LiveChannels() const {
    return static_cast<int>(Channels().size());
}

void TSimEngine::AddServer(TSimEventServer* server) {
    std::lock_guard lock(FLock);
    FServers.push_back(server);
}

void TSimEngine::RemoveServer(TSimEventServer* server) {
    std::lock_guard lock(FLock);
    std::erase(FServers, server);
}

int TSimEngine::ServerObjects() const {
    std::lock_guard lock(FLock);
    return static_cast<int>(FServers.size());
}

void TSimEngine::Shutdown(const QString& reason) {
    // Server objects are only touched under FLock (each removes itself under it before it
    // goes), and the sinks are held by copies, so their last release happens below,
    // outside every lock.
    std::vector<ComPtr<IUnknown>> sinks;
    {
        std::lock_guard lock(FLock);
        if (FShutDown)
            return;
        for (TSimEventServer* server : FServers)
            for (ComPtr<IUnknown>& sink : server->ShutdownSinks())
                sinks.push_back(std::move(sink));
    }
    StopRealTime();
    for (const ComPtr<IUnknown>& sink : sinks)
        static_cast<IOPCShutdown*>(static_cast<void*>(sink.Get()))
            ->ShutdownRequest(reinterpret_cast<LPCWSTR>(reason.utf16()));

    FFaults.StopAnswering();
    {
        std::lock_guard lock(FLock);
        FShutDown = true;
        for (TSimEventServer* server : FServers) {
            for (ComPtr<IUnknown>& sink : server->ShutdownSinks())
                sinks.push_back(std::move(sink));
            server->Disconnect();
        }
    }
    for (const std::shared_ptr<ISimChannel>& channel : Channels())
        channel->Disconnect();
}

void TSimEngine::Restart() {
    // Sinks are released after the lock, as in Shutdown.
    std::vector<ComPtr<IUnknown>> sinks;
    {
        std::lock_guard lock(FLock);
        if (!FShutDown && !FFaults.Stopped())
            return;
        // The objects of the process that went are gone for their clients: they answer
        // RPC_E_DISCONNECTED for good, also once the class answers again.
        for (TSimEventServer* server : FServers) {
            for (ComPtr<IUnknown>& sink : server->ShutdownSinks())
                sinks.push_back(std::move(sink));
            server->Disconnect();
        }
        FShutDown = false;
    }
    for (const std::shared_ptr<ISimChannel>& channel : Channels())
        channel->Disconnect();
    FFaults.ResumeAnswering();
    StartRealTime();
}

bool TSimEngine::IsShutDown() const {
    std::lock_guard lock(FLock);
    return FShutDown;
}

std::vector<TSimNotification> TSimEngine::Notifications() const {
    std::lock_guard lock(FLock);
    return {FRecord.begin(), FRecord.end()};
}

void TSimEngine::ClearNotifications() {
    std::lock_guard lock(FLock);
    FRecord.clear();
}

// ---- Real-time mode ----

void TSimEngine::StartRealTime() {
    if (FClock.Manual())
        return;
    std::lock_guard lock(FLock);
    if (FThread.joinable() || FShutDown)
        return;
    FRun = std::make_shared<TRunState>();
    FThread = std::thread(&TSimEngine::RealTimeLoop, weak_from_this(), FRun);
}

void TSimEngine::StopRealTime() {
    std::thread thread;
    std::shared_ptr<TRunState> run;
    {
        std::lock_guard lock(FLock);
        thread = std::move(FThread);
        run = std::move(FRun);
    }
    if (run) {
        std::lock_guard lock(run->Lock);
        run->Stop = true;
        run->Wake.notify_all();
    }
    if (!thread.joinable())
        return;
    // The thread itself may end up here (its last reference to the engine went, or a sink
    // it called stopped the server): it sees Stop as soon as it comes back to its loop.
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

bool TSimEngine::RealTimeRunning() const {
    std::lock_guard lock(FLock);
    return FThread.joinable();
}

void TSimEngine::SetFlood(bool flood, int rate) {
    std::lock_guard lock(FLock);
    FFlood = flood;
    FFloodRate = std::max(rate, 0);
}

void TSimEngine::RealTimeLoop(std::weak_ptr<TSimEngine> weak, std::shared_ptr<TRunState> run) {
    for (;;) {
        std::chrono::milliseconds wait{0};
        {
            const std::shared_ptr<TSimEngine> engine = weak.lock();
            if (!engine)
                return;
            {
                std::lock_guard lock(run->Lock);
                if (run->Stop)
                    return;
            }
            wait = engine->RealTimeTurn();
        }
        std::unique_lock lock(run->Lock);
        if (wait.count() > 0)
            run->Wake.wait_for(lock, wait, [&] { return run->Stop; });
        if (run->Stop)
            return;
    }
}

std::chrono::milliseconds TSimEngine::RealTimeTurn() {
    const TSimMillis now = FClock.Now();
    bool flood = false;
    int rate = 0;
    {
        std::lock_guard lock(FLock);
        flood = FFlood;
        rate = FFloodRate;
    }
    if (flood) {
        int count = FloodBurst;
        if (rate > 0) {
            if (FLastFlood < 0)
                FLastFlood = now;
            FFloodCarry =
                std::min(FFloodCarry + static_cast<double>(now - FLastFlood) * rate / 1000.0,
                         static_cast<double>(rate));
            FLastFlood = now;
            count = static_cast<int>(FFloodCarry);
            FFloodCarry -= count;
        }
        if (count > 0)
            Change([count](TSimPlant& plant, TSimNotifications& out) {
                plant.Flood(count, out);
                return true;
            });
        else
            Pump();
        return rate > 0 ? FloodInterval : std::chrono::milliseconds(0);
    }
    FLastFlood = -1;
    if (now >= FNextStep) {
        Change([](TSimPlant& plant, TSimNotifications& out) {
            plant.Step(out);
            return true;
        });
        FNextStep = std::max(FNextStep + FOptions.StepIntervalMs, now);
    } else {
        Pump();
    }
    return std::min(PumpInterval,
                    std::chrono::milliseconds(std::max<TSimMillis>(FNextStep - now, 1)));
}

} // namespace zelk::aesim
