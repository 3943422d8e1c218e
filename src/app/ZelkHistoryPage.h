#pragma once

// TZelkHistoryPage: the main window's "History" page. It reads the journal the window
// writes: the notifications of a time range (the last hour, the last day, or from-to),
// narrowed by a text, an event type and a severity range, or the operator's actions, in a
// table that pages through the journal as it scrolls.

#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableView;
class TZelkJournalModel;

class TZelkHistoryPage : public QWidget {
    Q_OBJECT
public:
    enum TRange { LastHour, LastDay, FromTo };

    explicit TZelkHistoryPage(QWidget* parent = nullptr);

    // Where the journal is; empty when journaling is off.
    std::function<QString()> JournalUrl;

    // Reads the first page again with the controls' choices. A journal that cannot be
    // read is said in the page's status line; the table is then empty.
    void RefreshClick();
    TZelkJournalModel* Model() const noexcept { return FModel; }

private:
    void RangeChanged();

    QComboBox* FRange;
    QDateTimeEdit* FFrom;
    QDateTimeEdit* FTo;
    QLineEdit* FText;
    QComboBox* FTypes;
    QSpinBox* FSeverityLow;
    QSpinBox* FSeverityHigh;
    QCheckBox* FActions;
    QPushButton* FRefresh;
    QTableView* FView;
    QLabel* FStatus;
    TZelkJournalModel* FModel;
};
