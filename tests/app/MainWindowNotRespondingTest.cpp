// The main window with a server that stops answering in the middle of an acknowledgement:
// the window keeps going, asks "Server is not responding", and does what the operator
// answers.

#include "MainWindowTestSupport.h"

#include <QAction>
#include <QPushButton>
#include <QTimer>

using namespace zelk::apptest;
using Model = TZelkAlarmListModel;

namespace {

const char* const AckMethod = "IOPCEventServer::AckCondition";

// Clicks one of the question's buttons ("Wait" or "Disconnect"); false when the modal
// window is not the question.
bool Answer(QWidget* modal, const char* button) {
    if (modal->objectName() != QStringLiteral("ServerNotResponding"))
        return false;
    auto* choice = modal->findChild<QPushButton*>(QString::fromLatin1(button));
    if (!choice)
        return false;
    choice->click();
    return true;
}

class MainWindowNotResponding : public MainWindowTest {
protected:
    // Connected, with LIC201's high alarm selected and its acknowledgement held.
    void SetUpHungAcknowledgement() {
        ConnectWindow();
        ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
        ASSERT_TRUE(WaitRows(1));
        Select(0);
        (*FSim)->Faults().HoldCalls(AckMethod);
    }
    void Acknowledge() {
        FWindow->findChild<QAction*>(QStringLiteral("AcknownledgeEvent1"))->trigger();
    }
};

} // namespace

TEST_F(MainWindowNotResponding, WaitKeepsTheAcknowledgementGoing) {
    SetUpHungAcknowledgement();
    int paints = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] { ++paints; });
    beat.start(10);
    bool answered = false;
    OnNextModal([&](QWidget* modal) {
        answered = Answer(modal, "Wait");
        // The server answers again after the operator chose to wait.
        (*FSim)->Faults().ReleaseHeld();
    });
    Acknowledge();
    EXPECT_TRUE(answered);
    // The event loop went on while the call hung (a frozen window serves no timer).
    EXPECT_GE(paints, 5);
    EXPECT_EQ(AckCalls().size(), 1);
    EXPECT_TRUE(FShown.isEmpty()) << FShown.join(QStringLiteral("; ")).toStdString();
    EXPECT_TRUE(FWindow->ZelkEventServer1()->Active());
    ASSERT_TRUE(zelk::test::WaitUntil([&] {
        return RowData(0, Model::ImageIndexRole).toInt() == 2;
    })) << "acknowledged";
}

TEST_F(MainWindowNotResponding, DisconnectGivesTheServerUpAndItsLateAnswerDoesNoHarm) {
    SetUpHungAcknowledgement();
    bool answered = false;
    OnNextModal([&](QWidget* modal) { answered = Answer(modal, "Disconnect"); });
    Acknowledge();
    EXPECT_TRUE(answered);
    EXPECT_TRUE(FShown.isEmpty()) << "the operator has answered: no error box on top";
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return !FWindow->ZelkEventServer1()->Active(); }));
    EXPECT_EQ(Cell(0, Model::ColMessage), QStringLiteral("not connected to server"));
    EXPECT_TRUE(Text("Memo1").contains(QStringLiteral("disconnect from OPC AE server: ")));

    // The acknowledgement reaches the server at last; the window has moved on.
    (*FSim)->Faults().ReleaseHeld();
    ASSERT_TRUE(zelk::test::WaitUntil([] { return zelk::runtime::RunningCalls() == 0; }));
    EXPECT_EQ(Cell(0, Model::ColMessage), QStringLiteral("not connected to server"));
    EXPECT_TRUE(FShown.isEmpty());

    // And the window connects again as usual; the late acknowledgement did reach the server.
    ConnectWindow();
    ASSERT_TRUE(WaitRows(1, true));
    EXPECT_EQ(RowData(0, Model::ImageIndexRole).toInt(), 2);
}

TEST_F(MainWindowNotResponding, TheWindowDoesNotCloseUnderAWaitingCall) {
    SetUpHungAcknowledgement();
    bool closed = true;
    OnNextModal([&](QWidget* modal) {
        closed = FWindow->close();
        Answer(modal, "Disconnect");
    });
    Acknowledge();
    EXPECT_FALSE(closed);
    EXPECT_TRUE(FWindow->isVisible());
}
