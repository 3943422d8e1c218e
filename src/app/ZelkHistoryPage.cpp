#include "ZelkHistoryPage.h"

#include "Exceptions.h"
#include "ZelkJournal.h"
#include "ZelkPageControls.h"
#include "ZelkJournalModel.h"
#include "opc_ae.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

namespace {

using zelk::app::Named;

QString ErrorText(const std::exception& e) {
    const auto* own = dynamic_cast<const Exception*>(&e);
    return own ? own->Message() : QString::fromUtf8(e.what());
}

} // namespace

TZelkHistoryPage::TZelkHistoryPage(QWidget* parent)
    : QWidget(parent), FRange(Named(new QComboBox(this), "HistoryRange")),
      FFrom(Named(new QDateTimeEdit(this), "HistoryFrom")),
      FTo(Named(new QDateTimeEdit(this), "HistoryTo")),
      FText(Named(new QLineEdit(this), "HistoryText")),
      FTypes(Named(new QComboBox(this), "HistoryTypes")),
      FSeverityLow(Named(new QSpinBox(this), "HistorySeverityLow")),
      FSeverityHigh(Named(new QSpinBox(this), "HistorySeverityHigh")),
      FActions(Named(new QCheckBox(QStringLiteral("Operator actions"), this), "HistoryActions")),
      FRefresh(Named(new QPushButton(QStringLiteral("&Show"), this), "HistoryRefresh")),
      FView(Named(new QTableView(this), "HistoryView")),
      FStatus(Named(new QLabel(this), "HistoryStatus")), FModel(new TZelkJournalModel(this)) {
    FRange->addItems(
        {QStringLiteral("Last hour"), QStringLiteral("Last day"), QStringLiteral("From - to")});
    zelk::app::SetUpRangeEdits(FFrom, FTo);
    FText->setPlaceholderText(QStringLiteral("Source, condition or message contains"));
    FText->setClearButtonEnabled(true);
    FTypes->addItems({QStringLiteral("All types"), QStringLiteral("Condition"),
                      QStringLiteral("Simple"), QStringLiteral("Tracking")});
    for (QSpinBox* box : {FSeverityLow, FSeverityHigh})
        box->setRange(1, 1000);
    FSeverityLow->setValue(1);
    FSeverityHigh->setValue(1000);
    FSeverityLow->setToolTip(QStringLiteral("Lowest severity"));
    FSeverityHigh->setToolTip(QStringLiteral("Highest severity"));

    FView->setModel(FModel);
    FView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FView->verticalHeader()->hide();
    FView->verticalHeader()->setDefaultSectionSize(FView->fontMetrics().height() + 4);
    FView->horizontalHeader()->setStretchLastSection(true);

    auto* filters = new QHBoxLayout;
    filters->addWidget(FRange);
    filters->addWidget(FFrom);
    filters->addWidget(FTo);
    filters->addWidget(FText, 1);
    auto* kinds = new QHBoxLayout;
    kinds->addWidget(FTypes);
    kinds->addWidget(new QLabel(QStringLiteral("Severity"), this));
    kinds->addWidget(FSeverityLow);
    kinds->addWidget(new QLabel(QStringLiteral("to"), this));
    kinds->addWidget(FSeverityHigh);
    kinds->addWidget(FActions);
    kinds->addStretch(1);
    kinds->addWidget(FRefresh);
    auto* page = new QVBoxLayout(this);
    page->addLayout(filters);
    page->addLayout(kinds);
    page->addWidget(FView, 1);
    page->addWidget(FStatus);

    connect(FRange, &QComboBox::currentIndexChanged, this, [this] { RangeChanged(); });
    connect(FRefresh, &QPushButton::clicked, this, [this] { RefreshClick(); });
    connect(FText, &QLineEdit::returnPressed, this, [this] { RefreshClick(); });
    connect(FActions, &QCheckBox::toggled, this, [this] { RefreshClick(); });
    RangeChanged();
}

void TZelkHistoryPage::RangeChanged() {
    const bool fromTo = FRange->currentIndex() == FromTo;
    FFrom->setEnabled(fromTo);
    FTo->setEnabled(fromTo);
}

void TZelkHistoryPage::RefreshClick() {
    const QString url = JournalUrl ? JournalUrl() : QString();
    if (url.isEmpty()) {
        FModel->Clear();
        FStatus->setText(QStringLiteral("The journal is off (File - Journal...)."));
        return;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> to;
    switch (FRange->currentIndex()) {
    case LastHour:
        from = zelk::journal::TicksFromDateTime(now.addSecs(-3600));
        break;
    case LastDay:
        from = zelk::journal::TicksFromDateTime(now.addDays(-1));
        break;
    default:
        from = zelk::journal::TicksFromDateTime(FFrom->dateTime().toUTC());
        to = zelk::journal::TicksFromDateTime(FTo->dateTime().toUTC());
        break;
    }
    const TZelkTextFilter text{FText->text().trimmed(), TZelkTextMatch::Substring};
    try {
        if (FActions->isChecked()) {
            TZelkActionFilter filter;
            filter.From = from;
            filter.To = to;
            filter.AnyText = text;
            FModel->ShowActions(url, filter);
        } else {
            TZelkJournalFilter filter;
            // The time range selects by the time the server gave each notification.
            filter.From = from;
            filter.To = to;
            static const int types[] = {0, OPC_CONDITION_EVENT, OPC_SIMPLE_EVENT,
                                        OPC_TRACKING_EVENT};
            filter.EventTypes = types[std::clamp(FTypes->currentIndex(), 0, 3)];
            if (FSeverityLow->value() > 1)
                filter.SeverityLow = FSeverityLow->value();
            if (FSeverityHigh->value() < 1000)
                filter.SeverityHigh = FSeverityHigh->value();
            filter.AnyText = text;
            FModel->ShowNotifications(url, filter);
        }
        FStatus->setText(
            QStringLiteral("%1%2 %3 from %4")
                .arg(FModel->rowCount())
                .arg(FModel->canFetchMore(QModelIndex()) ? QStringLiteral("+") : QString())
                .arg(FActions->isChecked() ? QStringLiteral("actions")
                                           : QStringLiteral("notifications"))
                .arg(url));
    } catch (const std::exception& e) {
        FStatus->setText(QStringLiteral("The journal cannot be read: ") + ErrorText(e));
    }
    FView->resizeColumnsToContents();
}
