// The main window's aids beyond the alarm list's own rules: find, sorting by the column
// headers, local time or UTC, and the status bar.

#include "ShowException.h"
#include "ZelkAE.h"
#include "ZelkAEDemoMain.h"
#include "ZelkAlarmListModel.h"
#include "ZelkListExport.h"
#include "ui_ZelkAEDemoMain.h"

#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTimer>

namespace {

// The event property each column sorts by.
const std::array<QString, TZelkAlarmListModel::ColumnCount> ColumnProperties = {
    QStringLiteral("Time"), QStringLiteral("Source"), QStringLiteral("Msg"),
    QStringLiteral("Severity")};

const QString Descending = QStringLiteral(" (D)");

QString PropertyOfLine(const QString& line) {
    return line.endsWith(Descending) ? line.chopped(Descending.size()) : line;
}

} // namespace

void TMainForm::SetUpViewAndStatusBar() {
    ExportFileQuery = [this] {
        return QFileDialog::getSaveFileName(
            this, QStringLiteral("Export list"), QStringLiteral("alarms.csv"),
            QStringLiteral("CSV files (*.csv);;JSON lines (*.jsonl)"));
    };
    connect(ui->ExportList1, &QAction::triggered, this,
            [this] { Guarded([&] { ExportList1Click(); }); });
    ui->ListView1->header()->setSectionsClickable(true);
    connect(ui->ListView1->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { Guarded([&] { HeaderClick(column); }); });

    connect(ui->FindEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { Guarded([&] { SetFindText(text); }); });
    connect(ui->Find1, &QAction::triggered, this, [this] {
        ui->PageControl1->setCurrentWidget(ui->TabAlarms);
        ui->FindEdit->setFocus();
        ui->FindEdit->selectAll();
    });
    addAction(ui->Find1);
    auto* clearFind = new QAction(ui->FindEdit);
    clearFind->setObjectName(QStringLiteral("ClearFind"));
    clearFind->setShortcut(QKeySequence(Qt::Key_Escape));
    clearFind->setShortcutContext(Qt::WidgetShortcut);
    ui->FindEdit->addAction(clearFind);
    connect(clearFind, &QAction::triggered, ui->FindEdit, &QLineEdit::clear);

    auto* timeGroup = new QActionGroup(this);
    timeGroup->addAction(ui->LocalTime1);
    timeGroup->addAction(ui->UTCTime1);
    ui->LocalTime1->setChecked(true);
    connect(ui->LocalTime1, &QAction::triggered, this,
            [this] { Guarded([&] { SetTimeDisplay(TTimeDisplay::Local); }); });
    connect(ui->UTCTime1, &QAction::triggered, this,
            [this] { Guarded([&] { SetTimeDisplay(TTimeDisplay::Utc); }); });

    FStatusConnection = new QLabel(this);
    FStatusConnection->setObjectName(QStringLiteral("StatusConnection"));
    // A long server name is cut rather than widening the window.
    FStatusConnection->setMinimumWidth(1);
    FStatusConnection->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    FStatusEvents = new QLabel(this);
    FStatusEvents->setObjectName(QStringLiteral("StatusEvents"));
    FStatusRate = new QLabel(this);
    FStatusRate->setObjectName(QStringLiteral("StatusRate"));
    statusBar()->addWidget(FStatusConnection, 1);
    statusBar()->addPermanentWidget(FStatusEvents);
    statusBar()->addPermanentWidget(FStatusRate);
    FRateTimer = new QTimer(this);
    FRateTimer->setInterval(1000);
    connect(FRateTimer, &QTimer::timeout, this, [this] { CountNotificationsSecond(); });
    FRateTimer->start();
    UpdateStatusBar();
}

void TMainForm::ExportList1Click() {
    const QString fileName = ExportFileQuery ? ExportFileQuery() : QString();
    if (!fileName.isEmpty())
        ExportList(fileName);
}

