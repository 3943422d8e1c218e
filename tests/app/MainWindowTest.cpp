// The main window offscreen: what the operator sees at start, connected, after selecting,
// freezing, acknowledging and disconnecting, and when a handler fails.

#include "DateTime.h"
#include "Exceptions.h"
#include "MainWindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>

using namespace zelk::apptest;
using Model = TZelkAlarmListModel;

namespace {

QAction* Action(TMainForm& window, const char* name) {
    QAction* action = window.findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(action, nullptr) << name;
    return action;
}

} // namespace

TEST_F(MainWindowTest, AtStartThePlaceholderRowIsShownUnselectedWithAnEmptyPanel) {
    const QString before = FormatDayMonthTime(Now());
    ASSERT_EQ(FWindow->ListModel()->rowCount(), 1);
    const QString caption = Cell(0, Model::ColTime);
    EXPECT_TRUE(caption == before || caption == FormatDayMonthTime(Now())) << caption.toStdString();
    EXPECT_EQ(Cell(0, Model::ColSource), QStringLiteral("Zelk demo client"));
    EXPECT_EQ(Cell(0, Model::ColMessage), QStringLiteral("not connected to server"));
    EXPECT_EQ(Cell(0, Model::ColSeverity), QStringLiteral("1000"));
    EXPECT_EQ(RowData(0, Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    EXPECT_EQ(RowData(0, Model::ImageIndexRole).toInt(), 0);
    EXPECT_EQ(RowData(0, Model::IdRole).toInt(), 0);
    EXPECT_TRUE(FWindow->ListView1()->selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(FWindow->SelectedEventID(), -1);
    for (const char* edit : {"eEventType", "eEventCategory", "eCondition", "eSubCondition",
                             "eActiveTime", "eEventId", "eActorId", "eQuality", "Memo2"})
        EXPECT_EQ(Text(edit), QString()) << edit;
    EXPECT_EQ(Text("lState"), QStringLiteral("not connected"));
    const auto* pages = FWindow->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("TabAlarms"));
    EXPECT_EQ(FWindow->ListModel()->headerData(3, Qt::Horizontal).toString(),
              QStringLiteral("Serverity"));
}

TEST_F(MainWindowTest, ConnectedRowsShowStateByColourImageAndMessage) {
    ConnectWindow();
    EXPECT_TRUE(Text("Memo1").contains(QStringLiteral("connect to OPC AE server: ")));
    EXPECT_TRUE(Checked("canFilterByArea") && Checked("canFilterBySource"));
    EXPECT_FALSE(Text("lState").isEmpty());
    EXPECT_NE(Text("lState"), QStringLiteral("not connected"));
    EXPECT_TRUE(
        Text("lVersion").contains(QRegularExpression(QStringLiteral("^\\d+\\.\\d+ \\(\\d+\\)$"))))
        << Text("lVersion").toStdString();
    FWindow->ZelkEventServer1()->SetAutoDelete(false);

    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE((*FSim)->Activate(LIC202, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(2));
    const int active = RowOf(LIC201);
    ASSERT_GE(active, 0);
    EXPECT_EQ(RowData(active, Model::ImageIndexRole).toInt(), 0) << "active, not acknowledged";
    EXPECT_EQ(RowData(active, Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
    const QString activeMessage = Cell(active, Model::ColMessage);
    EXPECT_FALSE(activeMessage.isEmpty());
    EXPECT_EQ(Cell(active, Model::ColSeverity),
              QString::number(FWindow->EventOfItem(active)->Severity()));
    EXPECT_EQ(Cell(active, Model::ColTime),
              FormatDayMonthTime(FWindow->EventOfItem(active)->Time()));

    // Active and acknowledged: image 2, still red.
    Select(RowOf(LIC201));
    FWindow->Acknowledge1Click();
    ASSERT_TRUE(zelk::test::WaitUntil(
        [&] { return RowData(RowOf(LIC201), Model::ImageIndexRole).toInt() == 2; }));
    EXPECT_EQ(RowData(RowOf(LIC201), Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));

    // Back to normal: grey bells, green text, and the message of the notification before.
    ASSERT_TRUE((*FSim)->ReturnToNormal(LIC201, PVLEVEL));
    ASSERT_TRUE((*FSim)->ReturnToNormal(LIC202, PVLEVEL));
    ASSERT_TRUE(zelk::test::WaitUntil([&] {
        return RowData(RowOf(LIC202), Model::ImageIndexRole).toInt() == 1 &&
               RowData(RowOf(LIC201), Model::ImageIndexRole).toInt() == 3;
    }));
    const int normal = RowOf(LIC201);
    EXPECT_EQ(RowData(normal, Qt::ForegroundRole).value<QColor>(), QColor(0, 128, 0));
    TZelkEvent* event = FWindow->EventOfItem(normal);
    ASSERT_NE(event, nullptr);
    EXPECT_NE(event->Msg(), event->LastEvent()->Msg());
    EXPECT_EQ(Cell(normal, Model::ColMessage), event->LastEvent()->Msg());
    EXPECT_EQ(Cell(normal, Model::ColMessage), activeMessage);
}

TEST_F(MainWindowTest, TheDetailPanelFollowsTheSelectedRow) {
    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(1));
    Select(0);
    const TZelkEvent* event = FWindow->EventOfItem(0);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(FWindow->SelectedEventID(), event->ID());
    EXPECT_EQ(Text("eEventType"), QStringLiteral("Condition"));
    EXPECT_EQ(Text("eCondition"), PVLEVEL);
    EXPECT_EQ(Text("eSubCondition"), QStringLiteral("HI"));
    EXPECT_FALSE(Text("eEventCategory").isEmpty());
    EXPECT_EQ(Text("eActiveTime"), DateTimeToStr(event->ActiveTime()));
    EXPECT_EQ(Text("eEventId"), QString::number(event->Cookie()));
    EXPECT_EQ(Text("eQuality"), QStringLiteral("Good"));
    EXPECT_TRUE(Checked("cActive") && Checked("cEnabled") && Checked("cAcknowledge"));
    EXPECT_FALSE(Checked("cACKED"));
    const QStringList props = Text("Memo2").split(QLatin1Char('\n'));
    ASSERT_EQ(props.size(), event->CustomProps()->Count());
    EXPECT_EQ(props.first(), event->CustomProps()->Names(0) + QStringLiteral("->") +
                                 event->CustomProps()->ValueAsString(0));

    // Deselecting empties the panel; the placeholder row leaves it as it was.
    FWindow->ListView1()->clearSelection();
    EXPECT_EQ(Text("eCondition"), QString());
    EXPECT_EQ(Text("Memo2"), QString());
    Select(0);
    FWindow->AddNotConnectedRow();
    Select(0);
    EXPECT_EQ(FWindow->ListModel()->RowId(0), 0);
    EXPECT_EQ(Text("eCondition"), PVLEVEL) << "the placeholder row has no event";
}

TEST_F(MainWindowTest, ARebuildKeepsTheSelectedEventOrFallsBackToTheFirstRow) {
    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(1));
    ASSERT_TRUE((*FSim)->Activate(LIC202, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(2));
    const int lic201Id = FWindow->EventOfItem(RowOf(LIC201))->ID();
    Select(RowOf(LIC201));
    QWidget* elsewhere = FWindow->findChild<QWidget*>(QStringLiteral("Memo1"));
    QApplication::setActiveWindow(FWindow.get());
    FWindow->ListView1()->clearFocus();

    // A newer alarm sorts in front; the selection stays with its event, focus stays put.
    ASSERT_TRUE((*FSim)->Activate(TIC301, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(3));
    EXPECT_EQ(FWindow->SelectedRow(), RowOf(LIC201));
    EXPECT_EQ(FWindow->ListView1()->currentIndex().row(), RowOf(LIC201));
    EXPECT_EQ(FWindow->SelectedEventID(), lic201Id);
    EXPECT_FALSE(FWindow->ListView1()->hasFocus());
    (void)elsewhere;

    // The selected event leaves (acknowledged after clearing): the first row is selected
    // and the list takes the focus.
    ASSERT_TRUE((*FSim)->ReturnToNormal(LIC201, PVLEVEL));
    FWindow->Acknowledge1Click();
    ASSERT_TRUE(WaitRows(2));
    EXPECT_EQ(RowOf(LIC201), -1);
    EXPECT_EQ(FWindow->SelectedRow(), 0);
    EXPECT_EQ(FWindow->SelectedEventID(), FWindow->EventOfItem(0)->ID());
    EXPECT_TRUE(zelk::test::WaitUntil([&] { return FWindow->ListView1()->hasFocus(); }));
}

TEST_F(MainWindowTest, FreezeHoldsTheListAndUnfreezingRebuildsAtOnce) {
    ConnectWindow();
    QAction* freeze = Action(*FWindow, "Freeze1");
    freeze->trigger();
    ASSERT_TRUE(freeze->isChecked());
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(
        zelk::test::WaitUntil([&] { return FWindow->ZelkEventServer1()->Events()->Count() == 1; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(FWindow->ListModel()->rowCount(), 0) << "frozen";
    freeze->trigger();
    EXPECT_FALSE(freeze->isChecked());
    EXPECT_EQ(FWindow->ListModel()->rowCount(), 1) << "rebuilt without waiting";
}

TEST_F(MainWindowTest, AcknowledgeCommandsReachTheServerWithTheirNamesAndComments) {
    // Not connected: acknowledge-all does nothing, and raises nothing.
    Action(*FWindow, "AcknowledgeAll1")->trigger();
    EXPECT_TRUE(FShown.isEmpty());

    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(1));
    Select(0);
    Action(*FWindow, "Acknowledge1")->trigger();
    ASSERT_EQ(AckCalls().size(), 1);
    EXPECT_TRUE(AckCalls().last().contains(QStringLiteral("Acknowledger=Tarsk Comment= ")))
        << AckCalls().last().toStdString();
    EXPECT_TRUE(AckCalls().last().contains(LIC201));

    // With comment: cancelled sends nothing; confirmed empty sends an empty acknowledger,
    // which the server refuses and the window shows.
    FWindow->InputQuery = [](QString&) { return false; };
    Action(*FWindow, "AcknowledgewithComment1")->trigger();
    EXPECT_EQ(AckCalls().size(), 1);
    FWindow->InputQuery = [](QString& who) {
        who = QStringLiteral("Bob");
        return true;
    };
    ASSERT_TRUE(
        zelk::test::WaitUntil([&] { return RowData(0, Model::ImageIndexRole).toInt() == 2; }));
    ASSERT_TRUE((*FSim)->ReturnToNormal(LIC201, PVLEVEL));
    ASSERT_TRUE(WaitRows(0)) << "acknowledged and back to normal: gone";
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(1));
    Select(0);
    Action(*FWindow, "AcknowledgewithComment1")->trigger();
    ASSERT_EQ(AckCalls().size(), 2);
    EXPECT_TRUE(AckCalls().last().contains(QStringLiteral("Acknowledger=Bob Comment=no comment ")))
        << AckCalls().last().toStdString();

    // Acknowledge all not active: the inactive ones only, as "ALL".
    ASSERT_TRUE((*FSim)->Activate(LIC202, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE((*FSim)->ReturnToNormal(LIC202, PVLEVEL));
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return RowOf(LIC202) >= 0; }));
    Action(*FWindow, "Acknownledgeallnotactive1")->trigger();
    ASSERT_EQ(AckCalls().size(), 3);
    EXPECT_TRUE(
        AckCalls().last().contains(QStringLiteral("Acknowledger=ALL Comment=Acknowledge all ")));
    EXPECT_TRUE(AckCalls().last().contains(LIC202));
    EXPECT_FALSE(AckCalls().last().contains(LIC201));
    EXPECT_TRUE(FShown.isEmpty()) << FShown.join(QStringLiteral("; ")).toStdString() << "\n"
                                  << AckCalls().join(QStringLiteral("\n")).toStdString();
}

TEST_F(MainWindowTest, DisconnectAndShutdownAreLoggedAndThePlaceholderReturns) {
    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(1));
    Select(0);
    Action(*FWindow, "Disconnect1")->trigger();
    EXPECT_FALSE(FWindow->ZelkEventServer1()->Active());
    ASSERT_GE(FWindow->ListModel()->rowCount(), 1);
    EXPECT_EQ(FWindow->ListModel()->RowId(0), 0);
    EXPECT_EQ(Cell(0, Model::ColMessage), QStringLiteral("not connected to server"));
    EXPECT_TRUE(Text("Memo1").contains(QStringLiteral("disconnect from OPC AE server: ")));
    EXPECT_EQ(Text("lState"), QStringLiteral("not connected"));
    EXPECT_EQ(Text("eCondition"), QString());
    EXPECT_FALSE(Checked("canFilterByArea"));

    ConnectWindow();
    (*FSim)->Shutdown(QStringLiteral("maintenance"));
    ASSERT_TRUE(zelk::test::WaitUntil([&] {
        return Text("Memo1").contains(QStringLiteral("server shutdown connection maintenance"));
    }));
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return !FWindow->ZelkEventServer1()->Active(); }));

    FWindow->findChild<QPushButton*>(QStringLiteral("bClear"))->click();
    EXPECT_EQ(Text("Memo1"), QString());
}

TEST_F(MainWindowTest, AFailingCommandIsShownAndTheWindowGoesOn) {
    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(1));
    Select(0);
    (*FSim)->Faults().InjectResult("IOPCEventServer::AckCondition", E_FAIL, 1);
    Action(*FWindow, "AcknownledgeEvent1")->trigger();
    ASSERT_EQ(FShown.size(), 1);
    EXPECT_FALSE(FShown.first().isEmpty());
    EXPECT_EQ(FWindow->SelectedRow(), 0) << "the window stays as it was";

    Action(*FWindow, "AcknownledgeEvent1")->trigger();
    EXPECT_EQ(FShown.size(), 1);
    ASSERT_TRUE(
        zelk::test::WaitUntil([&] { return RowData(0, Model::ImageIndexRole).toInt() == 2; }));
}

