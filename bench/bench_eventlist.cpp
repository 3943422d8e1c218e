// The event list on the consuming thread: merging batches of notifications into a list
// of live conditions, keeping a large list's sorted view in order batch by batch, sorting
// it anew after a change of the sort keys, finding keys, and the memory one event takes.
//
//   ./zelk bench                 (all benchmark programs)
//   build/default/bench/bench_eventlist --benchmark_counters_tabular=true

#include "BenchMain.h"
#include "ZelkAE.h"
#include "objbase.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <memory>
#include <random>
#include <vector>

namespace {

FILETIME FileTimeOfTicks(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// 2024-05-01 00:00 UTC plus up to one day.
FILETIME RandomTime(std::mt19937& random) {
    constexpr std::uint64_t start = 133589664000000000ull;
    return FileTimeOfTicks(start + random() % 864000000000ull);
}

QString SourceName(int index) {
    return QStringLiteral("Plant.Area%1.Tank%2").arg(index / 100).arg(index);
}

// The texts one notification carries; the record points into it.
struct TSample {
    QString Source;
    QString Condition = QStringLiteral("LevelHigh");
    QString Subcondition = QStringLiteral("HI");
    QString Message = QStringLiteral("Level above high limit");
    QString Actor = QStringLiteral("operator");
    VARIANT Attributes[3];

    TSample(int index, std::mt19937& random, ONEVENTSTRUCT& record) : Source(SourceName(index)) {
        const auto text = [](const QString& s) {
            return const_cast<LPWSTR>(reinterpret_cast<const OLECHAR*>(s.utf16()));
        };
        for (VARIANT& value : Attributes)
            VariantInit(&value);
        Attributes[0].vt = VT_R8;
        Attributes[0].dblVal = 80.5;
        Attributes[1].vt = VT_R8;
        Attributes[1].dblVal = 75.0;
        Attributes[2].vt = VT_BSTR;
        Attributes[2].bstrVal = SysAllocString(u"m3");
        record = ONEVENTSTRUCT{};
        record.szSource = text(Source);
        record.szConditionName = text(Condition);
        record.szSubconditionName = text(Subcondition);
        record.szMessage = text(Message);
        record.szActorID = text(Actor);
        record.wNewState =
            static_cast<WORD>(OPC_CONDITION_ENABLED | (random() % 2 ? OPC_CONDITION_ACTIVE : 0));
        record.dwEventType = OPC_CONDITION_EVENT;
        record.dwEventCategory = 10;
        record.dwSeverity = 500;
        record.wQuality = OPC_QUALITY_GOOD;
        // Inactive ones wait for an acknowledgement, so auto-delete keeps them listed.
        record.bAckRequired = TRUE;
        record.ftTime = RandomTime(random);
        record.ftActiveTime = record.ftTime;
        record.dwNumEventAttrs = 3;
        record.pEventAttributes = Attributes;
    }
    ~TSample() {
        for (VARIANT& value : Attributes)
            VariantClear(&value);
    }
};

std::unique_ptr<TZelkEvent> NewEvent(TZelkEventServer& server, int index, std::mt19937& random) {
    ONEVENTSTRUCT record;
    TSample sample(index, random, record);
    return std::make_unique<TZelkEvent>(&server, record);
}

// A server whose list holds `count` live conditions, added in key order.
std::unique_ptr<TZelkEventServer> ServerWithConditions(int count, std::mt19937& random) {
    auto server = std::make_unique<TZelkEventServer>();
    std::vector<std::pair<QString, int>> order;
    for (int i = 0; i < count; ++i)
        order.emplace_back(SourceName(i), i);
    std::sort(order.begin(), order.end(),
              [](const auto& a, const auto& b) { return AnsiCompareText(a.first, b.first) < 0; });
    server->BeginUpdate();
    for (const auto& entry : order)
        server->Events()->AddEvent(NewEvent(*server, entry.second, random));
    server->Resort();
    server->EndUpdate();
    return server;
}

// Batches of 1,000 notifications, each replacing an entry of a list of 10,000 live
// conditions, each batch closed with the default sort ("Active (D)", "Time (D)") inside
// the update bracket: the consuming thread's work per batch. The events are built
// beforehand, as the sink builds them on the delivering thread.
void BM_MergeBatch(benchmark::State& state) {
    std::mt19937 random(1);
    const int conditions = 10000;
    const int batchSize = static_cast<int>(state.range(0));
    auto server = ServerWithConditions(conditions, random);
    std::vector<std::unique_ptr<TZelkEvent>> batch;
    for (auto _ : state) {
        state.PauseTiming();
        batch.clear();
        for (int i = 0; i < batchSize; ++i)
            batch.push_back(NewEvent(*server, static_cast<int>(random() % conditions), random));
        state.ResumeTiming();
        server->BeginUpdate();
        for (std::unique_ptr<TZelkEvent>& event : batch)
            server->Events()->AddEvent(std::move(event));
        server->Resort();
        server->EndUpdate();
    }
    state.SetItemsProcessed(state.iterations() * batchSize);
    server->Events()->DeleteEvents();
}
BENCHMARK(BM_MergeBatch)->Arg(1000)->Unit(benchmark::kMillisecond);

// The same with the events built from their records inside the timed region.
void BM_BuildAndMergeBatch(benchmark::State& state) {
    std::mt19937 random(1);
    const int conditions = 10000;
    const int batchSize = static_cast<int>(state.range(0));
    auto server = ServerWithConditions(conditions, random);
    for (auto _ : state) {
        server->BeginUpdate();
        for (int i = 0; i < batchSize; ++i)
            server->Events()->AddEvent(
                NewEvent(*server, static_cast<int>(random() % conditions), random));
        server->Resort();
        server->EndUpdate();
    }
    state.SetItemsProcessed(state.iterations() * batchSize);
    server->Events()->DeleteEvents();
}
BENCHMARK(BM_BuildAndMergeBatch)->Arg(1000)->Unit(benchmark::kMillisecond);

QStringList SortLines(std::int64_t which) {
    return which == 0 ? QStringList{QStringLiteral("Active (D)"), QStringLiteral("Time (D)")}
                      : QStringList{QStringLiteral("Source")};
}

// One batch of notifications through the event server's intake (handlers, merge,
// auto-delete, the view brought up to date, the bracket closed) into a list of 100,000
// live conditions: every notification replaces a listed condition, which moves to its new
// place in the sorted view. Batches of 25 are what a server sends every 5 ms at 5,000/s;
// 500 is the largest batch the sink queues. Under the default sort and under "Source".
void BM_MergeIntoLargeList(benchmark::State& state) {
    std::mt19937 random(5);
    const int conditions = static_cast<int>(state.range(0));
    const int batchSize = static_cast<int>(state.range(1));
    auto server = ServerWithConditions(conditions, random);
    server->SetEventlistSort(SortLines(state.range(2)));
    for (auto _ : state) {
        state.PauseTiming();
        auto batch = std::make_unique<TZelkEventBatch>();
        for (int i = 0; i < batchSize; ++i)
            batch->Events.emplace_back(
                NewEvent(*server, static_cast<int>(random() % conditions), random));
        TZelkMsg msg(MSG_EVENTS, 1, std::move(batch));
        state.ResumeTiming();
        server->HandleMsg(msg);
        benchmark::DoNotOptimize(server->Events()->Events(0));
    }
    state.SetLabel(SortLines(state.range(2)).join(QStringLiteral(", ")).toStdString());
    state.SetItemsProcessed(state.iterations() * batchSize);
    state.counters["listed"] = server->Events()->Count();
    server->Events()->DeleteEvents();
}
BENCHMARK(BM_MergeIntoLargeList)
    ->Args({100000, 25, 0})
    ->Args({100000, 500, 0})
    ->Args({100000, 25, 1})
    ->Args({100000, 500, 1})
    ->Unit(benchmark::kMicrosecond);

// Sorting a list of 100,000 anew, as a change of the sort keys does: every event's sort
// values read, then one sort.
void BM_SortKeysChanged(benchmark::State& state) {
    std::mt19937 random(2);
    auto server = ServerWithConditions(static_cast<int>(state.range(0)), random);
    std::int64_t which = 0;
    for (auto _ : state) {
        which = 1 - which;
        server->SetEventlistSort(SortLines(which));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    server->Events()->DeleteEvents();
}
BENCHMARK(BM_SortKeysChanged)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Finding a key among the entries: written as the entry's key (the exact-text hint), or
// in other letter case (collation key, then a binary search).
void BM_FindKey(benchmark::State& state) {
    std::mt19937 random(3);
    const int count = static_cast<int>(state.range(0));
    auto server = ServerWithConditions(count, random);
    std::vector<QString> keys;
    for (int i = 0; i < 1024; ++i)
        keys.push_back(
            SourceName(static_cast<int>(random() % count)) +
            (state.range(1) ? QStringLiteral("LevelHigh") : QStringLiteral("LEVELHIGH")));
    std::size_t next = 0;
    int index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(server->Events()->Find(keys[next++ % keys.size()], index));
    }
    state.SetLabel(state.range(1) ? "as written" : "other letter case");
    state.SetItemsProcessed(state.iterations());
    server->Events()->DeleteEvents();
}
BENCHMARK(BM_FindKey)->Args({10000, 1})->Args({10000, 0})->Args({100000, 1})->Args({100000, 0});

// Heap bytes per event in the list: five short texts, three attributes (two numbers and
// one short text), its list entry and its place in the sorted view.
void BM_BytesPerEvent(benchmark::State& state) {
    std::mt19937 random(4);
    const int count = 10000;
    auto server = std::make_unique<TZelkEventServer>();
    double bytes = 0;
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        server->BeginUpdate();
        for (int i = 0; i < count; ++i)
            server->Events()->AddEvent(NewEvent(*server, i, random));
        server->Resort();
        server->EndUpdate();
        const std::size_t after = mallinfo2().uordblks;
        bytes = static_cast<double>(after - before) / count;
        server->Events()->DeleteEvents();
    }
    state.counters["bytes_per_event"] = bytes;
    state.counters["sizeof_TZelkEvent"] = sizeof(TZelkEvent);
}
BENCHMARK(BM_BytesPerEvent)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return zelk::bench::RunBenchmarks(argc, argv, true);
}
