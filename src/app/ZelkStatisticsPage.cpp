#include "ZelkStatisticsPage.h"

#include "Exceptions.h"
#include "ZelkJournal.h"
#include "ZelkPageControls.h"

#include <QChartView>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

using zelk::app::Named;

QChartView* ChartView(QWidget* parent, const char* name, int height) {
    auto* view = Named(new QChartView(parent), name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumHeight(height);
    return view;
}

QTableWidget* Table(QWidget* parent, const char* name, const QStringList& headers) {
    auto* table = Named(new QTableWidget(0, static_cast<int>(headers.size()), parent), name);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void AddRow(QTableWidget* table, const QStringList& cells) {
    const int row = table->rowCount();
    table->insertRow(row);
    for (int column = 0; column < cells.size(); ++column)
        table->setItem(row, column, new QTableWidgetItem(cells[column]));
}

QString LocalTime(std::int64_t ticks) {
    return zelk::journal::DateTimeFromTicks(ticks).toLocalTime().toString(
        QStringLiteral("yyyy-MM-dd hh:mm"));
}

} // namespace

TZelkStatisticsPage::TZelkStatisticsPage(QWidget* parent)
    : QWidget(parent), FRange(Named(new QComboBox(this), "StatisticsRange")),
      FFrom(Named(new QDateTimeEdit(this), "StatisticsFrom")),
      FTo(Named(new QDateTimeEdit(this), "StatisticsTo")),
      FArea(Named(new QLineEdit(this), "StatisticsArea")),
      FRefresh(Named(new QPushButton(QStringLiteral("&Refresh"), this), "StatisticsRefresh")),
      FProgress(Named(new QProgressBar(this), "StatisticsProgress")),
      FStatus(Named(new QLabel(this), "StatisticsStatus")),
      FFigures(Table(this, "StatisticsFigures",
                     {QStringLiteral("Figure"), QStringLiteral("Value"), QStringLiteral("Target"),
                      QString()})),
      FRateChart(ChartView(this, "StatisticsRateChart", 240)),
      FTopChart(ChartView(this, "StatisticsTopChart", 300)),
      FPriorityChart(ChartView(this, "StatisticsPriorityChart", 300)),
      FAlarms(Table(this, "StatisticsAlarms",
                    {QStringLiteral("Kind"), QStringLiteral("Source"), QStringLiteral("Condition"),
                     QStringLiteral("Detail")})) {
    FRange->addItems(
        {QStringLiteral("Last day"), QStringLiteral("Last 7 days"), QStringLiteral("From - to")});
    zelk::app::SetUpRangeEdits(FFrom, FTo);
    FArea->setPlaceholderText(QStringLiteral("Area (empty: the whole plant)"));
    FArea->setClearButtonEnabled(true);
    // Busy without a measure: the database says nothing about its progress.
    FProgress->setRange(0, 0);
    FProgress->setMaximumWidth(160);
    FProgress->setTextVisible(false);
    FProgress->hide();
    FFigures->setMinimumHeight(330);
    FFigures->setWordWrap(true);
    FFigures->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    FFigures->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    FFigures->horizontalHeader()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    FAlarms->setMinimumHeight(200);
    FAlarms->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    FAlarms->horizontalHeader()->setStretchLastSection(true);

    auto* controls = new QHBoxLayout;
    controls->addWidget(FRange);
    controls->addWidget(FFrom);
    controls->addWidget(FTo);
    controls->addWidget(FArea, 1);
    controls->addWidget(FRefresh);
    controls->addWidget(FProgress);

    auto* content = new QWidget;
    auto* grid = new QGridLayout(content);
    grid->addWidget(FFigures, 0, 0);
    grid->addWidget(FPriorityChart, 0, 1);
    grid->addWidget(FRateChart, 1, 0, 1, 2);
    grid->addWidget(FTopChart, 2, 0);
    grid->addWidget(FAlarms, 2, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(FStatus);
    layout->addWidget(scroll, 1);

    connect(FRange, &QComboBox::currentIndexChanged, this, [this] { RangeChanged(); });
    connect(FRefresh, &QPushButton::clicked, this, [this] { RefreshClick(); });
    connect(FArea, &QLineEdit::returnPressed, this, [this] { RefreshClick(); });
    connect(&FWatcher, &QFutureWatcher<TOutcome>::finished, this, [this] { Finished(); });
    RangeChanged();
    Show(FReport);
    FStatus->setText(QStringLiteral("Refresh computes the alarm performance report from the "
                                    "journal."));
}

bool TZelkStatisticsPage::Busy() const {
    return FWatcher.isRunning();
}

void TZelkStatisticsPage::RangeChanged() {
    const bool fromTo = FRange->currentIndex() == FromTo;
    FFrom->setEnabled(fromTo);
    FTo->setEnabled(fromTo);
}

TZelkStatisticsPage::TOutcome TZelkStatisticsPage::Compute(const QString& url,
                                                           const TZelkAlarmReportOptions& options) {
    // The reader's connection belongs to this worker thread: made and closed here.
    TOutcome outcome;
    try {
        TZelkJournalReader reader(url);
        outcome.Report = zelk::journal::ComputeAlarmReport(reader.Connection(), options);
    } catch (const Exception& e) {
        outcome.Error = e.Message();
    } catch (const std::exception& e) {
        outcome.Error = QString::fromUtf8(e.what());
    }
    return outcome;
}

void TZelkStatisticsPage::RefreshClick() {
    if (Busy())
        return;
    const QString url = JournalUrl ? JournalUrl() : QString();
    if (url.isEmpty()) {
        FStatus->setText(QStringLiteral("The journal is off: choose one with File > Journal..."));
        Q_EMIT Refreshed();
        return;
    }
    TZelkAlarmReportOptions options;
    const QDateTime now = QDateTime::currentDateTime();
    QDateTime from = FFrom->dateTime();
    QDateTime to = FTo->dateTime();
    if (FRange->currentIndex() == LastDay || FRange->currentIndex() == LastWeek) {
        to = now;
        from = now.addDays(FRange->currentIndex() == LastDay ? -1 : -7);
    }
    if (to <= from) {
        FStatus->setText(QStringLiteral("The end of the range must be later than its start."));
        Q_EMIT Refreshed();
        return;
    }
    options.From = zelk::journal::TicksFromDateTime(from);
    // The last day or week starts at a whole 10 minutes, so that its periods read as clock
    // times (12:00-12:10, ...).
    if (FRange->currentIndex() != FromTo)
        *options.From -= *options.From % zelk::journal::ReportPeriodTicks;
    options.To = zelk::journal::TicksFromDateTime(to);
    options.Area = FArea->text().trimmed();
    FRefresh->setEnabled(false);
    FProgress->show();
    FStatus->setText(QStringLiteral("Computing the report..."));
    FWatcher.setFuture(QtConcurrent::run(&TZelkStatisticsPage::Compute, url, options));
}

void TZelkStatisticsPage::Finished() {
    const TOutcome outcome = FWatcher.result();
    FRefresh->setEnabled(true);
    FProgress->hide();
    if (!outcome.Error.isEmpty()) {
        FStatus->setText(QStringLiteral("No report: %1").arg(outcome.Error));
    } else {
        FReport = outcome.Report;
        Show(FReport);
        const QString area = FReport.Options.Area.isEmpty() ? QStringLiteral("the whole plant")
                                                            : FReport.Options.Area;
        FStatus->setText(FReport.HasData()
                             ? QStringLiteral("%1 alarms from %2 to %3, %4.")
                                   .arg(FReport.Alarms)
                                   .arg(LocalTime(FReport.From), LocalTime(FReport.To), area)
                             : QStringLiteral("No alarms from %1 to %2 in %3: no data.")
                                   .arg(LocalTime(FReport.From), LocalTime(FReport.To), area));
    }
    Q_EMIT Refreshed();
}

void TZelkStatisticsPage::Show(const TZelkAlarmReport& report) {
    FFigures->setRowCount(0);
    for (const TZelkAlarmFigure& figure : zelk::journal::AlarmReportFigures(report)) {
        QString met;
        if (figure.Met)
            met = *figure.Met ? QStringLiteral("met") : QStringLiteral("not met");
        AddRow(FFigures, {figure.Name, figure.Value, figure.Target, met});
        if (figure.Met)
            FFigures->item(FFigures->rowCount() - 1, 3)
                ->setForeground(*figure.Met ? QColor(0x1a, 0x7f, 0x37) : QColor(0xc6, 0x28, 0x28));
    }
    FFigures->resizeRowsToContents();

    FAlarms->setRowCount(0);
    for (const TZelkFloodEpisode& flood : report.Floods)
        AddRow(FAlarms, {QStringLiteral("Flood"), QString(), QString(),
                         QStringLiteral("%1 to %2: %3 alarms")
                             .arg(LocalTime(flood.Start), LocalTime(flood.End))
                             .arg(flood.Alarms)});
    for (const TZelkAlarmCount& alarm : report.Chattering)
        AddRow(FAlarms, {QStringLiteral("Chattering"), alarm.Source, alarm.Condition,
                         QStringLiteral("%1 activations").arg(alarm.Count)});
    for (const TZelkStandingAlarm& alarm : report.Standing)
        AddRow(FAlarms, {QStringLiteral("Standing"), alarm.Source, alarm.Condition,
                         QStringLiteral("active since %1").arg(LocalTime(alarm.ActiveSince))});

    zelk::app::TChartBuilder::Rate(FRateChart, report);
    zelk::app::TChartBuilder::Top(FTopChart, report);
    zelk::app::TChartBuilder::Priorities(FPriorityChart, report);
}
