// The Statistics page's charts: the alarm rate per 10 minutes over the range with the
// flood line, the most frequent alarms as bars, and the priority distribution beside the
// guide. Each is a new QChart handed to its view, which owns it from then on.

#include "ZelkJournal.h"
#include "ZelkStatisticsPage.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QHorizontalBarSeries>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>

namespace zelk::app {

namespace {

const QColor Blue(0x19, 0x76, 0xd2);
const QColor Red(0xd3, 0x2f, 0x2f);
const QColor Grey(0xbd, 0xbd, 0xbd);

QChart* NewChart(const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setAnimationOptions(QChart::NoAnimation);
    return chart;
}

// A view releases its previous chart without deleting it: the page deletes it here.
void Install(QChartView* view, QChart* chart) {
    QChart* previous = view->chart();
    view->setChart(chart);
    delete previous;
}

qint64 Msecs(std::int64_t ticks) {
    return zelk::journal::DateTimeFromTicks(ticks).toMSecsSinceEpoch();
}

} // namespace

void TChartBuilder::Rate(QChartView* view, const TZelkAlarmReport& report) {
    QChart* chart = NewChart(QStringLiteral("Alarms per 10 minutes"));
    auto* rate = new QLineSeries;
    rate->setName(QStringLiteral("alarms"));
    rate->setColor(Blue);
    // A step line: each period's count holds from its start to its end.
    for (std::size_t i = 0; i < report.Periods.size(); ++i) {
        const std::int64_t start =
            report.From + static_cast<std::int64_t>(i) * zelk::journal::ReportPeriodTicks;
        const std::int64_t end = std::min(start + zelk::journal::ReportPeriodTicks, report.To);
        const auto count = static_cast<qreal>(report.Periods[i]);
        rate->append(static_cast<qreal>(Msecs(start)), count);
        rate->append(static_cast<qreal>(Msecs(end)), count);
    }
    auto* flood = new QLineSeries;
    flood->setName(QStringLiteral("flood: more than %1").arg(report.Options.FloodThreshold));
    QPen floodPen(Red);
    floodPen.setStyle(Qt::DashLine);
    floodPen.setWidth(2);
    flood->setPen(floodPen);
    const auto threshold = static_cast<qreal>(report.Options.FloodThreshold);
    flood->append(static_cast<qreal>(Msecs(report.From)), threshold);
    flood->append(static_cast<qreal>(Msecs(std::max(report.To, report.From + 1))), threshold);
    chart->addSeries(rate);
    chart->addSeries(flood);

    auto* time = new QDateTimeAxis;
    const bool days = report.To - report.From > 2 * 24 * zelk::journal::TicksPerHour;
    time->setFormat(days ? QStringLiteral("MM-dd hh:mm") : QStringLiteral("hh:mm"));
    time->setRange(
        zelk::journal::DateTimeFromTicks(report.From).toLocalTime(),
        zelk::journal::DateTimeFromTicks(std::max(report.To, report.From + 1)).toLocalTime());
    auto* count = new QValueAxis;
    count->setRange(0, std::max<qreal>(static_cast<qreal>(report.PeakPerPeriod), threshold * 1.5) *
                           1.05);
    count->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(count, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(time);
        series->attachAxis(count);
    }
    Install(view, chart);
}

void TChartBuilder::Top(QChartView* view, const TZelkAlarmReport& report) {
    QChart* chart = NewChart(QStringLiteral("Most frequent alarms"));
    auto* counts = new QBarSet(QStringLiteral("alarms"));
    counts->setColor(Blue);
    QStringList labels;
    // The most frequent at the top: a horizontal chart draws its first category lowest.
    for (auto alarm = report.Top.rbegin(); alarm != report.Top.rend(); ++alarm) {
        QString label = alarm->Source + QStringLiteral(" / ") + alarm->Condition;
        if (label.size() > 48)
            label = label.left(47) + QChar(0x2026);
        labels << label;
        *counts << static_cast<qreal>(alarm->Count);
    }
    auto* series = new QHorizontalBarSeries;
    series->append(counts);
    series->setLabelsVisible(true);
    chart->addSeries(series);
    auto* names = new QBarCategoryAxis;
    names->append(labels);
    names->setTruncateLabels(false);
    auto* values = new QValueAxis;
    values->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(names, Qt::AlignLeft);
    chart->addAxis(values, Qt::AlignBottom);
    series->attachAxis(names);
    series->attachAxis(values);
    chart->legend()->hide();
    Install(view, chart);
}

void TChartBuilder::Priorities(QChartView* view, const TZelkAlarmReport& report) {
    QChart* chart = NewChart(QStringLiteral("Priority distribution (%)"));
    auto* shares = new QBarSet(QStringLiteral("this range"));
    shares->setColor(Blue);
    auto* guide = new QBarSet(QStringLiteral("guide"));
    guide->setColor(Grey);
    QStringList bands;
    for (const TZelkBandCount& band : report.Priorities) {
        bands << band.Band.Name;
        *shares << band.Percent;
        *guide << band.Band.GuidePercent;
    }
    auto* series = new QBarSeries;
    series->append(shares);
    series->append(guide);
    series->setLabelsVisible(true);
    series->setLabelsFormat(QStringLiteral("@value"));
    series->setLabelsPrecision(3);
    chart->addSeries(series);
    auto* names = new QBarCategoryAxis;
    names->append(bands);
    auto* percent = new QValueAxis;
    percent->setRange(0, 100);
    percent->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(names, Qt::AlignBottom);
    chart->addAxis(percent, Qt::AlignLeft);
    series->attachAxis(names);
    series->attachAxis(percent);
    chart->legend()->setAlignment(Qt::AlignBottom);
    Install(view, chart);
}

} // namespace zelk::app
