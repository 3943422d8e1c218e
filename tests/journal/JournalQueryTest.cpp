// Reading a journal back: every field as written, the filters, hostile search texts,
// OPC wildcards, keyset paging, operator actions, purge and info, on both back-ends.

#include "JournalTestSupport.h"
#include "TestSupport.h"

using namespace zelk::journaltest;

namespace {

class JournalQuery : public ::testing::TestWithParam<TZelkJournalBackend> {
protected:
    TJournalPlace Place{GetParam()};
    bool Postgres() const { return GetParam() == TZelkJournalBackend::PostgreSQL; }

    std::vector<TZelkJournalNotification> Find(TZelkTextFilter TZelkJournalFilter::*field,
                                               const QString& text, TZelkTextMatch match) {
        TZelkJournalReader reader(Place.Url());
        TZelkJournalFilter filter;
        filter.*field = {text, match};
        return ReadAll(reader, filter);
    }
};

} // namespace

TEST_P(JournalQuery, EveryFieldComesBackAsWritten) {
    TZelkEventRecord record = MakeRecord(1);
    record.EventType = OPC_TRACKING_EVENT;
    record.CategoryName = QStringLiteral("Operator \u00e4ction \U0001F525");
    record.Message = QStringLiteral("line one\nline two\ttab \"quoted\"");
    record.Cookie = 0xFFFFFFFFu;
    record.Quality = 0;
    record.AckRequired = false;
    record.Actor.clear();
    // FILETIMEs are kept bit for bit, also beyond the signed range and 0 ("no time").
    record.ActiveTime = FileTimeOfTicks(0xFFFFFFFFFFFFFFFFULL);
    record.Time = FileTimeOfTicks(0);
    record.AttributesJson = "{\"AREAS\":[\"Plant1\",\"Plant1.TankFarm\"],\"CV\":81.25,\"X\":null}";
    TZelkEventRecord withNul = MakeRecord(2);
    withNul.Message = QStringLiteral("before") + QChar(0) + QStringLiteral("after");
    WriteEntries(Place.Url(),
                 {NotificationEntry(record, 133537968001234567), NotificationEntry(withNul)});

    TZelkJournalReader reader(Place.Url());
    const auto rows = ReadAll(reader);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].Event == record);
    EXPECT_EQ(rows[0].Received, 133537968001234567);
    EXPECT_EQ(rows[0].Server.Server, QStringLiteral("Zelk.AESimulator.1"));
    EXPECT_EQ(rows[0].Server.Computer, QStringLiteral("HOST1"));
    EXPECT_LT(rows[0].Id, rows[1].Id);
    // PostgreSQL's text cannot hold NUL: it is stored as U+FFFD rather than failing the
    // whole batch; SQLite keeps it.
    EXPECT_EQ(rows[1].Event.Message,
              QStringLiteral("before") +
                  (Postgres() ? QChar(QChar::ReplacementCharacter) : QChar(0)) +
                  QStringLiteral("after"));
}

