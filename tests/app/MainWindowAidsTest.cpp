// The window's aids beyond the alarm list's own rules: find, header sorting, UTC display,
// the status bar and the settings remembered between two starts.

#include "MainWindowTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace zelk::apptest;
using Model = TZelkAlarmListModel;

namespace {

QString StatusText(TMainForm& window, const char* name) {
    const auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no label>");
}

} // namespace

TEST_F(MainWindowTest, FindNarrowsTheRowsAndEscapeBringsThemBack) {
    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE((*FSim)->Activate(LIC202, PVLEVEL, QStringLiteral("LO")));
    ASSERT_TRUE((*FSim)->Activate(TIC301, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(3));
    Select(RowOf(LIC202));
    const int selected = FWindow->SelectedEventID();

    // By source, any case; the selected row stays selected when it is among those shown.
    auto* find = FWindow->findChild<QLineEdit*>(QStringLiteral("FindEdit"));
    find->setText(QStringLiteral("tankfarm.lic"));
    ASSERT_EQ(FWindow->ListModel()->rowCount(), 2);
    EXPECT_EQ(RowOf(TIC301), -1);
    EXPECT_EQ(FWindow->SelectedEventID(), selected);
    EXPECT_EQ(StatusText(*FWindow, "StatusEvents"), QStringLiteral("2 of 3 shown"));
    EXPECT_EQ(FWindow->ZelkEventServer1()->Events()->Count(), 3) << "the list itself stays";

    // By sub-condition and by category name; a selection that is filtered out moves to the
    // first row shown.
    FWindow->SetFindText(QStringLiteral("lo"));
    ASSERT_EQ(FWindow->ListModel()->rowCount(), 1) << "only LIC202 is in LO";
    FWindow->SetFindText(FWindow->EventOfItem(0)->CategoryName().toUpper());
    EXPECT_EQ(FWindow->ListModel()->rowCount(), 3);
    FWindow->SetFindText(QStringLiteral("Reactor"));
    ASSERT_EQ(FWindow->ListModel()->rowCount(), 1);
    EXPECT_EQ(FWindow->SelectedRow(), 0);
    EXPECT_EQ(FWindow->SelectedEventID(), FWindow->EventOfItem(0)->ID());
    // Typing in the field keeps the focus there, even when the selected row goes.
    QApplication::setActiveWindow(FWindow.get());
    find->setFocus();
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return find->hasFocus(); }));
    find->setText(QStringLiteral("TankFarm"));
    EXPECT_EQ(FWindow->ListModel()->rowCount(), 2);
    EXPECT_TRUE(find->hasFocus());
    FWindow->SetFindText(QStringLiteral("no such thing"));
    EXPECT_EQ(FWindow->ListModel()->rowCount(), 0);
    EXPECT_EQ(StatusText(*FWindow, "StatusEvents"), QStringLiteral("0 of 3 shown"));

    // Esc in the field clears it.
    find->setFocus();
    QTest::keyClick(find, Qt::Key_Escape);
    EXPECT_EQ(find->text(), QString());
    EXPECT_EQ(FWindow->ListModel()->rowCount(), 3);
    EXPECT_EQ(StatusText(*FWindow, "StatusEvents"), QStringLiteral("3 events"));
}

TEST_F(MainWindowTest, AHeaderClickMakesItsColumnTheFirstSortLine) {
    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(TIC301, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE((*FSim)->Activate(LIC202, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(3));
    QHeaderView* header = FWindow->ListView1()->header();
    EXPECT_FALSE(header->isSortIndicatorShown()) << "\"Active (D)\" is no column";

    FWindow->HeaderClick(Model::ColSource);
    EXPECT_EQ(FWindow->ZelkEventServer1()->EventlistSort(),
              (QStringList{QStringLiteral("Source"), QStringLiteral("Active (D)"),
                           QStringLiteral("Time (D)")}));
    EXPECT_EQ(Cell(0, Model::ColSource), TIC301) << "Plant1.Reactor Area before Plant1.TankFarm";
    EXPECT_EQ(Cell(2, Model::ColSource), LIC202);
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), Model::ColSource);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);

    FWindow->HeaderClick(Model::ColSource);
    EXPECT_EQ(FWindow->ZelkEventServer1()->EventlistSort().value(0), QStringLiteral("Source (D)"));
    EXPECT_EQ(Cell(0, Model::ColSource), LIC202);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);

    // Another column goes first; the one before stays as the next line.
    FWindow->HeaderClick(Model::ColSeverity);
    EXPECT_EQ(FWindow->ZelkEventServer1()->EventlistSort().mid(0, 2),
              (QStringList{QStringLiteral("Severity"), QStringLiteral("Source (D)")}));
    EXPECT_EQ(header->sortIndicatorSection(), Model::ColSeverity);
}

