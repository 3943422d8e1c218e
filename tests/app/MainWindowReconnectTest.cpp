// File → "Reconnect automatically": the window's switch for the event server's
// AutoReconnect, remembered between two starts, and what the operator sees while the
// server restarts.

#include "MainWindowTestSupport.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>

using namespace std::chrono_literals;
using namespace zelk::apptest;

namespace {

QAction* ReconnectItem(TMainForm& window) {
    return window.findChild<QAction*>(QStringLiteral("ReconnectAutomatically1"));
}

} // namespace

TEST_F(MainWindowTest, ReconnectAutomaticallyIsACheckItemOfTheFileMenuAndIsRemembered) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    {
        TMainForm first(nullptr, folder.path());
        QAction* item = ReconnectItem(first);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->text(), QStringLiteral("Reconnect automatically"));
        EXPECT_TRUE(item->isCheckable());
        EXPECT_FALSE(item->isChecked());
        const auto* file = first.findChild<QMenu*>(QStringLiteral("File1"));
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->actions().contains(item));
        item->trigger();
        EXPECT_TRUE(first.ZelkEventServer1()->AutoReconnect());
        first.close();
    }
    {
        TMainForm second(nullptr, folder.path());
        EXPECT_TRUE(ReconnectItem(second)->isChecked());
        EXPECT_TRUE(second.ZelkEventServer1()->AutoReconnect());
        ReconnectItem(second)->trigger();
        EXPECT_FALSE(second.ZelkEventServer1()->AutoReconnect());
        second.close();
    }
    TMainForm third(nullptr, folder.path());
    EXPECT_FALSE(ReconnectItem(third)->isChecked());
}

TEST_F(MainWindowTest, ARestartedServerIsMetAgainAndItsAttemptsAreLogged) {
    TZelkEventServer* server = FWindow->ZelkEventServer1();
    ReconnectItem(*FWindow)->trigger();
    server->ReconnectBackoff().First = 10ms;
    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(1));

    (*FSim)->Shutdown(QStringLiteral("maintenance"));
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return server->Reconnecting(); }));
    // The alarm stays in sight under the "not connected" row until the server is back.
    EXPECT_GE(RowOf(LIC201), 0);
    (*FSim)->Restart();
    ASSERT_TRUE(zelk::test::WaitUntil([&] {
        (*FSim)->Pump();
        return server->Active() && !server->Reconnecting();
    }));
    ASSERT_TRUE(WaitRows(1));
    EXPECT_GE(RowOf(LIC201), 0);
    const QString log = Text("Memo1");
    EXPECT_TRUE(log.contains(QStringLiteral("Connection to Zelk.AESimulator.1 lost")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Reconnected to Zelk.AESimulator.1")));
}