bool TMainForm::ExportList(const QString& FileName) {
    // The records are taken in one go, before anything else can run: the rows and the
    // events behind them may change once the progress window lets the event loop turn.
    std::vector<TZelkEventRecord> records;
    records.reserve(static_cast<std::size_t>(FModel->rowCount()));
    for (int row = 0; row < FModel->rowCount(); ++row)
        if (const TZelkEvent* event = EventOfItem(row))
            records.push_back(TZelkEventRecord::FromEvent(*event));
    QProgressDialog progress(QStringLiteral("Exporting %1 events...").arg(records.size()),
                             QStringLiteral("Cancel"), 0, static_cast<int>(records.size()), this);
    progress.setWindowTitle(QStringLiteral("Export list"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    return ExportRecords(FileName, ExportFormatOfFile(FileName), records, [&](int written) {
        progress.setValue(written);
        QApplication::processEvents();
        return !progress.wasCanceled();
    });
}

void TMainForm::SetFindText(const QString& Text) {
    if (Text == FFindText)
        return;
    FFindText = Text;
    FFindMatcher = QStringMatcher(Text, Qt::CaseInsensitive);
    if (ui->FindEdit->text() != Text)
        ui->FindEdit->setText(Text);
    FillEventList();
}

bool TMainForm::MatchesFind(TZelkEvent* Event, QHash<int, QString>& Categories) const {
    const auto has = [this](const QString& text) { return FFindMatcher.indexIn(text) >= 0; };
    if (has(Event->Source()) || has(Event->Msg()) || has(Event->ConditionName()) ||
        has(Event->SubconditionName()))
        return true;
    // What an inactive row shows is its previous notification's message.
    if (!Event->Active() && has(Event->LastEvent()->Msg()))
        return true;
    auto category = Categories.find(Event->EventCategory());
    if (category == Categories.end())
        category = Categories.insert(Event->EventCategory(), Event->CategoryName());
    return has(*category);
}

void TMainForm::HeaderClick(int Column) {
    if (Column < 0 || Column >= TZelkAlarmListModel::ColumnCount)
        return;
    const QString property = ColumnProperties[static_cast<std::size_t>(Column)];
    const QStringList lines = FServer->EventlistSort();
    const QString first = lines.value(0);
    QString newFirst = property;
    if (PropertyOfLine(first).compare(property, Qt::CaseInsensitive) == 0 &&
        !first.endsWith(Descending))
        newFirst = property + Descending;
    QStringList sortLines{newFirst};
    for (const QString& line : lines)
        if (line.compare(QStringLiteral("none"), Qt::CaseInsensitive) != 0 &&
            PropertyOfLine(line).compare(property, Qt::CaseInsensitive) != 0)
            sortLines << line;
    FServer->SetEventlistSort(sortLines);
    FillEventList();
}

void TMainForm::UpdateSortIndicator() {
    QHeaderView* header = ui->ListView1->header();
    const QString first = FServer->EventlistSort().value(0);
    const QString property = PropertyOfLine(first);
    for (int column = 0; column < TZelkAlarmListModel::ColumnCount; ++column)
        if (ColumnProperties[static_cast<std::size_t>(column)].compare(property,
                                                                       Qt::CaseInsensitive) == 0) {
            header->setSortIndicatorShown(true);
            header->setSortIndicator(column, first.endsWith(Descending) ? Qt::DescendingOrder
                                                                        : Qt::AscendingOrder);
            return;
        }
    header->setSortIndicatorShown(false);
}

void TMainForm::SetTimeDisplay(TTimeDisplay Display) {
    FTimeDisplay = Display;
    (Display == TTimeDisplay::Utc ? ui->UTCTime1 : ui->LocalTime1)->setChecked(true);
    FModel->SetTimeDisplay(Display);
    ListView1Change();
    if (FServer->Active())
        FillServerPage();
}

double TMainForm::NotificationRate() const {
    if (FRateFilled == 0)
        return 0;
    int sum = 0;
    for (int i = 0; i < FRateFilled; ++i)
        sum += FRateSlots[static_cast<std::size_t>(i)];
    return static_cast<double>(sum) / FRateFilled;
}

void TMainForm::CountNotificationsSecond() {
    FRateSlots[static_cast<std::size_t>(FRateSlot)] = FReceivedThisSecond;
    FReceivedThisSecond = 0;
    FRateSlot = (FRateSlot + 1) % static_cast<int>(FRateSlots.size());
    FRateFilled = std::min(FRateFilled + 1, static_cast<int>(FRateSlots.size()));
    UpdateStatusBar();
}

void TMainForm::UpdateStatusBar() {
    if (!FStatusConnection)
        return;
    if (FServer->Active()) {
        QString server = FServer->ServerName();
        if (!FServer->ComputerName().isEmpty())
            server += QStringLiteral(" on ") + FServer->ComputerName();
        FStatusConnection->setText(QStringLiteral("Connected to ") + server);
    } else {
        FStatusConnection->setText(QStringLiteral("Not connected"));
    }
    const int total = FServer->Events()->Count();
    FStatusEvents->setText(FFindText.isEmpty()
                               ? QStringLiteral("%1 events").arg(total)
                               : QStringLiteral("%1 of %2 shown").arg(FShownEvents).arg(total));
    FStatusRate->setText(QStringLiteral("%1 notifications/s").arg(NotificationRate(), 0, 'f', 1));
}