TEST_F(MainWindowTest, UtcDisplayWritesTheServersTimesInUtc) {
    zelk::test::TTimeZoneScope zone("Asia/Kolkata"); // UTC+05:30, no daylight saving
    ConnectWindow();
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(1));
    Select(0);
    const TZelkEvent* event = FWindow->EventOfItem(0);
    const QString local = Cell(0, Model::ColTime);
    EXPECT_EQ(local, FormatDayMonthTime(event->Time()));

    FWindow->findChild<QAction*>(QStringLiteral("UTCTime1"))->trigger();
    EXPECT_EQ(FWindow->TimeDisplay(), TTimeDisplay::Utc);
    const QDateTime utc = DateTimeToQDateTime(event->Time()).toUTC();
    EXPECT_EQ(Cell(0, Model::ColTime), utc.toString(QStringLiteral("dd.MM hh:mm:ss")));
    EXPECT_TRUE(Text("eActiveTime").endsWith(QStringLiteral(" UTC")));
    EXPECT_TRUE(Text("lStarttime").endsWith(QStringLiteral(" UTC")));

    FWindow->findChild<QAction*>(QStringLiteral("LocalTime1"))->trigger();
    EXPECT_EQ(Cell(0, Model::ColTime), local);
    EXPECT_EQ(Text("eActiveTime"), DateTimeToStr(event->ActiveTime()));
}

TEST_F(MainWindowTest, TheStatusBarShowsConnectionEventsAndRate) {
    EXPECT_EQ(StatusText(*FWindow, "StatusConnection"), QStringLiteral("Not connected"));
    ConnectWindow();
    EXPECT_EQ(StatusText(*FWindow, "StatusConnection"),
              QStringLiteral("Connected to Zelk.AESimulator.1"));
    ASSERT_TRUE((*FSim)->Activate(LIC201, PVLEVEL, QStringLiteral("HI")));
    ASSERT_TRUE(WaitRows(1));
    EXPECT_EQ(StatusText(*FWindow, "StatusEvents"), QStringLiteral("1 events"));
    ASSERT_TRUE(zelk::test::WaitUntil([&] { return FWindow->NotificationRate() > 0; },
                                      std::chrono::seconds(10)));
    EXPECT_TRUE(StatusText(*FWindow, "StatusRate").endsWith(QStringLiteral(" notifications/s")));
}

TEST_F(MainWindowTest, SettingsSurviveARestartAndBadFilesGiveTheDefaults) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    {
        TMainForm first(nullptr, folder.path());
        TZelkEventFilter* filter = first.ZelkEventServer1()->Filter()->Add();
        filter->SetName(QStringLiteral("Tank farm"));
        filter->SetSeverityLow(500);
        first.HeaderClick(Model::ColSeverity);
        first.HeaderClick(Model::ColSeverity);
        first.SetTimeDisplay(TTimeDisplay::Utc);
        first.ZelkEventServer1()->SetServerName(QStringLiteral("Plant.AE.7"));
        first.close();
    }
    {
        TMainForm second(nullptr, folder.path());
        TZelkEventServer* server = second.ZelkEventServer1();
        ASSERT_EQ(server->Filter()->Count(), 1);
        EXPECT_EQ(server->Filter()->Items(0)->Name(), QStringLiteral("Tank farm"));
        EXPECT_EQ(server->Filter()->Items(0)->SeverityLow(), 500);
        EXPECT_EQ(server->EventlistSort().value(0), QStringLiteral("Severity (D)"));
        EXPECT_EQ(server->ServerName(), QStringLiteral("Plant.AE.7"));
        EXPECT_FALSE(server->Active()) << "a start never connects by itself";
        EXPECT_EQ(second.TimeDisplay(), TTimeDisplay::Utc);
    }

    // A cut file, then one of binary noise: the defaults, and one line in the log.
    const QString stored = folder.filePath(QStringLiteral("ZelkEventServer1.txt"));
    QFile file(stored);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();
    const QByteArray noise("\x00\xff\x13\x37garbage\x00[\x01", 14);
    for (const QByteArray& bad : {whole.left(whole.size() / 2), noise}) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bad);
        file.close();
        if (bad == noise) {
            QFile ini(folder.filePath(QStringLiteral("zelk-ae-client.ini")));
            ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ini.write(noise);
        }
        TMainForm restarted(nullptr, folder.path());
        TZelkEventServer* server = restarted.ZelkEventServer1();
        EXPECT_EQ(server->Filter()->Count(), 0);
        EXPECT_EQ(server->EventlistSort(),
                  (QStringList{QStringLiteral("Active (D)"), QStringLiteral("Time (D)")}));
        const QString log =
            restarted.findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText();
        EXPECT_TRUE(log.contains(QStringLiteral("could not be read"))) << log.toStdString();
        for (const QString& line : log.split(QLatin1Char('\n')))
            EXPECT_TRUE(line.contains(QStringLiteral("could not be read"))) << line.toStdString();
    }
}
