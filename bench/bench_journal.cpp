// The alarm and event journal: how fast notifications reach SQLite and PostgreSQL, what
// the user-interface thread pays per notification, how long the first page of one
// source and `info` take on a journal of 1,000,000 notifications, and the bytes one
// notification takes on disk.
//
//   build/default/bench/bench_journal --benchmark_counters_tabular=true
//
// PostgreSQL: a server the program starts itself in a temporary folder (as the tests do),
// or the one ZELK_BENCH_PG_URL names (an empty database).

#include "BenchMain.h"
#include "PostgresCluster.h"
#include "ZelkAESim.h"
#include "ZelkEventServer.h"
#include "ZelkJournal.h"
#include "ZelkJournalSchema.h"
#include "ZelkJournalStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdlib>

namespace {

using namespace std::chrono_literals;

constexpr int Sources = 200;
constexpr std::int64_t LargeJournalRows = 1'000'000;

// A notification as the simulator's plant makes them: a tank farm source, a level
// condition, a message and a handful of attributes.
TZelkEventRecord PlantRecord(std::int64_t index) {
    TZelkEventRecord record;
    record.EventType = OPC_CONDITION_EVENT;
    record.CategoryId = 300;
    record.CategoryName = QStringLiteral("Level");
    record.Source = QStringLiteral("Plant1.TankFarm.LIC%1").arg(index % Sources + 100);
    record.Condition = QStringLiteral("PVLEVEL");
    record.SubCondition = index % 2 ? QStringLiteral("HI") : QStringLiteral("LO");
    record.ChangeMask = OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_SUBCONDITION;
    record.NewState = OPC_CONDITION_ACTIVE | OPC_CONDITION_ENABLED;
    record.Severity = 700;
    record.Quality = 0xC0;
    record.AckRequired = true;
    record.Message = QStringLiteral("Tank farm level control: Level high");
    record.Cookie = static_cast<std::uint32_t>(index);
    const std::uint64_t ticks = 133537680000000000ULL + std::uint64_t(index) * 1000;
    record.Time = FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    record.ActiveTime = record.Time;
    record.AttributesJson = "{\"AREAS\":[\"Plant1\",\"Plant1.TankFarm\"],\"ACK COMMENT\":\"\","
                            "\"CV\":81.25,\"HI LIMIT\":80,\"LOOP DESC\":\"Tank farm level\"}";
    return record;
}

std::vector<TZelkJournalEntry> Batch(std::int64_t first, int count) {
    std::vector<TZelkJournalEntry> entries;
    entries.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = first; i < first + count; ++i)
        entries.push_back({zelk::journal::NowTicks(),
                           {QStringLiteral("Zelk.AESimulator.1"), QStringLiteral("HOST")},
                           PlantRecord(i)});
    return entries;
}

QString PostgresUrl() {
    if (const char* url = std::getenv("ZELK_BENCH_PG_URL"))
        return QString::fromLocal8Bit(url);
    return zelk::journaltest::TPostgresCluster::Instance().NewDatabaseUrl();
}

// Posts batches of 1,000 as an intake would and waits for the writer to have written
// them: notifications per second into the database, end to end.
void Throughput(benchmark::State& state, const QString& url) {
    TZelkJournalWriterSettings settings;
    settings.Location = TZelkJournalLocation::Parse(url);
    TZelkJournalWriter writer(settings);
    writer.Start();
    const int perIteration = static_cast<int>(state.range(0));
    std::int64_t posted = 0;
    double postSeconds = 0;
    for (auto _ : state) {
        QElapsedTimer postTime;
        for (int i = 0; i < perIteration; i += 1000) {
            std::vector<TZelkJournalEntry> batch = Batch(posted, 1000);
            postTime.start();
            writer.Post(std::move(batch));
            postSeconds += postTime.nsecsElapsed() / 1e9;
            posted += 1000;
        }
        while (writer.Status().Written < posted) {
            if (!writer.Status().Message.isEmpty()) {
                state.SkipWithError(writer.Status().Message.toStdString().c_str());
                return;
            }
            std::this_thread::sleep_for(1ms);
        }
    }
    writer.Stop(10s);
    state.SetItemsProcessed(posted);
    state.counters["post_us_per_1000"] =
        benchmark::Counter(postSeconds * 1e6 / double(posted / 1000 ? posted / 1000 : 1));
}

