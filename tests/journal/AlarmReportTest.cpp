// The alarm performance report on journals written row by row, its figures worked out by
// hand: floods, chattering, standing alarms, acknowledgement delays, priorities, areas,
// and ranges that hold nothing.

#include "JournalTestSupport.h"
#include "PostgresCluster.h"
#include "ZelkAlarmReport.h"
#include "ZelkAlarmReportSql.h"

#include <QtSql/QSqlQuery>

using namespace zelk::journaltest;
using zelk::journal::ReportPeriodTicks;
using zelk::journal::TicksPerHour;

namespace {

constexpr std::int64_t Second = 10'000'000;
constexpr std::int64_t Minute = 60 * Second;
// 2024-03-01T12:00:00Z, the start of a 10-minute period.
constexpr std::int64_t Noon = 133537680000000000LL;

// A journal of condition notifications written straight through the store.
class TPlant {
public:
    explicit TPlant(const QString& Url) : FUrl(Url) {}

    // The condition becomes active (or, with Sub set, moves to a new sub-condition).
    void Raise(const QString& Source, std::int64_t At, int Severity = 500,
               const QString& Condition = QStringLiteral("LEVEL"), bool Sub = false) {
        Add(Source, Condition, At, At, Sub ? OPC_CHANGE_SUBCONDITION : OPC_CHANGE_ACTIVE_STATE,
            OPC_CONDITION_ACTIVE, Severity);
    }
    // The server reports the activation of ActiveAt acknowledged at At, still active.
    void Ack(const QString& Source, std::int64_t ActiveAt, std::int64_t At) {
        Add(Source, QStringLiteral("LEVEL"), At, ActiveAt, OPC_CHANGE_ACK_STATE,
            OPC_CONDITION_ACTIVE | OPC_CONDITION_ACKED, 500);
    }
    void Clear(const QString& Source, std::int64_t ActiveAt, std::int64_t At,
               const QString& Condition = QStringLiteral("LEVEL")) {
        Add(Source, Condition, At, ActiveAt, OPC_CHANGE_ACTIVE_STATE, 0, 500);
    }
    // This client acknowledged the activation of ActiveAt at At, with Result.
    void ClientAck(const QString& Source, std::int64_t ActiveAt, std::int64_t At,
                   HRESULT Result = S_OK) {
        TZelkJournalAction action;
        action.Kind = QString::fromLatin1(zelk::journal::kind::Acknowledge);
        action.Who = QStringLiteral("operator");
        action.Count = 1;
        action.Results = {{Source, QStringLiteral("LEVEL"), 7,
                           FileTimeOfTicks(static_cast<std::uint64_t>(ActiveAt)), Result}};
        FEntries.push_back(ActionEntry(action, At));
    }
    void Add(const QString& Source, const QString& Condition, std::int64_t At,
             std::int64_t ActiveAt, int ChangeMask, int State, int Severity,
             bool AckRequired = true) {
        TZelkEventRecord record = MakeRecord(static_cast<int>(FEntries.size()), Source);
        record.Condition = Condition;
        record.ChangeMask = ChangeMask;
        record.NewState = State | OPC_CONDITION_ENABLED;
        record.Severity = Severity;
        record.AckRequired = AckRequired;
        record.Time = FileTimeOfTicks(static_cast<std::uint64_t>(At));
        record.ActiveTime = FileTimeOfTicks(static_cast<std::uint64_t>(ActiveAt));
        FEntries.push_back(NotificationEntry(record, At));
    }

