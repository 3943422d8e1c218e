// The event server after a reconnection: the subscriptions are made again and refreshed
// while the list of the lost connection stays on show; once every refresh has ended, the
// events that no notification of the new connection replaced leave the list (an alarm
// that cleared during the outage must not stay red).

#include "ScopeExit.h"
#include "ZelkEventAreaBrowser.h"
#include "ZelkEventServer.h"
#include "ZelkEventSubscription.h"

void TZelkEventServer::RefreshAfterReconnect() {
    // Ids go on from the old connection's, so that no new event takes the id of one that
    // a view still shows.
    FStaleKeys.clear();
    for (int i = 0; i < FEvents->KeyCount(); ++i)
        FStaleKeys.insert(FEvents->Keys(i));
    FBrowser->SetOPCServer(this);
    DropCaches();
    FPendingRefreshes = 0;
    BeginUpdate();
    zelk::rtl::RunThenClose(
        [&] {
            FFilter->Refresh();
            for (int i = 0; i < FFilter->Count(); ++i)
                if (TZelkEventSubscription* subscription = FFilter->Items(i)->Subscriptor())
                    if (subscription->Refresh())
                        ++FPendingRefreshes;
            FObservers.Refreshed(this);
        },
        [&] { EndUpdate(); });
    TZelkClient::DoActivate();
    // A server that refreshes nothing has nothing more to tell about the old events.
    if (FPendingRefreshes == 0)
        DropStaleEvents();
}

void TZelkEventServer::NoteReported(const TZelkEventBatch& List) {
    for (const std::unique_ptr<TZelkEvent>& event : List.Events)
        if (event)
            FStaleKeys.erase(event->Key());
}

void TZelkEventServer::RefreshEnded() {
    if (FPendingRefreshes == 0 || --FPendingRefreshes > 0)
        return;
    DropStaleEvents();
}

void TZelkEventServer::DropStaleEvents() {
    const std::unordered_set<QString> stale = std::move(FStaleKeys);
    FStaleKeys.clear();
    LogLine(QStringLiteral("List of %1 brought up to date after the reconnection: %2 events "
                           "no longer reported removed")
                .arg(ServerName())
                .arg(stale.size()));
    if (stale.empty())
        return;
    BeginUpdate();
    zelk::rtl::RunThenClose(
        [&] {
            // Looked up one by one: a handler of OnDeleteEvent may delete others.
            for (const QString& key : stale) {
                int index = 0;
                if (FEvents->Find(key, index))
                    DeleteEvent(FEvents->Objects(index));
            }
        },
        [&] { ResortAndEndUpdate(); });
}

void TZelkEventServer::DoReconnectStopped() {
    FStaleKeys.clear();
    FPendingRefreshes = 0;
    // A component that is going empties its list itself, without telling handlers.
    if (Active() || ComponentState().Contains(csDestroying))
        return;
    BeginUpdate();
    zelk::rtl::RunThenClose([&] { FEvents->DeleteEvents(); }, [&] { EndUpdate(); });
}
