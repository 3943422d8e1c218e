// How many notifications the simulated AE server makes and delivers per second in flood
// mode, to one subscription whose sink only counts: the simulator must never be what
// limits a client benchmark.
//
//   build/default/bench/bench_aesim --benchmark_counters_tabular=true

#include "ZelkAESim.h"
#include "activation.h"
#include "comobject.h"
#include "connpoint.h"
#include "opc_ae.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <thread>

namespace {

using namespace zelk::aesim;

class TCountingSink : public zelk::com::ComObject<TCountingSink, IOPCEventSink> {
public:
    HRESULT STDMETHODCALLTYPE OnEvent(OPCHANDLE, BOOL, BOOL, DWORD dwCount,
                                      ONEVENTSTRUCT*) override {
        Count.fetch_add(dwCount, std::memory_order_relaxed);
        return S_OK;
    }
    std::atomic<long long> Count{0};
};

// One subscription with the counting sink advised; false when anything failed.
bool Subscribe(IOPCEventServer* server, DWORD bufferTime, DWORD maxSize, TCountingSink* sink,
               ComPtr<IOPCEventSubscriptionMgt>& subscription) {
    ComPtr<IUnknown> unknown;
    DWORD revisedBufferTime = 0;
    DWORD revisedMaxSize = 0;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    return SUCCEEDED(server->CreateEventSubscription(TRUE, bufferTime, maxSize, 1,
                                                     IID_IOPCEventSubscriptionMgt, unknown.Put(),
                                                     &revisedBufferTime, &revisedMaxSize)) &&
           SUCCEEDED(unknown->QueryInterface(subscription.Put())) &&
           SUCCEEDED(unknown->QueryInterface(container.Put())) &&
           SUCCEEDED(container->FindConnectionPoint(IID_IOPCEventSink, point.Put())) &&
           SUCCEEDED(point->Advise(sink->GetUnknown(), &cookie));
}

// Flood mode as fast as the simulator's thread can go; each iteration waits for the next
// 10,000 deliveries. Arguments: buffer time (ms) and max size of the subscription.
void BM_FloodDelivery(benchmark::State& state) {
    TSimClassOptions options;
    options.Clock = TSimClockMode::RealTime;
    options.Flood = true;
    options.FloodRate = 0;
    options.RecordNotifications = false;
    TScopedAESimulator sim(options, QString(), false);
    sim->Faults().SetRecording(false);
    sim->StopRealTime(); // started once the subscription is in place

    ComPtr<IOPCEventServer> server;
    ComPtr<IOPCEventSubscriptionMgt> subscription;
    ComPtr<TCountingSink> sink = TCountingSink::Create();
    if (FAILED(CoCreateInstance(CLSID_ZelkAESimulator, nullptr, CLSCTX_LOCAL_SERVER,
                                IID_IOPCEventServer, server.PutVoid())) ||
        !Subscribe(server.Get(), static_cast<DWORD>(state.range(0)),
                   static_cast<DWORD>(state.range(1)), sink.Get(), subscription)) {
        state.SkipWithError("no subscription");
        return;
    }
    sim->StartRealTime();
    const long long first = sink->Count.load();
    for (auto _ : state) {
        const long long target = sink->Count.load() + 10'000;
        while (sink->Count.load(std::memory_order_relaxed) < target)
            std::this_thread::yield();
    }
    const long long delivered = sink->Count.load() - first;
    sim->StopRealTime();
    state.SetItemsProcessed(delivered);
    state.counters["notifications"] =
        benchmark::Counter(static_cast<double>(delivered), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FloodDelivery)
    ->Args({0, 0})
    ->Args({0, 100})
    ->Args({100, 1000})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
