// The window's commands that open the toolkit's dialogs, end to end: connect through the
// server selection, sort through the sort dialog, add a filter, open a condition's state
// by double-click, acknowledge and disconnect.

#include "MainWindowTestSupport.h"
#include "ZelkConditionStateDlg.h"
#include "ZelkDefFilterDlg.h"
#include "ZelkDlgServerSelect.h"
#include "ZelkEventSortDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

using namespace zelk::apptest;
using Model = TZelkAlarmListModel;

namespace {

void Trigger(TMainForm& window, const char* name) {
    QAction* action = window.findChild<QAction*>(QString::fromLatin1(name));
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
}

void SelectItem(QWidget* dialog, const char* list, const QString& text) {
    auto* widget = dialog->findChild<QListWidget*>(QString::fromLatin1(list));
    ASSERT_NE(widget, nullptr) << list;
    const QList<QListWidgetItem*> items = widget->findItems(text, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1) << text.toStdString();
    widget->clearSelection();
    widget->setCurrentItem(items.first());
    items.first()->setSelected(true);
}

} // namespace

TEST_F(MainWindowTest, AnOperatorsSessionThroughTheDialogs) {
    // Cancelling the server dialog changes nothing.
    OnNextModal([](QWidget* modal) { modal->close(); });
    Trigger(*FWindow, "Connect1");
    EXPECT_FALSE(FWindow->ZelkEventServer1()->Active());
    EXPECT_EQ(FWindow->ListModel()->rowCount(), 1) << "the placeholder row stays";

    // Connect: Find lists the simulated server, the first row is taken, OK.
    QString classId;
    OnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<TZelkSelectServerDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->bRefreshClick();
        classId = dialog->findChild<QLineEdit*>(QStringLiteral("eServerClassId"))->text();
        dialog->bOkCOMClick();
    });
    Trigger(*FWindow, "Connect1");
    ASSERT_TRUE(FWindow->ZelkEventServer1()->Active());
    EXPECT_EQ(FWindow->ZelkEventServer1()->ServerName(), classId);
    EXPECT_TRUE(classId.startsWith(QLatin1Char('{'))) << "stored by class id";
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE((*FSim)->Activate(TIC301, PVLEVEL, QStringLiteral("HI HI")));
    ASSERT_TRUE(WaitRows(2));

    // Sort by severity, descending, and nothing else.
    OnNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<TZelkEvSortDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->ExcAllBtnClick();
        SelectItem(dialog, "SrcList", QStringLiteral("Severity"));
        dialog->IncludeBtnClick();
        SelectItem(dialog, "DstList", QStringLiteral("Severity"));
        dialog->DstListDblClick();
        dialog->bOkClick();
    });
    Trigger(*FWindow, "SortListBy1");
    EXPECT_EQ(FWindow->ZelkEventServer1()->EventlistSort(),
              QStringList{QStringLiteral("Severity (D)")});
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return Cell(0, Model::ColSource) == TIC301; }));
    EXPECT_EQ(Cell(0, Model::ColSeverity), QStringLiteral("900"));

    // A filter for the level alarms only, made active with Update.
    const QString level = FWindow->EventOfItem(0)->CategoryName();
    ASSERT_FALSE(level.isEmpty());
    OnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<TZelkDefineFilterDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->bFilterAddClick();
        dialog->findChild<QLineEdit*>(QStringLiteral("eFilterName"))
            ->setText(QStringLiteral("Levels"));
        dialog->findChild<QCheckBox*>(QStringLiteral("cActive"))->setChecked(true);
        dialog->CatList() = QStringList{level};
        dialog->bUpdateClick();
        dialog->reject();
    });
    Trigger(*FWindow, "SetFilter1");
    TZelkEventFilters* filters = FWindow->ZelkEventServer1()->Filter();
    TZelkEventFilter* made = nullptr;
    for (int i = 0; i < filters->Count(); ++i)
        if (filters->Items(i)->Name() == QStringLiteral("Levels"))
            made = filters->Items(i);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->Categories(), QStringList{level});
    EXPECT_TRUE(made->Active());
    EXPECT_TRUE(FShown.isEmpty()) << FShown.join(QLatin1Char(' ')).toStdString();
    ASSERT_TRUE(zelk::test::WaitUntil([&] {
        (*FSim)->AdvanceClock(100);
        return RowOf(LIC201) >= 0 && RowOf(TIC301) >= 0;
    })) << "the filter's refresh reports both alarms again";

    // A double-click on a row shows its condition's state.
    QString shownSource;
    OnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<TConditionStateDlg*>(modal);
        ASSERT_NE(dialog, nullptr) << modal->metaObject()->className();
        for (const QLineEdit* edit : dialog->findChildren<QLineEdit*>())
            if (edit->text() == LIC201)
                shownSource = edit->text();
        dialog->accept();
    });
    QTreeView* view = FWindow->ListView1();
    const QModelIndex lic201 = FWindow->ListModel()->index(RowOf(LIC201), 0);
    view->scrollTo(lic201);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(lic201).center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(lic201).center());
    EXPECT_EQ(shownSource, LIC201);

    // Acknowledge the selected one, then disconnect: a double-click on the placeholder row
    // opens nothing.
    Trigger(*FWindow, "AcknownledgeEvent1");
    ASSERT_EQ(AckCalls().size(), 1);
    EXPECT_TRUE(AckCalls().first().contains(LIC201));
    Trigger(*FWindow, "Disconnect1");
    ASSERT_EQ(FWindow->ListModel()->RowId(0), 0);
    Select(0);
    FWindow->ListView1DblClick();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(FShown.isEmpty()) << FShown.join(QLatin1Char(' ')).toStdString();
}

TEST_F(MainWindowTest, ConnectingAgainClearsTheListAndTheFreeze) {
    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(1));
    Select(0);
    Trigger(*FWindow, "Freeze1");
    OnNextModal([](QWidget* modal) {
        auto* dialog = qobject_cast<TZelkSelectServerDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->bRefreshClick();
        dialog->bOkCOMClick();
    });
    Trigger(*FWindow, "Connect1");
    EXPECT_TRUE(FWindow->ZelkEventServer1()->Active());
    EXPECT_FALSE(FWindow->findChild<QAction*>(QStringLiteral("Freeze1"))->isChecked());
    EXPECT_EQ(FWindow->ListModel()->rowCount(), 0) << "emptied before the refresh comes in";
    ASSERT_TRUE(WaitRows(1, true)) << "the active alarm is reported again";
    EXPECT_EQ(FWindow->SelectedEventID(), FWindow->EventOfItem(0)->ID());
}
