// The cost of posting into a component's queue and of draining it on the UI thread.
//
//   ./zelk bench                 (all benchmark programs)
//   build/default/bench/bench_msgqueue --benchmark_counters_tabular=true

#include "BenchMain.h"
#include "ZelkComn.h"

#include <QCoreApplication>
#include <atomic>
#include <benchmark/benchmark.h>
#include <thread>
#include <vector>

namespace {

class TCountingComponent : public TZelkHandleComponent {
public:
    void HandleMsg(TZelkMsg&) override { Handled.fetch_add(1, std::memory_order_relaxed); }
    std::atomic<long long> Handled{0};
};

// One post from each of `threads` threads into one component: the cost a server
// callback pays. Handling runs on the worker meanwhile (no UI thread is involved).
void BM_PostMsg(benchmark::State& state) {
    static TCountingComponent* component = nullptr;
    if (state.thread_index() == 0) {
        component = new TCountingComponent;
        component->UseSynchronize(false);
    }
    for (auto _ : state)
        component->PostMsg(MSG_NOTIFY, 1, nullptr);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        delete component;
        component = nullptr;
    }
}
BENCHMARK(BM_PostMsg)->Threads(1)->Threads(4)->UseRealTime();

// Four threads post `range(0)` messages each; the UI thread drains them through the
// worker's synchronized calls until all are handled. Reports messages per second.
void BM_PostAndDrainOnUIThread(benchmark::State& state) {
    const long long perThread = state.range(0);
    for (auto _ : state) {
        TCountingComponent component;
        std::vector<std::thread> posters;
        for (int t = 0; t < 4; ++t)
            posters.emplace_back([&] {
                for (long long i = 0; i < perThread; ++i)
                    component.PostMsg(MSG_NOTIFY, i, nullptr);
            });
        while (component.Handled.load(std::memory_order_relaxed) < 4 * perThread)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (auto& poster : posters)
            poster.join();
    }
    state.SetItemsProcessed(state.iterations() * 4 * perThread);
}
BENCHMARK(BM_PostAndDrainOnUIThread)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    return zelk::bench::RunBenchmarks(argc, argv, false);
}
