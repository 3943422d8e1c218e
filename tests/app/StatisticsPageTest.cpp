// The Statistics page: the alarm performance report of the window's journal, computed on a
// worker thread while the page shows that it is busy, with its figures and charts.

#include "MainWindowTestSupport.h"
#include "ZelkJournal.h"
#include "ZelkJournalSchema.h"
#include "ZelkJournalStore.h"
#include "ZelkStatisticsPage.h"
#include "opc_ae.h"

#include <QAbstractSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QThreadPool>

using namespace zelk::apptest;

namespace {

// A journal with 11 alarms of one tank farm within a minute, about an hour ago: a flood.
QString FloodJournal(const QTemporaryDir& folder) {
    const QString url = QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("j.sqlite"));
    TZelkJournalConnection connection(TZelkJournalLocation::Parse(url), true);
    zelk::journal::PrepareSchema(connection, true);
    std::int64_t start = zelk::journal::NowTicks() - zelk::journal::TicksPerHour;
    start -= start % zelk::journal::ReportPeriodTicks;
    std::vector<TZelkJournalEntry> entries;
    for (int i = 0; i < 11; ++i) {
        TZelkEventRecord record;
        record.EventType = OPC_CONDITION_EVENT;
        record.Source = QStringLiteral("Plant1.TankFarm.LIC%1").arg(200 + i);
        record.Condition = PVLEVEL;
        record.ChangeMask = OPC_CHANGE_ACTIVE_STATE;
        record.NewState = OPC_CONDITION_ACTIVE | OPC_CONDITION_ENABLED;
        record.Severity = 700;
        record.AckRequired = true;
        const auto ticks = static_cast<std::uint64_t>(start + i * 50'000'000LL);
        record.Time = FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        record.ActiveTime = record.Time;
        entries.push_back({start, {QStringLiteral("Zelk.AESimulator.1"), QString()}, record});
    }
    TZelkJournalStore(connection).Write(entries);
    return url;
}

QString FigureCell(const QTableWidget* figures, const QString& name, int column) {
    for (int row = 0; row < figures->rowCount(); ++row)
        if (figures->item(row, 0)->text().startsWith(name))
            return figures->item(row, column)->text();
    return QStringLiteral("<no row %1>").arg(name);
}

class StatisticsPage : public ::testing::Test {
protected:
    bool Refresh() {
        FPage.RefreshClick();
        return zelk::test::WaitUntil([&] { return !FPage.Busy() && FRefresh->isEnabled(); });
    }
    QString Status() const {
        return FPage.findChild<QLabel*>(QStringLiteral("StatisticsStatus"))->text();
    }

    QTemporaryDir FFolder;
    TZelkStatisticsPage FPage;
    QPushButton* FRefresh = FPage.findChild<QPushButton*>(QStringLiteral("StatisticsRefresh"));
    QTableWidget* FFigures = FPage.findChild<QTableWidget*>(QStringLiteral("StatisticsFigures"));
};

