// The window's journal: what its event server receives and what the operator does is
// kept, the History page reads it back, and the status bar says how the journal is.

#include "MainWindowTestSupport.h"
#include "ZelkHistoryPage.h"
#include "ZelkJournal.h"
#include "ZelkJournalModel.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

using namespace zelk::apptest;

namespace {

QStringList Column(const TZelkJournalModel* model, int column) {
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->data(model->index(row, column)).toString();
    return texts;
}

} // namespace

TEST_F(MainWindowTest, TheHistoryPageReadsBackWhatTheJournalKept) {
    const QString url = QStringLiteral("sqlite:") + FDataHome.filePath(QStringLiteral("j.sqlite"));
    FWindow->SetJournalUrl(url);
    auto* state = FWindow->findChild<QLabel*>(QStringLiteral("StatusJournal"));
    ASSERT_TRUE(zelk::test::WaitUntil([&] {
        return state->text() == QStringLiteral("Journal: writing");
    })) << state->text().toStdString();

    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE((*FSim)->Activate(TIC301, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(2));
    Select(RowOf(LIC201));
    FWindow->Acknowledge1Click();
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return FWindow->Journal()->Written() >= 5; }))
        << "connect, refresh, two notifications, one acknowledgement and its notification";

    TZelkHistoryPage* page = FWindow->HistoryPage();
    page->findChild<QLineEdit*>(QStringLiteral("HistoryText"))->setText(QStringLiteral("TIC301"));
    page->RefreshClick();
    EXPECT_EQ(Column(page->Model(), 1), QStringList{TIC301});

    page->findChild<QLineEdit*>(QStringLiteral("HistoryText"))->clear();
    page->RefreshClick();
    EXPECT_EQ(page->Model()->rowCount(), 3) << "two alarms and the acknowledged one";
    EXPECT_EQ(Column(page->Model(), 1).first(), LIC201) << "newest first";

    page->findChild<QCheckBox*>(QStringLiteral("HistoryActions"))->setChecked(true);
    const QStringList kinds = Column(page->Model(), 1);
    EXPECT_TRUE(kinds.contains(QStringLiteral("connect")));
    EXPECT_TRUE(kinds.contains(QStringLiteral("acknowledge")));
    EXPECT_EQ(Column(page->Model(), 2).value(kinds.indexOf(QStringLiteral("acknowledge"))),
              QStringLiteral("Tarsk"));

    // Switched off from the File menu; a URL the journal cannot take changes nothing.
    FWindow->JournalQuery = [](QString& url) {
        url = QStringLiteral("nosuchdb://x");
        return true;
    };
    FWindow->findChild<QAction*>(QStringLiteral("Journal1"))->trigger();
    EXPECT_EQ(FShown.size(), 1);
    EXPECT_EQ(FWindow->JournalUrl(), url);
    FWindow->JournalQuery = [](QString& url) {
        url.clear();
        return true;
    };
    FWindow->findChild<QAction*>(QStringLiteral("Journal1"))->trigger();
    EXPECT_EQ(FWindow->JournalUrl(), QString());
    EXPECT_EQ(state->text(), QStringLiteral("Journal: off"));
    page->RefreshClick();
    EXPECT_EQ(page->Model()->rowCount(), 0);
    EXPECT_TRUE(page->findChild<QLabel*>(QStringLiteral("HistoryStatus"))
                    ->text()
                    .startsWith(QStringLiteral("The journal is off")));
}