    TZelkAlarmReport Report(TZelkAlarmReportOptions Options = {}) {
        WriteEntries(FUrl, FEntries);
        FEntries.clear();
        TZelkJournalReader reader(FUrl);
        return zelk::journal::ComputeAlarmReport(reader.Connection(), Options);
    }
    TZelkAlarmReport Report(std::int64_t From, std::int64_t To) {
        TZelkAlarmReportOptions options;
        options.From = From;
        options.To = To;
        return Report(options);
    }

private:
    QString FUrl;
    std::vector<TZelkJournalEntry> FEntries;
};

QString Tag(int i) {
    return QStringLiteral("Plant1.Unit.T%1").arg(i);
}

std::optional<bool> MetOf(const TZelkAlarmReport& report, const char* key) {
    for (const TZelkAlarmFigure& figure : zelk::journal::AlarmReportFigures(report))
        if (figure.Key == QLatin1String(key))
            return figure.Met;
    ADD_FAILURE() << key;
    return std::nullopt;
}

class AlarmReport : public ::testing::TestWithParam<TZelkJournalBackend> {
protected:
    TJournalPlace Place{GetParam()};
    TPlant Plant{Place.Url()};
};

TEST_P(AlarmReport, ElevenAlarmsInOnePeriodAreAFloodAndACutRangeCountsOnlyItsOwn) {
    // 12:01:00 to 12:07:40 every 40 s: 11 alarms, one of them a new sub-condition.
    for (int i = 0; i < 11; ++i)
        Plant.Raise(Tag(i), Noon + Minute + i * 40 * Second, 500, QStringLiteral("LEVEL"), i == 5);
    // 12:11:00 to 12:15:30 every 30 s: 10 alarms, not a flood.
    for (int i = 0; i < 10; ++i)
        Plant.Raise(Tag(20 + i), Noon + 11 * Minute + i * 30 * Second);
    // What is no alarm: a return to normal, an acknowledgement, a notification of nothing new.
    Plant.Clear(Tag(0), Noon + Minute, Noon + 2 * Minute);
    Plant.Ack(Tag(1), Noon + Minute + 40 * Second, Noon + 3 * Minute);
    Plant.Add(Tag(2), QString(), Noon + 4 * Minute, 0, 0, 0, 900);

    TZelkAlarmReport report = Plant.Report(Noon, Noon + TicksPerHour);
    EXPECT_EQ(report.Alarms, 21);
    EXPECT_EQ(report.Periods, (std::vector<std::int64_t>{11, 10, 0, 0, 0, 0}));
    EXPECT_EQ(report.PeakPerPeriod, 11);
    EXPECT_EQ(report.FloodPeriods, 1);
    EXPECT_DOUBLE_EQ(report.FloodPercent, 100.0 / 6);
    EXPECT_DOUBLE_EQ(report.AveragePerPeriod, 3.5);
    EXPECT_DOUBLE_EQ(report.AveragePerHour, 21);
    ASSERT_EQ(report.Floods.size(), 1u);
    EXPECT_EQ(report.Floods[0].Start, Noon);
    EXPECT_EQ(report.Floods[0].End, Noon + ReportPeriodTicks);
    EXPECT_EQ(report.Floods[0].Alarms, 11);
    EXPECT_EQ(MetOf(report, "peakPer10Minutes"), false);
    EXPECT_EQ(MetOf(report, "floodPercent"), false);
    EXPECT_EQ(MetOf(report, "averagePerHour"), false);

    // 12:05 to 12:15: the flood's last five and the next block's first eight, one period.
    report = Plant.Report(Noon + 5 * Minute, Noon + 15 * Minute);
    EXPECT_EQ(report.Periods, (std::vector<std::int64_t>{13}));
    ASSERT_EQ(report.Floods.size(), 1u);
    EXPECT_EQ(report.Floods[0].Start, Noon + 5 * Minute);
    EXPECT_EQ(report.Floods[0].End, Noon + 15 * Minute);
    // 12:04 to 12:12: the flood cut to 6 alarms and a short last period: no flood.
    report = Plant.Report(Noon + 4 * Minute, Noon + 12 * Minute);
    EXPECT_EQ(report.Periods, (std::vector<std::int64_t>{8}));
    EXPECT_TRUE(report.Floods.empty());
    // Without a range: the journal's whole periods.
    report = Plant.Report();
    EXPECT_EQ(report.From, Noon);
    EXPECT_EQ(report.To, Noon + 2 * ReportPeriodTicks);
    EXPECT_EQ(report.Periods, (std::vector<std::int64_t>{11, 10}));
}

TEST_P(AlarmReport, ThreeActivationsWithinTheWindowChatterAndJustOutsideDoNot) {
    const auto cycle = [this](const QString& source, std::initializer_list<int> seconds) {
        for (const int s : seconds) {
            Plant.Raise(source, Noon + s * Second);
            Plant.Clear(source, Noon + s * Second, Noon + (s + 1) * Second);
        }
    };
    cycle(QStringLiteral("Plant1.Fast"), {0, 20, 59});
    cycle(QStringLiteral("Plant1.Slow"), {0, 30, 61});
    cycle(QStringLiteral("Plant1.Once"), {100});
    TZelkAlarmReport report = Plant.Report(Noon, Noon + TicksPerHour);
    ASSERT_EQ(report.Chattering.size(), 1u);
    EXPECT_EQ(report.Chattering[0].Source, QStringLiteral("Plant1.Fast"));
    EXPECT_EQ(report.Chattering[0].Count, 3);
    EXPECT_EQ(MetOf(report, "chattering"), false);

    TZelkAlarmReportOptions options;
    options.From = Noon;
    options.To = Noon + TicksPerHour;
    options.ChatterCount = 2;
    options.ChatterWindow = 31 * Second;
    report = Plant.Report(options);
    ASSERT_EQ(report.Chattering.size(), 2u);
    EXPECT_EQ(report.Chattering[1].Source, QStringLiteral("Plant1.Slow"));
}

TEST_P(AlarmReport, AnAlarmActiveForADayAndASecondIsStandingAtTheEnd) {
    const std::int64_t end = Noon + 2 * 24 * TicksPerHour;
    const std::int64_t day = 24 * TicksPerHour;
    // Active a day and a second at the end, acknowledged since, cleared only afterwards.
    Plant.Raise(QStringLiteral("Plant1.Stuck"), end - day - Second);
    Plant.Ack(QStringLiteral("Plant1.Stuck"), end - day - Second, end - day + Minute);
    Plant.Clear(QStringLiteral("Plant1.Stuck"), end - day - Second, end + Minute);
    // Active a second less than a day.
    Plant.Raise(QStringLiteral("Plant1.Young"), end - day + Second);
    // Active for 30 hours, cleared an hour before the end.
    Plant.Raise(QStringLiteral("Plant1.Gone"), end - 30 * TicksPerHour);
    Plant.Clear(QStringLiteral("Plant1.Gone"), end - 30 * TicksPerHour, end - TicksPerHour);

    // The range is the last hour: a standing alarm began long before it.
    TZelkAlarmReport report = Plant.Report(end - TicksPerHour, end);
    ASSERT_EQ(report.Standing.size(), 1u);
    EXPECT_EQ(report.Standing[0].Source, QStringLiteral("Plant1.Stuck"));
    EXPECT_EQ(report.Standing[0].ActiveSince, end - day - Second);
    EXPECT_EQ(MetOf(report, "standing"), true);

    TZelkAlarmReportOptions options;
    options.From = end - TicksPerHour;
    options.To = end;
    options.StandingAfter = 12 * TicksPerHour;
    report = Plant.Report(options);
    EXPECT_EQ(report.Standing.size(), 2u);
}

TEST_P(AlarmReport, AcknowledgementDelaysAreTheServersOrElseThisClients) {
    const auto raisedAt = [](int i) { return Noon + i * Minute; };
    // Acknowledged by the server after 10, 20, 40 and 80 s.
    const int serverDelays[] = {10, 20, 40, 80};
    for (int i = 0; i < 4; ++i) {
        Plant.Raise(Tag(i), raisedAt(i));
        Plant.Ack(Tag(i), raisedAt(i), raisedAt(i) + serverDelays[i] * Second);
    }
    // By this client only, after 15 s.
    Plant.Raise(Tag(4), raisedAt(4));
    Plant.ClientAck(Tag(4), raisedAt(4), raisedAt(4) + 15 * Second);
    // The server's notification at 50 s counts, not the client's call at 35 s.
    Plant.Raise(Tag(5), raisedAt(5));
    Plant.ClientAck(Tag(5), raisedAt(5), raisedAt(5) + 35 * Second);
    Plant.Ack(Tag(5), raisedAt(5), raisedAt(5) + 50 * Second);
    // Never: a failed call; acknowledged only after the range; no acknowledgement needed.
    Plant.Raise(Tag(6), raisedAt(6));
    Plant.ClientAck(Tag(6), raisedAt(6), raisedAt(6) + Second, E_FAIL);
    Plant.Raise(Tag(7), raisedAt(7));
    Plant.Ack(Tag(7), raisedAt(7), Noon + 2 * TicksPerHour);
    Plant.Add(Tag(8), QStringLiteral("LEVEL"), raisedAt(8), raisedAt(8), OPC_CHANGE_ACTIVE_STATE,
              OPC_CONDITION_ACTIVE, 500, false);

    // Delays 10 15 20 40 50 80 s: the median between 20 and 40, the 90th percentile the 6th.
    const TZelkAlarmReport report = Plant.Report(Noon, Noon + TicksPerHour);
    EXPECT_EQ(report.Alarms, 9);
    EXPECT_EQ(report.AckRequired, 8);
    EXPECT_EQ(report.Acknowledged, 6);
    EXPECT_EQ(report.NeverAcknowledged, 2);
    EXPECT_EQ(report.AckMedian, 30 * Second);
    EXPECT_EQ(report.AckPercentile90, 80 * Second);
    EXPECT_EQ(zelk::journal::DurationText(*report.AckMedian), QStringLiteral("30.0 s"));
}

TEST_P(AlarmReport, PrioritiesTopAlarmsAndAnAreaCountOnlyWhatBelongsToThem) {
    // 80 low, 15 medium and 5 high alarms from 20 sources of the tank farm: the guide.
    for (int i = 0; i < 100; ++i)
        Plant.Raise(QStringLiteral("Plant1.TankFarm.T%1").arg(i % 20), Noon + i * Second,
                    i < 80   ? 100
                    : i < 95 ? 500
                             : 900);
    // The area itself counts; a neighbour with a longer name and another plant do not.
    Plant.Raise(QStringLiteral("Plant1.TankFarm"), Noon + 200 * Second, 900);
    Plant.Raise(QStringLiteral("Plant1.TankFarmB.T1"), Noon + 201 * Second, 900);
    Plant.Raise(QStringLiteral("Plant2.TankFarm.T1"), Noon + 202 * Second, 900);

    TZelkAlarmReportOptions options;
    options.From = Noon;
    options.To = Noon + TicksPerHour;
    options.Area = QStringLiteral("Plant1.TankFarm");
    TZelkAlarmReport report = Plant.Report(options);
    EXPECT_EQ(report.Alarms, 101);
    ASSERT_EQ(report.Priorities.size(), 3u);
    EXPECT_EQ(report.Priorities[0].Count, 80);
    EXPECT_EQ(report.Priorities[1].Count, 15);
    EXPECT_EQ(report.Priorities[2].Count, 6);
    EXPECT_EQ(MetOf(report, "priorities"), false) << "6 of 101 high is above 5 %";
    ASSERT_EQ(report.Top.size(), 10u);
    EXPECT_EQ(report.Top[0].Count, 5);
    EXPECT_DOUBLE_EQ(report.TopPercent, 100.0 * 50 / 101);

    options.Area = QStringLiteral("Plant1.TankFarm.T3");
    report = Plant.Report(options);
    EXPECT_EQ(report.Alarms, 5);
    EXPECT_EQ(report.Priorities[0].Count, 4);
    EXPECT_EQ(report.Priorities[1].Count, 1);
    EXPECT_EQ(MetOf(report, "priorities"), true) << "medium and high together at 20 %";
}

TEST_P(AlarmReport, AnEmptyJournalOrRangeHasNoDataAndNoDivisionByZero) {
    TZelkAlarmReport report = Plant.Report();
    EXPECT_FALSE(report.HasData());
    EXPECT_EQ(report.From, report.To);
    EXPECT_TRUE(report.Periods.empty());

    Plant.Raise(Tag(1), Noon);
    Plant.Ack(Tag(1), Noon, Noon + Second);
    report = Plant.Report(Noon + TicksPerHour, Noon + 2 * TicksPerHour);
    EXPECT_EQ(report.Alarms, 0);
    EXPECT_EQ(report.Periods.size(), 6u);
    EXPECT_EQ(report.AveragePerHour, 0);
    EXPECT_EQ(report.FloodPercent, 0);
    EXPECT_EQ(report.TopPercent, 0);
    EXPECT_EQ(report.Priorities.at(0).Percent, 0);
    EXPECT_FALSE(report.AckMedian.has_value());
    EXPECT_TRUE(report.Standing.empty()) << "active for two hours only";
    for (const TZelkAlarmFigure& figure : zelk::journal::AlarmReportFigures(report)) {
        EXPECT_FALSE(figure.Value.contains(QLatin1String("nan"))) << figure.Name.toStdString();
        if (figure.Key != QLatin1String("standing")) {
            EXPECT_FALSE(figure.Met.has_value()) << figure.Name.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, AlarmReport,
                         ::testing::Values(TZelkJournalBackend::SQLite,
                                           TZelkJournalBackend::PostgreSQL),
                         BackendName);

// The report reads the journal's alarm indexes: a term that differs from the index's
// own makes SQLite read the whole table instead, and a million rows take seconds.
TEST(AlarmReportIndexes, AnUpgradedJournalGetsThemAndSQLiteUsesThem) {
    TJournalPlace place;
    {
        TZelkJournalConnection connection(TZelkJournalLocation::Parse(place.Url()), true);
        zelk::journal::CreateSchemaVersion(connection, 2);
    }
    TPlant plant(place.Url());
    plant.Raise(Tag(1), Noon);
    EXPECT_EQ(plant.Report(Noon, Noon + Minute).Alarms, 1);
    TZelkJournalReader reader(place.Url());
    EXPECT_EQ(zelk::journal::SchemaVersion(reader.Connection()), 3);
    QSqlQuery plan(reader.Connection().Database());
    const QString alarms = QLatin1String(zelk::journal::AlarmTerms);
    ASSERT_TRUE(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN SELECT COUNT(*) FROM "
                                         "journal_notifications WHERE %1 AND time_raw >= 0 AND "
                                         "time_raw < 1")
                              .arg(alarms)));
    QString steps;
    while (plan.next())
        steps += plan.value(3).toString() + QLatin1Char('\n');
    EXPECT_TRUE(steps.contains(QLatin1String("INDEX journal_notifications_alarms")))
        << steps.toStdString();
}

} // namespace
