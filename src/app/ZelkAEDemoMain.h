#pragma once

// TMainForm: the program's one window. It owns one event server component and shows
// what that component receives: the alarm list with its detail panel, the server's
// status and filter capabilities, and a connection log. From here the operator connects,
// acknowledges, refreshes and freezes the list.
//
// Everything runs on the user-interface thread; the component's notifications reach the
// window through the toolkit's message queue, so the window reads the event list
// directly and takes no lock. No handler catches a toolkit exception for itself: every
// handler runs guarded, and what escapes goes to the application's exception display
// while the window stays as it was.

#include "ZelkTimeDisplay.h"

#include <QHash>
#include <QMainWindow>
#include <QStringMatcher>
#include <array>
#include <functional>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QTimer;
class QTreeView;
class TComponent;
class TZelkAlarmListModel;
class TZelkEvent;
class TZelkEventJournal;
class TZelkEventServer;
class TZelkHistoryPage;

namespace Ui {
class TMainForm;
}

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Runs FormCreate: the process's COM security, then the event server with the
    // window's settings. With a SettingsFolder the window reads what the operator chose
    // last time from there (geometry, columns, page, time display, the event server's
    // settings with its filters and sort lines) and writes it back when it closes;
    // without one it starts with the defaults and remembers nothing.
    explicit TMainForm(QWidget* parent = nullptr, const QString& SettingsFolder = QString());
    // Runs FormDestroy, then destroys the event server before the controls.
    ~TMainForm() override;

    TZelkEventServer* ZelkEventServer1() const noexcept { return FServer.get(); }
    // The ID of the event whose row the operator last selected; -1 for none.
    int SelectedEventID() const noexcept { return FSelectedEventID; }
    TZelkAlarmListModel* ListModel() const noexcept { return FModel; }
    QTreeView* ListView1() const;

    // Connects to Server on Computer (empty: this computer) as the connect command does
    // after its dialog.
    void ConnectTo(const QString& Server, const QString& Computer);

    // ---- beyond the alarm list's own rules ----
    // Shows only the rows whose source, message, condition, sub-condition or category
    // contain Text (any case); the event list itself is not touched.
    void SetFindText(const QString& Text);
    QString FindText() const { return FFindText; }
    // A click on a column header: that column becomes the first sort line of the event
    // server, or, when it is already, toggles its " (D)".
    void HeaderClick(int Column);
    void SetTimeDisplay(TTimeDisplay Display);
    TTimeDisplay TimeDisplay() const noexcept { return FTimeDisplay; }
    // The notifications received per second, averaged over the last ten seconds.
    double NotificationRate() const;
    void LoadSettings();
    // Called when the window closes, after the component has disconnected.
    void SaveSettings();
    QString SettingsFolder() const { return FSettingsFolder; }

    // File -> "Export list...": asks for a file, then exports.
    void ExportList1Click();
    // Writes the events of the rows shown, in their order, to FileName: JSON lines for
    // ".jsonl", CSV otherwise. False when the operator cancelled; raises on failure.
    bool ExportList(const QString& FileName);
    // The file dialog of the export: the chosen file name, or empty. Replaceable for tests.
    std::function<QString()> ExportFileQuery;

    // The journal every notification and operator action goes to: a URL (sqlite:FILE,
    // postgresql://...), empty for none. A bad URL raises and leaves the journal as it was.
    void SetJournalUrl(const QString& Url);
    QString JournalUrl() const;
    TZelkEventJournal* Journal() const noexcept { return FJournal; }
    TZelkHistoryPage* HistoryPage() const noexcept { return FHistory; }
    // File -> "Journal...": asks where the journal goes.
    void Journal1Click();
    // The input box of "Journal...": true with the entered URL on OK. Replaceable.
    std::function<bool(QString& Url)> JournalQuery;

    // The input box of "Acknowledge with Comment...": true with the entered text on OK.
    // Replaceable, so that tests can answer it.
    std::function<bool(QString& Value)> InputQuery;

    // ---- handlers ----
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormDestroy();
    // Chooses a server in the server selection dialog; on OK the list is emptied, the
    // freeze lifted and the component activated.
    void Connect1Click();
    void SortListBy1Click();
    void SetFilter1Click();
    // The state of the selected row's condition in the condition state dialog; nothing
    // for no row, the placeholder row, or a server without information.
    void bCondStateClick();
    void ListView1DblClick();
    void Disconnect1Click();
    void Exit1Click();
    void Refresh1Click();
    // Runs after the menu item has toggled its check mark: leaving the frozen state
    // rebuilds the list at once.
    void Freeze1Click();
    // Switches the event server's AutoReconnect; stored with its settings.
    void ReconnectAutomatically1Click();
    void bClearClick();
    void Info1Click();
    void Acknowledge1Click();
    void AcknowledgewithComment1Click();
    void AcknowledgeAll1Click();
    void ListView1Change();
    void ZelkEventServer1Connect(TComponent* Sender);
    void ZelkEventServer1Disconnect(TComponent* Sender);
    void ZelkEventServer1ServerShutdown(TComponent* Sender, const QString& Reason);
    void ZelkEventServer1EndUpdate(TComponent* Sender);

    // ---- operations (public for the window's tests) ----
    // The event behind a row, looked up by the ID the row stores; null for none.
    TZelkEvent* EventOfItem(int Row) const;
    void AcknowledgeSelected(const QString& Who, const QString& Comment);
    void AddNotConnectedRow();
    void ClearControls(int Group);
    // Rebuilds the alarm list from the event list unless the list is frozen.
    void FillEventList();
    // The selected row, or -1.
    int SelectedRow() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ConnectControls();
    void SetUpEventServer();
    // The event server's settings as the window stores them by default.
    void ApplyDefaultServerSettings();
    // The File menu's check shows the event server's AutoReconnect.
    void ShowReconnectSetting();
    // Runs a handler; an exception it raises goes to the application's exception display,
    // except EOPCNotResponding: the operator has just chosen to give the server up.
    void Guarded(const std::function<void()>& Handler);
    // Several batches merged before the window next gets to its event loop are shown by
    // one rebuild.
    void ScheduleFillEventList();
    void SelectRow(int Row);
    static void AddLine(QPlainTextEdit* Memo, const QString& Line);
    // Whether the event shows in the list under the find text; category names are looked
    // up once per category and rebuild.
    bool MatchesFind(TZelkEvent* Event, QHash<int, QString>& Categories) const;
    void UpdateSortIndicator();
    void UpdateStatusBar();
    void CountNotificationsSecond();
    void FillServerPage();
    void SetUpViewAndStatusBar();
    void SetUpJournal();

    std::unique_ptr<Ui::TMainForm> ui;
    std::unique_ptr<TZelkEventServer> FServer;
    TZelkAlarmListModel* FModel = nullptr;
    int FSelectedEventID = -1;
    bool FShown = false;
    bool FFillPending = false;
    QString FSettingsFolder;
    QString FFindText;
    QStringMatcher FFindMatcher;
    TTimeDisplay FTimeDisplay = TTimeDisplay::Local;
    int FShownEvents = 0;
    // Notifications counted per second over the last ten seconds, and in the current one.
    std::array<int, 10> FRateSlots{};
    int FRateSlot = 0;
    int FRateFilled = 0;
    int FReceivedThisSecond = 0;
    QTimer* FRateTimer = nullptr;
    QLabel* FStatusConnection = nullptr;
    QLabel* FStatusEvents = nullptr;
    QLabel* FStatusRate = nullptr;
    bool FSettingsSaved = false;
    TZelkEventJournal* FJournal = nullptr;
    TZelkHistoryPage* FHistory = nullptr;
    QLabel* FStatusJournal = nullptr;
};
