// The main window's journal: every notification and operator action of its event server
// kept in a database, the "History" page that reads it back, and the journal's state in
// the status bar.

#include "ZelkAE.h"
#include "ZelkAEDemoMain.h"
#include "ZelkHistoryPage.h"
#include "ZelkJournal.h"
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
    // The page shows the journal as it is when the operator turns to it.
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (ui->PageControl1->widget(index) == FHistory)
            FHistory->RefreshClick();
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
    connect(FJournal, &TZelkEventJournal::StateChanged, this,
            [this] { FStatusJournal->setText(FJournal->StateText()); });
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
