// The whole intake path of the event server connected to the simulated server: a
// server thread calls the subscription's IOPCEventSink::OnEvent with a batch of 1,000
// notifications, the sink builds the events and posts them, the user-interface thread
// merges them into a list of 10,000 live conditions and closes the update bracket.
//
//   build/default/bench/bench_aeintake --benchmark_counters_tabular=true
//
// Counters: items_per_second (notifications merged per second), the latency from the
// server's call to OnEndUpdate (median and 99th percentile), and how long the server's
// OnEvent call took (median and maximum).

#include "BenchMain.h"
#include "ZelkAE.h"
#include "ZelkAESim.h"
#include "objbase.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <chrono>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const OLECHAR* Text(const QString& s) {
    return reinterpret_cast<const OLECHAR*>(s.utf16());
}

// The records of one server callback and the texts and values they point to. Events
// take the attribute values out of the records; Refill puts them back between rounds.
class TServerBatch {
public:
    // One notification for each of the conditions numbered in `conditions`.
    TServerBatch(const std::vector<int>& conditions, std::mt19937& random)
        : FRecords(conditions.size()), FAttributes(conditions.size()) {
        for (int condition : conditions)
            FSources.push_back(
                QStringLiteral("Plant.Area%1.Tank%2").arg(condition % 100).arg(condition));
        Refill(random);
    }
    ~TServerBatch() {
        for (auto& values : FAttributes)
            for (VARIANT& value : values)
                VariantClear(&value);
    }
    TServerBatch(const TServerBatch&) = delete;
    TServerBatch& operator=(const TServerBatch&) = delete;

    void Refill(std::mt19937& random) {
        for (std::size_t i = 0; i < FRecords.size(); ++i) {
            ONEVENTSTRUCT& record = FRecords[i];
            record = ONEVENTSTRUCT{};
            record.szSource = const_cast<LPWSTR>(Text(FSources[i]));
            record.szConditionName = const_cast<LPWSTR>(Text(FCondition));
            record.szSubconditionName = const_cast<LPWSTR>(Text(FSubcondition));
            record.szMessage = const_cast<LPWSTR>(Text(FMessage));
            record.wChangeMask = OPC_CHANGE_ACTIVE_STATE;
            record.wNewState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
            record.dwEventType = OPC_CONDITION_EVENT;
            record.dwEventCategory = 10;
            record.dwSeverity = 500 + random() % 400;
            record.wQuality = OPC_QUALITY_GOOD;
            const std::uint64_t ticks = 133589664000000000ull + random() % 864000000000ull;
            record.ftTime = FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
            record.ftActiveTime = record.ftTime;
            record.bAckRequired = TRUE;
            auto& values = FAttributes[i];
            for (VARIANT& value : values)
                VariantClear(&value);
            values[0].vt = VT_R8;
            values[0].dblVal = 80.5;
            values[1].vt = VT_R8;
            values[1].dblVal = 75.0;
            record.dwNumEventAttrs = 2;
            record.pEventAttributes = values.data();
        }
    }
    DWORD Count() const { return static_cast<DWORD>(FRecords.size()); }
    ONEVENTSTRUCT* Records() { return FRecords.data(); }

private:
    std::vector<QString> FSources;
    const QString FCondition = QStringLiteral("PVLEVEL");
    const QString FSubcondition = QStringLiteral("HI");
    const QString FMessage = QStringLiteral("Level above high limit");
    std::vector<ONEVENTSTRUCT> FRecords;
    std::vector<std::array<VARIANT, 2>> FAttributes;
};

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[index];
}