TEST_F(StatisticsPage, ShowsTheReportWhileTheWindowKeepsWorking) {
    const QString url = FloodJournal(FFolder);
    FPage.JournalUrl = [url] { return url; };
    auto* progress = FPage.findChild<QProgressBar*>(QStringLiteral("StatisticsProgress"));
    FPage.RefreshClick();
    // The result comes back through the event loop: until then the page says it is busy.
    EXPECT_FALSE(progress->isHidden());
    EXPECT_FALSE(FRefresh->isEnabled());
    EXPECT_EQ(Status(), QStringLiteral("Computing the report..."));
    FPage.RefreshClick(); // ignored while busy
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return !FPage.Busy() && FRefresh->isEnabled(); }));
    EXPECT_TRUE(progress->isHidden());

    EXPECT_EQ(FPage.Report().Alarms, 11);
    EXPECT_EQ(FigureCell(FFigures, QStringLiteral("Peak alarms in 10 minutes"), 1),
              QStringLiteral("11"));
    EXPECT_EQ(FigureCell(FFigures, QStringLiteral("Peak alarms in 10 minutes"), 3),
              QStringLiteral("not met"));
    EXPECT_EQ(FigureCell(FFigures, QStringLiteral("Chattering alarms"), 3), QStringLiteral("met"));
    auto* alarms = FPage.findChild<QTableWidget*>(QStringLiteral("StatisticsAlarms"));
    ASSERT_EQ(alarms->rowCount(), 1);
    EXPECT_EQ(alarms->item(0, 0)->text(), QStringLiteral("Flood"));
    auto* rate = FPage.findChild<QChartView*>(QStringLiteral("StatisticsRateChart"));
    ASSERT_EQ(rate->chart()->series().size(), 2) << "the rate and the flood line";
    auto* top = FPage.findChild<QChartView*>(QStringLiteral("StatisticsTopChart"));
    EXPECT_EQ(top->chart()->series().size(), 1);

    // An area without alarms: no data, nothing judged.
    FPage.findChild<QLineEdit*>(QStringLiteral("StatisticsArea"))
        ->setText(QStringLiteral("Plant2"));
    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(Status().startsWith(QStringLiteral("No alarms from"))) << Status().toStdString();
    EXPECT_EQ(FigureCell(FFigures, QStringLiteral("Peak alarms in 10 minutes"), 1),
              QStringLiteral("0"));
    EXPECT_EQ(FigureCell(FFigures, QStringLiteral("Peak alarms in 10 minutes"), 3), QString());
}

TEST_F(StatisticsPage, SaysWhyThereIsNoReport) {
    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(Status().startsWith(QStringLiteral("The journal is off")))
        << Status().toStdString();

    const QString missing =
        QStringLiteral("sqlite:") + FFolder.filePath(QStringLiteral("missing.sqlite"));
    FPage.JournalUrl = [missing] { return missing; };
    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(Status().startsWith(QStringLiteral("No report: "))) << Status().toStdString();

    FPage.JournalUrl = [url = FloodJournal(FFolder)] { return url; };
    auto* range = FPage.findChild<QComboBox*>(QStringLiteral("StatisticsRange"));
    range->setCurrentIndex(TZelkStatisticsPage::FromTo);
    auto* to = FPage.findChild<QDateTimeEdit*>(QStringLiteral("StatisticsTo"));
    auto* from = FPage.findChild<QDateTimeEdit*>(QStringLiteral("StatisticsFrom"));
    to->setDateTime(from->dateTime().addSecs(-60));
    ASSERT_TRUE(Refresh());
    EXPECT_EQ(Status(), QStringLiteral("The end of the range must be later than its start."));
}

TEST_F(StatisticsPage, APageClosedWhileItComputesLeavesTheWorkerToFinishAlone) {
    const QString url = FloodJournal(FFolder);
    auto page = std::make_unique<TZelkStatisticsPage>();
    page->JournalUrl = [url] { return url; };
    page->RefreshClick();
    page.reset();
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(60'000));
    QCoreApplication::processEvents();
}

} // namespace

TEST_F(MainWindowTest, TheStatisticsTabReportsTheAlarmsOfTheWindowsJournal) {
    FWindow->SetJournalUrl(QStringLiteral("sqlite:") +
                           FDataHome.filePath(QStringLiteral("j.sqlite")));
    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE((*FSim)->Activate(TIC301, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(2));
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return FWindow->Journal()->Written() >= 4; }));

    auto* tabs = FWindow->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    auto* page = FWindow->findChild<TZelkStatisticsPage*>(QStringLiteral("TabStatistics"));
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(tabs->tabText(tabs->indexOf(page)), QStringLiteral("Statistics"));
    // Turning to the page the first time computes the report.
    tabs->setCurrentWidget(page);
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return page->Report().Alarms == 2; }))
        << page->Report().Alarms;
    EXPECT_EQ(page->Report().AckRequired, 2);
    EXPECT_EQ(page->Report().NeverAcknowledged, 2);
}