TEST_P(JournalQuery, FiltersSelectByTimeTypeSeverityCategoryAndText) {
    std::vector<TZelkJournalEntry> entries;
    for (int i = 0; i < 12; ++i) {
        TZelkEventRecord record =
            MakeRecord(i, QStringLiteral("Plant1.Area%1.Src%2").arg(i % 3).arg(i),
                       QStringLiteral("Message %1").arg(i));
        record.EventType = i % 2 ? OPC_SIMPLE_EVENT : OPC_CONDITION_EVENT;
        record.Severity = 100 * (i % 10);
        record.CategoryName = i < 6 ? QStringLiteral("Level") : QStringLiteral("Deviation");
        entries.push_back(NotificationEntry(record));
    }
    WriteEntries(Place.Url(), entries);
    TZelkJournalReader reader(Place.Url());
    const auto count = [&](const TZelkJournalFilter& filter) {
        return ReadAll(reader, filter).size();
    };

    TZelkJournalFilter byTime;
    byTime.From = zelk::ae::FileTimeTicks(MakeRecord(3).Time);
    byTime.To = zelk::ae::FileTimeTicks(MakeRecord(7).Time);
    EXPECT_EQ(
        SourcesOf(ReadAll(reader, byTime)),
        (QStringList{QStringLiteral("Plant1.Area0.Src3"), QStringLiteral("Plant1.Area1.Src4"),
                     QStringLiteral("Plant1.Area2.Src5"), QStringLiteral("Plant1.Area0.Src6")}))
        << "from inclusive, to exclusive";
    TZelkJournalFilter byType;
    byType.EventTypes = OPC_SIMPLE_EVENT | OPC_TRACKING_EVENT;
    EXPECT_EQ(count(byType), 6u);
    TZelkJournalFilter bySeverity;
    bySeverity.SeverityLow = 300;
    bySeverity.SeverityHigh = 500;
    EXPECT_EQ(count(bySeverity), 3u); // 3, 4, 5
    TZelkJournalFilter byCategory;
    byCategory.Categories = {QStringLiteral("Deviation"), QStringLiteral("Unknown")};
    EXPECT_EQ(count(byCategory), 6u);
    TZelkJournalFilter bySource;
    bySource.Source = {QStringLiteral("plant1.area2"), TZelkTextMatch::Substring};
    EXPECT_EQ(count(bySource), 4u) << "a substring, without regard to case";
    bySource.Source = {QStringLiteral("Plant1.Area2"), TZelkTextMatch::Exact};
    EXPECT_EQ(count(bySource), 0u);
    bySource.Source = {QStringLiteral("Plant1.Area2.Src5"), TZelkTextMatch::Exact};
    EXPECT_EQ(count(bySource), 1u);
    TZelkJournalFilter anyText;
    anyText.AnyText = {QStringLiteral("message 1"), TZelkTextMatch::Substring};
    EXPECT_EQ(count(anyText), 3u); // 1, 10, 11
    // Filters combine.
    anyText.EventTypes = OPC_SIMPLE_EVENT;
    EXPECT_EQ(count(anyText), 2u); // 1, 11
}

TEST_P(JournalQuery, HostileSearchTextsMatchLiterallyAndDoNothingElse) {
    const QStringList hostile = {
        QStringLiteral("O'Brien said \"stop\""),
        QStringLiteral("100% done"),
        QStringLiteral("tank_1"),
        QStringLiteral("a;b"),
        QStringLiteral("back\\slash"),
        QStringLiteral("nul") + QChar(0) + QStringLiteral("inside"),
        QStringLiteral("'; DROP TABLE journal_notifications; --"),
        QStringLiteral("plain"),
    };
    std::vector<TZelkJournalEntry> entries;
    for (int i = 0; i < hostile.size(); ++i)
        entries.push_back(NotificationEntry(MakeRecord(i, hostile[i], hostile[i])));
    WriteEntries(Place.Url(), entries);

    for (const QString& text : hostile) {
        for (const TZelkTextMatch match : {TZelkTextMatch::Substring, TZelkTextMatch::Exact}) {
            const auto rows = Find(&TZelkJournalFilter::Message, text, match);
            ASSERT_EQ(rows.size(), 1u) << text.toStdString();
            EXPECT_EQ(rows[0].Event.Source.size(), text.size());
        }
    }
    // The characters LIKE would take as wildcards are plain characters here.
    EXPECT_EQ(
        Find(&TZelkJournalFilter::Source, QStringLiteral("%"), TZelkTextMatch::Substring).size(),
        1u);
    EXPECT_EQ(Find(&TZelkJournalFilter::Source, QStringLiteral("tank_"), TZelkTextMatch::Substring)
                  .size(),
              1u);
    EXPECT_EQ(Find(&TZelkJournalFilter::Source, QStringLiteral("tank?1"), TZelkTextMatch::Substring)
                  .size(),
              0u);
    EXPECT_EQ(
        Find(&TZelkJournalFilter::Source, QStringLiteral("\\"), TZelkTextMatch::Substring).size(),
        1u);
    // A broken wildcard matches nothing instead of failing the query.
    EXPECT_EQ(
        Find(&TZelkJournalFilter::Source, QStringLiteral("[abc"), TZelkTextMatch::Wildcard).size(),
        0u);
    EXPECT_EQ(
        Find(&TZelkJournalFilter::Source, QStringLiteral("*'*"), TZelkTextMatch::Wildcard).size(),
        2u);

    TZelkJournalReader reader(Place.Url());
    EXPECT_EQ(reader.Info().Notifications, hostile.size()) << "nothing was dropped or changed";
}

