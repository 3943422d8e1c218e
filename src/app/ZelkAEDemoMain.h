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

#include <QMainWindow>
#include <functional>
#include <memory>

class QPlainTextEdit;
class QTreeView;
class TComponent;
class TZelkAlarmListModel;
class TZelkEvent;
class TZelkEventServer;

namespace Ui {
class TMainForm;
}

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Runs FormCreate: the process's COM security, then the event server with the
    // window's settings.
    explicit TMainForm(QWidget* parent = nullptr);
    // Runs FormDestroy, then destroys the event server before the controls.
    ~TMainForm() override;

    TZelkEventServer* ZelkEventServer1() const noexcept { return FServer.get(); }
    // The ID of the event whose row the operator last selected; -1 for none.
    int SelectedEventID() const noexcept { return FSelectedEventID; }
    TZelkAlarmListModel* ListModel() const noexcept { return FModel; }
    QTreeView* ListView1() const;

    // The input box of "Acknowledge with Comment...": true with the entered text on OK.
    // Replaceable, so that tests can answer it.
    std::function<bool(QString& Value)> InputQuery;

    // ---- handlers ----
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormDestroy();
    void Connect1Click();
    void Disconnect1Click();
    void Exit1Click();
    void Refresh1Click();
    // Runs after the menu item has toggled its check mark: leaving the frozen state
    // rebuilds the list at once.
    void Freeze1Click();
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
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ConnectControls();
    void SetUpEventServer();
    // Runs a handler; an exception it raises goes to the application's exception display.
    void Guarded(const std::function<void()>& Handler);
    // Several batches merged before the window next gets to its event loop are shown by
    // one rebuild.
    void ScheduleFillEventList();
    void SelectRow(int Row);
    static void AddLine(QPlainTextEdit* Memo, const QString& Line);

    std::unique_ptr<Ui::TMainForm> ui;
    std::unique_ptr<TZelkEventServer> FServer;
    TZelkAlarmListModel* FModel = nullptr;
    int FSelectedEventID = -1;
    bool FShown = false;
    bool FFillPending = false;
};
