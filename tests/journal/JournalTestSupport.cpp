#include "JournalTestSupport.h"

#include "PostgresCluster.h"
#include "ZelkJournalSchema.h"
#include "ZelkTimeText.h"

namespace zelk::journaltest {

std::string BackendName(const ::testing::TestParamInfo<TZelkJournalBackend>& info) {
    return info.param == TZelkJournalBackend::SQLite ? "SQLite" : "PostgreSQL";
}

TJournalPlace::TJournalPlace(TZelkJournalBackend Backend) : FBackend(Backend) {
    if (Backend == TZelkJournalBackend::SQLite)
        FUrl = QStringLiteral("sqlite:") + FFolder.filePath(QStringLiteral("journal.sqlite"));
    else
        FUrl = TPostgresCluster::Instance().NewDatabaseUrl();
}

FILETIME FileTimeOfTicks(std::uint64_t Ticks) {
    return FILETIME{static_cast<DWORD>(Ticks & 0xFFFFFFFFu), static_cast<DWORD>(Ticks >> 32)};
}

TZelkEventRecord MakeRecord(int Index, const QString& Source, const QString& Message) {
    // 2024-03-01T12:00:00Z plus Index seconds and some ticks.
    constexpr std::uint64_t base = 133537680000000000ULL;
    TZelkEventRecord record;
    record.EventType = OPC_CONDITION_EVENT;
    record.CategoryId = 300 + Index % 3;
    record.CategoryName = QStringLiteral("Level");
    record.Source = Source;
    record.Condition = QStringLiteral("PVLEVEL");
    record.SubCondition = QStringLiteral("HI");
    record.ChangeMask = OPC_CHANGE_ACTIVE_STATE;
    record.NewState = OPC_CONDITION_ACTIVE | OPC_CONDITION_ENABLED;
    record.Severity = 500 + Index % 500;
    record.Quality = 0xC0;
    record.AckRequired = true;
    record.Actor = QStringLiteral("OPERATOR%1").arg(Index % 4);
    record.Message = Message;
    record.Cookie = static_cast<std::uint32_t>(Index + 1);
    record.Time = FileTimeOfTicks(base + std::uint64_t(Index) * 10'000'000ULL + 1234567);
    record.ActiveTime = FileTimeOfTicks(base + std::uint64_t(Index) * 10'000'000ULL);
    record.AttributesJson = "{\"CV\":" + std::to_string(80 + Index) + ",\"AREAS\":[\"Plant1\"]}";
    return record;
}

TZelkJournalEntry NotificationEntry(TZelkEventRecord Record, std::int64_t Received) {
    return {Received ? Received : zelk::journal::NowTicks(),
            {QStringLiteral("Zelk.AESimulator.1"), QStringLiteral("HOST1")},
            std::move(Record)};
}

TZelkJournalEntry ActionEntry(TZelkJournalAction Action, std::int64_t Received) {
    return {Received ? Received : zelk::journal::NowTicks(),
            {QStringLiteral("Zelk.AESimulator.1"), QStringLiteral("HOST1")},
            std::move(Action)};
}

void WriteEntries(const QString& Url, const std::vector<TZelkJournalEntry>& Entries) {
    TZelkJournalConnection connection(TZelkJournalLocation::Parse(Url), true);
    zelk::journal::PrepareSchema(connection, true);
    TZelkJournalStore store(connection);
    store.Write(Entries);
}

std::vector<TZelkJournalNotification> ReadAll(TZelkJournalReader& Reader,
                                              const TZelkJournalFilter& Filter) {
    std::vector<TZelkJournalNotification> rows;
    TZelkJournalPage page;
    page.NewestFirst = false;
    page.Limit = 500;
    for (;;) {
        auto next = Reader.Notifications(Filter, page);
        const bool last = next.size() < static_cast<std::size_t>(page.Limit);
        for (auto& row : next)
            rows.push_back(std::move(row));
        if (last || rows.empty())
            return rows;
        page.After = rows.back().Id;
    }
}

QStringList SourcesOf(const std::vector<TZelkJournalNotification>& Rows) {
    QStringList sources;
    for (const auto& row : Rows)
        sources << row.Event.Source;
    return sources;
}

} // namespace zelk::journaltest
