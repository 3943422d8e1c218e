// The main window's journal: every notification and operator action of its event server
// kept in a database, the "History" page that reads it back, the "Statistics" page with
// the alarm performance report, and the journal's state in the status bar.

#include "ZelkAE.h"
#include "ZelkAEDemoMain.h"
#include "ZelkHistoryPage.h"
#include "ZelkJournal.h"
#include "ZelkStatisticsPage.h"
#include "ui_ZelkAEDemoMain.h"

#include <QInputDialog>
#include <QLabel>
#include <QStatusBar>

void TMainForm::SetUpJournal() {
    FJournal = new TZelkEventJournal(this);
    FJournal->Attach(FServer.get());
    FHistory = new TZelkHistoryPage(ui->PageControl1);
    FHistory->setObjectName(QStringLiteral("TabHistory"));
    FHistory->JournalUrl = [this] { return JournalUrl(); };
    ui->PageControl1->addTab(FHistory, QStringLiteral("History"));
    auto* statistics = new TZelkStatisticsPage(ui->PageControl1);
    statistics->setObjectName(QStringLiteral("TabStatistics"));
    statistics->JournalUrl = [this] { return JournalUrl(); };
    ui->PageControl1->addTab(statistics, QStringLiteral("Statistics"));
    // The History page shows the journal as it is when the operator turns to it; the
    // Statistics page computes its report the first time, and then when asked.
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, [this, statistics](int index) {
        if (ui->PageControl1->widget(index) == FHistory)
            FHistory->RefreshClick();
        if (ui->PageControl1->widget(index) == statistics && !statistics->Report().To)
            statistics->RefreshClick();
    });

    auto* journalItem = new QAction(QStringLiteral("Journal..."), this);
    journalItem->setObjectName(QStringLiteral("Journal1"));
    ui->File1->insertAction(ui->ExportList1, journalItem);
    connect(journalItem, &QAction::triggered, this, [this] { Guarded([&] { Journal1Click(); }); });
    JournalQuery = [this](QString& url) {
        bool ok = false;
        const QString entered = QInputDialog::getText(
            this, QStringLiteral("Journal"),
            QStringLiteral("Where the journal is kept (sqlite:FILE or "
                           "postgresql://user@host:port/database; empty: no journal)"),
            QLineEdit::Normal, url, &ok);
        if (ok)
            url = entered.trimmed();
        return ok;
    };

    FStatusJournal = new QLabel(this);
    FStatusJournal->setObjectName(QStringLiteral("StatusJournal"));
    statusBar()->addPermanentWidget(FStatusJournal);
    // The label is the connection's context: a window destroyed with its journal open
    // deletes the status bar first, and the journal's last state change then has no label
    // to write to.
    connect(FJournal, &TZelkEventJournal::StateChanged, FStatusJournal,
            [label = FStatusJournal, journal = FJournal] { label->setText(journal->StateText()); });
    FStatusJournal->setText(FJournal->StateText());
}

QString TMainForm::JournalUrl() const {
    return FJournal ? FJournal->Url() : QString();
}

void TMainForm::SetJournalUrl(const QString& Url) {
    if (Url == JournalUrl())
        return;
    if (Url.isEmpty())
        FJournal->Close();
    else
        FJournal->Open(Url);
    FStatusJournal->setText(FJournal->StateText());
}

void TMainForm::Journal1Click() {
    QString url = JournalUrl();
    if (JournalQuery && JournalQuery(url))
        SetJournalUrl(url);
}
