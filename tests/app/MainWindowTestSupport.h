#pragma once

// The main window offscreen, connected through the COM transport to a simulated server
// with a manual clock, with the application's exception display replaced by a recorder.

#include "ShowException.h"
#include "TestSupport.h"
#include "ZelkAE.h"
#include "ZelkAEDemoMain.h"
#include "ZelkAESim.h"
#include "ZelkAlarmListModel.h"
#include "ZelkServerCall.h"

#include <QAbstractItemModelTester>
#include <QTemporaryDir>
#include <QTreeView>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace zelk::apptest {

inline const QString LIC201 = QStringLiteral("Plant1.TankFarm.LIC201");
inline const QString LIC202 = QStringLiteral("Plant1.TankFarm.LIC202");
inline const QString TIC301 = QStringLiteral("Plant1.Reactor Area.TIC301");
inline const QString PVLEVEL = QStringLiteral("PVLEVEL");

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Connects through the window's command and waits for the refresh to be shown.
    void ConnectWindow();
    // Waits until the list shows `rows` rows. A refresh is delivered as the simulator's
    // clock moves: with AdvanceClock the wait moves it.
    bool WaitRows(int rows, bool AdvanceClock = false);
    // The text of a cell, as the view shows it.
    QString Cell(int row, int column) const;
    // The row showing the condition's source, or -1.
    int RowOf(const QString& source) const;
    QVariant RowData(int row, int role) const;
    // The text of a named line edit, label or memo of the window.
    QString Text(const char* name) const;
    bool Checked(const char* name) const;
    void Select(int row);
    // Runs Step on the next modal window that opens (from the event loop the window's
    // modal call runs), so that a test can drive a dialog the window opens.
    void OnNextModal(std::function<void(QWidget*)> Step);
    // The simulator's recorded AckCondition calls.
    QStringList AckCalls() const;

    // The user's data folder, where a window keeps its journal by default, is the test's.
    QTemporaryDir FDataHome;
    QByteArray FOldDataHome;
    std::unique_ptr<zelk::testing::TScopedConnectionRegistry> FRegistry;
    std::unique_ptr<zelk::aesim::TScopedAESimulator> FSim;
    std::unique_ptr<TMainForm> FWindow;
    std::unique_ptr<QAbstractItemModelTester> FTester;
    QStringList FShown;
    TShowExceptionHandler FPreviousHandler;
    zelk::runtime::TZelkNotRespondingHandler FPreviousNotResponding;
};

} // namespace zelk::apptest