void BM_ServerCallToEndUpdate(benchmark::State& state) {
    const int conditions = 10000;
    const int batchSize = static_cast<int>(state.range(0));
    zelk::aesim::TScopedAESimulator sim;
    TZelkEventServer server;
    server.Connect(QStringLiteral("Zelk.AESimulator.1"), QString());
    TZelkEventSubscription* sink = server.Filter()->Items(0)->Subscriptor();
    if (!sink) {
        state.SkipWithError("no subscription");
        return;
    }
    bool ended = false;
    Clock::time_point endedAt;
    server.OnEndUpdate = [&](TComponent*) {
        endedAt = Clock::now();
        ended = true;
    };
    const auto deliver = [&](TServerBatch& batch, Clock::time_point& calledAt,
                             Clock::time_point& returnedAt) {
        ended = false;
        std::thread serverThread([&] {
            calledAt = Clock::now();
            sink->OnEvent(1, FALSE, FALSE, batch.Count(), batch.Records());
            returnedAt = Clock::now();
        });
        serverThread.join();
        while (!ended)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };

    // Fill the list with every condition once.
    std::mt19937 random(1);
    Clock::time_point calledAt;
    Clock::time_point returnedAt;
    for (int first = 0; first < conditions; first += batchSize) {
        std::vector<int> numbers(static_cast<std::size_t>(batchSize));
        std::iota(numbers.begin(), numbers.end(), first);
        TServerBatch fill(numbers, random);
        deliver(fill, calledAt, returnedAt);
    }

    std::vector<double> latencies;
    std::vector<double> callTimes;
    std::vector<int> numbers(static_cast<std::size_t>(batchSize));
    for (int& number : numbers)
        number = static_cast<int>(random() % conditions);
    TServerBatch batch(numbers, random);
    for (auto _ : state) {
        state.PauseTiming();
        batch.Refill(random);
        state.ResumeTiming();
        deliver(batch, calledAt, returnedAt);
        latencies.push_back(std::chrono::duration<double, std::milli>(endedAt - calledAt).count());
        callTimes.push_back(
            std::chrono::duration<double, std::micro>(returnedAt - calledAt).count());
    }
    state.SetItemsProcessed(state.iterations() * batchSize);
    state.counters["live_conditions"] = server.Events()->Count();
    state.counters["latency_ms_p50"] = Percentile(latencies, 0.5);
    state.counters["latency_ms_p99"] = Percentile(latencies, 0.99);
    state.counters["onevent_us_p50"] = Percentile(callTimes, 0.5);
    state.counters["onevent_us_max"] = Percentile(callTimes, 1.0);
    state.counters["onevent_us_per_event"] = Percentile(callTimes, 0.5) / batchSize;
    server.Disconnect();
}
// Real time: the work is split between the server thread and the user-interface thread.
BENCHMARK(BM_ServerCallToEndUpdate)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0)
    ->UseRealTime();

// Acknowledging every event of a list of simple events: each is acknowledged locally
// (OnEventAck, then auto-delete) inside the update bracket of the whole walk.
void BM_AcknowledgeAllLocally(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    zelk::aesim::TScopedAESimulator sim;
    TZelkEventServer server;
    server.Connect(QStringLiteral("Zelk.AESimulator.1"), QString());
    std::mt19937 random(2);
    std::vector<int> numbers(static_cast<std::size_t>(count));
    std::iota(numbers.begin(), numbers.end(), 0);
    int acknowledged = 0;
    server.OnEventAck = [&](TComponent*, TZelkEvent*) { ++acknowledged; };
    for (auto _ : state) {
        state.PauseTiming();
        TServerBatch batch(numbers, random);
        server.BeginUpdate();
        for (DWORD i = 0; i < batch.Count(); ++i) {
            ONEVENTSTRUCT& record = batch.Records()[i];
            record.dwEventType = OPC_SIMPLE_EVENT;
            record.wNewState = 0;
            server.Events()->AddEvent(std::make_unique<TZelkEvent>(&server, record));
        }
        server.Resort();
        server.EndUpdate();
        state.ResumeTiming();
        server.AcknowledgeNotActiveEvents(QStringLiteral("bench"), QString());
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["left_in_list"] = server.Events()->Count();
    server.Disconnect();
}
BENCHMARK(BM_AcknowledgeAllLocally)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return zelk::bench::RunBenchmarks(argc, argv, true);
}
