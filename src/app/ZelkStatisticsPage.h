#pragma once

// TZelkStatisticsPage: the main window's "Statistics" page. It shows the alarm performance
// report of the journal the window writes, for a time range (the last day, the last 7
// days, or from-to) and the whole plant or one area: the figures beside their targets,
// the alarm rate per 10 minutes with the flood line, the most frequent alarms and the
// priority distribution. The report is computed on a worker thread when the operator asks
// (Refresh); the page shows that it is working and the window stays responsive.

#include "ZelkAlarmReport.h"

#include <QFutureWatcher>
#include <QWidget>
#include <functional>

class QChartView;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

class TZelkStatisticsPage : public QWidget {
    Q_OBJECT
public:
    enum TRange { LastDay, LastWeek, FromTo };

    // A report still being computed when the page goes finishes on its own: the worker
    // holds nothing of the page.
    explicit TZelkStatisticsPage(QWidget* parent = nullptr);

    // Where the journal is; empty when journaling is off.
    std::function<QString()> JournalUrl;

    // Starts computing the report with the controls' choices; nothing while one is being
    // computed. The page shows it when it is done, or says why it could not be made.
    void RefreshClick();
    bool Busy() const;
    // The report shown; empty before the first.
    const TZelkAlarmReport& Report() const noexcept { return FReport; }

Q_SIGNALS:
    // A report was shown, or its failure said.
    void Refreshed();

private:
    struct TOutcome {
        TZelkAlarmReport Report;
        QString Error;
    };
    static TOutcome Compute(const QString& url, const TZelkAlarmReportOptions& options);
    void Finished();
    void Show(const TZelkAlarmReport& report);
    void RangeChanged();

    QComboBox* FRange;
    QDateTimeEdit* FFrom;
    QDateTimeEdit* FTo;
    QLineEdit* FArea;
    QPushButton* FRefresh;
    QProgressBar* FProgress;
    QLabel* FStatus;
    QTableWidget* FFigures;
    QChartView* FRateChart;
    QChartView* FTopChart;
    QChartView* FPriorityChart;
    QTableWidget* FAlarms;
    QFutureWatcher<TOutcome> FWatcher;
    TZelkAlarmReport FReport;
};

namespace zelk::app {

// The page's charts, each built anew for a report (Qt Charts).
class TChartBuilder {
public:
    static void Rate(QChartView* view, const TZelkAlarmReport& report);
    static void Top(QChartView* view, const TZelkAlarmReport& report);
    static void Priorities(QChartView* view, const TZelkAlarmReport& report);
};

} // namespace zelk::app