TEST_P(JournalQuery, WildcardsFollowOpcPatterns) {
    const QStringList sources = {
        QStringLiteral("Plant1.TankFarm.LIC201"),
        QStringLiteral("Plant1.TankFarm.LIC202"),
        QStringLiteral("Plant1.Reactor.TIC301"),
        QStringLiteral("plant1.reactor.tic302"),
        QStringLiteral("A*B"),
        QStringLiteral("A[B"),
        QStringLiteral("A.B"),
        QStringLiteral("A^B"),
    };
    std::vector<TZelkJournalEntry> entries;
    for (int i = 0; i < sources.size(); ++i)
        entries.push_back(NotificationEntry(MakeRecord(i, sources[i])));
    WriteEntries(Place.Url(), entries);
    const auto matching = [&](const QString& pattern) {
        return SourcesOf(Find(&TZelkJournalFilter::Source, pattern, TZelkTextMatch::Wildcard));
    };
    EXPECT_EQ(matching(QStringLiteral("*LIC20#")).size(), 2);
    EXPECT_EQ(matching(QStringLiteral("Plant1.*.TIC3??")), QStringList{sources[2]})
        << "case-sensitive";
    EXPECT_EQ(matching(QStringLiteral("*LIC20[!1]")), QStringList{sources[1]});
    EXPECT_EQ(matching(QStringLiteral("*[a-c]*.tic30[0-9]")), QStringList{sources[3]});
    EXPECT_EQ(matching(QStringLiteral("A[*]B")), QStringList{sources[4]});
    EXPECT_EQ(matching(QStringLiteral("A[[]B")), QStringList{sources[5]});
    EXPECT_EQ(matching(QStringLiteral("A.B")), QStringList{sources[6]}) << "a dot is a dot";
    EXPECT_EQ(matching(QStringLiteral("A[^]B")), QStringList{sources[7]});
    EXPECT_EQ(matching(QStringLiteral("LIC201")).size(), 0) << "a pattern covers the whole text";
}

TEST_P(JournalQuery, KeysetPagesVisitEveryRowOnceInBothOrders) {
    std::vector<TZelkJournalEntry> entries;
    for (int i = 0; i < 250; ++i)
        entries.push_back(NotificationEntry(
            MakeRecord(i, i % 5 == 0 ? QStringLiteral("Rare") : QStringLiteral("Common"))));
    WriteEntries(Place.Url(), entries);
    TZelkJournalReader reader(Place.Url());
    for (const bool newestFirst : {true, false}) {
        for (const bool rare : {false, true}) {
            TZelkJournalFilter filter;
            if (rare)
                filter.Source = {QStringLiteral("Rare"), TZelkTextMatch::Exact};
            TZelkJournalPage page;
            page.NewestFirst = newestFirst;
            page.Limit = 40;
            std::vector<std::int64_t> keys;
            for (;;) {
                const auto rows = reader.Notifications(filter, page);
                for (const auto& row : rows)
                    keys.push_back(row.Id);
                if (rows.size() < 40u)
                    break;
                page.After = rows.back().Id;
            }
            ASSERT_EQ(keys.size(), rare ? 50u : 250u);
            EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(), [&](auto a, auto b) {
                return newestFirst ? a > b : a < b;
            }));
            EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());
        }
    }
}

TEST_P(JournalQuery, ActionsKeepTheirPerConditionResults) {
    TZelkJournalAction ack;
    ack.Kind = QString::fromLatin1(zelk::journal::kind::Acknowledge);
    ack.Who = QStringLiteral("OPERATOR1");
    ack.Comment = QStringLiteral("checked the level; it's fine");
    ack.Count = 2;
    ack.Results = {{QStringLiteral("Plant1.TankFarm.LIC201"), QStringLiteral("PVLEVEL"), 7,
                    FileTimeOfTicks(133537968000000000ULL), S_OK},
                   {QStringLiteral("Plant1.TankFarm.LIC202"), QStringLiteral("PVLEVEL"), 8,
                    FileTimeOfTicks(133537968000000001ULL), static_cast<HRESULT>(0xC0040007)}};
    TZelkJournalAction connect;
    connect.Kind = QString::fromLatin1(zelk::journal::kind::Connect);
    TZelkJournalAction shutdown;
    shutdown.Kind = QString::fromLatin1(zelk::journal::kind::Shutdown);
    shutdown.Reason = QStringLiteral("maintenance");
    WriteEntries(Place.Url(), {ActionEntry(connect), ActionEntry(ack), ActionEntry(shutdown)});

    TZelkJournalReader reader(Place.Url());
    TZelkActionFilter all;
    const auto rows = reader.Actions(all, {.NewestFirst = false});
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].Action.Kind, QStringLiteral("connect"));
    const TZelkJournalAction& read = rows[1].Action;
    EXPECT_EQ(read.Who, ack.Who);
    EXPECT_EQ(read.Comment, ack.Comment);
    ASSERT_EQ(read.Results.size(), 2u);
    EXPECT_EQ(read.Results[1].Source, QStringLiteral("Plant1.TankFarm.LIC202"));
    EXPECT_EQ(read.Results[1].Result, static_cast<HRESULT>(0xC0040007));
    EXPECT_EQ(read.Results[1].Cookie, 8u);
    EXPECT_EQ(zelk::ae::FileTimeTicks(read.Results[1].ActiveTime), 133537968000000001ULL);
    EXPECT_EQ(rows[2].Action.Reason, QStringLiteral("maintenance"));

    TZelkActionFilter kinds;
    kinds.Kinds = {QStringLiteral("shutdown"), QStringLiteral("acknowledge")};
    EXPECT_EQ(reader.Actions(kinds, {}).size(), 2u);
    TZelkActionFilter text;
    text.AnyText = {QStringLiteral("it's"), TZelkTextMatch::Substring};
    EXPECT_EQ(reader.Actions(text, {}).size(), 1u);
}