TEST_F(MainWindowTest, AnExceptionInAServerNotificationIsShownAndTheListGoesOn) {
    ConnectWindow();
    TZelkEventServer* server = FWindow->ZelkEventServer1();
    const TNotifyEvent windowHandler = server->OnEndUpdate;
    server->OnEndUpdate = [&](TComponent* sender) {
        server->OnEndUpdate = windowHandler;
        (void)sender;
        throw Exception(QStringLiteral("the handler failed"));
    };
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return !FShown.isEmpty(); }));
    EXPECT_EQ(FShown.first(), QStringLiteral("the handler failed"));
    ASSERT_TRUE((*FSim)->Activate(LIC202, PVLEVEL, QStringLiteral("HI")));
    EXPECT_TRUE(WaitRows(2)) << "the next batch is shown as ever";
}

TEST_F(MainWindowTest, ARebuildKeepsTheOperatorsPlaceInTheList) {
    FWindow->resize(645, 330);
    ConnectWindow();
    const QStringList sources = {QStringLiteral("Plant1.TankFarm.LIC201"),
                                 QStringLiteral("Plant1.TankFarm.LIC202"),
                                 QStringLiteral("Plant1.TankFarm.Tank 1.LI101"),
                                 QStringLiteral("Plant1.TankFarm.Tank 1.TI102"),
                                 QStringLiteral("Plant1.TankFarm.Tank 2.LI111"),
                                 QStringLiteral("Plant1.TankFarm.Tank 2.TI112"),
                                 QStringLiteral("Plant1.Reactor Area.TIC301"),
                                 QStringLiteral("Plant1.Reactor Area.PIC302"),
                                 QStringLiteral("Plant1.Reactor Area.Reactor 1.TI311"),
                                 QStringLiteral("Plant1.Reactor Area.Reactor 1.AI312"),
                                 QStringLiteral("Plant1.Utilities.Cooling Water.TI401")};
    for (const QString& source : sources)
        ASSERT_TRUE((*FSim)->Activate(source, PVLEVEL, QStringLiteral("HI")))
            << source.toStdString();
    ASSERT_TRUE(WaitRows(static_cast<int>(sources.size())));
    QTreeView* view = FWindow->ListView1();
    ASSERT_GT(view->verticalScrollBar()->maximum(), 2) << "the test needs a list that scrolls";
    view->verticalScrollBar()->setValue(3);
    const int topId = FWindow->ListModel()->RowId(view->indexAt(QPoint(0, 0)).row());

    // A new alarm sorts in at the top: the row the operator looks at stays where it is.
    ASSERT_TRUE((*FSim)->Activate(LIC201, QStringLiteral("DVLEVEL"), QStringLiteral("DV HI")));
    ASSERT_TRUE(WaitRows(static_cast<int>(sources.size()) + 1));
    EXPECT_EQ(FWindow->ListModel()->RowId(view->indexAt(QPoint(0, 0)).row()), topId);

    // At the very top the view stays at the top, where new arrivals come in, also when
    // they push the selected row out of sight.
    view->verticalScrollBar()->setValue(0);
    Select(0);
    ASSERT_TRUE((*FSim)->Activate(QStringLiteral("Plant1.Reactor Area.PIC302"),
                                  QStringLiteral("DVLEVEL"), QStringLiteral("DV HI")));
    ASSERT_TRUE((*FSim)->Activate(TIC301, QStringLiteral("DVLEVEL"), QStringLiteral("DV HI")));
    ASSERT_TRUE(WaitRows(static_cast<int>(sources.size()) + 3));
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
    ASSERT_TRUE((*FSim)->ReturnToNormal(LIC202, PVLEVEL));
    ASSERT_TRUE(
        zelk::test::WaitUntil([&] { return !FWindow->EventOfItem(RowOf(LIC202))->Active(); }));
    EXPECT_EQ(view->verticalScrollBar()->value(), 0);
}