void BM_JournalIntoSQLite(benchmark::State& state) {
    QTemporaryDir folder;
    Throughput(state, QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("j.sqlite")));
}
BENCHMARK(BM_JournalIntoSQLite)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JournalIntoPostgreSQL(benchmark::State& state) {
    QString url;
    try {
        url = PostgresUrl();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        for (auto _ : state) {
        }
        return;
    }
    Throughput(state, url);
}
BENCHMARK(BM_JournalIntoPostgreSQL)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The simulator's flood through a connected event server with the journal attached: the
// rate the journal keeps up with, and the share of the user-interface thread's time the
// journal's observer takes (records made and handed over).
void BM_FloodIntoSQLite(benchmark::State& state) {
    QTemporaryDir folder;
    zelk::aesim::TSimClassOptions options;
    options.Clock = zelk::aesim::TSimClockMode::RealTime;
    options.Flood = true;
    options.FloodRate = static_cast<int>(state.range(0));
    options.RecordNotifications = false;
    zelk::aesim::TScopedAESimulator sim(options, QString(), false);
    sim->Faults().SetRecording(false);
    TZelkEventJournal journal;
    journal.Open(QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("j.sqlite")));
    TZelkEventServer server;
    server.SetAutoDelete(true);
    journal.Attach(&server);
    server.Connect(QStringLiteral("Zelk.AESimulator.1"), QString());
    std::int64_t received = 0;
    server.OnEvent = [&](TComponent*, TZelkEvent*) { ++received; };
    std::int64_t maxBacklog = 0;
    for (auto _ : state) {
        const std::int64_t until = received + 50'000;
        while (received < until) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            maxBacklog = std::max<std::int64_t>(maxBacklog, journal.Backlog());
        }
    }
    server.SetActive(false);
    const std::int64_t total = received;
    QElapsedTimer drain;
    drain.start();
    journal.Close(120s);
    state.SetItemsProcessed(total);
    state.counters["journaled"] = benchmark::Counter(double(journal.Written()));
    state.counters["lost"] = benchmark::Counter(double(journal.Lost()));
    state.counters["max_backlog"] = benchmark::Counter(double(maxBacklog));
    state.counters["drain_ms_at_end"] = benchmark::Counter(double(drain.elapsed()));
}
BENCHMARK(BM_FloodIntoSQLite)->Arg(0)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// One journal of LargeJournalRows notifications for the query benchmarks, made once.
const QString& LargeJournal() {
    static QTemporaryDir folder;
    static const QString url = [] {
        const QString made =
            QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("large.sqlite"));
        TZelkJournalConnection connection(TZelkJournalLocation::Parse(made), true);
        zelk::journal::PrepareSchema(connection, true);
        TZelkJournalStore store(connection);
        for (std::int64_t first = 0; first < LargeJournalRows; first += 20'000)
            store.Write(Batch(first, 20'000));
        return made;
    }();
    return url;
}

void BM_FirstPageOfOneSource(benchmark::State& state) {
    TZelkJournalReader reader(LargeJournal());
    TZelkJournalFilter filter;
    filter.Source = {QStringLiteral("Plant1.TankFarm.LIC150"), TZelkTextMatch::Exact};
    for (auto _ : state) {
        const auto rows = reader.Notifications(filter, {.Limit = 100});
        if (rows.size() != 100u)
            state.SkipWithError("short page");
    }
}
BENCHMARK(BM_FirstPageOfOneSource)->Unit(benchmark::kMillisecond);

void BM_FirstPageOfATextSearch(benchmark::State& state) {
    TZelkJournalReader reader(LargeJournal());
    TZelkJournalFilter filter;
    filter.AnyText = {QStringLiteral("lic150"), TZelkTextMatch::Substring};
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.Notifications(filter, {.Limit = 100}));
}
BENCHMARK(BM_FirstPageOfATextSearch)->Unit(benchmark::kMillisecond);

void BM_OpenAndFirstPage(benchmark::State& state) {
    const QString url = LargeJournal();
    for (auto _ : state) {
        TZelkJournalReader reader(url);
        benchmark::DoNotOptimize(reader.Notifications({}, {.Limit = 100}));
    }
}
BENCHMARK(BM_OpenAndFirstPage)->Unit(benchmark::kMillisecond);

void BM_Info(benchmark::State& state) {
    TZelkJournalReader reader(LargeJournal());
    TZelkJournalInfo info;
    for (auto _ : state)
        info = reader.Info();
    state.counters["rows"] = benchmark::Counter(double(info.Notifications));
    state.counters["bytes_per_notification"] = benchmark::Counter(
        double(info.SizeBytes) / double(std::max<std::int64_t>(info.Notifications, 1)));
}
BENCHMARK(BM_Info)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return zelk::bench::RunBenchmarks(argc, argv, true);
}