TEST_P(JournalQuery, PurgeKeepsTheNewestRowsAndTheRecentDays) {
    const std::int64_t now = zelk::journal::NowTicks();
    constexpr std::int64_t day = 864'000'000'000LL;
    std::vector<TZelkJournalEntry> entries;
    for (int i = 0; i < 30; ++i)
        entries.push_back(NotificationEntry(MakeRecord(i), now - (30 - i) * day + day / 2));
    TZelkJournalAction old;
    old.Kind = QString::fromLatin1(zelk::journal::kind::Acknowledge);
    old.Results = {{QStringLiteral("S"), QStringLiteral("C"), 1, {}, S_OK}};
    entries.push_back(ActionEntry(old, now - 20 * day));
    WriteEntries(Place.Url(), entries);

    TZelkJournalReader reader(Place.Url());
    // Rows older than 10 days go (received 29.5 to 10.5 days ago), with the action.
    EXPECT_EQ(reader.Purge({.Days = 10}), 21);
    EXPECT_EQ(reader.Info().Notifications, 10);
    EXPECT_EQ(reader.Info().Actions, 0);
    EXPECT_EQ(reader.Purge({.MaxRows = 4}), 6);
    const auto kept = ReadAll(reader);
    ASSERT_EQ(kept.size(), 4u);
    EXPECT_EQ(kept.back().Event.Cookie, 30u) << "the newest stay";
    EXPECT_EQ(reader.Purge({.Days = 10, .MaxRows = 4}), 0);
}

TEST_P(JournalQuery, InfoCountsRowsAndTheTimeSpan) {
    TZelkJournalAction lost;
    lost.Kind = QString::fromLatin1(zelk::journal::kind::Lost);
    lost.Count = 17;
    WriteEntries(Place.Url(), {NotificationEntry(MakeRecord(5), 1000),
                               NotificationEntry(MakeRecord(2), 2000), ActionEntry(lost)});
    TZelkJournalReader reader(Place.Url());
    const TZelkJournalInfo info = reader.Info();
    EXPECT_EQ(info.SchemaVersion, zelk::journal::CurrentSchemaVersion);
    EXPECT_EQ(info.Notifications, 2);
    EXPECT_EQ(info.Actions, 1);
    EXPECT_EQ(info.Servers, 1);
    EXPECT_EQ(info.Lost, 17);
    EXPECT_EQ(info.FirstTime, std::int64_t(zelk::ae::FileTimeTicks(MakeRecord(2).Time)));
    EXPECT_EQ(info.LastTime, std::int64_t(zelk::ae::FileTimeTicks(MakeRecord(5).Time)));
    EXPECT_EQ(info.FirstReceived, 1000);
    EXPECT_EQ(info.LastReceived, 2000);
    EXPECT_GT(info.SizeBytes, 0);
    EXPECT_EQ(info.Url, Place.Url().startsWith(QLatin1String("sqlite:"))
                            ? Place.Url()
                            : TZelkJournalLocation::Parse(Place.Url()).Url());
}

INSTANTIATE_TEST_SUITE_P(Backends, JournalQuery,
                         ::testing::Values(TZelkJournalBackend::SQLite,
                                           TZelkJournalBackend::PostgreSQL),
                         BackendName);
