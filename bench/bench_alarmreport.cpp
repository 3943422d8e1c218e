// The alarm performance report on an SQLite journal of 1,000,000 notifications: a month of
// a plant with 2,000 conditions, each alarm raised, acknowledged (by the server, or by this
// client's call) and cleared, with bursts that flood and a few conditions that chatter.
// The target is under 2 s for the whole month and for one area.
//
//   build/default/bench/bench_alarmreport
//
// The journal is built once per run in a temporary folder (about a minute), or kept in the
// file ZELK_BENCH_JOURNAL names and reused from there.

#include "BenchMain.h"
#include "ZelkAlarmReport.h"
#include "ZelkJournal.h"
#include "ZelkJournalSchema.h"
#include "ZelkJournalStore.h"
#include "opc_ae.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <random>

namespace {

constexpr std::int64_t Notifications = 1'000'000;
constexpr std::int64_t Second = 10'000'000;
// 2024-03-01T00:00:00Z.
constexpr std::int64_t Start = 133537248000000000LL;
constexpr std::int64_t Month = 30LL * 24 * 3600 * Second;

FILETIME FileTime(std::int64_t ticks) {
    const auto bits = static_cast<std::uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

class TPlantJournal {
public:
    TPlantJournal()
        : FUrl(QStringLiteral("sqlite:") + (qEnvironmentVariableIsEmpty("ZELK_BENCH_JOURNAL")
                                                ? FFolder.filePath(QStringLiteral("j.sqlite"))
                                                : qEnvironmentVariable("ZELK_BENCH_JOURNAL"))) {
        if (!qEnvironmentVariableIsEmpty("ZELK_BENCH_JOURNAL") &&
            QFileInfo::exists(qEnvironmentVariable("ZELK_BENCH_JOURNAL")))
            return;
        TZelkJournalConnection connection(TZelkJournalLocation::Parse(FUrl), true);
        zelk::journal::PrepareSchema(connection, true);
        TZelkJournalStore store(connection);
        std::mt19937_64 random(18);
        std::vector<TZelkJournalEntry> batch;
        std::int64_t written = 0;
        std::int64_t time = Start;
        while (written < Notifications) {
            // Mostly one alarm every 7.8 s or so; now and then a burst of 40 in a minute.
            const bool burst = random() % 2000 == 0;
            const int alarms = burst ? 40 : 1;
            for (int a = 0; a < alarms && written < Notifications; ++a) {
                time +=
                    burst ? Second * 3 / 2 : static_cast<std::int64_t>(random() % 15 + 1) * Second;
                const int tag = static_cast<int>(random() % 2000);
                // A handful of conditions chatter: raised again within seconds.
                const int repeats = tag < 5 ? 3 : 1;
                for (int r = 0; r < repeats; ++r) {
                    const std::int64_t raised = time + r * 10 * Second;
                    Add(batch, tag, raised, raised, OPC_CHANGE_ACTIVE_STATE, OPC_CONDITION_ACTIVE);
                    const std::int64_t acked =
                        raised + static_cast<std::int64_t>(random() % 300) * Second;
                    if (random() % 4 == 0)
                        ClientAck(batch, tag, raised, acked);
                    else
                        Add(batch, tag, acked, raised, OPC_CHANGE_ACK_STATE,
                            OPC_CONDITION_ACTIVE | OPC_CONDITION_ACKED);
                    // One in 5,000 never clears: it stands.
                    if (random() % 5000 != 0)
                        Add(batch, tag, acked + 5 * Second, raised, OPC_CHANGE_ACTIVE_STATE,
                            OPC_CONDITION_ACKED);
                    written += 3;
                }
            }
            if (batch.size() >= 20'000) {
                store.Write(batch);
                batch.clear();
            }
        }
        store.Write(batch);
    }
    const QString& Url() const noexcept { return FUrl; }

private:
    static void Add(std::vector<TZelkJournalEntry>& batch, int tag, std::int64_t at,
                    std::int64_t activeAt, int changeMask, int state) {
        TZelkEventRecord record;
        record.EventType = OPC_CONDITION_EVENT;
        record.CategoryId = 300;
        record.CategoryName = QStringLiteral("Level");
        record.Source = QStringLiteral("Plant1.Unit%1.LIC%2").arg(tag % 10).arg(tag);
        record.Condition = QStringLiteral("PVLEVEL");
        record.SubCondition = QStringLiteral("HI");
        record.ChangeMask = changeMask;
        record.NewState = state | OPC_CONDITION_ENABLED;
        record.Severity = tag % 20 == 0 ? 800 : tag % 5 == 0 ? 500 : 200;
        record.AckRequired = true;
        record.Message = QStringLiteral("Level high");
        record.Time = FileTime(at);
        record.ActiveTime = FileTime(activeAt);
        batch.push_back({at,
                         {QStringLiteral("Zelk.AESimulator.1"), QStringLiteral("HOST")},
                         std::move(record)});
    }
    static void ClientAck(std::vector<TZelkJournalEntry>& batch, int tag, std::int64_t activeAt,
                          std::int64_t at) {
        TZelkJournalAction action;
        action.Kind = QString::fromLatin1(zelk::journal::kind::Acknowledge);
        action.Who = QStringLiteral("operator");
        action.Count = 1;
        action.Results = {{QStringLiteral("Plant1.Unit%1.LIC%2").arg(tag % 10).arg(tag),
                           QStringLiteral("PVLEVEL"), 1, FileTime(activeAt), S_OK}};
        batch.push_back({at,
                         {QStringLiteral("Zelk.AESimulator.1"), QStringLiteral("HOST")},
                         std::move(action)});
        // The server's notification of it, as a server sends one for every acknowledgement.
        Add(batch, tag, at + Second / 10, activeAt, OPC_CHANGE_ACK_STATE,
            OPC_CONDITION_ACTIVE | OPC_CONDITION_ACKED);
    }

    QTemporaryDir FFolder;
    QString FUrl;
};

TPlantJournal& Journal() {
    static TPlantJournal journal;
    return journal;
}

void Report(benchmark::State& state, const QString& area) {
    TZelkJournalReader reader(Journal().Url());
    TZelkAlarmReportOptions options;
    options.Area = area;
    TZelkAlarmReport report;
    for (auto _ : state)
        report = zelk::journal::ComputeAlarmReport(reader.Connection(), options);
    state.counters["notifications"] = static_cast<double>(reader.Info().Notifications);
    state.counters["alarms"] = static_cast<double>(report.Alarms);
    state.counters["floods"] = static_cast<double>(report.Floods.size());
    state.counters["chattering"] = static_cast<double>(report.Chattering.size());
    state.counters["standing"] = static_cast<double>(report.Standing.size());
}

void BM_ReportWholePlantMonth(benchmark::State& state) {
    Report(state, QString());
}
BENCHMARK(BM_ReportWholePlantMonth)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ReportOneAreaMonth(benchmark::State& state) {
    Report(state, QStringLiteral("Plant1.Unit3"));
}
BENCHMARK(BM_ReportOneAreaMonth)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    return zelk::bench::RunBenchmarks(argc, argv, false);
}
