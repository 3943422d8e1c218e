#include "ZelkEventServer.h"

#include "ScopeExit.h"
#include "ZelkCOMAEConnection.h"
#include "ZelkEventAreaBrowser.h"

TZelkEventServer::TZelkEventServer(TComponent* AOwner)
    : TZelkClient(AOwner), FEvents(std::make_unique<TZelkEvents>()),
      FBrowser(std::make_unique<TZelkEventAreaBrowser>()),
      FFilter(std::make_unique<TZelkEventFilters>(this)) {
    FVersion = QStringLiteral("5.28");
    FCategoryLookup = MakeCategoryLookup();
    // A previous notification that a merge pushes out goes through OnDeleteEvent.
    FEvents->SetDeleter(
        [this](std::unique_ptr<TZelkEvent> Event) { DeleteEvent(std::move(Event)); });
    SetEventlistSort({QStringLiteral("Active (D)"), QStringLiteral("Time (D)")});
    SetProtocol(tZelkConnectionType::coCOM);
}

TZelkEventServer::~TZelkEventServer() {
    Destroying();
    FRecycler->Close();
    OnDisconnect = nullptr;
    try {
        SetActive(false);
    } catch (...) {
        // A server that fails while being released cannot stop the component's end.
    }
    FObservers.ServerDestroyed(this);
    FBrowser.reset();
    FEvents->DeleteEvents();
    DropCaches();
    // Each filter un-advises its subscription, should the deactivation have failed
    // before it got to them.
    FFilter.reset();
    // Events and snapshots that outlive the component name no attribute from now on. Only
    // now: until every sink is un-advised, a server thread may be building events.
    FCategoryLookup.reset();
}

// ---- sorting ----

void TZelkEventServer::SetEventlistSort(QStringList Value) {
    ClearSortItems();
    FEventSort = std::move(Value);
    const QLatin1String descending("(D)");
    for (const QString& line : std::as_const(FEventSort)) {
        const qsizetype marker = line.indexOf(descending);
        // The character before the marker is taken to be the blank that separates it.
        if (marker >= 0)
            AddSortItem(line.left(std::max<qsizetype>(marker - 1, 0)), true);
        else
            AddSortItem(line, false);
    }
    if (FEvents->SortItemCount() > 0)
        Resort();
    else
        FEventSort = QStringList{QStringLiteral("none")};
}

void TZelkEventServer::Resort() {
    BeginUpdate();
    zelk::rtl::RunThenClose([&] { FEvents->Resort(); }, [&] { EndUpdate(); });
}

void TZelkEventServer::ResortAndEndUpdate() {
    zelk::rtl::RunThenClose([&] { Resort(); }, [&] { EndUpdate(); });
}

void TZelkEventServer::ClearSortItems() {
    FEvents->ClearSortItems();
}

void TZelkEventServer::AddSortItem(const QString& PropName, bool Desc) {
    FEvents->AddSortItem(PropName, Desc);
}

// ---- events ----

int TZelkEventServer::NextEventId() noexcept {
    constexpr std::int32_t lastId = 2147483646;
    std::int32_t current = FGlobalId.load(std::memory_order_relaxed);
    std::int32_t next = 0;
    do {
        next = (current >= lastId || current < 0) ? 1 : current + 1;
    } while (!FGlobalId.compare_exchange_weak(current, next, std::memory_order_relaxed));
    return next;
}

void TZelkEventServer::DeleteEvent(TZelkEvent* Event) {
    if (!FEvents->Holds(Event))
        return;
    // The handler sees the event listed; the list destroys it whatever the handler does.
    zelk::rtl::RunThenClose(
        [&] {
            if (OnDeleteEvent)
                OnDeleteEvent(this, Event);
        },
        [&] { FEvents->Extract(Event); });
}

void TZelkEventServer::DeleteEvent(std::unique_ptr<TZelkEvent> Event) {
    if (!Event)
        return;
    if (OnDeleteEvent)
        OnDeleteEvent(this, Event.get());
    // Destroyed here when the recycler does not take it.
    FRecycler->Keep(Event);
}

void TZelkEventServer::BeginUpdate() {
    if (FUpdateCounter == 0 && OnBeginUpdate)
        OnBeginUpdate(this);
    ++FUpdateCounter;
}

void TZelkEventServer::EndUpdate() {
    const std::int32_t before = FUpdateCounter--;
    if (before == 1 && OnEndUpdate)
        OnEndUpdate(this);
}

// ---- connection ----

ComPtr<IOPCEventServer> TZelkEventServer::GetOPCEventServer() {
    if (!FConnection || !GetConnection())
        return nullptr;
    return FConnection->OPCServer();
}

ComPtr<IZelkConnection> TZelkEventServer::CreateConnection() {
    FConnection = nullptr;
    ComPtr<TZelkCOMAEConnection> connection = TZelkCOMAEConnection::Create(this);
    FConnection = connection.Get();
    return ComPtr<IZelkConnection>(connection);
}

void TZelkEventServer::DoActivate() {
    CheckConnected();
    FObservers.Connected(this);
    if (ReconnectPending()) {
        RefreshAfterReconnect();
        return;
    }
    FStaleKeys.clear();
    FPendingRefreshes = 0;
    FGlobalId.store(0, std::memory_order_relaxed);
    FEvents->DeleteEvents();
    FBrowser->SetOPCServer(this);
    DropCaches();
    BeginUpdate();
    zelk::rtl::RunThenClose(
        [&] {
            FFilter->Refresh();
            Refresh();
        },
        [&] { EndUpdate(); });
    TZelkClient::DoActivate();
}

void TZelkEventServer::DoConnected() {
    TZelkClient::DoConnected();
    // Read before OnConnect, so that the application's connect handler shows this
    // server's capabilities rather than the previous one's. A server that cannot tell
    // them leaves the last answer standing.
    if (const ComPtr<IOPCEventServer> server = GetOPCEventServer()) {
        DWORD mask = FFilterMask;
        if (SUCCEEDED(server->QueryAvailableFilters(&mask)))
            FFilterMask = mask;
    }
}

void TZelkEventServer::DoDeactivate() {
    FObservers.Disconnected(this);
    TZelkClient::DoDeactivate();
    // A reconnection follows: the operator keeps seeing the conditions as they were
    // until the new connection's refresh has brought them up to date.
    if (!ReconnectPending())
        FEvents->DeleteEvents();
    FPendingRefreshes = 0;
    FFilter->UnAdviseAll();
    FBrowser->SetOPCServer(nullptr);
    FConnection = nullptr;
    DropCaches();
}

void TZelkEventServer::DoShutdown(std::int64_t Reason) {
    if (!FShutDownFromServer)
        FObservers.ServerShutdown(this, ServerShutdownReason());
    TZelkClient::DoShutdown(Reason);
}

void TZelkEventServer::DoTimeout() {
    FObservers.KeepAliveTimedOut(this);
    TZelkClient::DoTimeout();
}
